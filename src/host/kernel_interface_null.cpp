#include "host/kernel_interface_null.h"

#include "core/log.h"
#include "core/stackmachine_interpreter.h"
#include "gcode/gprocessor_nc2.h"
#include "gcode/ninterface_null.h"
#include "host/controller.h"

namespace Karsto {

// Its cycles are alike: nothing happens in them but the steps of the tasks.
KernelInterfaceNull::KernelInterfaceNull(Controller* controller_) : KernelInterface(true), controller(controller_) {}

KernelInterfaceNull::~KernelInterfaceNull() {
    for (ControllerTask* task : tasks) {
        // The machine first: its program may hold natives bound to the processor.
        delete controller->taskRemove(task);
        processors.erase(task); // the processor before the NC output its queue uses
        outputs.erase(task);
    }
    names.clear();
    tasks.clear();
}

ControllerTask* KernelInterfaceNull::channelCreate(const std::string& name) {
    auto output = std::make_unique<NInterfaceNull>();
    auto processor = std::make_unique<GProcessorNc2>(output.get());
    auto machine = std::make_unique<StackmachineInterpreter>(processor.get());
    // Offline nothing gives a wait counter back, so the counters must never block.
    machine->setWaitEnabled(false);
    processor->machine = machine.get();
    tasks.reserve(tasks.size() + 1); // the append below cannot fail
    ControllerTask* task = controller->taskAdd(machine.get(), name);
    machine.release(); // owned through the task from here on
    try {
        names[task] = name;
        processors[task] = nullptr;
        outputs[task] = nullptr;
    } catch (...) {
        // Only the maps can fail; processor and output, still local, go after the machine.
        names.erase(task);
        processors.erase(task);
        outputs.erase(task);
        delete controller->taskRemove(task);
        throw;
    }
    processors[task] = std::move(processor);
    outputs[task] = std::move(output);
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
