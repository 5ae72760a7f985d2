// Access to parts of a value and references: array elements a[i, j], members a.m of
// structures and classes, REF(x), the dereference p^ and qualified enumeration values
// T#V. Each yields the code of the value and, where there is storage, the code of its
// address, which element and member access extend by an offset computed in the
// address type. Everything but T#V (first walk) is computed in the second walk; the
// first only hands the context down to the operands.

#include <string>

#include "codegen/cast_emitter.h"
#include "codegen/operation_emitters.h"
#include "codegen/special_emitters.h"
#include "core/constant_factory.h"
#include "core/emitters.h"
#include "core/exception.h"
#include "core/type.h"
#include "core/type_array.h"
#include "core/type_class.h"
#include "core/type_pointer.h"
#include "core/type_scif.h"
#include "evaluator/access_actions.h"
#include "evaluator/attribute_access.h"
#include "evaluator/handlers.h"
#include "evaluator/operator_actions.h"
#include "evaluator/shared_operations.h"

namespace Karsto::Eval {

namespace {

constexpr Walk kAccessWalk = Walk::compile;

// An address constant: offsets, lengths and bounds in the address type.
Code addressConstant(int64_t value, const SourceSpan& span) { return makeIntConstant(value, typeAddr, span); }

// The one child's type, code and address, once it is finished; the context goes down
// on entering.
template <class R>
void copyOperand(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<R>();
    if (step == -1) {
        passToOperand<kAccessWalk>(evaluator, self, node, 0);
        return;
    }
    if (!evaluator.compiling()) return;
    const AstRecord operand = childRecord(node, 0);
    self.type = attribute(AstAttribute::type, operand);
    self.code = attribute(AstAttribute::code, operand);
    self.addressCode = addressCodeOf(operand);
}

// One subscript's zero-based position in dimension k after the check that it lies in
// the dimension's bounds: the check is emitted for constant subscripts too.
Code positionInDimension(const TypeArray* array, int32_t k, const Code& subscript, const SourceSpan& span) {
    const int64_t lower = array->lowerBound(k);
    return subscript.concat(emitAssertRange(lower, array->upperBound(k), span))
        .concat(addressConstant(lower, span))
        .concat(emitSub(typeAddr, span));
}

} // namespace

// expression_primary_enumvalue: a value without storage (the child has no address).
void expression_primary_3(Evaluator& e, Parser::AstNode& n, int32_t step) {
    copyOperand<AstNode_expression_primary>(e, n, step);
}

// REF "(" expression ")"
void expression_primary_4(Evaluator& e, Parser::AstNode& n, int32_t step) {
    reference<kAccessWalk, AstNode_expression_primary>(e, n, step);
}

// expression_primary_deref: the dereferenced storage stays assignable.
void expression_primary_5(Evaluator& e, Parser::AstNode& n, int32_t step) {
    copyOperand<AstNode_expression_primary>(e, n, step);
}

// expression_primary "^": the reference's value is the address of the target, after
// the run-time test that it is not null. The test and the load carry no span.
void expression_primary_deref_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_expression_primary_deref>();
    if (step == -1) {
        passToOperand<kAccessWalk>(evaluator, self, node, 0);
        return;
    }
    if (!evaluator.compiling() || step != 1) return;
    const AstRecord reference = childRecord(node, 0);
    self.pointerType = attribute(AstAttribute::type, reference)->asPointer();
    // The NULL literal's type refers to nothing: there would be no type to load.
    checkSemantic(self.pointerType->target() != nullptr, "Dereferencing NULL is not possible.");
    self.type = self.pointerType->target();
    self.addressCode = attribute(AstAttribute::code, reference).concat(emitCheckNonNull(SourceSpan()));
    self.code = self.addressCode.concat(emitLd(self.type, SourceSpan()));
}

// identifier "#" identifier
void expression_primary_enumvalue_0(Evaluator& e, Parser::AstNode& n, int32_t step) {
    qualifiedEnumValue<AstNode_expression_primary_enumvalue>(e, n, step);
}

// expression_lhs "[" subscript_list "]": the element at the array's address plus the
// linear position times the element's size.
void expression_array_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_expression_array>();
    const AstRecord array = childRecord(node, 0);
    if (step == -1) {
        passToOperand<kAccessWalk>(evaluator, self, node, 0);
    } else if (step == 1) {
        const AstRecord subscripts = childRecord(node, 2);
        passToOperand<kAccessWalk>(evaluator, self, node, 2);
        if (!evaluator.compiling()) return;
        self.arrayType = attribute(AstAttribute::type, array)->asArray();
        attribute(AstAttribute::arrayType, subscripts) = self.arrayType;
    } else if (step == 3 && evaluator.compiling()) {
        const SourceSpan span = node.span();
        self.type = self.arrayType->elementType();
        self.addressCode = locationCode(addressCodeOf(array))
                               .concat(attribute(AstAttribute::code, childRecord(node, 2)))
                               .concat(addressConstant(self.type->size(), span))
                               .concat(emitMul(typeAddr, span))
                               .concat(emitAdd(typeAddr, span));
        self.code = self.addressCode.concat(emitLd(self.type, span));
    }
}

