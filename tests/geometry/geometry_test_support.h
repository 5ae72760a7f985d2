#pragma once
// Small builders shared by the geometry tests.

#include "geometry/block_key.h"

namespace Karsto {

// The origin of a block on one line of "part.jyx", columns 1 to 12.
inline BlockOrigin originAt(int32_t line, double blockNumber) {
    SourcePosition from;
    from.file = "part.jyx";
    from.line = line;
    from.column = 1;
    SourcePosition to = from;
    to.column = 12;
    return {SourceSpan(from, to), blockNumber};
}

} // namespace Karsto
