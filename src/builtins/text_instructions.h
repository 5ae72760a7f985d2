#pragma once
// The print and to-string instructions as the built-in functions see them: per value
// type a factory of its CmdPrint<Type> and of its CmdToString<Type>. The classes
// themselves (one pair per row of text_instructions.def) stay inside the library.
//
// CmdPrint<Type> pops one value (a STRING or WSTRING of the default capacity: 256
// cells) and writes its text to standard output, unflushed, with nothing added.
// CmdToString<Type> pops it and pushes its text as a STRING of the default capacity,
// cut to 255 characters.

#include <cstdint>
#include <span>

#include "core/type_kind.h"

namespace Karsto {

class Cmd;

// Creates a new instruction: invalid span, no holder yet.
using TextInstructionFactory = Cmd* (*)();

struct TextInstructionEntry {
    TypeKind kind; // the value's kind; String and Wstring take the default capacity only
    TextInstructionFactory makePrint;
    TextInstructionFactory makeToString;
};

// The number of value types with a print and a to-string instruction.
inline constexpr int32_t kTextInstructionTypes = 29;

// Every pair once, for checks across both families.
std::span<const TextInstructionEntry> textInstructionRegistry();

// The pair of the kind, or null when values of that kind have none.
const TextInstructionEntry* textInstructionsFor(TypeKind kind);

} // namespace Karsto
