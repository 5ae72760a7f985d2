// The range checks and range branches: AssertRange tests the top value in place against
// bounds narrowed to its width; the branches consume their operands and jump to their
// label in hand-linked programs on both kinds of machine; linking resolves and remaps
// the label like every label operand.

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/cmd_stack.h"
#include "core/type_string.h"
#include "instructions/operators/operator_test_support.h"

namespace Karsto {
namespace {

using F = OperatorFamily;
using K = TypeKind;

// ---- AssertRange -----------------------------------------------------------------------

struct AssertCase {
    TypeKind kind;
    int64_t lower;
    int64_t upper;
    uint64_t value;
    std::optional<std::string> error;
};

TEST(AssertRange, TestsTheTopValueInPlace) {
    const int64_t big = int64_t{1} << 40;
    const std::vector<AssertCase> cases = {
        {K::Int, -5, 5, i64(-5), std::nullopt},
        {K::Int, -5, 5, 5, std::nullopt},
        {K::Int, -5, 5, 6, "Out of bounds. 6 exceeds range -5..5."},
        {K::Int, -5, 5, i64(-6), "Out of bounds. -6 exceeds range -5..5."},
        // The bounds narrow to the width: 200 is -56 for SINT, so nothing passes.
        {K::Sint, 0, 200, 0, "Out of bounds. 0 exceeds range 0..200."},
        {K::Usint, 0, 200, 200, std::nullopt},
        {K::Usint, 0, 200, 201, "Out of bounds. 201 exceeds range 0..200."},
        {K::Uint, 0, 9, 0xFFFF, "Out of bounds. 65535 exceeds range 0..9."},
        {K::Dint, -1, 1, i64(-1), std::nullopt},
        {K::Udint, 0, 9, 3000000000, "Out of bounds. -1294967296 exceeds range 0..9."},
        {K::Ulint, 0, 9, ~uint64_t{0}, "Out of bounds. -1 exceeds range 0..9."},
        {K::Lint, 0, 9, ~uint64_t{0}, "Out of bounds. -1 exceeds range 0..9."},
        {K::Lint, 0, 9, 9, std::nullopt},
        {K::Lint, 0, 9, 10, "Out of bounds. 10 exceeds range 0..9."},
        {K::Lint, 0, 9, 4294967306, "Out of bounds. 10 exceeds range 0..9."},
        {K::Lint, -1, big, static_cast<uint64_t>(big), std::nullopt},
        {K::Lint, -1, big, static_cast<uint64_t>(big + 1), "Out of bounds. 1 exceeds range -1..0."},
        {K::Ulint, 0, -1, ~uint64_t{0}, std::nullopt}, // the bound is the largest ULINT
    };
    StackmachineInterpreter interpreter;
    Stackmachine plain;
    for (const AssertCase& c : cases) {
        const Code code(operatorFor(F::AssertRange, c.kind)->make({c.lower, c.upper}));
        for (Stackmachine* machine : {static_cast<Stackmachine*>(&interpreter), &plain}) {
            machine->reset();
            pushCell(*machine, cellOf(c.kind), c.value);
            const int64_t before = machine->getSp();
            std::optional<std::string> error;
            try {
                test::cmdOf(code).execute(*machine);
            } catch (const ExceptionRuntime& e) {
                error = e.message();
            }
            EXPECT_EQ(error, c.error) << suffixRow(c.kind).suffix << " " << c.value;
            // Pass or fail, the value stays on top.
            EXPECT_EQ(machine->getSp(), before);
            EXPECT_EQ(popCell(*machine, cellOf(c.kind)), c.value & widthMask(c.kind));
        }
    }
}

TEST(AssertRange, AFailureCarriesTheInstructionsSpan) {
    Stackmachine machine;
    Cmd* check = operatorFor(F::AssertRange, K::Lint)->make({0, 9});
    check->setSpan(test::spanAt(6, 3, "range.jyx"));
    test::loadItems(machine, {new CmdConstLint(12), check, new CmdHalt()});
    machine.reset();
    try {
        machine.run();
        ADD_FAILURE() << "no error";
    } catch (const ExceptionRuntime& e) {
        EXPECT_EQ(std::string(e.what()), "range.jyx: 6.3-6.4: Out of bounds. 12 exceeds range 0..9.");
    }
}

// ---- branches -----------------------------------------------------------------------------

// Links "operands; the branch to L; ConstDint 0; Jump E; L: ConstDint 1; E: Halt" and
// runs it on both machines (run steps to the end of the items): whether each jumped,
// the operands all gone.
std::vector<bool> jumpsOnBoth(F family, TypeKind kind, const std::vector<uint64_t>& operands) {
    static StackmachineInterpreter interpreter; // made once: each run loads and resets it
    static Stackmachine plain;
    std::vector<bool> jumped;
    for (Stackmachine* machine : {static_cast<Stackmachine*>(&interpreter), &plain}) {
        auto* target = new Label();
        std::vector<CodeItem*> items;
        for (const uint64_t bits : operands) items.push_back(test::constantOf(kind, bits));
        items.push_back(operatorFor(family, kind)->make({0, 0, target}));
        auto* end = new Label();
        items.insert(items.end(), {new CmdConstDint(0), new CmdJump(end), target,
                                   new CmdConstDint(1), end, new CmdHalt()});
        test::loadItems(*machine, items);
        machine->reset();
        const int64_t before = machine->getSp();
        machine->run();
        EXPECT_EQ(machine->getSp(), before + 1);
        jumped.push_back(machine->popS32() == 1);
    }
    return jumped;
}

struct BranchCase {
    F family;
    TypeKind kind;
    std::vector<uint64_t> operands;
    bool jumps;
};

TEST(RangeBranches, JumpWhenTheTestHoldsAndConsumeTheirOperands) {
    const uint64_t nan = f32(std::nanf(""));
    std::vector<BranchCase> cases = {
        {F::BranchInRange, K::Int, {i64(-3), i64(-3), 3}, true},
        {F::BranchInRange, K::Int, {0, i64(-3), 3}, true},
        {F::BranchInRange, K::Int, {3, i64(-3), 3}, true},
        {F::BranchInRange, K::Int, {i64(-4), i64(-3), 3}, false},
        {F::BranchInRange, K::Int, {4, i64(-3), 3}, false},
        {F::BranchInRange, K::Int, {0, 3, i64(-3)}, false}, // reversed bounds
        {F::BranchInRange, K::Int, {3, 3, i64(-3)}, false},
        {F::BranchInRange, K::Int, {i64(-3), 3, i64(-3)}, false},
        {F::BranchInRange, K::Real, {f32(1.0f), nan, f32(2.0f)}, false},
        {F::BranchInRange, K::Real, {f32(1.0f), f32(0.0f), nan}, false},
        {F::BranchInRange, K::Real, {nan, f32(0.0f), f32(2.0f)}, false},
        {F::BranchInRange, K::Real, {f32(-0.0f), f32(0.0f), f32(0.0f)}, true},
        {F::BranchInRange, K::Lreal, {f64(std::nan("")), f64(-kInf), f64(kInf)}, false},
        {F::BranchInRange, K::Udint, {4294967295, 0, 10}, false},
        {F::BranchInRange, K::Usint, {255, 0, 10}, false},
        {F::BranchInRange, K::Sint, {i64(-1), i64(-1), 10}, true},
        {F::BranchInRange, K::Ulint, {~uint64_t{0}, 1, ~uint64_t{0}}, true},
        {F::BranchInRange, K::Lint, {0x100000000, 0, 0xFFFFFFFF}, false},
        {F::BranchGtEq, K::Sint, {i64(-1), 1}, false},
        {F::BranchGtEq, K::Usint, {255, 1}, true},
        {F::BranchLtEq, K::Usint, {255, 1}, false},
        {F::BranchLtEq, K::Sint, {i64(-1), 1}, true},
        {F::BranchLtEq, K::Dint, {2, 3}, true},
        {F::BranchGtEq, K::Dint, {2, 3}, false},
        {F::BranchLtEq, K::Lreal, {f64(std::nan("")), f64(1.0)}, false},
        {F::BranchGtEq, K::Lreal, {f64(std::nan("")), f64(1.0)}, false},
    };
    // Equal operands jump for LtEq and GtEq of every member.
    for (const std::string_view suffix : {"Lreal", "Real", "Sint", "Int", "Dint", "Lint", "Usint",
                                          "Uint", "Udint", "Ulint", "Litr", "Liti"}) {
        const TypeKind kind = kindOfSuffix(suffix);
        const uint64_t three = test::cellValue(kind, 3);
        cases.push_back({F::BranchLtEq, kind, {three, three}, true});
        cases.push_back({F::BranchGtEq, kind, {three, three}, true});
        cases.push_back({F::BranchInRange, kind, {three, three, three}, true});
    }
    for (const BranchCase& c : cases) {
        for (const bool jumped : jumpsOnBoth(c.family, c.kind, c.operands)) {
            EXPECT_EQ(jumped, c.jumps) << operatorFor(c.family, c.kind)->text << "0x" << std::hex
                                       << c.operands[0] << " 0x" << c.operands[1];
        }
    }
}

TEST(RangeBranches, LinkingResolvesAndRemapsTheLabel) {
    for (const OperatorEntry& entry : operatorRegistry()) {
        if (entry.shape != OperandShape::Target) continue;
        auto* target = new Label();
        Cmd* branch = entry.make({0, 0, target});
        const Code code = Code(new CmdConstLint(0))
                              .concat(Code(branch))
                              .concat(Code(new CmdHalt()))
                              .concat(Code(target));
        EXPECT_FALSE(branch->isResolved()) << entry.text;
        const CodeLinked linked(code);
        EXPECT_FALSE(branch->isResolved()) << entry.text << "the source is left unchanged";
        CodeItem* clone = linked.item(1);
        EXPECT_EQ(typeid(*clone), typeid(*branch));
        EXPECT_TRUE(clone->isResolved()) << entry.text;
        Label* placed = linked.item(3)->asLabel();
        ASSERT_NE(placed, nullptr);
        EXPECT_NE(placed, target);
        EXPECT_EQ(placed->address(), 3);
        EXPECT_EQ(static_cast<CmdWithTarget*>(clone)->target(), placed) << entry.text;
        EXPECT_EQ(clone->toString(), std::string(entry.text) + placed->toString());
    }
    // The linked clone jumps to the label clone's index: with v = lo = hi the branch skips
    // the constant 7 and leaves only the 1 below it.
    auto* target = new Label();
    const Code code = Code(new CmdConstDint(1))
                          .concat(Code(new CmdConstDint(4)))
                          .concat(Code(new CmdConstDint(4)))
                          .concat(Code(new CmdConstDint(4)))
                          .concat(Code(operatorFor(F::BranchInRange, K::Dint)->make({0, 0, target})))
                          .concat(Code(new CmdConstDint(7)))
                          .concat(Code(target))
                          .concat(Code(new CmdHalt()));
    StackmachineInterpreter machine;
    machine.loadProgram(CodeLinked(code));
    machine.reset();
    const int64_t before = machine.getSp();
    machine.run();
    EXPECT_EQ(machine.getSp(), before + 1);
    EXPECT_EQ(machine.popS32(), 1);
}

TEST(RangeBranches, ALabelNotPlacedInTheCodeFailsTheLink) {
    auto* elsewhere = new Label();
    const Code holder(elsewhere); // keeps the label alive, outside the linked code
    const Code code = Code(new CmdConstLint(0))
                          .concat(Code(new CmdConstLint(1)))
                          .concat(Code(operatorFor(F::BranchLtEq, K::Lint)->make({0, 0, elsewhere})))
                          .concat(Code(new CmdHalt()));
    try {
        const CodeLinked linked(code);
        ADD_FAILURE() << "linked";
    } catch (const ExceptionSemantic& e) {
        EXPECT_EQ(e.message(), "Jump target Label " + std::to_string(elsewhere->id()) +
                                   " is not placed in the linked code");
    }
}

// ---- a stepped loop allocates nothing ------------------------------------------------------

// Comparisons of default strings, Min of two, a range check and the three branches
// (each to the label right after it, whether it jumps or not), tracing on, logs off.
TEST(RangeBranches, SteppedLoopWithStringComparisonsAndBranchesAllocatesNothing) {
    constexpr int64_t kCells = kDefaultStringCapacity + 1;
    std::vector<CodeItem*> body;
    const auto pushStrings = [&body](int32_t count) {
        for (int32_t i = 0; i < count; ++i) {
            body.push_back(new CmdSpAdd(kCells - 1));
            body.push_back(new CmdConstLint(3));
        }
    };
    pushStrings(2);
    body.push_back(test::newOperator(F::Lt, K::String));
    body.push_back(new CmdSpAdd(-1));
    pushStrings(2);
    body.push_back(test::newOperator(F::Ge, K::Wstring));
    body.push_back(new CmdSpAdd(-1));
    pushStrings(2);
    body.push_back(operatorFor(F::Min, K::String)->make({2}));
    body.push_back(new CmdSpAdd(-kCells));
    body.push_back(new CmdConstLint(4));
    body.push_back(operatorFor(F::AssertRange, K::Lint)->make({0, 9}));
    body.push_back(new CmdSpAdd(-1));
    const auto branch = [&body](F family, std::vector<int32_t> operands) {
        auto* next = new Label();
        for (const int32_t v : operands) body.push_back(new CmdConstDint(v));
        body.push_back(operatorFor(family, K::Dint)->make({0, 0, next}));
        body.push_back(next);
    };
    branch(F::BranchInRange, {2, 1, 3});
    branch(F::BranchInRange, {5, 1, 3});
    branch(F::BranchLtEq, {1, 2});
    branch(F::BranchGtEq, {1, 2});
    test::expectLoopAllocatesNothing(body);
}

} // namespace
} // namespace Karsto
