// Properties of every operator class: the registry and selection tables, text and
// clone, results against an independent reference on both kinds of machine, and a
// stepped loop that allocates nothing.

#include <cmath>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <typeindex>
#include <typeinfo>
#include <vector>

#include <gtest/gtest.h>

#include "core/cmd_stack.h"
#include "instructions/operators/operator_test_support.h"

namespace Karsto {
namespace {

using test::executeOn;
using test::Outcome;
using test::spanAt;

const std::vector<std::string_view> kNumeric = {"Lreal", "Real", "Sint",  "Int",   "Dint", "Lint",
                                                "Usint", "Uint", "Udint", "Ulint", "Litr", "Liti"};
const std::vector<std::string_view> kIntegerAndLiti = {"Sint",  "Int",  "Dint",  "Lint", "Usint",
                                                       "Uint", "Udint", "Ulint", "Liti"};
const std::vector<std::string_view> kReals = {"Lreal", "Real", "Litr"};

const std::vector<std::string_view> kBitStrings = {"Byte", "Word", "Dword", "Lword"};
const std::vector<std::string_view> kNoSuffix = {""};
const std::vector<std::string_view> kLogic = {"Bool", "Byte", "Word", "Dword", "Lword", "Liti"};
const std::vector<std::string_view> kInv = {"Bool", "Byte", "Word", "Dword", "Lword"};
const std::vector<std::string_view> kIntegers = {"Sint", "Int",  "Dint",  "Lint",
                                                 "Usint", "Uint", "Udint", "Ulint"};
const std::vector<std::string_view> kAll = {
    "Lreal", "Real", "Sint",  "Int",   "Dint",   "Lint",   "Usint", "Uint",  "Udint", "Ulint",
    "Litr",  "Liti", "Bool",  "Byte",  "Word",   "Dword",  "Lword", "Char",  "Wchar", "String",
    "Wstring", "Date", "Ldate", "Tod", "Ltod", "Dt", "Ldt", "Time", "Ltime"};

// Written out here, not taken from the tables: each family's classes, how many cells
// of their type they pop for the reference below (one result is pushed, a BOOL for the
// comparisons; 0 where the family's own tests compute its results: the string
// families, whose values span many cells, BCD, shift and rotate, the range checks and
// branches) and their operands. String and Wstring members are left to their families'
// own tests too.
struct FamilyClasses {
    OperatorFamily family;
    std::string_view name;
    const std::vector<std::string_view>* suffixes;
    int operands;
    OperandShape shape = OperandShape::None;
    bool pushesBool = false;
};

const FamilyClasses kFamilies[] = {
    {OperatorFamily::Add, "Add", &kNumeric, 2},
    {OperatorFamily::Sub, "Sub", &kNumeric, 2},
    {OperatorFamily::Mul, "Mul", &kNumeric, 2},
    {OperatorFamily::Div, "Div", &kNumeric, 2},
    {OperatorFamily::Mod, "Mod", &kIntegerAndLiti, 2},
    {OperatorFamily::Expt, "Expt", &kReals, 2},
    {OperatorFamily::Atan2, "Atan2", &kReals, 2},
    {OperatorFamily::Abs, "Abs", &kNumeric, 1},
    {OperatorFamily::Neg, "Neg", &kNumeric, 1},
    {OperatorFamily::Sqrt, "Sqrt", &kReals, 1},
    {OperatorFamily::Ln, "Ln", &kReals, 1},
    {OperatorFamily::Log, "Log", &kReals, 1},
    {OperatorFamily::Exp, "Exp", &kReals, 1},
    {OperatorFamily::Sin, "Sin", &kReals, 1},
    {OperatorFamily::Cos, "Cos", &kReals, 1},
    {OperatorFamily::Tan, "Tan", &kReals, 1},
    {OperatorFamily::Asin, "Asin", &kReals, 1},
    {OperatorFamily::Acos, "Acos", &kReals, 1},
    {OperatorFamily::Atan, "Atan", &kReals, 1},
    {OperatorFamily::Round, "Round", &kReals, 1},
    {OperatorFamily::BcdEncode, "BcdEncode", &kBitStrings, 0},
    {OperatorFamily::BcdDecode, "BcdDecode", &kBitStrings, 0},
    {OperatorFamily::Shl, "Shl", &kBitStrings, 0},
    {OperatorFamily::Shr, "Shr", &kBitStrings, 0},
    {OperatorFamily::Rol, "Rol", &kBitStrings, 0},
    {OperatorFamily::Ror, "Ror", &kBitStrings, 0},
    {OperatorFamily::CastStrStr, "CastStrStr", &kNoSuffix, 0, OperandShape::Values},
    {OperatorFamily::CastCharStr, "CastCharStr", &kNoSuffix, 0, OperandShape::Values},
    {OperatorFamily::CastStrChar, "CastStrChar", &kNoSuffix, 0, OperandShape::Values},
    {OperatorFamily::Len, "Len", &kNoSuffix, 0},
    {OperatorFamily::Mid, "Mid", &kNoSuffix, 0},
    {OperatorFamily::Concat, "Concat", &kNoSuffix, 0, OperandShape::Values},
    {OperatorFamily::And, "And", &kLogic, 2},
    {OperatorFamily::Or, "Or", &kLogic, 2},
    {OperatorFamily::Xor, "Xor", &kLogic, 2},
    {OperatorFamily::Inv, "Inv", &kInv, 1},
    {OperatorFamily::Eq, "Eq", &kAll, 2, OperandShape::None, true},
    {OperatorFamily::Ne, "Ne", &kAll, 2, OperandShape::None, true},
    {OperatorFamily::Lt, "Lt", &kAll, 2, OperandShape::None, true},
    {OperatorFamily::Gt, "Gt", &kAll, 2, OperandShape::None, true},
    {OperatorFamily::Le, "Le", &kAll, 2, OperandShape::None, true},
    {OperatorFamily::Ge, "Ge", &kAll, 2, OperandShape::None, true},
    {OperatorFamily::Min, "Min", &kAll, 2, OperandShape::Count}, // count 2
    {OperatorFamily::Max, "Max", &kAll, 2, OperandShape::Count},
    {OperatorFamily::AssertRange, "AssertRange", &kIntegers, 0, OperandShape::Bounds},
    {OperatorFamily::BranchInRange, "BranchInRange", &kNumeric, 0, OperandShape::Target},
    {OperatorFamily::BranchLtEq, "BranchLtEq", &kNumeric, 0, OperandShape::Target},
    {OperatorFamily::BranchGtEq, "BranchGtEq", &kNumeric, 0, OperandShape::Target},
};

const FamilyClasses& familyOf(OperatorFamily family) {
    for (const FamilyClasses& row : kFamilies) {
        if (row.family == family) return row;
    }
    ADD_FAILURE() << "family " << static_cast<int32_t>(family) << " is not in the test's list";
    return kFamilies[0];
}

// The classes without a type suffix are selected by TypeKind::Void.
TypeKind kindOf(std::string_view suffix) {
    if (suffix == "String") return TypeKind::String;
    if (suffix == "Wstring") return TypeKind::Wstring;
    return suffix.empty() ? TypeKind::Void : kindOfSuffix(suffix);
}

// Whether the reference below covers the class: a one-cell type and a family it knows.
int referenceOperands(const OperatorEntry& entry) {
    if (entry.kind == TypeKind::String || entry.kind == TypeKind::Wstring) return 0;
    return familyOf(entry.family).operands;
}

// The operands the reference runs a class with: Min and Max of two values.
OperatorOperands referenceShape(const OperatorEntry& entry) {
    return entry.shape == OperandShape::Count ? OperatorOperands{2} : OperatorOperands{};
}

std::optional<Cell> resultCellOf(const OperatorEntry& entry) {
    if (familyOf(entry.family).pushesBool) return Cell::U1;
    return std::nullopt;
}

TEST(OperatorRegistry, HoldsExactlyTheClassesOfTheLandedFamilies) {
    const auto registry = operatorRegistry();
    // arithmetic, unary, strings, BCD/shift, bitwise, comparisons, Min/Max, ranges: all
    // 453 but the time-stamp and object-check classes
    EXPECT_EQ(registry.size(), 63u + 57u + 6u + 24u + 23u + 174u + 58u + 44u);
    std::set<std::pair<int32_t, int32_t>> expected;
    for (const FamilyClasses& family : kFamilies) {
        for (std::string_view suffix : *family.suffixes) {
            expected.insert({static_cast<int32_t>(family.family), kindIndex(kindOf(suffix))});
        }
    }
    std::set<std::pair<int32_t, int32_t>> found;
    for (const OperatorEntry& entry : registry) {
        EXPECT_TRUE(
            found.insert({static_cast<int32_t>(entry.family), kindIndex(entry.kind)}).second)
            << entry.text << "twice";
        EXPECT_EQ(entry.kind, kindOf(entry.suffix)) << entry.text;
        EXPECT_EQ(entry.shape, familyOf(entry.family).shape) << entry.text;
        EXPECT_EQ(operatorFor(entry.family, entry.kind), &entry) << entry.text;
    }
    EXPECT_EQ(found, expected);
}

TEST(OperatorRegistry, SelectionByFamilyAndKind) {
    const OperatorEntry* addUdint = operatorFor(OperatorFamily::Add, TypeKind::Udint);
    ASSERT_NE(addUdint, nullptr);
    EXPECT_EQ(addUdint->text, "AddUdint ");
    for (const int32_t kind : {14, 19, 28}) {
        EXPECT_EQ(operatorFor(OperatorFamily::Add, static_cast<TypeKind>(kind)), nullptr) << kind;
    }
    for (const int32_t kind : {1, 12, 13}) {
        EXPECT_EQ(operatorFor(OperatorFamily::Mod, static_cast<TypeKind>(kind)), nullptr) << kind;
    }
    for (int32_t kind = 0; kind < kTypeKindCount; ++kind) {
        const bool real = kind == 1 || kind == 12 || kind == 13;
        EXPECT_EQ(operatorFor(OperatorFamily::Expt, static_cast<TypeKind>(kind)) != nullptr, real)
            << kind;
    }
    // Numbers outside both enumerations find nothing instead of reading past a table.
    EXPECT_EQ(operatorFor(OperatorFamily::Add, static_cast<TypeKind>(-1)), nullptr);
    EXPECT_EQ(operatorFor(OperatorFamily::Add, static_cast<TypeKind>(kTypeKindCount)), nullptr);
    EXPECT_EQ(operatorFor(static_cast<OperatorFamily>(kOperatorFamilyCount), TypeKind::Dint),
              nullptr);
    EXPECT_EQ(operatorFor(static_cast<OperatorFamily>(-1), TypeKind::Dint), nullptr);
    // The classes without a type suffix are selected by TypeKind::Void alone.
    EXPECT_EQ(operatorFor(OperatorFamily::Len, TypeKind::Void)->text, "Len");
    EXPECT_EQ(operatorFor(OperatorFamily::Len, TypeKind::String), nullptr);
    EXPECT_EQ(operatorFor(OperatorFamily::Abs, TypeKind::Void), nullptr);
    // A family whose classes are not built yet selects nothing.
    EXPECT_EQ(operatorFor(OperatorFamily::CheckNonNull, TypeKind::Void), nullptr);
    // Comparisons and Min/Max have all 29 suffixes; And, Or and Xor no real one.
    EXPECT_EQ(operatorFor(OperatorFamily::Ge, TypeKind::Wstring)->text, "GeWstring ");
    EXPECT_EQ(operatorFor(OperatorFamily::Max, TypeKind::Ltod)->text, "MaxLtod ");
    EXPECT_EQ(operatorFor(OperatorFamily::Xor, TypeKind::Lreal), nullptr);
    EXPECT_EQ(operatorFor(OperatorFamily::Inv, TypeKind::Liti), nullptr);
    EXPECT_EQ(operatorFor(OperatorFamily::AssertRange, TypeKind::Liti), nullptr);
    EXPECT_EQ(operatorFor(OperatorFamily::BranchInRange, TypeKind::Time), nullptr);
}

TEST(OperatorRegistry, TextIsTheClassNameWithoutCmdAndABlankSaveTheExceptions) {
    const std::pair<OperatorFamily, TypeKind> spots[] = {
        {OperatorFamily::Sub, TypeKind::Usint}, {OperatorFamily::Mod, TypeKind::Ulint},
        {OperatorFamily::Expt, TypeKind::Real},  {OperatorFamily::Atan2, TypeKind::Litr},
        {OperatorFamily::Abs, TypeKind::Udint},  {OperatorFamily::Neg, TypeKind::Litr},
        {OperatorFamily::Round, TypeKind::Real}, {OperatorFamily::Sqrt, TypeKind::Litr},
        {OperatorFamily::Len, TypeKind::Void},   {OperatorFamily::Mid, TypeKind::Void},
        {OperatorFamily::Xor, TypeKind::Liti},   {OperatorFamily::Inv, TypeKind::Word},
        {OperatorFamily::Le, TypeKind::Char},    {OperatorFamily::Ge, TypeKind::Wstring}};
    const char* texts[] = {"SubUsint ", "ModUlint ", "ExptReal ", "Atan2Litr ", "AbsUdint ",
                           "NegLitr ",  "RoundReal ", "SqrtLitr ", "Len",       "Mid",
                           "XorLiti ",  "InvWord ",   "LeChar ",   "GeWstring "};
    for (size_t i = 0; i < std::size(spots); ++i) {
        const Code code(test::newOperator(spots[i].first, spots[i].second));
        EXPECT_EQ(code.node()->asItem()->toString(), texts[i]);
    }
    // The operands follow the text.
    const std::pair<OperatorFamily, OperatorOperands> withValues[] = {
        {OperatorFamily::CastStrStr, {80, 255}},
        {OperatorFamily::CastCharStr, {80, 0}},
        {OperatorFamily::CastStrChar, {30, 0}},
        {OperatorFamily::Concat, {3, 0}}};
    const char* valueTexts[] = {"CastStr 80 255", "CastCharStr 80", "CastStrChar 30", "Concat 3"};
    for (size_t i = 0; i < std::size(withValues); ++i) {
        const auto& [family, operands] = withValues[i];
        const Code code(operatorFor(family, TypeKind::Void)->make(operands));
        EXPECT_EQ(code.node()->asItem()->toString(), valueTexts[i]);
    }
    // Neither the count nor a capacity is printed.
    for (const OperatorOperands operands :
         {OperatorOperands{0}, OperatorOperands{5}, OperatorOperands{-3, 0, nullptr, 10}}) {
        const Code code(operatorFor(OperatorFamily::Min, TypeKind::Time)->make(operands));
        EXPECT_EQ(code.node()->asItem()->toString(), "MinTime ");
        const Code string(operatorFor(OperatorFamily::Max, TypeKind::String)->make(operands));
        EXPECT_EQ(string.node()->asItem()->toString(), "MaxString ");
    }
    const Code eqString(operatorFor(OperatorFamily::Eq, TypeKind::String)->make({0, 0, nullptr, 10}));
    EXPECT_EQ(eqString.node()->asItem()->toString(), "EqString ");
    // The range checks print their bounds and the branches their label; AssertRange,
    // BranchLtEq and BranchGtEq without the suffix.
    auto* label = new Label();
    const Code held(label);
    const std::string labelText = " Label " + std::to_string(label->id());
    for (const OperatorEntry& entry : operatorRegistry()) {
        const Code code(entry.make({-3, 12, label}));
        const std::string text = code.node()->asItem()->toString();
        switch (entry.family) {
        case OperatorFamily::AssertRange: EXPECT_EQ(text, "AssertRange -3 12"); break;
        case OperatorFamily::BranchInRange:
            EXPECT_EQ(text, "BranchInRange" + std::string(entry.suffix) + labelText);
            break;
        case OperatorFamily::BranchLtEq: EXPECT_EQ(text, "BranchLtEq" + labelText); break;
        case OperatorFamily::BranchGtEq: EXPECT_EQ(text, "BranchGtEq" + labelText); break;
        default: break;
        }
    }
    const std::set<OperatorFamily> exceptions = {
        OperatorFamily::CastStrStr, OperatorFamily::Len,        OperatorFamily::Mid,
        OperatorFamily::AssertRange, OperatorFamily::BranchLtEq, OperatorFamily::BranchGtEq};
    std::set<std::type_index> classes;
    for (const OperatorEntry& entry : operatorRegistry()) {
        const Code code(entry.make({}));
        const CodeItem& item = *code.node()->asItem();
        const std::string name =
            std::string(familyOf(entry.family).name) + std::string(entry.suffix);
        EXPECT_EQ(entry.text.starts_with(name + " "), !exceptions.contains(entry.family))
            << entry.text;
        EXPECT_TRUE(item.toString().starts_with(entry.text)) << item.toString();
        // The mangled name holds the class name with its length: "11CmdAddLreal".
        const std::string className = "Cmd" + name;
        EXPECT_NE(
            std::string(typeid(item).name()).find(std::to_string(className.size()) + className),
            std::string::npos)
            << typeid(item).name() << " for " << entry.text;
        EXPECT_TRUE(classes.insert(typeid(item)).second) << entry.text << "shares its class";
    }
}

TEST(OperatorRegistry, CloneIsAFreshObjectOfTheSameClassWithTheSpanAndOperands) {
    for (const OperatorEntry& entry : operatorRegistry()) {
        const Code original(entry.make({12, 34}));
        CodeItem& item = *original.node()->asItem();
        EXPECT_EQ(item.refCount(), 1);
        EXPECT_FALSE(item.span().valid) << entry.text;
        item.setSpan(spanAt(7, 3, "clone.jyx"));
        const Code extra = original; // the count is 2 now; a copied count would show
        CodeItem* copy = item.clone();
        EXPECT_EQ(copy->refCount(), 0) << entry.text;
        EXPECT_EQ(typeid(*copy), typeid(item)) << entry.text;
        EXPECT_NE(copy, &item);
        EXPECT_EQ(copy->span().toString(), "clone.jyx: 7.3-7.4") << entry.text;
        EXPECT_EQ(copy->toString(), item.toString());
        if (entry.shape == OperandShape::Bounds) {
            EXPECT_EQ(copy->toString(), "AssertRange 12 34");
        }
        if (entry.shape == OperandShape::Values) {
            EXPECT_TRUE(copy->toString().ends_with(entry.family == OperatorFamily::CastStrStr
                                                       ? " 12 34"
                                                       : " 12"))
                << copy->toString();
        }
        ASSERT_NE(copy->asCmd(), nullptr);
        const Code held(copy);
    }
}

// ---- results against a reference --------------------------------------------------------

int cellBits(TypeKind kind) { return 8 * cellBytes(cellOf(kind)); }
bool isSigned(TypeKind kind) {
    const Cell cell = cellOf(kind);
    return cell == Cell::S8 || cell == Cell::S16 || cell == Cell::S32 || cell == Cell::S64;
}

// The value of the low bits as the kind reads them.
__int128 integerValue(TypeKind kind, uint64_t bits) {
    const int width = cellBits(kind);
    const uint64_t low = bits & widthMask(kind);
    if (isSigned(kind) && width < 64 && (low >> (width - 1)) != 0) {
        return static_cast<__int128>(low) - (static_cast<__int128>(1) << width);
    }
    return isSigned(kind) ? static_cast<__int128>(static_cast<int64_t>(low))
                          : static_cast<__int128>(low);
}

// Exact integer arithmetic in 128 bits, reduced to the type's width; real arithmetic
// in double, rounded once to float for REAL (exact for +, -, *, /: a double holds
// every such result of two floats closely enough to round correctly).
// One operand: ABS and NEG by their IEEE and two's-complement definitions (the sign of
// -0.0 and of NaN kept by ABS; NEG of either zero +0.0), ROUND from the integral and
// fractional parts (both exact), and the library functions on double, rounded once.
template <class T>
T unaryReal(OperatorFamily family, T x) {
    const auto library = [x](double (*f)(double)) {
        return static_cast<T>(f(static_cast<double>(x)));
    };
    switch (family) {
    case OperatorFamily::Abs: return std::isnan(x) || x == T{0} ? x : std::fabs(x);
    case OperatorFamily::Neg:
        if (std::isnan(x)) return x;
        return x == T{0} ? T{0} : -x;
    case OperatorFamily::Round: {
        if (std::isnan(x) || std::isinf(x)) return x;
        const T magnitude = std::fabs(x);
        const T whole = std::floor(magnitude);
        const T rounded = magnitude - whole >= T{0.5} ? whole + T{1} : whole;
        return std::copysign(rounded, x);
    }
    case OperatorFamily::Sqrt: return library([](double v) { return std::sqrt(v); });
    case OperatorFamily::Ln: return library([](double v) { return std::log(v); });
    case OperatorFamily::Log: return library([](double v) { return std::log10(v); });
    case OperatorFamily::Exp: return library([](double v) { return std::exp(v); });
    case OperatorFamily::Sin: return library([](double v) { return std::sin(v); });
    case OperatorFamily::Cos: return library([](double v) { return std::cos(v); });
    case OperatorFamily::Tan: return library([](double v) { return std::tan(v); });
    case OperatorFamily::Asin: return library([](double v) { return std::asin(v); });
    case OperatorFamily::Acos: return library([](double v) { return std::acos(v); });
    case OperatorFamily::Atan: return library([](double v) { return std::atan(v); });
    default: ADD_FAILURE() << "no one-operand real reference for this family"; return x;
    }
}

Outcome unaryReference(OperatorFamily family, TypeKind kind, uint64_t operand) {
    Outcome out;
    const Cell cell = cellOf(kind);
    if (cell == Cell::F64) {
        out.bits = f64(unaryReal(family, std::bit_cast<double>(operand)));
    } else if (cell == Cell::F32) {
        out.bits = f32(unaryReal(family, std::bit_cast<float>(static_cast<uint32_t>(operand))));
    } else if (family == OperatorFamily::Inv) {
        out.bits = cell == Cell::U1 ? uint64_t{operand == 0} : ~operand & widthMask(kind);
    } else {
        const __int128 v = integerValue(kind, operand);
        const __int128 result = family == OperatorFamily::Neg || v < 0 ? -v : v;
        out.bits = static_cast<uint64_t>(static_cast<unsigned __int128>(result)) & widthMask(kind);
    }
    return out;
}

// The relation of a comparison family, or -1 for another family.
template <class T>
int relation(OperatorFamily family, T x, T y) {
    switch (family) {
    case OperatorFamily::Eq: return x == y;
    case OperatorFamily::Ne: return x != y;
    case OperatorFamily::Lt: return x < y;
    case OperatorFamily::Gt: return x > y;
    case OperatorFamily::Le: return x <= y;
    case OperatorFamily::Ge: return x >= y;
    default: return -1;
    }
}

Outcome reference(OperatorFamily family, TypeKind kind, uint64_t left, uint64_t right) {
    Outcome out;
    const Cell cell = cellOf(kind);
    // Comparisons, and Min and Max of two (the last value wins unless the first is
    // strictly less or greater), on the values as the kind reads them.
    const bool single = cell == Cell::F32;
    const auto real = [single](uint64_t bits) {
        return single ? static_cast<double>(std::bit_cast<float>(static_cast<uint32_t>(bits)))
                      : std::bit_cast<double>(bits);
    };
    const int holds = test::isRealCell(cell)
                          ? relation(family, real(left), real(right))
                          : relation(family, integerValue(kind, left), integerValue(kind, right));
    if (holds >= 0) {
        out.bits = static_cast<uint64_t>(holds);
        return out;
    }
    if (family == OperatorFamily::Min || family == OperatorFamily::Max) {
        const OperatorFamily strict =
            family == OperatorFamily::Min ? OperatorFamily::Lt : OperatorFamily::Gt;
        const int first = test::isRealCell(cell)
                              ? relation(strict, real(left), real(right))
                              : relation(strict, integerValue(kind, left), integerValue(kind, right));
        out.bits = (first == 1 ? left : right) & widthMask(kind);
        return out;
    }
    if (test::isRealCell(cell)) {
        const double l = real(left);
        const double r = real(right);
        double result = 0;
        switch (family) {
        case OperatorFamily::Add: result = l + r; break;
        case OperatorFamily::Sub: result = l - r; break;
        case OperatorFamily::Mul: result = l * r; break;
        case OperatorFamily::Div:
            if (r == 0.0) {
                out.error = "Division by zero";
                return out;
            }
            result = l / r;
            break;
        case OperatorFamily::Expt: result = std::pow(l, r); break;
        case OperatorFamily::Atan2: result = std::atan2(l, r); break;
        default: ADD_FAILURE() << "no real reference for this family"; return out;
        }
        out.bits = single ? std::bit_cast<uint32_t>(static_cast<float>(result))
                          : std::bit_cast<uint64_t>(result);
        return out;
    }
    const __int128 l = integerValue(kind, left);
    const __int128 r = integerValue(kind, right);
    unsigned __int128 result = 0;
    using U = unsigned __int128;
    switch (family) {
    case OperatorFamily::Add: result = static_cast<U>(l) + static_cast<U>(r); break;
    case OperatorFamily::Sub: result = static_cast<U>(l) - static_cast<U>(r); break;
    case OperatorFamily::Mul: result = static_cast<U>(l) * static_cast<U>(r); break;
    case OperatorFamily::Div:
        if (r == 0) {
            out.error = "Division by zero";
            return out;
        }
        result = static_cast<U>(l / r);
        break;
    case OperatorFamily::Mod:
        if (r == 0) {
            out.error = "Modulo by zero";
            return out;
        }
        result = static_cast<U>(l % r);
        break;
    case OperatorFamily::And: result = static_cast<U>(l) & static_cast<U>(r); break;
    case OperatorFamily::Or: result = static_cast<U>(l) | static_cast<U>(r); break;
    case OperatorFamily::Xor: result = static_cast<U>(l) ^ static_cast<U>(r); break;
    default: ADD_FAILURE() << "no integer reference for this family"; return out;
    }
    out.bits = static_cast<uint64_t>(result) & widthMask(kind);
    return out;
}

std::vector<uint64_t> operandsFor(TypeKind kind) {
    const Cell cell = cellOf(kind);
    if (cell == Cell::U1) return {0, 1}; // a BOOL push writes no other byte
    if (cell == Cell::F64 || cell == Cell::F32) {
        const double values[] = {0.0,  -0.0,   1.0,   -1.0,          2.0,         0.5,
                                 3.0,  -8.0,   1.0 / 3.0, 1e38,     3e38,        16777216.0,
                                 1e300, kInf,  -kInf, std::nan(""), 1e-310,      -2.5,
                                 2.5,  -0.5,   100.0, 0.49999999999999994, 4503599627370497.0,
                                 0.7,  -1.5,   8388609.0};
        std::vector<uint64_t> bits;
        for (const double x : values) {
            bits.push_back(cell == Cell::F64 ? f64(x) : f32(static_cast<float>(x)));
        }
        return bits;
    }
    return {0,          1,          2,          7,          300,        i64(-1),
            i64(-2),    i64(-7),    0x7F,       0x80,       0xFF,       0x7FFF,
            0x8000,     0xFFFF,     0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x7FFFFFFFFFFFFFFF,
            0x8000000000000000, 0x123456789ABCDEF0, 4294967296, 4294967297};
}

bool sameResult(TypeKind kind, const Outcome& a, const Outcome& b) {
    if (a.error != b.error) return false;
    if (a.error) return true;
    const Cell cell = cellOf(kind);
    if (cell == Cell::F64 && std::isnan(std::bit_cast<double>(a.bits))) {
        return std::isnan(std::bit_cast<double>(b.bits));
    }
    if (cell == Cell::F32 && std::isnan(std::bit_cast<float>(static_cast<uint32_t>(a.bits)))) {
        return std::isnan(std::bit_cast<float>(static_cast<uint32_t>(b.bits)));
    }
    return a.bits == b.bits;
}

// Every one-cell class on the channel's interpreter (static path) and on a plain
// machine (virtual path), over every operand (pair) of interest: both agree with the
// reference, errors included, and a failing instruction leaves nothing behind.
TEST(OperatorFamily, EveryClassComputesTheReferenceOnBothMachines) {
    StackmachineInterpreter interpreter;
    Stackmachine plain;
    for (const OperatorEntry& entry : operatorRegistry()) {
        const int operandCount = referenceOperands(entry);
        if (operandCount == 0) continue; // tested by the family's own tests
        const Code code(entry.make(referenceShape(entry)));
        const std::optional<Cell> result = resultCellOf(entry);
        Cmd& cmd = test::cmdOf(code);
        const std::vector<uint64_t> operands = operandsFor(entry.kind);
        const std::vector<uint64_t> lefts = operandCount == 2 ? operands : std::vector<uint64_t>{0};
        int failures = 0;
        for (const uint64_t left : lefts) {
            for (const uint64_t right : operands) {
                const bool unary = operandCount == 1;
                const Outcome expected = unary ? unaryReference(entry.family, entry.kind, right)
                                               : reference(entry.family, entry.kind, left, right);
                const Outcome onInterpreter =
                    unary ? executeOn(interpreter, cmd, entry.kind, {right}, result)
                          : executeOn(interpreter, cmd, entry.kind, left, right, result);
                const Outcome onPlain =
                    unary ? executeOn(plain, cmd, entry.kind, {right}, result)
                          : executeOn(plain, cmd, entry.kind, left, right, result);
                const TypeKind resultKind = result ? TypeKind::Bool : entry.kind;
                const bool good = sameResult(resultKind, onInterpreter, expected) &&
                                  sameResult(resultKind, onPlain, expected);
                if (!good && ++failures <= 5) {
                    ADD_FAILURE() << entry.text << "of 0x" << std::hex << left << ", 0x" << right
                                  << ": interpreter 0x" << onInterpreter.bits << " "
                                  << onInterpreter.error.value_or("") << ", plain 0x"
                                  << onPlain.bits << " " << onPlain.error.value_or("")
                                  << ", expected 0x" << expected.bits << " "
                                  << expected.error.value_or("");
                }
            }
        }
    }
}

// Each Litr class as its Lreal class and each Liti class as its Lint class (And, Or and
// Xor: its Lword class), to the bit, NaN payloads included.
TEST(OperatorFamily, LiteralClassesMatchTheirTypedTwinsBitForBit) {
    const std::pair<TypeKind, TypeKind> twins[] = {{TypeKind::Litr, TypeKind::Lreal},
                                                   {TypeKind::Liti, TypeKind::Lint}};
    const uint64_t realCells[] = {f64(1.5), f64(-0.0), kNegativeNanBits, f64(kInf), f64(1e-310),
                                  f64(3.0)};
    StackmachineInterpreter machine;
    for (const auto& [literal, typed] : twins) {
        for (const OperatorEntry& entry : operatorRegistry()) {
            if (entry.kind != literal || referenceOperands(entry) == 0) continue;
            const bool bitwise = entry.family == OperatorFamily::And ||
                                 entry.family == OperatorFamily::Or ||
                                 entry.family == OperatorFamily::Xor;
            const OperatorEntry* twin =
                operatorFor(entry.family, bitwise ? TypeKind::Lword : typed);
            ASSERT_NE(twin, nullptr) << entry.text;
            const Code a(entry.make(referenceShape(entry)));
            const Code b(twin->make(referenceShape(*twin)));
            const std::optional<Cell> result = resultCellOf(entry);
            const std::vector<uint64_t> cells = literal == TypeKind::Litr
                                                    ? std::vector<uint64_t>(std::begin(realCells),
                                                                            std::end(realCells))
                                                    : operandsFor(TypeKind::Lint);
            const bool unary = referenceOperands(entry) == 1;
            const std::vector<uint64_t> lefts = unary ? std::vector<uint64_t>{0} : cells;
            for (const uint64_t left : lefts) {
                for (const uint64_t right : cells) {
                    const auto run = [&](const Code& c, TypeKind k) {
                        return unary ? executeOn(machine, test::cmdOf(c), k, {right}, result)
                                     : executeOn(machine, test::cmdOf(c), k, left, right, result);
                    };
                    const Outcome x = run(a, literal);
                    const Outcome y = run(b, twin->kind);
                    EXPECT_EQ(x.bits, y.bits)
                        << entry.text << "0x" << std::hex << left << " 0x" << right;
                    EXPECT_EQ(x.error, y.error) << entry.text;
                }
            }
        }
    }
}

// ---- a stepped loop allocates nothing ------------------------------------------------------

// For every class the reference covers: constant 7, constant 2 (two operands only),
// the instruction, SpAdd -1
TEST(OperatorFamily, SteppedLoopOfEveryClassAllocatesNothing) {
    std::vector<CodeItem*> body;
    for (const OperatorEntry& entry : operatorRegistry()) {
        const int operandCount = referenceOperands(entry);
        if (operandCount == 0) continue; // tested by the family's own tests
        body.push_back(test::constantOf(entry.kind, test::cellValue(entry.kind, 7)));
        if (operandCount == 2) {
            body.push_back(test::constantOf(entry.kind, test::cellValue(entry.kind, 2)));
        }
        body.push_back(entry.make(referenceShape(entry)));
        body.push_back(new CmdSpAdd(-1));
    }
    test::expectLoopAllocatesNothing(body);
}

} // namespace
} // namespace Karsto
