// The members of a class, its text form and initial values, method calls with and
// without dispatch, and the conversion of an object to another class.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "codegen/cast_emitter.h"
#include "codegen/class_fixture.h"
#include "codegen/operation_emitters.h"
#include "core/aparam_list.h"
#include "core/constant_factory.h"
#include "core/emitters.h"
#include "core/error_test_support.h"
#include "core/stackmachine.h"
#include "core/type_scif.h"

namespace Karsto {
namespace {

using test::compiledTexts;
using test::Lines;
using test::semanticMessage;
using test::spanAt;

constexpr VariableAccess kPublic = VariableAccess::PUBLIC;
constexpr VariableAccess kProtected = VariableAccess::PROTECTED;
constexpr VariableAccess kPrivate = VariableAccess::PRIVATE;

// tool: id : INT (public), len : LREAL (protected), wear : DINT (private); describe()
// gives 1, scale(f : INT) gives f * 10. mill extends tool with teeth : INT; its describe
// gives 2.
class ClassMembers : public test::ClassFixture {
protected:
    ClassMembers() {
        const Code one = makeIntConstant(1, typeDint, {});
        const Code two = makeIntConstant(2, typeDint, {});
        toolDescribe = method("describe", {.result = typeDint}, &one);
        toolScale = method("scale", {.input = typeInt, .result = typeDint, .inputName = "f"});
        Variable* f = toolScale->parameterArea()->variables()[1];
        const Code scaled = f->valueCode({})
                                .concat(emitCast(typeInt, typeDint, {}))
                                .concat(makeIntConstant(10, typeDint, {}))
                                .concat(emitMul(typeDint, {}));
        toolScale->setBody(scaled.concat(toolScale->parameterArea()->variables()[0]->addressCode())
                               .concat(emitSt(typeDint, {})));
        tool = define(make("tool", nullptr, {}),
                      {{"id", typeInt, kPublic}, {"len", typeLreal, kProtected},
                       {"wear", typeDint, kPrivate}},
                      {toolDescribe, toolScale});
        millDescribe = method("describe", {.isOverride = true, .result = typeDint}, &two);
        mill = define(make("mill", tool, {}), {{"teeth", typeInt}}, {millDescribe});
    }
    AParamList* positional(std::vector<int64_t> values) {
        lists_.push_back(std::make_unique<AParamList>());
        for (int64_t v : values)
            lists_.back()->addPositional(makeIntConstant(v, typeIntegerLiteral, {}),
                                         typeIntegerLiteral, Code());
        return lists_.back().get();
    }

