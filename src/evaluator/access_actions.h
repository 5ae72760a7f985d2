#pragma once
// The access actions that ordinary and constant expressions share: REF(x) and the
// qualified enumeration value T#V compile alike in both grammars, in the walk that
// computes the grammar's expressions (operator_actions.h has the operators).

#include <cstdint>
#include <string>

#include "core/scope.h"
#include "core/type.h"
#include "core/type_enum.h"
#include "core/type_pointer.h"
#include "core/variable.h"
#include "evaluator/attribute_access.h"
#include "evaluator/evaluator.h"
#include "evaluator/operator_actions.h"
#include "evaluator/shared_operations.h"

namespace Karsto::Eval {

// REF "(" x ")": a new reference type to x's type, and x's address as the value; an
// operand without storage has no location.
template <Walk computing, class R>
void reference(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<R>();
    if (step == 1) {
        passToOperand<computing>(evaluator, self, node, 2);
        return;
    }
    if (evaluator.walk != computing || step != 2) return;
    const AstRecord operand = childRecord(node, 2);
    self.addressCode = Code();
    self.type = evaluator.handle(new TypePointer(attribute(AstAttribute::type, operand)));
    self.code = locationCode(attribute(AstAttribute::addressCode, operand));
}

// identifier "#" identifier: the value of the enumeration named first, resolved in the
// first walk against the type scope in force there; it has no address.
template <class R>
void qualifiedEnumValue(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring() || step != 2) return;
    auto& self = node.attributes<R>();
    const std::string typeName = toLowerCopy(attribute(AstAttribute::name, childRecord(node, 0)));
    self.enumType = self.typeScope->lookupOrFail(typeName)->asEnum();
    self.type = self.enumType;
    const std::string valueName = toLowerCopy(attribute(AstAttribute::name, childRecord(node, 2)));
    self.code = self.enumType->valueOrFail(valueName)->valueCode(node.span());
}

} // namespace Karsto::Eval
