#include "host/kernel/kernel_interface_nc2.h"

#include <cmath>

#include "core/variable.h"
#include "host/controller.h"
#include "host/kernel/channel_nc2.h"
#include "host/kernel/zel_server_buffered.h"

namespace Karsto {

namespace {

// The server's version as the kernel reads it from the device information.
constexpr ZelVersion kServerVersion{0, 1, 1};
// The client's connection: any free port, the library's customary buffer sizes.
constexpr uint32_t kClientBufferSize = 4096;
constexpr uint32_t kClientBufferCount = 80;

} // namespace

KernelInterfaceNc2::KernelInterfaceNc2(Controller* controller_, const std::string& dataDirectory_)
    : controller(controller_),
      server(std::make_unique<ZelServerBuffered>(kServerVersion)),
      logListener(std::make_unique<LogListenerNc2>(server.get())),
      zel(0, 1, nullptr),
      kernelAddress{vekLocalNetId(), kKernelPort},
      dataDirectory(dataDirectory_) {
    globalLog.addListener(logListener.get());
}

KernelInterfaceNc2::~KernelInterfaceNc2() {
    channelClear();
    rParamsClear();
    // Out of the Log's set before it goes: another thread may be writing a line.
    globalLog.removeListener(logListener.get());
    logListener.reset();
    server.reset();
    // The client goes with the object.
}

void KernelInterfaceNc2::start() {
    globalLog.debugKiState("KernelInterfaceNc2::start");
    // Port 0: any free port. The result is not evaluated: every request over the client
    // reports a missing connection itself.
    if (!zel.VekIsConnected()) zel.VekConnect(0, kClientBufferSize, kClientBufferCount);
    globalLog.debugKiState("KernelInterfaceNc2::zel::port=%u", static_cast<unsigned>(zel.VekGetPort()));
    server->connect();
}

void KernelInterfaceNc2::stop() {
    globalLog.debugKiState("KernelInterfaceNc2::stop");
    zel.VekDisconnect();
    // Throws on failure and so leaves the channels in place.
    server->disconnect();
    channelClear();
}

void KernelInterfaceNc2::wait() { server->wait(); }

void KernelInterfaceNc2::wake() { server->wake(); }

bool KernelInterfaceNc2::isRunning() { return server->state == ZelServerBuffered::kConnected; }

uint64_t KernelInterfaceNc2::currentSection() {
    if (!initialised) return kNoSection;
    const double value = controller->sharedImage[0];
    // A value that cannot be converted must not end up as "no section" either: NaN and
    // negatives give section 0, everything from 2^64 on the largest real section.
    constexpr double kTwoTo64 = 18446744073709551616.0;
    if (!(value >= 0.0)) return 0;
    if (value >= kTwoTo64) return kNoSection - 1;
    return static_cast<uint64_t>(value);
}

ChannelNc2* KernelInterfaceNc2::channelById(int32_t id) const {
    auto found = channelsById.find(id);
    return found != channelsById.end() ? found->second : nullptr;
}

ChannelNc2* KernelInterfaceNc2::channelByTask(ControllerTask* task) const {
    auto found = channelsByTask.find(task);
    return found != channelsByTask.end() ? found->second : nullptr;
}

void KernelInterfaceNc2::rParamsClear() {
    for (Variable* variable : rParams) delete variable;
    rParams.clear();
}

VekAddr KernelInterfaceNc2::serverAddress() const { return server->VekGetAddr(); }

// The channels: made by the interpreter initialisation (or the "nc2l" entry), owned here.

void KernelInterfaceNc2::channelAdd(ChannelNc2* channel) {
    globalLog.debugKiState("KernelInterfaceNc2::channelAdd id=%d name=%s bufferSize=%d itpType=%d", channel->id,
                           channel->name.c_str(), channel->bufferSize, channel->itpType);
    channels.push_back(channel);
    channelsById[channel->id] = channel;
    channelsByTask[channel->task] = channel;
}

void KernelInterfaceNc2::channelClear() {
    globalLog.debugKiState("KernelInterfaceNc2::channelClear");
    // Each channel removes its task from the controller and deletes machine, processor
    // and NC output.
    for (ChannelNc2* channel : channels) delete channel;
    channels.clear();
    channelsById.clear();
    channelsByTask.clear();
}

void KernelInterfaceNc2::stackmachineStateChanged(ControllerTask* task) {
    ChannelNc2* channel = channelByTask(task);
    if (channel == nullptr) return; // every task of this controller is a channel's
    globalLog.debugKiState("KernelInterfaceNc2::stackmachineStateChanged channelId=%d state=%d", channel->id,
                           static_cast<int32_t>(task->state));
    channel->stateUpdate();
}

void KernelInterfaceNc2::pendingFlush() {
    for (ChannelNc2* channel : channels) channel->pendingSend();
}

void KernelInterfaceNc2::processEvents() {
    pendingFlush();
    // TODO(#67): then execute and answer the requests the server queued.
}

void LogListenerNc2::logLine(int32_t level, const std::string& line) {
    uint32_t flags = 0;
    if (level == static_cast<int32_t>(LogLevel::error))
        flags = kFlagsError;
    else if (level == static_cast<int32_t>(LogLevel::warning))
        flags = kFlagsWarning;
    else
        return;
    if (line.size() <= kMaxLine) {
        server->ZelReportLog(flags, "%s", line.c_str());
        return;
    }
    // Cut on the stack: this runs inside the Log's mutex for every forwarded line.
    char cut[kMaxLine + 1];
    line.copy(cut, kCutLength);
    std::char_traits<char>::copy(cut + kCutLength, kCutMark, kMaxLine - kCutLength);
    cut[kMaxLine] = '\0';
    server->ZelReportLog(flags, "%s", cut);
}

} // namespace Karsto
