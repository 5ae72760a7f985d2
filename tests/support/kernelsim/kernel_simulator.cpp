#include "support/kernelsim/kernel_simulator.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "host/zel/zel_server.h"

namespace KernelSim {

namespace {

void putInt(std::vector<std::uint8_t>& out, std::int32_t v) {
    vekPut32(out, static_cast<std::uint32_t>(v));
}

std::vector<std::uint8_t> nameBytes(const std::string& name) {
    std::vector<std::uint8_t> out(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(
                                                                   std::min(name.size(), kNameLength - 1)));
    out.resize(kNameLength, 0);
    return out;
}

bool isRecordOffset(std::uint32_t offset) {
    return std::find(std::begin(kRecordOffsets), std::end(kRecordOffsets), offset) !=
           std::end(kRecordOffsets);
}

} // namespace

// Port 500: hands every request to the simulator, which answers on this thread.
class KernelSimulator::Server : public CZelR3 {
public:
    explicit Server(KernelSimulator& sim) : CZelR3(0, 0, nullptr, 1), sim_(sim) {}
    ~Server() override { portShutdown(); }

    void ZelReadInd(const VekAddr& source, std::uint32_t invokeId, std::uint32_t indexGroup,
                    std::uint32_t indexOffset, std::uint32_t length) override {
        sim_.answerRead(source, invokeId, indexGroup, indexOffset, length);
    }
    void ZelWriteInd(const VekAddr& source, std::uint32_t invokeId, std::uint32_t indexGroup,
                     std::uint32_t indexOffset, std::uint32_t length, const std::uint8_t* data) override {
        sim_.answerWrite(source, invokeId, indexGroup, indexOffset, std::span(data, length));
    }
    void ZelReadWriteInd(const VekAddr& source, std::uint32_t invokeId, std::uint32_t indexGroup,
                         std::uint32_t indexOffset, std::uint32_t readLength,
                         std::uint32_t writeLength, const std::uint8_t* data) override {
        sim_.answerReadWrite(source, invokeId, indexGroup, indexOffset, readLength,
                             std::span(data, writeLength));
    }

private:
    KernelSimulator& sim_;
};

KernelSimulator::KernelSimulator(const std::string& routerPath)
    : router_(std::make_unique<VekRouter>(routerPath)), client_(0, 0, nullptr) {
    server_ = std::make_unique<Server>(*this);
    if (!server_->VekConnect(kKernelPort, 4096, 80))
        throw std::runtime_error("kernel simulator: Vek port 500 is taken");
    if (!client_.VekConnect(0, 4096, 80))
        throw std::runtime_error("kernel simulator: its client cannot connect");
}

KernelSimulator::~KernelSimulator() {
    stopServing();
    server_->portShutdown();
    client_.VekDisconnect();
}

void KernelSimulator::addChannel(const Channel& channel) {
    std::lock_guard lock(mutex_);
    channels_.push_back(channel);
}

void KernelSimulator::addGroup(const Group& group) {
    std::lock_guard lock(mutex_);
    groups_.push_back(group);
}

void KernelSimulator::failRead(std::uint32_t indexGroup, std::uint32_t indexOffset, std::uint32_t code) {
    std::lock_guard lock(mutex_);
    failures_[{indexGroup, indexOffset}] = code;
}

void KernelSimulator::failWrite(std::uint32_t indexGroup, std::uint32_t indexOffset, std::uint32_t code) {
    std::lock_guard lock(mutex_);
    writeFailures_[{indexGroup, indexOffset}] = code;
}

void KernelSimulator::clearFailures() {
    std::lock_guard lock(mutex_);
    failures_.clear();
    writeFailures_.clear();
}

void KernelSimulator::setRecordCapacity(std::int32_t groupId, std::int32_t records) {
    std::lock_guard lock(mutex_);
    capacity_[groupId] = records;
}

void KernelSimulator::freeRecordRoom(std::int32_t groupId, std::int32_t records) {
    std::lock_guard lock(mutex_);
    capacity_[groupId] += records;
}

std::vector<Request> KernelSimulator::requests() {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<Nc2Decoded> KernelSimulator::records() {
    std::vector<Nc2Decoded> out;
    for (const Request& r : requests())
        if (r.kind == Request::Kind::readWrite && r.result == 0 && isRecordOffset(r.indexOffset) &&
            r.indexGroup >= kRecordGroupBase && r.indexGroup <= kRecordGroupBase + 0xFF)
            out.push_back(nc2Decode(r.indexOffset, r.data));
    return out;
}

std::vector<std::int32_t> KernelSimulator::stateWords(std::int32_t channelId) {
    std::vector<std::int32_t> out;
    for (const Request& r : requests())
        if (r.kind == Request::Kind::write && r.indexGroup == kStateGroupBase + static_cast<std::uint32_t>(channelId) &&
            r.indexOffset == kStateWordOffset && r.data.size() == 4)
            out.push_back(static_cast<std::int32_t>(vekGet32(r.data.data())));
    return out;
}

std::vector<std::uint32_t> KernelSimulator::groupFunctions(std::int32_t groupId) {
    std::vector<std::uint32_t> out;
    for (const Request& r : requests())
        if (r.kind == Request::Kind::write && r.indexGroup == kRecordGroupBase + static_cast<std::uint32_t>(groupId) &&
            r.data.empty())
            out.push_back(r.indexOffset);
    return out;
}

bool KernelSimulator::waitForRequests(const std::function<bool(const std::vector<Request>&)>& condition,
                                      std::chrono::milliseconds patience) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, patience, [&] { return condition(requests_); });
}

