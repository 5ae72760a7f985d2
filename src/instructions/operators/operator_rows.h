#pragma once
// What the rows of the operator tables name, shared by the source files that build the
// classes and by the registry: the type suffixes as types, the text rule and the
// factory of every row. Private to the operator library.

#include <cstdint>
#include <iterator>
#include <string_view>
#include <type_traits>

#include "core/machine_cells.h"
#include "core/type_kind.h"
#include "instructions/operators/operator_table.h"

namespace Karsto::operators {

// The cell formats a suffix row can name: the machine types, and Chars and Wchars for
// a STRING and a WSTRING value, which no single pop or push moves: capacity + 1 cells,
// each character in the low 8 or 16 bits of its cell, read with the Char format.
namespace format {
#define KARSTO_MACHINE_TYPE(name, In, Out, Cell, PushTrace, PopTrace) using name = cell::name;
#include "core/machine_types.def"
struct Chars {
    using Char = cell::U8;
};
struct Wchars {
    using Char = cell::U16;
};
template <class Cell>
concept CharacterString = std::is_same_v<Cell, Chars> || std::is_same_v<Cell, Wchars>;
// No single format: the family moves its cells itself (the classes without a suffix).
struct Own {};
} // namespace format

// One type per suffix row: `suffix::Udint::kKind`, `suffix::Udint::Cell`.
namespace suffix {
#define KARSTO_OPERATOR_SUFFIX(Suffix, Kind, Cells)                                              \
    struct Suffix {                                                                              \
        static constexpr TypeKind kKind = TypeKind::Kind;                                        \
        using Cell = format::Cells;                                                              \
    };
#include "instructions/operators/operator_suffixes.def"

// A row whose Suffix column is empty makes a class without a type suffix (CmdLen,
// CmdConcat), selected with TypeKind::Void. KARSTO_OPERATOR_SUFFIX_TYPE(Udint) is
// suffix::OfUdint, the same type as suffix::Udint; of an empty column, suffix::Of.
struct Of {
    static constexpr TypeKind kKind = TypeKind::Void;
    using Cell = format::Own;
};
#define KARSTO_OPERATOR_SUFFIX(Suffix, Kind, Cells) using Of##Suffix = Suffix;
#include "instructions/operators/operator_suffixes.def"
} // namespace suffix

#define KARSTO_OPERATOR_SUFFIX_TYPE(Suffix) ::Karsto::operators::suffix::Of##Suffix

// The families whose classes print another text than the rule below, from
// operator_texts.def.
struct FamilyText {
    OperatorFamily family;
    std::string_view text;
};

inline constexpr FamilyText kFamilyTexts[] = {
#define KARSTO_OPERATOR_FAMILY_TEXT(Family, Text) {OperatorFamily::Family, Text},
#include "instructions/operators/operator_texts.def"
};

// A row's text: its family's text where operator_texts.def gives one, else the rule's.
constexpr std::string_view rowText(OperatorFamily family, std::string_view rule) {
    for (const FamilyText& row : kFamilyTexts) {
        if (row.family == family) return row.text;
    }
    return rule;
}

consteval bool familyTextsUnique() {
    for (size_t i = 0; i < std::size(kFamilyTexts); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (kFamilyTexts[i].family == kFamilyTexts[j].family) throw "a family text twice";
        }
    }
    return true;
}
static_assert(familyTextsUnique());

// The text of a row's instances before any operand: the class name without "Cmd" and
// one blank, unless operator_texts.def says otherwise for the family.
#define KARSTO_OPERATOR_TEXT(Family, Suffix)                                                      \
    ::Karsto::operators::rowText(::Karsto::OperatorFamily::Family, #Family #Suffix " ")

// The factory of every row, defined beside its class.
#define KARSTO_OPERATOR_ROW(Family, Suffix, Shape)                                                \
    Cmd* make##Family##Suffix(const OperatorOperands& operands);
#include "instructions/operators/operator_tables.def"

} // namespace Karsto::operators
