#pragma once
// The single-instruction emitters without a type choice: a G-code block, a code
// address as a value, the null test of a reference, the calendar conversions and the
// string operations of the built-in functions. Each returns a Code holding the only
// reference to one new instruction that carries the span.

#include <cstdint>

#include "core/code.h"
#include "core/source_span.h"

namespace Karsto {

class GCode;
class Label;

// A CmdGcode holding its own copy of the block; the caller has pushed one LREAL per
// address word in source order.
Code emitGcode(const GCode& block, const SourceSpan& span);
// The label's address as a value. A null label raises "Use of undefined label." and
// creates nothing.
Code emitConstLabel(Label* label, const SourceSpan& span);
Code emitCheckNonNull(const SourceSpan& span);
Code emitUtcTimestamp(const SourceSpan& span);
Code emitUtcDate(const SourceSpan& span);
Code emitLen(const SourceSpan& span);
Code emitMid(const SourceSpan& span);
// Joins the count default strings on the stack.
Code emitConcat(int32_t count, const SourceSpan& span);

} // namespace Karsto
