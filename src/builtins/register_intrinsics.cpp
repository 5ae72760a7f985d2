#include "builtins/register_intrinsics.h"

#include <iterator>

#include "builtins/print_tostring.h"
#include "builtins/registration_steps.h"
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

// Each entry gets an instruction object of its own.
void addTextOverloads(FunctionIntrinsic& function,
                      TextInstructionFactory TextInstructionEntry::*make) {
    for (TypeKind kind : kPrintOrder) {
        const TextInstructionEntry* entry = textInstructionsFor(kind);
        function.addOverload(overloadType(kind), Code((entry->*make)()));
    }
}

} // namespace

Type* overloadType(TypeKind kind) {
    if (kind == TypeKind::String) return typeString;
    if (kind == TypeKind::Wstring) return typeWstring;
    for (TypeSimple* type : elementaryTypes())
        if (type->kind() == kind) return type;
    return nullptr;
}

void declareIntrinsic(SymbolTables& tables, FunctionIntrinsic* function) {
    tables.addFunction(function, true);
}

void registerIntrinsics(SymbolTables& tables) {
    registerFixedNames(tables);  // step 1
    registerConversions(tables); // steps 2 to 6
    registerOperators(tables);   // step 7
    // Step 8: print, then tostring.
    auto* print = new FunctionIntrinsicPrint();
    declareIntrinsic(tables, print);
    addTextOverloads(*print, &TextInstructionEntry::makePrint);
    auto* toString = new FunctionIntrinsicToString();
    declareIntrinsic(tables, toString);
    addTextOverloads(*toString, &TextInstructionEntry::makeToString);
}

} // namespace Karsto
