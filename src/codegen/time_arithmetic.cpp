#include "codegen/time_arithmetic.h"

#include <utility>

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

} // namespace Karsto
