// The program frame and the program-level list: what an empty program links to, and
// how statement and declaration items reach the walks.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/code.h"
#include "core/stackmachine_interpreter.h"
#include "evaluator_test_support.h"

namespace Karsto::test {
namespace {

using Lines = std::vector<std::string>;

// Labels print with their global id; the frame is compared by item kind.
Lines kindsOf(const Lines& listing) {
    Lines kinds;
    for (const std::string& line : listing) kinds.push_back(line.substr(0, line.find(' ')));
    return kinds;
}

TEST(ProgramFrame, AnEmptyStatementAndALineEndLinkToTheSixItemsOfTheFrame) {
    const HarnessResult r = compileAndRun("{;}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    const Lines listing = listingLines(r);
    EXPECT_EQ(kindsOf(listing), (Lines{"Label", "Label", "Jump", "Label", "Label", "Halt"}));
    ASSERT_EQ(r.linked().size(), 6);
    // The jump goes to L3, item 4.
    auto* jump = dynamic_cast<CmdWithTarget*>(r.linked().item(2));
    ASSERT_NE(jump, nullptr);
    EXPECT_EQ(jump->target()->address(), 4);
    EXPECT_EQ(r.sp, kStackBottom);
    EXPECT_TRUE(r.blocks.empty());
    // L0, L1, the jump, L3 and the halt: labels take a step each too.
    EXPECT_EQ(r.steps, 5);
}

TEST(ProgramFrame, EmptyLinesAndEmptyStatementsAddNoInstruction) {
    for (const std::string source : {"\n\n\n", "", "{ ; ; ; }\n\n{;}", "! ;\n"}) {
        SCOPED_TRACE(source);
        const HarnessResult r = compileAndRun(source);
        ASSERT_TRUE(r.ok()) << r.errorText();
        EXPECT_EQ(kindsOf(listingLines(r)), (Lines{"Label", "Label", "Jump", "Label", "Label", "Halt"}));
        EXPECT_EQ(r.sp, kStackBottom);
    }
}

TEST(ProgramFrame, StatementsFollowEachOtherInSourceOrderInTheMainCode) {
    const HarnessResult r = compileAndRun("G1 X1\n{;}\nG2 X2\n\nG3 X3\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.blocksText(), "g=1 x=1\ng=2 x=2\ng=3 x=3\n");
    const Lines listing = listingLines(r);
    // L0, three blocks of two constants and a Gcode each, L1, Jump, L2, L3, Halt.
    ASSERT_EQ(listing.size(), 15u);
    EXPECT_EQ(listing[3], "Gcode 2");
    EXPECT_EQ(kindsOf(Lines(listing.begin() + 10, listing.end())), (Lines{"Label", "Jump", "Label", "Label", "Halt"}));
    EXPECT_EQ(dynamic_cast<CmdWithTarget*>(r.linked().item(11))->target()->address(), 13);
    EXPECT_EQ(r.sp, kStackBottom);
}

// Declarations reach their own areas' actions, which are not built yet: the error names
// the construct and carries its place.
TEST(ProgramFrame, DeclarationsAndStatementsOfLaterAreasFailWithALocatedPlaceholderError) {
    struct Case {
        std::string source;
        std::string start; // the error text up to the production number
    };
    const Case cases[] = {
        {"G0\n{ INTERFACE i END_INTERFACE }\n", "t.jyx: 2.3-2.28: Not implemented yet: interfacedecl (production "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const HarnessResult r = compileOnly(c.source);
        ASSERT_TRUE(r.compileError.has_value());
        EXPECT_EQ(r.compileError->text.substr(0, c.start.size()), c.start);
        EXPECT_FALSE(r.ran);
    }
}

TEST(ProgramFrame, SyntaxErrorsAndForeignExceptionsAreReportedAsFailedCompiles) {
    HarnessResult r = compileAndRun("G1 X1 }\n");
    ASSERT_TRUE(r.compileError.has_value());
    EXPECT_EQ(r.compileError->text.substr(0, 24), "t.jyx: 1.7-1.8: Unexpect");
    EXPECT_FALSE(r.ran);
    // An exception of the standard library leaves the compile unchanged, without a place.
    r = compileAndRun("G1 X1e400\n");
    ASSERT_TRUE(r.compileError.has_value());
    EXPECT_EQ(r.compileError->text, "stod argument out of range");
    EXPECT_FALSE(r.compileError->span.valid);
}

TEST(ProgramFrame, TheFinalVariableScopeAnswersForTheHostExternals) {
    const HarnessResult r = compileAndRun("G1 X=R2\n", withHostExternals());
    ASSERT_TRUE(r.ok()) << r.errorText();
    ASSERT_NE(r.variable("r2"), nullptr);
    EXPECT_EQ(r.variable("zz"), nullptr);
    EXPECT_EQ(r.real("r2"), 1.5);
    EXPECT_EQ(r.integer("a"), 7);
    EXPECT_FALSE(r.boolean("f"));
}

} // namespace
} // namespace Karsto::test
