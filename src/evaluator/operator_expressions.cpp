// Operator expressions and parentheses: the first walk only hands its context to the
// operands; the second computes each operator's type and code after both operands.
// Operands are evaluated left to right, each followed by its implicit conversion, the
// operator's instruction last; nothing short-circuits.

#include "codegen/cast_emitter.h"
#include "codegen/operation_emitters.h"
#include "codegen/time_arithmetic.h"
#include "core/type.h"
#include "evaluator/attribute_access.h"
#include "evaluator/handlers.h"

namespace Karsto::Eval {

namespace {

using OperationEmitter = Code (*)(Type*, const SourceSpan&);
using ResultType = Type* (*)(Type*, Type*);
using BinaryEmitter = Code (*)(Type*, Type*, const Code&, const Code&, const SourceSpan&);

// Hands the walk's context to the operand that comes next.
template <class R>
void passTo(Evaluator& evaluator, const R& self, Parser::AstNode& node, size_t child) {
    const AstRecord operand = childRecord(node, child);
    if (evaluator.declaring())
        passContext(self, operand);
    else
        passCompileContext(self, operand);
}

// Binary productions are "left operator right": the context goes to the left operand
// on entering and to the right one after the operator; true once both are done.
template <class R>
bool binaryOperandsDone(Evaluator& evaluator, R& self, Parser::AstNode& node, int32_t step) {
    if (step == -1 || step == 1) {
        passTo(evaluator, self, node, static_cast<size_t>(step + 1));
        return false;
    }
    return evaluator.compiling() && step == 2;
}

// OR, XOR, AND, MOD and the comparisons: both operands converted to their common type.
// The operator is made first, then the right conversion, then the left one: that order
// decides which error is reported. Returns the common type.
template <class R>
Type* commonTypeOperation(R& self, Parser::AstNode& node, OperationEmitter emit) {
    const AstRecord left = childRecord(node, 0);
    const AstRecord right = childRecord(node, 2);
    Type* leftType = attribute(AstAttribute::type, left);
    Type* rightType = attribute(AstAttribute::type, right);
    Type* type = commonTypeOrFail(leftType, rightType);
    const SourceSpan span = node.span();
    const Code operation = emit(type, span);
    const Code rightConversion = emitImplicitConversion(rightType, type, span);
    const Code leftConversion = emitImplicitConversion(leftType, type, span);
    self.addressCode = Code();
    self.code = attribute(AstAttribute::code, left)
                    .concat(leftConversion)
                    .concat(attribute(AstAttribute::code, right))
                    .concat(rightConversion)
                    .concat(operation);
    return type;
}

template <class R>
void logicalOperation(Evaluator& evaluator, Parser::AstNode& node, int32_t step, OperationEmitter emit) {
    auto& self = node.attributes<R>();
    if (binaryOperandsDone(evaluator, self, node, step)) self.type = commonTypeOperation(self, node, emit);
}

template <class R>
void comparison(Evaluator& evaluator, Parser::AstNode& node, int32_t step, OperationEmitter emit) {
    auto& self = node.attributes<R>();
    if (!binaryOperandsDone(evaluator, self, node, step)) return;
    self.operandType = commonTypeOperation(self, node, emit);
    self.type = typeBool;
}

// + - * /: the result type and the code, time and date pairs included, come from the
// code generator's rules.
template <class R>
void arithmetic(Evaluator& evaluator, Parser::AstNode& node, int32_t step, ResultType resultType,
                BinaryEmitter emit) {
    auto& self = node.attributes<R>();
    if (!binaryOperandsDone(evaluator, self, node, step)) return;
    const AstRecord left = childRecord(node, 0);
    const AstRecord right = childRecord(node, 2);
    Type* leftType = attribute(AstAttribute::type, left);
    Type* rightType = attribute(AstAttribute::type, right);
    self.type = resultType(leftType, rightType);
    self.addressCode = Code();
    self.code = emit(leftType, rightType, attribute(AstAttribute::code, left), attribute(AstAttribute::code, right),
                     node.span());
}

// "-", "+" and NOT: operator, operand. "+" adds nothing and checks nothing.
void unary(Evaluator& evaluator, Parser::AstNode& node, int32_t step, OperationEmitter emit) {
    auto& self = node.attributes<AstNode_expression_unary>();
    if (step == 0) {
        passTo(evaluator, self, node, 1);
        return;
    }
    if (!evaluator.compiling() || step != 1) return;
    const AstRecord operand = childRecord(node, 1);
    self.type = attribute(AstAttribute::type, operand);
    self.addressCode = Code();
    self.code = attribute(AstAttribute::code, operand);
    if (emit != nullptr) self.code = self.code.concat(emit(self.type, node.span()));
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

void expression_cmp_1(Evaluator& e, Parser::AstNode& n, int32_t step) { comparison<AstNode_expression_cmp>(e, n, step, emitEq); }
void expression_cmp_2(Evaluator& e, Parser::AstNode& n, int32_t step) { comparison<AstNode_expression_cmp>(e, n, step, emitNe); }
void expression_equ_1(Evaluator& e, Parser::AstNode& n, int32_t step) { comparison<AstNode_expression_equ>(e, n, step, emitLt); }
void expression_equ_2(Evaluator& e, Parser::AstNode& n, int32_t step) { comparison<AstNode_expression_equ>(e, n, step, emitGt); }
void expression_equ_3(Evaluator& e, Parser::AstNode& n, int32_t step) { comparison<AstNode_expression_equ>(e, n, step, emitLe); }
void expression_equ_4(Evaluator& e, Parser::AstNode& n, int32_t step) { comparison<AstNode_expression_equ>(e, n, step, emitGe); }

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

void expression_power_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // "**"
    auto& self = node.attributes<AstNode_expression_power>();
    if (!binaryOperandsDone(evaluator, self, node, step)) return;
    const AstRecord base = childRecord(node, 0);
    const AstRecord exponent = childRecord(node, 2);
    Type* type = attribute(AstAttribute::type, base);
    const SourceSpan span = node.span();
    // The base's type decides first; the exponent is then cast to it, narrowing allowed.
    const Code operation = emitExpt(type, span);
    const Code cast = emitCast(attribute(AstAttribute::type, exponent), type, span);
    self.type = type;
    self.addressCode = Code();
    self.code = attribute(AstAttribute::code, base)
                    .concat(attribute(AstAttribute::code, exponent))
                    .concat(cast)
                    .concat(operation);
}

void expression_unary_1(Evaluator& e, Parser::AstNode& n, int32_t step) { unary(e, n, step, emitNeg); }
void expression_unary_2(Evaluator& e, Parser::AstNode& n, int32_t step) { unary(e, n, step, nullptr); }
void expression_unary_3(Evaluator& e, Parser::AstNode& n, int32_t step) { unary(e, n, step, emitInv); }

void expression_secondary_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // constant
    // A literal is complete after the first walk and needs no context.
    if (!evaluator.compiling() || step != 0) return;
    auto& self = node.attributes<AstNode_expression_secondary>();
    const AstRecord constant = childRecord(node, 0);
    self.type = attribute(AstAttribute::type, constant);
    self.code = attribute(AstAttribute::code, constant);
    self.addressCode = Code();
}

void expression_primary_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // "(" expression ")"
    auto& self = node.attributes<AstNode_expression_primary>();
    if (step == 0) {
        passTo(evaluator, self, node, 1);
        return;
    }
    if (!evaluator.compiling() || step != 1) return;
    // A parenthesised variable keeps its address, so it stays assignable.
    const AstRecord inner = childRecord(node, 1);
    self.type = attribute(AstAttribute::type, inner);
    self.code = attribute(AstAttribute::code, inner);
    self.addressCode = attribute(AstAttribute::addressCode, inner);
}

} // namespace Karsto::Eval
