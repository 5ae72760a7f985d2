#pragma once
// The value part of an assignment ":=": what the statement stores before the target's
// address and the store of the target type follow.

#include "core/code.h"
#include "core/source_span.h"

namespace Karsto {

class Type;

// The code that leaves one value of the target type on the stack. An object of a class
// assigned to an interface becomes the reference to the object's part for that
// interface: the object's address plus the interface's offset in the class (an object
// without an address raises "Object can not be referenced"); every other pair is the
// value followed by its implicit conversion, which carries the span.
Code emitReferenceAssignment(const Code& value, const Code& address, Type* from, Type* to, const SourceSpan& span);

} // namespace Karsto
