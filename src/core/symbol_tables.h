#pragma once
// The three root scopes of one compile (variables, types, functions), into which the
// natives, the built-in functions, the NC types and the host's variables are entered
// before the source is parsed, with what the tables own.

#include <string>
#include <vector>

#include "core/scope.h"

namespace Karsto {

class Function;
class Type;
class Variable;

class SymbolTables {
public:
    SymbolTables();
    SymbolTables(const SymbolTables&) = delete;
    SymbolTables& operator=(const SymbolTables&) = delete;
    ~SymbolTables();

    // Declares the function under its own name. When owned, the tables own it from
    // this call on, even when the declaration fails.
    void addFunction(Function* function, bool owned);
    // Declares the type under the name; owned as for functions.
    void addType(const std::string& name, Type* type, bool owned);
    // Deletes every owned function, type and variable, then the three scopes; the
    // tables cannot be used afterwards. Natives are not owned here: they are shared
    // through their reference count.
    void clear();

    Scope<Variable>* variables;
    Scope<Type>* types;
    Scope<Function>* functions;
    std::vector<Function*> ownedFunctions;
    std::vector<Type*> ownedTypes;
    std::vector<Variable*> ownedVariables;
};

} // namespace Karsto
