// The comparisons and Min and Max on both kinds of machine: one table of comparison
// cases over all six relations, the order of strings of a capacity (values laid out
// by hand: characters from the deepest cell up, the length in the top cell), and the
// running-value rule of Min and Max on numbers and whole strings.

#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "core/type_string.h"
#include "instructions/operators/operator_test_support.h"

namespace Karsto {
namespace {

using F = OperatorFamily;
using K = TypeKind;

constexpr F kRelations[] = {F::Eq, F::Ne, F::Lt, F::Gt, F::Le, F::Ge};

// Which of Eq, Ne, Lt, Gt, Le, Ge hold, as the letters of those that do: "Ne Gt Ge".
std::string holding(const std::vector<bool>& results) {
    const char* names[] = {"Eq", "Ne", "Lt", "Gt", "Le", "Ge"};
    std::string text;
    for (size_t i = 0; i < results.size(); ++i) {
        if (!results[i]) continue;
        if (!text.empty()) text += ' ';
        text += names[i];
    }
    return text;
}

// The six relations of the kind on x (pushed first) and y, on one machine.
std::vector<bool> compareOn(Stackmachine& machine, TypeKind kind, uint64_t x, uint64_t y) {
    std::vector<bool> results;
    for (const F family : kRelations) {
        const Code code(test::newOperator(family, kind));
        const test::Outcome outcome = test::executeOn(machine, test::cmdOf(code), kind, x, y, Cell::U1);
        EXPECT_TRUE(outcome.bits == 0 || outcome.bits == 1) << outcome.bits;
        results.push_back(outcome.bits == 1);
    }
    return results;
}

// The order of the three results: x < y, x = y, x > y, or unordered (a NaN).
std::string holdingFor(int order) {
    switch (order) {
    case -1: return "Ne Lt Le";
    case 0: return "Eq Le Ge";
    case 1: return "Ne Gt Ge";
    default: return "Ne";
    }
}

constexpr int kUnordered = 2;

struct ComparisonCase {
    TypeKind kind;
    uint64_t x;
    uint64_t y;
    int order;
};

TEST(Comparisons, EveryRelationOnBothMachines) {
    std::vector<ComparisonCase> cases = {
        {K::Real, f32(std::nanf("")), f32(std::nanf("")), kUnordered},
        {K::Lreal, f64(std::nan("")), f64(1.0), kUnordered},
        {K::Litr, f64(-1.0), f64(std::nan("")), kUnordered},
        {K::Lreal, f64(-0.0), f64(0.0), 0},
        {K::Real, f32(-kInfF), f32(-3.4e38f), -1},
        {K::Sint, i64(-1), 1, -1},
        {K::Usint, 255, 1, 1},
        {K::Byte, 0xFF, 1, 1},
        {K::Char, 255, 1, 1},
        {K::Word, 0xFFFF, 1, 1},
        {K::Int, 0xFFFF, 1, -1},
        {K::Dint, 0x80000000, 0x7FFFFFFF, -1},
        {K::Udint, 0x80000000, 0x7FFFFFFF, 1},
        {K::Ulint, ~uint64_t{0}, 0, 1},
        {K::Lint, i64(-1), 0, -1},
        {K::Lint, 0x100000000, 0x200000000, -1}, // the upper halves decide
        {K::Liti, 0x200000000, 0x200000000, 0},
        {K::Ldt, i64(-86400000000000), 0, -1},     // a day before 1970
        {K::Time, i64(-1000000000), 0, -1},        // minus one second
        {K::Bool, 1, 0, 1},
        {K::Bool, 0, 1, -1},
    };
    // 2 pushed first and 1 last, and two equal values, for every one-cell type.
    for (const SuffixRow& row : kSuffixes) {
        if (row.kind == K::Enum || row.kind == K::Bool) continue;
        cases.push_back({row.kind, test::cellValue(row.kind, 2), test::cellValue(row.kind, 1), 1});
        cases.push_back({row.kind, test::cellValue(row.kind, 7), test::cellValue(row.kind, 7), 0});
    }
    StackmachineInterpreter interpreter;
    Stackmachine plain;
    for (const ComparisonCase& c : cases) {
        for (Stackmachine* machine : {static_cast<Stackmachine*>(&interpreter), &plain}) {
            EXPECT_EQ(holding(compareOn(*machine, c.kind, c.x, c.y)), holdingFor(c.order))
                << suffixRow(c.kind).suffix << " 0x" << std::hex << c.x << " 0x" << c.y;
        }
    }
}

// ---- strings ---------------------------------------------------------------------------

// Pushes a string value of the capacity: one character per cell (U8 for STRING, U16
// for WSTRING), fill in the cells beyond the text, then the length cell (the text's
// length unless given). Returns the value's first cell.
int64_t pushStringOfKind(Stackmachine& machine, TypeKind kind, const std::u16string& text,
                   int64_t capacity, char16_t fill = u'#',
                   std::optional<int64_t> lengthCell = std::nullopt) {
    const int64_t base = machine.getSp();
    for (int64_t i = 0; i < capacity; ++i) {
        const char16_t c = i < static_cast<int64_t>(text.size()) ? text[static_cast<size_t>(i)] : fill;
        if (kind == K::String) {
            machine.pushU8(static_cast<uint8_t>(c));
        } else {
            machine.pushU16(c);
        }
    }
    machine.pushAddr(lengthCell.value_or(static_cast<int64_t>(text.size())));
    return base;
}

std::u16string stringOfKindAt(Stackmachine& machine, TypeKind kind, int64_t base, int64_t capacity) {
    const int64_t length = machine.loadAddr(base + capacity);
    EXPECT_GE(length, 0);
    EXPECT_LE(length, capacity);
    std::u16string text;
    for (int64_t i = 0; i < length; ++i) {
        text += kind == K::String ? static_cast<char16_t>(machine.loadU8(base + i))
                                  : static_cast<char16_t>(machine.loadU16(base + i));
    }
    return text;
}

struct StringValue {
    std::u16string text;
    char16_t fill = u'#';
    std::optional<int64_t> lengthCell = std::nullopt;
};

// The six relations of two string values of the capacity; each leaves one BOOL where
// the values were.
std::vector<bool> compareStrings(Stackmachine& machine, TypeKind kind, const StringValue& x,
                                 const StringValue& y, int32_t capacity) {
    std::vector<bool> results;
    for (const F family : kRelations) {
        const Code code(operatorFor(family, kind)->make({0, 0, nullptr, capacity}));
        machine.reset();
        machine.pushU8(0xA5); // below the operands: must stay
        const int64_t before = machine.getSp();
        pushStringOfKind(machine, kind, x.text, capacity, x.fill, x.lengthCell);
        pushStringOfKind(machine, kind, y.text, capacity, y.fill, y.lengthCell);
        EXPECT_EQ(machine.getSp(), before + 2 * (capacity + 1));
        test::cmdOf(code).execute(machine);
        EXPECT_EQ(machine.getSp(), before + 1);
        const uint8_t result = machine.popU1();
        EXPECT_TRUE(result == 0 || result == 1);
        EXPECT_EQ(machine.popU8(), 0xA5);
        results.push_back(result == 1);
    }
    return results;
}

struct StringCase {
    TypeKind kind;
    StringValue x;
    StringValue y;
    int order;
};

TEST(Comparisons, StringsOrderByUnsignedCodeThenLength) {
    const std::vector<StringCase> cases = {
        {K::String, {u"NC"}, {u"NCX"}, -1},
        {K::String, {u"ab"}, {u"b"}, -1},
        {K::String, {u"Ab"}, {u"ab"}, -1},
        {K::String, {u"\u00FF"}, {u"a"}, 1}, // unsigned codes
        {K::String, {u""}, {u""}, 0},
        {K::String, {u"abc", u'x'}, {u"abc", u'y'}, 0}, // cells beyond the length differ
        {K::String, {u"abcdefghij"}, {u"abcdefghij"}, 0},
        // STRING reads the low 8 bits of a cell: 0x141 is 'A'.
        {K::String, {u"\u0141"}, {u"A"}, 0},
        // Length cells outside 0..capacity count as clamped into it.
        {K::String, {u"abcdefghij", u'#', 1000}, {u"abcdefghij"}, 0},
        {K::String, {u"abc", u'#', -5}, {u""}, 0},
        {K::Wstring, {u"\u012C"}, {u"\u00FF"}, 1}, // code 300 above 255
        {K::Wstring, {u"\u0141"}, {u"A"}, 1},
        {K::Wstring, {u"x\uFFFF"}, {u"x\u0001z"}, 1},
        {K::Wstring, {u"NC"}, {u"NC", u'q'}, 0},
    };
    StackmachineInterpreter interpreter;
    Stackmachine plain;
    for (const StringCase& c : cases) {
        for (Stackmachine* machine : {static_cast<Stackmachine*>(&interpreter), &plain}) {
            EXPECT_EQ(holding(compareStrings(*machine, c.kind, c.x, c.y, 10)), holdingFor(c.order))
                << operatorFor(F::Eq, c.kind)->text << std::string(c.x.text.begin(), c.x.text.end())
                << " against " << std::string(c.y.text.begin(), c.y.text.end());
        }
    }
}

TEST(Comparisons, StringMembersDefaultToTheDefaultCapacity) {
    StackmachineInterpreter machine;
    for (const TypeKind kind : {K::String, K::Wstring}) {
        const Code code(test::newOperator(F::Lt, kind)); // no capacity given
        machine.reset();
        const int64_t before = machine.getSp();
        pushStringOfKind(machine, kind, u"ab", kDefaultStringCapacity);
        pushStringOfKind(machine, kind, u"b", kDefaultStringCapacity);
        EXPECT_EQ(machine.getSp(), before + 512);
        test::cmdOf(code).execute(machine);
        EXPECT_EQ(machine.getSp(), before + 1);
        EXPECT_EQ(machine.popU1(), 1);
        // A clone keeps its capacity.
        const Code ten(operatorFor(F::Eq, kind)->make({0, 0, nullptr, 10}));
        const Code copy(test::cmdOf(ten).clone());
        pushStringOfKind(machine, kind, u"q", 10);
        pushStringOfKind(machine, kind, u"q", 10);
        test::cmdOf(copy).execute(machine);
        EXPECT_EQ(machine.getSp(), before + 1);
        EXPECT_EQ(machine.popU1(), 1);
    }
}

// ---- Min and Max -------------------------------------------------------------------------

// Runs Min or Max of the count over the values (the first deepest) on both machines
// above a marked cell; checks that the result takes the first value's cell (or the
// top's, for a count of 1 or less) and returns its bits on each machine.
std::vector<uint64_t> extremeOnBoth(F family, TypeKind kind, const std::vector<uint64_t>& values,
                                    int64_t count) {
    static StackmachineInterpreter interpreter; // made once: each use resets it
    static Stackmachine plain;
    const Code code(operatorFor(family, kind)->make({count}));
    std::vector<uint64_t> results;
    for (Stackmachine* machine : {static_cast<Stackmachine*>(&interpreter), &plain}) {
        machine->reset();
        machine->pushU8(0xA5);
        const int64_t before = machine->getSp();
        for (const uint64_t bits : values) pushCell(*machine, cellOf(kind), bits);
        test::cmdOf(code).execute(*machine);
        const int64_t reduced = count > 1 ? count : 1;
        EXPECT_EQ(machine->getSp(), before + static_cast<int64_t>(values.size()) - reduced + 1)
            << operatorFor(family, kind)->text << "count " << count;
        results.push_back(popCell(*machine, cellOf(kind)));
        for (int64_t i = static_cast<int64_t>(values.size()) - reduced - 1; i >= 0; --i) {
            EXPECT_EQ(popCell(*machine, cellOf(kind)), values[static_cast<size_t>(i)]) << i;
        }
        EXPECT_EQ(machine->popU8(), 0xA5);
    }
    return results;
}

struct ExtremeCase {
    TypeKind kind;
    std::vector<uint64_t> values;
    int64_t count;
    uint64_t min;
    uint64_t max;
};

TEST(MinMax, TheLastValueRunsAndOnlyAStrictlyBetterOneReplacesIt) {
    const uint64_t nan = f32(std::nanf(""));
    const std::vector<ExtremeCase> cases = {
        {K::Udint, {7, 4000000000, 5}, 3, 5, 4000000000},
        {K::Dint, {3, 1, 2}, 3, 1, 3},
        {K::Lint, {5, 5, 5, 5}, 4, 5, 5},
        {K::Lint, {9, 0x100000000, 0x200000000}, 2, 0x100000000, 0x200000000},
        {K::Dint, {9, 3, 7}, 0, 7, 7},  // counts of 1 or less: the top comes back
        {K::Dint, {9, 3, 7}, -3, 7, 7},
        {K::Dint, {9, 3, 7}, 1, 7, 7},
        {K::Real, {f32(2.0f), nan}, 2, nan, nan},             // a NaN on top stays
        {K::Real, {nan, f32(2.0f)}, 2, f32(2.0f), f32(2.0f)}, // a NaN below never replaces
        {K::Real, {f32(-0.0f), f32(0.0f)}, 2, f32(0.0f), f32(0.0f)},
        {K::Real, {f32(0.0f), f32(-0.0f)}, 2, f32(-0.0f), f32(-0.0f)},
        {K::Lreal, {f64(-0.0), f64(0.0)}, 2, f64(0.0), f64(0.0)},
        {K::Lreal, {f64(1.0), f64(std::nan(""))}, 2, f64(std::nan("")), f64(std::nan(""))},
        {K::Sint, {i64(-1) & 0xFF, 1}, 2, 0xFF, 1},
        {K::Usint, {255, 1}, 2, 1, 255},
        {K::Char, {255, 1}, 2, 1, 255},
        {K::Ulint, {~uint64_t{0}, 0}, 2, 0, ~uint64_t{0}},
        {K::Time, {i64(-1000000000), 0}, 2, i64(-1000000000), 0},
        {K::Bool, {1, 0}, 2, 0, 1},
        {K::Bool, {0, 1}, 2, 0, 1},
    };
    for (const ExtremeCase& c : cases) {
        for (const auto& [family, expected] : {std::pair{F::Min, c.min}, std::pair{F::Max, c.max}}) {
            for (const uint64_t result : extremeOnBoth(family, c.kind, c.values, c.count)) {
                EXPECT_EQ(result, expected) << operatorFor(family, c.kind)->text << "count "
                                            << c.count << " of 0x" << std::hex << c.values[0];
            }
        }
    }
}

TEST(MinMax, StringsMoveTheWinnerToTheFirstValuesCells) {
    StackmachineInterpreter interpreter;
    Stackmachine plain;
    struct Case {
        F family;
        TypeKind kind;
        std::vector<StringValue> values;
        int64_t count;
        StringValue expected;
    };
    const std::vector<Case> cases = {
        {F::Min, K::String, {{u"m"}, {u"a"}, {u"z"}}, 3, {u"a"}},
        {F::Max, K::String, {{u"m"}, {u"a"}, {u"z"}}, 3, {u"z"}},
        {F::Max, K::String, {{u"zz"}, {u"a"}, {u"z"}}, 3, {u"zz"}},
        // Of equal values the last one's cells win.
        {F::Min, K::String, {{u"ab", u'1'}, {u"ab", u'2'}}, 2, {u"ab", u'2'}},
        {F::Max, K::Wstring, {{u"\u012C"}, {u"\u00FF\u00FF"}}, 2, {u"\u012C"}},
        {F::Min, K::String, {{u"m"}, {u"a"}}, 1, {u"a"}},
    };
    constexpr int32_t kCapacity8 = 8;
    for (const Case& c : cases) {
        for (Stackmachine* machine : {static_cast<Stackmachine*>(&interpreter), &plain}) {
            const Code code(operatorFor(c.family, c.kind)->make({c.count, 0, nullptr, kCapacity8}));
            machine->reset();
            machine->pushU8(0xA5);
            std::vector<int64_t> bases;
            for (const StringValue& v : c.values) {
                bases.push_back(pushStringOfKind(*machine, c.kind, v.text, kCapacity8, v.fill));
            }
            test::cmdOf(code).execute(*machine);
            const int64_t count = std::max<int64_t>(c.count, 1);
            const int64_t result = bases[c.values.size() - static_cast<size_t>(count)];
            EXPECT_EQ(machine->getSp(), result + kCapacity8 + 1);
            EXPECT_EQ(stringOfKindAt(*machine, c.kind, result, kCapacity8), c.expected.text);
            // The whole value moved, the cells beyond its length too.
            EXPECT_EQ(machine->loadU8(result + kCapacity8 - 1), static_cast<uint8_t>(c.expected.fill));
            EXPECT_EQ(machine->loadU8(machine->getStackBase()), 0xA5);
        }
    }
    // Three STRING[8] values leave one: 18 cells shallower.
    interpreter.reset();
    const int64_t before = interpreter.getSp();
    for (const char16_t* text : {u"m", u"a", u"z"}) pushStringOfKind(interpreter, K::String, text, 8);
    const int64_t full = interpreter.getSp();
    const Code min(operatorFor(F::Min, K::String)->make({3, 0, nullptr, 8}));
    test::cmdOf(min).execute(interpreter);
    EXPECT_EQ(full - interpreter.getSp(), 18);
    EXPECT_EQ(stringOfKindAt(interpreter, K::String, before, 8), u"a");
}

} // namespace
} // namespace Karsto
