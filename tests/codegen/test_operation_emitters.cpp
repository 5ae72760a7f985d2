#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "codegen/codegen_test_support.h"
#include "codegen/operation_emitters.h"
#include "core/cmd_flow.h"
#include "core/composite_test_support.h"
#include "core/constant_factory.h"
#include "core/emitters.h"
#include "core/error_test_support.h"
#include "core/machine_test_support.h"
#include "core/stackmachine.h"
#include "core/type.h"
#include "core/type_enum.h"
#include "core/type_pointer.h"
#include "core/type_scif.h"
#include "core/type_string.h"
#include "core/type_subrange.h"

namespace Karsto {
namespace {

using test::semanticMessage;
using test::spanAt;

using Emit = std::function<Code(Type*, const SourceSpan&)>;

// The one item of a typed emitter's result, checked as every such result must be: a
// lone instruction, held once, carrying the span.
CodeItem* loneItem(const Code& code, const SourceSpan& span) {
    CodeItem* item = code.empty() ? nullptr : code.node()->asItem();
    EXPECT_NE(item, nullptr);
    if (item == nullptr) return nullptr;
    EXPECT_NE(item->asCmd(), nullptr) << item->toString();
    EXPECT_EQ(item->refCount(), 1) << item->toString();
    EXPECT_EQ(item->span().toString(), span.toString()) << item->toString();
    return item;
}

// The texts of the items as made, before linking clones the labels.
std::vector<std::string> madeTexts(const Code& code) {
    std::vector<std::string> texts;
    code.forEachItem([&](CodeItem* item) {
        texts.push_back(item->toString());
        return true;
    });
    return texts;
}

class OperationEmitters : public test::CodegenTypesTest {};

TEST_F(OperationEmitters, SelectTheMemberOfTheKindOrRefuseIt) {
    TypeEnum* colour = enumeration();
    TypeEnum* small = keep(new TypeEnum(typeInt));
    small->addValue("low");
    Type* reference = typeDint->pointerTo();
    Type* structure = keep(new TypeStruct());
    Type* range = keep(new TypeSubrange(typeDint, -5, 5));
    const auto minOf3 = [](Type* type, const SourceSpan& span) { return emitMin(type, 3, span); };
    const auto maxOf2 = [](Type* type, const SourceSpan& span) { return emitMax(type, 2, span); };
    const struct {
        const char* emitter;
        Emit emit;
        Type* type;
        std::string expected; // the instruction's text, or the message
    } cases[] = {
        // enumerations compare as their base type, and only compare
        {"Eq", emitEq, colour, "EqLint "},
        {"Lt", emitLt, small, "LtInt "},
        {"Ne", emitNe, small, "NeInt "},
        {"Max", maxOf2, colour, "Operation Max is not overloaded for given type."},
        {"Min", minOf3, small, "Operation Min is not overloaded for given type."},
        {"Add", emitAdd, colour, "Operation Add is not overloaded for given type."},
        // references compare as DINT, and only compare
        {"Ge", emitGe, reference, "GeDint "},
        {"Ne", emitNe, reference, "NeDint "},
        {"Add", emitAdd, reference, "Operation Add is not overloaded for given type."},
        {"Max", maxOf2, reference, "Operation Max is not overloaded for given type."},
        {"Eq", emitEq, structure, "Operation Eq is not overloaded for given type."},
        {"Gt", emitGt, typeStringLiteral, "Operation Gt is not overloaded for given type."},
        // arithmetic
        {"Sub", emitSub, typeLdt, "Operation Sub is not overloaded for given type."},
        {"Add", emitAdd, typeTime, "Operation Add is not overloaded for given type."},
        {"Add", emitAdd, range, "AddDint "},
        {"Mul", emitMul, typeIntegerLiteral, "MulLiti "},
        {"Div", emitDiv, typeUlint, "DivUlint "},
        {"Neg", emitNeg, typeUsint, "NegUsint "},
        {"Neg", emitNeg, typeBool, "Operation Neg is not overloaded for given type."},
        {"Mod", emitMod, typeReal, "Operation Mod is not overloaded for given type."},
        {"Mod", emitMod, typeRealLiteral, "Operation Mod is not overloaded for given type."},
        {"Mod", emitMod, typeIntegerLiteral, "ModLiti "},
        {"Expt", emitExpt, typeRealLiteral, "ExptLitr "},
        {"Expt", emitExpt, typeLint, "Operation Expt is not overloaded for given type."},
        // bitwise and Boolean
        {"And", emitAnd, typeIntegerLiteral, "AndLiti "},
        {"Or", emitOr, typeBool, "OrBool "},
        {"Xor", emitXor, typeLword, "XorLword "},
        {"Inv", emitInv, typeIntegerLiteral, "Operation Inv is not overloaded for given type."},
        {"Inv", emitInv, typeByte, "InvByte "},
        {"Or", emitOr, typeDint, "Operation Or is not overloaded for given type."},
        // comparisons and counted ones over the other kinds
        {"Le", emitLe, typeTod, "LeTod "},
        {"Eq", emitEq, typeWchar, "EqWchar "},
        {"Min", minOf3, typeLdate, "MinLdate "},
        {"Max", maxOf2, typeBool, "MaxBool "},
    };
    const SourceSpan span = spanAt(4, 2);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.emitter) + " on " + c.type->toString());
        if (c.expected.starts_with("Operation ")) {
            EXPECT_EQ(semanticMessage([&] { c.emit(c.type, span); }), c.expected);
            continue;
        }
        const Code code = c.emit(c.type, span);
        CodeItem* item = loneItem(code, span);
        if (item != nullptr) {
            EXPECT_EQ(item->toString(), c.expected);
        }
    }
}

