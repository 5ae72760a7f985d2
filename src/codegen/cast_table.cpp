#include "codegen/cast_table.h"

#include <array>
#include <cstddef>
#include <iterator>
#include <string_view>

namespace Karsto {
namespace {

enum class CastGrid : int32_t { Numbers, TimeDate, Strings, References };

struct GridColumn {
    CastGrid grid;
    TypeKind to;
};

struct GridRow {
    CastGrid grid;
    TypeKind from;
    std::string_view entries;
};

constexpr GridColumn kColumns[] = {
#define KARSTO_CAST_COLUMN(Grid, To) {CastGrid::Grid, TypeKind::To},
#include "codegen/cast_table.def"
};

constexpr GridRow kRows[] = {
#define KARSTO_CAST_ROW(Grid, From, Entries) {CastGrid::Grid, TypeKind::From, Entries},
#include "codegen/cast_table.def"
};

constexpr size_t kPairCount = static_cast<size_t>(kTypeKindCount) * kTypeKindCount;
using CastTable = std::array<CastEntry, kPairCount>;

constexpr size_t pairIndex(TypeKind from, TypeKind to) {
    return static_cast<size_t>(kindIndex(from) * kTypeKindCount + kindIndex(to));
}

consteval CastEntry entryOfLetter(char letter) {
    switch (letter) {
    case '.': return CastEntry::Refused;
    case '=': return CastEntry::Nothing;
    case 'A': return CastEntry::Convert;
    case 'R': return CastEntry::RoundConvert;
    case 'E': return CastEntry::FromEnum;
    case 'H': return CastEntry::CharToString;
    case 'K': return CastEntry::StringToChar;
    case 'S': return CastEntry::StringToString;
    case 'V': return CastEntry::ClassToClass;
    }
    throw "an entry letter the table does not know";
}

// The grid's n-th column, or a compile error when it has fewer.
consteval TypeKind columnOf(CastGrid grid, int32_t n) {
    int32_t seen = 0;
    for (const GridColumn& column : kColumns) {
        if (column.grid != grid) continue;
        if (seen == n) return column.to;
        ++seen;
    }
    throw "a row with more entries than its grid has columns";
}

consteval int32_t columnCount(CastGrid grid) {
    int32_t count = 0;
    for (const GridColumn& column : kColumns) count += column.grid == grid ? 1 : 0;
    return count;
}

// Every cell starts refused. A row must fill its grid exactly; a grid names each source
// and each target once; a pair that two grids name must agree.
consteval CastTable buildCastTable() {
    for (size_t i = 0; i < std::size(kColumns); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (kColumns[i].grid == kColumns[j].grid && kColumns[i].to == kColumns[j].to)
                throw "a column given twice in one grid";
        }
    }
    for (size_t i = 0; i < std::size(kRows); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (kRows[i].grid == kRows[j].grid && kRows[i].from == kRows[j].from)
                throw "a row given twice in one grid";
        }
    }
    CastTable table{};
    std::array<bool, kPairCount> named{};
    for (const GridRow& row : kRows) {
        int32_t n = 0;
        for (const char letter : row.entries) {
            if (letter == ' ') continue;
            const size_t pair = pairIndex(row.from, columnOf(row.grid, n));
            const CastEntry entry = entryOfLetter(letter);
            if (named[pair] && table[pair] != entry) throw "two grids disagree on a pair";
            table[pair] = entry;
            named[pair] = true;
            ++n;
        }
        if (n != columnCount(row.grid)) throw "a row with fewer entries than its grid has columns";
    }
    return table;
}

constexpr CastTable kCastTable = buildCastTable();

consteval int32_t pairsWith(CastEntry entry) {
    int32_t count = 0;
    for (const CastEntry cell : kCastTable) count += cell == entry ? 1 : 0;
    return count;
}

static_assert(pairsWith(CastEntry::Nothing) == 30, "30 pairs emit nothing");
static_assert(pairsWith(CastEntry::Convert) == 236, "236 pairs emit one CmdCast<From><To>");
static_assert(pairsWith(CastEntry::RoundConvert) == 16, "16 pairs round, then convert");
static_assert(pairsWith(CastEntry::FromEnum) == 17, "17 pairs emit one CmdCastEnum<To>");
static_assert(pairsWith(CastEntry::CharToString) + pairsWith(CastEntry::StringToChar) +
                      pairsWith(CastEntry::StringToString) ==
                  8,
              "8 pairs emit a character or string instruction");
static_assert(pairsWith(CastEntry::ClassToClass) == 1, "1 pair is the class conversion");
static_assert(kPairCount - static_cast<size_t>(pairsWith(CastEntry::Refused)) == 308,
              "308 pairs are accepted");

} // namespace

CastEntry castEntry(TypeKind from, TypeKind to) {
    const int32_t f = kindIndex(from);
    const int32_t t = kindIndex(to);
    if (f < 0 || f >= kTypeKindCount || t < 0 || t >= kTypeKindCount) return CastEntry::Refused;
    return kCastTable[pairIndex(from, to)];
}

} // namespace Karsto
