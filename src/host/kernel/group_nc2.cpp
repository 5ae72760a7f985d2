#include "host/kernel/group_nc2.h"

#include <utility>

#include "core/log.h"
#include "host/kernel/channel_nc2.h"
#include "host/kernel/kernel_interface_nc2.h"

namespace Karsto {

GroupNc2::GroupNc2(int32_t id_, int32_t type_, std::string name_, ChannelNc2* channel_, int32_t numberInChannel_)
    : id(id_), type(type_), name(std::move(name_)), channel(channel_), numberInChannel(numberInChannel_) {}

void GroupNc2::groupFuncSend(GroupFunction function) {
    const auto functionId = static_cast<int32_t>(function);
    globalLog.debugKiIO("GroupNc2::groupFuncSend functionId=%d", functionId);
    KernelInterfaceNc2& kernel = *channel->kernel;
    // The answer is ignored: a reset or stop that the kernel refuses changes nothing here.
    (void)kernel.zel.ZelSyncWriteReq(kernel.kernelAddress, ChannelNc2::kRecordGroupBase + static_cast<uint32_t>(id),
                                     static_cast<uint32_t>(functionId), 0, nullptr);
}

} // namespace Karsto
