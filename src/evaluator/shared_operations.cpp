#include "evaluator/shared_operations.h"

#include <cctype>

#include "core/exception.h"
#include "core/handle_owner.h"
#include "core/type.h"
#include "core/type_pointer.h"
#include "core/variable.h"
#include "evaluator/attribute_access.h"
#include "frontend/grammar_symbols.h"

namespace Karsto {

std::string toLowerCopy(std::string_view name) {
    std::string lower(name);
    // tolower takes the byte as unsigned char: a negative char would be undefined.
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

Code locationCode(const Code& addressCode) {
    checkSemantic(!addressCode.empty(), "Invalid location");
    return addressCode;
}

Scope<Variable>* createVariableScope(HandleOwner& owner, const std::string& name, Type* type, Memory* area,
                                     Scope<Variable>* parent) {
    auto* scope = owner.handle(new Scope<Variable>(parent));
    auto* variable =
        owner.handle(new Variable(area, name, type, flagBit(VariableFlags::IMPLICIT), VariableAccess::NONE));
    scope->declare(name, variable);
    return scope;
}

Variable* createThisVariable(HandleOwner& owner, Memory* area, Type* type) {
    return owner.handle(new Variable(area, "this", type->pointerTo(), kThisFlags, VariableAccess::NONE));
}

void missingAttribute(uint16_t nonterminal) {
    throw std::logic_error("syntax tree: an action needs an attribute that the record of nonterminal " +
                           std::to_string(nonterminal) + " does not carry");
}

} // namespace Karsto
