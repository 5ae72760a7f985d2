#include "codegen/operation_emitters.h"

#include "codegen/cast_emitter.h"
#include "core/cmd_flow.h"
#include "core/exception.h"
#include "core/type.h"
#include "core/type_enum.h"
#include "core/type_string.h"
#include "instructions/operators/operator_table.h"

namespace Karsto {
namespace {

// The operation part of the family's class names, for the messages.
constexpr const char* familyName(OperatorFamily family) {
    switch (family) {
#define KARSTO_OPERATOR_FAMILY(Family, Number, Classes) \
    case OperatorFamily::Family:                         \
        return #Family;
#include "instructions/operators/operator_families.def"
    }
    return "";
}

// The capacity the String and Wstring members carry; the members of the other kinds
// do not read it.
int32_t memberCapacity(Type* type) {
    if (type->isString()) return type->asString()->capacity();
    if (type->isWstring()) return type->asWstring()->capacity();
    return kOperatorDefaultCapacity;
}

// The family's member for the kind, checked before anything is created.
const OperatorEntry& memberFor(OperatorFamily family, TypeKind kind) {
    const OperatorEntry* entry = operatorFor(family, kind);
    checkSemantic(entry != nullptr, "Operation %s is not overloaded for given type.",
                  familyName(family));
    return *entry;
}

// A new instance of the entry's class with the operands and the span, held by the Code
// that the caller gets.
Code instance(const OperatorEntry& entry, const OperatorOperands& operands,
              const SourceSpan& span) {
    Cmd* cmd = entry.make(operands);
    cmd->setSpan(span);
    return Code(cmd);
}

Code typed(OperatorFamily family, Type* type, const SourceSpan& span) {
    return instance(memberFor(family, type->kind()), {}, span);
}

// Comparisons: an enumeration compares as its base type, a reference as DINT.
Code comparison(OperatorFamily family, Type* type, const SourceSpan& span) {
    if (type->isEnum()) type = type->asEnum()->baseType();
    TypeKind kind = type->kind();
    if (kind == TypeKind::Pointer) kind = TypeKind::Dint;
    return instance(memberFor(family, kind), {.capacity = memberCapacity(type)}, span);
}

Code counted(OperatorFamily family, Type* type, int64_t count, const SourceSpan& span) {
    return instance(memberFor(family, type->kind()),
                    {.first = count, .capacity = memberCapacity(type)}, span);
}

// Checks the target, creates the branch, then the conversion; should the conversion
// raise, the branch's Code releases it on the way out.
template <class Branch>
Code conditional(Label* target, Type* condition, const SourceSpan& span) {
    checkSemantic(target != nullptr, "Control-flow to undefined location.");
    auto* branch = new Branch(target);
    branch->setSpan(span);
    const Code branchCode(branch);
    return emitImplicitConversion(condition, typeBool, span).concat(branchCode);
}

} // namespace

Code emitAdd(Type* type, const SourceSpan& span) { return typed(OperatorFamily::Add, type, span); }
Code emitSub(Type* type, const SourceSpan& span) { return typed(OperatorFamily::Sub, type, span); }
Code emitMul(Type* type, const SourceSpan& span) { return typed(OperatorFamily::Mul, type, span); }
Code emitDiv(Type* type, const SourceSpan& span) { return typed(OperatorFamily::Div, type, span); }
Code emitMod(Type* type, const SourceSpan& span) { return typed(OperatorFamily::Mod, type, span); }
Code emitExpt(Type* type, const SourceSpan& span) { return typed(OperatorFamily::Expt, type, span); }
Code emitNeg(Type* type, const SourceSpan& span) { return typed(OperatorFamily::Neg, type, span); }

Code emitOr(Type* type, const SourceSpan& span) { return typed(OperatorFamily::Or, type, span); }
Code emitXor(Type* type, const SourceSpan& span) { return typed(OperatorFamily::Xor, type, span); }
Code emitAnd(Type* type, const SourceSpan& span) { return typed(OperatorFamily::And, type, span); }
Code emitInv(Type* type, const SourceSpan& span) { return typed(OperatorFamily::Inv, type, span); }

Code emitEq(Type* type, const SourceSpan& span) {
    return comparison(OperatorFamily::Eq, type, span);
}
Code emitNe(Type* type, const SourceSpan& span) {
    return comparison(OperatorFamily::Ne, type, span);
}
Code emitLt(Type* type, const SourceSpan& span) {
    return comparison(OperatorFamily::Lt, type, span);
}
Code emitGt(Type* type, const SourceSpan& span) {
    return comparison(OperatorFamily::Gt, type, span);
}
Code emitLe(Type* type, const SourceSpan& span) {
    return comparison(OperatorFamily::Le, type, span);
}
Code emitGe(Type* type, const SourceSpan& span) {
    return comparison(OperatorFamily::Ge, type, span);
}

Code emitMin(Type* type, int64_t count, const SourceSpan& span) {
    return counted(OperatorFamily::Min, type, count, span);
}
Code emitMax(Type* type, int64_t count, const SourceSpan& span) {
    return counted(OperatorFamily::Max, type, count, span);
}

Code emitAssertRange(int64_t low, int64_t high, const SourceSpan& span) {
    // Indexes are address values: the address type's kind picks the member.
    return instance(memberFor(OperatorFamily::AssertRange, typeAddr->kind()),
                    {.first = low, .second = high}, span);
}

Code emitBranchInRange(Label* target, Type* selector, const SourceSpan& span) {
    const OperatorEntry* entry = operatorFor(OperatorFamily::BranchInRange, selector->kind());
    checkSemantic(entry != nullptr, "Selector in CASE construct has invalid type '%s'.",
                  selector->toString().c_str());
    return instance(*entry, {.target = target}, span);
}

Code emitBranchLtEq(Label* target, Type* type, const SourceSpan& span) {
    return instance(memberFor(OperatorFamily::BranchLtEq, type->kind()), {.target = target},
                    span);
}
Code emitBranchGtEq(Label* target, Type* type, const SourceSpan& span) {
    return instance(memberFor(OperatorFamily::BranchGtEq, type->kind()), {.target = target},
                    span);
}

Code emitBranchTrue(Label* target, Type* condition, const SourceSpan& span) {
    return conditional<CmdBranchTrue>(target, condition, span);
}
Code emitBranchFalse(Label* target, Type* condition, const SourceSpan& span) {
    return conditional<CmdBranchFalse>(target, condition, span);
}

} // namespace Karsto
