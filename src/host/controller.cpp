#include "host/controller.h"

#include <algorithm>
#include <exception>
#include <type_traits>

#include "core/log.h"
#include "core/stackmachine_interpreter.h"
#include "core/variable.h"

namespace Karsto {

Controller::Controller() = default;

Controller::~Controller() = default;

// ---- requests ------------------------------------------------------------------------

void Controller::queueRequest(ControllerRequest request) {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    requestsPending_.store(true, std::memory_order_relaxed);
    condition_.notify_all();
    // Still under the mutex: ends a wait in progress early. The kernel interface must
    // not take this mutex in wake.
    if (kernel != nullptr) kernel->wake();
}

void Controller::kernelInterfaceStart() { queueRequest(ControllerRequest::start); }

void Controller::kernelInterfaceStop() { queueRequest(ControllerRequest::stop); }

void Controller::quit() { queueRequest(ControllerRequest::quit); }

bool Controller::drainRequests() {
    bool keepRunning = true;
    // A quit does not cut the drain short: what was queued behind it still executes.
    while (!requests_.empty()) {
        const ControllerRequest request = requests_.front();
        requests_.pop_front();
        switch (request) {
        case ControllerRequest::start: kernel->start(); break;
        case ControllerRequest::stop: kernel->stop(); break;
        case ControllerRequest::quit: keepRunning = false; break;
        }
    }
    requestsPending_.store(false, std::memory_order_relaxed);
    return keepRunning;
}

// ---- the cycle -----------------------------------------------------------------------

void Controller::fail(ControllerTask& task, const ExceptionKarsto& e) {
    task.state = StackmachineState::error;
    task.changed = true;
    task.error.reset(e.clone());
}

size_t Controller::runningTasks() const {
    size_t count = 0;
    for (const ControllerTask* task : tasks)
        if (task->state == StackmachineState::running) ++count;
    return count;
}

template <class Machine>
void Controller::stepAlone(Machine& machine, uint64_t lastSection, uint64_t section) {
    // Each further step stands for one more cycle, taken only while that cycle would be
    // the same as this one: no request to drain, the section and the gate as they were,
    // nothing blocked, the task still running. The section a cycle ends with is the one
    // the walk computes from the task's upper bound.
    if (!machine.isRunning()) return;
    const uint64_t low = machine.sectionLow;
    const uint64_t high = machine.sectionHigh;
    const uint64_t next = std::min(section, high);
    if (next != KernelInterface::kNoSection && next != lastSection) return;
    if (low > lastSection) return;
    // From here on the bounds as they are keep both tests true.
    if constexpr (std::is_same_v<Machine, StackmachineInterpreter>) {
        // The same steps, ended by the same tests, through the interpreter's plan: the
        // interpreter that onMachine hands over is exactly that class.
        machine.runSteps(kStepsAlone - 1, requestsPending_);
    } else {
        for (int32_t steps = 1; steps < kStepsAlone; ++steps) {
            if (machine.isBlocked() || requestsPending_.load(std::memory_order_relaxed)) return;
            machine.step();
            if (!machine.isRunning() || machine.sectionLow != low || machine.sectionHigh != high) return;
        }
    }
}

Controller::WalkResult Controller::stepTasks(uint64_t lastSection, uint64_t& section) {
    WalkResult result;
    // The one running task of a kernel interface whose cycles are alike takes the steps of
    // many cycles in this one; with several running, each steps once per cycle, in turn.
    const bool alone = kernel->cyclesAlike() && runningTasks() == 1;
    // By index: a task may be added while the walk runs (never removed).
    for (size_t i = 0; i < tasks.size(); ++i) {
        ControllerTask& task = *tasks[i];
        if (task.state != StackmachineState::running) continue;
        Stackmachine& machine = *task.machine;
        // Gated by the previous cycle's section, so a task whose lower bound was raised
        // steps one cycle after the section reached it.
        if (machine.sectionLow <= lastSection && !machine.isBlocked()) {
            result.idle = false;
            result.stepped = true;
            try {
                onMachine(machine, [&task, alone, lastSection, section, this](auto& m) {
                    m.step();
                    if (alone) stepAlone(m, lastSection, section);
                    if (!m.isRunning()) {
                        task.state = StackmachineState::finished;
                        task.changed = true;
                    }
                });
            } catch (const ExceptionKarsto& e) {
                globalLog.error("%s: %s", task.name.c_str(), e.what());
                fail(task, e);
            }
        }
        // Also for blocked and gated tasks, with the upper bound as the step left it.
        if (task.state == StackmachineState::running && section > machine.sectionHigh) {
            section = machine.sectionHigh;
            result.idle = false;
        }
    }
    return result;
}

void Controller::reportStateChanges() {
    for (size_t i = 0; i < tasks.size(); ++i) {
        ControllerTask& task = *tasks[i];
        if (!task.changed) continue;
        task.changed = false; // before the report: a refused report marks it again
        try {
            kernel->stackmachineStateChanged(&task);
        } catch (const ExceptionKarsto& e) {
            // Reported in the next cycle; a task that already failed keeps its own error.
            if (!task.error) fail(task, e);
        }
    }
}

void Controller::run() {
    uint64_t lastSection = 0; // the previous cycle's section
    bool keepRunning = true;
    try {
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                if (!drainRequests()) keepRunning = false;
                if (!keepRunning) return;
                if (!kernel->isRunning()) {
                    // No task steps while the kernel interface is offline: wait once for
                    // a request, then drain again.
                    condition_.wait(lock);
                    continue;
                }
            }
            uint64_t section = kernel->currentSection();
            const WalkResult walk = stepTasks(lastSection, section);
            reportStateChanges();
            if (walk.idle) {
                kernel->wait();
                // Ends at the next drain, after the requests queued until then.
                if (stopWhenIdle) keepRunning = false;
            } else if (!walk.stepped && section == lastSection) {
                // Every running task blocked or gated and the section unchanged: nothing
                // can move before the kernel does, so wait for it instead of spinning.
                // Such a cycle is busy, so it does not end the run under stopWhenIdle.
                kernel->wait();
            }
            if (section != KernelInterface::kNoSection) {
                if (section != lastSection && globalLog.enabled(LogLevel::debugController))
                    globalLog.debugController("SECTION %d",
                                              static_cast<int32_t>(static_cast<uint32_t>(section)));
                lastSection = section;
            }
            kernel->processEvents();
        }
    } catch (const std::exception& e) {
        globalLog.error("Terminate due to critical failure '%s'", e.what());
    } catch (...) {
        globalLog.error("Terminate due to critical failure");
    }
}

