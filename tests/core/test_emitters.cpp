#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/code.h"
#include "core/emitters.h"
#include "core/exception.h"
#include "core/type.h"
#include "core/machine_test_support.h"
#include "core/composite_test_support.h"
#include "core/type_string.h"

namespace Karsto {
namespace {

using test::spanAt;

// Every item of the code carries the span.
void expectSpans(const Code& code, const SourceSpan& span) {
    code.forEachItem([&](CodeItem* item) {
        EXPECT_EQ(item->span().toString(), span.toString()) << item->toString();
        return true;
    });
}

class Emitters : public test::CompositeTypesTest {};

TEST_F(Emitters, EachEmitterMakesItsInstructionWithTheSpan) {
    const SourceSpan span = spanAt(7);
    const struct {
        Code code;
        std::vector<std::string> lines;
    } cases[] = {
        {emitLd(typeLreal, span), {"Ld 1"}},
        {emitSt(typeInt, span), {"St 1"}},
        {emitPop(typeLreal, span), {"SpAdd -1"}},
        {emitPop(typeVoid, span), {"SpAdd 0"}},
        {emitDup(typeBool, span), {"Dup 1"}},
        {emitMux(typeLint, 4, span), {"Mux 1 4"}},
        {emitCopy(span, -2, 1), {"Copy -2 1"}},
        {emitCopyTo(span, 0, -2, 1), {"CopyTo 0 -2 1"}},
        {emitFp(span), {"Fp"}},
        {emitSpAdd(span, -3), {"SpAdd -3"}},
        {emitJumpSubInd(span), {"JumpSubInd"}},
        {emitReturn(span), {"Return"}},
        {emitHalt(span), {"Halt"}},
        {emitIntegerLiteral("16#FF", 16, typeSint, span), {"ConstSint -1"}},
        {emitIntegerLiteral("2#1010_1010", 2, typeUsint, span), {"ConstUsint 170"}},
        {emitIntegerLiteral("1_000", 10, typeLreal, span), {"ConstLreal 1000"}},
        {emitRealLiteral("2.5", typeDint, span), {"ConstDint 2"}},
        {emitRealLiteral("1_000.75", typeLreal, span), {"ConstLreal 1000"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(test::itemTexts(c.code), c.lines);
        expectSpans(c.code, span);
    }
}

TEST_F(Emitters, StringLiteralPushesCharactersReserveAndLength) {
    const SourceSpan span = spanAt(3);
    TypeString four(4), three(3), full(255);
    const Code ab = emitStringLiteral({'a', 'b'}, &four, span);
    EXPECT_EQ(test::itemTexts(ab),
              (std::vector<std::string>{"ConstUint 97", "ConstUint 98", "SpAdd 2", "ConstLint 2"}));
    expectSpans(ab, span);
    // Exactly as many characters as the capacity: no reserve.
    EXPECT_EQ(test::itemTexts(emitStringLiteral({'a', 'b', 'c'}, &three, span)),
              (std::vector<std::string>{"ConstUint 97", "ConstUint 98", "ConstUint 99",
                                        "ConstLint 3"}));
    EXPECT_EQ(test::itemTexts(emitStringLiteral({}, &full, span)),
              (std::vector<std::string>{"SpAdd 255", "ConstLint 0"}));
    // Wide characters keep their 16-bit codes.
    EXPECT_EQ(test::itemTexts(emitStringLiteral({0x20AC}, &three, span)).front(), "ConstUint 8364");
}

TEST_F(Emitters, StringLiteralRunsToItsStackForm) {
    TypeString four(4);
    test::HookMachine machine;
    machine.loadProgram(CodeLinked(emitStringLiteral({'h', 'i'}, &four, SourceSpan())));
    machine.run();
    const int64_t base = Stackmachine::kStackBase;
    EXPECT_EQ(machine.getSp(), base + 5);
    EXPECT_EQ(machine.loadU16(base), 'h');
    EXPECT_EQ(machine.loadU16(base + 1), 'i');
    EXPECT_EQ(machine.loadAddr(base + 4), 2);
}

TEST_F(Emitters, LiteralErrorsPropagate) {
    EXPECT_THROW(emitIntegerLiteral("16#1_0000_0000_0000_0000", 16, typeLint, SourceSpan()),
                 ExceptionSemantic);
    EXPECT_THROW(emitRealLiteral("1e999", typeLreal, SourceSpan()), std::out_of_range);
    EXPECT_THROW(emitIntegerLiteral("1", 10, typeStringLiteral, SourceSpan()), ExceptionSemantic);
}

TEST_F(Emitters, RepeatCodeSharesTheRepeatedTree) {
    const Code x = emitFp(SourceSpan());
    EXPECT_TRUE(repeatCode(x, 0).empty());
    EXPECT_TRUE(repeatCode(x, -4).empty());
    EXPECT_EQ(repeatCode(x, 1).node(), x.node());
    const Code three = repeatCode(x, 3);
    EXPECT_EQ(test::itemTexts(three), (std::vector<std::string>{"Fp", "Fp", "Fp"}));
    // Three leaves, one object: x is held once per occurrence, plus by x itself.
    EXPECT_EQ(x.node()->refCount(), 4);
}

TEST_F(Emitters, CodeItemPlacesTheSameLabelAndTheLastSpanWins) {
    Label* label = new Label;
    const Code first = emitCodeItem(label, spanAt(1));
    const Code second = emitCodeItem(label, spanAt(2));
    EXPECT_EQ(first.node(), label);
    EXPECT_EQ(second.node(), label);
    EXPECT_EQ(label->span().toString(), spanAt(2).toString());
    EXPECT_EQ(label->refCount(), 2);
}

TEST_F(Emitters, JumpsReferToTheirTargets) {
    Label* label = new Label;
    const Code placed = emitCodeItem(label, SourceSpan());
    const Code program = placed.concat(emitJump(label, spanAt(4)))
                             .concat(emitJumpSub(label, spanAt(4)));
    // Linking clones the label; both instructions go to the clone.
    const std::vector<std::string> lines = test::itemTexts(program);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].rfind("Label ", 0), 0u);
    EXPECT_EQ(lines[1], "Jump " + lines[0]);
    EXPECT_EQ(lines[2], "JumpSub " + lines[0]);
    // The subroutine call does not test its target.
    EXPECT_NO_THROW(emitJumpSub(nullptr, SourceSpan()));
}

TEST_F(Emitters, JumpToNothingIsRefusedBeforeAnythingIsMade) {
    try {
        emitJump(nullptr, spanAt(9));
        FAIL() << "no error";
    } catch (const ExceptionSemantic& e) {
        EXPECT_STREQ(e.what(), "?: Control-flow to undefined location.");
    }
}

} // namespace
} // namespace Karsto