void KernelSimulator::record(Request request) {
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(std::move(request));
    }
    changed_.notify_all();
}

bool KernelSimulator::configValue(std::uint32_t indexGroup, std::uint32_t indexOffset,
                                  std::vector<std::uint8_t>& value) {
    if (indexGroup == kConfigGroup) {
        switch (indexOffset) {
        case 0x01: putInt(value, static_cast<std::int32_t>(channels_.size())); return true;
        case 0x31:
            for (const Channel& c : channels_)
                putInt(value, c.id);
            return true;
        case 0x02: putInt(value, static_cast<std::int32_t>(groups_.size())); return true;
        case 0x32:
            for (const Group& g : groups_)
                putInt(value, g.id);
            return true;
        default: return false;
        }
    }
    for (const Channel& c : channels_) {
        if (indexGroup != kChannelGroupBase + static_cast<std::uint32_t>(c.id))
            continue;
        switch (indexOffset) {
        case 0x02: value = nameBytes(c.name); return true;
        case 0x05: putInt(value, c.bufferSize); return true;
        case 0x04: putInt(value, c.itpType); return true;
        default: return false;
        }
    }
    for (const Group& g : groups_) {
        if (indexGroup != kGroupGroupBase + static_cast<std::uint32_t>(g.id))
            continue;
        switch (indexOffset) {
        case 0x23: putInt(value, g.channelType); return true;
        case 0x03: putInt(value, g.type); return true;
        case 0x02: value = nameBytes(g.name); return true;
        case 0x21: putInt(value, g.channelId); return true;
        case 0x24: putInt(value, g.numberInChannel); return true;
        default: return false;
        }
    }
    return false;
}

void KernelSimulator::answerRead(const VekAddr& source, std::uint32_t invokeId,
                                 std::uint32_t indexGroup, std::uint32_t indexOffset,
                                 std::uint32_t length) {
    std::vector<std::uint8_t> value;
    std::uint32_t result = 0;
    {
        std::lock_guard lock(mutex_);
        if (auto failure = failures_.find({indexGroup, indexOffset}); failure != failures_.end())
            result = failure->second;
        else if (!configValue(indexGroup, indexOffset, value))
            result = zelCode(ZelError::notSupported);
    }
    if (result != 0)
        value.clear();
    record({Request::Kind::read, indexGroup, indexOffset, length, {}, result});
    server_->ZelReadRes(source, invokeId, result, static_cast<std::uint32_t>(value.size()), value.data());
}

void KernelSimulator::answerWrite(const VekAddr& source, std::uint32_t invokeId,
                                  std::uint32_t indexGroup, std::uint32_t indexOffset,
                                  std::span<const std::uint8_t> data) {
    std::uint32_t result = 0;
    {
        std::lock_guard lock(mutex_);
        if (auto failure = writeFailures_.find({indexGroup, indexOffset}); failure != writeFailures_.end())
            result = failure->second;
    }
    record({Request::Kind::write, indexGroup, indexOffset, 0, {data.begin(), data.end()}, result});
    server_->ZelWriteRes(source, invokeId, result);
}

