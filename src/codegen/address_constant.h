#pragma once
// An address-sized constant without a place of its own: the cell offsets and the fixed
// addresses the code generator adds to pointers and frame positions.

#include <cstdint>

#include "core/code.h"
#include "core/constant_factory.h"
#include "core/source_span.h"
#include "core/type.h"

namespace Karsto {

inline Code addressConstant(int64_t value) {
    return makeIntConstant(value, typeAddr, SourceSpan());
}

} // namespace Karsto
