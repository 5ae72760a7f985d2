#pragma once
// The two small records that every NC command and every geometry element carries: its
// place in the order of NC commands, and the block of the program it came from.

#include <compare>
#include <cstdint>
#include <limits>

#include "core/source_span.h"

namespace Karsto {

// The order of NC commands: a block counter and a sub-number inside the block. A
// block's own commands carry sub-number 0.0; elements the path chain inserts keep the
// counter of their block and take negative sub-numbers so they sort before its own.
struct BlockKey {
    uint64_t counter = 0;
    // The start value's sub-number is the smallest positive normal double, above every
    // negative sub-number of block 0.
    double sub = std::numeric_limits<double>::min();

    // The key that the processor's current key, the queue's hold key and delivery limit
    // start from (also what a default-constructed key holds).
    static constexpr BlockKey start() { return {}; }

    // Counter first (unsigned), then sub-number.
    friend constexpr std::partial_ordering operator<=>(const BlockKey& l, const BlockKey& r) {
        if (l.counter != r.counter) return l.counter <=> r.counter;
        return l.sub <=> r.sub;
    }
    friend constexpr bool operator==(const BlockKey&, const BlockKey&) = default;
};

// The G-code block or built-in call that caused a command: its span (not valid when
// there is none) and its N number.
struct BlockOrigin {
    SourceSpan span;
    double blockNumber = 0.0;
};

} // namespace Karsto
