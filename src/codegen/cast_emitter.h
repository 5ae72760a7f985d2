#pragma once
// The conversions of the language: explicit casts, the implicit conversions the
// language applies by itself, and the completion of array initialisers. Each returns
// the Code that the caller places after the code pushing the value (or values).

#include <cstdint>

#include "core/code.h"
#include "core/source_span.h"

namespace Karsto {

class Type;
class TypeArray;

// Turns the value of `from` on top of the stack into a value of `to`: no, one or two
// instructions chosen by the two kinds alone, every item carrying the span. A pair the
// conversion table refuses raises "Invalid cast from '%s' to '%s'." and creates nothing.
Code emitCast(Type* from, Type* to, const SourceSpan& span);

// The conversion the language applies without being asked: nothing between equal
// types; a STRING to any STRING and a WSTRING to any WSTRING; otherwise only where the
// common type of the two is the target, else "Invalid implicit conversion from type
// '%s' to '%s'.". The code is emitCast's (whose errors pass through).
Code emitImplicitConversion(Type* from, Type* to, const SourceSpan& span);

// After the code of an initialiser that pushed `count` element values of the array:
// pads with the element's initial value or drops the values pushed last, so exactly
// the array's element count remains, and warns (without a span) on a mismatch.
Code emitArrayInit(int32_t count, TypeArray* array, const SourceSpan& span);

} // namespace Karsto
