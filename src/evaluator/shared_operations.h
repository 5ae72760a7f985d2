#pragma once
// Operations every production's actions share.

#include <string>
#include <string_view>

#include "core/code.h"
#include "core/scope.h"

namespace Karsto {

class HandleOwner;
class Memory;
class Type;
class Variable;

// The name with every character passed through tolower: identifiers, address letters
// and declared names are compared in this form.
std::string toLowerCopy(std::string_view name);

// The address code of an expression that is stored into or referenced; an expression
// without storage raises "Invalid location".
Code locationCode(const Code& addressCode);

// A new scope under parent (none: a chain of its own) holding one new implicit variable
// of that name and type, allocated in the area; both are handed to the owner.
Scope<Variable>* createVariableScope(HandleOwner& owner, const std::string& name, Type* type, Memory* area,
                                     Scope<Variable>* parent);

// The hidden object reference "this" of a method: allocated at the end of the area,
// typed as the reference to the class or interface (the type's one cached pointer
// type), handed to the owner and declared nowhere.
Variable* createThisVariable(HandleOwner& owner, Memory* area, Type* type);

} // namespace Karsto
