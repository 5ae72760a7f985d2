// Type names, VAR blocks, plain names and ":=" from source to the machine: where the
// variables lie, what their flags and types are, what an assignment compiles to and
// stores, the errors with their places, and long programs that only an iterative walk
// and iterative scope searches survive.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/type.h"
#include "core/type_string.h"
#include "core/variable.h"
#include "evaluator_test_support.h"
#include "frontend/ast_node.h"
#include "frontend/ast_nodes.h"
#include "frontend/jyx_parser.h"

namespace Karsto::test {
namespace {

using Lines = std::vector<std::string>;

Variable* variableOf(const HarnessResult& r, const std::string& name) {
    Variable* found = r.variable(name);
    if (found == nullptr) ADD_FAILURE() << "no variable " << name;
    return found;
}

TEST(Assignment, ConvertsTheValueThenStoresThroughTheTargetsAddress) {
    const HarnessResult r = compileAndRun("{VAR n : INT; y : LREAL; END_VAR y := 7;}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.real("y"), 7.0);
    EXPECT_TRUE(listsInSequence(r, {"ConstLiti 7", "CastLitiLreal ", "ConstLint 2", "St 1"})) << r.listing;
    EXPECT_EQ(r.sp, kStackBottom);
}

TEST(Assignment, IntegerValuesWrapToTheTargetWithoutAMessage) {
    const HarnessResult r = compileAndRun("{VAR s8 : SINT; u : USINT; END_VAR s8 := 300; u := -1;}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.integer("s8"), 44);
    EXPECT_EQ(r.integer("u"), 255);
    EXPECT_TRUE(r.logLines.empty());
}

TEST(Assignment, RefusedConversionsAndTargetsWithoutStorageFailAtTheStatement) {
    struct Case {
        std::string source;
        std::string error;
    };
    const Case cases[] = {
        {"{VAR s8 : SINT; END_VAR s8 := 1.5;}\n",
         "t.jyx: 1.25-1.34: Invalid implicit conversion from type '<real literal>' to 'sint'."},
        {"{VAR b : BOOL; END_VAR\nb := 1.5 * 2;}\n",
         "t.jyx: 2.1-2.13: Invalid implicit conversion from type 'real' to 'bool'."},
        {"{VAR a : INT; END_VAR (a + 1) := 2;}\n", "t.jyx: 1.23-1.35: Invalid location"},
        {"{VAR st : STRING; c : CHAR; END_VAR c := st;}\n",
         "t.jyx: 1.37-1.44: Invalid implicit conversion from type 'string[255]' to 'char'."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const HarnessResult r = compileOnly(c.source);
        EXPECT_EQ(r.errorText(), c.error);
    }
}

TEST(Assignment, AParenthesisedVariableAndAConstantOneAreTargets) {
    const HarnessResult r = compileAndRun("{VAR a : INT; END_VAR VAR CONSTANT c : INT; END_VAR (a) := 3; c := 1;}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.integer("a"), 3);
    EXPECT_EQ(r.integer("c"), 1);
}

TEST(Assignment, AStringTargetTakesAnotherCapacityAndStoresAllItsCells) {
    const HarnessResult r = compileAndRun("{VAR s4 : STRING[4]; t : STRING; END_VAR s4 := 'abcdef'; t := s4;}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.characters("s4"), u"abcd");
    EXPECT_EQ(r.characters("t"), u"abcd");
    // s4 lies at 1 to 5, t from 6 on.
    EXPECT_TRUE(listsInSequence(r, {"ConstLint 1", "Ld 5", "CastStr 4 255", "ConstLint 6", "St 256"})) << r.listing;
    EXPECT_EQ(r.sp, kStackBottom);
}

TEST(Assignment, HostExternalsAreReadAndWrittenInTheSharedArea) {
    const HarnessResult r = compileAndRun("{a := a * 3 + b; R2 := r2 / 2;}\n", withHostExternals());
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.integer("a"), 23);
    EXPECT_EQ(r.real("r2"), 0.75);
}

TEST(Declarations, VariablesLieOneAfterTheOtherInTheGlobalArea) {
    const HarnessResult r =
        compileAndRun("{VAR c : CHAR; st : STRING[3]; t : TOD; u : STRING[0]; k : INT; w : WSTRING[2]; END_VAR}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    const std::pair<std::string, int64_t> offsets[] = {{"c", 1}, {"st", 2}, {"t", 6}, {"u", 7}, {"k", 8}, {"w", 9}};
    for (const auto& [name, offset] : offsets) {
        SCOPED_TRACE(name);
        Variable* v = variableOf(r, name);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->offset(), offset);
    }
    EXPECT_EQ(r.variable("u")->type()->toString(), "string[0]");
    EXPECT_EQ(r.variable("w")->type()->toString(), "wstring[2]");
    EXPECT_EQ(r.characters("u"), u"");
}

TEST(Declarations, TypeKeywordsNameTheElementaryTypes) {
    struct Case {
        const char* keyword;
        Type* type;
    };
    prepareLanguageRuntime();
    const Case cases[] = {
        {"SINT", typeSint},   {"INT", typeInt},
        {"DINT", typeDint},   {"LINT", typeLint},
        {"USINT", typeUsint}, {"UINT", typeUint},
        {"UDINT", typeUdint}, {"ULINT", typeUlint},
        {"REAL", typeReal},   {"LREAL", typeLreal},
        {"BOOL", typeBool},   {"BYTE", typeByte},
        {"WORD", typeWord},   {"DWORD", typeDword},
        {"LWORD", typeLword}, {"TIME", typeTime},
        {"LTIME", typeLtime}, {"DATE", typeDate},
        {"LDATE", typeLdate}, {"TOD", typeTod},
        {"TIME_OF_DAY", typeTod}, {"LTOD", typeLtod},
        {"LTIME_OF_DAY", typeLtod}, {"DT", typeDt},
        {"DATE_AND_TIME", typeDt}, {"LDT", typeLdt},
        {"LDATE_AND_TIME", typeLdt}, {"CHAR", typeChar},
        {"WCHAR", typeWchar},
    };
    std::string source = "{VAR\n";
    for (size_t i = 0; i < std::size(cases); ++i) source += "v" + std::to_string(i) + " : " + cases[i].keyword + ";\n";
    source += "END_VAR}\n";
    const HarnessResult r = compileOnly(source);
    ASSERT_TRUE(r.compiled()) << r.errorText();
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].keyword);
        Variable* v = variableOf(r, "v" + std::to_string(i));
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->type(), cases[i].type);
    }
}

TEST(Declarations, EveryStringKeywordMakesATypeOfItsOwnThatEqualsTheOthers) {
    const HarnessResult r = compileAndRun("{VAR s1, s2 : STRING; s3 : string; w : WSTRING; END_VAR s3 := s1;}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    Type* s1 = r.variable("s1")->type();
    Type* s3 = r.variable("s3")->type();
    // The names of one line share one type; the next STRING is another object.
    EXPECT_EQ(r.variable("s2")->type(), s1);
    EXPECT_NE(s3, s1);
    EXPECT_NE(s1, typeString);
    EXPECT_TRUE(typesEqual(s1, s3));
    EXPECT_EQ(s1->size(), 256);
    EXPECT_EQ(r.variable("w")->type()->toString(), "wstring[255]");
    // Equal types need no conversion.
    EXPECT_FALSE(listsInSequence(r, {"CastStr 255 255"}));
}

TEST(Declarations, ALaterLineHidesAnEarlierNameAndBothKeepTheirStorage) {
    const HarnessResult r = compileAndRun("{VAR a : INT; a : REAL; b : INT; END_VAR a := 1.5; b := 2;}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    ASSERT_EQ(r.variable("a")->type(), typeReal);
    EXPECT_EQ(r.variable("a")->offset(), 2);
    EXPECT_EQ(r.variable("b")->offset(), 3);
    EXPECT_EQ(r.real("a"), 1.5);
    EXPECT_EQ(r.integer("b"), 2);
}

TEST(Declarations, NamesAreFoundOnlyAfterTheirLineAndTypesOnlyWhenDeclared) {
    struct Case {
        std::string source;
        std::string error;
    };
    const Case cases[] = {
        {"{y := 1; VAR y : INT; END_VAR}\n", "t.jyx: 1.2-1.3: Undeclared variable or enumeration value 'y'."},
        {"{VAR a, A : INT; END_VAR}\n", "t.jyx: 1.6-1.16: Multiple declarations of 'a' in scope."},
        {"{VAR p : Missing; END_VAR}\n", "t.jyx: 1.10-1.17: Undeclared Identifier 'missing'"},
        {"{VAR x : INT; END_VAR x := section;}\n", "t.jyx: 1.28-1.35: Undeclared variable or enumeration value 'section'."},
        {"{VAR sx : STRING[4294967295]; END_VAR}\n", "t.jyx: 1.11-1.29: Invalid string length -1"},
        {"{VAR sx : WSTRING[2147483648]; END_VAR}\n", "t.jyx: 1.11-1.30: Invalid string length -2147483648"},
        {"{VAR sx : STRING[99999999999999999999]; END_VAR}\n", "t.jyx: 1.18-1.38: Invalid literal '99999999999999999999'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const HarnessResult r = compileOnly(c.source);
        EXPECT_EQ(r.errorText(), c.error);
    }
}

TEST(Declarations, GlobalVariablesEndBelowTheMachinesStack) {
    HarnessResult r = compileAndRun("{VAR a : STRING[1048573]; b : INT; END_VAR b := 5;}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.variable("b")->offset(), 0xFFFFF);
    EXPECT_EQ(r.integer("b"), 5);
    r = compileOnly("{VAR a : STRING[1048573]; b : INT;\nc, e : INT; END_VAR}\n");
    EXPECT_EQ(r.errorText(), "t.jyx: 2.1-2.11: Global variables need 1048577 cells, more than the 1048575 of global memory");
}

TEST(Declarations, NamesAreCaseInsensitiveAndTenKeywordsMayBeNames) {
    HarnessResult r = compileAndRun("{VAR Count, xor, x : INT; END_VAR COUNT := 4; XOR := 5; X := count * Xor;}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.integer("x"), 20);

    r = compileAndRun("{VAR I, q, B, w, L, OR, and, Mod : INT; END_VAR\n"
                      "i := 1; Q := 2; b := 3; W := 4; l := 5; or := 6; AND := 7; mod := i + q MOD 2 + b;}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    const std::pair<std::string, int64_t> values[] = {{"i", 1}, {"q", 2}, {"b", 3},   {"w", 4},
                                                      {"l", 5}, {"or", 6}, {"and", 7}, {"mod", 4}};
    for (const auto& [name, value] : values) EXPECT_EQ(r.integer(name), value) << name;

    // Other keywords, single letters among them, are no names.
    for (const char* keyword : {"D", "H", "M", "S", "MS", "TO"}) {
        SCOPED_TRACE(keyword);
        r = compileOnly(std::string("{VAR ") + keyword + " : INT; END_VAR}\n");
        EXPECT_FALSE(r.compiled());
    }
}

TEST(Declarations, BlockModifiersAndAccessSpecifiersGiveFlagsAndAccess) {
    struct Case {
        std::string block;
        int32_t flags;
        VariableAccess access;
    };
    const Case cases[] = {
        {"VAR v : INT; END_VAR", 0, VariableAccess::INTERNAL},
        {"VAR CONSTANT v : INT; END_VAR", 1, VariableAccess::INTERNAL},
        {"VAR RETAIN v : INT; END_VAR", 2, VariableAccess::INTERNAL},
        {"VAR NON_RETAIN v : INT; END_VAR", 4, VariableAccess::INTERNAL},
        {"VAR PUBLIC v : INT; END_VAR", 0, VariableAccess::PUBLIC},
        {"VAR PROTECTED v : INT; END_VAR", 0, VariableAccess::PROTECTED},
        {"VAR PRIVATE v : INT; END_VAR", 0, VariableAccess::PRIVATE},
        {"VAR INTERNAL v : INT; END_VAR", 0, VariableAccess::INTERNAL},
        {"VAR CONSTANT PUBLIC v : INT; END_VAR", 1, VariableAccess::PUBLIC},
        {"VAR v : BOOL R_EDGE; END_VAR", 0x400, VariableAccess::INTERNAL},
        {"VAR RETAIN PRIVATE v : BOOL F_EDGE; END_VAR", 0x802, VariableAccess::PRIVATE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.block);
        const HarnessResult r = compileOnly("{" + c.block + "}\n");
        ASSERT_TRUE(r.compiled()) << r.errorText();
        Variable* v = variableOf(r, "v");
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->flags(), c.flags);
        EXPECT_EQ(v->access(), c.access);
    }
    const HarnessResult r = compileOnly("{VAR e1, e2 : BOOL F_EDGE; END_VAR}\n");
    ASSERT_TRUE(r.compiled()) << r.errorText();
    for (const char* name : {"e1", "e2"}) {
        EXPECT_EQ(r.variable(name)->type(), typeBool);
        EXPECT_EQ(r.variable(name)->flags(), 0x800);
    }
    EXPECT_EQ(r.variable("e2")->offset(), 2);
}

// The records of the direct addresses in the tree, in source order.
std::vector<Variable*> directRecords(const HarnessResult& r) {
    std::vector<Variable*> records;
    std::vector<Parser::AstNode*> pending{r.parser()->root};
    while (!pending.empty()) {
        Parser::AstNode* node = pending.back();
        pending.pop_back();
        if (node->nonterminal() == AstNode_direct_variable::nonterminal)
            records.push_back(node->attributes<AstNode_direct_variable>().directVariable);
        for (size_t i = node->childCount(); i-- > 0;)
            if (Parser::AstNode* child = node->childNode(i)) pending.push_back(child);
    }
    return records;
}

TEST(Declarations, AddressedLinesBuildTheirRecordAndDeclareNothing) {
    HarnessResult r = compileAndRun("{VAR AT %Q W 4 : WORD; z AT %I * : INT; y AT %M 7 : INT; AT %I X 1 . 4294967298 . 3 : BOOL;\n"
                                    "k : INT; END_VAR k := 5;}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.variable("z"), nullptr);
    EXPECT_EQ(r.variable("y"), nullptr);
    // Nothing took storage before k.
    EXPECT_EQ(r.variable("k")->offset(), 1);
    const std::vector<Variable*> records = directRecords(r);
    ASSERT_EQ(records.size(), 3u);
    struct Expected {
        char location;
        char size;
        std::vector<int32_t> parts;
    };
    const Expected expected[] = {{'q', 'w', {4}}, {'m', '\0', {7}}, {'i', 'x', {1, 2, 3}}};
    for (size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(records[i]->isDirect());
        EXPECT_EQ(records[i]->location(), expected[i].location);
        EXPECT_EQ(records[i]->sizeLetter(), expected[i].size);
        EXPECT_EQ(records[i]->addressParts(), expected[i].parts);
        EXPECT_EQ(records[i]->memory(), nullptr);
        EXPECT_EQ(records[i]->access(), VariableAccess::INTERNAL);
    }
    r = compileOnly("{VAR AT %Q W 4 : WORD; z AT %I * : INT; END_VAR z := 1;}\n");
    EXPECT_EQ(r.errorText(), "t.jyx: 1.49-1.50: Undeclared variable or enumeration value 'z'.");
}

TEST(Declarations, LongDeclarationListsNeedNoNativeRecursion) {
    constexpr int kLines = 50'000;
    std::string source = "{VAR\n";
    source.reserve(kLines * 16);
    for (int i = 0; i < kLines; ++i) source += "v" + std::to_string(i) + " : INT;\n";
    source += "END_VAR\nv0 := 3; v49999 := v0 + 1;}\n";
    HarnessResult r = compileAndRun(source);
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.integer("v0"), 3);
    EXPECT_EQ(r.integer("v49999"), 4);
    EXPECT_EQ(r.variable("v49999")->offset(), kLines);

    // One line of many names, and many blocks of one line each.
    source = "{VAR w0";
    for (int i = 1; i < kLines; ++i) source += ", w" + std::to_string(i);
    source += " : LREAL; END_VAR\n";
    for (int i = 0; i < kLines / 10; ++i) source += "VAR b" + std::to_string(i) + " : INT; END_VAR\n";
    source += "w0 := 1.5; b0 := 2;}\n";
    r = compileAndRun(source);
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.real("w0"), 1.5);
    EXPECT_EQ(r.integer("b0"), 2);
    EXPECT_EQ(r.variable("w49999")->offset(), kLines);
}

} // namespace
} // namespace Karsto::test
