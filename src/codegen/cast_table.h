#pragma once
// The conversion table as the cast emitter and the family-wide tests see it: the entry
// of one ordered pair of type kinds. The table itself is built while compiling, from
// the rows of cast_table.def, inside cast_table.cpp.

#include <cstdint>

#include "core/type_kind.h"

namespace Karsto {

// What a cast of one pair emits; the letters are those of the table's rows.
enum class CastEntry : uint8_t {
    Refused = 0,        // .  "Invalid cast from '%s' to '%s'."
    Nothing = 1,        // =  an empty Code
    Convert = 2,        // A  CmdCast<From><To>
    RoundConvert = 3,   // R  CmdRound<From>, then CmdCast<From><To>
    FromEnum = 4,       // E  CmdCastEnum<To>
    CharToString = 5,   // H  CmdCastCharStr with the target's capacity
    StringToChar = 6,   // K  CmdCastStrChar with the source's capacity
    StringToString = 7, // S  CmdCastStrStr with the source's, then the target's capacity
    ClassToClass = 8,   // V  the class conversion
};

// The entry of the pair; kinds that are no TypeKind are refused.
CastEntry castEntry(TypeKind from, TypeKind to);

} // namespace Karsto
