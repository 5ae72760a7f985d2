#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codegen/cast_emitter.h"
#include "codegen/codegen_test_support.h"
#include "core/composite_test_support.h"
#include "core/error_test_support.h"
#include "core/machine_test_support.h"
#include "core/stackmachine.h"
#include "core/type.h"
#include "core/type_array.h"
#include "core/type_enum.h"
#include "core/type_function.h"
#include "core/type_scif.h"
#include "core/type_string.h"
#include "core/type_subrange.h"

namespace Karsto {
namespace {

using test::itemTexts;
using test::spanAt;

class CastEmitter : public test::CodegenTypesTest {};

TEST_F(CastEmitter, ListsTheInstructionsOfTheEntryWithTheSpan) {
    Type* colour = enumeration();
    Type* range = keep(new TypeSubrange(typeInt, 1, 10));
    const struct {
        Type* from;
        Type* to;
        std::vector<std::string> lines;
    } cases[] = {
        // A, R and the truncating casts to the integer literal
        {typeReal, typeUdint, {"RoundReal ", "CastRealUdint "}},
        {typeLreal, typeSint, {"RoundLreal ", "CastLrealSint "}},
        {typeLreal, typeIntegerLiteral, {"CastLrealLiti "}},
        {typeUsint, typeLreal, {"CastUsintLreal "}},
        {typeIntegerLiteral, typeBool, {"CastLitiBool "}},
        {typeByte, typeChar, {"CastByteChar "}},
        {typeWord, typeWchar, {"CastWordWchar "}},
        {typeChar, typeBool, {"CastCharBool "}},
        // the bit copies and the numeric DWORD to REAL
        {typeLreal, typeLword, {"CastLrealLword "}},
        {typeReal, typeDword, {"CastRealDword "}},
        {typeDword, typeReal, {"CastDwordReal "}},
        {typeLword, typeLreal, {"CastLwordLreal "}},
        // durations, dates and times of day
        {typeTime, typeLtime, {"CastTimeLtime "}},
        {typeLdt, typeTod, {"CastLdtTod "}},
        // characters and strings: H, K, S, the last also at equal capacities
        {string(10), string(10), {"CastStr 10 10"}},
        {wstring(80), string(5), {"CastStr 80 5"}},
        {string(20), wstring(5), {"CastStr 20 5"}},
        {typeChar, string(80), {"CastCharStr 80"}},
        {typeWchar, wstring(12), {"CastCharStr 12"}},
        {string(40), typeChar, {"CastStrChar 40"}},
        {wstring(30), typeWchar, {"CastStrChar 30"}},
        {typeChar, typeWchar, {}},
        {typeWchar, typeChar, {}},
        // enumerations by their kind alone, whatever the base
        {colour, typeBool, {"CastEnumBool "}},
        {colour, typeLint, {"CastEnumLint "}},
        {colour, typeRealLiteral, {"CastEnumLitr "}},
        // same kind, subranges and references: nothing, and no range check
        {typeInt, typeInt, {}},
        {typeLint, typeAddr, {}},
        {range, typeInt, {}},
        {typeInt, range, {}},
        {typeInt->pointerTo(), typeLreal->pointerTo(), {}},
        {typeNullPointer, typeInt->pointerTo(), {}},
    };
    const SourceSpan span = spanAt(12, 4);
    for (const auto& c : cases) {
        const Code code = emitCast(c.from, c.to, span);
        EXPECT_EQ(itemTexts(code), c.lines) << c.from->toString() << " to " << c.to->toString();
        test::expectSpans(code, span);
    }
}

TEST_F(CastEmitter, RefusesEveryPairWithoutAnEntry) {
    Type* colour = enumeration();
    Type* ints = array(typeInt, {{1, 3}});
    TypeStruct* structure = keep(new TypeStruct());
    structure->addMember("x", typeLreal);
    Type* function = keep(new TypeFunction(typeInt, {}));
    TypeInterface* shape = keep(new test::TestInterface("shape"));
    Type* box = keep(new test::TestClass("box", nullptr, {shape}));
    const struct {
        Type* from;
        Type* to;
    } cases[] = {
        {typeLword, typeReal}, {typeDword, typeLreal}, {typeByte, typeReal},
        {typeReal, typeLword}, {typeBool, typeReal},   {typeInt, typeBool},
        {typeBool, typeIntegerLiteral}, {typeChar, typeInt},
        {typeChar, wstring(5)}, {typeWchar, string(5)}, {string(5), typeWchar},
        {wstring(5), typeChar}, {string(5), typeInt},
        {colour, colour}, {typeInt, colour}, {colour, typeChar},
        {typeTime, typeLint}, {typeDate, typeDt}, {typeTod, typeDt},
        {ints, ints}, {structure, structure}, {function, function}, {shape, shape},
        {box, shape}, {box, typeInt->pointerTo()}, {typeStringLiteral, string(5)},
        {typeVoid, typeVoid},
    };
    for (const auto& c : cases) {
        const std::string expected =
            "Invalid cast from '" + c.from->toString() + "' to '" + c.to->toString() + "'.";
        EXPECT_EQ(test::semanticWhat([&] { emitCast(c.from, c.to, spanAt(3)); }), "?: " + expected);
    }
    // The texts are the types' own.
    EXPECT_EQ(test::semanticMessage([&] { emitCast(typeLword, typeReal, spanAt(3)); }),
              "Invalid cast from 'lword' to 'real'.");
    EXPECT_EQ(test::semanticMessage([&] { emitCast(typeChar, wstring(5), spanAt(3)); }),
              "Invalid cast from 'char' to 'wstring[5]'.");
}

// The conversion reads the layout of the code generator's classes; any other class is
// refused, not read.
TEST_F(CastEmitter, ClassConversionNeedsAClassWithALayout) {
    Type* tool = keep(new test::TestClass("tool", nullptr));
    EXPECT_EQ(test::semanticMessage([&] { emitCast(tool, tool, spanAt(1)); }),
              "Internal error: 'Class tool ()' is not a class with a layout");
}

// What the emitted code does to a value: R rounds half away from zero first, the cast
// to the integer literal truncates.
TEST_F(CastEmitter, RoundingCastsRoundHalfAwayFromZeroAndLiteralCastsTruncate) {
    Stackmachine machine;
    const struct {
        float in;
        uint32_t out;
    } toUdint[] = {{0.5F, 1}, {3.5F, 4}, {2.4F, 2}, {2.5F, 3}};
    for (const auto& c : toUdint) {
        machine.pushF32(c.in);
        test::runStraight(machine, emitCast(typeReal, typeUdint, spanAt(1)));
        EXPECT_EQ(machine.popU32(), c.out) << c.in;
    }
    const struct {
        float in;
        int16_t out;
    } toInt[] = {{2.5F, 3}, {-2.5F, -3}, {-0.4F, 0}};
    for (const auto& c : toInt) {
        machine.pushF32(c.in);
        test::runStraight(machine, emitCast(typeReal, typeInt, spanAt(1)));
        EXPECT_EQ(machine.popS16(), c.out) << c.in;
    }
    const struct {
        double in;
        int64_t out;
    } toLiteral[] = {{-2.9, -2}, {2.5, 2}, {7.99, 7}};
    for (const auto& c : toLiteral) {
        machine.pushF64(c.in);
        test::runStraight(machine, emitCast(typeLreal, typeIntegerLiteral, spanAt(1)));
        EXPECT_EQ(machine.popS64(), c.out) << c.in;
    }
}

} // namespace
} // namespace Karsto