// subscript_list_2: as many subscripts as the array has dimensions. Counted after all
// of them were compiled, so a subscript too many is reported by its own dimension.
void subscript_list_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_subscript_list>();
    const AstRecord subscripts = childRecord(node, 0);
    if (step == -1) {
        passToOperand<kAccessWalk>(evaluator, self, node, 0);
        if (evaluator.compiling()) attribute(AstAttribute::arrayType, subscripts) = self.arrayType;
        return;
    }
    if (!evaluator.compiling()) return;
    const int32_t given = attribute(AstAttribute::index, subscripts) + 1;
    checkSemantic(given == self.arrayType->dimensionCount(), "Expected %d array-dimensions, but %d are given.",
                  self.arrayType->dimensionCount(), given);
    self.code = attribute(AstAttribute::code, subscripts);
}

// subscript: the position in the first dimension.
void subscript_list_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_subscript_list_2>();
    if (step == -1) {
        passToOperand<kAccessWalk>(evaluator, self, node, 0);
        self.index = 0;
        return;
    }
    if (!evaluator.compiling()) return;
    self.code = positionInDimension(self.arrayType, 0, attribute(AstAttribute::code, childRecord(node, 0)), node.span());
}

// subscript_list_2 "," subscript: the position so far times this dimension's length,
// plus the position in this dimension (row-major order).
void subscript_list_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_subscript_list_2>();
    const AstRecord earlier = childRecord(node, 0);
    if (step == -1) {
        passToOperand<kAccessWalk>(evaluator, self, node, 0);
        if (evaluator.compiling()) attribute(AstAttribute::arrayType, earlier) = self.arrayType;
        return;
    }
    if (step == 1) {
        passToOperand<kAccessWalk>(evaluator, self, node, 2);
        self.index = attribute(AstAttribute::index, earlier) + 1;
        return;
    }
    if (!evaluator.compiling() || step != 2) return;
    const SourceSpan span = node.span();
    // Raises "Invalid access on dimension ..." for a subscript beyond the last one.
    const int64_t length = self.arrayType->dimensionLength(self.index);
    self.code = attribute(AstAttribute::code, earlier)
                    .concat(addressConstant(length, span))
                    .concat(emitMul(typeAddr, span))
                    .concat(positionInDimension(self.arrayType, self.index,
                                                attribute(AstAttribute::code, childRecord(node, 2)), span))
                    .concat(emitAdd(typeAddr, span));
}

// expression: the subscript as an address value; only what converts implicitly (the
// integer types but ULINT, enumerations, the integer literal) is accepted.
void subscript_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_subscript>();
    if (step == -1) {
        passToOperand<kAccessWalk>(evaluator, self, node, 0);
        return;
    }
    if (!evaluator.compiling()) return;
    const AstRecord expression = childRecord(node, 0);
    self.code = attribute(AstAttribute::code, expression)
                    .concat(emitImplicitConversion(attribute(AstAttribute::type, expression), typeAddr, node.span()));
}

// expression_lhs "." identifier: the member at the object's address plus its offset.
// Structures and classes share it: a class-typed variable holds its object, and a
// member of a class must be accessible from the class being compiled.
void expression_member_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_expression_member>();
    if (step == -1) {
        passToOperand<kAccessWalk>(evaluator, self, node, 0);
        return;
    }
    if (!evaluator.compiling() || step != 2) return;
    const AstRecord object = childRecord(node, 0);
    self.scifType = attribute(AstAttribute::type, object)->asScif();
    const std::string name = toLowerCopy(attribute(AstAttribute::name, childRecord(node, 2)));
    // An interface has methods only: no member to load.
    checkSemantic(!self.scifType->isInterface(), "Invalid access on member '%s' of interface '%s'.", name.c_str(),
                  self.scifType->toString().c_str());
    self.type = self.scifType->memberType(name);
    self.scifType->checkAccess(name, self.classContext);
    const SourceSpan span = node.span();
    self.addressCode = locationCode(addressCodeOf(object))
                           .concat(addressConstant(self.scifType->memberOffset(name), span))
                           .concat(emitAdd(typeAddr, span));
    self.code = self.addressCode.concat(emitLd(self.type, span));
}

} // namespace Karsto::Eval
