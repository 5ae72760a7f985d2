#pragma once
// The conversion instructions as the code generator sees them: a factory chosen by the
// kinds of the source and the target type. The instruction classes themselves stay
// inside the library.

#include <span>

#include "core/type_kind.h"

namespace Karsto {

class Cmd;

// Creates a new conversion instruction: invalid span, no holder yet. The caller gives
// it its span and holds it in a Code.
using ConversionFactory = Cmd* (*)();

// The instruction that converts a value of kind `from` to kind `to`, or null when no
// instruction converts that pair (a kind to itself included: nothing is emitted for
// it). Every enumeration type is the source kind Enum; kinds that are no TypeKind
// find nothing.
ConversionFactory conversionFor(TypeKind from, TypeKind to);

// One conversion class.
struct ConversionEntry {
    TypeKind from;
    TypeKind to;
    ConversionFactory make;
};

// Every conversion class once, for checks across the whole family.
std::span<const ConversionEntry> conversionRegistry();

} // namespace Karsto
