#pragma once
// The typed operation emitters: each returns a Code holding exactly one new
// instruction, the member of its operator family whose type suffix belongs to the kind
// of the type passed, carrying the span. A kind the family has no member for raises
// ExceptionSemantic with the emitter's message and creates nothing. Operand code is
// never part of the result: callers concatenate it before.

#include <cstdint>

#include "core/code.h"
#include "core/source_span.h"

namespace Karsto {

class Type;

// Arithmetic: Add, Sub, Mul, Div and Neg take the twelve numeric kinds, Mod the integer
// ones and the integer literal, Expt the real ones and the real literal.
Code emitAdd(Type* type, const SourceSpan& span);
Code emitSub(Type* type, const SourceSpan& span);
Code emitMul(Type* type, const SourceSpan& span);
Code emitDiv(Type* type, const SourceSpan& span);
Code emitMod(Type* type, const SourceSpan& span);
Code emitExpt(Type* type, const SourceSpan& span);
Code emitNeg(Type* type, const SourceSpan& span);

// Bitwise and Boolean: BOOL and the bit strings; Or, Xor and And also the integer
// literal.
Code emitOr(Type* type, const SourceSpan& span);
Code emitXor(Type* type, const SourceSpan& span);
Code emitAnd(Type* type, const SourceSpan& span);
Code emitInv(Type* type, const SourceSpan& span);

// Comparisons, pushing one BOOL: every elementary kind. An enumeration compares as its
// base type and a reference as DINT (the low 32 bits of its address). STRING and
// WSTRING members carry the type's capacity.
Code emitEq(Type* type, const SourceSpan& span);
Code emitNe(Type* type, const SourceSpan& span);
Code emitLt(Type* type, const SourceSpan& span);
Code emitGt(Type* type, const SourceSpan& span);
Code emitLe(Type* type, const SourceSpan& span);
Code emitGe(Type* type, const SourceSpan& span);

// The least (greatest) of count values of the type: every elementary kind, no
// enumeration; STRING and WSTRING members carry the type's capacity.
Code emitMin(Type* type, int64_t count, const SourceSpan& span);
Code emitMax(Type* type, int64_t count, const SourceSpan& span);

// The index check of an address-typed value against low..high.
Code emitAssertRange(int64_t low, int64_t high, const SourceSpan& span);
// The CASE element test of a numeric selector; any other selector raises "Selector in
// CASE construct has invalid type '%s'.". The target is not tested for null.
Code emitBranchInRange(Label* target, Type* selector, const SourceSpan& span);
// The FOR loop tests of a numeric control variable; any other kind raises "Operation
// BranchLtEq (BranchGtEq) is not overloaded for given type.". The target is not tested
// for null.
Code emitBranchLtEq(Label* target, Type* type, const SourceSpan& span);
Code emitBranchGtEq(Label* target, Type* type, const SourceSpan& span);

// The condition's implicit conversion to BOOL followed by the branch. A null target
// raises "Control-flow to undefined location." before anything else; a condition that
// does not convert raises the conversion's message.
Code emitBranchTrue(Label* target, Type* condition, const SourceSpan& span);
Code emitBranchFalse(Label* target, Type* condition, const SourceSpan& span);

} // namespace Karsto
