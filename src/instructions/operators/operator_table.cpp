#include "instructions/operators/operator_table.h"

#include <array>
#include <iterator>

#include "instructions/operators/operator_rows.h"

namespace Karsto {
namespace {

struct FamilyRow {
    OperatorFamily family;
    int32_t classes;
};

constexpr FamilyRow kFamilies[] = {
#define KARSTO_OPERATOR_FAMILY(Family, Number, Classes) {OperatorFamily::Family, Classes},
#include "instructions/operators/operator_families.def"
};
static_assert(std::size(kFamilies) == kOperatorFamilyCount, "52 operation families");

constexpr TypeKind kSuffixKinds[] = {
#define KARSTO_OPERATOR_SUFFIX(Suffix, Kind, Cells) TypeKind::Kind,
#include "instructions/operators/operator_suffixes.def"
};
static_assert(std::size(kSuffixKinds) == 29, "29 type suffixes");

// Every family number and every suffix kind once: a duplicate makes the throw a
// compile error.
consteval bool numbersUnique() {
    std::array<bool, kOperatorFamilyCount> family{};
    for (const FamilyRow& row : kFamilies) {
        const auto i = static_cast<int32_t>(row.family);
        if (i < 0 || i >= kOperatorFamilyCount || family[static_cast<size_t>(i)])
            throw "a family number out of range or twice";
        family[static_cast<size_t>(i)] = true;
    }
    std::array<bool, kTypeKindCount> kind{};
    for (const TypeKind k : kSuffixKinds) {
        if (kind[static_cast<size_t>(kindIndex(k))]) throw "two suffixes for one kind";
        kind[static_cast<size_t>(kindIndex(k))] = true;
    }
    return true;
}
static_assert(numbersUnique());

constexpr OperatorEntry kRegistry[] = {
#define KARSTO_OPERATOR_ROW(Family, Suffix, Shape)                                                 \
    OperatorEntry{OperatorFamily::Family,                                                          \
                  KARSTO_OPERATOR_SUFFIX_TYPE(Suffix)::kKind,                                      \
                  #Suffix,                                                                         \
                  KARSTO_OPERATOR_TEXT(Family, Suffix),                                            \
                  OperandShape::Shape,                                                             \
                  &operators::make##Family##Suffix},
#include "instructions/operators/operator_tables.def"
};

// Every family has the number of classes its row gives, once its table is written.
// TODO(#26): until the time-stamp and object-check families land (UtcTimestamp,
// UtcDate, CheckNonNull, CastClassClass) a family may still have none; then every
// family must have its classes, 453 in all.
consteval bool classCountsPinned() {
    for (const FamilyRow& row : kFamilies) {
        int32_t classes = 0;
        for (const OperatorEntry& entry : kRegistry) classes += entry.family == row.family ? 1 : 0;
        if (classes != row.classes && classes != 0) throw "a family with a wrong class count";
    }
    return true;
}
static_assert(classCountsPinned());

// Per family, indexed by TypeKind: the registry index of the class, -1 for none.
using SelectionTable =
    std::array<int16_t, static_cast<size_t>(kOperatorFamilyCount * kTypeKindCount)>;

constexpr size_t cellOf(OperatorFamily family, TypeKind kind) {
    return static_cast<size_t>(static_cast<int32_t>(family) * kTypeKindCount + kindIndex(kind));
}

// Proves while compiling that no family has two classes for one kind.
consteval SelectionTable buildSelection() {
    SelectionTable table{};
    table.fill(-1);
    for (size_t i = 0; i < std::size(kRegistry); ++i) {
        int16_t& cell = table[cellOf(kRegistry[i].family, kRegistry[i].kind)];
        if (cell >= 0) throw "two classes of one family for one kind";
        cell = static_cast<int16_t>(i);
    }
    return table;
}

constexpr SelectionTable kSelection = buildSelection();

} // namespace

const OperatorEntry* operatorFor(OperatorFamily family, TypeKind kind) {
    const auto f = static_cast<int32_t>(family);
    const int32_t k = kindIndex(kind);
    if (f < 0 || f >= kOperatorFamilyCount || k < 0 || k >= kTypeKindCount) return nullptr;
    const int16_t index = kSelection[cellOf(family, kind)];
    return index < 0 ? nullptr : &kRegistry[index];
}

std::span<const OperatorEntry> operatorRegistry() { return kRegistry; }

} // namespace Karsto
