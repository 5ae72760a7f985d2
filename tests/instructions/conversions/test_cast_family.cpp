// Family-wide properties of the conversion instructions: which pairs have one, how
// they are selected and listed, and what every one of them does to the machine.

#include "instructions/conversions/cast_test_support.h"

#include <gtest/gtest.h>

#include "core/stackmachine_interpreter.h"

#include <cmath>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>

namespace Karsto {
namespace {

using K = TypeKind;

// Every source with its targets, written out independently of the tables the
// library is built from.
const std::map<std::string, std::string>& expectedMatrix() {
    static const std::map<std::string, std::string> matrix = {
        {"Lreal", "Real Sint Int Dint Lint Usint Uint Udint Ulint Litr Liti Lword"},
        {"Real", "Lreal Sint Int Dint Lint Usint Uint Udint Ulint Litr Liti Dword"},
        {"Sint", "Lreal Real Int Dint Lint Usint Uint Udint Ulint Litr Liti Byte Word Dword Lword"},
        {"Int", "Lreal Real Sint Dint Lint Usint Uint Udint Ulint Litr Liti Byte Word Dword Lword"},
        {"Dint", "Lreal Real Sint Int Lint Usint Uint Udint Ulint Litr Liti Byte Word Dword Lword"},
        {"Lint", "Lreal Real Sint Int Dint Usint Uint Udint Ulint Litr Liti Byte Word Dword Lword"},
        {"Usint", "Lreal Real Sint Int Dint Lint Uint Udint Ulint Litr Liti Byte Word Dword Lword"},
        {"Uint", "Lreal Real Sint Int Dint Lint Usint Udint Ulint Litr Liti Byte Word Dword Lword"},
        {"Udint", "Lreal Real Sint Int Dint Lint Usint Uint Ulint Litr Liti Byte Word Dword Lword"},
        {"Ulint", "Lreal Real Sint Int Dint Lint Usint Uint Udint Litr Liti Byte Word Dword Lword"},
        {"Litr", "Lreal Real"},
        {"Liti", "Lreal Real Sint Int Dint Lint Usint Uint Udint Ulint Litr Bool Byte Word Dword Lword"},
        {"Bool", "Sint Int Dint Lint Usint Uint Udint Ulint Byte Word Dword Lword"},
        {"Char", "Bool Byte Word Dword Lword"},
        {"Wchar", "Bool Byte Word Dword Lword"},
        {"Byte", "Sint Int Dint Lint Usint Uint Udint Ulint Bool Word Dword Lword Char"},
        {"Word", "Sint Int Dint Lint Usint Uint Udint Ulint Bool Byte Dword Lword Wchar"},
        {"Dword", "Real Sint Int Dint Lint Usint Uint Udint Ulint Bool Byte Word Lword"},
        {"Lword", "Lreal Sint Int Dint Lint Usint Uint Udint Ulint Bool Byte Word Dword"},
        {"Date", "Ldate"},
        {"Ldate", "Date"},
        {"Tod", "Ltod"},
        {"Ltod", "Tod"},
        {"Dt", "Date Ldate Tod Ltod Ldt"},
        {"Ldt", "Date Ldate Tod Ltod Dt"},
        {"Time", "Ltime"},
        {"Ltime", "Time"},
        {"Enum", "Lreal Real Sint Int Dint Lint Usint Uint Udint Ulint Litr Liti Bool Byte Word "
                 "Dword Lword"},
    };
    return matrix;
}

std::set<std::pair<K, K>> expectedPairs() {
    std::set<std::pair<K, K>> pairs;
    for (const auto& [from, targets] : expectedMatrix()) {
        std::istringstream words(targets);
        std::string to;
        while (words >> to) {
            pairs.emplace(kindOfSuffix(from), kindOfSuffix(to));
        }
    }
    return pairs;
}

TEST(CastFamily, RegistryHoldsExactlyTheMatrix) {
    const std::set<std::pair<K, K>> expected = expectedPairs();
    ASSERT_EQ(expected.size(), 269u);

    std::set<std::pair<K, K>> registered;
    for (const ConversionEntry& entry : conversionRegistry()) {
        EXPECT_TRUE(registered.emplace(entry.from, entry.to).second)
            << "pair registered twice: " << castText(entry.from, entry.to);
    }
    EXPECT_EQ(conversionRegistry().size(), 269u);
    EXPECT_EQ(registered, expected);
}

// The selection table answers for every pair of kinds, and only the matrix's pairs
// have an instruction; kinds outside the enumeration find nothing.
TEST(CastFamily, SelectionFindsEveryPairAndNothingElse) {
    const std::set<std::pair<K, K>> expected = expectedPairs();
    for (int32_t from = -1; from <= kTypeKindCount; ++from) {
        for (int32_t to = -1; to <= kTypeKindCount; ++to) {
            const auto pair = std::make_pair(static_cast<K>(from), static_cast<K>(to));
            EXPECT_EQ(conversionFor(pair.first, pair.second) != nullptr, expected.count(pair) == 1)
                << "kinds " << from << " to " << to;
        }
    }
    EXPECT_EQ(conversionFor(static_cast<K>(1000), K::Dint), nullptr);
    EXPECT_EQ(conversionFor(K::Dint, static_cast<K>(INT32_MIN)), nullptr);
}

TEST(CastFamily, SelectionSpotChecks) {
    EXPECT_EQ(castText(K::Lreal, K::Dint), "CastLrealDint ");
    const std::pair<K, K> absent[] = {
        {K::Real, K::Lword}, {K::Lreal, K::Dword}, {K::Litr, K::Dint}, {K::Char, K::Wchar},
        {K::Bool, K::Real},  {K::Time, K::Lint},   {K::Date, K::Dt},   {K::Dint, K::Dint},
        {K::Dint, K::Enum},  {K::Int, K::Bool},    {K::Char, K::Usint},
    };
    for (const auto& [from, to] : absent) {
        EXPECT_EQ(conversionFor(from, to), nullptr)
            << kindIndex(from) << " to " << kindIndex(to);
    }
}

TEST(CastFamily, TextIsTheNameWithOneTrailingBlank) {
    const std::pair<std::pair<K, K>, const char*> texts[] = {
        {{K::Enum, K::Litr}, "CastEnumLitr "},     {{K::Real, K::Dword}, "CastRealDword "},
        {{K::Liti, K::Bool}, "CastLitiBool "},     {{K::Lword, K::Lreal}, "CastLwordLreal "},
        {{K::Wchar, K::Bool}, "CastWcharBool "},   {{K::Ldt, K::Ltod}, "CastLdtLtod "},
        {{K::Lreal, K::Real}, "CastLrealReal "},   {{K::Ulint, K::Lword}, "CastUlintLword "},
        {{K::Enum, K::Bool}, "CastEnumBool "},     {{K::Dt, K::Date}, "CastDtDate "},
    };
    for (const auto& [pair, text] : texts) {
        EXPECT_EQ(castText(pair.first, pair.second), text);
    }
    for (const ConversionEntry& entry : conversionRegistry()) {
        const std::string text = castText(entry.from, entry.to);
        EXPECT_EQ(text.rfind("Cast", 0), 0u) << text;
        EXPECT_EQ(text.find(' '), text.size() - 1) << text;
    }
}

// Inputs every instruction is run with: each read in the source's own width.
constexpr uint64_t kProbeInputs[] = {
    0,
    1,
    0x8000000000000081u,
    ~uint64_t{0},
    0x40A1400000000000u, // 2208.0 as a double
    0xC0300000C0300000u, // -2.75 as a float in the low half, a negative double as a whole
    0x7FF0000000000000u,
};

// Every instruction pops one cell with the operation of its source's representation
// and pushes one with its target's; the stack depth stays, the cells below are not
// touched, the top cell keeps its bytes beyond the target's width, and the pop and the
// push are the only log lines it writes.
TEST(CastFamily, EveryInstructionReplacesOnlyTheTopValue) {
    for (const ConversionEntry& entry : conversionRegistry()) {
        SCOPED_TRACE(castText(entry.from, entry.to));
        for (const uint64_t input : kProbeInputs) {
            Stackmachine& machine = sharedMachine();
            machine.pushU64(0x1111111111111111u);
            machine.pushU64(0x5A5A5A5A5A5A5A5Au); // what the source's push leaves above its width
            machine.addSp(-1);
            pushCell(machine, cellOf(entry.from), input);
            const int64_t sp = machine.getSp();
            const uint64_t before = machine.loadU64(sp - 1);

            const std::vector<std::string> lines = runTraced(machine, entry.from, entry.to);

            EXPECT_EQ(machine.getSp(), sp);
            EXPECT_EQ(machine.loadU64(sp - 2), 0x1111111111111111u);
            const uint64_t after = machine.loadU64(sp - 1);
            const uint64_t kept = ~widthMask(entry.to);
            EXPECT_EQ(after & kept, before & kept);

            ASSERT_EQ(lines.size(), 2u);
            EXPECT_EQ(lines[0].rfind(std::string("pop ") + cellName(popCellOf(entry)) + " ", 0), 0u)
                << lines[0];
            EXPECT_EQ(lines[1].rfind(std::string("push ") + cellName(pushCellOf(entry)) + " ", 0), 0u)
                << lines[1];
        }
    }
}

// How the rules between integers read a source: signed ones sign-extend, unsigned ones
// (bit strings, characters and BOOL too) zero-extend. Reals and the date and time
// kinds are neither.
bool isSignedInteger(K kind) {
    return kind == K::Sint || kind == K::Int || kind == K::Dint || kind == K::Lint || kind == K::Liti ||
           kind == K::Enum;
}
bool isUnsignedInteger(K kind) {
    return kind == K::Usint || kind == K::Uint || kind == K::Udint || kind == K::Ulint || kind == K::Bool ||
           kind == K::Byte || kind == K::Word || kind == K::Dword || kind == K::Lword || kind == K::Char ||
           kind == K::Wchar;
}

// The source value the machine sees for input bits: the source's own width, and a
// BOOL's byte as pushed (0 or 1).
uint64_t sourceValue(K from, uint64_t input) {
    const uint64_t bits = input & widthMask(from);
    if (from == K::Bool) return bits != 0 ? 1 : 0;
    return bits;
}

int sourceWidth(K from) { return 8 * cellBytes(cellOf(from)); }

// Every pair between integers, checked against the rules themselves rather than a row:
// the target keeps the low bits of the source value, sign-extended from a signed source
// and zero-extended from an unsigned one, and BOOL is 1 exactly when the source is not
// 0 over its whole width. A row with the wrong rule shows here even where no value
// table names its pair.
TEST(CastFamily, IntegerPairsKeepTheLowBitsOfTheExtendedValue) {
    const uint64_t probes[] = {0,    1,    0x7F, 0x80, 0x8000, 0x80000000u, uint64_t{1} << 32, 0x8000000000000081u,
                               ~uint64_t{0}, 0x123456789ABCDEF0u};
    int pairs = 0;
    for (const ConversionEntry& entry : conversionRegistry()) {
        const bool fromSigned = isSignedInteger(entry.from);
        if (!fromSigned && !isUnsignedInteger(entry.from)) continue;
        if (!isSignedInteger(entry.to) && !isUnsignedInteger(entry.to)) continue;
        ++pairs;
        SCOPED_TRACE(castText(entry.from, entry.to));
        const int width = sourceWidth(entry.from);
        for (const uint64_t input : probes) {
            uint64_t value = sourceValue(entry.from, input);
            if (fromSigned && width < 64 && ((value >> (width - 1)) & 1) != 0) value |= ~widthMask(entry.from);
            const uint64_t expected = entry.to == K::Bool ? (value != 0 ? 1 : 0) : value & widthMask(entry.to);
            Cmd* cmd = entry.make();
            const Code held(cmd);
            EXPECT_EQ(runInstruction(*cmd, entry.from, entry.to, input), expected) << "input 0x" << std::hex << input;
        }
    }
    // 4 x 12 from the signed and as many from the unsigned integers, 13 from the
    // integer-literal kind, 14 from enumerations, 12 from BOOL, 5 from each character
    // and 13, 13, 12, 12 from BYTE, WORD, DWORD and LWORD.
    EXPECT_EQ(pairs, 195);
}

// Every integer to a real takes the value by the source's signedness: a set top bit of
// an unsigned source is a value, never a sign. The probes are exact as doubles (2^64 - 1
// becomes 2^64), so REAL receives the float nearest the exact value.
TEST(CastFamily, IntegersToRealsTakeTheValueBySignedness) {
    int pairs = 0;
    for (const ConversionEntry& entry : conversionRegistry()) {
        const bool fromSigned = isSignedInteger(entry.from);
        if (!fromSigned && !isUnsignedInteger(entry.from)) continue;
        if (entry.to != K::Lreal && entry.to != K::Litr && entry.to != K::Real) continue;
        if (isBitTransfer(entry.from, entry.to)) continue;
        ++pairs;
        SCOPED_TRACE(castText(entry.from, entry.to));
        const int width = sourceWidth(entry.from);
        const double top = std::ldexp(1.0, width - 1);
        const double allOnes = width == 64 ? std::ldexp(1.0, 64) : std::ldexp(1.0, width) - 1.0;
        const std::pair<uint64_t, double> probes[] = {
            {5, 5.0},
            {uint64_t{1} << (width - 1), fromSigned ? -top : top},
            {~uint64_t{0}, fromSigned ? -1.0 : allOnes},
        };
        for (const auto& [input, number] : probes) {
            const uint64_t expected = entry.to == K::Real ? f32(static_cast<float>(number)) : f64(number);
            Cmd* cmd = entry.make();
            const Code held(cmd);
            EXPECT_EQ(runInstruction(*cmd, entry.from, entry.to, input), expected) << number;
        }
    }
    // LREAL, REAL and the real-literal kind from the eight integers, the integer-literal
    // kind and enumerations, and REAL from DWORD.
    EXPECT_EQ(pairs, 31);
}

// A clone is a fresh instruction of the same class: same text, same span, no holder
// yet, and it converts every input exactly as the original does.
TEST(CastFamily, CloneConvertsAlikeAndKeepsTheSpan) {
    const SourceSpan span = test::spanAt(3, 7, "part.jyx");
    for (const ConversionEntry& entry : conversionRegistry()) {
        SCOPED_TRACE(castText(entry.from, entry.to));
        Cmd* fresh = entry.make();
        EXPECT_EQ(fresh->refCount(), 0);
        EXPECT_FALSE(fresh->span().valid);
        const Code original(fresh);
        fresh->setSpan(span);
        CodeItem* clone = cmdOf(original).clone();
        ASSERT_NE(clone, nullptr);
        EXPECT_EQ(clone->refCount(), 0);
        const Code copy(clone);
        ASSERT_NE(clone->asCmd(), nullptr);
        EXPECT_NE(clone, original.node());
        EXPECT_EQ(clone->toString(), cmdOf(original).toString());
        EXPECT_EQ(clone->span().toString(), span.toString());
        EXPECT_TRUE(clone->span().valid);
        for (const uint64_t input : kProbeInputs) {
            EXPECT_EQ(runInstruction(cmdOf(copy), entry.from, entry.to, input),
                      runInstruction(cmdOf(original), entry.from, entry.to, input));
        }
    }
}

// A channel's interpreter runs the conversions through its statically bound operations,
// any other machine through the virtual ones: both must leave the same cells, the same
// stack depth and the same trace lines, and a conversion that finds the stack empty
// must fail alike.
TEST(CastFamily, ChannelInterpreterConvertsAsTheBaseMachine) {
    Stackmachine base;
    StackmachineInterpreter channel; // no processor: conversions never reach it
    struct Outcome {
        int64_t sp;
        uint64_t top;
        std::vector<std::string> lines;
    };
    auto convert = [](Stackmachine& machine, const ConversionEntry& entry, uint64_t input) {
        machine.reset();
        machine.pushU64(0x5A5A5A5A5A5A5A5Au);
        machine.addSp(-1);
        pushCell(machine, cellOf(entry.from), input);
        Outcome outcome;
        outcome.lines = runTraced(machine, entry.from, entry.to);
        outcome.sp = machine.getSp();
        outcome.top = machine.loadU64(outcome.sp - 1);
        return outcome;
    };
    for (const ConversionEntry& entry : conversionRegistry()) {
        SCOPED_TRACE(castText(entry.from, entry.to));
        for (const uint64_t input : kProbeInputs) {
            const Outcome virtualWay = convert(base, entry, input);
            const Outcome staticWay = convert(channel, entry, input);
            EXPECT_EQ(staticWay.sp, virtualWay.sp);
            EXPECT_EQ(staticWay.top, virtualWay.top) << "input 0x" << std::hex << input;
            EXPECT_EQ(staticWay.lines, virtualWay.lines);
        }
        std::string baseError;
        std::string channelError;
        base.reset();
        channel.reset();
        const Code code = makeCast(entry.from, entry.to);
        try {
            cmdOf(code).execute(base);
        } catch (const std::exception& error) {
            baseError = error.what();
        }
        try {
            cmdOf(code).execute(channel);
        } catch (const std::exception& error) {
            channelError = error.what();
        }
        EXPECT_FALSE(baseError.empty());
        EXPECT_EQ(channelError, baseError);
    }
}

} // namespace
} // namespace Karsto
