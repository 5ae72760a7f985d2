// IF, CASE, FOR, WHILE, REPEAT, EXIT and CONTINUE: the layouts of their code, the
// stack kept balanced by a CASE left through EXIT or CONTINUE, and nesting that only
// an iterative compiler survives. What they compute is in tests/programs/control.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/code.h"
#include "evaluator_test_support.h"

namespace Karsto::test {
namespace {

using Lines = std::vector<std::string>;

// The main code between L0 and L1, each item by its kind ("Label", "Jump",
// "BranchTrue", ...), a jump or branch with the position of its target among the
// program's labels, L0 being 0 ("Jump ->2").
Lines mainCodeKinds(const HarnessResult& r) {
    const Lines listing = listingLines(r);
    std::vector<int64_t> labelAddresses;
    size_t end = listing.size();
    for (size_t i = 0; i < listing.size(); ++i)
        if (listing[i].starts_with("Label")) labelAddresses.push_back(static_cast<int64_t>(i));
    // L1 is the label before the jump to L3 that ends the main code.
    for (size_t i = listing.size(); i-- > 1;) {
        if (listing[i].starts_with("Jump") && listing[i - 1].starts_with("Label")) {
            end = i - 1;
            break;
        }
    }
    Lines kinds;
    for (size_t i = 1; i < end; ++i) {
        std::string kind = listing[i].substr(0, listing[i].find(' '));
        if (auto* target = dynamic_cast<CmdWithTarget*>(r.linked().item(static_cast<int64_t>(i)))) {
            size_t position = 0;
            while (position < labelAddresses.size() && labelAddresses[position] != target->target()->address())
                ++position;
            kind += " ->" + std::to_string(position);
        }
        kinds.push_back(kind);
    }
    return kinds;
}

// Only the flow items: labels, jumps and branches.
Lines flowOf(const Lines& kinds) {
    Lines flow;
    for (const std::string& kind : kinds)
        if (kind.starts_with("Label") || kind.find(" ->") != std::string::npos) flow.push_back(kind);
    return flow;
}

TEST(ControlStatements, IfTestsEveryConditionBeforeAnyBranch) {
    const HarnessResult r = compileAndRun(
        "{VAR a, b, c : BOOL; END_VAR\n"
        "IF a THEN ; ELSIF b THEN ; ELSIF c THEN ; ELSE ; END_IF}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    // Labels by position: 1 and 2 the ELSIF parts, 3 THEN, 4 ELSE, 5 the end.
    EXPECT_EQ(flowOf(mainCodeKinds(r)),
              (Lines{"BranchTrue ->3", "BranchTrue ->1", "BranchTrue ->2", "Jump ->4", "Label", "Jump ->5", "Label",
                     "Jump ->5", "Label", "Jump ->5", "Label", "Label"}));
}

TEST(ControlStatements, LoopLayouts) {
    struct Case {
        std::string source;
        Lines flow;
    };
    const Case cases[] = {
        // init, jump to the test; body, continue point, step; test, exit
        {"{VAR k : INT; END_VAR FOR k := 1 TO 3 DO ; END_FOR}",
         {"Jump ->3", "Label", "Label", "Label", "BranchLtEq ->1", "Label"}},
        {"{VAR k : INT; END_VAR FOR k := 3 TO 1 BY -1 DO CONTINUE; EXIT; END_FOR}",
         {"Jump ->3", "Label", "Jump ->2", "Jump ->4", "Label", "Label", "BranchGtEq ->1", "Label"}},
        // a jump to the test, which is the continue point; body; test; exit
        {"{WHILE FALSE DO CONTINUE; EXIT; END_WHILE}",
         {"Jump ->2", "Label", "Jump ->2", "Jump ->3", "Label", "BranchTrue ->1", "Label"}},
        {"{REPEAT CONTINUE; EXIT; UNTIL TRUE END_REPEAT}",
         {"Label", "Jump ->2", "Jump ->3", "Label", "BranchFalse ->1", "Label"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const HarnessResult r = compileAndRun(c.source);
        ASSERT_TRUE(r.ok()) << r.errorText();
        EXPECT_EQ(flowOf(mainCodeKinds(r)), c.flow);
        EXPECT_EQ(r.sp, kStackBottom);
    }
}

TEST(ControlStatements, ForStoresTheStartThenTestsBeforeTheFirstPass) {
    const HarnessResult r = compileAndRun("{VAR k : DINT; END_VAR FOR k := 1 TO 3 DO ; END_FOR}");
    ASSERT_TRUE(r.ok()) << r.errorText();
    const Lines kinds = mainCodeKinds(r);
    // After the initialisation of k: the start converted to DINT and stored; the body,
    // the increment (load, step, add, store) and the test (load, end, branch).
    EXPECT_EQ(kinds, (Lines{"ConstDint", "ConstLint", "St", "ConstLiti", "CastLitiDint", "ConstLint", "St", "Jump ->3",
                            "Label", "Label", "ConstLint", "Ld", "ConstLiti", "CastLitiDint", "AddDint", "ConstLint",
                            "St", "Label", "ConstLint", "Ld", "ConstLiti", "CastLitiDint", "BranchLtEq ->1", "Label"}));
    EXPECT_EQ(r.integer("k"), 4);
}

TEST(ControlStatements, CaseKeepsItsSelectorOnTheStackAndDropsItAtTheEnd) {
    const HarnessResult r = compileAndRun(
        "{VAR i : INT; END_VAR\n"
        "CASE i OF 1, 3..5: ; 4: ; ELSE ; END_CASE}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    const Lines kinds = mainCodeKinds(r);
    // After the initialisation of i, the selector; each label a copy of the selector,
    // both bounds converted, the range branch; the bodies; ELSE; the end and the drop.
    const Lines expected{"ConstInt", "ConstLint", "St", "ConstLint", "Ld",
                         "Dup", "ConstLiti", "CastLitiInt", "ConstLiti", "CastLitiInt", "BranchInRangeInt ->1",
                         "Dup", "ConstLiti", "CastLitiInt", "ConstLiti", "CastLitiInt", "BranchInRangeInt ->1",
                         "Dup", "ConstLiti", "CastLitiInt", "ConstLiti", "CastLitiInt", "BranchInRangeInt ->2",
                         "Jump ->3", "Label", "Jump ->4", "Label", "Jump ->4", "Label", "Label", "SpAdd"};
    EXPECT_EQ(kinds, expected);
    EXPECT_EQ(r.sp, kStackBottom);
}

// A CASE branch left by EXIT or CONTINUE passes through a label of the CASE that drops
// the selector before it jumps on; without it every pass would leave a cell behind.
TEST(ControlStatements, LeavingACaseBranchKeepsTheStackBalanced) {
    struct Case {
        std::string source;
        int64_t count;
    };
    const Case cases[] = {
        {"{VAR i, n : DINT; END_VAR\n"
         "WHILE i < 100000 DO\n"
         "  i := i + 1;\n"
         "  CASE i MOD 2 OF 0, 1: n := n + 1; CONTINUE; END_CASE\n"
         "  n := n + 1000000;\n"
         "END_WHILE}\n",
         100000},
        {"{VAR i, n : DINT; END_VAR\n"
         "FOR i := 1 TO 100 DO\n"
         "  n := n + 1;\n"
         "  CASE i OF 7: EXIT; ELSE ; END_CASE\n"
         "END_FOR}\n",
         7},
        // nested CASEs chain: each drops its own selector
        {"{VAR i, n : DINT; END_VAR\n"
         "FOR i := 1 TO 50000 DO\n"
         "  CASE i OF 1..100000:\n"
         "    CASE n OF 0..100000: n := n + 1; CONTINUE; END_CASE\n"
         "  END_CASE\n"
         "  n := -1000000;\n"
         "END_FOR}\n",
         50000},
        {"{VAR i, n : DINT; END_VAR\n"
         "REPEAT\n"
         "  n := n + 1;\n"
         "  CASE n OF 1..5: CONTINUE; ELSE CASE n OF 6: EXIT; END_CASE END_CASE\n"
         "UNTIL FALSE END_REPEAT}\n",
         6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const HarnessResult r = compileAndRun(c.source);
        ASSERT_TRUE(r.ok()) << r.errorText();
        EXPECT_EQ(r.integer("n"), c.count);
        EXPECT_EQ(r.sp, kStackBottom);
    }
}

TEST(ControlStatements, ErrorsOfLoopsCarryTheSpanOfTheLoop) {
    struct Case {
        std::string source;
        std::string error;
    };
    const Case cases[] = {
        {"{VAR k : INT; END_VAR FOR k := 1 TO 3 BY k DO ; END_FOR}",
         "t.jyx: 1.23-1.56: Invalid constant expression"},
        // a call jumps to a body outside the step's code: no constant either
        {"{FUNCTION f : INT f := 1; END_FUNCTION VAR k : INT; END_VAR FOR k := 1 TO 3 BY f() DO ; END_FOR}",
         "t.jyx: 1.61-1.96: Invalid constant expression"},
        {"{VAR k : INT; END_VAR FOR k := 1 TO 3 BY 1 / 0 DO ; END_FOR}",
         "t.jyx: 1.23-1.60: Division by zero"},
        {"{VAR k : INT; END_VAR FOR k := TRUE TO 3 DO ; END_FOR}",
         "t.jyx: 1.23-1.54: Invalid implicit conversion from type 'bool' to 'int'."},
        {"{VAR k : INT; END_VAR FOR k := 1 TO T#1s DO ; END_FOR}",
         "t.jyx: 1.23-1.54: Invalid implicit conversion from type 'time' to 'int'."},
        {"{VAR k : INT; END_VAR WHILE k DO ; END_WHILE}", "t.jyx: 1.23-1.45: Invalid implicit conversion from type 'int' to 'bool'."},
        {"{VAR k : INT; END_VAR REPEAT ; UNTIL k END_REPEAT}",
         "t.jyx: 1.23-1.50: Invalid implicit conversion from type 'int' to 'bool'."},
        // the control variable: the span of its name
        {"{FOR zz := 1 TO 3 DO ; END_FOR}", "t.jyx: 1.6-1.8: Undeclared variable or enumeration value 'zz'."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const HarnessResult r = compileOnly(c.source);
        EXPECT_EQ(r.errorText(), c.error);
    }
}

TEST(ControlStatements, JumpsWithoutTargetAndUnusableSelectorsFailInTheirPlace) {
    struct Case {
        std::string source;
        std::string error;
    };
    const Case cases[] = {
        {"{ ; CONTINUE}", "t.jyx: 1.5-1.13: Control-flow to undefined location."},
        {"{ EXIT;}", "t.jyx: 1.3-1.7: Control-flow to undefined location."},
        // the first walk refuses it before the second walk meets the undeclared name
        {"{ zz := 1; IF TRUE THEN EXIT; END_IF}", "t.jyx: 1.25-1.29: Control-flow to undefined location."},
        {"{CASE TRUE OF 1: ; END_CASE}", "t.jyx: 1.15-1.16: Selector in CASE construct has invalid type 'bool'."},
        {"{CASE T#1s OF 1..2, 3: ; END_CASE}", "t.jyx: 1.15-1.19: Selector in CASE construct has invalid type 'time'."},
        {"{CASE 'ab' OF 1: ; END_CASE}",
         "t.jyx: 1.15-1.16: Selector in CASE construct has invalid type 'string[2]'."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const HarnessResult r = compileOnly(c.source);
        EXPECT_EQ(r.errorText(), c.error);
    }
}

// Under AddressSanitizer on the default stack: compiling, linking, running and freeing
// deeply nested statements recurses nowhere.
TEST(ControlStatements, DeepNestingNeedsNoNativeRecursion) {
    constexpr int kDepth = 10000;
    std::string source = "{VAR n : DINT; END_VAR\n";
    for (int i = 0; i < kDepth; ++i) source += "IF TRUE THEN n := n + 1;\n";
    for (int i = 0; i < kDepth; ++i) source += "END_IF\n";
    source += "}";
    HarnessResult r = compileAndRun(source);
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.integer("n"), kDepth);
    EXPECT_EQ(r.sp, kStackBottom);

    source = "{VAR n, k : DINT; END_VAR\n";
    for (int i = 0; i < kDepth; ++i) source += "WHILE n < 1 DO CASE k OF 0: REPEAT\n";
    source += "n := 1;\n";
    for (int i = 0; i < kDepth; ++i) source += "UNTIL TRUE END_REPEAT END_CASE END_WHILE\n";
    source += "}";
    r = compileAndRun(source);
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.integer("n"), 1);
    EXPECT_EQ(r.sp, kStackBottom);
}

} // namespace
} // namespace Karsto::test
