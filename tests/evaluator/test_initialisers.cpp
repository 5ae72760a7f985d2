// Constant expressions and scalar initial values from source to the machine: what an
// initial value compiles to and where it runs, the operand combinations the restricted
// grammar takes and refuses (with the error's place), and the type copy a line shares.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/type.h"
#include "core/variable.h"
#include "evaluator_test_support.h"

namespace Karsto::test {
namespace {

using Lines = std::vector<std::string>;

TEST(InitialValues, RunBetweenL0AndTheMainCodeWhereverTheirBlockStands) {
    const HarnessResult r = compileAndRun("{VAR a : INT := 5; END_VAR a := a * 2; VAR b : INT := a; END_VAR}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.integer("a"), 10);
    EXPECT_EQ(r.integer("b"), 5);
    const Lines listing = listingLines(r);
    ASSERT_GE(listing.size(), 17u) << r.listing;
    // L0, a := 5 (converted in the initial value), b := a, then the statement.
    EXPECT_EQ(listing[0].rfind("Label ", 0), 0u) << r.listing;
    const Lines start(listing.begin() + 1, listing.begin() + 17);
    EXPECT_EQ(start, (Lines{"ConstLiti 5", "CastLitiInt ", "ConstLint 1", "St 1",              //
                            "ConstLint 1", "Ld 1", "ConstLint 2", "St 1",                      //
                            "ConstLint 1", "Ld 1", "ConstLiti 2", "CastLitiInt ", "MulInt ", "ConstLint 1",
                            "St 1", "Label " + listing[16].substr(6)}))
        << r.listing;
}

TEST(InitialValues, OperandsMeetInTheirCommonTypeBeforeTheDeclaredOne) {
    const HarnessResult r = compileAndRun(
        "{VAR x : LREAL := 2 + 0.3; y : LREAL := 2.0 + 0.3; END_VAR\n"
        "VAR p, q : BOOL; END_VAR p := x < 2.3; q := y = 2.3;}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    // An integer and a real literal meet in REAL, rounded once to single precision;
    // two real literals stay in double precision.
    EXPECT_EQ(r.real("x"), static_cast<double>(2.3f));
    EXPECT_EQ(r.real("y"), 2.3);
    EXPECT_TRUE(r.boolean("p"));
    EXPECT_TRUE(r.boolean("q"));
    // left, its conversion, right, its conversion, the operator, then the declared type
    const Lines listing = listingLines(r);
    const Lines expected{"ConstLiti 2", "CastLitiReal ", "ConstLitr 0", "CastLitrReal ", "AddReal ",
                         "CastRealLreal ", "ConstLint 1", "St 1"};
    EXPECT_TRUE(std::search(listing.begin(), listing.end(), expected.begin(), expected.end()) != listing.end())
        << r.listing;
}

TEST(InitialValues, AcceptedOperandCombinations) {
    const HarnessResult r = compileAndRun(
        "{VAR p : BOOL := TRUE AND 1; w : WORD := 16#F0 OR 16#0F; c : BOOL := 3 >= 2.5;\n"
        "e : LREAL := 4.0 ** 0.5 ** 2.0; g : REAL := 2.0 ** 3; md : INT := -7 MOD 3 + (1 XOR 3);\n"
        "n : BOOL := NOT FALSE = (2 = 2.0) AND (1 <> 2); dv : LREAL := 7 / 2 * 1.0 - 0.5; f : BOOL := (3 < 4) & (4 <= 4) & (5 > 4);\n"
        "st : STRING[10] := 'abc'; ch : WCHAR := \"z\"; END_VAR}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_TRUE(r.boolean("p"));
    EXPECT_EQ(r.integer("w"), 0xFF);
    EXPECT_TRUE(r.boolean("c"));
    EXPECT_EQ(r.real("e"), 4.0); // (4.0 ** 0.5) ** 2.0: "**" is left-associative
    EXPECT_EQ(r.real("g"), 8.0);
    EXPECT_EQ(r.integer("md"), -1 + 2);
    EXPECT_TRUE(r.boolean("n"));
    EXPECT_EQ(r.real("dv"), 2.5); // 7 / 2 in integer-literal arithmetic
    EXPECT_TRUE(r.boolean("f"));
    EXPECT_EQ(r.characters("st"), u"abc");
    EXPECT_EQ(r.integer("ch"), 'z');
}

TEST(InitialValues, RefusedInitialisersNameTheirPlace) {
    struct Case {
        std::string declaration;
        std::string error;
    };
    const Case cases[] = {
        {"x : INT := 2.5;", "t.jyx: 1.17-1.20: Invalid implicit conversion from type '<real literal>' to 'int'."},
        {"dur : TIME := T#1s + T#2s;", "t.jyx: 1.20-1.31: Operation Add is not overloaded for given type."},
        {"z : LREAL := 3 ** 2;", "t.jyx: 1.19-1.25: Operation Expt is not overloaded for given type."},
        {"q : BYTE := NOT 3;", "t.jyx: 1.18-1.23: Operation Inv is not overloaded for given type."},
        {"y : INT := nothere;", "t.jyx: 1.17-1.24: Undeclared variable or enumeration value 'nothere'."},
        {"r : INT := REF(7);", "t.jyx: 1.17-1.23: Invalid location"},
        {"sc : INT := 1 + 'a';", "t.jyx: 1.18-1.25: Types '<integer literal>' and 'char' can not be combined"},
        {"t : TIME := -T#1s;", "t.jyx: 1.18-1.23: Operation Neg is not overloaded for given type."},
        {"u : INT := 2 ** LREAL#1.0;", "t.jyx: 1.17-1.31: Operation Expt is not overloaded for given type."},
        {"v : LREAL := 2.0 ** 'a';", "t.jyx: 1.19-1.29: Invalid cast from 'char' to '<real literal>'."},
        {"k : INT := Colour#Red;", "t.jyx: 1.17-1.27: Undeclared Identifier 'colour'"},
        {"hc : BOOL := 'a' < 1;", "t.jyx: 1.19-1.26: Types 'char' and '<integer literal>' can not be combined"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.declaration);
        const HarnessResult r = compileOnly("{VAR " + c.declaration + " END_VAR}\n");
        EXPECT_EQ(r.errorText(), c.error);
    }
}

TEST(InitialValues, ALineSharesOneTypeCopyThatHoldsTheValue) {
    const HarnessResult r = compileAndRun("{VAR s1, t : INT := 7; u : INT; END_VAR}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    Variable* s1 = r.variable("s1");
    Variable* t = r.variable("t");
    Variable* u = r.variable("u");
    ASSERT_TRUE(s1 != nullptr && t != nullptr && u != nullptr);
    EXPECT_EQ(s1->type(), t->type());
    EXPECT_NE(s1->type(), typeInt);
    EXPECT_TRUE(s1->type()->hasInitializer());
    EXPECT_TRUE(typesEqual(s1->type(), typeInt));
    EXPECT_EQ(u->type(), typeInt);
    EXPECT_EQ(r.integer("s1"), 7);
    EXPECT_EQ(r.integer("t"), 7);
    EXPECT_EQ(r.integer("u"), 0);
}

TEST(InitialValues, AReferenceIsTheAddressOfItsVariableParenthesesIncluded) {
    const HarnessResult r = compileAndRun(
        "{VAR x : INT := 3; y : INT; END_VAR\n"
        "VAR same : BOOL := REF(x) = REF((x)); other : BOOL := REF(x) <> REF(y); set : BOOL := REF(x) <> NULL; END_VAR}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_TRUE(r.boolean("same"));
    EXPECT_TRUE(r.boolean("other"));
    EXPECT_TRUE(r.boolean("set"));
}

} // namespace
} // namespace Karsto::test
