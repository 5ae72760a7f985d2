#pragma once
// What the rows of the operator tables name, shared by the source files that build the
// classes and by the registry: the type suffixes as types, the text rule and the
// factory of every row. Private to the operator library.

#include <cstdint>

#include "core/machine_cells.h"
#include "core/type_kind.h"
#include "instructions/operators/operator_table.h"

namespace Karsto::operators {

// The cell formats a suffix row can name: the machine types, and Chars for a string
// value, which no single pop or push moves.
namespace format {
#define KARSTO_MACHINE_TYPE(name, In, Out, Cell, PushTrace, PopTrace) using name = cell::name;
#include "core/machine_types.def"
struct Chars {};
} // namespace format

// One type per suffix row: `suffix::Udint::kKind`, `suffix::Udint::Cell`.
namespace suffix {
#define KARSTO_OPERATOR_SUFFIX(Suffix, Kind, Cells)                                              \
    struct Suffix {                                                                              \
        static constexpr TypeKind kKind = TypeKind::Kind;                                        \
        using Cell = format::Cells;                                                              \
    };
#include "instructions/operators/operator_suffixes.def"
} // namespace suffix

// The text of a row's instances before any operand: the class name without "Cmd" and
// one blank.
#define KARSTO_OPERATOR_TEXT(Family, Suffix) #Family #Suffix " "

// The factory of every row, defined beside its class.
#define KARSTO_OPERATOR_ROW(Family, Suffix, Shape)                                                \
    Cmd* make##Family##Suffix(const OperatorOperands& operands);
#include "instructions/operators/operator_tables.def"

} // namespace Karsto::operators
