#pragma once
// The operators + - * / of Structured Text: their result types and their code.
// Durations (TIME, LTIME), dates and times of day (DT, LDT, TOD, LTOD, DATE, LDATE)
// have no arithmetic instructions of their own: all are signed 64-bit nanosecond
// counts, computed as LINT (and through LREAL for a real factor or divisor).
//
// Every rule raises ExceptionSemantic without a span for a pair it refuses; the emitters
// run their rule before they make anything, so a refused pair leaves nothing behind.

#include "core/code.h"
#include "core/source_span.h"

namespace Karsto {

class Type;

// Two operands without a date or time type: their common type ("Types '%s' and '%s'
// can not be combined"). Otherwise:
// add: a duration and a duration, date and time or time of day (DATE and LDATE
//      excluded), in either order; the result is the one of the higher kind.
Type* resultTypeAdd(Type* left, Type* right);
// sub: two dates (times, times of day) give the duration of their common type's
//      length; a duration subtracted from a duration, date and time or time of day
//      gives the left type.
Type* resultTypeSub(Type* left, Type* right);
// mul: a duration and a numeric type or duration, in either order; the duration of the
//      higher kind.
Type* resultTypeMul(Type* left, Type* right);
// div: a duration divided by a numeric type or duration; the left type.
Type* resultTypeDiv(Type* left, Type* right);

// The code of the whole operation, operand code included.
Code emitBinaryAdd(Type* left, Type* right, const Code& leftCode, const Code& rightCode,
                   const SourceSpan& span);
Code emitBinarySub(Type* left, Type* right, const Code& leftCode, const Code& rightCode,
                   const SourceSpan& span);
Code emitBinaryMul(Type* left, Type* right, const Code& leftCode, const Code& rightCode,
                   const SourceSpan& span);
Code emitBinaryDiv(Type* left, Type* right, const Code& leftCode, const Code& rightCode,
                   const SourceSpan& span);

} // namespace Karsto
