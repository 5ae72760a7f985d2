#pragma once
// Size, text and default value of composite types whose parts nest to any depth (an
// array of arrays of structures, a reference to a reference, ...). Generated sources can
// nest type declarations many thousand levels deep, so these walk the parts with an
// explicit stack instead of calling the parts' own operations recursively. Types outside
// the walked families (elementary, string, enumeration, class, interface) are leaves:
// their own operations answer for them.

#include <cstdint>
#include <string>

#include "core/code.h"

namespace Karsto {

class Type;

// Cells: an array is its element count times its element's size, a structure the sum of
// its members' sizes.
int64_t typeSize(const Type* type);
// The text form of arrays, structures, pointers, function signatures and subranges.
std::string typeText(const Type* type);
// The default value of an array (its element's initial value once per element) or a
// structure (its members' initial values in order).
Code typeDefaultValue(const Type* type);

} // namespace Karsto
