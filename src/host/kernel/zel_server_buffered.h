#pragma once
// The interpreter's Zel server for the NC kernel, on Vek port 11600.
//
// The port's receive thread calls the indications; apart from the device-information
// request, which is answered at once, each one only copies the request into an event at
// the end of a queue. The controller thread takes the events in arrival order and
// answers them through this object's response operations. The same mutex and condition
// variable give the controller its idle wait and its early wake-up.
//
// Lock order: Controller, then this server's mutex, then the Log; the port's send mutex
// is innermost.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/zel/zel_server.h"

namespace Karsto {

// A Zel error code to answer a request with, and its description.
class ExceptionZel : public std::exception {
public:
    ExceptionZel(int32_t zelCode, std::string description)
        : code(zelCode), text(std::move(description)) {}

    // "ZelError ", the code in lower-case hexadecimal, ": ", the text; rebuilt on every call.
    const char* what() const noexcept override;

    mutable std::string whatText;
    int32_t code;
    std::string text;
};

class ZelServerBuffered : public CZelR3 {
public:
    enum class EventKind : int32_t {
        read = 0,
        write = 1,
        readwrite = 2,
        cmd = 3,
    };

    // A queued request, recorded exactly as the library delivered it.
    class Event {
    public:
        explicit Event(EventKind eventKind) : kind(eventKind) {}
        virtual ~Event() = default;
        EventKind kind;
    };

    class Read : public Event {
    public:
        Read() : Event(EventKind::read) {}
        VekAddr source;
        uint32_t invokeId = 0;
        uint32_t indexGroup = 0;
        uint32_t indexOffset = 0;
        uint32_t length = 0; // bytes wanted
    };

    class Write : public Event {
    public:
        Write() : Event(EventKind::write) {}
        VekAddr source;
        uint32_t invokeId = 0;
        uint32_t indexGroup = 0;
        uint32_t indexOffset = 0;
        uint32_t length = 0;
        std::vector<uint8_t> data; // the length bytes written
    };

    class Readwrite : public Event {
    public:
        Readwrite() : Event(EventKind::readwrite) {}
        VekAddr source;
        uint32_t invokeId = 0;
        uint32_t indexGroup = 0;
        uint32_t indexOffset = 0;
        uint32_t readLength = 0;
        uint32_t writeLength = 0;
        std::vector<uint8_t> data; // the writeLength bytes written
    };

    class Cmd : public Event {
    public:
        Cmd() : Event(EventKind::cmd) {}
        std::vector<uint8_t> command; // the whole command: head, then the head's data length
    };

    // The connection states.
    static constexpr int32_t kDisconnected = 0;
    static constexpr int32_t kConnected = 1;
    static constexpr int32_t kFailed = 2; // the last connect or disconnect failed

    static constexpr uint16_t kPort = 11600;
    static constexpr auto kWaitLimit = std::chrono::milliseconds(100);
    // How long a disconnect lets indications still under way finish before the queue
    // is emptied.
    static constexpr auto kDisconnectPause = std::chrono::milliseconds(500);

    explicit ZelServerBuffered(ZelVersion serverVersion);
    ~ZelServerBuffered() override;

    // Connects port 11600 to the router unless connected; throws std::runtime_error
    // "Error connecting to VEK router" with state 2 on failure.
    void connect();
    // Disconnects unless disconnected, then drops every queued event (also those that
    // arrive during the pause); throws "Error disconnecting from VEK router" with state 2.
    void disconnect();
    // The oldest queued event, or null; the caller owns it.
    std::unique_ptr<Event> eventPop();
    // Waits at most 100 ms; returns at once when events are queued or a wake is pending.
    void wait();
    // Ends a wait in progress, or else the next one.
    void wake();

    void ZelReadDeviceInfoInd(const VekAddr& source, uint32_t invokeId) override;
    void ZelWriteInd(const VekAddr& source, uint32_t invokeId, uint32_t indexGroup,
                     uint32_t indexOffset, uint32_t length, const uint8_t* data) override;
    void ZelReadInd(const VekAddr& source, uint32_t invokeId, uint32_t indexGroup,
                    uint32_t indexOffset, uint32_t length) override;
    void ZelReadWriteInd(const VekAddr& source, uint32_t invokeId, uint32_t indexGroup,
                         uint32_t indexOffset, uint32_t readLength, uint32_t writeLength,
                         const uint8_t* data) override;
    const char* ZelGetDeviceName() override { return deviceName; }
    void VekDispatch(const VekCmd& command) override;

    // Written under the mutex by the controller thread, which alone reads it unlocked.
    int32_t state = kDisconnected;
    uint16_t port = kPort;
    char deviceName[kZelDeviceNameSize];
    ZelVersion version;

private:
    void enqueue(std::unique_ptr<Event> event);

    std::mutex mutex;
    std::condition_variable condition;
    std::deque<std::unique_ptr<Event>> events; // oldest first
    // Whether events is not empty, written under the mutex: the controller's event pass
    // asks once per cycle and takes the mutex only when something is queued.
    std::atomic<bool> queued{false};
    bool wakePending = false;
};

} // namespace Karsto
