#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/allocation_count.h"
#include "core/cmd_const.h"
#include "core/cmd_flow.h"
#include "core/cmd_stack.h"
#include "core/exception.h"
#include "core/gcode.h"
#include "core/machine_test_support.h"
#include "core/stackmachine_interpreter.h"

namespace Karsto {
namespace {

using test::codeOf;
using test::FakeProcessor;
using test::loadItems;
using test::LogCapture;
using test::spanAt;
using test::TestCmd;

std::vector<GCodeWord> threeWords() { return {{"g", 1.0}, {"x", -12.5}, {"z", 3.0}}; }

// A program of one instruction (span line 6) that executes a G-code block itself.
void loadBlock(StackmachineInterpreter& m, int32_t skipLevel) {
    auto* cmd = new TestCmd("Block", [skipLevel](Stackmachine& s) {
        s.executeGcode(skipLevel, threeWords());
    });
    cmd->setSpan(spanAt(6));
    m.loadProgram(CodeLinked(codeOf(new TestCmd("A")).concat(codeOf(cmd))));
}

TEST(StackmachineInterpreter, BlockGoesToTheProcessorWithTheItemSpan) {
    FakeProcessor processor;
    StackmachineInterpreter m(&processor);
    loadBlock(m, 0);
    LogCapture log({LogLevel::debugGCode});
    m.step();
    m.step();
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{"[debugGCode] gcodeExecute / g=1.00 x=-12.50 z=3.00 "}));
    ASSERT_EQ(processor.blocks.size(), 1u);
    const FakeProcessor::Block& block = processor.blocks[0];
    EXPECT_EQ(block.skipLevel, 0);
    ASSERT_EQ(block.words.size(), 3u);
    EXPECT_EQ(block.words[0].name, "g");
    EXPECT_EQ(block.words[0].value, 1.0);
    EXPECT_EQ(block.words[1].name, "x");
    EXPECT_EQ(block.words[1].value, -12.5);
    EXPECT_EQ(block.words[2].name, "z");
    EXPECT_EQ(block.words[2].value, 3.0);
    EXPECT_TRUE(block.span.valid);
    EXPECT_EQ(block.span.begin.line, 6);
    EXPECT_EQ(m.gcodeCount, 1);
}

TEST(StackmachineInterpreter, BlockTextOfSkipLevels) {
    FakeProcessor processor;
    StackmachineInterpreter m(&processor);
    LogCapture log({LogLevel::debugGCode});
    m.executeGcode(-1, threeWords());
    m.executeGcode(2, {{"x", 10.0}, {"f", 250.5}});
    m.executeGcode(0, {});
    // A huge value prints all its digits: 2^256 exactly, negated.
    m.executeGcode(1, {{"y", -0x1p256}});
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{
                  "[debugGCode] gcodeExecute g=1.00 x=-12.50 z=3.00 ",
                  "[debugGCode] gcodeExecute /2 x=10.00 f=250.50 ",
                  "[debugGCode] gcodeExecute / ",
                  "[debugGCode] gcodeExecute /1 y=-1157920892373161954235709850086879078532699846656"
                  "40564039457584007913129639936.00 ",
              }));
    ASSERT_EQ(processor.blocks.size(), 4u);
    EXPECT_EQ(processor.blocks[0].skipLevel, -1);
    EXPECT_FALSE(processor.blocks[0].span.valid); // outside a step
    EXPECT_EQ(m.gcodeCount, 4);
}

TEST(StackmachineInterpreter, ProcessorErrorTakesTheBlockSpan) {
    FakeProcessor processor;
    processor.failWith = [] { checkRuntime(false, "Unknown G-code %d", 99); };
    StackmachineInterpreter m(&processor);
    loadBlock(m, -1);
    m.step();
    try {
        m.step();
        FAIL() << "no exception";
    } catch (const ExceptionRuntime& e) {
        EXPECT_EQ(e.span().begin.line, 6);
        EXPECT_EQ(e.message(), "Unknown G-code 99");
    }
}

