#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <string>
#include <vector>

#include "core/exception.h"
#include "core/gcode.h"
#include "core/machine_test_support.h"
#include "core/stackmachine_interpreter.h"

namespace Karsto {
namespace {

using test::FakeProcessor;
using test::loadItems;
using test::spanAt;

using test::kBase;

GCode xyf(int32_t skipLevel) {
    GCode block(skipLevel, spanAt(3, 1));
    block.addWord("x");
    block.addWord("y");
    block.addWord("f");
    return block;
}

TEST(GCode, RecordsWordsInOrder) {
    GCode block = xyf(2);
    EXPECT_EQ(block.skipLevel, 2);
    EXPECT_EQ(block.words, (std::vector<std::string>{"x", "y", "f"}));
    EXPECT_EQ(block.span.begin.line, 3);
    EXPECT_TRUE(GCode(-1, SourceSpan()).words.empty());
}

TEST(CmdGcode, HandsTheWordsInSourceOrder) {
    for (int32_t skipLevel : {-1, 0, 3}) {
        FakeProcessor processor;
        StackmachineInterpreter m(&processor);
        CmdGcode cmd(xyf(skipLevel));
        m.pushF64(1.0);
        m.pushF64(2.0);
        m.pushF64(300.0);
        cmd.execute(m);
        EXPECT_EQ(m.getSp(), kBase);
        ASSERT_EQ(processor.blocks.size(), 1u);
        const auto& block = processor.blocks[0];
        EXPECT_EQ(block.skipLevel, skipLevel);
        ASSERT_EQ(block.words.size(), 3u);
        EXPECT_EQ(block.words[0].name, "x");
        EXPECT_EQ(block.words[0].value, 1.0);
        EXPECT_EQ(block.words[1].name, "y");
        EXPECT_EQ(block.words[1].value, 2.0);
        EXPECT_EQ(block.words[2].name, "f");
        EXPECT_EQ(block.words[2].value, 300.0);
    }
}

TEST(CmdGcode, BlockWithoutWordsPopsNothing) {
    FakeProcessor processor;
    StackmachineInterpreter m(&processor);
    m.pushF64(5.0);
    CmdGcode(GCode(0, SourceSpan())).execute(m);
    EXPECT_EQ(m.getSp(), kBase + 1);
    ASSERT_EQ(processor.blocks.size(), 1u);
    EXPECT_EQ(processor.blocks[0].skipLevel, 0);
    EXPECT_TRUE(processor.blocks[0].words.empty());
}

TEST(CmdGcode, ProcessorErrorArrivesWithTheBlockSpan) {
    FakeProcessor processor;
    processor.failWith = [] { checkRuntime(false, "Invalid feed"); };
    StackmachineInterpreter m(&processor);
    GCode block = xyf(-1);
    auto* cmd = new CmdGcode(block);
    cmd->setSpan(block.span);
    loadItems(m, {cmd});
    m.pushF64(1.0);
    m.pushF64(2.0);
    m.pushF64(300.0);
    try {
        m.step();
        FAIL() << "no exception";
    } catch (const ExceptionRuntime& e) {
        EXPECT_EQ(std::string(e.what()), "t.jyx: 3.1-3.2: Invalid feed");
    }
    ASSERT_EQ(processor.blocks.size(), 1u);
    EXPECT_EQ(processor.blocks[0].span.begin.line, 3);
}

TEST(CmdGcode, CloneOwnsItsRecord) {
    auto block = std::make_unique<GCode>(xyf(1));
    auto* original = new CmdGcode(*block);
    original->setSpan(spanAt(9));
    Code clone(original->clone());
    {
        Code holder(original);
    } // the original goes
    block.reset();
    FakeProcessor processor;
    StackmachineInterpreter m(&processor);
    m.pushF64(1.0);
    m.pushF64(2.0);
    m.pushF64(3.0);
    auto* copy = static_cast<CmdGcode*>(clone.node()->asItem());
    EXPECT_EQ(copy->span().begin.line, 9);
    copy->execute(m);
    ASSERT_EQ(processor.blocks.size(), 1u);
    EXPECT_EQ(processor.blocks[0].skipLevel, 1);
    EXPECT_EQ(processor.blocks[0].words[2].name, "f");
    EXPECT_EQ(processor.blocks[0].words[2].value, 3.0);
}

// Every execution hands its own values, also after one that failed halfway through the
// pops; the names stay those of the record.
TEST(CmdGcode, EveryExecutionHandsItsOwnValues) {
    FakeProcessor processor;
    StackmachineInterpreter m(&processor);
    CmdGcode cmd(xyf(-1));
    for (double v : {1.0, 2.0, 3.0}) m.pushF64(v);
    cmd.execute(m);
    m.pushF64(7.0); // one value where three are needed
    EXPECT_THROW(cmd.execute(m), ExceptionRuntime);
    for (double v : {4.0, 5.0, 6.0}) m.pushF64(v);
    cmd.execute(m);
    ASSERT_EQ(processor.blocks.size(), 2u);
    const std::vector<std::pair<std::string, double>> expected[] = {
        {{"x", 1.0}, {"y", 2.0}, {"f", 3.0}}, {{"x", 4.0}, {"y", 5.0}, {"f", 6.0}}};
    for (size_t b = 0; b < 2; ++b) {
        std::vector<std::pair<std::string, double>> words;
        for (const GCodeWord& word : processor.blocks[b].words) words.emplace_back(word.name, word.value);
        EXPECT_EQ(words, expected[b]) << "block " << b;
    }
}

TEST(CmdGcode, Text) {
    EXPECT_EQ(CmdGcode(xyf(-1)).toString(), "Gcode 3");
    EXPECT_EQ(CmdGcode(GCode(-1, SourceSpan())).toString(), "Gcode 0");
}

} // namespace
} // namespace Karsto
