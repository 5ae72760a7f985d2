#include "host/kernel/kernel_interface_nc2.h"

#include <algorithm>
#include <exception>
#include <span>

#include "core/exception.h"
#include "core/variable.h"
#include "host/controller.h"
#include "host/kernel/channel_nc2.h"
#include "host/kernel/group_nc2.h"
#include "host/kernel/kernel_codes.h"
#include "host/program_entry.h"

namespace Karsto {

namespace {

// The server's version as the kernel reads it from the device information.
constexpr ZelVersion kServerVersion{0, 1, 1};
// The client's connection: any free port, the library's customary buffer sizes.
constexpr uint32_t kClientBufferSize = 4096;
constexpr uint32_t kClientBufferCount = 80;


// Where the kernel's configuration is read.
constexpr uint32_t kConfigGroup = 0x1100;
constexpr uint32_t kChannelGroupBase = 0x2000;
constexpr uint32_t kGroupGroupBase = 0x3000;
enum class ConfigOffset : uint32_t {
    channelCount = 0x01,
    groupCount = 0x02,
    channelIds = 0x31,
    groupIds = 0x32,
};
enum class ChannelOffset : uint32_t {
    name = 0x02,
    itpType = 0x04,
    bufferSize = 0x05,
};
enum class GroupOffset : uint32_t {
    name = 0x02,
    type = 0x03,
    channelId = 0x21,
    channelType = 0x23,
    numberInChannel = 0x24,
};
// Only groups whose channel type reads this are set up.
constexpr int32_t kInterpolationChannel = 2;
constexpr uint32_t kNameLength = 100;

// The configuration reads of one initialisation, through a client of its own to the
// kernel on the server's net id. Every refused read throws ExceptionZel 0x4000 with the
// read's own text.
class ConfigurationReader {
public:
    explicit ConfigurationReader(const VekNetId& netId)
        : client_(0, 1, nullptr), kernel_{netId, KernelInterfaceNc2::kKernelPort} {}

    int32_t integer(uint32_t group, uint32_t offset, const char* failure) {
        uint8_t bytes[4] = {};
        read(group, offset, bytes, sizeof bytes, failure);
        return static_cast<int32_t>(vekGet32(bytes));
    }
    // A count below 1 reads nothing; a list longer than any answer can carry is refused
    // before anything is allocated for it.
    std::vector<int32_t> ids(uint32_t group, uint32_t offset, int32_t count, const char* failure) {
        std::vector<int32_t> result;
        if (count <= 0) return result;
        if (static_cast<uint64_t>(count) * 4 > kVekMaxDataLength) throw ExceptionZel(static_cast<int32_t>(kernelCode(ZelCode::readFailed)), failure);
        std::vector<uint8_t> bytes(static_cast<size_t>(count) * 4);
        read(group, offset, bytes.data(), static_cast<uint32_t>(bytes.size()), failure);
        result.reserve(static_cast<size_t>(count));
        for (size_t i = 0; i < bytes.size(); i += 4) result.push_back(static_cast<int32_t>(vekGet32(&bytes[i])));
        return result;
    }
    // The characters before the first NUL.
    std::string name(uint32_t group, uint32_t offset, const char* failure) {
        char bytes[kNameLength] = {};
        read(group, offset, bytes, sizeof bytes, failure);
        return std::string(bytes, std::find(bytes, bytes + sizeof bytes, '\0'));
    }

private:
    void read(uint32_t group, uint32_t offset, void* data, uint32_t length, const char* failure) {
        if (client_.ZelSyncReadReq(kernel_, group, offset, length, data) != 0)
            throw ExceptionZel(static_cast<int32_t>(kernelCode(ZelCode::readFailed)), failure);
    }