void KernelSimulator::answerReadWrite(const VekAddr& source, std::uint32_t invokeId,
                                      std::uint32_t indexGroup, std::uint32_t indexOffset,
                                      std::uint32_t readLength, std::span<const std::uint8_t> data) {
    std::uint32_t result = 0;
    std::uint32_t answerLength = std::min(readLength, kVekMaxDataLength);
    if (indexGroup >= kRecordGroupBase && indexGroup <= kRecordGroupBase + 0xFF && isRecordOffset(indexOffset)) {
        answerLength = 8;
        std::lock_guard lock(mutex_);
        if (auto failure = writeFailures_.find({indexGroup, indexOffset}); failure != writeFailures_.end())
            result = failure->second;
        auto room = capacity_.find(static_cast<std::int32_t>(indexGroup - kRecordGroupBase));
        if (result == 0 && room != capacity_.end()) {
            if (room->second <= 0)
                result = kBufferFull;
            else
                --room->second;
        }
    }
    record({Request::Kind::readWrite, indexGroup, indexOffset, readLength, {data.begin(), data.end()}, result});
    std::vector<std::uint8_t> answer(result == 0 ? answerLength : 0, 0);
    server_->ZelReadWriteRes(source, invokeId, result, static_cast<std::uint32_t>(answer.size()), answer.data());
}

std::uint32_t KernelSimulator::command(std::uint16_t cmdId, std::span<const std::uint8_t> data,
                                       VekCmd& response, const VekAddr& to) {
    VekHead head;
    client_.VekMakeHead(head, cmdId, 0, to, 0, 0, 0);
    return client_.VekSyncRequest(VekCmd(head, data), response);
}

std::uint32_t KernelSimulator::read(std::uint32_t indexGroup, std::uint32_t indexOffset,
                                    std::uint32_t length, std::vector<std::uint8_t>& out,
                                    const VekAddr& to) {
    out.assign(length, 0);
    return client_.ZelSyncReadReq(to, indexGroup, indexOffset, length, out.data());
}

std::uint32_t KernelSimulator::write(std::uint32_t indexGroup, std::uint32_t indexOffset,
                                     std::span<const std::uint8_t> data, const VekAddr& to) {
    return client_.ZelSyncWriteReq(to, indexGroup, indexOffset,
                                   static_cast<std::uint32_t>(data.size()), data.data());
}

std::uint32_t KernelSimulator::readWrite(std::uint32_t indexGroup, std::uint32_t indexOffset,
                                         std::uint32_t readLength, std::vector<std::uint8_t>& out,
                                         std::span<const std::uint8_t> data, const VekAddr& to) {
    out.assign(readLength, 0);
    return client_.ZelSyncReadWriteReq(to, indexGroup, indexOffset, readLength, out.data(),
                                       static_cast<std::uint32_t>(data.size()), data.data());
}

std::uint32_t KernelSimulator::findPort(const char* name, VekAddr& address) {
    return client_.VekSyncFindPort(name, address);
}

// ---- channel functions and NC command events ----------------------------------------

std::vector<std::uint8_t> BlockSearchRequest::bytes() const {
    std::vector<std::uint8_t> out(24, 0);
    std::memcpy(&out[0], &percent, 8);
    std::vector<std::uint8_t> word;
    vekPut32(word, target);
    std::copy(word.begin(), word.end(), out.begin() + 8);
    out[14] = takeAxes ? 1 : 0;
    out[16] = static_cast<std::uint8_t>(kind);
    out[17] = static_cast<std::uint8_t>(kind >> 8);
    out[18] = static_cast<std::uint8_t>(searchKind);
    out[19] = static_cast<std::uint8_t>(searchKind >> 8);
    return out;
}

std::uint32_t KernelSimulator::channelFunction(std::int32_t channelId, ChannelFunction function,
                                               std::span<const std::uint8_t> data) {
    return write(kFunctionGroupBase + static_cast<std::uint32_t>(channelId), static_cast<std::uint32_t>(function),
                 data);
}

std::uint32_t KernelSimulator::loadProgram(std::int32_t channelId, const std::string& path) {
    std::vector<std::uint8_t> data(path.begin(), path.end());
    data.push_back(0);
    return channelFunction(channelId, ChannelFunction::loadProgTxt, data);
}

std::uint32_t KernelSimulator::startProgram(std::int32_t channelId) {
    return channelFunction(channelId, ChannelFunction::startProg);
}

std::uint32_t KernelSimulator::enableBlockSearch(std::int32_t channelId, const BlockSearchRequest& request) {
    return channelFunction(channelId, ChannelFunction::enableBlockSearch, request.bytes());
}

std::uint32_t KernelSimulator::stepOnAfterBlockSearch(std::int32_t channelId) {
    return channelFunction(channelId, ChannelFunction::stepOnAfterBlockSearch);
}

std::uint32_t KernelSimulator::goAhead(std::int32_t channelId) {
    return channelFunction(channelId, ChannelFunction::goAhead);
}

