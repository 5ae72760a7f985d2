#include "gcode/builtins/nc_types.h"

#include <memory>

#include "core/symbol_tables.h"
#include "core/type.h"
#include "core/type_enum.h"
#include "core/type_scif.h"
#include "core/type_string.h"

namespace Karsto {

namespace {

std::unique_ptr<Type> buildNcType(const NcTypeRow& row, const NcTypes& types) {
    if (!row.members.empty()) {
        auto enumeration = std::make_unique<TypeEnum>(typeDint);
        // Order matters: the first member added is the initial value of the type.
        for (const NcEnumMember& member : row.members) enumeration->addValue(member.name, member.value);
        return enumeration;
    }
    auto structure = std::make_unique<TypeStruct>();
    for (const NcStructField& field : row.fields)
        structure->addMember(field.name, ncValueType(field.kind, types));
    return structure;
}

} // namespace

void declareNcType(SymbolTables& symbols, NcTypes& types, NcTypeId id) {
    const NcTypeRow& row = ncTypeRow(id);
    Type* type = buildNcType(row, types).release();
    types.types[static_cast<size_t>(id)] = type;
    // The tables own the type from here on, also when the declaration fails.
    symbols.addType(row.name, type, true);
}

Type* ncValueType(NcValue kind, const NcTypes& types) {
    switch (kind) {
    case NcValue::Void: return typeVoid;
    case NcValue::Bool: return typeBool;
    case NcValue::Usint: return typeUsint;
    case NcValue::Int: return typeInt;
    case NcValue::Uint: return typeUint;
    case NcValue::Udint: return typeUdint;
    case NcValue::Lint: return typeLint;
    case NcValue::Ulint: return typeUlint;
    case NcValue::Lword: return typeLword;
    case NcValue::Lreal: return typeLreal;
    case NcValue::String: return typeString;
    case NcValue::IntMinusOne: return typeInt;
#define KARSTO_NC_ENUM(name, members) case NcValue::name:
#define KARSTO_NC_STRUCT(name, fields) case NcValue::name:
#include "gcode/builtins/nc_types.def"
        break;
    }
    return types[*ncTypeOf(kind)];
}

} // namespace Karsto
