// G-code blocks from source to the recording processor: words, skip levels, values and
// G-code expressions, their errors, and sizes that only an iterative walk survives.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "evaluator_test_support.h"

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

// A block of numbers only is compiled at the block, without walking its words; its items
// must be those the walk gives. A word whose value is an expression ("Z=1") makes the
// block take the walk, so every item before that word is compared, spans included.
TEST(GcodeBlocks, ABlockOfNumbersCompilesAsTheWordWalkDoes) {
    const auto itemsOf = [](const std::string& source, int64_t count) {
        const HarnessResult r = compileOnly(source);
        Lines items;
        if (!r.compiled()) return Lines{r.errorText()};
        for (int64_t i = 1; i <= count && i < r.linked().size(); ++i) {
            const CodeItem* item = r.linked().item(i);
            items.push_back(item->toString() + " @ " + item->span().toString());
        }
        return items;
    };
    struct Case {
        std::string literal;
        std::string walked;
        int64_t sharedItems; // after the label, before the last word's items
    };
    const Case cases[] = {
        {"N10 G1 X10 Y-5.5 Z1\n", "N10 G1 X10 Y-5.5 Z=1\n", 5},
        {"/ G2 X-.5 I-1_0.25 Z1\n", "/ G2 X-.5 I-1_0.25 Z=1\n", 5},
        {"G1 X1e999 Z1\n", "G1 X1e999 Z=1\n", 1}, // the literal's error
        {"G0 X1 Z-1e999\n", "G0 X1 Z=-1e999\n", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.literal);
        const Lines literal = itemsOf(c.literal, c.sharedItems);
        ASSERT_FALSE(literal.empty());
        EXPECT_EQ(literal, itemsOf(c.walked, c.sharedItems));
    }
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
