#pragma once
// One axis group of an NC channel as the kernel reported it. The channel's records go to
// its group with the lowest id; the group functions (reset, stop) go to the group.

#include <cstdint>
#include <string>

namespace Karsto {

class ChannelNc2;

// The kernel's group functions.
enum class GroupFunction : int32_t {
    reset = 1,
    stop = 2,
};

class GroupNc2 {
public:
    GroupNc2(int32_t id_, int32_t type_, std::string name_, ChannelNc2* channel_, int32_t numberInChannel_);
    virtual ~GroupNc2() = default;
    GroupNc2(const GroupNc2&) = delete;
    GroupNc2& operator=(const GroupNc2&) = delete;

    // Writes to the group's record index group at the function's offset, no data; the
    // kernel's answer is not evaluated.
    void groupFuncSend(GroupFunction function);

    int32_t id;
    int32_t type;
    std::string name;
    ChannelNc2* channel; // not owned
    int32_t numberInChannel;
};

} // namespace Karsto