std::vector<std::uint8_t> KernelSimulator::ncEventData(std::int32_t type, std::int32_t channelId,
                                                       std::uint32_t value,
                                                       std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> data;
    putInt(data, type);
    putInt(data, 0);
    putInt(data, channelId);
    vekPut32(data, value);
    data.resize(kNcEventSize, 0);
    // The payload's 64 bytes start at 16.
    std::copy_n(payload.begin(), std::min<std::size_t>(payload.size(), 64), data.begin() + 16);
    return data;
}

std::uint32_t KernelSimulator::ncEvent(NcEvent type, std::int32_t channelId, std::uint32_t value,
                                       std::span<const std::uint8_t> payload, std::uint32_t& answer) {
    VekCmd response;
    const std::uint32_t result =
        command(kNcEventCommand, ncEventData(static_cast<std::int32_t>(type), channelId, value, payload), response);
    answer = response.head().errorCode;
    return result;
}

void KernelSimulator::setAxisPositions(std::int32_t channelId, const AxisValues& positions) {
    std::lock_guard lock(mutex_);
    axes_[channelId] = positions;
}

std::vector<std::vector<std::uint8_t>> KernelSimulator::takeEvents(std::vector<VekAddr>& targets,
                                                                   std::vector<std::uint16_t>& cmdIds) {
    std::vector<std::vector<std::uint8_t>> events;
    for (; eventsTaken_ < requests_.size(); ++eventsTaken_) {
        const Request& r = requests_[eventsTaken_];
        if (r.result != 0) continue;
        if (r.kind == Request::Kind::readWrite && isRecordOffset(r.indexOffset) &&
            r.indexGroup >= kRecordGroupBase && r.indexGroup <= kRecordGroupBase + 0xFF &&
            r.data.size() >= kSyncCommandOffset + kVekHeadSize &&
            static_cast<std::int32_t>(vekGet32(r.data.data())) == kSyncRecordType) {
            // The kernel consumes the record at once and sends its command back.
            const VekHead head = vekDecodeHead(r.data.data() + kSyncCommandOffset);
            const std::size_t from = kSyncCommandOffset + kVekHeadSize;
            const std::size_t length = std::min<std::size_t>(head.dataLength, r.data.size() - from);
            events.emplace_back(r.data.begin() + static_cast<std::ptrdiff_t>(from),
                                r.data.begin() + static_cast<std::ptrdiff_t>(from + length));
            targets.push_back(head.target);
            cmdIds.push_back(head.cmdId);
        } else if (r.kind == Request::Kind::write && r.indexGroup == kEventGroup && r.data.size() >= 8 &&
                   static_cast<std::int32_t>(vekGet32(r.data.data())) == kAxisQueryEvent) {
            const auto channelId = static_cast<std::int32_t>(vekGet32(r.data.data() + 4));
            const AxisValues positions = axes_.count(channelId) != 0 ? axes_[channelId] : AxisValues{};
            std::vector<std::uint8_t> payload(positions.size() * 8);
            std::memcpy(payload.data(), positions.data(), payload.size());
            events.push_back(ncEventData(static_cast<std::int32_t>(NcEvent::axisPositions), channelId, 0, payload));
            targets.push_back(interpreter());
            cmdIds.push_back(kNcEventCommand);
        }
    }
    return events;
}

std::size_t KernelSimulator::sendEvents(CZelSync& client) {
    std::vector<VekAddr> targets;
    std::vector<std::uint16_t> cmdIds;
    std::vector<std::vector<std::uint8_t>> events;
    {
        std::lock_guard lock(mutex_);
        events = takeEvents(targets, cmdIds);
    }
    for (std::size_t i = 0; i < events.size(); ++i) {
        VekHead head;
        client.VekMakeHead(head, cmdIds[i], 0, targets[i], 0, 0, 0);
        VekCmd response;
        if (client.VekSyncRequest(VekCmd(head, events[i]), response) != 0 || response.head().errorCode != 0)
            ++serveFailures_;
        ++served_;
    }
    return events.size();
}

std::size_t KernelSimulator::serveEvents() { return sendEvents(client_); }

void KernelSimulator::startServing() {
    std::lock_guard guard(mutex_);
    if (serving_) return;
    serving_ = true;
    servingThread_ = std::thread([this] {
        CZelSync client(0, 0, nullptr);
        if (!client.VekConnect(0, 4096, 80)) {
            ++serveFailures_;
            return;
        }
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return !serving_ || eventsTaken_ < requests_.size(); });
                if (!serving_) break;
            }
            sendEvents(client);
        }
        client.VekDisconnect();
    });
}

void KernelSimulator::stopServing() {
    {
        std::lock_guard lock(mutex_);
        if (!serving_) return;
        serving_ = false;
    }
    changed_.notify_all();
    servingThread_.join();
}

} // namespace KernelSim
