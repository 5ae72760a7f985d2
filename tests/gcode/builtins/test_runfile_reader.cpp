// The run-file reader on its own: blocks as the processor receives them, the pacing of
// at most 100 blocks per call, stalls, and the places of its errors.

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <typeinfo>
#include <vector>

#include "core/exception.h"
#include "core/literals.h"
#include "core/machine_test_support.h"
#include "frontend/scanner_input.h"
#include "gcode/builtins/runfile_reader.h"
#include "frontend/source_dir.h"
#include "gcode/builtins/runfile_test_support.h"
#include "support/jyx_harness.h"

namespace Karsto {
namespace {

using test::FakeProcessor;
using test::runfileLines;

class StallingProcessor final : public FakeProcessor {
public:
    bool isStalled() override { return stalled; }
    bool stalled = false;
};

struct Reading {
    SourceDir dir;
    StallingProcessor consumer;
    ScannerInputFileStream input;
    std::unique_ptr<RunfileReader> reader;

    explicit Reading(std::string_view text) {
        dir.write("rf.nc", text);
        input.open(dir.path() + "rf.nc");
        reader = std::make_unique<RunfileReader>(&consumer, &input);
    }
    // The number of blocks one call executed.
    size_t call() {
        const size_t before = consumer.blocks.size();
        reader->readBlocks();
        return consumer.blocks.size() - before;
    }
};

TEST(RunfileReader, BlocksAsTheProcessorReceivesThem) {
    struct Case {
        const char* line;
        const char* block; // blockText of the first block
    };
    const Case cases[] = {
        {"/12 G0 Z=-0.5 X3", "/12 g=0 z=-0.5 x=3"},
        {"/ Y2", "/0 y=2"},
        {"x4 Y5", "x=4 y=5"},
        {"Q3 7", "q3=7"},
        {"R7 1", "r7=1"},
        {"X=-1", "x=-1"},
        {"N10 G1 X1.5e1 (comment) Y-.5", "n=10 g=1 x=15 y=-0.5"},
        {"", ""},
    };
    for (const Case& c : cases) {
        Reading r(std::string(c.line) + "\n");
        r.call();
        ASSERT_FALSE(r.consumer.blocks.empty()) << c.line;
        EXPECT_EQ(test::blockText(r.consumer.blocks[0]), c.block) << c.line;
    }
    Reading plain("X1");
    plain.call();
    EXPECT_EQ(plain.consumer.blocks.at(0).skipLevel, -1);
}

TEST(RunfileReader, MalformedWordsFailAtTheirToken) {
    struct Case {
        const char* text;
        const char* message;
        const char* span; // of the token the reader stopped at
    };
    const Case cases[] = {
        {"G1 X\n", "Expected number", "1.5-2.1"},
        {"X--1\n", "Expected number", "1.3-1.4"},
        {"X-=1\n", "Expected number", "1.3-1.4"},
        {"X+1\n", "Expected number", "1.2-1.3"},
        {"X Y1\n", "Expected number", "1.3-1.4"},
        {"5 X1\n", "Expected Identifier", "1.1-1.2"},
        {"X99999999999999999999\n", "Invalid literal '99999999999999999999'", "1.2-1.22"},
        {"X1e999\n", "stod argument out of range", "1.2-1.7"},
    };
    for (const Case& c : cases) {
        Reading r(c.text);
        try {
            r.call();
            ADD_FAILURE() << c.text << " was read";
        } catch (const ExceptionKarsto& error) {
            EXPECT_EQ(error.message(), c.message) << c.text;
            EXPECT_NE(error.span().toString().find(c.span), std::string::npos) << c.text << error.what();
            // The literal conversions keep their own kinds of error.
            if (std::string(c.message).starts_with("Expected") || std::string(c.message).starts_with("stod")) {
                EXPECT_NE(dynamic_cast<const ExceptionSyntax*>(&error), nullptr) << c.text;
            }
        }
        EXPECT_FALSE(r.reader->done());
    }
}

TEST(RunfileReader, ProcessorErrorsCarryTheBlocksSpan) {
    Reading r("G1 X1\n  G1 Y2 \nG1 Z3\n");
    int seen = 0;
    r.consumer.failWith = [&seen] {
        if (++seen == 2) failRuntime("refused");
    };
    try {
        r.call();
        ADD_FAILURE() << "no error";
    } catch (const ExceptionRuntime& error) {
        EXPECT_EQ(error.message(), "refused");
        EXPECT_NE(error.span().toString().find("2.3-3.1"), std::string::npos) << error.what();
    }
    EXPECT_EQ(r.consumer.blocks.size(), 2u); // the block before stays executed
}

TEST(RunfileReader, AtMostOneHundredBlocksPerCall) {
    Reading ended(runfileLines(230));
    EXPECT_EQ(ended.call(), 100u);
    EXPECT_EQ(ended.call(), 100u);
    EXPECT_FALSE(ended.reader->done());
    EXPECT_EQ(ended.call(), 31u); // 30 lines and the empty block at the end
    EXPECT_TRUE(ended.reader->done());
    EXPECT_TRUE(ended.consumer.blocks.back().words.empty());
    EXPECT_EQ(ended.call(), 0u);

    Reading unended(runfileLines(100, false));
    EXPECT_EQ(unended.call(), 100u);
    EXPECT_TRUE(unended.reader->done());

    Reading lastEnded(runfileLines(100));
    EXPECT_EQ(lastEnded.call(), 100u);
    EXPECT_FALSE(lastEnded.reader->done());
    EXPECT_EQ(lastEnded.call(), 1u);
    EXPECT_TRUE(lastEnded.reader->done());

    Reading empty("");
    EXPECT_EQ(empty.call(), 1u);
    EXPECT_TRUE(empty.reader->done());
}

TEST(RunfileReader, EmptyLinesAreBlocksButConsecutiveLineEndsAreOne) {
    Reading r("X1\n\n\n(only a comment)\nX2");
    r.call();
    std::vector<std::string> texts;
    for (const auto& block : r.consumer.blocks) texts.push_back(test::blockText(block));
    EXPECT_EQ(texts, (std::vector<std::string>{"x=1", "", "x=2"}));
}

TEST(RunfileReader, AStalledProcessorKeepsThePosition) {
    Reading r("X1\nX2\n");
    r.consumer.stalled = true;
    EXPECT_EQ(r.call(), 0u);
    EXPECT_EQ(r.call(), 0u);
    r.consumer.stalled = false;
    EXPECT_EQ(r.call(), 3u);
    EXPECT_EQ(test::blockText(r.consumer.blocks[0]), "x=1");
}

// Every number the reader takes has the value the literal parsers give its text, also
// where the text is long, has underscores or an exponent, or is one of the short plain
// forms that the reader converts itself; the sign stays the reader's.
TEST(RunfileReader, NumbersHaveTheLiteralParsersValues) {
    const struct {
        const char* text;
        bool integer;
    } cases[] = {
        {"0", true},
        {"7", true},
        {"00042", true},
        {"9007199254740993", true},   // 2^53 + 1: rounded to a double like the parser's
        {"12345678901234567", true},  // the longest the reader converts itself
        {"123456789012345678", true}, // one digit more
        {"1_000", true},
        {"0.1", false},
        {"1.", false},
        {".5", false},
        {"00012.500", false},
        {"0.30000000000000004", false},
        {"1234567.890123456", false},
        {"3.141592653589793238462643", false},
        {"0.0000000000000001", false},
        {"1_0.2_5", false},
        {"2.5e3", false},
        {"1e-3", false},
    };
    for (const auto& c : cases) {
        const double parsed = c.integer ? static_cast<double>(parseIntegerLiteral(c.text, 10))
                                        : parseRealLiteral(c.text);
        Reading r(std::string("X") + c.text + " Y-" + c.text);
        r.call();
        ASSERT_EQ(r.consumer.blocks.size(), 1u) << c.text;
        const std::vector<GCodeWord>& words = r.consumer.blocks[0].words;
        ASSERT_EQ(words.size(), 2u) << c.text;
        EXPECT_EQ(std::bit_cast<uint64_t>(words[0].value), std::bit_cast<uint64_t>(parsed)) << c.text;
        EXPECT_EQ(std::bit_cast<uint64_t>(words[1].value), std::bit_cast<uint64_t>(-parsed)) << c.text;
    }
}

// What reading a whole file shows: per call the blocks (skip level, words with the bits
// of their values, span by line, column and offsets), then the error and the end state.
std::string readingOf(const std::string& text, bool direct, int calls = 8) {
    Reading r(text);
    r.reader->directPlainLines = direct;
    std::string shown;
    const auto place = [](const SourcePosition& p) {
        return std::to_string(p.line) + "." + std::to_string(p.column) + "(" + std::to_string(p.offset) + "," +
               std::to_string(p.inputOffset) + ")";
    };
    const auto spanText = [&place](const SourceSpan& span) {
        return span.valid ? place(span.begin) + "-" + place(span.end) : std::string("?");
    };
    try {
        for (int call = 0; call < calls && !r.reader->done(); ++call) shown += "call " + std::to_string(r.call()) + "\n";
    } catch (const ExceptionKarsto& error) {
        shown += std::string("error ") + typeid(error).name() + " " + error.message() + " @" + spanText(error.span()) + "\n";
    }
    for (const FakeProcessor::Block& block : r.consumer.blocks) {
        shown += std::to_string(block.skipLevel) + " " + test::blockText(block) + " [";
        for (const GCodeWord& word : block.words) shown += std::to_string(std::bit_cast<uint64_t>(word.value)) + " ";
        shown += "] @" + spanText(block.span) + "\n";
    }
    return shown + (r.reader->done() ? "done" : "open");
}

// Plain lines are read without the scanner: every line, plain or not, in every place of
// a file and with every kind of line end, reads as the scanner alone reads it.
TEST(RunfileReader, PlainLinesReadAsTheScannerReadsThem) {
    const std::string lines[] = {
        "", "   ", "\t", "G1 X1 Y2", "g1x1y2", "N10 G1 X1.5 Y-.5 F1200", "X = - 1", "X=-1.", "X.5",
        "X1.", "X.", "X-", "X", "X1..2", "X1.2.3", "X1e3", "X1E3", "X1.5e-2", "X1_000",
        "X12345678901234567", "X123456789012345678", "X99999999999999999999", "X0.30000000000000004",
        "XY1", "X_1", "Q3 7", "R7 1", "q1=5", "Q5", "r12 X1", "/X1", "/2 X1", "X+1", "X--1", "X-=1", "5 X1", "X1 2",
        "X1 (comment) Y2", "(only)", "X1 // rest", "X1 {", "X1 !", "M3 S12000", "T1 M6", "X1\tY2\t",
        "x1 y2 z3 a4 b5 c6 i7 j8 k9 u10 p1 d2 h3 s4 t5 f6 n7", "X1*2", "X1/2", "X\xe9", "G0X0Y0Z-0.25",
        "  X1  ", "X1\r", "X" + std::string(300, '1'), "X1" + std::string(300, ' ') + "Y2",
    };
    const std::string ends[] = {"\n", "\r\n", "\r", "\n\n\r\n"};
    for (const std::string& line : lines) {
        for (const std::string& end : ends) {
            for (const std::string& text : {line, line + end, "G1 X1" + end + line + end + "Y2 " + end + line}) {
                EXPECT_EQ(readingOf(text, true), readingOf(text, false)) << text;
            }
        }
    }
    // Past the stream's window, with lines of every length across its edge.
    std::string longer;
    for (int i = 0; longer.size() < ScannerInputFileStream::windowSize + 4096; ++i)
        longer += "G1 X" + std::to_string(i) + std::string(static_cast<size_t>(i % 7), ' ') + " Y-0." +
                  std::to_string(i % 1000) + (i % 5 == 0 ? "\r\n" : "\n");
    EXPECT_EQ(readingOf(longer, true, 1000), readingOf(longer, false, 1000));
}

} // namespace
} // namespace Karsto
