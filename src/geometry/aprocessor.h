#pragma once
// The common base of a channel's motion processors (the path processor and the
// auxiliary-axis interpolation), and what they need of the channel's G-code processor.

#include <utility>
#include <vector>

#include "core/space.h"
#include "geometry/block_key.h"

namespace Karsto {

class NCmdQueue;

// The part of the channel's G-code processor that the motion processors reach: its
// command queue and the key of the block being executed. The G-code processor
// implements it beside its interface to the stack machine, which stays free of geometry.
class AProcessorOwner {
public:
    virtual NCmdQueue& queue() = 0;
    virtual const BlockKey& key() const = 0;

protected:
    AProcessorOwner() = default;
    AProcessorOwner(const AProcessorOwner&) = default;
    AProcessorOwner& operator=(const AProcessorOwner&) = default;
    ~AProcessorOwner() = default; // never deleted through this interface
};

class AProcessor {
public:
    // owner and the axis slots are not owned; both outlive the processor.
    AProcessor(AProcessorOwner& owner, std::vector<SpaceSlot*> axes)
        : owner_(owner), axes_(std::move(axes)) {}
    AProcessor(const AProcessor&) = delete;
    AProcessor& operator=(const AProcessor&) = delete;
    virtual ~AProcessor() = default;

    AProcessorOwner& owner() const { return owner_; }
    // The axes this processor drives, in its own order.
    const std::vector<SpaceSlot*>& axes() const { return axes_; }

private:
    AProcessorOwner& owner_;
    std::vector<SpaceSlot*> axes_;
};

} // namespace Karsto
