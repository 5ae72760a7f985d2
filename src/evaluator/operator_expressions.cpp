// Operator expressions and parentheses: the first walk only hands its context to the
// operands; the second computes each operator's type and code after both operands.
// Operands are evaluated left to right, each followed by its implicit conversion, the
// operator's instruction last; nothing short-circuits. The actions are those constant
// expressions use as well (operator_actions.h), computed in the second walk; only the
// arithmetic operators differ, which here also take durations and dates.

#include "codegen/operation_emitters.h"
#include "codegen/time_arithmetic.h"
#include "core/type.h"
#include "evaluator/attribute_access.h"
#include "evaluator/handlers.h"
#include "evaluator/operator_actions.h"

namespace Karsto::Eval {

namespace {

constexpr Walk kComputing = Walk::compile;

using ResultType = Type* (*)(Type*, Type*);
using BinaryEmitter = Code (*)(Type*, Type*, const Code&, const Code&, const SourceSpan&);

// + - * /: the result type and the code, time and date pairs included, come from the
// code generator's rules.
template <class R>
void arithmetic(Evaluator& evaluator, Parser::AstNode& node, int32_t step, ResultType resultType,
                BinaryEmitter emit) {
    auto& self = node.attributes<R>();
    if (!binaryOperandsDone<kComputing>(evaluator, self, node, step)) return;
    const AstRecord left = childRecord(node, 0);
    const AstRecord right = childRecord(node, 2);
    Type* leftType = attribute(AstAttribute::type, left);
    Type* rightType = attribute(AstAttribute::type, right);
    self.type = resultType(leftType, rightType);
    self.addressCode = Code();
    self.code = emit(leftType, rightType, attribute(AstAttribute::code, left), attribute(AstAttribute::code, right),
                     node.span());
}

template <class R>
void logicalOperation(Evaluator& e, Parser::AstNode& n, int32_t step, OperationEmitter emit) {
    commonTypeBinary<kComputing, R>(e, n, step, emit);
}

template <class R>
void compare(Evaluator& e, Parser::AstNode& n, int32_t step, OperationEmitter emit) {
    comparison<kComputing, R>(e, n, step, emit);
}

void unaryOperator(Evaluator& e, Parser::AstNode& n, int32_t step, OperationEmitter emit) {
    unary<kComputing, AstNode_expression_unary>(e, n, step, emit);
}

} // namespace

void expression_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // OR
    logicalOperation<AstNode_expression>(e, n, step, emitOr);
}
void expression_xor_1(Evaluator& e, Parser::AstNode& n, int32_t step) {
    logicalOperation<AstNode_expression_xor>(e, n, step, emitXor);
}
void expression_and_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // AND
    logicalOperation<AstNode_expression_and>(e, n, step, emitAnd);
}
void expression_and_2(Evaluator& e, Parser::AstNode& n, int32_t step) { // "&", the same as AND
    logicalOperation<AstNode_expression_and>(e, n, step, emitAnd);
}

void expression_cmp_1(Evaluator& e, Parser::AstNode& n, int32_t step) { compare<AstNode_expression_cmp>(e, n, step, emitEq); }
void expression_cmp_2(Evaluator& e, Parser::AstNode& n, int32_t step) { compare<AstNode_expression_cmp>(e, n, step, emitNe); }
void expression_equ_1(Evaluator& e, Parser::AstNode& n, int32_t step) { compare<AstNode_expression_equ>(e, n, step, emitLt); }
void expression_equ_2(Evaluator& e, Parser::AstNode& n, int32_t step) { compare<AstNode_expression_equ>(e, n, step, emitGt); }
void expression_equ_3(Evaluator& e, Parser::AstNode& n, int32_t step) { compare<AstNode_expression_equ>(e, n, step, emitLe); }
void expression_equ_4(Evaluator& e, Parser::AstNode& n, int32_t step) { compare<AstNode_expression_equ>(e, n, step, emitGe); }

void expression_add_1(Evaluator& e, Parser::AstNode& n, int32_t step) {
    arithmetic<AstNode_expression_add>(e, n, step, resultTypeAdd, emitBinaryAdd);
}
void expression_add_2(Evaluator& e, Parser::AstNode& n, int32_t step) {
    arithmetic<AstNode_expression_add>(e, n, step, resultTypeSub, emitBinarySub);
}
void expression_mul_1(Evaluator& e, Parser::AstNode& n, int32_t step) {
    arithmetic<AstNode_expression_mul>(e, n, step, resultTypeMul, emitBinaryMul);
}
void expression_mul_2(Evaluator& e, Parser::AstNode& n, int32_t step) {
    arithmetic<AstNode_expression_mul>(e, n, step, resultTypeDiv, emitBinaryDiv);
}
void expression_mul_3(Evaluator& e, Parser::AstNode& n, int32_t step) { // MOD
    logicalOperation<AstNode_expression_mul>(e, n, step, emitMod);
}

void expression_power_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // "**"
    power<kComputing, AstNode_expression_power>(e, n, step);
}

void expression_unary_1(Evaluator& e, Parser::AstNode& n, int32_t step) { unaryOperator(e, n, step, emitNeg); }
void expression_unary_2(Evaluator& e, Parser::AstNode& n, int32_t step) { unaryOperator(e, n, step, nullptr); }
void expression_unary_3(Evaluator& e, Parser::AstNode& n, int32_t step) { unaryOperator(e, n, step, emitInv); }

void expression_secondary_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // constant
    literalOperand<kComputing, AstNode_expression_secondary>(e, n, step);
}

void expression_primary_0(Evaluator& e, Parser::AstNode& n, int32_t step) { // "(" expression ")"
    parentheses<kComputing, AstNode_expression_primary>(e, n, step);
}

} // namespace Karsto::Eval
