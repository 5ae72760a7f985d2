#pragma once
// Helpers for the tests of the operator instructions: making a class by family and
// kind, running one instruction on pushed cells, and running hand-linked programs of
// constants, one instruction and a halt.

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/allocation_count.h"
#include "core/cmd_const.h"
#include "core/cmd_flow.h"
#include "core/code.h"
#include "core/exception.h"
#include "core/log.h"
#include "core/machine_test_support.h"
#include "core/stackmachine.h"
#include "core/stackmachine_interpreter.h"
#include "instructions/cell_test_support.h"
#include "instructions/operators/operator_table.h"

namespace Karsto::test {

// A new instance of the family's class for the kind; fails the test when there is none.
inline Cmd* newOperator(OperatorFamily family, TypeKind kind) {
    const OperatorEntry* entry = operatorFor(family, kind);
    if (entry == nullptr) {
        ADD_FAILURE() << "family " << static_cast<int32_t>(family) << " has no class for kind "
                      << kindIndex(kind);
        return new TestCmd("missing");
    }
    return entry->make({});
}

inline Cmd& cmdOf(const Code& code) { return *code.node()->asItem()->asCmd(); }

inline bool isRealCell(Cell cell) { return cell == Cell::F64 || cell == Cell::F32; }

// The cell bits of a small whole number in the kind's format.
inline uint64_t cellValue(TypeKind kind, int64_t value) {
    switch (cellOf(kind)) {
    case Cell::F64: return f64(static_cast<double>(value));
    case Cell::F32: return f32(static_cast<float>(value));
    default: return static_cast<uint64_t>(value) & widthMask(kind);
    }
}

// What an instruction left: the result's bits in its width, or the error's message.
struct Outcome {
    uint64_t bits = 0;
    std::optional<std::string> error;
};

// Pushes the operands in order (the left first) in the kind's cell format and executes
// the instruction directly. Checks that every operand is gone and at most the result
// was pushed; the result is read in the kind's format unless another is given (the
// BOOL of a comparison).
inline Outcome executeOn(Stackmachine& machine, Cmd& cmd, TypeKind kind,
                         std::initializer_list<uint64_t> operands,
                         std::optional<Cell> resultCell = std::nullopt) {
    machine.reset();
    const Cell cell = cellOf(kind);
    const int64_t before = machine.getSp();
    for (const uint64_t bits : operands) pushCell(machine, cell, bits);
    Outcome outcome;
    try {
        cmd.execute(machine);
    } catch (const ExceptionRuntime& e) {
        outcome.error = e.message();
        EXPECT_EQ(machine.getSp(), before) << cmd.toString() << "failed but left cells behind";
        return outcome;
    }
    EXPECT_EQ(machine.getSp(), before + 1) << cmd.toString() << "left more than its result";
    outcome.bits = popCell(machine, resultCell.value_or(cell));
    return outcome;
}

inline Outcome executeOn(Stackmachine& machine, Cmd& cmd, TypeKind kind, uint64_t left,
                         uint64_t right, std::optional<Cell> resultCell = std::nullopt) {
    return executeOn(machine, cmd, kind, {left, right}, resultCell);
}

// A constant of the kind from a value given as cell bits.
inline Cmd* constantOf(TypeKind kind, uint64_t bits) {
    const CmdConstInfo* info = cmdConstForKind(kind);
    if (info == nullptr) {
        ADD_FAILURE() << "no constant for kind " << kindIndex(kind);
        return new TestCmd("missing");
    }
    switch (cellOf(kind)) {
    case Cell::F64: return info->fromReal(std::bit_cast<double>(bits));
    case Cell::F32:
        return info->fromReal(
            static_cast<double>(std::bit_cast<float>(static_cast<uint32_t>(bits))));
    default: return info->fromInteger(static_cast<int64_t>(bits));
    }
}

// Links and runs "the operand constants; the instruction; Halt", the instruction
// carrying the span; the result is read back with the pop of resultKind. An error
// leaves the stack pointer where it was before the constants.
inline Outcome runOperator(Stackmachine& machine, OperatorFamily family, TypeKind kind,
                           std::vector<CodeItem*> items, TypeKind resultKind,
                           const SourceSpan& span = spanAt(4, 2),
                           std::string* whatText = nullptr) {
    Cmd* op = newOperator(family, kind);
    op->setSpan(span);
    items.push_back(op);
    items.push_back(new CmdHalt());
    loadItems(machine, items);
    machine.reset();
    const int64_t before = machine.getSp();
    Outcome outcome;
    try {
        machine.run();
    } catch (const ExceptionRuntime& e) {
        outcome.error = e.message();
        if (whatText != nullptr) *whatText = e.what();
        EXPECT_EQ(machine.getSp(), before) << op->toString() << "failed but left cells behind";
        return outcome;
    }
    EXPECT_EQ(machine.getSp(), before + 1);
    outcome.bits = popCell(machine, cellOf(resultKind));
    return outcome;
}

// The same with every operand a constant of the instruction's own kind.
inline Outcome runProgram(Stackmachine& machine, OperatorFamily family, TypeKind kind,
                          std::initializer_list<uint64_t> operands,
                          const SourceSpan& span = spanAt(4, 2), std::string* whatText = nullptr) {
    std::vector<CodeItem*> items;
    for (const uint64_t bits : operands) items.push_back(constantOf(kind, bits));
    return runOperator(machine, family, kind, std::move(items), kind, span, whatText);
}

inline Outcome runProgram(Stackmachine& machine, OperatorFamily family, TypeKind kind,
                          uint64_t left, uint64_t right, const SourceSpan& span = spanAt(4, 2),
                          std::string* whatText = nullptr) {
    return runProgram(machine, family, kind, {left, right}, span, whatText);
}

// Runs "L: body; Jump L" with the log levels off (tracing stays on) on a channel's
// interpreter and on a plain machine: after a warm-up round, ten rounds allocate
// nothing and leave the stack where it was. The body must leave the stack balanced.
inline void expectLoopAllocatesNothing(const std::vector<CodeItem*>& body) {
    for (int32_t level = 0; level < kLogLevelCount; ++level) globalLog.setLevel(level, false);
    auto* loop = new Label();
    Code code(loop);
    for (CodeItem* item : body) code = code.concat(Code(item));
    code = code.concat(Code(new CmdJump(loop)));
    const int64_t loopSteps = static_cast<int64_t>(body.size()) + 2;
    const CodeLinked program(code);

    StackmachineInterpreter interpreter;
    Stackmachine plain;
    for (Stackmachine* machine : {static_cast<Stackmachine*>(&interpreter), &plain}) {
        machine->loadProgram(program);
        machine->reset();
        ASSERT_TRUE(machine->trace); // tracing is on; only the log levels are off
        const int64_t base = machine->getSp();
        for (int64_t i = 0; i < loopSteps; ++i) machine->step(); // warm up
        const int64_t before = allocationCount();
        for (int64_t i = 0; i < 10 * loopSteps; ++i) machine->step();
        EXPECT_EQ(allocationCount() - before, 0);
        EXPECT_EQ(machine->getSp(), base);
    }
}

// A channel's interpreter (the kernels' static path) and a plain machine (the virtual
// path), for tests that run every instruction on both.
class Machines {
public:
    std::vector<Stackmachine*> all() { return {&interpreter_, &plain_}; }

private:
    StackmachineInterpreter interpreter_;
    Stackmachine plain_;
};

} // namespace Karsto::test
