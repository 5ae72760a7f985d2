#pragma once
// The NC output of a channel: where the queue delivers its commands. The kernel link and
// the offline run each provide one.

#include <memory>

#include "geometry/block_key.h"

namespace Karsto {

class NCmd;

class NInterface {
public:
    NInterface() = default;
    NInterface(const NInterface&) = delete;
    NInterface& operator=(const NInterface&) = delete;
    virtual ~NInterface() = default;

    // Drops everything the output still holds.
    virtual void reset() {}
    // The output's current key back to the start value.
    virtual void keyReset() = 0;
    // Takes one delivered command; the output owns it from now on.
    virtual void cmdAdd(std::unique_ptr<NCmd> cmd) = 0;
    // Sends the default interpolation rules to the kernel.
    virtual void ipolRulesSend() = 0;
    // The program has ended.
    virtual void finish() = 0;
    // The delivery limit stands at this key: everything below it has been delivered.
    virtual void keySet(const BlockKey& limit) = 0;
};

} // namespace Karsto