TEST_F(OperationEmitters, StringMembersCarryTheCapacityOfTheType) {
    // Seen through the stack effect: GtString of capacity 20 takes two values of 21
    // cells and leaves one BOOL; MinWstring of capacity 7 and count 3 takes three values
    // of 8 cells and leaves one.
    const SourceSpan span = spanAt(2);
    Stackmachine machine;
    const auto pushText = [&](const std::u16string& text, int64_t capacity, bool wide) {
        for (int64_t i = 0; i < capacity; ++i) {
            const char16_t c = i < static_cast<int64_t>(text.size()) ? text[static_cast<size_t>(i)] : u'#';
            if (wide) {
                machine.pushU16(c);
            } else {
                machine.pushU8(static_cast<uint8_t>(c));
            }
        }
        machine.pushAddr(static_cast<int64_t>(text.size()));
    };

    const Code gt = emitGt(string(20), span);
    loneItem(gt, span);
    const int64_t base = machine.getSp();
    pushText(u"pear", 20, false);
    pushText(u"apple", 20, false);
    test::runStraight(machine, gt);
    EXPECT_EQ(machine.getSp(), base + 1);
    EXPECT_TRUE(machine.popU1());

    const Code min = emitMin(wstring(7), 3, span);
    loneItem(min, span);
    pushText(u"plum", 7, true);
    pushText(u"fig", 7, true);
    pushText(u"kiwi", 7, true);
    test::runStraight(machine, min);
    ASSERT_EQ(machine.getSp(), base + 8);
    EXPECT_EQ(machine.loadAddr(base + 7), 3);
    EXPECT_EQ(machine.loadU16(base), u'f');
}

TEST_F(OperationEmitters, RangeEmitters) {
    const SourceSpan span = spanAt(9);
    const Code check = emitAssertRange(1, 10, span);
    CodeItem* item = loneItem(check, span);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->toString(), "AssertRange 1 10");

    auto* target = new Label();
    const Code place(target);
    const Code inRange = emitBranchInRange(target, typeLreal, span);
    item = loneItem(inRange, span);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->toString(), "BranchInRangeLreal Label " + std::to_string(target->id()));
    EXPECT_EQ(semanticMessage([&] { emitBranchInRange(target, typeTime, span); }),
              "Selector in CASE construct has invalid type 'time'.");
    EXPECT_EQ(semanticMessage([&] { emitBranchInRange(target, typeBool, span); }),
              "Selector in CASE construct has invalid type 'bool'.");

    const Code up = emitBranchLtEq(target, typeSint, span);
    item = loneItem(up, span);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->toString(), "BranchLtEq Label " + std::to_string(target->id()));
    const Code down = emitBranchGtEq(target, typeIntegerLiteral, span);
    item = loneItem(down, span);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->toString(), "BranchGtEq Label " + std::to_string(target->id()));
    EXPECT_EQ(semanticMessage([&] { emitBranchLtEq(target, typeBool, span); }),
              "Operation BranchLtEq is not overloaded for given type.");
    EXPECT_EQ(semanticMessage([&] { emitBranchGtEq(target, typeTime, span); }),
              "Operation BranchGtEq is not overloaded for given type.");
}

TEST_F(OperationEmitters, ConditionalBranchesConvertTheConditionFirst) {
    const SourceSpan span = spanAt(6, 3);
    auto* target = new Label();
    const Code place(target);
    const std::string label = "Label " + std::to_string(target->id());

    const Code onFalse = emitBranchFalse(target, typeBool, span);
    EXPECT_EQ(madeTexts(onFalse), std::vector<std::string>{"BranchFalse " + label});
    loneItem(onFalse, span);

    const Code onTrue = emitBranchTrue(target, typeIntegerLiteral, span);
    EXPECT_EQ(madeTexts(onTrue), (std::vector<std::string>{"CastLitiBool ", "BranchTrue " + label}));
    test::expectSpans(onTrue, span);

    // The target is checked before the condition, whatever the condition's type.
    EXPECT_EQ(semanticMessage([&] { emitBranchFalse(nullptr, string(10), span); }),
              "Control-flow to undefined location.");
    EXPECT_EQ(semanticMessage([&] { emitBranchTrue(nullptr, typeBool, span); }),
              "Control-flow to undefined location.");
    // The refused conversion releases the branch made before it (LeakSanitizer).
    EXPECT_EQ(semanticMessage([&] { emitBranchFalse(target, typeDint, span); }),
              "Invalid implicit conversion from type 'dint' to 'bool'.");
}

TEST_F(OperationEmitters, ConditionalBranchRunsOnTheConvertedCondition) {
    // Const, CastLitiBool, BranchFalse, Halt, Label, Halt: a zero condition branches to
    // the label and halts after it, any other value halts before it.
    for (const int64_t condition : {0, 7}) {
        auto* target = new Label();
        const Code place = emitCodeItem(target, SourceSpan());
        const Code code = makeIntConstant(condition, typeIntegerLiteral, SourceSpan())
                              .concat(emitBranchFalse(target, typeIntegerLiteral, SourceSpan()))
                              .concat(emitHalt(SourceSpan()))
                              .concat(place)
                              .concat(emitHalt(SourceSpan()));
        Stackmachine machine;
        machine.loadProgram(CodeLinked(code));
        while (machine.isRunning()) machine.step();
        EXPECT_EQ(machine.getPc(), condition == 0 ? 6 : 4) << condition;
        EXPECT_EQ(machine.getSp(), machine.getStackBase()) << condition;
    }
}

} // namespace
} // namespace Karsto
