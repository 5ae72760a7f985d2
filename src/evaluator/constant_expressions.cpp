// Constant expressions: the restricted expressions that declarations need (initial
// values, enumeration values, subrange bounds). They compile in the first walk, with
// the scopes in force where the declaration stands, to exactly the code an ordinary
// expression compiles to (the operator actions are shared, operator_actions.h); the
// second walk passes through. Their arithmetic takes numbers only: no duration or date
// arithmetic in a declaration. Whether the value is computed at once or becomes an
// initial value is the user's business.

#include <string>

#include "codegen/operation_emitters.h"
#include "core/name_resolution.h"
#include "core/type.h"
#include "core/variable.h"
#include "evaluator/access_actions.h"
#include "evaluator/attribute_access.h"
#include "evaluator/handlers.h"
#include "evaluator/operator_actions.h"
#include "evaluator/shared_operations.h"

namespace Karsto::Eval {

namespace {

constexpr Walk kConstantWalk = Walk::declare;

template <class R>
void binary(Evaluator& e, Parser::AstNode& n, int32_t step, OperationEmitter emit) {
    commonTypeBinary<kConstantWalk, R>(e, n, step, emit);
}

template <class R>
void constantComparison(Evaluator& e, Parser::AstNode& n, int32_t step, OperationEmitter emit) {
    comparison<kConstantWalk, R>(e, n, step, emit);
}

void constantUnary(Evaluator& e, Parser::AstNode& n, int32_t step, OperationEmitter emit) {
    unary<kConstantWalk, AstNode_const_expression_unary>(e, n, step, emit);
}

// A chain node that carries operandType (the comparison levels) over its one operand:
// the operand's value, the operand type its own type.
template <class R>
void comparisonLevel(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<R>();
    const AstRecord operand = childRecord(node, 0);
    if (step == -1) {
        passContext(self, operand);
        return;
    }
    self.type = attribute(AstAttribute::type, operand);
    self.code = attribute(AstAttribute::code, operand);
    self.addressCode = attribute(AstAttribute::addressCode, operand);
    self.operandType = self.type;
}

} // namespace

void const_expression_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // OR
    binary<AstNode_const_expression>(e, n, step, emitOr);
}
void const_expression_xor_1(Evaluator& e, Parser::AstNode& n, int32_t step) {
    binary<AstNode_const_expression_xor>(e, n, step, emitXor);
}
void const_expression_and_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // AND
    binary<AstNode_const_expression_and>(e, n, step, emitAnd);
}
void const_expression_and_2(Evaluator& e, Parser::AstNode& n, int32_t step) { // "&", the same as AND
    binary<AstNode_const_expression_and>(e, n, step, emitAnd);
}

void const_expression_cmp_0(Evaluator& e, Parser::AstNode& n, int32_t step) {
    comparisonLevel<AstNode_const_expression_cmp>(e, n, step);
}
void const_expression_cmp_1(Evaluator& e, Parser::AstNode& n, int32_t step) {
    constantComparison<AstNode_const_expression_cmp>(e, n, step, emitEq);
}
void const_expression_cmp_2(Evaluator& e, Parser::AstNode& n, int32_t step) {
    constantComparison<AstNode_const_expression_cmp>(e, n, step, emitNe);
}
void const_expression_equ_0(Evaluator& e, Parser::AstNode& n, int32_t step) {
    comparisonLevel<AstNode_const_expression_equ>(e, n, step);
}
void const_expression_equ_1(Evaluator& e, Parser::AstNode& n, int32_t step) {
    constantComparison<AstNode_const_expression_equ>(e, n, step, emitLt);
}
void const_expression_equ_2(Evaluator& e, Parser::AstNode& n, int32_t step) {
    constantComparison<AstNode_const_expression_equ>(e, n, step, emitGt);
}
void const_expression_equ_3(Evaluator& e, Parser::AstNode& n, int32_t step) {
    constantComparison<AstNode_const_expression_equ>(e, n, step, emitLe);
}
void const_expression_equ_4(Evaluator& e, Parser::AstNode& n, int32_t step) {
    constantComparison<AstNode_const_expression_equ>(e, n, step, emitGe);
}