    CodegenClass* tool;
    CodegenClass* mill;
    MethodUser* toolDescribe;
    MethodUser* toolScale;
    MethodUser* millDescribe;

private:
    std::vector<std::unique_ptr<AParamList>> lists_;
};

TEST_F(ClassMembers, MembersCountInheritedAttributesFirst) {
    EXPECT_EQ(mill->memberIndex("len"), 1);
    EXPECT_EQ(mill->memberCount(), 4);
    EXPECT_EQ(tool->memberOffset("id"), 1);
    EXPECT_EQ(mill->memberOffset("teeth"), 4);
    EXPECT_EQ(mill->memberName(3), "teeth");
    EXPECT_EQ(mill->memberTypeAt(1), typeLreal);
    EXPECT_EQ(mill->memberType("wear"), typeDint);
    // Indexes outside the attributes answer nothing rather than read past them.
    for (int32_t outside : {-1, 4}) {
        EXPECT_EQ(mill->memberName(outside), "");
        EXPECT_EQ(mill->memberTypeAt(outside), nullptr);
        EXPECT_EQ(mill->memberOffsetAt(outside), 0);
    }
    EXPECT_TRUE(mill->hasMember("id"));
    EXPECT_FALSE(tool->hasMember("teeth"));
    EXPECT_EQ(semanticMessage([&] { mill->memberIndex("rpm"); }),
              "Member 'rpm' does not exist in class 'mill'");
    EXPECT_EQ(semanticMessage([&] { mill->memberOffset("rpm"); }),
              "Member 'rpm' does not exist in class 'mill'");
}

TEST_F(ClassMembers, AccessDependsOnTheAccessingClass) {
    CodegenClass* other = define(make("other", nullptr, {}),
                                 {{"a", typeInt, VariableAccess::INTERNAL},
                                  {"b", typeInt, VariableAccess::NONE}},
                                 {});
    // A copy with an initializer is its class: its methods access as the class does.
    Type* millCopy = own(mill->cloneWithInitializer(mill->defaultValue()));
    Type* toolCopy = own(tool->cloneWithInitializer(tool->defaultValue()));
    const std::string fromHeir = ". Member is expected to be protected or public.";
    const std::string fromOutside = ". Member is expected to be public.";
    const struct {
        TypeScif* owner;
        const char* name;
        Type* context;
        std::string message;
    } cases[] = {
        {mill, "wear", mill, "Invalid access on private member 'wear' of class 'tool'" + fromHeir},
        {mill, "wear", millCopy, "Invalid access on private member 'wear' of class 'tool'" + fromHeir},
        {mill, "len", nullptr, "Invalid access on protected member 'len' of class 'tool'" + fromOutside},
        {tool, "len", other, "Invalid access on protected member 'len' of class 'tool'" + fromOutside},
        {tool, "len", typeInt, "Invalid access on protected member 'len' of class 'tool'" + fromOutside},
        {mill, "teeth", tool, "no error"}, // public
        {mill, "len", mill, "no error"},
        {tool, "wear", tool, "no error"},
        {mill, "wear", toolCopy, "no error"},
        {tool, "id", nullptr, "no error"},
        {other, "a", nullptr, "Invalid access on internal member 'a' of class 'other'" + fromOutside},
        {other, "b", tool, "Invalid access on <undef> member 'b' of class 'other'" + fromOutside},
        {other, "a", other, "no error"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(semanticMessage([&] { c.owner->checkAccess(c.name, c.context); }), c.message)
            << c.name << " from " << (c.context == nullptr ? "outside" : c.context->toString());
    }
    EXPECT_EQ(semanticMessage([&] { mill->checkAccess("rpm", mill); }),
              "Member 'rpm' does not exist in class 'mill'");
}

TEST_F(ClassMembers, TextAndInitialValues) {
    EXPECT_EQ(tool->toString(), "Class tool (id:int; len:lreal; wear:dint)");
    EXPECT_EQ(mill->toString(), "Class mill (teeth:int)");
    EXPECT_EQ(define(make("empty", nullptr, {}), {}, {})->toString(), "Class empty ()");
    for (CodegenClass* c : {tool, mill})
        EXPECT_EQ(compiledTexts(c->initialValueFrom({})), compiledTexts(c->defaultValue())) << c->name();

    // The inherited attribute takes its value in the base part; unknown names are ignored.
    const std::string millVmt = vmt(mill->vmtVariable());
    const MemberValues values{{"len", makeRealConstant(5.0, typeLreal, {})},
                              {"rpm", makeIntConstant(9, typeInt, {})}};
    EXPECT_EQ(compiledTexts(mill->initialValueFrom(values)),
              (Lines{millVmt, "ConstInt 0", "ConstLreal 5", "ConstDint 0", "ConstInt 0"}));
    EXPECT_EQ(compiledTexts(mill->initialValueFrom({{"teeth", makeIntConstant(4, typeInt, {})}})),
              (Lines{millVmt, "ConstInt 0", "ConstLreal 0", "ConstDint 0", "ConstInt 4"}));
}

TEST_F(ClassMembers, InitialValuesKeepInterfacePointersOfEveryPart) {
    // a implements i, b extends a and implements j, c extends b and declares nothing:
    // every part holds its attributes, then its pointers; since b does not implement i
    // itself, c's part holds an i pointer of its own, into c's image.
    CodegenInterface* i = interface("i", {});
    CodegenInterface* j = interface("j", {});
    CodegenClass* a = define(make("a", nullptr, {i}), {{"p", typeInt}}, {});
    CodegenClass* b = define(make("b", a, {j}), {{"q", typeInt}}, {});
    CodegenClass* c = define(make("c", b, {}), {{"w", typeInt}}, {});
    const MemberValues values{{"p", makeIntConstant(1, typeInt, {})},
                              {"q", makeIntConstant(2, typeInt, {})},
                              {"w", makeIntConstant(3, typeInt, {})}};
    const std::string aVmt = vmt(a->vmtVariable());
    const std::string bVmt = vmt(b->vmtVariable());
    const std::string cVmt = vmt(c->vmtVariable());
    EXPECT_EQ(compiledTexts(c->initialValueFrom(values)),
              (Lines{cVmt, "ConstInt 1", aVmt, "ConstLint 2", "AddLint ", "ConstInt 2", bVmt,
                     "ConstLint 5", "AddLint ", "ConstInt 3", cVmt, "ConstLint 2", "AddLint "}));
    EXPECT_EQ(compiledTexts(c->initialValueFrom({})), compiledTexts(c->defaultValue()));
}

TEST_F(ClassMembers, CallsListBindingDispatchAndCopyBack) {
    const SourceSpan span = spanAt(4, 2);
    const Code dynamic = tool->callCode("scale", positional({3}), span, false);
    const Lines head{"ConstDint 0", "ConstLiti 3", "CastLitiInt ", "Copy -3 1"};
    const Lines tail{"SpAdd -1", "SpAdd -1", "CopyTo -1 -2 1", "SpAdd -1"};
    Lines expected = head;
    for (const char* item : {"Dup 1", "Ld 1", "ConstLint 3", "AddLint ", "Ld 1", "JumpSubInd"})
        expected.push_back(item);
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(compiledTexts(dynamic), expected);
    test::expectSpans(dynamic, span);

    const Code direct = tool->callCode("scale", positional({3}), span, true);
    expected = head;
    expected.push_back(compiledTexts(emitJumpSub(toolScale->entryLabel(), {})).front());
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(compiledTexts(direct), expected);
    test::expectSpans(direct, span);

    // Without parameters and result: "this" is the cell just below, no result moves.
    CodegenClass* bare = define(make("bare", nullptr, {}), {}, {method("go")});
    EXPECT_EQ(compiledTexts(bare->callCode("go", nullptr, span, false)),
              (Lines{"Copy -1 1", "Dup 1", "Ld 1", "ConstLint 2", "AddLint ", "Ld 1",
                     "JumpSubInd", "SpAdd -1", "CopyTo 0 -1 0", "SpAdd -1"}));
}

TEST_F(ClassMembers, DynamicCallsRunTheObjectsClassAndStaticCallsTheNamedOne) {
    Variable* object = global("object", mill);
    // mill's object seen as a tool: dispatch finds mill's describe, the static call
    // tool's; scale is inherited and reads its argument.
    const Code main = object->addressCode()
                          .concat(tool->callCode("describe", nullptr, spanAt(2), false))
                          .concat(object->addressCode())
                          .concat(tool->callCode("describe", nullptr, spanAt(3), true))
                          .concat(object->addressCode())
                          .concat(mill->callCode("scale", positional({4}), spanAt(4), false))
                          .concat(object->addressCode())
                          .concat(mill->callCode("scale", positional({5}), spanAt(5), true));
    ASSERT_EQ(run(main), "");
    ASSERT_EQ(stackCells(), 4);
    const int64_t base = Stackmachine::kStackBase;
    EXPECT_EQ(machine.loadS32(base), 2);
    EXPECT_EQ(machine.loadS32(base + 1), 1);
    EXPECT_EQ(machine.loadS32(base + 2), 40);
    EXPECT_EQ(machine.loadS32(base + 3), 50);
}

TEST_F(ClassMembers, CallErrors) {
    const SourceSpan span = spanAt(6);
    EXPECT_EQ(semanticMessage([&] { mill->callCode("scale", positional({1, 2, 3}), span, false); }),
              "Number of actual parameters (3) and number of formal parameters (1) do not match "
              "in non-formal function call.");
    AParamList named;
    named.addFormalInput("this", makeIntConstant(1, typeIntegerLiteral, {}), typeIntegerLiteral,
                         Code());
    EXPECT_EQ(semanticMessage([&] { mill->callCode("scale", &named, span, false); }),
              "Use of undeclared formal parameter 'this' in formal call.");
    EXPECT_EQ(semanticMessage([&] { mill->methodOrFail("grind"); }),
              "Class 'mill' does not declare method 'grind'.");
    EXPECT_EQ(semanticMessage([&] { mill->callCode("grind", nullptr, span, true); }),
              "Class 'mill' does not declare method 'grind'.");
    EXPECT_EQ(semanticMessage([&] { mill->methodOffset("grind"); }),
              "Class 'mill' does not declare method 'grind'.");
    EXPECT_EQ(mill->methodOrFail("describe"), millDescribe);
    EXPECT_EQ(mill->methodOrFail("scale"), toolScale);
    EXPECT_EQ(mill->methodOffset("describe"), 2);
}

TEST_F(ClassMembers, ClassConversionResizesAndTakesTheTargetsImage) {
    const SourceSpan span = spanAt(8, 1);
    const std::string toolVmt = vmt(tool->vmtVariable());
    const Code same = emitCast(tool, tool, span);
    EXPECT_EQ(compiledTexts(same), (Lines{toolVmt, "CastClassClass 4 4"}));
    test::expectSpans(same, span);
    const Code down = emitImplicitConversion(mill, tool, span);
    EXPECT_EQ(compiledTexts(down), (Lines{toolVmt, "CastClassClass 5 4"}));
    test::expectSpans(down, span);
    EXPECT_EQ(semanticMessage([&] { emitImplicitConversion(tool, mill, span); }),
              "Invalid implicit conversion from type 'Class tool (id:int; len:lreal; wear:dint)' "
              "to 'Class mill (teeth:int)'.");

    // A mill value becomes a 4-cell tool value with tool's image and mill's id.
    Stackmachine straight;
    test::runStraight(straight, mill->initialValueFrom({{"id", makeIntConstant(7, typeInt, {})}})
                                    .concat(down));
    const int64_t base = Stackmachine::kStackBase;
    ASSERT_EQ(straight.getSp() - base, 4);
    EXPECT_EQ(straight.loadS64(base), tool->vmtVariable()->offset());
    EXPECT_EQ(straight.loadS16(base + 1), 7);
}

} // namespace
} // namespace Karsto
