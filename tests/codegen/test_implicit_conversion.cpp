#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codegen/cast_emitter.h"
#include "codegen/codegen_test_support.h"
#include "core/composite_test_support.h"
#include "core/constant_factory.h"
#include "core/error_test_support.h"
#include "core/log.h"
#include "core/machine_test_support.h"
#include "core/type.h"
#include "core/type_array.h"
#include "core/type_enum.h"
#include "core/type_string.h"
#include "core/type_subrange.h"

namespace Karsto {
namespace {

using test::itemTexts;
using test::spanAt;

class ImplicitConversion : public test::CodegenTypesTest {};

TEST_F(ImplicitConversion, AllowedConversionsListTheCastsCode) {
    Type* colour = enumeration();
    Type* range = keep(new TypeSubrange(typeInt, 1, 10));
    Type* otherRange = keep(new TypeSubrange(typeInt, -5, 5));
    const struct {
        Type* from;
        Type* to;
        std::vector<std::string> lines;
    } cases[] = {
        {typeUsint, typeInt, {"CastUsintInt "}},
        {typeUdint, typeLreal, {"CastUdintLreal "}},
        {typeInt, typeReal, {"CastIntReal "}},
        {typeReal, typeLreal, {"CastRealLreal "}},
        {typeIntegerLiteral, typeWord, {"CastLitiWord "}},
        {typeIntegerLiteral, typeBool, {"CastLitiBool "}},
        {typeRealLiteral, typeReal, {"CastLitrReal "}},
        {typeBool, typeLword, {"CastBoolLword "}},
        {typeDt, typeLdt, {"CastDtLdt "}},
        {colour, typeLint, {"CastEnumLint "}},
        // strings of one kind, whatever the capacities; equal types need nothing
        {wstring(10), wstring(80), {"CastStr 10 80"}},
        {string(80), string(10), {"CastStr 80 10"}},
        {string(10), string(10), {}},
        {typeChar, string(20), {"CastCharStr 20"}},
        // equal by structure: arrays declared apart, subranges and their base
        {array(typeInt, {{1, 3}}), array(typeInt, {{1, 3}}), {}},
        {range, typeInt, {}},
        {typeInt, range, {}},
        {range, otherRange, {}},
    };
    const SourceSpan span = spanAt(5, 9);
    for (const auto& c : cases) {
        const Code code = emitImplicitConversion(c.from, c.to, span);
        EXPECT_EQ(itemTexts(code), c.lines) << c.from->toString() << " to " << c.to->toString();
        test::expectSpans(code, span);
    }
}

TEST_F(ImplicitConversion, RefusesWhatIsNoWideningWithItsOwnMessage) {
    Type* colour = enumeration();
    Type* other = enumeration();
    TypeClass* base = keep(new test::TestClass("tool", nullptr));
    Type* derived = keep(new test::TestClass("mill", base));
    const struct {
        Type* from;
        Type* to;
    } cases[] = {
        {typeLint, typeLreal}, {typeUdint, typeReal}, {typeDint, typeReal},
        {typeReal, typeInt},   {typeSint, typeUsint}, {typeLreal, typeReal},
        {typeChar, wstring(5)}, {string(5), wstring(5)}, {wstring(5), string(5)},
        {typeInt, colour},     {colour, other},       {base, derived},
        {array(typeInt, {{1, 3}}), array(typeInt, {{0, 2}})},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(test::semanticWhat([&] { emitImplicitConversion(c.from, c.to, spanAt(2)); }),
                  "?: Invalid implicit conversion from type '" + c.from->toString() + "' to '" +
                      c.to->toString() + "'.");
    }
    EXPECT_EQ(test::semanticMessage([&] { emitImplicitConversion(typeLint, typeLreal, spanAt(2)); }),
              "Invalid implicit conversion from type 'lint' to 'lreal'.");
}

// A class passes the test of the masks towards an interface it implements, but the cast
// table has no such entry.
TEST_F(ImplicitConversion, ClassToItsInterfaceIsRefusedByTheCast) {
    TypeInterface* shape = keep(new test::TestInterface("shape"));
    Type* box = keep(new test::TestClass("box", nullptr, {shape}));
    ASSERT_TRUE(isImplicitlyConvertible(box, shape));
    EXPECT_EQ(test::semanticMessage([&] { emitImplicitConversion(box, shape, spanAt(2)); }),
              "Invalid cast from 'Class box ()' to 'Interface shape ()'.");
}

// ---- array initialisers ---------------------------------------------------------------------

struct InitResult {
    std::vector<std::string> lines;
    std::vector<std::string> log;
};

InitResult arrayInit(int32_t count, TypeArray* type, const SourceSpan& span) {
    test::LogCapture capture({LogLevel::warning});
    const Code code = emitArrayInit(count, type, span);
    test::expectSpans(code, span);
    return {itemTexts(code), capture.lines};
}

TEST_F(ImplicitConversion, ArrayInitPadsOrDropsToTheElementCountAndWarns) {
    const std::string warning = "[warning] Size of array does not match initialization";
    const std::string zero = itemTexts(typeLreal->defaultValue()).at(0);
    TypeArray* reals = array(typeLreal, {{0, 3}});
    const SourceSpan span = spanAt(8, 2);

    InitResult r = arrayInit(1, reals, span);
    EXPECT_EQ(r.lines, std::vector<std::string>(3, zero));
    EXPECT_EQ(r.log, std::vector<std::string>{warning});

    r = arrayInit(6, reals, span);
    EXPECT_EQ(r.lines, std::vector<std::string>{"SpAdd -2"});
    EXPECT_EQ(r.log, std::vector<std::string>{warning});

    r = arrayInit(4, reals, span);
    EXPECT_TRUE(r.lines.empty());
    EXPECT_TRUE(r.log.empty());

    r = arrayInit(0, reals, span);
    EXPECT_EQ(r.lines, std::vector<std::string>(4, zero));
    EXPECT_EQ(r.log, std::vector<std::string>{warning});

    // 3 x 2 elements of 5 cells each: three values too many drop 15 cells.
    TypeArray* names = array(string(4), {{1, 3}, {0, 1}});
    r = arrayInit(9, names, span);
    EXPECT_EQ(r.lines, std::vector<std::string>{"SpAdd -15"});
    EXPECT_EQ(r.log, std::vector<std::string>{warning});
}

TEST_F(ImplicitConversion, ArrayInitPadsWithTheElementsOwnInitializer) {
    Type* seven = keep(typeInt->cloneWithInitializer(makeIntConstant(7, typeInt, SourceSpan())));
    TypeArray* sevens = array(seven, {{1, 5}});
    const InitResult r = arrayInit(3, sevens, spanAt(4));
    EXPECT_EQ(r.lines, (std::vector<std::string>{"ConstInt 7", "ConstInt 7"}));
}

// After the given values and the completion exactly the element count lies on the stack,
// the values given first kept in order.
TEST_F(ImplicitConversion, ArrayInitLeavesExactlyTheElementsOnTheStack) {
    TypeArray* ints = array(typeLint, {{1, 3}});
    Stackmachine machine;
    for (const int32_t count : {1, 3, 5}) {
        machine.reset();
        const int64_t base = machine.getSp();
        for (int32_t i = 0; i < count; ++i) machine.pushS64(100 + i);
        test::runStraight(machine, emitArrayInit(count, ints, spanAt(1)));
        ASSERT_EQ(machine.getSp() - base, 3) << count;
        for (int64_t i = 2; i >= 0; --i) {
            EXPECT_EQ(machine.popS64(), i < count ? 100 + i : 0) << count << " values, element " << i;
        }
    }
}

} // namespace
} // namespace Karsto
