#include "host/kernel_interface_null.h"

#include "core/log.h"
#include "core/stackmachine_interpreter.h"
#include "host/controller.h"

namespace Karsto {

namespace {

// TODO(#62): an offline channel is a GProcessorNc2 on an NInterfaceNull, with the
// machine stored in the processor, set up with the run mode. Until then its processor
// takes every block and produces nothing, which is what the NC output does offline
// unless the preview is switched on; it offers no NC built-ins yet.
class OfflineProcessorStandIn final : public GProcessor {
public:
    void executeBlock(int32_t, const std::vector<GCodeWord>&, const SourceSpan&) override {}
    void startProgram() override {}
    void finishProgram() override {}
    bool isStalled() override { return false; }
    void registerNatives(SymbolTables&, std::vector<FunctionNative*>&) override {}
    void reset() override {}
};

} // namespace

KernelInterfaceNull::KernelInterfaceNull(Controller* controller_) : controller(controller_) {}

KernelInterfaceNull::~KernelInterfaceNull() {
    for (ControllerTask* task : tasks) {
        // The machine first: its program may hold natives bound to the processor.
        delete controller->taskRemove(task);
        processors.erase(task); // the processor; the NC output goes with it
    }
    names.clear();
    tasks.clear();
}

ControllerTask* KernelInterfaceNull::channelCreate(const std::string& name) {
    auto processor = std::make_unique<OfflineProcessorStandIn>();
    auto machine = std::make_unique<StackmachineInterpreter>(processor.get());
    // Offline nothing gives a wait counter back, so the counters must never block.
    machine->setWaitEnabled(false);
    tasks.reserve(tasks.size() + 1); // the append below cannot fail
    ControllerTask* task = controller->taskAdd(machine.get(), name);
    machine.release(); // owned through the task from here on
    try {
        names[task] = name;
        processors[task] = std::move(processor);
    } catch (...) {
        // Only the maps can fail; the processor, still local, goes after the machine.
        names.erase(task);
        delete controller->taskRemove(task);
        throw;
    }
    tasks.push_back(task);
    return task;
}

void KernelInterfaceNull::stackmachineStateChanged(ControllerTask* task) {
    auto found = names.find(task);
    const char* name = found != names.end() ? found->second.c_str() : task->name.c_str();
    switch (task->state) {
    case StackmachineState::undefined: globalLog.debugKiState("Stackmachine %s undefined", name); break;
    case StackmachineState::stopped: globalLog.debugKiState("Stackmachine %s stopped", name); break;
    case StackmachineState::running: globalLog.debugKiState("Stackmachine %s running", name); break;
    case StackmachineState::finished: globalLog.debugKiState("Stackmachine %s finished", name); break;
    case StackmachineState::error:
        globalLog.error("Stackmachine %s error (%s). Stopping controller.", name,
                        task->error ? task->error->what() : "");
        controller->quit();
        break;
    }
}

} // namespace Karsto
