#pragma once
// The kind code of every type. The numbers are fixed: the conversion mask uses the code
// as a bit index, and the instruction families are selected by it.

#include <cstdint>

namespace Karsto {

enum class TypeKind : int32_t {
    Liti = 0,       // "<integer literal>": an integer literal before it is given a type
    Litr = 1,       // "<real literal>"
    LitString = 2,  // "<string literal>"
    LitWstring = 3, // "<wstring literal>"
    Usint = 4,
    Uint = 5,
    Udint = 6,
    Ulint = 7,
    Sint = 8,
    Int = 9,
    Dint = 10,
    Lint = 11, // also carried by the internal "<addr>" and "<enumbase>"
    Real = 12,
    Lreal = 13,
    Bool = 14,
    Byte = 15,
    Word = 16,
    Dword = 17,
    Lword = 18,
    Time = 19,
    Ltime = 20,
    Dt = 21,
    Ldt = 22,
    Tod = 23,
    Ltod = 24,
    Date = 25,
    Ldate = 26,
    Char = 27,
    String = 28,
    Wchar = 29,
    Wstring = 30,
    Array = 31,
    Enum = 32,
    // Reserved: a subrange carries its base's kind and mask, so no type has this one.
    Subrange = 33,
    Struct = 34,
    Void = 35,
    Class = 36,
    Interface = 37,
    Function = 38,
    Pointer = 39,
};

inline constexpr int32_t kTypeKindCount = 40;

constexpr int32_t kindIndex(TypeKind kind) { return static_cast<int32_t>(kind); }

// The bit of a kind in a conversion mask.
constexpr uint64_t kindBit(TypeKind kind) { return uint64_t{1} << kindIndex(kind); }

} // namespace Karsto
