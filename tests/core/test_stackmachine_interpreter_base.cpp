// The channel's interpreter against the plain machine: its final operations and whole
// program runs give what the base gives, traces and errors included.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "core/cmd_const.h"
#include "core/cmd_flow.h"
#include "core/cmd_stack.h"
#include "core/exception.h"
#include "core/gcode.h"
#include "core/machine_test_support.h"
#include "core/stackmachine_interpreter.h"

namespace Karsto {
namespace {

using test::FakeProcessor;
using test::LogCapture;
using test::spanAt;
using test::withSpan;

using test::kBase;

// ---- the final operations do what the base does --------------------------------------

// A value of a machine type made from a bit pattern: the low bytes for the integers and
// reals, not zero for BOOL.
template <class In>
In fromBits(uint64_t bits) {
    if constexpr (std::is_floating_point_v<In>) {
        In value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    } else {
        return static_cast<In>(bits);
    }
}

template <class T>
std::string valueText(T value) {
    if constexpr (std::is_floating_point_v<T>) {
        char text[64];
        std::snprintf(text, sizeof text, "%a", static_cast<double>(value));
        return text;
    } else {
        return std::to_string(value);
    }
}

// Every typed, register and copy operation, good and refused, on the class M names:
// through StackmachineInterpreter the calls bind to its final overrides, through
// Stackmachine to the virtual ones. Returns what each operation gave back or raised.
template <class M>
std::vector<std::string> exerciseOperations(M& m) {
    std::vector<std::string> out;
    auto attempt = [&out](auto&& operation) {
        try {
            operation();
            out.push_back("ok");
        } catch (const ExceptionRuntime& e) {
            out.push_back(e.what());
        }
    };
    std::vector<uint64_t> shared(4, 0x5A5A5A5A5A5A5A5Aull);
    m.setSharedArea(shared.data(), 4, {});
#define KARSTO_MACHINE_TYPE(name, In, Out, Cell, PushTrace, PopTrace)                              \
    for (uint64_t bits : {0x0ull, 0x80ull, 0xFFFFFFFFFFFFFF81ull, 0x4009200000000000ull}) {        \
        const In value = fromBits<In>(bits);                                                       \
        m.storeU64(30, 0x1122334455667788ull);                                                     \
        m.store##name(30, value);                                                                  \
        out.push_back(valueText(m.loadU64(30)) + " " + valueText(m.load##name(30)));                     \
        m.pushU64(0xA5A5A5A5A5A5A5A5ull);                                                          \
        m.addSp(-1);                                                                               \
        m.push##name(value);                                                                       \
        out.push_back(valueText(m.loadU64(m.getSp() - 1)) + " " + valueText(m.pop##name()));             \
        m.store##name(0x80000003, value);                                                          \
        out.push_back(valueText(shared[3]) + " " + valueText(m.load##name(0x80000003)));                 \
    }                                                                                              \
    attempt([&] { m.load##name(0x80000004); });                                                    \
    attempt([&] { m.store##name(-1, In{}); });                                                     \
    attempt([&] { m.load##name(Stackmachine::kBlockCells); });                                     \
    attempt([&] { m.pop##name(); });                                                               \
    m.setSp(Stackmachine::kStackEnd);                                                              \
    attempt([&] { m.push##name(In{}); });                                                          \
    attempt([&] { m.setSp(kBase - 1); });                                                          \
    attempt([&] { m.addSp(1); });                                                                  \
    m.setSp(kBase);
#include "core/machine_types.def"

    m.storeU64(40, 7);
    m.storeU64(41, 8);
    attempt([&] { m.copy(42, 40, 1); });
    attempt([&] { m.copy(0x80000000, 41, 1); });
    attempt([&] { m.copy(43, 0x80000000, 2); });
    attempt([&] { m.copy(41, 40, 2); }); // overlapping
    attempt([&] { m.copy(Stackmachine::kBlockCells, -1, 1); }); // the destination is named
    attempt([&] { m.copy(44, 0x80000004, 1); });
    attempt([&] { m.copy(0x80000003, 44, 2); });
    attempt([&] { m.copy(-5, -6, 0); });
    for (int64_t a = 40; a < 45; ++a) out.push_back(valueText(m.loadU64(a)));
    out.push_back(valueText(shared[0]));

    m.addSp(3);
    m.addFp(-2);
    m.setFp(m.getFp() + 5);
    m.setPc(m.getPc() + 9);
    m.setSp(m.getSp() - 1);
    out.push_back(valueText(m.getSp()) + " " + valueText(m.getFp()) + " " + valueText(m.getPc()) + " " +
                  valueText(m.getStackBase()));
    return out;
}

TEST(StackmachineInterpreter, FinalOperationsAreTheBaseOperations) {
    std::vector<std::string> base, channel;
    std::vector<std::string> baseLines, channelLines;
    {
        Stackmachine m;
        LogCapture log({LogLevel::debugStackOp});
        base = exerciseOperations(m);
        baseLines = log.lines;
    }
    {
        StackmachineInterpreter m;
        LogCapture log({LogLevel::debugStackOp});
        channel = exerciseOperations(m);
        channelLines = log.lines;
    }
    EXPECT_EQ(channel, base);
    EXPECT_EQ(channelLines, baseLines);
    // A few of the base's own answers, so that the comparison is not between two empty
    // or two equally broken runs.
    ASSERT_GT(base.size(), 150u);
    EXPECT_EQ(base[0], "0 0x0p+0");
    EXPECT_NE(std::find(base.begin(), base.end(), "?: Stack overflow"), base.end());
    EXPECT_NE(std::find(base.begin(), base.end(), "?: Invalid memory access at address 0x200000"),
              base.end());
    EXPECT_NE(std::find(baseLines.begin(), baseLines.end(), "[debugStackOp] pop S8 -127"),
              baseLines.end());
}

// A program that calls, branches, moves cells, executes a G-code block and halts, and
// then fails on a null address: its whole trace and end state.
struct ProgramRun {
    std::vector<std::string> lines;
    std::vector<std::string> state;
    std::string error;
};

CodeLinked callBranchAndFailProgram() {
    auto* function = new Label();
    auto* end = new Label();
    GCode block(1, spanAt(20));
    block.addWord("x");
    block.addWord("y");
    const std::vector<CodeItem*> items = {
        withSpan(new CmdConstDint(-7), 1), new CmdConstLint(10), new CmdSt(1),
        new CmdConstLint(10), new CmdLd(1), new CmdDup(1), new CmdCopy(-2, 1),
        new CmdCopyTo(-1, -3, 1), new CmdSpAdd(-2), new CmdJumpSub(function),
        new CmdConstBool(false), new CmdBranchTrue(end), new CmdConstLreal(1.5),
        new CmdConstLreal(-2.0), withSpan(new CmdGcode(block), 20), new CmdConstLabel(function),
        new CmdJumpSubInd(), new CmdConstLint(1), new CmdConstLint(2), new CmdConstLint(1),
        new CmdMux(1, 2), new CmdJump(end), new CmdConstLint(99), end, new CmdHalt(),
        new CmdConstLint(0), withSpan(new CmdLd(1), 30), function, new CmdSpAdd(1), new CmdFp(),
        new CmdLd(1), new CmdSpAdd(-2), new CmdReturn()};
    Code code;
    for (CodeItem* item : items) code = code.concat(Code(item));
    return CodeLinked(code);
}

// Both machines load the same linked program, so that the label numbers in the step
// lines agree.
ProgramRun runProgram(Stackmachine& m, const CodeLinked& program) {
    m.loadProgram(program);
    ProgramRun run;
    LogCapture log({LogLevel::debugStackmachine, LogLevel::debugStackOp, LogLevel::debugGCode});
    try {
        for (int i = 0; i < 100; ++i) m.step();
    } catch (const ExceptionRuntime& e) {
        run.error = e.what();
    }
    run.lines = log.lines;
    run.state = {valueText(m.getSp()), valueText(m.getFp()),       valueText(m.getPc()),
                 valueText(m.isRunning()), valueText(m.loadS32(10)), valueText(m.loadS64(m.getSp() - 1)),
                 valueText(m.stepCount), valueText(m.gcodeCount)};
    return run;
}

TEST(StackmachineInterpreter, RunsProgramsAsTheBase) {
    Stackmachine base;
    FakeProcessor processor;
    StackmachineInterpreter channel(&processor);
    const CodeLinked program = callBranchAndFailProgram();
    const ProgramRun expected = runProgram(base, program);
    const ProgramRun actual = runProgram(channel, program);
    EXPECT_EQ(actual.lines, expected.lines);
    EXPECT_EQ(actual.state, expected.state);
    EXPECT_EQ(actual.error, expected.error);
    EXPECT_EQ(expected.error, "t.jyx: 30.1-30.2: NULL-Pointer Exception");
    EXPECT_EQ(expected.state[4], "-7");
    EXPECT_EQ(expected.state[5], "2"); // Mux kept the value its selector named
    ASSERT_EQ(processor.blocks.size(), 1u);
    EXPECT_EQ(processor.blocks[0].words[1].value, -2.0);
    EXPECT_EQ(processor.starts, 1);
    EXPECT_EQ(processor.finishes, 1);
}

// Issue 73: a finished program is restarted by a reset, so the reset keeps the program
// and its loaded flag; only unload clears the flag.
TEST(StackmachineInterpreter, ResetRestartsAFinishedProgram) {
    FakeProcessor processor;
    StackmachineInterpreter m(&processor);
    m.trace = false;
    m.loadProgram(callBranchAndFailProgram());
    auto runToHalt = [&m] {
        m.storeS32(10, 0);
        while (m.isRunning()) m.step();
        return std::vector<std::string>{valueText(m.getSp()), valueText(m.getFp()), valueText(m.getPc()),
                                        valueText(m.loadS32(10)), valueText(m.loadS64(m.getSp() - 1))};
    };
    const std::vector<std::string> first = runToHalt();
    EXPECT_EQ(first[3], "-7");
    EXPECT_TRUE(m.programLoaded);
    m.reset();
    EXPECT_TRUE(m.programLoaded);
    EXPECT_EQ(runToHalt(), first);
    EXPECT_EQ(processor.starts, 2);
    EXPECT_EQ(processor.finishes, 2);
    EXPECT_EQ(processor.blocks.size(), 2u);
    m.unload();
    EXPECT_FALSE(m.programLoaded);
    EXPECT_EQ(m.program.size(), 0);
}

} // namespace
} // namespace Karsto