    CZelSync client_;
    VekAddr kernel_;
};

uint32_t channelGroup(int32_t id) { return kChannelGroupBase + static_cast<uint32_t>(id); }
uint32_t groupGroup(int32_t id) { return kGroupGroupBase + static_cast<uint32_t>(id); }
template <class Offset>
uint32_t at(Offset offset) {
    return static_cast<uint32_t>(offset);
}

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

void KernelInterfaceNc2::stackmachineStateChanged(ControllerTask* task) {
    ChannelNc2* channel = channelByTask(task);
    if (channel == nullptr) return; // not a task of this link
    globalLog.debugKiState("KernelInterfaceNc2::stackmachineStateChanged channelId=%d state=%d", channel->id,
                           static_cast<int32_t>(task->state));
    channel->stateUpdate();
}

void KernelInterfaceNc2::channelAdd(ChannelNc2* channel) {
    std::unique_ptr<ChannelNc2> owned(channel);
    globalLog.debugKiState("KernelInterfaceNc2::channelAdd id=%d name=%s bufferSize=%d itpType=%d", channel->id,
                           channel->name.c_str(), channel->bufferSize, channel->itpType);
    channels.push_back(std::move(owned));
    channelsById[channel->id] = channel;
    channelsByTask[channel->task] = channel;
}

void KernelInterfaceNc2::channelClear() {
    globalLog.debugKiState("KernelInterfaceNc2::channelClear");
    // No lookup may find a channel while it is being deleted.
    channelsById.clear();
    channelsByTask.clear();
    for (std::unique_ptr<ChannelNc2>& channel : channels) channel.reset();
    channels.clear();
}

void KernelInterfaceNc2::pendingFlush() {
    for (std::unique_ptr<ChannelNc2>& channel : channels) channel->pendingSend();
}

ChannelNc2* KernelInterfaceNc2::channelById(int32_t id) const {
    auto found = channelsById.find(id);
    return found != channelsById.end() ? found->second : nullptr;
}

ChannelNc2* KernelInterfaceNc2::channelByTask(ControllerTask* task) const {
    auto found = channelsByTask.find(task);
    return found != channelsByTask.end() ? found->second : nullptr;
}

void KernelInterfaceNc2::rParamsClear() { rParams.clear(); }

VekAddr KernelInterfaceNc2::serverAddress() const { return server->VekGetAddr(); }

// ---- the event pass ------------------------------------------------------------------

void KernelInterfaceNc2::processEvents() {
    pendingFlush();
    // Events queued meanwhile are taken in the same pass. An exception a handler does not
    // answer leaves here with the rest of the queue untouched; its event is freed.
    while (std::unique_ptr<ZelServerBuffered::Event> event = server->eventPop()) {
        switch (event->kind) {
        case ZelServerBuffered::EventKind::read:
            executeEventRead(static_cast<const ZelServerBuffered::Read&>(*event));
            break;
        case ZelServerBuffered::EventKind::write:
            executeEventWrite(static_cast<const ZelServerBuffered::Write&>(*event));
            break;
        case ZelServerBuffered::EventKind::readwrite:
            executeEventReadwrite(static_cast<const ZelServerBuffered::Readwrite&>(*event));
            break;
        case ZelServerBuffered::EventKind::cmd:
            executeEventCmd(static_cast<const ZelServerBuffered::Cmd&>(*event));
            break;
        }
    }
}

void KernelInterfaceNc2::executeEventCmd(const ZelServerBuffered::Cmd& event) {
    if (CVekPort::VekIsResponseCommand(event.command)) return;
    const VekHead head = vekDecodeHead(event.command.data());
    switch (head.cmdId) {
    case kCmdNcEvent: nccmdEvent(event); return;
    case kCmdInitInterpreter: InitInterpreter(event); return;
    default:
        globalLog.debugKiIO("KernelInterfaceNc2::executeEventCmd: Event cmdId=%d", static_cast<int32_t>(head.cmdId));
        // The library's own handling, not the server's queueing override.
        server->CVekR3Port::VekDispatch(VekCmd::fromWire(event.command));
        return;
    }
}

// ---- interpreter initialisation ------------------------------------------------------

void KernelInterfaceNc2::InitInterpreter(const ZelServerBuffered::Cmd& event) {
    globalLog.debugKiState("KernelInterfaceNc2::InitInterpreter");
    channelClear();
    rParamsClear();
    uint32_t answer = 0;
    try {
        configurationRead();
    } catch (const ExceptionZel& e) {
        globalLog.error("Initialization of interpreter failed: %s", e.what());
        answer = static_cast<uint32_t>(e.code);
    } catch (const ExceptionKarsto& e) {
        globalLog.error("Initialization of interpreter failed: %s", e.what());
        answer = kernelCode(ZelCode::readFailed);
    }
    // Answered before the R-parameters exist: the kernel's next request is executed only
    // after this whole operation.
    server->VekResponse(std::span<const uint8_t>(event.command), answer);
    rParamsDeclare();
    try {
        for (std::unique_ptr<ChannelNc2>& channel : channels) channel->stateSend(channel->itpState());
    } catch (const std::exception&) {
        // The first refused report ends the reporting; the kernel asks for states itself.
    }
}

void KernelInterfaceNc2::configurationRead() {
    ConfigurationReader config(server->VekGetAddr().netId);

    const int32_t channelCount = config.integer(kConfigGroup, at(ConfigOffset::channelCount),
                                                "CNcIntpService::VekSignalInit() Cannot read channel count");
    globalLog.debugKiState("KernelInterfaceNc2::InitInterpreter channelCount=%d", channelCount);
    const std::vector<int32_t> channelIds = config.ids(kConfigGroup, at(ConfigOffset::channelIds), channelCount,
                                                       "CNcIntpService::VekSignalInit() Cannot read channel id list");
    for (int32_t id : channelIds) {
        checkRuntime(channelById(id) == nullptr, "Channelid used more than one");
        const std::string name = config.name(channelGroup(id), at(ChannelOffset::name),
                                             "CNcIntpService::VekSignalInit() Cannot read channel name");
        const int32_t bufferSize = config.integer(channelGroup(id), at(ChannelOffset::bufferSize),
                                                  "CNcIntpService::VekSignalInit() Cannot read channel buffsize");
        const int32_t itpType = config.integer(channelGroup(id), at(ChannelOffset::itpType),
                                               "CNcIntpService::VekSignalInit() Cannot read channel itp type");
        channelAdd(new ChannelNc2(this, id, name, bufferSize, itpType));
    }

    const int32_t groupCount = config.integer(kConfigGroup, at(ConfigOffset::groupCount),
                                              "CNcIntpService::VekSignalInit() Cannot read group count");
    globalLog.debugKiState("KernelInterfaceNc2::InitInterpreter groupCount=%d", groupCount);
    const std::vector<int32_t> groupIds = config.ids(kConfigGroup, at(ConfigOffset::groupIds), groupCount,
                                                     "CNcIntpService::VekSignalInit() Cannot read group id list");
    for (int32_t id : groupIds) {
        if (config.integer(groupGroup(id), at(GroupOffset::channelType),
                           "CNcIntpService::VekSignalInit() Cannot read channel type") != kInterpolationChannel)
            continue;
        const int32_t type = config.integer(groupGroup(id), at(GroupOffset::type),
                                            "CNcIntpService::VekSignalInit() Cannot read group type");
        const std::string name = config.name(groupGroup(id), at(GroupOffset::name),
                                             "CNcIntpService::VekSignalInit() Cannot read group name");
        const int32_t channelId = config.integer(groupGroup(id), at(GroupOffset::channelId),
                                                 "CNcIntpService::VekSignalInit() Cannot read group chnid");
        ChannelNc2* channel = channelById(channelId);
        if (channel == nullptr) throw ExceptionZel(static_cast<int32_t>(kernelCode(ZelCode::channelMissing)), "");
        const int32_t numberInChannel = config.integer(groupGroup(id), at(GroupOffset::numberInChannel),
                                                       "CNcIntpService::VekSignalInit() Cannot read group nrinchn");
        channel->groupAdd(std::make_unique<GroupNc2>(id, type, name, channel, numberInChannel));
    }
}

void KernelInterfaceNc2::rParamsDeclare() {
    std::vector<ControllerTask*> tasks;
    tasks.reserve(channels.size());
    for (std::unique_ptr<ChannelNc2>& channel : channels) tasks.push_back(channel->task);
    rParams = declareRParameters(*controller, tasks);
    // declareRParameters lays the variables out per number, one per channel in list
    // order below kFirstCommonRParameter, one for all from there on.
    const size_t n = channels.size();
    for (int32_t i = 0; i < kRParameterCount; ++i) {
        for (size_t k = 0; k < n; ++k) {
            const size_t index = i < kFirstCommonRParameter
                                     ? static_cast<size_t>(i) * n + k
                                     : static_cast<size_t>(kFirstCommonRParameter) * n +
                                           static_cast<size_t>(i - kFirstCommonRParameter);
            rParamCells[rParamKey(channels[k]->id, i)] = rParams[index]->offset();
        }
    }
    initialised = true;
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
