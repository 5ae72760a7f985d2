// The time-stamp and object-check instructions on cells pushed by hand, each on a
// channel's interpreter and on a plain machine: calendar fields to seconds and back
// (field widths, refused dates, a sampled round trip over the whole range), the null
// test that keeps its reference, and the resizing class conversion.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/cmd_stack.h"
#include "instructions/operators/operator_test_support.h"

namespace Karsto {
namespace {

constexpr int64_t kMark = 0x5A5A; // the content of the cells below the operands

using test::Machines;

// Resets the machine and pushes two marked cells; returns the stack pointer above them.
int64_t resetTimeMarks(Stackmachine& machine) {
    machine.reset();
    machine.pushS64(kMark);
    machine.pushS64(kMark);
    return machine.getSp();
}

void expectTimeMarksKept(Stackmachine& machine) {
    for (int64_t i = 0; i < 2; ++i) {
        EXPECT_EQ(machine.loadS64(machine.getStackBase() + i), kMark) << "cell " << i;
    }
}

// Executes the class of the family with the operands; the error's message, if any.
std::optional<std::string> executeTimeOp(Stackmachine& machine, OperatorFamily family,
                                   OperatorOperands operands = {}) {
    const Code code(operatorFor(family, TypeKind::Void)->make(operands));
    try {
        test::cmdOf(code).execute(machine);
    } catch (const ExceptionRuntime& e) {
        return e.message();
    }
    return std::nullopt;
}

struct Calendar {
    int64_t year, month, day, hour, minute, second;
};

// UtcTimestamp of the six fields, checking that exactly one cell replaced them.
int64_t timestampOf(Stackmachine& machine, const Calendar& c) {
    const int64_t base = resetTimeMarks(machine);
    for (const int64_t field : {c.year, c.month, c.day, c.hour, c.minute, c.second}) {
        machine.pushS64(field);
    }
    EXPECT_EQ(executeTimeOp(machine, OperatorFamily::UtcTimestamp), std::nullopt);
    EXPECT_EQ(machine.getSp(), base + 1);
    expectTimeMarksKept(machine);
    return machine.loadS64(base);
}

// UtcDate of the time stamp, checking that six cells replaced it.
Calendar calendarOf(Stackmachine& machine, int64_t seconds) {
    const int64_t base = resetTimeMarks(machine);
    machine.pushS64(seconds);
    EXPECT_EQ(executeTimeOp(machine, OperatorFamily::UtcDate), std::nullopt);
    EXPECT_EQ(machine.getSp(), base + 6);
    expectTimeMarksKept(machine);
    return {machine.loadS64(base),     machine.loadS64(base + 1), machine.loadS64(base + 2),
            machine.loadS64(base + 3), machine.loadS64(base + 4), machine.loadS64(base + 5)};
}

std::string text(const Calendar& c) {
    return std::to_string(c.year) + "-" + std::to_string(c.month) + "-" + std::to_string(c.day) +
           " " + std::to_string(c.hour) + ":" + std::to_string(c.minute) + ":" +
           std::to_string(c.second);
}

TEST(TimeStampInstructions, UtcTimestampCountsSecondsSince1970) {
    const std::pair<Calendar, int64_t> cases[] = {
        {{1970, 1, 1, 0, 0, 0}, 0},
        {{1970, 1, 2, 0, 0, 0}, 86400},
        {{2000, 2, 29, 12, 30, 15}, 951827415},
        {{2038, 1, 19, 3, 14, 8}, 2147483648},
        {{9999, 12, 31, 23, 59, 59}, 253402300799},
        // Refused dates: a year before 1970, a month outside 1 to 12.
        {{1969, 12, 31, 23, 59, 59}, -1},
        {{2000, 13, 1, 0, 0, 0}, -1},
        {{2000, 0, 1, 0, 0, 0}, -1},
        // Only the low 16 bits of each cell count, read as signed.
        {{1970, 65537, 2, 0, 0, 0}, 86400},
        {{67506, 1, 1, 0, 0, 0}, 0},
        {{1970, 1, 1, 0, 0, 65536 + 59}, 59},
        {{1970, 1, 2, 0, 0, 0x1FFFF}, 86399}, // second -1 carries back a day
        {{1970 - 65536, 1, 1, 0, 0, 0}, 0},
        {{1970, 1, 1, 0, 0, -65536 + 7}, 7},
    };
    Machines machines;
    for (Stackmachine* m : machines.all()) {
        for (const auto& [calendar, seconds] : cases) {
            EXPECT_EQ(timestampOf(*m, calendar), seconds) << text(calendar);
        }
    }
}

TEST(TimeStampInstructions, UtcDatePushesTheSixFieldsYearDeepest) {
    const std::pair<int64_t, Calendar> cases[] = {
        {0, {1970, 1, 1, 0, 0, 0}},
        {86399, {1970, 1, 1, 23, 59, 59}},
        {951827415, {2000, 2, 29, 12, 30, 15}},
        {2147483648, {2038, 1, 19, 3, 14, 8}},
        {253402300799, {9999, 12, 31, 23, 59, 59}},
    };
    Machines machines;
    for (Stackmachine* m : machines.all()) {
        for (const auto& [seconds, calendar] : cases) {
            EXPECT_EQ(text(calendarOf(*m, seconds)), text(calendar)) << seconds;
        }
    }
}

// Every ~115 days plus an odd number of seconds, and the turn of every year: the
// fields of UtcDate give UtcTimestamp its time stamp back.
TEST(TimeStampInstructions, UtcDateThenUtcTimestampIsTheIdentityFrom1970To9999) {
    constexpr int64_t kLast = 253402300799; // 9999-12-31 23:59:59
    std::vector<int64_t> samples;
    for (int64_t t = 0; t <= kLast; t += 9999991) samples.push_back(t);
    samples.push_back(kLast);
    Machines machines;
    for (Stackmachine* m : machines.all()) {
        int failures = 0;
        for (const int64_t t : samples) {
            const Calendar calendar = calendarOf(*m, t);
            const int64_t back = timestampOf(*m, calendar);
            if (back != t && ++failures <= 5) ADD_FAILURE() << t << " gave " << back;
        }
        // The last second of every year and the first of the next.
        for (int64_t year = 1970; year < 9999; ++year) {
            const int64_t first = timestampOf(*m, {year + 1, 1, 1, 0, 0, 0});
            const Calendar before = calendarOf(*m, first - 1);
            if ((before.year != year || before.month != 12 || before.day != 31 ||
                 timestampOf(*m, before) != first - 1) &&
                ++failures <= 5) {
                ADD_FAILURE() << "turn of " << year << ": " << text(before);
            }
        }
        EXPECT_EQ(failures, 0);
    }
}

TEST(ObjectCheckInstructions, CheckNonNullRaisesOnZeroAndKeepsTheReference) {
    Machines machines;
    for (Stackmachine* m : machines.all()) {
        for (const int64_t address : {int64_t{0}, int64_t{1}, int64_t{0x80000000}, int64_t{-1}}) {
            const int64_t base = resetTimeMarks(*m);
            m->pushAddr(address);
            const std::optional<std::string> error = executeTimeOp(*m, OperatorFamily::CheckNonNull);
            if (address == 0) {
                EXPECT_EQ(error, "Null-Pointer Exception");
            } else {
                EXPECT_EQ(error, std::nullopt) << address;
            }
            EXPECT_EQ(m->getSp(), base + 1) << address;
            EXPECT_EQ(m->loadAddr(base), address);
            expectTimeMarksKept(*m);
        }
    }
}

// The run-time error carries the instruction's span when the machine runs it.
TEST(ObjectCheckInstructions, CheckNonNullFailsWithTheInstructionsSpan) {
    Cmd* check = operatorFor(OperatorFamily::CheckNonNull, TypeKind::Void)->make({});
    check->setSpan(test::spanAt(6, 4));
    StackmachineInterpreter machine;
    test::loadItems(machine, {test::constantOf(TypeKind::Lint, 0), check, new CmdHalt()});
    machine.reset();
    try {
        machine.run();
        ADD_FAILURE() << "no error";
    } catch (const ExceptionRuntime& e) {
        EXPECT_EQ(e.message(), "Null-Pointer Exception");
        EXPECT_EQ(std::string(e.what()), "t.jyx: 6.4-6.5: Null-Pointer Exception");
    }
}

// [value of the source size, method-table address]: the value resized, the address in
// its deepest cell, the cells above it as they were.
TEST(ObjectCheckInstructions, CastClassClassResizesTheValueAndSetsItsMethodTable) {
    constexpr int64_t kOldTable = 1000;
    constexpr int64_t kNewTable = 2000;
    struct Case {
        int64_t source, target;
    };
    Machines machines;
    for (Stackmachine* m : machines.all()) {
        for (const Case c : {Case{4, 2}, Case{2, 6}, Case{3, 3}, Case{5, 1}}) {
            const int64_t base = resetTimeMarks(*m);
            m->pushAddr(kOldTable);
            for (int64_t i = 1; i < c.source; ++i) m->pushS64(100 + i); // the attributes
            // Above the value: cells the cast grows into keep what they held.
            for (int64_t i = 0; i < 8; ++i) m->pushS64(900 + i);
            m->addSp(-8);
            m->pushAddr(kNewTable);
            EXPECT_EQ(executeTimeOp(*m, OperatorFamily::CastClassClass, {c.source, c.target}),
                      std::nullopt);
            EXPECT_EQ(m->getSp(), base + c.target) << c.source << " " << c.target;
            EXPECT_EQ(m->loadAddr(base), kNewTable);
            for (int64_t i = 1; i < c.target; ++i) {
                // The first cell above the value held the pushed address.
                const int64_t expected = i < c.source ? 100 + i : i == c.source ? kNewTable
                                                                                 : 900 + i - c.source;
                EXPECT_EQ(m->loadS64(base + i), expected) << c.source << " " << c.target << " " << i;
            }
            expectTimeMarksKept(*m);
        }
        // Sizes that do not match the stack end in the machine's own run-time error.
        const int64_t base = resetTimeMarks(*m);
        m->pushAddr(kNewTable);
        EXPECT_NE(executeTimeOp(*m, OperatorFamily::CastClassClass, {50, 1}), std::nullopt);
        EXPECT_LE(m->getSp(), base + 1);
    }
}

TEST(TimeAndObjectInstructions, TextsAndCloneKeepTheOperands) {
    const std::pair<OperatorFamily, OperatorOperands> cases[] = {
        {OperatorFamily::UtcTimestamp, {}},
        {OperatorFamily::UtcDate, {}},
        {OperatorFamily::CheckNonNull, {}},
        {OperatorFamily::CastClassClass, {4, 2}},
        {OperatorFamily::CastClassClass, {5, 3}},
    };
    const char* texts[] = {"UtcTimestamp", "UtcDate", "CheckNonNull ", "CastClassClass 4 2",
                           "CastClassClass 5 3"};
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Code code(operatorFor(cases[i].first, TypeKind::Void)->make(cases[i].second));
        EXPECT_EQ(code.node()->asItem()->toString(), texts[i]);
        const Code copy(code.node()->asItem()->clone());
        EXPECT_EQ(copy.node()->asItem()->toString(), texts[i]);
    }
}

// A loop of all four allocates nothing per step.
TEST(TimeAndObjectInstructions, SteppedLoopAllocatesNothing) {
    const auto make = [](OperatorFamily family, OperatorOperands operands = {}) {
        return operatorFor(family, TypeKind::Void)->make(operands);
    };
    std::vector<CodeItem*> body = {test::constantOf(TypeKind::Lint, 951827415),
                                   make(OperatorFamily::UtcDate),
                                   make(OperatorFamily::UtcTimestamp),
                                   make(OperatorFamily::CheckNonNull),
                                   test::constantOf(TypeKind::Lint, 77),
                                   make(OperatorFamily::CastClassClass, {1, 3}),
                                   new CmdSpAdd(-3)};
    test::expectLoopAllocatesNothing(body);
}

} // namespace
} // namespace Karsto
