#pragma once
// The wait counters of a channel's stack machine that the G-code processor, the NC
// built-ins and the kernel link take and give back. A machine waits while any counter is
// below 1; each reason to wait has a counter of its own, so independent waits never
// release each other.

#include <cstdint>

namespace Karsto {

enum class WaitCounter : int32_t {
    sync = 0,               // a synchronisation point (SYNC, M2, M30, delete distance to go)
    wait = 1,               // the built-in "wait" until the kernel's go-ahead
    axisQuery = 2,          // program start and axis queries until the positions arrive
    recordBuffer = 3,       // records parked on a full kernel buffer
    deleteDistanceToGo = 4, // a block that deletes its distance to go
    blockSearch = 6,        // the block-search hold until the kernel steps on
};

// The index for the machine's int32_t counter operations.
constexpr int32_t waitCounterIndex(WaitCounter counter) { return static_cast<int32_t>(counter); }

} // namespace Karsto
