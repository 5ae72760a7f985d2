// Derived types, aggregate initialisers and element access from source to the machine:
// what a subscript compiles to, how array initialisers are completed (and when they
// warn), which type object a TYPE name denotes, and the copies that carry initial
// values without changing the types they copy.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/type.h"
#include "core/type_array.h"
#include "core/type_enum.h"
#include "core/variable.h"
#include "evaluator_test_support.h"

namespace Karsto::test {
namespace {

using Lines = std::vector<std::string>;

constexpr const char* kSizeWarning = "[warning] Size of array does not match initialization";

bool warnsAboutSize(const HarnessResult& r) {
    return std::find(r.logLines.begin(), r.logLines.end(), kSizeWarning) != r.logLines.end();
}

TEST(ElementAccess, SubscriptIsCheckedShiftedAndScaledInTheAddressType) {
    const HarnessResult r = compileAndRun("{VAR i : INT := 3; a : ARRAY [0..3] OF INT := [4(7)]; j : INT; END_VAR\n"
                                          "j := a[i];}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.integer("j"), 7);
    // address of a, i converted, its check, minus the lower bound, times the element
    // size, added; then the element's load
    EXPECT_TRUE(listsInSequence(r, {"ConstLint 2", "ConstLint 1", "Ld 1", "CastIntLint ", "AssertRange 0 3",
                                    "ConstLint 0", "SubLint ", "ConstLint 1", "MulLint ", "AddLint ", "Ld 1"}))
        << r.listing;
}

TEST(ElementAccess, RowMajorPositionsAndCheckedConstantSubscripts) {
    // b[i, j] lies at ((i - 0) * 4 + (j - 1)) elements of two cells each; a constant
    // subscript gets its check as well.
    const HarnessResult r = compileAndRun(
        "{TYPE Pair : STRUCT lo : INT; hi : INT; END_STRUCT; END_TYPE\n"
        "VAR b : ARRAY [0..2, 1..4] OF Pair; i : INT := 2; j : INT := 3; k : INT; END_VAR\n"
        "b[i, j].hi := 5; b[2, 4].lo := 6; k := b[2, 3].hi * 10 + b[i, j + 1].lo;}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.integer("k"), 56);
    EXPECT_TRUE(listsInSequence(r, {"ConstLiti 2", "CastLitiLint ", "AssertRange 0 2", "ConstLint 0", "SubLint ",
                                    "ConstLint 4", "MulLint ", "ConstLiti 4", "CastLitiLint ", "AssertRange 1 4",
                                    "ConstLint 1", "SubLint ", "AddLint ", "ConstLint 2", "MulLint ", "AddLint "}))
        << r.listing;
}

TEST(ElementAccess, MemberIsTheObjectsAddressPlusItsOffsetLoadedWholeInItsSize) {
    const HarnessResult r = compileAndRun(
        "{TYPE Pair : STRUCT lo : INT; hi : INT; END_STRUCT; Box : STRUCT tag : INT; pr : Pair; END_STRUCT; END_TYPE\n"
        "VAR bx : Box := (pr := (hi := 8)); q : Pair; k : INT; END_VAR q := bx.pr; k := q.hi;}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.integer("k"), 8);
    // bx lies at 1, pr one cell into it, two cells long; q follows bx
    EXPECT_TRUE(listsInSequence(r, {"ConstLint 1", "ConstLint 1", "AddLint ", "Ld 2", "ConstLint 4", "St 2"}))
        << r.listing;
}

TEST(ArrayInitialisers, AreCompletedToTheElementCountWithAWarningOnMismatch) {
    struct Case {
        std::string declaration;
        std::string values; // a[0] to a[3], or a[1, 0] to a[2, 1], one digit each
        bool warns;
    };
    const std::vector<Case> cases{
        {"a : ARRAY [0..3] OF INT := [3(5)];", "5550", true},
        {"a : ARRAY [0..3] OF INT := [1, 2, 3, 4, 5, 6];", "1234", true},
        {"a : ARRAY [0..3] OF INT := [0(), 9, 8, 7, 6];", "9876", false},
        {"a : ARRAY [0..3] OF INT := [2(), 1, 2(3), 4];", "1334", false},
        {"a : ARRAY [0..3] OF INT := [1, 0(4), 2];", "1200", true},
        // one flat list for all dimensions, the last subscript varying fastest
        {"a : ARRAY [1..2, 0..1] OF INT := [1, 2, 3, 4];", "1234", false},
    };
    for (const Case& c : cases) {
        const bool twoDimensions = c.declaration.find(',') < c.declaration.find(":=");
        const std::string reads =
            twoDimensions ? "print(a[1, 0], a[1, 1], a[2, 0], a[2, 1]);" : "print(a[0], a[1], a[2], a[3]);";
        const HarnessResult r = compileAndRun("{VAR " + c.declaration + " END_VAR " + reads + "}\n");
        ASSERT_TRUE(r.ok()) << c.declaration << ": " << r.errorText();
        EXPECT_EQ(r.output, c.values) << c.declaration;
        EXPECT_EQ(warnsAboutSize(r), c.warns) << c.declaration << ::testing::PrintToString(r.logLines);
    }
}

TEST(ArrayInitialisers, ElementsOfStructuresAndNestedArrays) {
    const HarnessResult r = compileAndRun(
        "{TYPE Pt : STRUCT x : INT := 1; y : INT := 2; END_STRUCT; Row : ARRAY [0..1] OF INT; END_TYPE\n"
        "VAR ps : ARRAY [0..2] OF Pt := [(y := 7), 2((x := 5))]; mat : ARRAY [0..1] OF Row := [[1, 2], [3]]; END_VAR\n"
        "print(ps[0].x, ps[0].y, ps[1].x, ps[2].y, mat[0][1], mat[1][0], mat[1][1]);}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.output, "1752230");
    // the short inner list warns; the others match
    EXPECT_EQ(std::count(r.logLines.begin(), r.logLines.end(), kSizeWarning), 1) << ::testing::PrintToString(r.logLines);
}

TEST(TypeDeclarations, NamesDenoteTheObjectsTheirSpecificationsYield) {
    const HarnessResult r = compileAndRun(
        "{TYPE A : INT; B : A; C : ARRAY [1..3, 0..1] OF B; A : REAL; Mode : (idle, run := 5, hold, stop := 2); END_TYPE\n"
        "VAR b : B; c : C; a : A; md : Mode; END_VAR}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.variable("b")->type(), typeInt);
    EXPECT_EQ(r.variable("a")->type(), typeReal);
    TypeArray* c = r.variable("c")->type()->asArray();
    EXPECT_EQ(c->elementType(), typeInt);
    EXPECT_EQ(c->dimensionCount(), 2);
    EXPECT_EQ(c->elementCount(), 6);
    EXPECT_EQ(c->size(), 6);
    TypeEnum* mode = r.variable("md")->type()->asEnum();
    EXPECT_EQ(mode->baseType(), typeDint);
    EXPECT_EQ(mode->toString(), "(hold,idle,run,stop)");
    EXPECT_EQ(mode->findValue("hold")->value(), 1);
    EXPECT_EQ(mode->firstValue()->name(), "idle");
}

TEST(TypeDeclarations, AnInitialValueForAnExistingTypeGoesToACopy) {
    const HarnessResult r = compileAndRun(
        "{TYPE Five : INT := 5; Six : Five := 6; END_TYPE VAR f : Five; six : Six; i : INT; END_VAR print(f, six, i);}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.output, "560");
    EXPECT_FALSE(typeInt->hasInitializer());
    EXPECT_NE(r.variable("f")->type(), typeInt);
    EXPECT_TRUE(typesEqual(r.variable("f")->type(), typeInt));
    // INT variables of a later compile start at 0
    const HarnessResult later = compileAndRun("{VAR i : INT; END_VAR print(i);}\n");
    ASSERT_TRUE(later.ok()) << later.errorText();
    EXPECT_EQ(later.output, "0");
}

TEST(TypeDeclarations, AnInitialValueMayNameTheTypeItBelongsTo) {
    // The name is declared before its initial value is compiled; a new type carries
    // the value itself.
    const HarnessResult r = compileAndRun(
        "{TYPE Col : (red, green) := Col#green; Cols : ARRAY [0..1] OF Col := [red, Col#green]; END_TYPE\n"
        "VAR c : Col; cs : Cols; dv, ev : DINT; END_VAR dv := c; ev := cs[0]; print(dv, ev); dv := cs[1]; print(dv);}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.output, "101");
    EXPECT_TRUE(r.variable("c")->type()->hasInitializer());
}

TEST(TypeDeclarations, EnumerationsCompareAsTheirBaseType) {
    const HarnessResult r = compileAndRun(
        "{TYPE Mode : (idle, run := 5, hold, stop := 2); END_TYPE\n"
        "VAR md : Mode := run; ok : BOOL; e : BOOL := Mode#run = Mode#stop; END_VAR\n"
        "md := hold; ok := md = Mode#hold;}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.integer("md"), 1);
    EXPECT_TRUE(r.boolean("ok"));
    EXPECT_FALSE(r.boolean("e"));
    const Lines listing = listingLines(r);
    EXPECT_EQ(std::count(listing.begin(), listing.end(), "EqDint "), 2) << r.listing;
}

} // namespace
} // namespace Karsto::test