TEST(StackmachineInterpreter, ResetAndUnloadResetTheProcessorOnce) {
    FakeProcessor processor;
    StackmachineInterpreter m(&processor);
    EXPECT_EQ(processor.resets, 0); // construction does not
    m.reset();
    EXPECT_EQ(processor.resets, 1);
    m.unload();
    EXPECT_EQ(processor.resets, 2);
    m.loadProgram(CodeLinked(codeOf(new TestCmd("A"))));
    EXPECT_EQ(processor.resets, 3);
    EXPECT_TRUE(m.programLoaded);
}

TEST(StackmachineInterpreter, HooksStartAndFinishTheProcessor) {
    FakeProcessor processor;
    StackmachineInterpreter m;
    m.processor = &processor;
    m.loadProgram(CodeLinked(codeOf(new TestCmd("A"))
                                 .concat(codeOf(new TestCmd("Halt", [](Stackmachine& s) { s.halt(); })))));
    m.step();
    EXPECT_EQ(processor.starts, 1);
    EXPECT_EQ(processor.finishes, 0);
    m.step();
    EXPECT_EQ(processor.starts, 1);
    EXPECT_EQ(processor.finishes, 1);
}

TEST(StackmachineInterpreter, WithoutProcessorNothingIsCalled) {
    StackmachineInterpreter m;
    m.reset();
    m.unload();
    m.executeGcode(0, threeWords());
    EXPECT_EQ(m.gcodeCount, 1);
}

// ---- the step loop allocates and formats nothing while tracing is off ------------------

// An instruction that counts how often its text is built.
class TextCounter final : public Cmd {
public:
    explicit TextCounter(int* count) : count_(count) {}
    void execute(Stackmachine&) override {}
    std::string toString() const override {
        ++*count_;
        return "TextCounter";
    }
    CodeItem* clone() const override { return withSpanOf(new TextCounter(count_)); }

private:
    int* count_;
};

TEST(StackmachineInterpreter, StepLoopAllocatesAndFormatsNothingWhileTracingIsOff) {
    int texts = 0;
    FakeProcessor processor;
    processor.recordBlocks = false;
    StackmachineInterpreter m(&processor);
    auto* loop = new Label();
    auto* function = new Label();
    GCode block(-1, spanAt(4));
    block.addWord("x");
    block.addWord("feed");
    SourcePosition at; // a file name too long for any inline string
    at.file = "/programs/channel1/a_long_program_name_for_the_test.jyx";
    at.line = 4;
    auto* gcode = new CmdGcode(block);
    gcode->setSpan(SourceSpan(at, at));
    loadItems(m, {loop, new TextCounter(&texts), new CmdConstLint(10), new CmdLd(1),
                  new CmdConstLint(10), new CmdSt(1), new CmdConstLreal(1.0),
                  new CmdConstLreal(250.0), gcode, new CmdJumpSub(function),
                  new CmdConstBool(true), new CmdBranchFalse(loop), new CmdJump(loop), function,
                  new CmdSpAdd(1), new CmdFp(), new CmdLd(1), new CmdSpAdd(-2), new CmdReturn()});
    ASSERT_TRUE(m.trace); // the channel's machine always traces; only the levels are off
    for (int i = 0; i < 40; ++i) m.step(); // the first steps start the program

    const int64_t before = test::allocationCount();
    for (int i = 0; i < 2000; ++i) m.step();
    EXPECT_EQ(test::allocationCount() - before, 0);
    EXPECT_EQ(texts, 0);
    EXPECT_GE(m.gcodeCount, 2000 / 19); // the blocks did run
    EXPECT_GT(m.stepCount, 2000);

    // The same loop traced: the counters do see a step line being built.
    LogCapture log({LogLevel::debugStackmachine});
    const int64_t traced = test::allocationCount();
    for (int i = 0; i < 20; ++i) m.step();
    EXPECT_GT(test::allocationCount(), traced);
    EXPECT_GT(texts, 0);
}

} // namespace
} // namespace Karsto
