#include "host/controller_task.h"

#include "core/code.h"
#include "core/log.h"
#include "core/stackmachine_interpreter.h"
#include "host/compile.h"
#include "host/controller.h"

namespace Karsto {

namespace {

// Every task compiles the one language; "jyxmb" and others only reach the driver itself.
const char* const kTaskLanguage = "jyx";

GProcessor* processorOf(Stackmachine* machine) {
    auto* interpreter = dynamic_cast<StackmachineInterpreter*>(machine);
    return interpreter != nullptr ? interpreter->processor : nullptr;
}

template <class CompileStep>
void compileTask(ControllerTask& task, CompileStep&& compileInto) {
    task.error.reset();
    try {
        const std::vector<Variable*> none;
        auto list = task.owner->sharedVariables.find(&task);
        const std::vector<Variable*>& externals = list != task.owner->sharedVariables.end() ? list->second : none;
        CodeLinked linked;
        compileInto(linked, processorOf(task.machine), externals);
        task.machine->loadProgram(linked);
        // The listing is built only when it will be written: the log refuses it too late.
        if (globalLog.enabled(LogLevel::debugCode)) globalLog.debugCode("%s", task.machine->program.toString().c_str());
        task.state = StackmachineState::stopped;
        task.owner->kernel->stackmachineStateChanged(&task);
    } catch (const ExceptionKarsto& e) {
        task.setError(e);
        throw;
    }
}

} // namespace

void ControllerTask::compileInput(ScannerInputFile* input) {
    compileTask(*this, [input](CodeLinked& out, GProcessor* provider, const std::vector<Variable*>& externals) {
        compile(out, input, provider, externals, kTaskLanguage);
    });
}

void ControllerTask::compileInput(const std::shared_ptr<ScannerInputFile>& input) {
    compileTask(*this, [&input](CodeLinked& out, GProcessor* provider, const std::vector<Variable*>& externals) {
        compile(out, input, provider, externals, kTaskLanguage);
    });
}

void ControllerTask::compileFile(const std::string& path) {
    compileTask(*this, [&path](CodeLinked& out, GProcessor* provider, const std::vector<Variable*>& externals) {
        Karsto::compileFile(out, path, provider, externals, kTaskLanguage);
    });
}

void ControllerTask::setError(const ExceptionKarsto& e) {
    error.reset(e.clone());
    state = StackmachineState::error;
    owner->kernel->stackmachineStateChanged(this);
}

void ControllerTask::start() {
    if (state == StackmachineState::finished) {
        machine->reset(); // the interpreter resets its processor too
        state = StackmachineState::running;
        owner->kernel->stackmachineStateChanged(this);
    }
    if (state == StackmachineState::stopped) {
        state = StackmachineState::running;
        owner->kernel->stackmachineStateChanged(this);
    }
}

} // namespace Karsto
