// Plain G-code lines kept as their text and read as they run must do exactly what their
// compiled items do: the same blocks with the same values and spans, the same steps and
// stack, the same errors at the same places, the same NC commands.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/code.h"
#include "core/stackmachine_interpreter.h"
#include "evaluator_test_support.h"

namespace Karsto::test {
namespace {

HarnessOptions plainOptions(bool fromText, HarnessOptions options = {}) {
    options.compactLiteralBlocks = true;
    options.plainLinesFromText = fromText;
    return options;
}

std::string spanText(const SourceSpan& span) {
    if (!span.valid) return "(none)";
    return span.toString() + " [" + std::to_string(span.begin.offset) + "," + std::to_string(span.end.offset) + " in " +
           std::to_string(span.begin.inputOffset) + "," + std::to_string(span.end.inputOffset) + "]";
}

// Everything a run shows, as lines.
std::vector<std::string> outcomeOf(const HarnessResult& r) {
    std::vector<std::string> lines;
    if (r.compileError) lines.push_back("compile: " + r.compileError->text + " " + spanText(r.compileError->span));
    if (r.runError) lines.push_back("run: " + r.runError->text + " " + spanText(r.runError->span));
    for (const FakeProcessor::Block& block : r.blocks) lines.push_back(blockText(block) + " @ " + spanText(block.span));
    for (const std::string& line : r.ncLines) lines.push_back("nc: " + line);
    for (const std::string& line : r.logLines) lines.push_back("log: " + line);
    lines.push_back("output: " + r.output);
    lines.push_back("steps " + std::to_string(r.steps) + " sp " + std::to_string(r.sp));
    return lines;
}

int64_t plainLineItems(const HarnessResult& r) {
    if (!r.compiled()) return 0;
    int64_t count = 0;
    for (int64_t i = 0; i < r.linked().size(); ++i)
        if (r.linked().item(i)->toString().starts_with("PlainLines ")) ++count;
    return count;
}

struct Case {
    std::string source;
    int64_t items; // instructions of plain lines the compile makes
};

// The first block of a run is parsed token by token; the plain lines after it are read
// from the text, and lines parted by anything but blanks start a new instruction.
const Case kCases[] = {
    {"N10 G1 X1 Y-2\nG1 X2 Y3\nG1 X-3.5 Y.25 Z-0\nG0 X4. Y007\n", 1},
    {"G0 X0\r\nG1 X1\r\nG1 X2\rG1 X3\n\n\nG1 X4\r\n", 1},
    {"G0 X0\n  G1 X1 \t\n\tG1\tX2\nG1 X - 3\nG1X4Y5\n", 1},
    {"G0 X0\nG1 X1\nG1 X1.5\n(c) G1 X2\nG1 X3\nG1 X4\n", 2},
    {"G0 X0\nG1 X1\nG1 X2\nG1 X123456789012345678\nG1 X3\nG1 X12345678901234567\n", 2},
    {"G0 X0\nG1 X1\nG1 X1.5\nG1 X=2\nG1 X3\nG1 X4\nG1 X5\n", 2},
    {"G0 X0\nG1 X1\nG1 X1e2\nG1 X3\nG1 X4 // c\nG1 X5\n/ G1 X6\nG1 X7\nG1 X8", 3},
    {"G0 X0\nG1 X1\nG1 X0.1 Y0.300000000000004 Z9007199254740993\nG1 X.5 Y5. Z-00000000000000001\n", 1},
    // Runs stand only in the program's own statement list.
    {"{ VAR i : INT; END_VAR FOR i := 1 TO 3 DO }\nG1 X1 Y-2\nG1 X2\nG1 X3\n{ END_FOR; }\nG1 X=i\nG1 X1\nG1 X2\n", 1},
};

TEST(PlainLines, RunLikeTheirCompiledItems) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.source);
        const HarnessResult compiled = compileAndRun(c.source, plainOptions(false));
        const HarnessResult fromText = compileAndRun(c.source, plainOptions(true));
        ASSERT_TRUE(compiled.ok()) << compiled.errorText();
        EXPECT_EQ(plainLineItems(compiled), 0);
        EXPECT_EQ(plainLineItems(fromText), c.items) << fromText.listing;
        EXPECT_EQ(outcomeOf(fromText), outcomeOf(compiled));
        // The walk without any compaction agrees as well.
        EXPECT_EQ(outcomeOf(compileAndRun(c.source)), outcomeOf(compiled));
        // So does the interpreter's run loop, which steps such an instruction again and
        // again at the same pc.
        FakeProcessor processor;
        StackmachineInterpreter machine(&processor);
        machine.loadProgram(fromText.linked());
        machine.run();
        ASSERT_EQ(processor.blocks.size(), compiled.blocks.size());
        for (size_t i = 0; i < processor.blocks.size(); ++i)
            EXPECT_EQ(blockText(processor.blocks[i]) + " @ " + spanText(processor.blocks[i].span),
                      blockText(compiled.blocks[i]) + " @ " + spanText(compiled.blocks[i].span));
        EXPECT_EQ(machine.stepCount, compiled.steps);
    }
}

