#pragma once
// Argument code shared by the built-in kinds that build their calls through the
// emitters; not for use outside the library.

#include <memory>
#include <span>

#include "core/code.h"
#include "core/source_span.h"

namespace Karsto {

struct AParam;
class AParamList;
class FunctionIntrinsic;
class Type;

using Arguments = std::span<const std::unique_ptr<AParam>>;

// The argument's value, then its implicit conversion to the type.
Code convertedValue(const AParam& argument, Type* to, const SourceSpan& span);
// The argument's value, then its explicit cast to the type.
Code castValue(const AParam& argument, Type* to, const SourceSpan& span);

// The common type of the arguments, folded left to right; a pair without one raises
// "Types '%s' and '%s' can not be combined" with the type accumulated so far first.
Type* foldedCommonType(Arguments arguments);

// The result type after the check that the call is positional with the function's
// arity.
Type* nonformalResult(const FunctionIntrinsic& function, AParamList* parameters, Type* result);

// Whether a selector, position or length of the type may be used as an index: the
// integer kinds, the integer literal, and TIME and LTIME, which pass here and are
// refused by their cast to an address.
bool isIndexKind(const Type* type);

} // namespace Karsto
