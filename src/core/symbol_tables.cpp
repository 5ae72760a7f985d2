#include "core/symbol_tables.h"

#include "core/function.h"
#include "core/type.h"
#include "core/variable.h"

namespace Karsto {

SymbolTables::SymbolTables()
    : variables(new Scope<Variable>), types(new Scope<Type>), functions(new Scope<Function>) {}

SymbolTables::~SymbolTables() { clear(); }

void SymbolTables::addFunction(Function* function, bool owned) {
    if (owned) ownedFunctions.push_back(function);
    functions->declare(function->name(), function);
}

void SymbolTables::addType(const std::string& name, Type* type, bool owned) {
    if (owned) ownedTypes.push_back(type);
    types->declare(name, type);
}

void SymbolTables::clear() {
    for (Function* f : ownedFunctions) delete f;
    for (Type* t : ownedTypes) delete t;
    for (Variable* v : ownedVariables) delete v;
    ownedFunctions.clear();
    ownedTypes.clear();
    ownedVariables.clear();
    delete variables;
    delete types;
    delete functions;
    variables = nullptr;
    types = nullptr;
    functions = nullptr;
}

} // namespace Karsto
