#include "builtins/register_intrinsics.h"

#include <iterator>

#include "builtins/print_tostring.h"
#include "builtins/text_instructions.h"
#include "core/symbol_tables.h"
#include "core/type.h"
#include "core/type_string.h"

namespace Karsto {

namespace {

// The overload set of "print" and "tostring", in registration order.
constexpr TypeKind kPrintOrder[] = {
    TypeKind::Lint,    TypeKind::Ulint, TypeKind::Char,   TypeKind::Litr,  TypeKind::Usint,
    TypeKind::Ltime,   TypeKind::Lword, TypeKind::Ldt,    TypeKind::Lreal, TypeKind::Ltod,
    TypeKind::Dt,      TypeKind::Uint,  TypeKind::Byte,   TypeKind::Dint,  TypeKind::Int,
    TypeKind::Wstring, TypeKind::Sint,  TypeKind::String, TypeKind::Real,  TypeKind::Word,
    TypeKind::Time,    TypeKind::Wchar, TypeKind::Tod,    TypeKind::Udint, TypeKind::Liti,
    TypeKind::Date,    TypeKind::Ldate, TypeKind::Dword,  TypeKind::Bool,
};
static_assert(std::size(kPrintOrder) == kTextInstructionTypes);

// The global type object that a table entry of the kind serves: the default STRING and
// WSTRING, else the first elementary type of the kind (the literal types for Liti and
// Litr, LINT before the internal types that share its kind).
Type* overloadType(TypeKind kind) {
    if (kind == TypeKind::String) return typeString;
    if (kind == TypeKind::Wstring) return typeWstring;
    for (TypeSimple* type : elementaryTypes())
        if (type->kind() == kind) return type;
    return nullptr;
}

// Declares the function, owned by the tables, and returns it for its entries.
template <class Kind>
Kind* addIntrinsic(SymbolTables& tables, Kind* function) {
    tables.addFunction(function, true);
    return function;
}

// Each entry gets an instruction object of its own.
void addTextOverloads(FunctionIntrinsic& function,
                      TextInstructionFactory TextInstructionEntry::*make) {
    for (TypeKind kind : kPrintOrder) {
        const TextInstructionEntry* entry = textInstructionsFor(kind);
        function.addOverload(overloadType(kind), Code((entry->*make)()));
    }
}

} // namespace

void registerIntrinsics(SymbolTables& tables) {
    // Step 8: print, then tostring.
    addTextOverloads(*addIntrinsic(tables, new FunctionIntrinsicPrint()),
                     &TextInstructionEntry::makePrint);
    addTextOverloads(*addIntrinsic(tables, new FunctionIntrinsicToString()),
                     &TextInstructionEntry::makeToString);
}

} // namespace Karsto
