// The kernel's channel functions: writes of index group 0x2200 plus the channel id that
// load, start, stop and reset the channel, run a block search and step on after it,
// keep tool data and snapshots, clear the tool table and the zero offsets, and release
// a program waiting for the go-ahead.

#include <algorithm>
#include <cstring>
#include <span>
#include <string>

#include "core/log.h"
#include "core/stackmachine.h"
#include "gcode/gprocessor_nc2.h"
#include "gcode/snapshot_file.h"
#include "gcode/wait_counter.h"
#include "geometry/ncmd_queue.h"
#include "host/controller_task.h"
#include "host/kernel/channel_nc2.h"
#include "host/kernel/kernel_request_support.h"

namespace Karsto {
namespace KernelRequest {

namespace {

// Index offsets of the channel functions.
enum class ChnFunc : uint32_t {
    startProg = 0x02,
    loadProgTxt = 0x04,
    itpOpMode = 0x05,
    reset = 0x10,
    stop = 0x11,
    enableBlockSearch = 0x18,
    stepOnAfterBlockSearch = 0x19,
    saveToolData = 0x22,
    loadToolData = 0x23,
    saveSnapshot = 0x24,
    loadSnapshot = 0x25,
    toolParamsToZero = 0x26,
    zeroOffsetsToZero = 0x27,
    goAhead = 0x30,
};

// A path of this length or more cannot be a kernel's file name.
constexpr size_t kMaxPathData = 260;
// The interpreter has no single-step mode.
constexpr uint16_t kSingleStepMode = 0x4000;

// The block-search request.
struct BlockSearchLayout {
    static constexpr size_t kSize = 24;
    static constexpr size_t percent = 0;      // double
    static constexpr size_t target = 8;       // uint32, not 0
    static constexpr size_t takeAxes = 14;    // uint8: keep the kernel's axis answers
    static constexpr size_t kind = 16;        // uint16, BlockSearchKind
    static constexpr size_t searchKind = 18;  // uint16, the queue's search kind
};
enum class BlockSearchKind : uint16_t {
    byBlockNumber = 1,
    bySerial = 2,
};

// Zero offsets 1 to 8, the ones the kernel sets; the programmable ones stay.
constexpr int32_t kZeroedOffsets = ZeroOffsets::kSettable;

Stackmachine& machineOf(ChannelNc2& channel) { return *channel.task->machine; }

void loadProgram(ChannelNc2& channel, std::span<const uint8_t> data) {
    globalLog.debugKiIO("KernelInterfaceNc2: WRITE CHNFUNCS LOADPROGTXT strlen=%d", static_cast<int32_t>(data.size()));
    if (data.size() >= kMaxPathData) refuse(ZelCode::badLength);
    // Up to the first NUL, or all of it; the kernel writes its paths with backslashes.
    const auto end = std::find(data.begin(), data.end(), uint8_t{0});
    std::string path(data.begin(), end);
    std::replace(path.begin(), path.end(), '\\', '/');
    channel.programLoad(path);
}

void operationMode(std::span<const uint8_t> data) {
    globalLog.debugKiIO("KernelInterfaceNc2: WRITE CHNFUNCS ITPOPMODE (SINGLE STEP MODE)");
    if (data.size() < 2) refuse(ZelCode::badLength);
    if (vekGet16(data.data()) == kSingleStepMode) refuse(ZelCode::singleStepMode);
}

void enableBlockSearch(ChannelNc2& channel, std::span<const uint8_t> data) {
    using L = BlockSearchLayout;
    globalLog.debugKiIO("KernelInterfaceNc2: WRITE CHNFUNCS ENABLEBLOCKSEARCH TRACE");
    if (data.size() != L::kSize) refuse(ZelCode::badLength);
    const uint32_t target = vekGet32(&data[L::target]);
    const auto kind = static_cast<BlockSearchKind>(vekGet16(&data[L::kind]));
    if (target == 0 || (kind != BlockSearchKind::byBlockNumber && kind != BlockSearchKind::bySerial))
        refuse(ZelCode::invalidBlockSearch);

    GProcessorNc2& processor = *channel.processor;
    processor.blockSearch.active = true;
    processor.blockSearch.target = target;
    processor.blockSearch.axisAnswerInSearch = data[L::takeAxes] != 0;
    BlockSearch& search = processor.queue().search();
    // The kernel's kinds and the queue's modes are numbered the other way round.
    switch (kind) {
    case BlockSearchKind::byBlockNumber: search.searchMode = SearchMode::byBlockNumber; break;
    case BlockSearchKind::bySerial: search.searchMode = SearchMode::bySerial; break;
    }
    search.searchTarget = target;
    search.searchPercent = getDouble(&data[L::percent]);
    search.searchKind = getInt16(&data[L::searchKind]);
}

void stepOnAfterBlockSearch(ChannelNc2& channel) {
    globalLog.debugKiIO("KernelInterfaceNc2: WRITE CHNFUNCS STEPONAFTERBLOCKSEARCH TRACE");
    GProcessorNc2& processor = *channel.processor;
    // Order matters: the hold ends before the machine may step into the next block.
    processor.queue().search().searchMode = SearchMode::none;
    machineOf(channel).incWaitCounter(waitCounterIndex(WaitCounter::blockSearch));
    processor.blockSearch.active = false;
    processor.blockSearch.steppedOn = true;
}

// The 36-byte request, or the mask alone placed into one of our own.
SnapshotRequest snapshotRequest(std::span<const uint8_t> data) {
    if (data.size() == sizeof(uint32_t)) return SnapshotRequest::withMask(vekGet32(data.data()));
    if (data.size() != SnapshotRequest::kSize) refuse(ZelCode::badLength);
    SnapshotRequest request;
    std::copy(data.begin(), data.end(), request.bytes.begin());
    return request;
}

void toolParamsToZero(GProcessorNc2& processor) {
    globalLog.debugKiIO("KernelInterfaceNc2: WRITE CHNFUNCS SET TOOL PARAMS TO ZERO");
    ToolTable& tools = processor.tools;
    for (int32_t t = 1; t <= ToolTable::kTools; ++t) {
        tools.setNumber(t, 0);
        tools.setToolType(t, 0);
        for (int32_t p = 1; p <= ToolEntry::kParams; ++p) tools.setParam(t, p, 0.0);
    }
}

void zeroOffsetsToZero(GProcessorNc2& processor) {
    globalLog.debugKiIO("KernelInterfaceNc2: WRITE CHNFUNCS AZOS COORDINATES TO ZERO");
    for (int32_t i = 0; i < kZeroedOffsets; ++i) {
        ZeroOffset zos = processor.zeroOffsets().entry(i);
        // One store per component, each recomposing the zero offset in effect.
        for (uint32_t j = 1; j <= kZeroOffsetComponents; ++j) {
            zeroOffsetComponent(zos, j) = 0.0;
            processor.setZeroOffset(i, zos);
        }
    }
}

void goAhead(ChannelNc2& channel) {
    globalLog.debugKiIO("KernelInterfaceNc2: WRITE CHNFUNCS GOAHEAD");
    Stackmachine& machine = machineOf(channel);
    const int32_t counter = waitCounterIndex(WaitCounter::wait);
    // Only a waiting program is released: a second go-ahead must not pre-release the
    // next wait.
    if (machine.getWaitCounter(counter) >= 1) refuse(ZelCode::notWaiting);
    machine.incWaitCounter(counter);
}

} // namespace

void chnFuncsWrite(ChannelNc2& channel, uint32_t offset, std::span<const uint8_t> data) {
    GProcessorNc2& processor = *channel.processor;
    switch (static_cast<ChnFunc>(offset)) {
    case ChnFunc::startProg:
        globalLog.debugKiIO("KernelInterfaceNc2: WRITE CHNFUNCS STARTPROG");
        channel.task->start();
        return;
    case ChnFunc::loadProgTxt: loadProgram(channel, data); return;
    case ChnFunc::itpOpMode: operationMode(data); return;
    case ChnFunc::reset:
        globalLog.debugKiIO("KernelInterfaceNc2: WRITE CHNFUNCS RESET");
        channel.reset();
        return;
    case ChnFunc::stop:
        globalLog.debugKiIO("KernelInterfaceNc2: WRITE CHNFUNCS STOP");
        channel.stop();
        return;
    case ChnFunc::enableBlockSearch: enableBlockSearch(channel, data); return;
    case ChnFunc::stepOnAfterBlockSearch: stepOnAfterBlockSearch(channel); return;
    case ChnFunc::saveToolData:
        globalLog.debugKiIO("KernelInterfaceNc2: WRITE CHNFUNCS SAVE TOOL DATA");
        processor.saveToolData();
        return;
    case ChnFunc::loadToolData:
        globalLog.debugKiIO("KernelInterfaceNc2: WRITE CHNFUNCS LOAD TOOL DATA");
        processor.loadToolData(processor.toolDataFile());
        return;
    case ChnFunc::saveSnapshot: {
        // The snapshot lines follow the length check.
        const SnapshotRequest request = snapshotRequest(data);
        globalLog.debugKiIO("KernelInterfaceNc2: WRITE CHNFUNCS SAVE SNAPSHOT");
        processor.saveSnapshot(request);
        return;
    }
    case ChnFunc::loadSnapshot: {
        const SnapshotRequest request = snapshotRequest(data);
        globalLog.debugKiIO("KernelInterfaceNc2: WRITE CHNFUNCS LOAD SNAPSHOT");
        processor.loadSnapshot(request);
        return;
    }
    case ChnFunc::toolParamsToZero: toolParamsToZero(processor); return;
    case ChnFunc::zeroOffsetsToZero: zeroOffsetsToZero(processor); return;
    case ChnFunc::goAhead: goAhead(channel); return;
    }
    refuse(ZelCode::invalidOffset);
}

} // namespace KernelRequest
} // namespace Karsto
