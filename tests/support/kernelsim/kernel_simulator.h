#pragma once
// A stand-in for the NC kernel, for tests: it embeds a Vek router, holds Vek port 500
// and keeps a model of the kernel's channels and groups.
//
// Threads: the interpreter's requests to port 500 are answered on the simulator's
// receive thread, which never waits for anything; the simulator's own requests to the
// interpreter wait for their answers on the calling (test) thread. The interpreter
// answers some requests only after requests of its own to the kernel, so serving those
// on a waiting thread would hang.
//
// Every wait has a deadline; the functions that wait return false when it passes.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "host/zel/vek_router.h"
#include "support/kernelsim/nc2_decoder.h"
#include "host/zel/zel_sync.h"

namespace KernelSim {

inline constexpr std::uint16_t kKernelPort = 500;
inline constexpr std::uint16_t kInterpreterPort = 11600;
inline constexpr auto kPatience = std::chrono::seconds(10);

// Configuration index groups and offsets the interpreter reads at its initialisation.
inline constexpr std::uint32_t kConfigGroup = 0x1100;
inline constexpr std::uint32_t kChannelGroupBase = 0x2000;
inline constexpr std::uint32_t kGroupGroupBase = 0x3000;
// Channel state writes: 0x2100 plus the channel id; the state word's offset.
inline constexpr std::uint32_t kStateGroupBase = 0x2100;
inline constexpr std::uint32_t kStateWordOffset = 3;
// Record stream: read-writes to 0x3200 plus the group id at these offsets.
inline constexpr std::uint32_t kRecordGroupBase = 0x3200;
inline constexpr std::uint32_t kRecordOffsets[] = {0x60, 0x61};
inline constexpr std::uint32_t kBufferFull = 0x423F;
inline constexpr std::size_t kNameLength = 100;
// Channel functions: writes to 0x2200 plus the channel id at these offsets.
inline constexpr std::uint32_t kFunctionGroupBase = 0x2200;
enum class ChannelFunction : std::uint32_t {
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
// NC command events: Vek command 0x4016 with 88 data bytes.
inline constexpr std::uint16_t kNcEventCommand = 0x4016;
inline constexpr std::size_t kNcEventSize = 88;
enum class NcEvent : std::int32_t {
    syncReached = 0,
    disableMask = 1,
    axisPositions = 3,
    currentLine = 4,
    distanceToGoDeleted = 7,
};
// The interpreter's axis query: a write of {6, channel id, 0} to this group.
inline constexpr std::uint32_t kEventGroup = 0x1408;
inline constexpr std::int32_t kAxisQueryEvent = 6;
// A synchronisation record carries the command the kernel sends back at the point:
// its Vek head at this offset of the record, its data after it.
inline constexpr std::int32_t kSyncRecordType = 10;
inline constexpr std::size_t kSyncCommandOffset = 24;

// x, y, z, q1 to q5.
using AxisValues = std::array<double, 8>;

// The data of a block search (ENABLEBLOCKSEARCH), 24 bytes.
struct BlockSearchRequest {
    double percent = 0.0;
    std::uint32_t target = 0;
    bool takeAxes = false;        // byte 14
    std::uint16_t kind = 1;       // 1 block number, 2 delivery serial
    std::uint16_t searchKind = 0; // the queue's search kind
    std::vector<std::uint8_t> bytes() const;
};

struct Channel {
    std::int32_t id = 0;
    std::string name;
    std::int32_t bufferSize = 0;
    std::int32_t itpType = 0;
};

struct Group {
    std::int32_t id = 0;
    std::int32_t channelType = 2; // offset 0x23: the interpreter sets up groups reading 2
    std::int32_t type = 0;
    std::string name;
    std::int32_t channelId = 0;
    std::int32_t numberInChannel = 0;
};

// A request of the interpreter to the kernel and the simulator's answer.
struct Request {
    enum class Kind { read, write, readWrite };
    Kind kind = Kind::read;
    std::uint32_t indexGroup = 0;
    std::uint32_t indexOffset = 0;
    std::uint32_t readLength = 0;
    std::vector<std::uint8_t> data; // bytes written
    std::uint32_t result = 0;
};

class KernelSimulator {
public:
    // Starts a router at the path and connects port 500 and the simulator's client.
    // Throws std::runtime_error when the router or the port cannot be had.
    explicit KernelSimulator(const std::string& routerPath = vekRouterPath());
    ~KernelSimulator();
    KernelSimulator(const KernelSimulator&) = delete;
    KernelSimulator& operator=(const KernelSimulator&) = delete;

    // The model of channels and groups, served to configuration reads.
    void addChannel(const Channel& channel);
    void addGroup(const Group& group);
    // Makes every read of the group and offset fail with the code until cleared.
    void failRead(std::uint32_t indexGroup, std::uint32_t indexOffset, std::uint32_t code);
    // The same for writes and read-writes (records included: a failed record is not
    // taken and uses no room).
    void failWrite(std::uint32_t indexGroup, std::uint32_t indexOffset, std::uint32_t code);
    void clearFailures();
    // The group's record buffer takes this many more records, then answers 0x423F
    // until freeRecordRoom makes room. Without a capacity a group takes everything.
    void setRecordCapacity(std::int32_t groupId, std::int32_t records);
    void freeRecordRoom(std::int32_t groupId, std::int32_t records);

