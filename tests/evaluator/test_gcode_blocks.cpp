// G-code blocks from source to the recording processor: words, skip levels, values and
// G-code expressions, their errors, and sizes that only an iterative walk survives.

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "evaluator_test_support.h"
#include "frontend/ast_arena.h"
#include "frontend/jyx_parser.h"
#include "support/corpus.h"

namespace Karsto::test {
namespace {

using Lines = std::vector<std::string>;

TEST(GcodeBlocks, WordsAreRecordedInSourceOrderWithTheirValues) {
    const HarnessResult r = compileAndRun("N10 G1 X10 Y-5.5\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    ASSERT_EQ(r.blocks.size(), 1u);
    EXPECT_EQ(r.blocks[0].skipLevel, -1);
    EXPECT_EQ(blockText(r.blocks[0]), "n=10 g=1 x=10 y=-5.5");
    // Four LREAL constants, the last one negated, then the block.
    const Lines listing = listingLines(r);
    ASSERT_EQ(listing.size(), 12u);
    Lines kinds;
    for (auto line = listing.begin() + 1; line != listing.begin() + 7; ++line) kinds.push_back(line->substr(0, line->find(' ')));
    EXPECT_EQ(kinds, (Lines{"ConstLreal", "ConstLreal", "ConstLreal", "ConstLreal", "NegLreal", "Gcode"}));
    EXPECT_EQ(listing[6], "Gcode 4");
    // The block's span runs from its first word to its line end.
    EXPECT_EQ(r.blocks[0].span.toString(), "t.jyx: 1.1-1.19");
    EXPECT_EQ(r.sp, kStackBottom);
}

// The compile driver compiles blocks of numbers as they are parsed and drops their words
// from the tree; the program must be the one the word-by-word walk makes. Every corpus
// program and a few sources aimed at the edges compile to the same listing, item by item
// with spans, or fail with the same error, either way. The long source reaches past the
// parser's first storage blocks, where a block's words may straddle two of them.
TEST(GcodeBlocks, BlocksCompiledWhileParsedGiveTheWalksProgram) {
    const auto program = [](const std::string& source, HarnessOptions options, bool compact) {
        options.compactLiteralBlocks = compact;
        const HarnessResult r = compileOnly(source, options);
        if (!r.compiled()) return Lines{r.errorText()};
        // Labels are numbered by the process, not the program: renumbered in order of use.
        std::map<std::string, std::string> labels;
        const std::regex label("Label [0-9]+");
        Lines lines;
        for (int64_t i = 0; i < r.linked().size(); ++i) {
            const CodeItem* item = r.linked().item(i);
            std::string text = item->toString();
            std::string renumbered;
            auto from = text.cbegin();
            for (std::sregex_iterator it(text.begin(), text.end(), label), end; it != end; ++it) {
                auto [at, added] = labels.try_emplace(it->str(), "Label #" + std::to_string(labels.size()));
                renumbered.append(from, text.cbegin() + it->position()).append(at->second);
                from = text.cbegin() + it->position() + it->length();
            }
            lines.push_back(renumbered.append(from, text.cend()) + " @ " + item->span().toString());
        }
        return lines;
    };
    std::string longSource;
    for (int i = 0; i < 12000; ++i)
        longSource += (i % 10 == 0 ? "N" + std::to_string(i) + " " : std::string()) + "G1 X" + std::to_string(i % 97) +
                      " Y-" + std::to_string(i % 13) + ".5" + (i % 7 == 0 ? " Z=" + std::to_string(i) : "") + "\n";
    std::vector<std::pair<std::string, HarnessOptions>> sources = {
        {"N10 G1 X10 Y-5.5 Z1\n/ G2 X-.5 I-1_0.25\n/3 G1 X1\nG1 X=1 Y2\nG0 X{1} Y2\n\nM30\n", {}},
        {"G1 X1e999 Z1\n", {}},
        {"G0 X1\nG1 X2 Y-1e999\n", {}},
        {"G1 X1\nG1 X1 }\n", {}},
        // Lines read straight from the text after a run, and their neighbours that are not.
        {"N10 G1 X1 Y-2\n/ G1 X2\n(c) G1 X3 Y4 (d)\nG1 X4\r\nG1 x5.5 y-.5 z6.\n\nG1 X 7 Y - 8\nG1 X1e2\n"
         "G1 X=3\nG1 X9\nG1 X10 // c\nG1 X11\tY12 \nG1 X1_000\nG1 X0012 Y.25\n  G1 X13\n\r\n\nG1 X14\r"
         "G1 XY1\nG1 X1 R2\nG1 X1 Q2\nG1 X1.2.3\nM30",
         {}},
        {"G0 X1\nG1 X2\nG1 X3 }\nG1 X4\n", {}},
        {"G0 X1\nG1 X2\nG1 X" + std::string(400, '9') + "\nG1 X4\n", {}},
        {"G0 X1\nG1 X2\n{ x := 1; }\nG1 X3\nG1 X4\n", {}},
        {"{ VAR i : INT; END_VAR FOR i := 1 TO 3 DO }\nG1 X1 Y-2\n{ END_FOR; }\nG1 X=i\n", {}},
        {longSource, {}},
    };
    const std::string corpus = VORDASH_TEST_DATA_DIR "/programs";
    for (const std::string& file : corpusFiles(corpus)) {
        CorpusCase corpusCase = readCorpusCase(corpus, file);
        sources.emplace_back(std::move(corpusCase.source), std::move(corpusCase.options));
    }
    for (const auto& [source, options] : sources) {
        SCOPED_TRACE(source.substr(0, 80));
        const Lines walked = program(source, options, false);
        ASSERT_FALSE(walked.empty());
        EXPECT_EQ(program(source, options, true), walked);
    }
    // And the words really went: well under half of the nodes stays.
    HarnessOptions compact;
    compact.compactLiteralBlocks = true;
    const HarnessResult walked = compileOnly(longSource);
    const HarnessResult compacted = compileOnly(longSource, compact);
    ASSERT_TRUE(walked.compiled() && compacted.compiled());
    EXPECT_LT(compacted.parser()->nodeArena->nodeCount() * 2, walked.parser()->nodeArena->nodeCount());
}

TEST(GcodeBlocks, SkipLevelsAndLetters) {
    struct Case {
        std::string source;
        std::string block;
    };
    const Case cases[] = {
        {"G0 X1\n", "g=0 x=1"},
        {"/ G0 X1\n", "/0 g=0 x=1"},
        {"/12 G0 X1\n", "/12 g=0 x=1"},
        {"/4294967299 G0 X1\n", "/3 g=0 x=1"}, // the low 32 bits
        {"g01 x2 Z3\n", "g=1 x=2 z=3"},
        {"G1 X.5 Y1_000 Z2.5e3\n", "g=1 x=0.5 y=1000 z=2500"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const HarnessResult r = compileAndRun(c.source);
        ASSERT_TRUE(r.ok()) << r.errorText();
        EXPECT_EQ(r.blocksText(), c.block + "\n");
    }
    const HarnessResult r = compileOnly("/18446744073709551616 G0 X1\n");
    EXPECT_EQ(r.errorText(), "t.jyx: 1.1-1.22: Invalid literal '18446744073709551616'");
}

TEST(GcodeBlocks, ExpressionsComputeInTheCommonTypeOfTheirOperands) {
    struct Case {
        std::string source;
        std::string block;
    };
    const Case cases[] = {
        {"G1 X=R2*4-1\n", "g=1 x=5"},
        {"G1 X=a/b+0.5\n", "g=1 x=3.5"}, // INT division first
        {"G1 X=-a\n", "g=1 x=-7"},
        {"G1 X=a-b*2-1 Y=-r2/-2\n", "g=1 x=2 y=0.75"},
        {"G1 X=A*B Y=a/2\n", "g=1 x=14 y=3.5"},
        {"G1 X=1.5\n", "g=1 x=1.5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const HarnessResult r = compileAndRun(c.source, withHostExternals());
        ASSERT_TRUE(r.ok()) << r.errorText();
        EXPECT_EQ(r.blocksText(), c.block + "\n");
        EXPECT_EQ(r.sp, kStackBottom);
    }
    const HarnessResult r = compileAndRun("G1 X=a/b+0.5\n", withHostExternals());
    const Lines listing = listingLines(r);
    auto position = [&listing](const std::string& item) {
        for (size_t i = 0; i < listing.size(); ++i)
            if (listing[i].starts_with(item)) return i;
        return listing.size();
    };
    EXPECT_LT(position("DivInt"), position("CastIntLreal"));
    EXPECT_LT(position("CastIntLreal"), position("AddLreal"));
}

TEST(GcodeBlocks, ValuesThatAreNoNumberFailWithThePlaceOfTheirConstruct) {
    struct Case {
        std::string source;
        std::string error;
    };
    const Case cases[] = {
        {"G1 X=f\n", "t.jyx: 1.5-1.7: Invalid implicit conversion from type 'bool' to 'lreal'."},
        {"G0 Y=zz\n", "t.jyx: 1.6-1.8: Undeclared variable or enumeration value 'zz'."},
        {"G0 Y=2*zz\n", "t.jyx: 1.8-1.10: Undeclared variable or enumeration value 'zz'."},
        {"G1 X=f+1\n", "t.jyx: 1.6-1.9: Types 'bool' and 'lreal' can not be combined"},
        {"G1 X=-f\n", "t.jyx: 1.6-1.8: Operation Neg is not overloaded for given type."},
        {"G1 X=f*f\n", "t.jyx: 1.6-1.9: Operation Mul is not overloaded for given type."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const HarnessResult r = compileOnly(c.source, withHostExternals());
        EXPECT_EQ(r.errorText(), c.error);
    }
}

TEST(GcodeBlocks, AStructuredTextValueIsConvertedAtThePlaceOfItsExpression) {
    HarnessResult r = compileAndRun("G1 X{2} Y{-0.5}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.blocksText(), "g=1 x=2 y=-0.5\n");
    r = compileOnly("G1 X{TRUE}\n");
    ASSERT_TRUE(r.compileError.has_value());
    EXPECT_EQ(r.compileError->text, "t.jyx: 1.6-1.10: Invalid implicit conversion from type 'bool' to 'lreal'.");
}

TEST(GcodeBlocks, DivisionByZeroStopsTheRunAtTheBlock) {
    HarnessOptions options = withHostExternals();
    options.externals[2].value = 0; // b
    const HarnessResult r = compileAndRun("G0 X1\nG1 X=a/b\n", options);
    ASSERT_TRUE(r.compiled()) << r.errorText();
    ASSERT_TRUE(r.runError.has_value());
    EXPECT_EQ(r.runError->text, "t.jyx: 2.6-2.9: Division by zero");
    EXPECT_EQ(r.blocksText(), "g=0 x=1\n");
}

// Under AddressSanitizer on the default stack: nothing on the way recurses per line or
// per operand.
TEST(GcodeBlocks, LongProgramsNeedNoNativeRecursion) {
    std::string lines;
    for (int i = 0; i < 200000; ++i) lines += "G1 X1\n";
    const HarnessResult r = compileAndRun(lines);
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.blocks.size(), 200000u);
    EXPECT_EQ(r.sp, kStackBottom);
}

TEST(GcodeBlocks, LongExpressionsNeedNoNativeRecursion) {
    std::string sum = "G1 X=1";
    for (int i = 1; i < 100000; ++i) sum += "+1";
    const HarnessResult r = compileAndRun(sum + "\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    ASSERT_EQ(r.blocks.size(), 1u);
    EXPECT_EQ(blockText(r.blocks[0]), "g=1 x=100000");
}

} // namespace
} // namespace Karsto::test
