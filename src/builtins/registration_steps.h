#pragma once
// Shared by the registration's translation units; not for use outside the library.

#include "core/type_kind.h"

namespace Karsto {

class FunctionIntrinsic;
class SymbolTables;
class Type;

// The global type object that a table entry of the kind serves: the default STRING and
// WSTRING, else the first elementary type of the kind (the literal types for Liti and
// Litr, LINT before the internal types that share its kind).
Type* overloadType(TypeKind kind);

// Declares the function, owned by the tables from here on.
void declareIntrinsic(SymbolTables& tables, FunctionIntrinsic* function);

// Step 1: the built-ins with names of their own.
void registerFixedNames(SymbolTables& tables);
// Steps 2 to 6: the conversion, truncation and BCD names.
void registerConversions(SymbolTables& tables);
// Step 7: the operator and mathematical functions.
void registerOperators(SymbolTables& tables);

} // namespace Karsto