// ---- tasks ---------------------------------------------------------------------------

ControllerTask* Controller::taskAdd(Stackmachine* machine, const std::string& name) {
    tasks.reserve(tasks.size() + 1); // the append below cannot fail after the new
    auto* task = new ControllerTask(this, machine, name);
    tasks.push_back(task);
    return task;
}

Stackmachine* Controller::taskRemove(ControllerTask* task) {
    auto found = std::find(tasks.begin(), tasks.end(), task);
    if (found == tasks.end()) return nullptr;
    tasks.erase(found);
    // A later task may get the same address: it must not inherit this task's list.
    sharedVariables.erase(task);
    Stackmachine* machine = task->machine;
    delete task;
    return machine;
}

// ---- shared memory -------------------------------------------------------------------

void Controller::sharedMemoryClear() {
    // Unbind first: a machine must never keep addressing the freed image.
    for (ControllerTask* task : tasks) task->machine->setSharedArea(nullptr, 0, {});
    sharedImage.reset();
    memoryShared.clear();
    sharedVariables.clear();
}

void Controller::sharedVariableAdd(ControllerTask* task, Variable* variable) {
    if (task != nullptr) {
        sharedVariables[task].push_back(variable);
        return;
    }
    for (ControllerTask* each : tasks) sharedVariables[each].push_back(variable);
}

void Controller::sharedMemoryBind() {
    const int64_t cells = memoryShared.size();
    sharedImage.reset(new double[static_cast<size_t>(cells)]);
    for (ControllerTask* task : tasks)
        task->machine->setSharedArea(sharedImage.get(), cells,
                                     sharedNamesOf(sharedVariables[task]));
}

} // namespace Karsto
