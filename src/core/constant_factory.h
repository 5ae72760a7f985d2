#pragma once
// The two factories through which every part of the compiler emits a constant: the
// class is chosen by the target type's kind (a subrange has its base's kind) and the
// value converted to that class's width on the way. Neither checks the value's range.

#include <cstdint>

#include "core/code.h"
#include "core/source_span.h"

namespace Karsto {

class Type;

// A Code holding one new constant instruction with the given span. Raises
// ExceptionSemantic for a kind without a constant class (strings, enumerations and every
// other composite kind) and then creates nothing.
Code makeIntConstant(int64_t value, const Type* type, const SourceSpan& span);
Code makeRealConstant(double value, const Type* type, const SourceSpan& span);

} // namespace Karsto
