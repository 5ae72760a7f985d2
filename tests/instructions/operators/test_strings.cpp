// The string instructions on values laid out on the stack by hand (characters from the
// deepest cell up, the length in the top cell), each run on a channel's interpreter
// and on a plain machine: the stack effect of every instruction, Mid's bounds, Concat's
// cut at the capacity, and length cells that hold nonsense.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "core/cmd_stack.h"
#include "core/type_string.h"
#include "instructions/operators/operator_test_support.h"

namespace Karsto {
namespace {

constexpr int64_t kCap = kDefaultStringCapacity;
constexpr int64_t kCells = kCap + 1;
constexpr uint8_t kBelow = 0xA5; // the content of the cells below the operands

// Both kinds of machine, each reset with a few marked cells below the operands.
class Machines {
public:
    std::vector<Stackmachine*> all() { return {&interpreter_, &plain_}; }

private:
    StackmachineInterpreter interpreter_;
    Stackmachine plain_;
};

void resetWithMarks(Stackmachine& machine) {
    machine.reset();
    for (int i = 0; i < 4; ++i) machine.pushU8(kBelow);
}

// Pushes a string of the capacity holding text, the length cell set to lengthCell
// (the text's length unless given); the cells beyond the text hold '#'. Returns its
// base, the cell of character 1.
int64_t pushString(Stackmachine& machine, std::string_view text, int64_t capacity,
                   std::optional<int64_t> lengthCell = std::nullopt) {
    const int64_t base = machine.getSp();
    for (int64_t i = 0; i < capacity; ++i) {
        machine.pushU8(i < static_cast<int64_t>(text.size()) ? static_cast<uint8_t>(text[i]) : '#');
    }
    machine.pushAddr(lengthCell.value_or(static_cast<int64_t>(text.size())));
    return base;
}

// The string of the capacity at base: its length must lie in 0..capacity.
std::string stringAt(Stackmachine& machine, int64_t base, int64_t capacity) {
    const int64_t length = machine.loadAddr(base + capacity);
    EXPECT_GE(length, 0);
    EXPECT_LE(length, capacity);
    std::string text;
    for (int64_t i = 0; i < std::min(length, capacity); ++i) {
        text += static_cast<char>(machine.loadU8(base + i));
    }
    return text;
}

void expectMarksKept(Stackmachine& machine) {
    for (int64_t i = 0; i < 4; ++i) {
        EXPECT_EQ(machine.loadU8(machine.getStackBase() + i), kBelow) << "cell " << i;
    }
}

void execute(Stackmachine& machine, OperatorFamily family, OperatorOperands operands = {}) {
    const Code code(operatorFor(family, TypeKind::Void)->make(operands));
    test::cmdOf(code).execute(machine);
}

TEST(StringInstructions, CastStrStrCutsOrExtendsTheValue) {
    Machines machines;
    for (Stackmachine* m : machines.all()) {
        resetWithMarks(*m);
        int64_t base = pushString(*m, "abcdefghij", 10);
        const int64_t before = m->getSp();
        execute(*m, OperatorFamily::CastStrStr, {10, 4});
        EXPECT_EQ(m->getSp(), before - 6);
        EXPECT_EQ(stringAt(*m, base, 4), "abcd");

        resetWithMarks(*m);
        base = pushString(*m, "xyz", 3);
        execute(*m, OperatorFamily::CastStrStr, {3, 8});
        EXPECT_EQ(m->getSp(), base + 9);
        EXPECT_EQ(stringAt(*m, base, 8), "xyz");

        // Length cells outside 0..source capacity count as clamped into it.
        for (const auto& [cell, text] : {std::pair<int64_t, std::string>{-5, ""},
                                         {1000000000000, "abcde"}}) {
            resetWithMarks(*m);
            base = pushString(*m, "abcdefghij", 10, cell);
            execute(*m, OperatorFamily::CastStrStr, {10, 5});
            EXPECT_EQ(stringAt(*m, base, 5), text) << cell;
            resetWithMarks(*m);
            base = pushString(*m, "abc", 3, cell);
            execute(*m, OperatorFamily::CastStrStr, {3, 80});
            EXPECT_EQ(stringAt(*m, base, 80), text.substr(0, 3)) << cell;
        }
    }
}

TEST(StringInstructions, CharacterAndStringConvert) {
    Machines machines;
    for (Stackmachine* m : machines.all()) {
        for (const int64_t capacity : {1, 80}) {
            resetWithMarks(*m);
            const int64_t base = m->getSp();
            m->pushU8('q');
            execute(*m, OperatorFamily::CastCharStr, {capacity, 0});
            EXPECT_EQ(m->getSp(), base + capacity + 1);
            EXPECT_EQ(stringAt(*m, base, capacity), "q");
        }
        // A STRING[0] target is the empty string: one cell, length 0, the character gone.
        resetWithMarks(*m);
        int64_t base = m->getSp();
        m->pushU8('q');
        execute(*m, OperatorFamily::CastCharStr, {0, 0});
        EXPECT_EQ(m->getSp(), base + 1);
        EXPECT_EQ(m->loadAddr(base), 0);

        resetWithMarks(*m);
        base = pushString(*m, "hello", 10);
        const int64_t before = m->getSp();
        execute(*m, OperatorFamily::CastStrChar, {10, 0});
        EXPECT_EQ(m->getSp(), before - 10);
        EXPECT_EQ(m->popU8(), 'h');
        expectMarksKept(*m);
    }
}

TEST(StringInstructions, LenReplacesTheValueByItsLength) {
    Machines machines;
    for (Stackmachine* m : machines.all()) {
        for (const auto& [cell, length] : {std::pair<int64_t, int64_t>{7, 7}, {0, 0},
                                           {255, 255}, {-5, 0}, {1000000000000, 255}}) {
            resetWithMarks(*m);
            const int64_t base = pushString(*m, "G01 X10", kCap, cell);
            execute(*m, OperatorFamily::Len);
            EXPECT_EQ(m->getSp(), base + 1);
            EXPECT_EQ(m->popS64(), length) << cell;
            expectMarksKept(*m);
        }
    }
}

TEST(StringInstructions, MidTakesASubstring) {
    struct Case {
        int64_t position;
        int64_t count;
        const char* result;
    };
    const Case cases[] = {{3, 2, "PR"}, {7, 0, ""}, {1, 0, ""}, {1, 6, "NCPROG"}, {6, 1, "G"},
                          {2, 3, "CPR"}};
    Machines machines;
    for (Stackmachine* m : machines.all()) {
        for (const Case& c : cases) {
            resetWithMarks(*m);
            const int64_t base = pushString(*m, "NCPROG", kCap);
            m->pushS64(c.position);
            m->pushS64(c.count);
            execute(*m, OperatorFamily::Mid);
            EXPECT_EQ(m->getSp(), base + kCells) << c.position << ", " << c.count;
            EXPECT_EQ(stringAt(*m, base, kCap), c.result) << c.position << ", " << c.count;
            expectMarksKept(*m);
        }
    }
}

// Every failing case leaves the 255 character cells and nothing else; the message
// carries the instruction's span when the machine runs it.
TEST(StringInstructions, MidOutOfBoundsRaisesAndLeavesTheCharacters) {
    constexpr int64_t kHuge = int64_t{1} << 62;
    const std::pair<int64_t, int64_t> failing[] = {
        {2, 6}, {0, 1}, {1, -1}, {7, 1}, {kHuge, kHuge + 10}, {-kHuge, kHuge}, {8, 0}};
    Machines machines;
    for (Stackmachine* m : machines.all()) {
        for (const auto& [position, count] : failing) {
            resetWithMarks(*m);
            const int64_t base = pushString(*m, "NCPROG", kCap);
            m->pushS64(position);
            m->pushS64(count);
            try {
                execute(*m, OperatorFamily::Mid);
                ADD_FAILURE() << "Mid " << position << ", " << count << " did not fail";
            } catch (const ExceptionRuntime& e) {
                EXPECT_EQ(e.message(), "Out of bounds in function 'Mid'.");
            }
            EXPECT_EQ(m->getSp(), base + kCap) << position << ", " << count;
            for (int64_t i = 0; i < 6; ++i) EXPECT_EQ(m->loadU8(base + i), "NCPROG"[i]);
        }
        // A length cell beyond the capacity counts as 255: the bound is the value's end,
        // not the cell's content.
        resetWithMarks(*m);
        int64_t base = pushString(*m, "NCPROG", kCap, 1000000000000);
        m->pushS64(250);
        m->pushS64(7);
        EXPECT_THROW(execute(*m, OperatorFamily::Mid), ExceptionRuntime);
        resetWithMarks(*m);
        base = pushString(*m, "NCPROG", kCap, 1000000000000);
        m->pushS64(5);
        m->pushS64(251);
        execute(*m, OperatorFamily::Mid);
        EXPECT_EQ(stringAt(*m, base, kCap).substr(0, 3), "OG#");

        Cmd* mid = operatorFor(OperatorFamily::Mid, TypeKind::Void)->make({});
        mid->setSpan(test::spanAt(9, 4));
        test::loadItems(*m, {new test::TestCmd("string",
                                               [](Stackmachine& machine) {
                                                   pushString(machine, "NCPROG", kCap);
                                                   machine.pushS64(0);
                                                   machine.pushS64(1);
                                               }),
                             mid, new CmdHalt()});
        m->reset();
        try {
            m->run();
            ADD_FAILURE() << "the program did not fail";
        } catch (const ExceptionRuntime& e) {
            EXPECT_STREQ(e.what(), "t.jyx: 9.4-9.5: Out of bounds in function 'Mid'.");
        }
        EXPECT_EQ(m->getSp(), m->getStackBase() + kCap);
    }
}

TEST(StringInstructions, ConcatJoinsInTheFirstValuesCells) {
    Machines machines;
    for (Stackmachine* m : machines.all()) {
        resetWithMarks(*m);
        int64_t base = pushString(*m, "G1", kCap);
        pushString(*m, " X", kCap);
        pushString(*m, "10", kCap);
        const int64_t before = m->getSp();
        execute(*m, OperatorFamily::Concat, {3, 0});
        EXPECT_EQ(m->getSp(), before - 2 * kCells);
        EXPECT_EQ(stringAt(*m, base, kCap), "G1 X10");
        expectMarksKept(*m);

        resetWithMarks(*m);
        const std::string first(150, 'a');
        std::string second(150, 'b');
        second[104] = 'c'; // the last character that fits
        second[105] = 'd';
        base = pushString(*m, first, kCap);
        pushString(*m, second, kCap);
        execute(*m, OperatorFamily::Concat, {2, 0});
        EXPECT_EQ(m->getSp(), base + kCells);
        EXPECT_EQ(stringAt(*m, base, kCap), first + second.substr(0, 105));

        resetWithMarks(*m);
        base = pushString(*m, "alone", kCap);
        execute(*m, OperatorFamily::Concat, {1, 0});
        EXPECT_EQ(m->getSp(), base + kCells);
        EXPECT_EQ(stringAt(*m, base, kCap), "alone");
        expectMarksKept(*m);
    }
}

// A length cell outside 0..255 (an output string a native never wrote) counts as
// clamped into it: a negative one moves nothing below the first value, a huge one
// nothing from beyond a value.
TEST(StringInstructions, ConcatClampsLengthCellsThatHoldNonsense) {
    Machines machines;
    for (Stackmachine* m : machines.all()) {
        resetWithMarks(*m);
        int64_t base = pushString(*m, "xyz", kCap, -5);
        pushString(*m, "ab", kCap);
        execute(*m, OperatorFamily::Concat, {2, 0});
        EXPECT_EQ(stringAt(*m, base, kCap), "ab");
        expectMarksKept(*m);

        resetWithMarks(*m);
        base = pushString(*m, "ab", kCap);
        pushString(*m, "cd", kCap, 1000000000000);
        pushString(*m, "ef", kCap);
        execute(*m, OperatorFamily::Concat, {3, 0});
        EXPECT_EQ(m->getSp(), base + kCells);
        const std::string text = stringAt(*m, base, kCap);
        EXPECT_EQ(text, "abcd" + std::string(kCap - 4, '#'));
        expectMarksKept(*m);
    }
}

// A STRING[255] of length 2, another of length 3; Concat 2; ConstLint 1, 1; Mid;
// CastStrChar 255; CastCharStr 10; CastStrStr 10 255; Len; SpAdd -1
TEST(StringInstructions, SteppedLoopAllocatesNothing) {
    const auto make = [](OperatorFamily family, OperatorOperands operands = {}) {
        return operatorFor(family, TypeKind::Void)->make(operands);
    };
    test::expectLoopAllocatesNothing(
        {new CmdSpAdd(kCap), new CmdConstLint(2), new CmdSpAdd(kCap), new CmdConstLint(3),
         make(OperatorFamily::Concat, {2, 0}), new CmdConstLint(1), new CmdConstLint(1),
         make(OperatorFamily::Mid), make(OperatorFamily::CastStrChar, {kCap, 0}),
         make(OperatorFamily::CastCharStr, {10, 0}), make(OperatorFamily::CastStrStr, {10, kCap}),
         make(OperatorFamily::Len), new CmdSpAdd(-1)});
}

} // namespace
} // namespace Karsto
