#pragma once
// The value part of an assignment ":=" or an assignment attempt "?=": what the statement
// stores before the target's address and the store of the target type follow.

#include "core/code.h"
#include "core/source_span.h"

namespace Karsto {

class Type;

// The code that leaves one value of the target type on the stack; address is the
// source's address Code, empty when it has none.
//
// ":=" (attempt false): an object of a class assigned to an interface becomes the
// reference to the object's part for that interface, the object's address plus the
// interface's offset in the class (an object without an address raises "Object can not
// be referenced"); every other pair is the value followed by its implicit conversion,
// which alone carries the span.
//
// "?=" (attempt true): from a class or interface reference to a class or interface
// reference, a run-time search of the object's class chain or interface-table chain
// that leaves the reference in the target's form, or 0 when the object does not fit (a
// null source is 0 at once, without reading memory). Any other pair raises "Invalid
// assignment attempt from type '...' to '...'.", since nothing would be stored.
Code emitReferenceAssignment(const Code& value, const Code& address, Type* from, Type* to,
                             bool attempt, const SourceSpan& span);

// ":=".
inline Code emitReferenceAssignment(const Code& value, const Code& address, Type* from,
                                    Type* to, const SourceSpan& span) {
    return emitReferenceAssignment(value, address, from, to, false, span);
}

} // namespace Karsto
