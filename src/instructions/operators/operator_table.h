#pragma once
// The operator instructions as the code generator and the built-in library see them:
// selection by operation family and operand kind, and the registry of every class.
// The instruction classes and their tables stay inside the library.

#include <cstdint>
#include <span>
#include <string_view>

#include "core/type_kind.h"

namespace Karsto {

class Cmd;
class Label;

enum class OperatorFamily : int32_t {
#define KARSTO_OPERATOR_FAMILY(Family, Number, Classes) Family = Number,
#include "instructions/operators/operator_families.def"
};

inline constexpr int32_t kOperatorFamilyCount = 52;

// What a class takes besides its span, fixed per family.
enum class OperandShape : int32_t {
    None = 0,   // nothing: arithmetic, bitwise, comparison, unary, BCD, shift and rotate
    Count = 1,  // an int64 count, not printed (minimum and maximum)
    Bounds = 2, // two int64 bounds (range checks)
    Target = 3, // a target label (range branches)
    Values = 4, // one or two int64 values (string and object-check instructions)
};

// The capacity of the default STRING and WSTRING types (kDefaultStringCapacity).
inline constexpr int32_t kOperatorDefaultCapacity = 255;

// The operands of a new instruction; each shape reads only its own fields.
struct OperatorOperands {
    int64_t first = 0;       // Count: the count; Bounds: the lower bound; Values: the first
    int64_t second = 0;      // Bounds: the upper bound; Values: the second
    Label* target = nullptr; // Target: the label, held without a reference
    // The String and Wstring members of the comparisons and of Min and Max, whatever
    // their shape: the capacity of both (all) operand values, each capacity + 1 cells.
    // Not printed; the emitters give the common type's.
    int32_t capacity = kOperatorDefaultCapacity;
};

// Creates a new instruction: invalid span, no holder yet. The caller gives it its span
// and holds it in a Code.
using OperatorFactory = Cmd* (*)(const OperatorOperands& operands);

// One operator class.
struct OperatorEntry {
    OperatorFamily family;
    TypeKind kind;           // the kind of its type suffix
    std::string_view suffix; // "Lreal", "Udint", ...
    std::string_view text;   // the text of a new instance, operands aside: "AddLreal "
    OperandShape shape;
    OperatorFactory make;
};

// The class of the family for operands of that kind, or null when the family has none
// for it; kinds that are no TypeKind find nothing.
const OperatorEntry* operatorFor(OperatorFamily family, TypeKind kind);

// Every operator class once, for checks across the whole family.
std::span<const OperatorEntry> operatorRegistry();

} // namespace Karsto
