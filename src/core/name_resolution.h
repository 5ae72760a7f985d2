#pragma once
// How the compiler resolves a plain identifier to a variable or an enumeration value,
// and declares the variables of one declaration line.

#include <string>
#include <vector>

#include "core/scope.h"
#include "core/variable.h"

namespace Karsto {

class HandleOwner;
class Memory;
class Type;

// The enumeration value an unqualified name denotes among every enumeration declared
// along the types scope's parent chain and in its imports, or null. Unlike lookup the
// search never stops early: a value found twice is ambiguous.
EnumValue* findEnumValue(Scope<Type>* scope, const std::string& name);

// A visible variable, else an enumeration value; a name that is both is ambiguous, one
// that is neither undeclared.
ProgramObject* resolveIdentifier(Scope<Variable>* variables, Scope<Type>* types,
                                 const std::string& name);

// Opens one new scope under parent and declares there one variable per name, each
// allocated in memory (when given). The scope and the variables are handed to the
// owner of the compile. Returns the new scope, the current scope from now on.
Scope<Variable>* declareVariables(Scope<Variable>* parent, const std::vector<std::string>& names,
                                  Memory* memory, Type* type, int32_t flags,
                                  VariableAccess access, HandleOwner& owner);

} // namespace Karsto
