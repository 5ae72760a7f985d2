// The built-in function model: the overload table's lookup, the shared checks and
// their messages, and what the table holds.

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "builtins/function_intrinsic.h"
#include "core/aparam_list.h"
#include "core/cmd_stack.h"
#include "core/constant_factory.h"
#include "core/exception.h"
#include "core/type.h"
#include "core/type_string.h"
#include "support/jyx_harness.h"

namespace Karsto {
namespace {

// A kind with a fixed arity whose calls compile to nothing.
class TestIntrinsic final : public FunctionIntrinsic {
public:
    explicit TestIntrinsic(int32_t argumentCount) : FunctionIntrinsic("pair", argumentCount) {}
    Type* getReturnType(AParamList*) override { return typeVoid; }
    void compileCall(Code& out, AParamList*, const SourceSpan&) override { out = Code(); }
};

class FunctionIntrinsicTest : public ::testing::Test {
protected:
    void SetUp() override { test::prepareLanguageRuntime(); }
};

// The message of the semantic error that the call raises, or "" when none.
template <class Call>
std::string semanticError(Call&& call) {
    try {
        call();
    } catch (const ExceptionSemantic& error) {
        return error.message();
    }
    return "";
}

void addPositionals(AParamList& list, int count) {
    for (int i = 0; i < count; ++i)
        list.addPositional(makeIntConstant(i, typeIntegerLiteral, SourceSpan()), typeIntegerLiteral,
                           Code());
}

TEST_F(FunctionIntrinsicTest, CheckNonformalWantsPositionalArgumentsOfTheArity) {
    const TestIntrinsic pair(2);
    const std::string nonformal = "Call of function 'pair' must be nonformal.";
    struct Case {
        int positional;
        bool formal;
        std::string message;
    };
    const Case cases[] = {
        {0, false, nonformal}, // no argument is no positional call
        {2, false, ""},
        {1, false,
         "Number of actual parameters (1) and number of formal parameters (2) do not match in "
         "non-formal function call."},
        {3, false,
         "Number of actual parameters (3) and number of formal parameters (2) do not match in "
         "non-formal function call."},
        {0, true, nonformal},
    };
    for (const Case& c : cases) {
        AParamList list;
        addPositionals(list, c.positional);
        if (c.formal)
            list.addFormalInput("x", makeIntConstant(1, typeIntegerLiteral, SourceSpan()),
                                typeIntegerLiteral, Code());
        EXPECT_EQ(semanticError([&] { pair.checkNonformal(&list); }), c.message)
            << c.positional << " positional, formal " << c.formal;
    }

    const TestIntrinsic any(FunctionIntrinsic::kAnyArity);
    for (int count : {1, 7}) {
        AParamList list;
        addPositionals(list, count);
        EXPECT_EQ(semanticError([&] { any.checkNonformal(&list); }), "") << count;
    }
    AParamList none;
    EXPECT_EQ(semanticError([&] { any.checkNonformal(&none); }),
              "Call of function 'pair' must be nonformal.");
}

TEST_F(FunctionIntrinsicTest, LookupComparesTypesInTableOrder) {
    TestIntrinsic function(1);
    const Code first(new CmdSpAdd(1));
    const Code second(new CmdSpAdd(2));
    const Code text(new CmdSpAdd(3));
    function.addOverload(typeLint, first);
    function.addOverload(typeLint, second); // not checked; never reached
    function.addOverload(typeString, text);
    ASSERT_EQ(function.overloadTable().size(), 3u);

    // Kinds decide: the address and enumeration base types are LINT values.
    EXPECT_TRUE(function.hasOverload(typeAddr));
    EXPECT_TRUE(function.hasOverload(typeEnumBase));
    EXPECT_EQ(function.overloadCode(typeAddr).node(), first.node());
    EXPECT_FALSE(function.hasOverload(typeInt));
    // Strings also by capacity.
    EXPECT_TRUE(function.hasOverload(typeString));
    TypeString ten(10);
    EXPECT_FALSE(function.hasOverload(&ten));
    EXPECT_FALSE(function.hasOverload(typeWstring));
}

TEST_F(FunctionIntrinsicTest, OverloadCodeSharesTheTableTree) {
    auto function = std::make_unique<TestIntrinsic>(1);
    Code instructions(new CmdSpAdd(1));
    function->addOverload(typeReal, instructions);
    EXPECT_EQ(instructions.node()->refCount(), 2); // this handle and the table's
    {
        const Code handed = function->overloadCode(typeReal);
        EXPECT_EQ(handed.node(), instructions.node());
        EXPECT_EQ(instructions.node()->refCount(), 3);
    }
    function.reset(); // the table's reference goes with the function
    EXPECT_EQ(instructions.node()->refCount(), 1);
}

TEST_F(FunctionIntrinsicTest, MissingOverloadMessagesDifferInTheFullStop) {
    TestIntrinsic function(1);
    function.addOverload(typeReal, Code(new CmdSpAdd(1)));
    EXPECT_EQ(semanticError([&] { function.checkOverloaded(typeLreal); }),
              "Function 'pair' is not overloaded for type 'lreal'.");
    EXPECT_EQ(semanticError([&] { (void)function.overloadCode(typeLreal); }),
              "Function 'pair' is not overloaded for type 'lreal'");
    EXPECT_EQ(semanticError([&] { function.checkOverloaded(typeReal); }), "");
}

} // namespace
} // namespace Karsto
