#include "instructions/conversions/conversion_table.h"

#include <array>
#include <iterator>

#include "instructions/conversions/cast_factories.h"

namespace Karsto {
namespace {

// ---- row counts: a row added to or lost from a table shows here ----------------------

enum class CastTable : int32_t {
    FromEnum = 0,
    FromReal = 1,
    FromSigned = 2,
    FromLiteral = 3,
    FromUnsigned = 4,
    FromBoolChar = 5,
    FromBitString = 6,
    TimeDate = 7,
};

constexpr CastTable kRowTables[] = {
#define KARSTO_CAST_ROW(Table, From, To, Pop, Push, Rule) CastTable::Table,
#include "instructions/conversions/cast_tables.def"
};

constexpr int rowsIn(CastTable table) {
    int rows = 0;
    for (const CastTable rowTable : kRowTables) rows += rowTable == table ? 1 : 0;
    return rows;
}

static_assert(rowsIn(CastTable::FromEnum) == 17, "17 conversions from an enumeration");
static_assert(rowsIn(CastTable::FromReal) == 24, "12 conversions each from LREAL and REAL");
static_assert(rowsIn(CastTable::FromSigned) == 60, "15 each from LINT, DINT, INT and SINT");
static_assert(rowsIn(CastTable::FromLiteral) == 18, "16 from the integer-, 2 from the real-literal kind");
static_assert(rowsIn(CastTable::FromUnsigned) == 60, "15 each from ULINT, UDINT, UINT and USINT");
static_assert(rowsIn(CastTable::FromBoolChar) == 22, "12 from BOOL, 5 each from CHAR and WCHAR");
static_assert(rowsIn(CastTable::FromBitString) == 52, "13 each from LWORD, DWORD, WORD and BYTE");
static_assert(rowsIn(CastTable::TimeDate) == 16, "8 between short and long forms, 8 parts of DT and LDT");
static_assert(std::size(kRowTables) == 269, "the conversion family has 269 classes");

// ---- registry and selection -----------------------------------------------------------

constexpr ConversionEntry kRegistry[] = {
#define KARSTO_CAST_ROW(Table, From, To, Pop, Push, Rule)                                             \
    ConversionEntry{TypeKind::From, TypeKind::To, &conversions::makeCast##From##To},
#include "instructions/conversions/cast_tables.def"
};

// Indexed by source kind, then target kind.
using SelectionTable = std::array<ConversionFactory, kTypeKindCount * kTypeKindCount>;

// Proves while compiling that no pair of kinds has two classes and that no class
// converts a kind to itself: either makes the throw a compile error.
consteval SelectionTable buildSelection() {
    SelectionTable table{};
    for (const ConversionEntry& entry : kRegistry) {
        if (entry.from == entry.to) throw "a conversion from a kind to itself";
        ConversionFactory& cell =
            table[static_cast<size_t>(kindIndex(entry.from) * kTypeKindCount + kindIndex(entry.to))];
        if (cell != nullptr) throw "two conversions for one pair of kinds";
        cell = entry.make;
    }
    return table;
}

constexpr SelectionTable kSelection = buildSelection();

bool isKind(TypeKind kind) { return kindIndex(kind) >= 0 && kindIndex(kind) < kTypeKindCount; }

} // namespace

ConversionFactory conversionFor(TypeKind from, TypeKind to) {
    if (!isKind(from) || !isKind(to)) return nullptr;
    return kSelection[static_cast<size_t>(kindIndex(from) * kTypeKindCount + kindIndex(to))];
}

std::span<const ConversionEntry> conversionRegistry() { return kRegistry; }

} // namespace Karsto
