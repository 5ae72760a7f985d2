#pragma once
// The operator actions that ordinary expressions and constant expressions share: both
// grammars compile an operator to the same code, they differ only in the walk that
// computes it. Ordinary expressions compute in the second walk, with the context of
// both walks handed down; constant expressions are needed by declarations and compute
// in the first walk, the only one that hands them their scopes (the second passes
// through). `R` is the record of the production's own nonterminal.

#include <cstddef>
#include <cstdint>

#include "codegen/cast_emitter.h"
#include "codegen/operation_emitters.h"
#include "core/type.h"
#include "evaluator/attribute_access.h"
#include "evaluator/evaluator.h"

namespace Karsto::Eval {

using OperationEmitter = Code (*)(Type*, const SourceSpan&);

// Hands the walk's context to the operand that comes next; nothing in a walk that the
// grammar ignores.
template <Walk computing, class R>
void passToOperand(Evaluator& evaluator, const R& self, Parser::AstNode& node, size_t child) {
    const AstRecord operand = childRecord(node, child);
    if (evaluator.declaring())
        passContext(self, operand);
    else if constexpr (computing == Walk::compile)
        passCompileContext(self, operand);
}

// Binary productions are "left operator right": the context goes to the left operand
// on entering and to the right one after the operator; true once both are done in the
// computing walk.
template <Walk computing, class R>
bool binaryOperandsDone(Evaluator& evaluator, R& self, Parser::AstNode& node, int32_t step) {
    if (step == -1 || step == 1) {
        passToOperand<computing>(evaluator, self, node, static_cast<size_t>(step + 1));
        return false;
    }
    return evaluator.walk == computing && step == 2;
}

// Both operands converted to their common type. The operator is made first, then the
// right conversion, then the left one: that order decides which error is reported.
// Returns the common type.
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

// OR, XOR, AND, MOD (and, in constant expressions, + - * /): the common type is the
// result's type.
template <Walk computing, class R>
void commonTypeBinary(Evaluator& evaluator, Parser::AstNode& node, int32_t step, OperationEmitter emit) {
    auto& self = node.attributes<R>();
    if (binaryOperandsDone<computing>(evaluator, self, node, step)) self.type = commonTypeOperation(self, node, emit);
}

// The comparisons: BOOL, the operands compared in their common type.
template <Walk computing, class R>
void comparison(Evaluator& evaluator, Parser::AstNode& node, int32_t step, OperationEmitter emit) {
    auto& self = node.attributes<R>();
    if (!binaryOperandsDone<computing>(evaluator, self, node, step)) return;
    self.operandType = commonTypeOperation(self, node, emit);
    self.type = typeBool;
}

// "**": the base's type decides and is the result's; the exponent is then cast to it,
// narrowing allowed.
template <Walk computing, class R>
void power(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<R>();
    if (!binaryOperandsDone<computing>(evaluator, self, node, step)) return;
    const AstRecord base = childRecord(node, 0);
    const AstRecord exponent = childRecord(node, 2);
    Type* type = attribute(AstAttribute::type, base);
    const SourceSpan span = node.span();
    const Code operation = emitExpt(type, span);
    const Code cast = emitCast(attribute(AstAttribute::type, exponent), type, span);
    self.type = type;
    self.addressCode = Code();
    self.code = attribute(AstAttribute::code, base)
                    .concat(attribute(AstAttribute::code, exponent))
                    .concat(cast)
                    .concat(operation);
}

// "-", "+" and NOT: operator, operand. "+" (no emitter) adds nothing and checks nothing.
template <Walk computing, class R>
void unary(Evaluator& evaluator, Parser::AstNode& node, int32_t step, OperationEmitter emit) {
    auto& self = node.attributes<R>();
    if (step == 0) {
        passToOperand<computing>(evaluator, self, node, 1);
        return;
    }
    if (evaluator.walk != computing || step != 1) return;
    const AstRecord operand = childRecord(node, 1);
    self.type = attribute(AstAttribute::type, operand);
    self.addressCode = Code();
    self.code = attribute(AstAttribute::code, operand);
    if (emit != nullptr) self.code = self.code.concat(emit(self.type, node.span()));
}

// "(" expression ")": the inner expression's value, its address kept, so a
// parenthesised variable stays assignable and REF((x)) is REF(x).
template <Walk computing, class R>
void parentheses(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<R>();
    if (step == 0) {
        passToOperand<computing>(evaluator, self, node, 1);
        return;
    }
    if (evaluator.walk != computing || step != 1) return;
    const AstRecord inner = childRecord(node, 1);
    self.type = attribute(AstAttribute::type, inner);
    self.code = attribute(AstAttribute::code, inner);
    self.addressCode = attribute(AstAttribute::addressCode, inner);
}

// A literal: complete after the first walk, it needs no context; a value without an
// address.
template <Walk computing, class R>
void literalOperand(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (evaluator.walk != computing || step != 0) return;
    auto& self = node.attributes<R>();
    const AstRecord constant = childRecord(node, 0);
    self.type = attribute(AstAttribute::type, constant);
    self.code = attribute(AstAttribute::code, constant);
    self.addressCode = Code();
}

} // namespace Karsto::Eval
