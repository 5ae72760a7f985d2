#include "core/stackmachine_interpreter.h"

namespace Karsto {

StackmachineInterpreter::~StackmachineInterpreter() = default;

void StackmachineInterpreter::unload() {
    Stackmachine::unload(); // runs the base reset only: the processor is reset once, below
    if (processor != nullptr) processor->reset();
}

void StackmachineInterpreter::reset() {
    Stackmachine::reset();
    if (processor != nullptr) processor->reset();
}

void StackmachineInterpreter::executeGcode(int32_t skipLevel, const std::vector<GCodeWord>& words) {
    Stackmachine::executeGcode(skipLevel, words);
    if (processor != nullptr) processor->executeBlock(skipLevel, words, currentSpanRef());
}

void StackmachineInterpreter::onProgramStart() {
    if (processor != nullptr) processor->startProgram();
}

void StackmachineInterpreter::onProgramEnd() {
    if (processor != nullptr) processor->finishProgram();
}

} // namespace Karsto
