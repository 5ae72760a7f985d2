// The synchronisation built-ins (the wait counters they take, the block they close, their
// refusal while the path is collected) and the tool-table built-ins.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "gcode/builtins/registration_support.h"
#include "gcode/wait_counter.h"
#include "geometry/canvas6d.h"
#include "geometry/ncmd_queue.h"
#include "geometry/trans_matrix.h"

namespace Karsto {
namespace {

using test::failureOf;
using test::Registration;

const auto kNoArguments = [](Stackmachine&) {};

int32_t counter(Registration& r, WaitCounter c) { return r.machine.getWaitCounter(waitCounterIndex(c)); }

// A started channel that waits for real, two motion blocks behind it.
struct WaitingChannel : Registration {
    WaitingChannel() {
        machine.setWaitEnabled(true);
        processor.startProgram();
        block({{"g", 1}, {"x", 1}, {"f", 600}});
        block({{"g", 1}, {"x", 2}});
    }
};

TEST(SyncNatives, SyncClosesItsBlockDeliversAtOnceAndTakesTheSyncCounter) {
    WaitingChannel r;
    const BlockKey before = r.processor.key();
    ASSERT_FALSE(r.machine.isBlocked());
    r.call("sync");
    ASSERT_EQ(before, (BlockKey{3, 0.0}));
    EXPECT_EQ(r.output.lines.back(), "snr=2 key=3/0 n=0 Sync");
    EXPECT_EQ(r.processor.key(), (BlockKey{before.counter + 1, 0.0}));
    EXPECT_EQ(r.processor.queue().holdKey(), (BlockKey{before.counter + 1, -1000.0}));
    EXPECT_EQ(counter(r, WaitCounter::sync), 0);
    EXPECT_TRUE(r.machine.isBlocked());
    r.machine.incWaitCounter(waitCounterIndex(WaitCounter::sync)); // the kernel's answer
    EXPECT_FALSE(r.machine.isBlocked());
}

TEST(SyncNatives, QueryaxesTakesOverTheReportedPositionAndWaitOnlyWaits) {
    WaitingChannel r;
    const BlockKey before = r.processor.key();
    r.call("queryaxes");
    ASSERT_EQ(before, (BlockKey{3, 0.0}));
    EXPECT_EQ(r.output.lines.back(), "snr=2 key=3/0 n=0 Queryaxes");
    EXPECT_EQ(r.processor.key(), (BlockKey{before.counter + 1, 0.0}));
    EXPECT_EQ(counter(r, WaitCounter::axisQuery), 0);
    EXPECT_TRUE(r.machine.isBlocked());
    r.processor.updateAxes({.x = 7.0});
    r.machine.incWaitCounter(waitCounterIndex(WaitCounter::axisQuery));
    EXPECT_FALSE(r.machine.isBlocked());
    r.block({{"g", 1}, {"y", 1}});
    // The move belongs to the block after the query and starts where the kernel stands.
    EXPECT_EQ(r.output.lines.back(), "snr=3 key=4/0 n=0 Line time=4 from=[7.00,0.00,0.00,0.00,0.00,0.00] "
                                     "to=[7.00,1.00,0.00,0.00,0.00,0.00]");

    const size_t delivered = r.output.lines.size();
    const BlockKey key = r.processor.key();
    r.call("wait");
    EXPECT_EQ(counter(r, WaitCounter::wait), 0);
    EXPECT_EQ(counter(r, WaitCounter::sync), 1);
    EXPECT_EQ(counter(r, WaitCounter::axisQuery), 1);
    EXPECT_TRUE(r.machine.isBlocked());
    EXPECT_EQ(r.output.lines.size(), delivered);
    EXPECT_EQ(r.processor.queue().commands().size(), 0u);
    EXPECT_EQ(r.processor.key(), key);
}

const char* const kSyncNatives[] = {"sync", "wait", "queryaxes"};

std::string stallingMessage(const std::string& native) {
    std::string upper;
    for (char c : native) upper += static_cast<char>(c - 'a' + 'A');
    return "Invalid invocation of " + upper +
           " during stalling of command processing (active Tool Radius Compensation).";
}

void selectMillWithRadius(Registration& r) {
    r.processor.tools.setToolType(1, static_cast<int32_t>(ToolType::mill));
    r.processor.tools.setParam(1, static_cast<int>(ToolParam::radius), 2.0);
}

TEST(SyncNatives, AllThreeFailWhileThePathIsCollectedAndWorkAgainAfterwards) {
    for (const char* native : kSyncNatives) {
        WaitingChannel r;
        selectMillWithRadius(r);
        r.block({{"d", 1}, {"g", 41}});
        r.block({{"g", 1}, {"x", 10}});
        r.block({{"y", 10}});
        ASSERT_GT(r.processor.canvas().collectionDepth(), 0);
        const BlockKey key = r.processor.key();
        EXPECT_EQ(failureOf(r, native, kNoArguments), stallingMessage(native));
        EXPECT_EQ(r.processor.key(), key) << native;
        EXPECT_FALSE(r.machine.isBlocked()) << native;

        // The same while collision elimination collects.
        r.block({{"g", 40}});
        ASSERT_EQ(r.processor.canvas().collectionDepth(), 0);
        r.processor.canvas().beginCollisionElimination({0, 0, 1}, 4);
        EXPECT_EQ(failureOf(r, native, kNoArguments), stallingMessage(native));
        r.processor.canvas().endCollisionElimination();

        EXPECT_EQ(failureOf(r, native, kNoArguments), "") << native;
        EXPECT_TRUE(r.machine.isBlocked()) << native;
    }
}

TEST(SyncNatives, DuringABlockSearchNothingHappensButTheCollectionCheckHolds) {
    for (const char* native : kSyncNatives) {
        WaitingChannel r;
        r.processor.blockSearch.active = true;
        const size_t delivered = r.output.lines.size();
        const BlockKey key = r.processor.key();
        EXPECT_EQ(failureOf(r, native, kNoArguments), "") << native;
        EXPECT_EQ(r.output.lines.size(), delivered) << native;
        EXPECT_EQ(r.processor.queue().commands().size(), 0u) << native;
        EXPECT_EQ(r.processor.key(), key) << native;
        EXPECT_FALSE(r.machine.isBlocked()) << native;

        selectMillWithRadius(r);
        r.block({{"d", 1}, {"g", 41}});
        r.block({{"g", 1}, {"x", 5}, {"y", 5}});
        EXPECT_EQ(failureOf(r, native, kNoArguments), stallingMessage(native));
    }
}

TEST(SyncNatives, OfflineAProgramRunsOnAndTheOutputReceivesTheSync) {
    const test::HarnessResult r = test::runNcProgram("G1 X1 F600\nG1 X2\n!sync();\nG1 X3\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    std::vector<std::string> commands;
    for (const std::string& line : r.ncLines) commands.push_back(line.substr(line.find(" key=") + 1));
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands[commands.size() - 2], "key=3/0 n=0 Sync") << r.ncText();
    EXPECT_EQ(commands.back().substr(0, 14), "key=4/0 n=0 Li") << r.ncText();
}

// --- tools ---

auto toolCells(uint8_t index, uint8_t column) {
    return [=](Stackmachine& m) {
        m.pushU8(index);
        m.pushU8(column);
    };
}
auto toolValueCells(uint8_t index, uint8_t column, double value) {
    return [=](Stackmachine& m) {
        m.pushU8(index);
        m.pushU8(column);
        m.pushF64(value);
    };
}

TEST(ToolNatives, ToolsetWritesAToolInTheCurrentLengthUnit) {
    const test::HarnessResult r = test::runNcProgram(
        "!toolparamset(4, 3, 2.5);\n!toolparamset(4, 6, 6.5);\n"
        "!toolparamset(4, 11, 10.5);\n!toolparamset(4, 15, 14.5);\n"
        "!unitlengthset(unitlengthcentimeter);\n"
        "!toolset(4, 12, tooltypemill, 3, 0.5, 0.1, 0, 0, 0, 2);\n"
        "!toolset(5, -2, tooltypedrill, 0, 0, 0, 0, 0, 0, 0);\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    ToolEntry expected;
    expected.number = 12;
    expected.toolType = static_cast<int32_t>(ToolType::mill);
    expected.param = {30.0, 2.5, 5.0, 1.0, 6.5, 0.0, 0.0, 0.0, 20.0, 10.5, 0.0, 0.0, 0.0, 14.5};
    EXPECT_EQ(r.ncProcessor()->tools.entry(4), expected);
    EXPECT_EQ(r.ncProcessor()->tools.number(5), -2); // INT is sign-extended
    EXPECT_EQ(r.ncProcessor()->tools.toolType(5), static_cast<int32_t>(ToolType::drill));
}

TEST(ToolNatives, ColumnsReadAndWriteNumberTypeAndParameters) {
    const test::HarnessResult r = test::runNcProgram(
        "{VAR p2, nr, ty, p14, p1 : LREAL; END_VAR}\n"
        "!unitlengthset(unitlengthinch);\n"
        "!toolparamset(4, 3, 2.5);\n!p2 := toolparam(4, 3);\n"
        "!toolparamset(4, 0, -7.9);\n!nr := toolparam(4, 0);\n"
        "!toolparamset(4, 1, 20.9);\n!ty := toolparam(4, 1);\n"
        "!toolparamset(4, 15, 3.25);\n!p14 := toolparam(4, 15);\n"
        "!toolset(4, 1, tooltypemill, 2, 0, 0, 0, 0, 0, 0);\n!p1 := toolparam(4, 2);\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    const ToolTable& tools = r.ncProcessor()->tools;
    EXPECT_EQ(tools.param(4, 2), 2.5); // columns are never converted
    EXPECT_EQ(r.real("p2"), 2.5);
    EXPECT_EQ(r.real("nr"), -7.0);
    EXPECT_EQ(r.real("ty"), 20.0);
    EXPECT_EQ(tools.param(4, 14), 3.25);
    EXPECT_EQ(r.real("p14"), 3.25);
    EXPECT_EQ(r.real("p1"), 50.8); // toolset converted, toolparam reads the mm value
}

TEST(ToolNatives, AFailingCallInAProgramNamesItsPlace) {
    const test::HarnessResult r =
        test::runNcProgram("{VAR a : LREAL; END_VAR}\nG1 X1 F600\n!a := toolparam(4, 16);\n");
    ASSERT_TRUE(r.runError.has_value());
    EXPECT_EQ(r.runError->message, "Invalid parameter-index 15. Should be in range 1 to 14.");
    EXPECT_EQ(r.runError->span.begin.line, 3) << r.errorText();
}

TEST(ToolNatives, BadIndexesAndValuesFailAndWriteNothing) {
    constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* native;
        uint8_t index;
        uint8_t column;
        double value;
        std::string message;
    };
    const Case cases[] = {
        {"toolparam", 4, 16, 0, "Invalid parameter-index 15. Should be in range 1 to 14."},
        {"toolparam", 4, 255, 0, "Invalid parameter-index 254. Should be in range 1 to 14."},
        {"toolparam", 0, 0, 0, "Invalid tool-index 0. Should be in range 1 to 255."},
        {"toolparam", 0, 16, 0, "Invalid tool-index 0. Should be in range 1 to 255."},
        {"toolparamset", 4, 16, 1, "Invalid parameter-index 15. Should be in range 1 to 14."},
        {"toolparamset", 0, 2, 1, "Invalid tool-index 0. Should be in range 1 to 255."},
        {"toolparamset", 0, 1, 1, "Invalid tool-index 0. Should be in range 1 to 255."},
        {"toolparamset", 0, 1, kNan, "Invalid tool-index 0. Should be in range 1 to 255."},
        {"toolparamset", 4, 0, kNan, "Invalid value nan for column 0 in function 'toolparamset'."},
        {"toolparamset", 4, 1, kInf, "Invalid value inf for column 1 in function 'toolparamset'."},
        {"toolparamset", 4, 0, -kInf, "Invalid value -inf for column 0 in function 'toolparamset'."},
        {"toolparamset", 4, 0, 2147483648.0,
         "Invalid value 2147483648.000000 for column 0 in function 'toolparamset'."},
        {"toolparamset", 4, 1, -2147483649.0,
         "Invalid value -2147483649.000000 for column 1 in function 'toolparamset'."},
    };
    for (const Case& c : cases) {
        Registration r;
        r.processor.tools.setNumber(4, 3);
        const ToolTable before = r.processor.tools;
        const std::string native = c.native;
        const std::string failure = native == "toolparam"
                                        ? failureOf(r, native, toolCells(c.index, c.column))
                                        : failureOf(r, native, toolValueCells(c.index, c.column, c.value));
        EXPECT_EQ(failure, c.message) << native << " " << int(c.index) << " " << int(c.column);
        for (int i = 1; i <= ToolTable::kTools; ++i) EXPECT_EQ(r.processor.tools.entry(i), before.entry(i));
    }

    // The extremes of int32 are still numbers.
    Registration r;
    r.call("toolparamset", toolValueCells(4, 0, 2147483647.9));
    EXPECT_EQ(r.processor.tools.number(4), 2147483647);
    r.call("toolparamset", toolValueCells(4, 1, -2147483648.9));
    EXPECT_EQ(r.processor.tools.toolType(4), -2147483648);
}

TEST(ToolNatives, ToolsetWithIndexZeroWritesNothing) {
    Registration r;
    const ToolTable before = r.processor.tools;
    const std::string failure = failureOf(r, "toolset", [](Stackmachine& m) {
        m.pushU8(0);
        m.pushS16(12);
        m.pushU32(static_cast<uint32_t>(ToolType::mill));
        for (int i = 0; i < 7; ++i) m.pushF64(1.0);
    });
    EXPECT_EQ(failure, "Invalid tool-index 0. Should be in range 1 to 255.");
    for (int i = 1; i <= ToolTable::kTools; ++i) EXPECT_EQ(r.processor.tools.entry(i), before.entry(i));
}

TEST(ToolNatives, TheSelectedToolChangesOnlyWithTheNextDWordAndNothingIsQueued) {
    Registration r;
    r.processor.startProgram();
    r.processor.tools.setToolType(1, static_cast<int32_t>(ToolType::drill));
    r.processor.tools.setParam(1, static_cast<int>(ToolParam::length), 10.0);
    r.block({{"d", 1}});
    const Point3 selected = r.processor.toolMatrix().applyPoint({});
    EXPECT_EQ(selected, (Point3{0.0, 0.0, 10.0}));
    const size_t delivered = r.output.lines.size();
    const size_t queued = r.processor.queue().commands().size();
    const BlockKey key = r.processor.key();

    r.call("toolparamset", toolValueCells(1, 2, 25.0));
    r.call("toolset", [](Stackmachine& m) {
        m.pushU8(2);
        m.pushS16(3);
        m.pushU32(static_cast<uint32_t>(ToolType::mill));
        for (int i = 0; i < 7; ++i) m.pushF64(1.0);
    });
    r.call("toolparam", toolCells(1, 2));
    EXPECT_EQ(r.processor.toolMatrix().applyPoint({}), selected);
    EXPECT_EQ(r.output.lines.size(), delivered);
    EXPECT_EQ(r.processor.queue().commands().size(), queued);
    EXPECT_EQ(r.processor.key(), key);

    r.block({{"d", 1}});
    EXPECT_EQ(r.processor.toolMatrix().applyPoint({}), (Point3{0.0, 0.0, 25.0}));
}

} // namespace
} // namespace Karsto
