#pragma once
// Helpers for the tests of the instruction families: how each type suffix is held in a
// cell (written out here on their own, not taken from the libraries' tables), values as
// cell bits, and pushing and popping them by cell format.

#include <bit>
#include <cstdint>
#include <limits>
#include <string_view>

#include <gtest/gtest.h>

#include "core/stackmachine.h"
#include "core/type_kind.h"

namespace Karsto {

// The machine types an instruction pops and pushes.
enum class Cell : int32_t { F64, F32, U64, U32, U16, U8, U1, S64, S32, S16, S8 };

struct SuffixRow {
    std::string_view suffix;
    TypeKind kind;
    Cell cell;
};

inline constexpr SuffixRow kSuffixes[] = {
    {"Lreal", TypeKind::Lreal, Cell::F64}, {"Real", TypeKind::Real, Cell::F32},
    {"Sint", TypeKind::Sint, Cell::S8},    {"Int", TypeKind::Int, Cell::S16},
    {"Dint", TypeKind::Dint, Cell::S32},   {"Lint", TypeKind::Lint, Cell::S64},
    {"Usint", TypeKind::Usint, Cell::U8},  {"Uint", TypeKind::Uint, Cell::U16},
    {"Udint", TypeKind::Udint, Cell::U32}, {"Ulint", TypeKind::Ulint, Cell::U64},
    {"Litr", TypeKind::Litr, Cell::F64},   {"Liti", TypeKind::Liti, Cell::S64},
    {"Bool", TypeKind::Bool, Cell::U1},    {"Byte", TypeKind::Byte, Cell::U8},
    {"Word", TypeKind::Word, Cell::U16},   {"Dword", TypeKind::Dword, Cell::U32},
    {"Lword", TypeKind::Lword, Cell::U64}, {"Char", TypeKind::Char, Cell::U8},
    {"Wchar", TypeKind::Wchar, Cell::U16}, {"Date", TypeKind::Date, Cell::S64},
    {"Ldate", TypeKind::Ldate, Cell::S64}, {"Tod", TypeKind::Tod, Cell::S64},
    {"Ltod", TypeKind::Ltod, Cell::S64},   {"Dt", TypeKind::Dt, Cell::S64},
    {"Ldt", TypeKind::Ldt, Cell::S64},     {"Time", TypeKind::Time, Cell::S64},
    {"Ltime", TypeKind::Ltime, Cell::S64}, {"Enum", TypeKind::Enum, Cell::S64},
};

inline const SuffixRow& suffixRow(TypeKind kind) {
    for (const SuffixRow& row : kSuffixes) {
        if (row.kind == kind) return row;
    }
    ADD_FAILURE() << "no suffix for kind " << kindIndex(kind);
    return kSuffixes[0];
}

inline TypeKind kindOfSuffix(std::string_view suffix) {
    for (const SuffixRow& row : kSuffixes) {
        if (row.suffix == suffix) return row.kind;
    }
    ADD_FAILURE() << "unknown suffix " << suffix;
    return TypeKind::Void;
}

inline Cell cellOf(TypeKind kind) { return suffixRow(kind).cell; }

inline const char* cellName(Cell cell) {
    switch (cell) {
    case Cell::F64: return "F64";
    case Cell::F32: return "F32";
    case Cell::U64: return "U64";
    case Cell::U32: return "U32";
    case Cell::U16: return "U16";
    case Cell::U8: return "U8";
    case Cell::U1: return "U1";
    case Cell::S64: return "S64";
    case Cell::S32: return "S32";
    case Cell::S16: return "S16";
    case Cell::S8: return "S8";
    }
    return "?";
}

inline int cellBytes(Cell cell) {
    switch (cell) {
    case Cell::F64:
    case Cell::U64:
    case Cell::S64: return 8;
    case Cell::F32:
    case Cell::U32:
    case Cell::S32: return 4;
    case Cell::U16:
    case Cell::S16: return 2;
    case Cell::U8:
    case Cell::U1:
    case Cell::S8: return 1;
    }
    return 8;
}

// The bits of a value of this kind within its cell.
inline uint64_t widthMask(TypeKind kind) {
    const int bytes = cellBytes(cellOf(kind));
    return bytes == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * bytes)) - 1;
}

// ---- values as cell bits --------------------------------------------------------------

constexpr uint64_t f64(double x) { return std::bit_cast<uint64_t>(x); }
constexpr uint64_t f32(float x) { return std::bit_cast<uint32_t>(x); }
constexpr uint64_t i64(int64_t v) { return static_cast<uint64_t>(v); }
constexpr uint64_t u64(uint64_t v) { return v; }

inline constexpr double kInf = std::numeric_limits<double>::infinity();
inline constexpr float kInfF = std::numeric_limits<float>::infinity();
// A NaN with a sign and a payload: passes unchanged wherever a double is only moved.
inline constexpr uint64_t kNegativeNanBits = 0xFFF8000000000ABCu;

// Pushes a value given as bits with the push operation of its machine type.
inline void pushCell(Stackmachine& machine, Cell cell, uint64_t bits) {
    switch (cell) {
    case Cell::F64: machine.pushF64(std::bit_cast<double>(bits)); return;
    case Cell::F32: machine.pushF32(std::bit_cast<float>(static_cast<uint32_t>(bits))); return;
    case Cell::U64: machine.pushU64(bits); return;
    case Cell::U32: machine.pushU32(static_cast<uint32_t>(bits)); return;
    case Cell::U16: machine.pushU16(static_cast<uint16_t>(bits)); return;
    case Cell::U8: machine.pushU8(static_cast<uint8_t>(bits)); return;
    case Cell::U1: machine.pushU1((bits & 0xFF) != 0); return;
    case Cell::S64: machine.pushS64(static_cast<int64_t>(bits)); return;
    case Cell::S32: machine.pushS32(static_cast<int32_t>(bits)); return;
    case Cell::S16: machine.pushS16(static_cast<int16_t>(bits)); return;
    case Cell::S8: machine.pushS8(static_cast<int8_t>(bits)); return;
    }
}

// Pops a value with the pop operation of its machine type; its bits in its own width.
inline uint64_t popCell(Stackmachine& machine, Cell cell) {
    switch (cell) {
    case Cell::F64: return std::bit_cast<uint64_t>(machine.popF64());
    case Cell::F32: return std::bit_cast<uint32_t>(machine.popF32());
    case Cell::U64: return machine.popU64();
    case Cell::U32: return machine.popU32();
    case Cell::U16: return machine.popU16();
    case Cell::U8: return machine.popU8();
    case Cell::U1: return machine.popU1();
    case Cell::S64: return static_cast<uint64_t>(machine.popS64());
    case Cell::S32: return static_cast<uint32_t>(machine.popS32());
    case Cell::S16: return static_cast<uint16_t>(machine.popS16());
    case Cell::S8: return static_cast<uint8_t>(machine.popS8());
    }
    return 0;
}

} // namespace Karsto