TEST(PlainLines, RestartsAndProgramEndsLikeCompiledItems) {
    HarnessOptions twice;
    twice.runs = 2;
    const std::string restarted = "G0 X0\nG1 X1\nG1 X2\nG1 X3\n";
    EXPECT_EQ(outcomeOf(compileAndRun(restarted, plainOptions(true, twice))),
              outcomeOf(compileAndRun(restarted, plainOptions(false, twice))));
    // On a real channel: M30 ends the program inside a run, which must not go on.
    for (const std::string& source : {std::string("G0 X0\nG1 X1 F100\nM30\nG1 X2\nG1 X3\n"),
                                      std::string("G0 X0\nG1 X1 F100\nG1 X2\nM30\n"),
                                      std::string("G0 X0\nG1 X1 F100\nG2 X3 I1 J0\nG1 X3 Y-4 Z-0.5\nM2\n")}) {
        SCOPED_TRACE(source);
        const HarnessResult compiled = runNcProgram(source, plainOptions(false));
        const HarnessResult fromText = runNcProgram(source, plainOptions(true));
        ASSERT_TRUE(compiled.ok()) << compiled.errorText();
        EXPECT_GE(plainLineItems(fromText), 1);
        EXPECT_FALSE(compiled.ncLines.empty());
        EXPECT_EQ(outcomeOf(fromText), outcomeOf(compiled));
    }
}

// Errors inside a run: the block's own (a word the channel refuses) and a push that
// finds the stack full, at each item of a line in turn.
TEST(PlainLines, ErrorsKeepTheirItemsPlaces) {
    const std::string refused = "G0 X0\nG1 X1 F100\nG1 X2 H1 H2\nG1 X3\n";
    const HarnessResult compiled = runNcProgram(refused, plainOptions(false));
    ASSERT_FALSE(compiled.ok());
    EXPECT_EQ(outcomeOf(runNcProgram(refused, plainOptions(true))), outcomeOf(compiled));

}

// A push that finds the stack full fails at its own word's number, as the compiled
// constant does: both machines are stopped at the same step inside a run, given a full stack
// and stepped on.
TEST(PlainLines, AFullStackFailsAtTheSameItem) {
    const std::string source = "G0 X0\nG1 X1\nG1 X1 Y-2 Z3\nG1 X4 Y-5\n";
    const HarnessResult compiled = compileAndRun(source, plainOptions(false));
    const HarnessResult fromText = compileAndRun(source, plainOptions(true));
    ASSERT_EQ(plainLineItems(fromText), 1);
    // Line 3 begins after the six items of the first two blocks and the program's label.
    constexpr int64_t kRunBegins = 7;
    int overflows = 0;
    for (int64_t into = 0; into < 12; ++into) {
        SCOPED_TRACE(into);
        std::vector<std::string> outcomes;
        for (const HarnessResult* result : {&compiled, &fromText}) {
            FakeProcessor processor;
            StackmachineInterpreter machine(&processor);
            machine.loadProgram(result->linked());
            for (int64_t i = 0; i < kRunBegins + into; ++i) machine.step();
            machine.setSp(Stackmachine::kStackEnd);
            std::string outcome;
            try {
                while (machine.isRunning()) machine.step();
                outcome = "ran to its end";
            } catch (const ExceptionRuntime& error) {
                outcome = std::string(error.what()) + " " + spanText(error.span());
            }
            for (const FakeProcessor::Block& block : processor.blocks) outcome += "; " + blockText(block);
            outcomes.push_back(outcome + "; steps " + std::to_string(machine.stepCount));
        }
        EXPECT_EQ(outcomes[1], outcomes[0]);
        if (outcomes[0].find("Stack overflow") != std::string::npos) ++overflows;
    }
    // Where a block's pops come next, the next line's pushes find room again.
    EXPECT_GE(overflows, 6);
}

