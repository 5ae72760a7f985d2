#include "core/name_resolution.h"

#include "core/exception.h"
#include "core/handle_owner.h"
#include "core/type.h"
#include "core/type_enum.h"

namespace Karsto {

namespace {

// The root's part first, down to the scope itself; within a scope its imports, then its
// own enumerations in declaration order.
struct EnumValueSearch {
    const std::string& name;
    bool stopAt(const Scope<Type>*, EnumValue*&) const { return false; }
    void own(const Scope<Type>* scope, EnumValue*& result) const {
        for (Type* type : scope->values()) {
            if (type == nullptr || !type->isEnum()) continue;
            merge(result, type->asEnum()->findValue(name));
        }
    }
    void merge(EnumValue*& result, EnumValue* found) const {
        if (found == nullptr) return;
        checkSemantic(result == nullptr, "Enumeration value '%s' is ambiguous.", name.c_str());
        result = found;
    }
};

} // namespace

EnumValue* findEnumValue(Scope<Type>* scope, const std::string& name) {
    if (scope == nullptr) return nullptr;
    EnumValueSearch search{name};
    return searchScopes<Type, EnumValue*>(scope, search);
}

ProgramObject* resolveIdentifier(Scope<Variable>* variables, Scope<Type>* types,
                                 const std::string& name) {
    EnumValue* value = findEnumValue(types, name);
    Variable* variable = variables == nullptr ? nullptr : variables->lookup(name);
    if (variable != nullptr) {
        checkSemantic(value == nullptr,
                      "Ambiguity between enumeration value and variable name for identifier "
                      "'%s'.",
                      name.c_str());
        return variable;
    }
    checkSemantic(value != nullptr, "Undeclared variable or enumeration value '%s'.",
                  name.c_str());
    return value;
}

Scope<Variable>* declareVariables(Scope<Variable>* parent, const std::vector<std::string>& names,
                                  Memory* memory, Type* type, int32_t flags,
                                  VariableAccess access, HandleOwner& owner) {
    auto* scope = owner.handle(new Scope<Variable>(parent));
    for (const std::string& name : names) {
        Variable* variable = owner.handle(new Variable(memory, name, type, flags, access));
        scope->declare(name, variable);
    }
    return scope;
}

} // namespace Karsto
