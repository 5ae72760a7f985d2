// BCD encoding and decoding, shifts and rotations over the four bit-string widths, in
// hand-linked programs on a channel's interpreter and on a plain machine, and the
// shared 64-bit routines on their own.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/cmd_stack.h"
#include "instructions/operators/bit_routines.h"
#include "instructions/operators/operator_test_support.h"

namespace Karsto {
namespace {

using test::Outcome;
using test::spanAt;

constexpr TypeKind kWidths[] = {TypeKind::Byte, TypeKind::Word, TypeKind::Dword,
                                TypeKind::Lword};
constexpr OperatorFamily kShifts[] = {OperatorFamily::Shl, OperatorFamily::Shr,
                                      OperatorFamily::Rol, OperatorFamily::Ror};

// Runs "constant value; [constant INT distance;] the instruction; Halt" and reads the
// result back with the value's own pop. An error leaves the stack where it was.
Outcome runOn(Stackmachine& machine, OperatorFamily family, TypeKind kind, uint64_t value,
              std::optional<int16_t> distance) {
    std::vector<CodeItem*> items{test::constantOf(kind, value)};
    if (distance) items.push_back(test::constantOf(TypeKind::Int, i64(*distance)));
    std::string what;
    Outcome outcome = test::runOperator(machine, family, kind, std::move(items), kind,
                                        spanAt(4, 2), &what);
    if (outcome.error) outcome.error = what; // the whole text, span included
    return outcome;
}

// Both kinds of machine must agree. The machines are made once: each run loads its
// program and resets.
Outcome runBcdBoth(OperatorFamily family, TypeKind kind, uint64_t value,
                std::optional<int16_t> distance = std::nullopt) {
    static StackmachineInterpreter interpreter;
    static Stackmachine plain;
    const Outcome a = runOn(interpreter, family, kind, value, distance);
    const Outcome b = runOn(plain, family, kind, value, distance);
    EXPECT_EQ(a.bits, b.bits);
    EXPECT_EQ(a.error, b.error);
    return a;
}

struct BcdCase {
    OperatorFamily family;
    TypeKind kind;
    uint64_t value;
    std::optional<int16_t> distance;
    uint64_t result;
};

void expectCases(std::initializer_list<BcdCase> cases) {
    for (const BcdCase& c : cases) {
        const Outcome out = runBcdBoth(c.family, c.kind, c.value, c.distance);
        const std::string text(operatorFor(c.family, c.kind)->text);
        EXPECT_FALSE(out.error) << text << *out.error;
        EXPECT_EQ(out.bits, c.result) << text << "0x" << std::hex << c.value << " by "
                                      << std::dec << c.distance.value_or(0);
    }
}

TEST(BcdShift, RegistryHoldsTheTwentyFourClassesWithTheirTexts) {
    const OperatorFamily families[] = {OperatorFamily::BcdEncode, OperatorFamily::BcdDecode,
                                       OperatorFamily::Shl,       OperatorFamily::Shr,
                                       OperatorFamily::Rol,       OperatorFamily::Ror};
    int classes = 0;
    for (const OperatorEntry& entry : operatorRegistry()) {
        for (const OperatorFamily family : families) classes += entry.family == family ? 1 : 0;
    }
    EXPECT_EQ(classes, 24);
    for (const OperatorFamily family : families) {
        for (int32_t kind = 0; kind < kTypeKindCount; ++kind) {
            const auto k = static_cast<TypeKind>(kind);
            const bool bitString = k == TypeKind::Byte || k == TypeKind::Word ||
                                   k == TypeKind::Dword || k == TypeKind::Lword;
            EXPECT_EQ(operatorFor(family, k) != nullptr, bitString) << kind;
        }
    }
    const std::pair<OperatorFamily, TypeKind> spots[] = {
        {OperatorFamily::BcdEncode, TypeKind::Word}, {OperatorFamily::BcdDecode, TypeKind::Dword},
        {OperatorFamily::Shr, TypeKind::Word}, {OperatorFamily::Rol, TypeKind::Lword}};
    const char* texts[] = {"BcdEncodeWord ", "BcdDecodeDword ", "ShrWord ", "RolLword "};
    for (size_t i = 0; i < std::size(spots); ++i) {
        const Code code(test::newOperator(spots[i].first, spots[i].second));
        EXPECT_EQ(code.node()->asItem()->toString(), texts[i]);
    }
}

TEST(BcdShift, EncodingKeepsTheLowDigitsOfTheWidth) {
    using F = OperatorFamily;
    using K = TypeKind;
    expectCases({
        {F::BcdEncode, K::Dword, 12345678, {}, 0x12345678},
        {F::BcdEncode, K::Word, 9999, {}, 0x9999},
        {F::BcdEncode, K::Byte, 7, {}, 0x07},
        {F::BcdEncode, K::Byte, 100, {}, 0x00}, // the hundreds digit is lost
        {F::BcdEncode, K::Byte, 255, {}, 0x55},
        {F::BcdEncode, K::Word, 65535, {}, 0x5535},
        {F::BcdEncode, K::Dword, 4294967295, {}, 0x94967295},
        {F::BcdEncode, K::Lword, 1234567890123456, {}, 0x1234567890123456},
        {F::BcdEncode, K::Lword, 10000000000000000, {}, 0},
        {F::BcdEncode, K::Lword, 12345678901234567890u, {}, 0x5678901234567890},
        {F::BcdEncode, K::Lword, 0, {}, 0},
    });
}

TEST(BcdShift, DecodingTakesNibblesAboveNineAtFaceValue) {
    using F = OperatorFamily;
    using K = TypeKind;
    expectCases({
        {F::BcdDecode, K::Byte, 0x09, {}, 9},
        {F::BcdDecode, K::Byte, 0x99, {}, 99},
        {F::BcdDecode, K::Word, 0x0A0A, {}, 1010},
        {F::BcdDecode, K::Byte, 0xA0, {}, 100},
        {F::BcdDecode, K::Byte, 0x1A, {}, 20},
        {F::BcdDecode, K::Byte, 0xFF, {}, 165},
        {F::BcdDecode, K::Dword, 0xFFFFFFFF, {}, 166666665},
        {F::BcdDecode, K::Lword, 0xFFFFFFFFFFFFFFFF, {}, 16666666666666665},
    });
}

TEST(BcdShift, DecodingTheEncodingGivesTheValueBack) {
    for (uint64_t v = 0; v < 100; ++v) {
        EXPECT_EQ(runBcdBoth(OperatorFamily::BcdDecode, TypeKind::Byte,
                          runBcdBoth(OperatorFamily::BcdEncode, TypeKind::Byte, v).bits)
                      .bits,
                  v);
    }
    StackmachineInterpreter machine;
    for (uint64_t v = 0; v < 10000; ++v) {
        const uint64_t bcd = runOn(machine, OperatorFamily::BcdEncode, TypeKind::Word, v, {}).bits;
        ASSERT_EQ(runOn(machine, OperatorFamily::BcdDecode, TypeKind::Word, bcd, {}).bits, v);
    }
    // Sampled below 10^8 and 10^16, through the instructions and the routines.
    uint64_t state = 0x9E3779B97F4A7C15u;
    for (int i = 0; i < 2000; ++i) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        const uint64_t dword = (state >> 11) % 100000000u;
        const uint64_t lword = (state >> 3) % 10000000000000000u;
        const uint64_t bcd = runOn(machine, OperatorFamily::BcdEncode, TypeKind::Dword, dword, {}).bits;
        ASSERT_EQ(runOn(machine, OperatorFamily::BcdDecode, TypeKind::Dword, bcd, {}).bits, dword);
        const uint64_t bcd64 = runOn(machine, OperatorFamily::BcdEncode, TypeKind::Lword, lword, {}).bits;
        ASSERT_EQ(runOn(machine, OperatorFamily::BcdDecode, TypeKind::Lword, bcd64, {}).bits, lword);
        ASSERT_EQ(bcdDecode64(bcdEncode64(lword)), lword);
    }
}

TEST(BcdShift, ShiftsFillWithZerosAndLoseWhatLeavesTheWidth) {
    using F = OperatorFamily;
    using K = TypeKind;
    expectCases({
        {F::Shl, K::Word, 0x8001, 1, 0x0002},
        {F::Shr, K::Word, 0x8000, 15, 1}, // no sign fill
        {F::Shl, K::Dword, 1, 32, 0},
        {F::Shr, K::Lword, 0xFFFFFFFFFFFFFFFF, 63, 1},
        {F::Shr, K::Lword, 0xFFFFFFFFFFFFFFFF, 64, 0},
        {F::Shl, K::Lword, 1, 63, 0x8000000000000000},
        {F::Shl, K::Lword, 1, 64, 0},
        {F::Shl, K::Byte, 0x01, 7, 0x80},
        {F::Shl, K::Byte, 0x01, 8, 0},
        {F::Shl, K::Byte, 0x01, 1000, 0},
        {F::Shl, K::Byte, 0xFF, 32767, 0},
        {F::Shr, K::Byte, 0x80, 7, 0x01},
        {F::Shr, K::Dword, 0x80000000, 31, 1},
    });
}

TEST(BcdShift, RotationsTakeTheDistanceModuloTheWidth) {
    using F = OperatorFamily;
    using K = TypeKind;
    expectCases({
        {F::Ror, K::Byte, 0x01, 1, 0x80},
        {F::Rol, K::Word, 0x8000, 1, 0x0001},
        {F::Rol, K::Dword, 0x12345678, 8, 0x34567812},
        {F::Ror, K::Lword, 1, 65, 0x8000000000000000},
        {F::Rol, K::Byte, 0x01, 32767, 0x80}, // 32767 mod 8 = 7
        {F::Ror, K::Word, 0x1234, 16, 0x1234},
        {F::Rol, K::Byte, 0x81, 1, 0x03},
        {F::Rol, K::Byte, 0x81, 9, 0x03},
        {F::Rol, K::Byte, 0x81, 8, 0x81},
        {F::Ror, K::Word, 0x0001, 17, 0x8000},
        {F::Rol, K::Dword, 0x80000001, 4, 0x00000018},
        {F::Ror, K::Dword, 0x00000001, 1, 0x80000000},
        {F::Rol, K::Lword, 0x0123456789ABCDEF, 64, 0x0123456789ABCDEF},
    });
    // The routines keep only the width's bits of what they are given.
    EXPECT_EQ(rotateLeft(1, 8, 0xFF81), 0x03u);
    EXPECT_EQ(rotateRight(0, 16, 0xABCD1234), 0x1234u);
}

TEST(BcdShift, NegativeDistanceFailsAndZeroDistanceKeepsTheValue) {
    for (const OperatorFamily family : kShifts) {
        for (const TypeKind kind : kWidths) {
            const std::string text(operatorFor(family, kind)->text);
            const Outcome bad = runBcdBoth(family, kind, 0x5A, -5);
            EXPECT_EQ(bad.error, "t.jyx: 4.2-4.3: Invalid negative shift-distance (-5).") << text;
            const uint64_t value = 0xA5A5A5A5A5A5A5A5u & widthMask(kind);
            const Outcome same = runBcdBoth(family, kind, value, 0);
            EXPECT_FALSE(same.error) << text;
            EXPECT_EQ(same.bits, value) << text;
        }
    }
    EXPECT_THROW(rotateLeft(-1, 8, 1), ExceptionRuntime);
    EXPECT_THROW(rotateRight(-1, 64, 1), ExceptionRuntime);
}

// Per class: the value, for shifts and rotations the distance, the instruction, SpAdd -1
TEST(BcdShift, SteppedLoopAllocatesNothing) {
    std::vector<CodeItem*> body;
    for (const OperatorEntry& entry : operatorRegistry()) {
        const bool bcd = entry.family == OperatorFamily::BcdEncode ||
                         entry.family == OperatorFamily::BcdDecode;
        bool shift = false;
        for (const OperatorFamily family : kShifts) shift = shift || entry.family == family;
        if (!bcd && !shift) continue;
        body.push_back(test::constantOf(entry.kind, 0x42));
        if (shift) body.push_back(test::constantOf(TypeKind::Int, 3));
        body.push_back(entry.make({}));
        body.push_back(new CmdSpAdd(-1));
    }
    test::expectLoopAllocatesNothing(body);
}

} // namespace
} // namespace Karsto