// Two channels running the one linked program step by step in turn each keep their own
// place in a run.
TEST(PlainLines, EachMachineKeepsItsOwnPlace) {
    const std::string source = "G0 X0\nG1 X1 Y-1\nG1 X2\nG1 X3 Y-3\nG1 X4\n";
    const HarnessResult alone = compileAndRun(source, plainOptions(true));
    ASSERT_TRUE(alone.ok()) << alone.errorText();
    ASSERT_EQ(plainLineItems(alone), 1);
    FakeProcessor first;
    FakeProcessor second;
    StackmachineInterpreter one(&first);
    StackmachineInterpreter two(&second);
    one.loadProgram(alone.linked());
    two.loadProgram(alone.linked());
    // The second starts two steps late, so the two stand at different items throughout.
    one.step();
    one.step();
    while (one.isRunning() || two.isRunning()) {
        if (one.isRunning()) one.step();
        if (two.isRunning()) two.step();
    }
    for (const FakeProcessor* processor : {&first, &second}) {
        ASSERT_EQ(processor->blocks.size(), alone.blocks.size());
        for (size_t i = 0; i < alone.blocks.size(); ++i) {
            EXPECT_EQ(blockText(processor->blocks[i]), blockText(alone.blocks[i]));
            EXPECT_EQ(spanText(processor->blocks[i].span), spanText(alone.blocks[i].span));
        }
    }
    EXPECT_EQ(one.stepCount, alone.steps);
    EXPECT_EQ(two.stepCount, alone.steps);
}

// Random sources of lines that are plain, nearly plain or not at all, with every kind of
// line end and blank between them.
TEST(PlainLines, RandomLinesRunLikeCompiledItems) {
    std::mt19937 random(20261211);
    const auto pick = [&random](const std::vector<std::string>& from) {
        return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(random)];
    };
    // Mostly plain words and line ends, now and then one that is not.
    const std::vector<std::string> letters = {"G", "X", "Y", "z", "F", "I", "j", "N", "M", "S", "T", "x", "g"};
    const std::vector<std::string> oddLetters = {"R", "Q", "XY"};
    const std::vector<std::string> numbers = {"0",   "1",  "-1", "2.5", "-.5", "5.", "007", "-0", "12345678901234567",
                                              "0.1", "-12", "3.25", "99", "-7.", ".0", "4"};
    const std::vector<std::string> oddNumbers = {"123456789012345678", "1e3", "1_0", "=3", "- 4", "1.2.3"};
    const std::vector<std::string> blanks = {"", " ", "  ", "\t", " \t"};
    const std::vector<std::string> ends = {"\n", "\r\n", "\r", "\n\n", "\n \n", "\n\r\n"};
    const std::vector<std::string> oddEnds = {"\n(c)\n", " // c\n", " (c)\n"};
    const auto rarely = [&random] { return random() % 16 == 0; };
    int64_t items = 0;
    for (int program = 0; program < 60; ++program) {
        std::string source = "G0 X0\n";
        const int lines = std::uniform_int_distribution<int>(1, 30)(random);
        for (int line = 0; line < lines; ++line) {
            source += pick(blanks);
            const int words = std::uniform_int_distribution<int>(1, 5)(random);
            for (int word = 0; word < words; ++word) {
                source += pick(rarely() ? oddLetters : letters) + pick(blanks) + pick(rarely() ? oddNumbers : numbers) +
                          pick(blanks);
                if (random() % 4 == 0) source += ' ';
            }
            source += pick(rarely() ? oddEnds : ends);
        }
        SCOPED_TRACE(source);
        const HarnessResult compiled = compileAndRun(source, plainOptions(false));
        const HarnessResult fromText = compileAndRun(source, plainOptions(true));
        items += plainLineItems(fromText);
        EXPECT_EQ(outcomeOf(fromText), outcomeOf(compiled));
    }
    EXPECT_GT(items, 30) << "the generator no longer makes runs of plain lines";
}

} // namespace
} // namespace Karsto::test