// + - * / in their common type, numbers only.
void const_expression_add_1(Evaluator& e, Parser::AstNode& n, int32_t step) {
    binary<AstNode_const_expression_add>(e, n, step, emitAdd);
}
void const_expression_add_2(Evaluator& e, Parser::AstNode& n, int32_t step) {
    binary<AstNode_const_expression_add>(e, n, step, emitSub);
}
void const_expression_mul_1(Evaluator& e, Parser::AstNode& n, int32_t step) {
    binary<AstNode_const_expression_mul>(e, n, step, emitMul);
}
void const_expression_mul_2(Evaluator& e, Parser::AstNode& n, int32_t step) {
    binary<AstNode_const_expression_mul>(e, n, step, emitDiv);
}
void const_expression_mul_3(Evaluator& e, Parser::AstNode& n, int32_t step) { // MOD
    binary<AstNode_const_expression_mul>(e, n, step, emitMod);
}

void const_expression_power_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // "**"
    power<kConstantWalk, AstNode_const_expression_power>(e, n, step);
}

void const_expression_unary_1(Evaluator& e, Parser::AstNode& n, int32_t step) { constantUnary(e, n, step, emitNeg); }
void const_expression_unary_2(Evaluator& e, Parser::AstNode& n, int32_t step) { constantUnary(e, n, step, nullptr); }
void const_expression_unary_3(Evaluator& e, Parser::AstNode& n, int32_t step) { constantUnary(e, n, step, emitInv); }

void const_expression_secondary_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // constant
    literalOperand<kConstantWalk, AstNode_const_expression_secondary>(e, n, step);
}

void const_expression_primary_0(Evaluator& e, Parser::AstNode& n, int32_t step) { // "(" const_expression ")"
    parentheses<kConstantWalk, AstNode_const_expression_primary>(e, n, step);
}

// const_expression_primary_enumvalue: the value, which has no address.
void const_expression_primary_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_const_expression_primary>();
    const AstRecord value = childRecord(node, 0);
    if (step == -1) {
        passContext(self, value);
        return;
    }
    self.type = attribute(AstAttribute::type, value);
    self.code = attribute(AstAttribute::code, value);
    self.addressCode = Code();
}

// REF "(" const_expression ")"
void const_expression_primary_3(Evaluator& e, Parser::AstNode& n, int32_t step) {
    reference<kConstantWalk, AstNode_const_expression_primary>(e, n, step);
}

// identifier '#' identifier
void const_expression_primary_enumvalue_0(Evaluator& e, Parser::AstNode& n, int32_t step) {
    qualifiedEnumValue<AstNode_const_expression_primary_enumvalue>(e, n, step);
}

// identifier: a variable or an enumeration value, resolved against the scopes in force
// at the declaration, so a name declared later is not seen. A variable's value is read
// whenever the code runs.
void const_expression_primary_ident_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring() || step != 0) return;
    auto& self = node.attributes<AstNode_const_expression_primary_ident>();
    const std::string name = toLowerCopy(attribute(AstAttribute::name, childRecord(node, 0)));
    self.object = resolveIdentifier(self.variableScope, self.typeScope, name);
    self.type = self.object->type();
    self.addressCode = self.object->addressCode();
    self.code = self.object->valueCode(node.span());
}

// const_expression '..' const_expression: both bounds compiled, the lower first;
// whoever uses the subrange computes and checks them.
void subrange_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_subrange>();
    if (step == -1 || step == 1) {
        passContext(self, childRecord(node, static_cast<size_t>(step + 1)));
    } else if (step == 2) {
        takeRangeBounds(self, node);
    }
}

} // namespace Karsto::Eval
