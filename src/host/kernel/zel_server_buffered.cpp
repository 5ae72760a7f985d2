#include "host/kernel/zel_server_buffered.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace Karsto {

const char* ExceptionZel::what() const noexcept {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%" PRIx32, static_cast<uint32_t>(code));
    whatText = std::string("ZelError ") + hex + ": " + text;
    return whatText.c_str();
}

ZelServerBuffered::ZelServerBuffered(ZelVersion serverVersion)
    : CZelR3(0, 0, nullptr, 1), deviceName{}, version(serverVersion) {
    std::strncpy(deviceName, "Vordash", sizeof deviceName);
}

ZelServerBuffered::~ZelServerBuffered() {
    // No indication may reach a half-destroyed server; no lock is held here.
    portShutdown();
}

void ZelServerBuffered::connect() {
    {
        std::lock_guard lock(mutex);
        if (state == kConnected)
            return;
    }
    // A receive thread of an earlier connection may still be in an indication waiting
    // for this mutex; connecting waits for that thread, so it must not hold the mutex.
    portShutdown();
    std::lock_guard lock(mutex);
    if (!VekConnect(port, 4096, 80)) {
        state = kFailed;
        throw std::runtime_error("Error connecting to VEK router");
    }
    state = kConnected;
    condition.notify_all();
}

void ZelServerBuffered::disconnect() {
    {
        std::lock_guard lock(mutex);
        if (state == kDisconnected)
            return;
        if (!VekDisconnect()) {
            state = kFailed;
            throw std::runtime_error("Error disconnecting from VEK router");
        }
        state = kDisconnected;
    }
    // Indications already under way complete meanwhile; what they queue is dropped too.
    std::this_thread::sleep_for(kDisconnectPause);
    {
        std::lock_guard lock(mutex);
        events.clear();
        queued.store(false, std::memory_order_release);
    }
    condition.notify_all();
}

std::unique_ptr<ZelServerBuffered::Event> ZelServerBuffered::eventPop() {
    // An event queued after this test is taken by the next pass, as one queued after the
    // pop would be.
    if (!queued.load(std::memory_order_acquire))
        return nullptr;
    std::lock_guard lock(mutex);
    if (events.empty())
        return nullptr;
    std::unique_ptr<Event> event = std::move(events.front());
    events.pop_front();
    queued.store(!events.empty(), std::memory_order_release);
    return event;
}

void ZelServerBuffered::wait() {
    std::unique_lock lock(mutex);
    if (events.empty() && !wakePending)
        condition.wait_for(lock, kWaitLimit);
    wakePending = false;
}

void ZelServerBuffered::wake() {
    std::lock_guard lock(mutex);
    wakePending = true;
    condition.notify_all();
}

void ZelServerBuffered::enqueue(std::unique_ptr<Event> event) {
    {
        std::lock_guard lock(mutex);
        events.push_back(std::move(event));
        queued.store(true, std::memory_order_release);
    }
    condition.notify_all();
}

void ZelServerBuffered::ZelReadDeviceInfoInd(const VekAddr& source, uint32_t invokeId) {
    ZelReadDeviceInfoRes(source, invokeId, 0, deviceName, version);
}

void ZelServerBuffered::ZelReadInd(const VekAddr& source, uint32_t invokeId, uint32_t indexGroup,
                                   uint32_t indexOffset, uint32_t length) {
    auto event = std::make_unique<Read>();
    event->source = source;
    event->invokeId = invokeId;
    event->indexGroup = indexGroup;
    event->indexOffset = indexOffset;
    event->length = length;
    enqueue(std::move(event));
}

void ZelServerBuffered::ZelWriteInd(const VekAddr& source, uint32_t invokeId, uint32_t indexGroup,
                                    uint32_t indexOffset, uint32_t length, const uint8_t* data) {
    auto event = std::make_unique<Write>();
    event->source = source;
    event->invokeId = invokeId;
    event->indexGroup = indexGroup;
    event->indexOffset = indexOffset;
    event->length = length;
    if (length > 0)
        event->data.assign(data, data + length);
    enqueue(std::move(event));
}

void ZelServerBuffered::ZelReadWriteInd(const VekAddr& source, uint32_t invokeId,
                                        uint32_t indexGroup, uint32_t indexOffset,
                                        uint32_t readLength, uint32_t writeLength,
                                        const uint8_t* data) {
    auto event = std::make_unique<Readwrite>();
    event->source = source;
    event->invokeId = invokeId;
    event->indexGroup = indexGroup;
    event->indexOffset = indexOffset;
    event->readLength = readLength;
    event->writeLength = writeLength;
    if (writeLength > 0)
        event->data.assign(data, data + writeLength);
    enqueue(std::move(event));
}

void ZelServerBuffered::VekDispatch(const VekCmd& command) {
    auto event = std::make_unique<Cmd>();
    auto wire = command.wire();
    event->command.assign(wire.begin(), wire.end());
    enqueue(std::move(event));
}

} // namespace Karsto
