// User functions and calls, compiled and run: argument binding in its three forms,
// results, parameters that are written back, the order in which functions become
// visible, what a body sees, RETURN, and a call as a statement. The located error texts
// of the same area are in the corpus, tests/programs/functions.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/code.h"
#include "core/type.h"
#include "evaluator_test_support.h"

namespace Karsto::test {
namespace {

// divmod with two inputs and an output, and the program's variables.
const std::string kDivmod =
    "{FUNCTION divmod : INT VAR_INPUT n, dv : INT; END_VAR VAR_OUTPUT rest : INT; END_VAR\n"
    "divmod := n / dv; rest := n MOD dv; END_FUNCTION\n"
    "VAR q, r, a, b : INT; x : DINT; END_VAR\n";

const std::string kSwap = "FUNCTION swap VAR_IN_OUT p, q : INT; END_VAR VAR t : INT; END_VAR\n"
                          "t := p; p := q; q := t; END_FUNCTION\n";

// Programs that run to their end with the stack at its bottom, and the integer values
// they leave.
TEST(FunctionCall, ProgramsWithCallsLeaveTheirValues) {
    struct Case {
        std::string name;
        std::string source;
        std::vector<std::pair<std::string, int64_t>> values;
    };
    const Case cases[] = {
        {"formal arguments bind the inputs and write the output back",
         kDivmod + "q := divmod(n := 17, dv := 5, rest => r);}", {{"q", 3}, {"r", 2}}},
        // q and r hold other values first, so the zeros come from the call.
        {"an input left out starts with the initial value of its type",
         kDivmod + "q := 7; r := 9; q := divmod(dv := 5, rest => r);}", {{"q", 0}, {"r", 0}}},
        // 17 / 5 = 3, then 30 / 7 = 4 rest 2; the inner output goes to a, the outer to r.
        {"formal arguments in any order, a call nested in an argument",
         kDivmod + "q := divmod(rest => r, dv := 7, n := divmod(n := 17, dv := 5, rest => a) * 10);}",
         {{"q", 4}, {"r", 2}, {"a", 2}}},
        {"in-out arguments are copied in and back",
         kDivmod + kSwap + "a := 1; b := 2; swap(p := a, q := b);}", {{"a", 2}, {"b", 1}}},
        {"calls between two declarations of a name reach the first, later ones the second",
         "{VAR a, b, c : INT; END_VAR\n"
         "FUNCTION pick : INT pick := 1; END_FUNCTION\n"
         "a := pick();\n"
         "FUNCTION pick : INT pick := 2; END_FUNCTION\n"
         "b := pick(); c := PICK();}",
         {{"a", 1}, {"b", 2}, {"c", 2}}},
        // The body of the second f reaches the first f, not itself: 21 + 3.
        {"a body calls the function of its own name declared before it",
         "{VAR a : INT; END_VAR\n"
         "FUNCTION f : INT VAR_INPUT k : INT; END_VAR f := k + 1; END_FUNCTION\n"
         "FUNCTION f : INT VAR_INPUT k : INT; END_VAR f := f(k * 10) + f(k); END_FUNCTION\n"
         "a := f(2);}",
         {{"a", 24}}},
        {"the result starts at its type's initial value; a parameter of its name hides it",
         "{VAR a, b : INT; END_VAR\n"
         "FUNCTION none : INT ; END_FUNCTION\n"
         "FUNCTION hid : INT VAR_INPUT hid : INT; END_VAR hid := hid + 1; END_FUNCTION\n"
         "a := 5; a := none(); b := 5; b := hid(4);}",
         {{"a", 0}, {"b", 0}}},
        {"VAR and VAR_TEMP start fresh on every call; RETURN leaves the body",
         "{VAR a, b, c : INT; END_VAR\n"
         "FUNCTION tick : INT VAR k : INT; END_VAR VAR_TEMP t : INT; END_VAR\n"
         "  k := k + 1; t := t + 1; tick := k + t * 10; END_FUNCTION\n"
         "FUNCTION early : INT early := 1; RETURN; early := 2; END_FUNCTION\n"
         "a := tick(); b := tick(); c := early();}",
         {{"a", 11}, {"b", 11}, {"c", 1}}},
        // STRING: 256 cells, WSTRING too, LREAL one, none without a result.
        {"a call statement drops the result cells of the call",
         "{VAR n : INT; END_VAR\n"
         "FUNCTION text : STRING text := 'abc'; END_FUNCTION\n"
         "FUNCTION tag : WSTRING ; END_FUNCTION\n"
         "FUNCTION real8 : LREAL real8 := 8.0; END_FUNCTION\n"
         "FUNCTION count VAR_EXTERNAL n : INT; END_VAR n := n + 1; END_FUNCTION\n"
         "text(); tag(); real8(); count(); count();}",
         {{"n", 2}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const HarnessResult r = compileAndRun(c.source + "\n");
        ASSERT_TRUE(r.ok()) << r.errorText();
        for (const auto& [name, value] : c.values) EXPECT_EQ(r.integer(name), value) << name;
        EXPECT_EQ(r.sp, kStackBottom);
    }
}

TEST(FunctionCall, PositionalArgumentsAreConvertedToTheParameterTypesAndNamesIgnoreCase) {
    const HarnessResult r = compileAndRun(
        "{FUNCTION Area : LREAL VAR_INPUT wd, ht : LREAL; END_VAR area := wd * ht; END_FUNCTION\n"
        "VAR z, y : LREAL; END_VAR z := area(2.5, 4); y := AREA(1, 2) + aReA(wd := 3, ht := 0.5);}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.real("z"), 10.0);
    EXPECT_EQ(r.real("y"), 3.5);
    EXPECT_EQ(r.sp, kStackBottom);
}

TEST(FunctionDeclaration, VariablesOutsideTheFunctionAreReachedOnlyThroughVarExternal) {
    const HarnessResult r = compileAndRun(
        "{VAR g : INT; END_VAR VAR CONSTANT lim : INT; END_VAR VAR a : INT; z : LREAL; END_VAR\n"
        "FUNCTION bump : INT VAR_EXTERNAL g : INT; END_VAR VAR_EXTERNAL CONSTANT lim : INT; END_VAR\n"
        "  VAR_EXTERNAL r5 : LREAL; END_VAR\n"
        "  g := g + 10; bump := g + lim; r5 := r5 * 2.0; END_FUNCTION\n"
        "g := 1; a := bump(); z := r5;}\n",
        [] {
            HarnessOptions options = withHostExternals();
            options.externals.push_back({"r5", typeLreal, 1.25});
            return options;
        }());
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.integer("g"), 11);
    EXPECT_EQ(r.integer("a"), 11);
    EXPECT_EQ(r.real("z"), 2.5);
    EXPECT_EQ(r.real("r5"), 2.5);
}

// The message of each compile error; the corpus checks the places of a few of them.
TEST(FunctionCall, CallsAndDeclarationsThatDoNotFitFailWithTheirMessage) {
    const std::string divmod = kDivmod;
    const std::string swap = kDivmod + kSwap;
    struct Case {
        std::string source;
        std::string message;
    };
    const Case cases[] = {
        // Argument lists: the list's own checks at the first offending argument, then
        // the callee's binding.
        {divmod + "q := divmod(17, 5);}",
         "Number of actual parameters (2) and number of formal parameters (3) do not match in non-formal function "
         "call."},
        {divmod + "q := divmod(17, dv := 5);}", "Invalid mixing of formal and nonformal parameters in function call."},
        {divmod + "q := divmod(dv := 5, 17);}", "Invalid mixing of formal and nonformal parameters in function call."},
        {divmod + "q := divmod(n := 1, n := 2);}", "Formal parameter defined twice in function call."},
        {divmod + "q := divmod(n := 1, rest => q, rest => r);}",
         "Formal output parameter defined twice in function call."},
        {divmod + "q := divmod(n := 1, n => q);}", "Formal output parameter defined twice in function call."},
        {divmod + "q := divmod(n := 1, rest => divmod(n := 1, dv := 2));}", "Invalid location"},
        {divmod + "q := divmod(n := 1, rest => (a + b));}", "Invalid location"},
        {divmod + "q := divmod(k := 1);}", "Use of undeclared formal parameter 'k' in formal call."},
        {divmod + "q := divmod(n => q);}", "Invalid definition of input variable in function call."},
        {divmod + "q := divmod(rest := 1);}", "Invalid definition of output variable in function call."},
        {divmod + "q := DivMod(N := 1, Rest := 1);}", "Invalid definition of output variable in function call."},
        // In-out arguments: variables of exactly the parameter's type, given with ":=".
        {swap + "swap(p := a + 1, q := b);}", "Definition of inout variable is not a valid left-hand-side value."},
        {swap + "swap(p := x, q := b);}", "Mismatch type of actual and formal inout variable in function call."},
        {swap + "swap(p => a, q := b);}", "Invalid definition of inout variable in function call."},
        {swap + "swap(a, b);}", "Invalid definition of inout variable in function call."},
        {swap + "a := swap(p := a, q := b);}", "Invalid implicit conversion from type '<void>' to 'int'."},
        // Order: a function is known after its END_FUNCTION, and not in its own body.
        {"{VAR a : INT; END_VAR a := divmod(n := 1, dv := 1);}\n" + divmod + "}",
         "Undeclared Identifier 'divmod'"},
        {"{FUNCTION Self : INT self := SELF(); END_FUNCTION}", "Undeclared Identifier 'self'"},
        // Visibility: program variables only through VAR_EXTERNAL, as declared before
        // the function.
        {"{VAR g : INT; END_VAR FUNCTION f : INT f := g; END_FUNCTION}",
         "Undeclared variable or enumeration value 'g'."},
        {"{VAR g : INT; END_VAR FUNCTION f : INT VAR_EXTERNAL g : DINT; END_VAR f := 1; END_FUNCTION}",
         "Type of referenced variable ('int') does not match type of alias ('dint')"},
        {"{VAR CONSTANT lim : INT; END_VAR FUNCTION f : INT VAR_EXTERNAL lim : INT; END_VAR f := lim; END_FUNCTION}",
         "Referenced variable is constant, but alias is not"},
        {"{FUNCTION f : INT VAR_EXTERNAL late : INT; END_VAR f := late; END_FUNCTION VAR late : INT; END_VAR}",
         "Undeclared Identifier 'late'"},
        // RETURN is compiled in the second walk: a call of an undeclared function after
        // it is reported first, in the first walk.
        {"{RETURN; nothing();}", "Undeclared Identifier 'nothing'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const HarnessResult r = compileOnly(c.source + "\n");
        ASSERT_TRUE(r.compileError.has_value());
        EXPECT_EQ(r.compileError->message, c.message);
    }
}

// Label ids depend on everything compiled before: a label prints as "Label".
std::vector<std::string> withoutLabelIds(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const std::string& line : lines) {
        const size_t label = line.find("Label ");
        out.push_back(label == std::string::npos ? line : line.substr(0, label + 5));
    }
    return out;
}

TEST(FunctionBody, BodiesFollowTheMainCodeInSourceOrderAndCallsJumpToTheirEntries) {
    const HarnessResult r = compileAndRun(
        "{FUNCTION f : INT VAR_INPUT a : INT; END_VAR VAR k : INT; END_VAR f := a; RETURN; END_FUNCTION\n"
        "FUNCTION g ; END_FUNCTION\n"
        "VAR x : INT; END_VAR x := f(3); g();}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    const std::vector<std::string> expected = {
        "Label", "ConstInt 0", "ConstLint 1", "St 1", // x := 0
        // x := f(3): the result cell, the argument, the call, the argument dropped.
        "ConstInt 0", "ConstLiti 3", "CastLitiInt ", "JumpSub Label", "SpAdd -1", "ConstLint 1", "St 1",
        "JumpSub Label", "SpAdd 0", // g(); without a result
        "Label", "Jump Label", "Label",
        // f: its local reserved and initialised, then f := a with a at fp - 1 and the
        // result at fp - 2, RETURN, the return label, Return, the exit label.
        "Label", "SpAdd 1", "ConstInt 0", "Fp", "ConstLint 3", "AddLint ", "St 1",
        "Fp", "ConstLint -1", "AddLint ", "Ld 1", "Fp", "ConstLint -2", "AddLint ", "St 1",
        "Jump Label", "Label", "Return", "Label",
        "Label", "SpAdd 0", "Label", "Return", "Label", // g
        "Label", "Halt"};
    const std::vector<std::string> lines = listingLines(r);
    ASSERT_EQ(withoutLabelIds(lines), expected);
    // The calls reach the entry labels, RETURN the label before f's Return.
    EXPECT_EQ(dynamic_cast<CmdWithTarget*>(r.linked().item(7))->target()->address(), 16);
    EXPECT_EQ(dynamic_cast<CmdWithTarget*>(r.linked().item(11))->target()->address(), 35);
    EXPECT_EQ(dynamic_cast<CmdWithTarget*>(r.linked().item(31))->target()->address(), 32);
}

} // namespace
} // namespace Karsto::test
