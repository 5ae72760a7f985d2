// The kernel's NC command events (Vek command 0x4016): a synchronisation point reached,
// a new block-skip disable mask, the axis positions after an axis query, the current
// line and a deleted distance to go. Each gives back the wait counters the channel's
// program took while it waited for the event; the command is always answered 0.

#include <algorithm>
#include <array>
#include <span>

#include "core/log.h"
#include "core/stackmachine.h"
#include "gcode/gprocessor_nc2.h"
#include "gcode/wait_counter.h"
#include "geometry/ncmd_queue.h"
#include "host/controller_task.h"
#include "host/kernel/channel_nc2.h"
#include "host/kernel/kernel_interface_nc2.h"
#include "host/kernel/kernel_request_support.h"

namespace Karsto {

namespace {

using namespace KernelRequest;

// The command's data, laid out as the channel's own synchronisation command.
struct NcEventLayout {
    static constexpr size_t kSize = 88;
    static constexpr size_t type = 0;      // int32
    static constexpr size_t channelId = 8; // int32
    static constexpr size_t value = 12;    // uint32: the disable mask
    static constexpr size_t payload = 16;  // eight doubles, or the int32 line
    static constexpr size_t kAxes = 8;     // x, y, z, q1 to q5
};

enum class NcEventType : int32_t {
    syncReached = 0,
    disableMask = 1,
    unused2 = 2,
    axisPositions = 3,
    currentLine = 4,
    unused5 = 5,
    unused6 = 6,
    distanceToGoDeleted = 7,
    unused9 = 9,
};

// Only these types name a channel; type 8 and those above 9 are not looked at.
bool namesChannel(int32_t type) { return (type >= 0 && type <= 7) || type == 9; }

AxisPositions axisPositionsOf(const uint8_t* payload) {
    std::array<double, NcEventLayout::kAxes> v{};
    for (size_t i = 0; i < v.size(); ++i) v[i] = getDouble(payload + 8 * i);
    AxisPositions positions;
    positions.x = v[0];
    positions.y = v[1];
    positions.z = v[2];
    std::copy(v.begin() + 3, v.end(), positions.q.begin());
    return positions;
}

void syncReached(ChannelNc2& channel) {
    GProcessorNc2& processor = *channel.processor;
    Stackmachine& machine = *channel.task->machine;
    // After a step-on the next point reached ends the split of the searched element.
    if (processor.blockSearch.steppedOn) {
        processor.queue().search().splitSerial = 0;
        processor.queue().search().splitFraction = 0.0;
    }
    const int32_t sync = waitCounterIndex(WaitCounter::sync);
    machine.incWaitCounter(sync);
    // The distance-to-go counter taken with the sync comes back only once no other
    // synchronisation is pending.
    if (machine.getWaitCounter(sync) != 0) machine.incWaitCounter(waitCounterIndex(WaitCounter::deleteDistanceToGo));
}

void applyEvent(ChannelNc2& channel, NcEventType type, const std::array<uint8_t, NcEventLayout::kSize>& data) {
    using L = NcEventLayout;
    GProcessorNc2& processor = *channel.processor;
    Stackmachine& machine = *channel.task->machine;
    switch (type) {
    case NcEventType::syncReached: syncReached(channel); return;
    case NcEventType::disableMask: {
        const uint32_t mask = vekGet32(&data[L::value]);
        globalLog.debugKiIO("KernelInterfaceNc2: disablemask channel=%d mask=0x%x", channel.id, mask);
        processor.disableMask = mask; // zero-extended: skip levels 32 and up are never disabled
        return;
    }
    case NcEventType::axisPositions: {
        // During a search the kernel's positions are taken over only when it asked for it.
        const bool zeros = processor.blockSearch.active && !processor.blockSearch.axisAnswerInSearch;
        processor.updateAxes(zeros ? AxisPositions{} : axisPositionsOf(&data[L::payload]));
        machine.incWaitCounter(waitCounterIndex(WaitCounter::axisQuery));
        return;
    }
    case NcEventType::currentLine: channel.currentLine = getInt32(&data[L::payload]); return;
    case NcEventType::distanceToGoDeleted:
        // Throws on a refused query: the event stays unanswered and the loop ends.
        channel.eventWrite();
        channel.valueSend(0, processor.queue().serial());
        machine.decWaitCounter(waitCounterIndex(WaitCounter::axisQuery));
        machine.incWaitCounter(waitCounterIndex(WaitCounter::deleteDistanceToGo));
        return;
    case NcEventType::unused2:
    case NcEventType::unused5:
    case NcEventType::unused6:
    case NcEventType::unused9: return;
    }
}

} // namespace

void KernelInterfaceNc2::nccmdEvent(const ZelServerBuffered::Cmd& event) {
    using L = NcEventLayout;
    // A shorter command reads as if padded with zeros.
    std::array<uint8_t, L::kSize> data{};
    const std::span<const uint8_t> sent =
        std::span<const uint8_t>(event.command).subspan(std::min(kVekHeadSize, event.command.size()));
    std::copy_n(sent.begin(), std::min(sent.size(), data.size()), data.begin());

    const int32_t type = getInt32(&data[L::type]);
    globalLog.debugKiState("KernelInterfaceNc2::nccmdEvent eventType=%d", type);
    if (namesChannel(type)) {
        if (ChannelNc2* channel = channelById(getInt32(&data[L::channelId])))
            applyEvent(*channel, static_cast<NcEventType>(type), data);
    }
    server->VekResponse(std::span<const uint8_t>(event.command), 0);
}

} // namespace Karsto
