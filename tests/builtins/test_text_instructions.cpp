// The print and to-string instructions on values pushed by hand, each run on a
// channel's interpreter and on a plain machine: the text of every type, what a
// to-string leaves on the stack, the strings they read, and the stack effects.

#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <typeinfo>
#include <vector>

#include <gtest/gtest.h>

#include "builtin_test_support.h"
#include "builtins/text_instructions.h"
#include "core/allocation_count.h"
#include "core/cmd_const.h"
#include "core/cmd_flow.h"
#include "core/cmd_stack.h"
#include "core/code.h"
#include "core/log.h"
#include "core/stackmachine_interpreter.h"

namespace Karsto {
namespace {

constexpr int64_t kCapacity = 255;
constexpr int64_t kTextCells = kCapacity + 1;
constexpr int64_t kSecond = 1'000'000'000;

// A value as the code before the instruction leaves it: pushed with the operation of
// its kind's constant.
struct TextCase {
    TypeKind kind;
    int64_t integer; // the value of an integer, bit-string, time or character kind
    double real;     // the value of a real kind
    std::string text;
};

void pushValue(Stackmachine& machine, const TextCase& c) {
    switch (c.kind) {
    case TypeKind::Lreal:
    case TypeKind::Litr: machine.pushF64(c.real); return;
    case TypeKind::Real: machine.pushF32(static_cast<float>(c.real)); return;
    case TypeKind::Ulint:
    case TypeKind::Lword: machine.pushU64(static_cast<uint64_t>(c.integer)); return;
    case TypeKind::Udint:
    case TypeKind::Dword: machine.pushU32(static_cast<uint32_t>(c.integer)); return;
    case TypeKind::Uint:
    case TypeKind::Word:
    case TypeKind::Wchar: machine.pushU16(static_cast<uint16_t>(c.integer)); return;
    case TypeKind::Usint:
    case TypeKind::Byte:
    case TypeKind::Char: machine.pushU8(static_cast<uint8_t>(c.integer)); return;
    case TypeKind::Bool: machine.pushU1(c.integer != 0); return;
    case TypeKind::Dint: machine.pushS32(static_cast<int32_t>(c.integer)); return;
    case TypeKind::Int: machine.pushS16(static_cast<int16_t>(c.integer)); return;
    case TypeKind::Sint: machine.pushS8(static_cast<int8_t>(c.integer)); return;
    default: machine.pushS64(c.integer); return;
    }
}

// Nanoseconds of a time of day.
constexpr int64_t timeOfDay(int64_t h, int64_t m, int64_t s) {
    return ((h * 60 + m) * 60 + s) * kSecond;
}

const std::vector<TextCase>& textCases() {
    static const std::vector<TextCase> cases = {
        {TypeKind::Lint, -12, 0, "-12"},
        {TypeKind::Lint, std::numeric_limits<int64_t>::min(), 0, "-9223372036854775808"},
        {TypeKind::Liti, -5, 0, "-5"},
        {TypeKind::Ulint, -1, 0, "18446744073709551615"},
        {TypeKind::Dint, -70000, 0, "-70000"},
        {TypeKind::Udint, 4000000000, 0, "4000000000"},
        {TypeKind::Int, -300, 0, "-300"},
        {TypeKind::Uint, 60000, 0, "60000"},
        {TypeKind::Sint, -3, 0, "-3"},
        {TypeKind::Usint, 200, 0, "200"},
        {TypeKind::Lreal, 0, 2.25, "2.250000"},
        {TypeKind::Lreal, 0, -0.0, "-0.000000"},
        {TypeKind::Litr, 0, 7.125, "7.125000"},
        {TypeKind::Real, 0, -0.5, "-0.500000"},
        {TypeKind::Real, 0, 0.1, "0.100000"}, // widened from single precision
        {TypeKind::Bool, 1, 0, "1"},
        {TypeKind::Bool, 0, 0, "0"},
        {TypeKind::Byte, 171, 0, "ab"},
        {TypeKind::Byte, 10, 0, "a"},
        {TypeKind::Word, 4096, 0, "1000"},
        {TypeKind::Dword, 0xDEADBEEF, 0, "deadbeef"},
        {TypeKind::Lword, 255, 0, "ff"},
        {TypeKind::Char, 'A', 0, "A"},
        {TypeKind::Wchar, 0x263A, 0, ":"}, // the low byte only
        {TypeKind::Time, 120 * kSecond, 0, "+120.000000000"},
        {TypeKind::Time, 0, 0, "+0.000000000"},
        {TypeKind::Time, 86400 * kSecond, 0, "+86400.000000000"}, // no days or hours
        {TypeKind::Ltime, -1250000, 0, "-0.001250000"},
        {TypeKind::Ltime, std::numeric_limits<int64_t>::min(), 0, "-9223372036.854775808"},
        {TypeKind::Tod, timeOfDay(7, 8, 9) + 250000000, 0, "07:08:09.250000000"},
        {TypeKind::Ltod, timeOfDay(25, 0, 0), 0, "25:00:00.000000000"}, // not reduced
        {TypeKind::Dt, 946684799 * kSecond, 0, "1999-12-31-23:59:59.000000000"},
        {TypeKind::Ldt, 1614834367 * kSecond + 8, 0, "2021-03-04-05:06:07.000000008"},
        {TypeKind::Date, 1709164800 * kSecond, 0, "2024-02-29 (+0)"},
        {TypeKind::Ldate, 1614816000 * kSecond + 5, 0, "2021-03-04 (+5)"},
    };
    return cases;
}

std::string caseName(const TextCase& c, const Cmd& cmd) {
    return cmd.toString() + "of \"" + c.text + "\"";
}

// The STRING of the default capacity on top of the stack, popped: its length and the
// 16-bit codes of all of its characters.
struct PoppedString {
    int64_t length;
    std::vector<uint16_t> codes; // capacity codes, the first character first
};

PoppedString popString(Stackmachine& machine) {
    PoppedString s{machine.popAddr(), std::vector<uint16_t>(kCapacity)};
    for (int64_t i = kCapacity - 1; i >= 0; --i) s.codes[static_cast<size_t>(i)] = machine.popU16();
    return s;
}

// The text as a to-string pushes it: each byte sign-extended, zero codes after it.
std::vector<uint16_t> codesOf(const std::string& text) {
    std::vector<uint16_t> codes(kCapacity, 0);
    for (size_t i = 0; i < text.size() && i < codes.size(); ++i)
        codes[i] = static_cast<uint16_t>(
            static_cast<int16_t>(static_cast<int8_t>(static_cast<uint8_t>(text[i]))));
    return codes;
}

TEST(TextInstructions, EveryTypeHasOnePairWithItsTexts) {
    EXPECT_EQ(textInstructionRegistry().size(), static_cast<size_t>(kTextInstructionTypes));
    const Code print(textInstructionsFor(TypeKind::Lint)->makePrint());
    const Code toString(textInstructionsFor(TypeKind::Wstring)->makeToString());
    EXPECT_EQ(print.node()->asItem()->toString(), "PrintLint ");
    EXPECT_EQ(toString.node()->asItem()->toString(), "ToStringWstring ");
    EXPECT_EQ(textInstructionsFor(TypeKind::Enum), nullptr);
    EXPECT_EQ(textInstructionsFor(TypeKind::Pointer), nullptr);
}

TEST(TextInstructions, PrintWritesTheTextAndPopsTheValue) {
    test::BothMachines machines;
    for (Stackmachine* machine : machines.all()) {
        for (const TextCase& c : textCases()) {
            const Code code(textInstructionsFor(c.kind)->makePrint());
            Cmd& cmd = *code.node()->asItem()->asCmd();
            machine->reset();
            pushValue(*machine, c);
            test::StdoutCapture out;
            cmd.execute(*machine);
            EXPECT_EQ(out.finish(), c.text) << caseName(c, cmd);
            EXPECT_EQ(machine->getSp(), machine->getStackBase()) << caseName(c, cmd);
        }
    }
}

TEST(TextInstructions, ToStringPushesTheTextAsADefaultString) {
    test::BothMachines machines;
    for (Stackmachine* machine : machines.all()) {
        for (const TextCase& c : textCases()) {
            const Code code(textInstructionsFor(c.kind)->makeToString());
            Cmd& cmd = *code.node()->asItem()->asCmd();
            machine->reset();
            pushValue(*machine, c);
            cmd.execute(*machine);
            EXPECT_EQ(machine->getSp(), machine->getStackBase() + kTextCells) << caseName(c, cmd);
            const PoppedString s = popString(*machine);
            EXPECT_EQ(s.length, static_cast<int64_t>(c.text.size())) << caseName(c, cmd);
            EXPECT_EQ(s.codes, codesOf(c.text)) << caseName(c, cmd);
        }
    }
}

// The character code 0 is one character: print writes one zero byte, a to-string holds
// it with length 1.
TEST(TextInstructions, CharacterZeroIsOneCharacter) {
    test::BothMachines machines;
    for (Stackmachine* machine : machines.all()) {
        const Code print(textInstructionsFor(TypeKind::Char)->makePrint());
        machine->reset();
        machine->pushU8(0);
        test::StdoutCapture out;
        print.node()->asItem()->asCmd()->execute(*machine);
        EXPECT_EQ(out.finish(), std::string(1, '\0'));

        const Code toString(textInstructionsFor(TypeKind::Char)->makeToString());
        machine->pushU8(0);
        toString.node()->asItem()->asCmd()->execute(*machine);
        const PoppedString s = popString(*machine);
        EXPECT_EQ(s.length, 1);
        EXPECT_EQ(s.codes, codesOf(""));
    }
}

// A text longer than the capacity: print writes all of it, a to-string keeps the first
// 255 characters.
TEST(TextInstructions, LongTextIsCutOnlyByToString) {
    char full[400];
    const int n = std::snprintf(full, sizeof full, "%f", 1.0e300);
    ASSERT_GT(n, 255);
    const std::string text(full, static_cast<size_t>(n));
    test::BothMachines machines;
    for (Stackmachine* machine : machines.all()) {
        machine->reset();
        machine->pushF64(1.0e300);
        const Code print(textInstructionsFor(TypeKind::Lreal)->makePrint());
        test::StdoutCapture out;
        print.node()->asItem()->asCmd()->execute(*machine);
        EXPECT_EQ(out.finish(), text);

        machine->pushF64(1.0e300);
        const Code toString(textInstructionsFor(TypeKind::Lreal)->makeToString());
        toString.node()->asItem()->asCmd()->execute(*machine);
        const PoppedString s = popString(*machine);
        EXPECT_EQ(s.length, kCapacity);
        EXPECT_EQ(s.codes, codesOf(text.substr(0, kCapacity)));
    }
}

// Pushes a string of the default capacity: the codes, cells of filler after them up
// to the capacity, then the length cell.
void pushString(Stackmachine& machine, const std::vector<uint16_t>& codes, int64_t lengthCell) {
    for (int64_t i = 0; i < kCapacity; ++i)
        machine.pushU16(i < static_cast<int64_t>(codes.size()) ? codes[static_cast<size_t>(i)]
                                                               : '#');
    machine.pushAddr(lengthCell);
}

struct StringCase {
    const char* what;
    std::vector<uint16_t> codes;
    int64_t lengthCell;
    std::string text;
};

TEST(TextInstructions, StringsAreReadUpToTheirLengthAndFirstZero) {
    const std::vector<StringCase> cases = {
        {"plain", {'a', 'b', 'c'}, 3, "abc"},
        {"empty", {}, 0, ""},
        {"zero inside", {'a', 0, 'c'}, 3, "a"},
        {"wide characters keep their low byte", {0x2661, 0x0162, 0xFFE9}, 3, "ab\xE9"},
        {"full", std::vector<uint16_t>(kCapacity, 'x'), kCapacity, std::string(kCapacity, 'x')},
        // A length cell that was never written must not reach beyond the value.
        {"length above the capacity", std::vector<uint16_t>(kCapacity, 'y'), 1000,
         std::string(kCapacity, 'y')},
        {"negative length", {'a'}, -7, ""},
    };
    test::BothMachines machines;
    for (Stackmachine* machine : machines.all()) {
        for (TypeKind kind : {TypeKind::String, TypeKind::Wstring}) {
            for (const StringCase& c : cases) {
                const TextInstructionEntry& entry = *textInstructionsFor(kind);
                const Code print(entry.makePrint());
                machine->reset();
                machine->pushU8(0xA5); // a mark below the value
                pushString(*machine, c.codes, c.lengthCell);
                {
                    test::StdoutCapture out;
                    print.node()->asItem()->asCmd()->execute(*machine);
                    EXPECT_EQ(out.finish(), c.text) << c.what;
                }
                EXPECT_EQ(machine->getSp(), machine->getStackBase() + 1) << c.what;

                const Code toString(entry.makeToString());
                pushString(*machine, c.codes, c.lengthCell);
                toString.node()->asItem()->asCmd()->execute(*machine);
                const PoppedString s = popString(*machine);
                EXPECT_EQ(s.length, static_cast<int64_t>(c.text.size())) << c.what;
                EXPECT_EQ(s.codes, codesOf(c.text)) << c.what;
                EXPECT_EQ(machine->getSp(), machine->getStackBase() + 1) << c.what;
                EXPECT_EQ(machine->popU8(), 0xA5) << c.what;
            }
        }
    }
}

// A byte above 0x7F of a to-string's text is sign-extended into its cell.
TEST(TextInstructions, HighBytesAreSignExtended) {
    StackmachineInterpreter machine;
    machine.reset();
    pushString(machine, {0x00E9, 'z'}, 2);
    const Code toString(textInstructionsFor(TypeKind::String)->makeToString());
    toString.node()->asItem()->asCmd()->execute(machine);
    const PoppedString s = popString(machine);
    EXPECT_EQ(s.length, 2);
    EXPECT_EQ(s.codes[0], 0xFFE9);
    EXPECT_EQ(s.codes[1], 'z');
}

TEST(TextInstructions, ClonesAreFreshObjectsOfTheSameClassAndSpan) {
    SourcePosition at;
    at.file = "t.jyx";
    at.line = 3;
    for (const TextInstructionEntry& entry : textInstructionRegistry()) {
        for (TextInstructionFactory make : {entry.makePrint, entry.makeToString}) {
            const Code original(make());
            original.setSpan(SourceSpan(at, at));
            const Code copy(original.node()->asItem()->clone());
            const CodeItem& item = *copy.node()->asItem();
            const CodeItem& originalItem = *original.node()->asItem();
            EXPECT_NE(copy.node(), original.node());
            EXPECT_EQ(typeid(item), typeid(originalItem));
            EXPECT_EQ(item.toString(), original.node()->asItem()->toString());
            EXPECT_EQ(item.span().begin.line, 3);
            EXPECT_EQ(copy.node()->refCount(), 1); // the Code's own
        }
    }
}

// The to-string of a value and a drop of its result, stepped on a channel's interpreter:
// no allocation per step, and the interpreter's path leaves the cells the plain
// machine's does.
TEST(TextInstructions, ToStringLoopAllocatesNothing) {
    for (int32_t level = 0; level < kLogLevelCount; ++level) globalLog.setLevel(level, false);
    auto* loop = new Label();
    const Code code = Code(loop)
                          .concat(Code(new CmdConstLreal(-2.5)))
                          .concat(Code(textInstructionsFor(TypeKind::Lreal)->makeToString()))
                          .concat(Code(new CmdSpAdd(-kTextCells)))
                          .concat(Code(new CmdJump(loop)));
    const CodeLinked program(code);
    StackmachineInterpreter machine;
    machine.loadProgram(program);
    machine.reset();
    for (int i = 0; i < 10; ++i) machine.step(); // warm up
    const int64_t before = test::allocationCount();
    for (int i = 0; i < 1000; ++i) machine.step();
    EXPECT_EQ(test::allocationCount() - before, 0);

    EXPECT_EQ(machine.getSp(), machine.getStackBase()); // whole iterations: every value dropped

    // Both paths of the instruction leave the same cells.
    Stackmachine plain;
    std::vector<PoppedString> results;
    for (Stackmachine* m : std::vector<Stackmachine*>{&machine, &plain}) {
        m->reset();
        m->pushF64(-2.5);
        const Code toString(textInstructionsFor(TypeKind::Lreal)->makeToString());
        toString.node()->asItem()->asCmd()->execute(*m);
        results.push_back(popString(*m));
    }
    EXPECT_EQ(results[0].length, 9);
    EXPECT_EQ(results[0].length, results[1].length);
    EXPECT_EQ(results[0].codes, results[1].codes);
}

} // namespace
} // namespace Karsto