    // Every read, write and read-write received so far, in arrival order.
    std::vector<Request> requests();
    // The records the kernel took (answered 0), decoded, in arrival order.
    std::vector<Nc2Decoded> records();
    // The state words written to the channel (index group 0x2100 + id, offset 3).
    std::vector<std::int32_t> stateWords(std::int32_t channelId);
    // The group functions written to the group (index group 0x3200 + id, no data).
    std::vector<std::uint32_t> groupFunctions(std::int32_t groupId);
    // Waits until the recorded requests satisfy the condition; false at the deadline.
    bool waitForRequests(const std::function<bool(const std::vector<Request>&)>& condition,
                         std::chrono::milliseconds patience = kPatience);

    // Requests to the interpreter (or, given an address, to any port); each waits for
    // its answer on the calling thread and returns the library's result.
    static VekAddr interpreter() { return VekAddr{vekLocalNetId(), kInterpreterPort}; }
    std::uint32_t command(std::uint16_t cmdId, std::span<const std::uint8_t> data,
                          VekCmd& response, const VekAddr& to = interpreter());
    std::uint32_t read(std::uint32_t indexGroup, std::uint32_t indexOffset,
                       std::uint32_t length, std::vector<std::uint8_t>& out,
                       const VekAddr& to = interpreter());
    std::uint32_t write(std::uint32_t indexGroup, std::uint32_t indexOffset,
                        std::span<const std::uint8_t> data, const VekAddr& to = interpreter());
    std::uint32_t readWrite(std::uint32_t indexGroup, std::uint32_t indexOffset,
                            std::uint32_t readLength, std::vector<std::uint8_t>& out,
                            std::span<const std::uint8_t> data, const VekAddr& to = interpreter());
    std::uint32_t findPort(const char* name, VekAddr& address);

    // Channel functions: a write to 0x2200 plus the channel id; the interpreter's answer.
    std::uint32_t channelFunction(std::int32_t channelId, ChannelFunction function,
                                  std::span<const std::uint8_t> data = {});
    // LOADPROGTXT with the path and its NUL.
    std::uint32_t loadProgram(std::int32_t channelId, const std::string& path);
    std::uint32_t startProgram(std::int32_t channelId);
    std::uint32_t enableBlockSearch(std::int32_t channelId, const BlockSearchRequest& request);
    std::uint32_t stepOnAfterBlockSearch(std::int32_t channelId);
    std::uint32_t goAhead(std::int32_t channelId);
    // An NC command event (0x4016) with the fields at their places, the rest zero; the
    // result of the exchange, and the answer's error code in `answer`.
    std::uint32_t ncEvent(NcEvent type, std::int32_t channelId, std::uint32_t value,
                          std::span<const std::uint8_t> payload, std::uint32_t& answer);
    // The event bytes as sent: type, channel id, value and payload at their offsets.
    static std::vector<std::uint8_t> ncEventData(std::int32_t type, std::int32_t channelId,
                                                 std::uint32_t value,
                                                 std::span<const std::uint8_t> payload);

    // The kernel's side of a running program. Axis queries are answered with event 3
    // carrying the channel's configured positions (zeros until set).
    void setAxisPositions(std::int32_t channelId, const AxisValues& positions);
    // Sends, in arrival order, the command of every synchronisation record taken and
    // not yet echoed to the target in its head, and answers every axis query not yet
    // answered; returns how many it sent. Waits for each answer on the calling thread.
    std::size_t serveEvents();
    // Serves the events on a thread of the simulator as they arrive, until stopped (at
    // the latest by the destructor).
    void startServing();
    void stopServing();
    // Commands served so far, and those whose exchange failed or was answered non-zero.
    std::size_t servedCount() const { return served_; }
    std::size_t serveFailures() const { return serveFailures_; }

    // The client the requests above go through, for posting without waiting.
    CZelSync& client() { return client_; }

private:
    class Server;
    void answerRead(const VekAddr& source, std::uint32_t invokeId, std::uint32_t indexGroup,
                    std::uint32_t indexOffset, std::uint32_t length);
    void answerWrite(const VekAddr& source, std::uint32_t invokeId, std::uint32_t indexGroup,
                     std::uint32_t indexOffset, std::span<const std::uint8_t> data);
    void answerReadWrite(const VekAddr& source, std::uint32_t invokeId, std::uint32_t indexGroup,
                         std::uint32_t indexOffset, std::uint32_t readLength,
                         std::span<const std::uint8_t> data);
    // The configuration value at the group and offset; false when the model has none.
    bool configValue(std::uint32_t indexGroup, std::uint32_t indexOffset,
                     std::vector<std::uint8_t>& value);
    void record(Request request);
    // The events still to send (under the lock), each marked as taken.
    std::vector<std::vector<std::uint8_t>> takeEvents(std::vector<VekAddr>& targets,
                                                      std::vector<std::uint16_t>& cmdIds);
    std::size_t sendEvents(CZelSync& client);

    std::unique_ptr<VekRouter> router_;
    std::unique_ptr<Server> server_;
    CZelSync client_;

    std::mutex mutex_; // guards everything below; never held while sending
    std::condition_variable changed_;
    std::vector<Channel> channels_;
    std::vector<Group> groups_;
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> failures_;
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> writeFailures_;
    std::map<std::int32_t, std::int32_t> capacity_;
    std::vector<Request> requests_;
    std::size_t eventsTaken_ = 0; // requests_ looked at for syncs and axis queries
    std::map<std::int32_t, AxisValues> axes_;
    std::atomic<std::size_t> served_{0};
    std::atomic<std::size_t> serveFailures_{0};
    bool serving_ = false;
    std::thread servingThread_;
};

} // namespace KernelSim
