#include "codegen/time_arithmetic.h"

#include <utility>

#include "codegen/cast_emitter.h"
#include "codegen/operation_emitters.h"
#include "core/exception.h"
#include "core/type.h"
#include "core/type_kind.h"

namespace Karsto {
namespace {

bool isDuration(const Type* type) {
    return type->kind() == TypeKind::Time || type->kind() == TypeKind::Ltime;
}

// The durations, dates and times of day that add to or subtract a duration: DATE and
// LDATE are not among them.
bool isDurationOrPointInTime(const Type* type) {
    const int32_t k = kindIndex(type->kind());
    return k >= kindIndex(TypeKind::Time) && k <= kindIndex(TypeKind::Ltod);
}

bool isDateOrTime(const Type* type) {
    const int32_t k = kindIndex(type->kind());
    return k >= kindIndex(TypeKind::Time) && k <= kindIndex(TypeKind::Ldate);
}

// USINT to LREAL; the literal kinds are not numeric here, so a literal factor of a
// duration is refused.
bool isNumeric(const Type* type) {
    const int32_t k = kindIndex(type->kind());
    return k >= kindIndex(TypeKind::Usint) && k <= kindIndex(TypeKind::Lreal);
}

// The operands ordered by kind, the lower first; the left first on equal kinds.
std::pair<Type*, Type*> byKind(Type* left, Type* right) {
    if (kindIndex(right->kind()) < kindIndex(left->kind())) return {right, left};
    return {left, right};
}

bool isReal(const Type* type) {
    return type->kind() == TypeKind::Real || type->kind() == TypeKind::Lreal;
}

using OperationEmitter = Code (*)(Type* type, const SourceSpan& span);

// Two operands converted to the result type: the instruction is made first, then the
// right conversion, then the left one, so that a result type without the operation
// reports that before any conversion is tried; the code runs left, its conversion,
// right, its conversion, the instruction.
Code converted(Type* left, Type* right, const Code& leftCode, const Code& rightCode,
               Type* result, OperationEmitter operation, const SourceSpan& span) {
    const Code instruction = operation(result, span);
    const Code rightConversion = emitImplicitConversion(right, result, span);
    const Code leftConversion = emitImplicitConversion(left, result, span);
    return leftCode.concat(leftConversion)
        .concat(rightCode)
        .concat(rightConversion)
        .concat(instruction);
}

// A duration times (or divided by) a factor, the duration's code first: as LINT for an
// integer factor, through LREAL for a real one, rounded back to whole nanoseconds. The
// operation and the final conversion carry the span, the other conversions none. A
// duration factor has no cast to LINT: the cast emitter refuses it.
Code durationBy(const Code& durationCode, Type* factor, const Code& factorCode,
                OperationEmitter operation, const SourceSpan& span) {
    const SourceSpan none;
    if (!isReal(factor)) {
        return durationCode.concat(factorCode)
            .concat(emitCast(factor, typeLint, none))
            .concat(operation(typeLint, span));
    }
    return durationCode.concat(emitCast(typeLint, typeLreal, none))
        .concat(factorCode)
        .concat(emitCast(factor, typeLreal, none))
        .concat(operation(typeLreal, span))
        .concat(emitCast(typeLreal, typeLint, span));
}

[[noreturn]] void notOverloaded(const char* operation, const Type* first, const Type* second) {
    failSemantic("Operation '%s' is not overloaded for types '%s' and '%s'", operation,
                 first->toString().c_str(), second->toString().c_str());
}

} // namespace

Type* resultTypeAdd(Type* left, Type* right) {
    if (!isDateOrTime(left) && !isDateOrTime(right)) return commonTypeOrFail(left, right);
    const auto [lower, higher] = byKind(left, right);
    if (!isDuration(lower) || !isDurationOrPointInTime(higher)) {
        notOverloaded("add", lower, higher);
    }
    return higher;
}

Type* resultTypeSub(Type* left, Type* right) {
    if (!isDateOrTime(left) && !isDateOrTime(right)) return commonTypeOrFail(left, right);
    // A date or time of day converts implicitly only to itself and its long form: a
    // common type of these kinds means two points in time of one sort.
    if (Type* common = commonType(left, right)) {
        const TypeKind kind = common->kind();
        if (kind == TypeKind::Dt || kind == TypeKind::Tod || kind == TypeKind::Date) return typeTime;
        if (kind == TypeKind::Ldt || kind == TypeKind::Ltod || kind == TypeKind::Ldate)
            return typeLtime;
    }
    if (!isDuration(right) || !isDurationOrPointInTime(left)) notOverloaded("sub", left, right);
    return left;
}

Type* resultTypeMul(Type* left, Type* right) {
    if (!isDateOrTime(left) && !isDateOrTime(right)) return commonTypeOrFail(left, right);
    const auto [lower, higher] = byKind(left, right);
    if (!(isNumeric(lower) || isDuration(lower)) || !isDuration(higher)) {
        notOverloaded("mul", lower, higher);
    }
    return higher;
}

Type* resultTypeDiv(Type* left, Type* right) {
    if (!isDateOrTime(left) && !isDateOrTime(right)) return commonTypeOrFail(left, right);
    if (!isDuration(left) || !(isNumeric(right) || isDuration(right))) {
        notOverloaded("div", left, right);
    }
    return left;
}

Code emitBinaryAdd(Type* left, Type* right, const Code& leftCode, const Code& rightCode,
                   const SourceSpan& span) {
    Type* result = resultTypeAdd(left, right);
    // Both operands already are nanosecond counts.
    if (isDateOrTime(result)) return leftCode.concat(rightCode).concat(emitAdd(typeLint, span));
    return converted(left, right, leftCode, rightCode, result, emitAdd, span);
}

Code emitBinarySub(Type* left, Type* right, const Code& leftCode, const Code& rightCode,
                   const SourceSpan& span) {
    Type* result = resultTypeSub(left, right);
    if (isDateOrTime(result)) return leftCode.concat(rightCode).concat(emitSub(typeLint, span));
    return converted(left, right, leftCode, rightCode, result, emitSub, span);
}

// The shape follows the operand types: a duration operand is evaluated first, whichever
// side it stands on.
Code emitBinaryMul(Type* left, Type* right, const Code& leftCode, const Code& rightCode,
                   const SourceSpan& span) {
    Type* result = resultTypeMul(left, right);
    if (isDuration(left)) return durationBy(leftCode, right, rightCode, emitMul, span);
    if (isDuration(right)) return durationBy(rightCode, left, leftCode, emitMul, span);
    return converted(left, right, leftCode, rightCode, result, emitMul, span);
}

Code emitBinaryDiv(Type* left, Type* right, const Code& leftCode, const Code& rightCode,
                   const SourceSpan& span) {
    Type* result = resultTypeDiv(left, right);
    if (isDuration(left)) return durationBy(leftCode, right, rightCode, emitDiv, span);
    return converted(left, right, leftCode, rightCode, result, emitDiv, span);
}

} // namespace Karsto
