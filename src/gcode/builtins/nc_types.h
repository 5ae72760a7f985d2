#pragma once
// The NC types of a channel (nine enumerations and one structure, rows in
// nc_types.def) and the value kinds that the NC built-ins' parameters and results have.
// Included by the NC built-ins and their registration only.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace Karsto {

class SymbolTables;
class Type;

enum class NcTypeId : uint8_t {
#define KARSTO_NC_ENUM(name, members) name,
#define KARSTO_NC_STRUCT(name, fields) name,
#include "gcode/builtins/nc_types.def"
};

inline constexpr size_t kNcTypeCount = 0
#define KARSTO_NC_ENUM(name, members) +1
#define KARSTO_NC_STRUCT(name, fields) +1
#include "gcode/builtins/nc_types.def"
    ;
static_assert(kNcTypeCount == 10, "nine enumerations and one structure");

// The kind of a built-in's parameter or result: an elementary type, an INT whose initial
// value is -1, or one of the NC types.
enum class NcValue : uint8_t {
    Void,
    Bool,
    Usint,
    Int,
    Uint,
    Udint,
    Lint,
    Ulint,
    Lword,
    Lreal,
    String,
    IntMinusOne,
#define KARSTO_NC_ENUM(name, members) name,
#define KARSTO_NC_STRUCT(name, fields) name,
#include "gcode/builtins/nc_types.def"
};

// The NC type of a value kind, none for the elementary kinds.
constexpr std::optional<NcTypeId> ncTypeOf(NcValue value) {
#define KARSTO_NC_ENUM(name, members)                                                              \
    if (value == NcValue::name) return NcTypeId::name;
#define KARSTO_NC_STRUCT(name, fields)                                                             \
    if (value == NcValue::name) return NcTypeId::name;
#include "gcode/builtins/nc_types.def"
    return std::nullopt;
}

struct NcEnumMember {
    const char* name;
    int32_t value;
};

struct NcStructField {
    const char* name;
    NcValue kind;
};

// One NC type: an enumeration has members, a structure fields (the other list empty).
struct NcTypeRow {
    const char* name;
    std::span<const NcEnumMember> members;
    std::span<const NcStructField> fields;
};

namespace ncrows {
// One list per type; the sentinel keeps a list from being empty and is not part of it.
#define KARSTO_NC_MEMBER(name, value) {#name, value},
#define KARSTO_NC_FIELD(name, kind) {#name, NcValue::kind},
#define KARSTO_NC_ENUM(name, members)                                                              \
    inline constexpr NcEnumMember name##Members[] = {members{nullptr, 0}};
#define KARSTO_NC_STRUCT(name, fields)                                                             \
    inline constexpr NcStructField name##Fields[] = {fields{nullptr, NcValue::Void}};
#include "gcode/builtins/nc_types.def"
#undef KARSTO_NC_MEMBER
#undef KARSTO_NC_FIELD
} // namespace ncrows

// Indexed by NcTypeId.
inline constexpr std::array<NcTypeRow, kNcTypeCount> kNcTypeRows{{
#define KARSTO_NC_ENUM(name, members)                                                              \
    {#name, std::span(ncrows::name##Members).first(std::size(ncrows::name##Members) - 1), {}},
#define KARSTO_NC_STRUCT(name, fields)                                                             \
    {#name, {}, std::span(ncrows::name##Fields).first(std::size(ncrows::name##Fields) - 1)},
#include "gcode/builtins/nc_types.def"
}};

constexpr const NcTypeRow& ncTypeRow(NcTypeId id) { return kNcTypeRows[static_cast<size_t>(id)]; }

// Whether value is a member of the enumeration id (false for the structure).
constexpr bool ncEnumHasValue(NcTypeId id, int32_t value) {
    for (const NcEnumMember& member : ncTypeRow(id).members)
        if (member.value == value) return true;
    return false;
}

// The NC types of one compilation, indexed by NcTypeId; null until built. Owned by the
// compilation's symbol tables once declared.
struct NcTypes {
    std::array<Type*, kNcTypeCount> types{};

    Type* operator[](NcTypeId id) const { return types[static_cast<size_t>(id)]; }
};

// Builds the type completely (every member or field), then declares it under its name
// in the global type scope of symbols, which owns it from then on; records it in types.
void declareNcType(SymbolTables& symbols, NcTypes& types, NcTypeId id);

// The type object of a kind: the elementary singleton, or the NC type from types (which
// must be declared already). IntMinusOne has no shared type: its users clone INT.
Type* ncValueType(NcValue kind, const NcTypes& types);

} // namespace Karsto
