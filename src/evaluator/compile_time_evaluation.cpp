#include "evaluator/compile_time_evaluation.h"

#include <optional>

#include "codegen/cast_emitter.h"
#include "core/emitters.h"
#include "core/exception.h"
#include "core/type.h"

namespace Karsto {

namespace {

// A range of count cells that lies wholly in the stack.
bool onStack(int64_t address, int64_t count) {
    const uint64_t offset = static_cast<uint64_t>(address) - static_cast<uint64_t>(Stackmachine::kStackBase);
    const auto size = static_cast<uint64_t>(Stackmachine::kStackEnd - Stackmachine::kStackBase);
    return offset < size && (count <= 0 || static_cast<uint64_t>(count) <= size - offset);
}

[[noreturn]] void refuse() { failRuntime("Invalid constant expression"); }

// The expression, its conversion to the target type and the closing Halt. A label
// and a type that does not convert are refused before any machine exists.
Code constantProgram(const Code& code, Type* type, Type* target) {
    checkSemantic(!code.containsLabel(), "Constant expression must not contain control-flow");
    const SourceSpan none;
    return code.concat(emitImplicitConversion(type, target, none)).concat(emitHalt(none));
}

// Builds the program, then runs it on a fresh machine and pops the value, which has
// the target's type. Only the instructions' own run-time errors become compile errors,
// without their place; the machine is freed on every path.
template <class Pop>
auto evaluate(const Code& code, Type* type, Type* target, Pop pop) {
    const Code program = constantProgram(code, type, target);
    StackmachineEvaluator machine;
    machine.trace = false; // the step trace reads fp, which this machine refuses
    std::optional<CodeLinked> linked;
    try {
        linked.emplace(program);
    } catch (const ExceptionSemantic&) {
        // Linking fails only on a jump out of the expression, such as the call of a
        // function whose body lies elsewhere: that is no constant either.
        throw ExceptionSemantic("Invalid constant expression", SourceSpan());
    }
    machine.loadProgram(*linked);
    try {
        machine.run();
    } catch (const ExceptionRuntime& error) {
        throw ExceptionSemantic(error.message(), SourceSpan());
    }
    return pop(machine);
}

} // namespace

void StackmachineEvaluator::copy(int64_t destination, int64_t source, int64_t count) {
    // Global cells are never initialised here and the shared area is not bound: a
    // constant may only move values that it pushed itself.
    if (!onStack(destination, count) || !onStack(source, count)) refuse();
    Stackmachine::copy(destination, source, count);
}

int64_t StackmachineEvaluator::getFp() { refuse(); }

void StackmachineEvaluator::addFp(int64_t) { refuse(); }

void StackmachineEvaluator::setFp(int64_t) { refuse(); }

int32_t evaluateConstInt(const Code& code, Type* type) {
    return evaluate(code, type, typeDint, [](StackmachineEvaluator& machine) { return machine.popS32(); });
}

double evaluateConstReal(const Code& code, Type* type) {
    return evaluate(code, type, typeLreal, [](StackmachineEvaluator& machine) { return machine.popF64(); });
}

} // namespace Karsto
