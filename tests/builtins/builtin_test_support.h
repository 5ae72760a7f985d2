#pragma once
// Helpers for the tests of the built-in functions: compiled code run on a channel's
// interpreter, and both kinds of machine for the instructions' two paths.

#include <vector>

#include "core/code.h"
#include "core/emitters.h"
#include "core/stackmachine_interpreter.h"
#include "support/stdout_capture.h"

namespace Karsto::test {

// Links the code with a halt after it and runs it to the halt on the machine.
inline void runCode(StackmachineInterpreter& machine, const Code& code) {
    machine.loadProgram(CodeLinked(code.concat(emitHalt(SourceSpan()))));
    machine.reset();
    while (machine.isRunning() && machine.getPc() < machine.program.size()) machine.step();
}

// A channel's interpreter (the instructions' static path) and a plain machine (the
// virtual one).
struct BothMachines {
    StackmachineInterpreter interpreter;
    Stackmachine plain;
    std::vector<Stackmachine*> all() { return {&interpreter, &plain}; }
};

} // namespace Karsto::test
