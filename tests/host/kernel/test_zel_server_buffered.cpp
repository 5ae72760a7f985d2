// The buffered Zel server: connection state, the event queue, waiting, ExceptionZel.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <future>
#include <thread>

#include "host/kernel/zel_server_buffered.h"
#include "host/zel/zel_wire.h"
#include "kernel_test_support.h"

namespace KernelTest {
namespace {

using Karsto::ExceptionZel;
using Karsto::ZelServerBuffered;

// Counts the port calls; a disconnect can be made to fail, and a hook runs inside it.
class CountingServer : public ZelServerBuffered {
public:
    CountingServer() : ZelServerBuffered(ZelVersion{0, 1, 1}) {}
    ~CountingServer() override { portShutdown(); }

    int VekConnect(std::uint16_t number, std::uint32_t bufferSize, std::uint32_t bufferCount) override {
        ++connects;
        return ZelServerBuffered::VekConnect(number, bufferSize, bufferCount);
    }
    int VekDisconnect() override {
        ++disconnects;
        if (failDisconnect)
            return 0;
        int result = ZelServerBuffered::VekDisconnect();
        if (duringDisconnect)
            duringDisconnect();
        return result;
    }

    std::atomic<int> connects{0};
    std::atomic<int> disconnects{0};
    bool failDisconnect = false;
    std::function<void()> duringDisconnect;
};

using ZelServerBufferedTest = SimulatorFixture;

// Takes the next event, waiting for it with the server's own bounded wait.
std::unique_ptr<ZelServerBuffered::Event> nextEvent(ZelServerBuffered& server) {
    auto deadline = std::chrono::steady_clock::now() + kPatience;
    for (;;) {
        if (auto event = server.eventPop())
            return event;
        if (std::chrono::steady_clock::now() >= deadline)
            return nullptr;
        server.wait();
    }
}

// Sends a Zel request without waiting for its answer.
void post(CZelSync& client, ZelCommandId id, std::uint32_t group, std::uint32_t offset,
          std::uint32_t readLength, std::vector<std::uint8_t> written) {
    VekHead head;
    client.VekMakeHead(head, static_cast<std::uint16_t>(id), 0, KernelSim::KernelSimulator::interpreter(),
                       kZelRequestFlags, 0, 0);
    std::uint32_t invokeId = 0;
    ASSERT_EQ(client.VekPost(VekCmd(head, zelEncodeRequest(id, group, offset, readLength, written)), invokeId), 0u);
}

TEST_F(ZelServerBufferedTest, ConnectAndDisconnectCallThePortOnlyWhenNeeded) {
    CountingServer server;
    EXPECT_EQ(server.state, 0);
    EXPECT_EQ(server.port, 11600);
    server.connect();
    server.connect();
    EXPECT_EQ(server.connects.load(), 1);
    EXPECT_EQ(server.state, 1);
    EXPECT_EQ(server.VekGetPort(), 11600);

    server.disconnect();
    EXPECT_EQ(server.disconnects.load(), 1);
    EXPECT_EQ(server.state, 0);
    auto start = std::chrono::steady_clock::now();
    server.disconnect();
    EXPECT_EQ(server.disconnects.load(), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, ZelServerBuffered::kDisconnectPause)
        << "a disconnect while disconnected does not pause";

    server.connect();
    server.failDisconnect = true;
    try {
        server.disconnect();
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Error disconnecting from VEK router");
    }
    EXPECT_EQ(server.state, 2);
    server.failDisconnect = false;
    server.disconnect(); // from state 2 both operations try again
    EXPECT_EQ(server.disconnects.load(), 3);
    EXPECT_EQ(server.state, 0);
}

TEST_F(ZelServerBufferedTest, ConnectFailsWhileThePortIsHeldAndSucceedsOnceItIsFree) {
    auto holder = std::make_unique<CZelSync>(0, 0, nullptr);
    ASSERT_NE(holder->VekConnect(11600, 4096, 80), 0);
    CountingServer server;
    try {
        server.connect();
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Error connecting to VEK router");
    }
    EXPECT_EQ(server.state, 2);

    holder.reset();
    // The router frees the port once it has seen the holder go.
    EXPECT_TRUE(within([&] {
        try {
            server.connect();
            return true;
        } catch (const std::runtime_error&) {
            return false;
        }
    })) << "port 11600 never became free";
    EXPECT_EQ(server.state, 1);
}

TEST_F(ZelServerBufferedTest, RequestsQueueInArrivalOrderAndDeviceInfoIsAnsweredAtOnce) {
    CountingServer server;
    server.connect();
    CZelSync& kernel = sim_->client();

    const std::vector<std::uint8_t> record = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    post(kernel, ZelCommandId::write, 0x2101, 7, 0, record);
    post(kernel, ZelCommandId::read, 0x2301, 0x10, 268, {});
    post(kernel, ZelCommandId::write, 0x2201, 0x0F, 0, {});
    post(kernel, ZelCommandId::readWrite, 0x2302, 3, 12, {0xAA, 0xBB, 0xCC});
    std::vector<std::uint8_t> eventData(88, 0);
    eventData[8] = 1;
    VekHead head;
    kernel.VekMakeHead(head, 0x4016, 0, KernelSim::KernelSimulator::interpreter(), 0, 0, 0);
    std::uint32_t cmdInvokeId = 0;
    ASSERT_EQ(kernel.VekPost(VekCmd(head, eventData), cmdInvokeId), 0u);

    // Answered on the receive thread although nobody takes the queued requests.
    char name[16];
    ZelVersion version;
    ASSERT_EQ(kernel.ZelSyncReadDeviceInfoReq(KernelSim::KernelSimulator::interpreter(), name, version), 0u);
    EXPECT_EQ(std::string(name, 16), std::string("Vordash\0\0\0\0\0\0\0\0\0", 16));
    EXPECT_EQ(version, (ZelVersion{0, 1, 1}));

    auto first = nextEvent(server);
    ASSERT_TRUE(first);
    ASSERT_EQ(first->kind, ZelServerBuffered::EventKind::write);
    auto& write = static_cast<ZelServerBuffered::Write&>(*first);
    EXPECT_EQ(write.source, kernel.VekGetAddr());
    EXPECT_NE(write.invokeId, 0u);
    EXPECT_EQ(write.indexGroup, 0x2101u);
    EXPECT_EQ(write.indexOffset, 7u);
    EXPECT_EQ(write.length, record.size());
    EXPECT_EQ(write.data, record);

    auto second = nextEvent(server);
    ASSERT_TRUE(second);
    ASSERT_EQ(second->kind, ZelServerBuffered::EventKind::read);
    auto& read = static_cast<ZelServerBuffered::Read&>(*second);
    EXPECT_EQ(read.indexGroup, 0x2301u);
    EXPECT_EQ(read.indexOffset, 0x10u);
    EXPECT_EQ(read.length, 268u);

    auto third = nextEvent(server);
    ASSERT_TRUE(third);
    ASSERT_EQ(third->kind, ZelServerBuffered::EventKind::write);
    EXPECT_EQ(static_cast<ZelServerBuffered::Write&>(*third).length, 0u);
    EXPECT_TRUE(static_cast<ZelServerBuffered::Write&>(*third).data.empty());

    auto fourth = nextEvent(server);
    ASSERT_TRUE(fourth);
    ASSERT_EQ(fourth->kind, ZelServerBuffered::EventKind::readwrite);
    auto& readWrite = static_cast<ZelServerBuffered::Readwrite&>(*fourth);
    EXPECT_EQ(readWrite.readLength, 12u);
    EXPECT_EQ(readWrite.writeLength, 3u);
    EXPECT_EQ(readWrite.data, (std::vector<std::uint8_t>{0xAA, 0xBB, 0xCC}));

    auto fifth = nextEvent(server);
    ASSERT_TRUE(fifth);
    ASSERT_EQ(fifth->kind, ZelServerBuffered::EventKind::cmd);
    const auto& command = static_cast<ZelServerBuffered::Cmd&>(*fifth).command;
    ASSERT_EQ(command.size(), kVekHeadSize + eventData.size());
    VekHead got = vekDecodeHead(command.data());
    EXPECT_EQ(got.cmdId, 0x4016);
    EXPECT_EQ(got.dataLength, eventData.size());
    EXPECT_EQ(got.invokeId, cmdInvokeId);
    EXPECT_EQ(std::vector<std::uint8_t>(command.begin() + kVekHeadSize, command.end()), eventData);

    EXPECT_EQ(server.eventPop(), nullptr);

    // The controller thread answers from the event; the answer reaches the requester.
    server.VekResponse(command, 0);
    VekCmd response;
    ASSERT_EQ(kernel.VekAwait(cmdInvokeId, response), 0u);
    EXPECT_TRUE(CVekPort::VekIsResponseCommand(response));
    EXPECT_EQ(response.head().errorCode, 0u);
}

TEST_F(ZelServerBufferedTest, DisconnectDropsEverythingQueuedAlsoDuringItsPause) {
    CountingServer server;
    server.connect();
    CZelSync& kernel = sim_->client();
    std::uint8_t byte = 1;
    ASSERT_EQ(kernel.ZelWriteReq(KernelSim::KernelSimulator::interpreter(), 0, 0x2101, 3, 1, &byte), 0u);
    ASSERT_EQ(kernel.ZelWriteReq(KernelSim::KernelSimulator::interpreter(), 0, 0x2101, 3, 1, &byte), 0u);
    // The receive thread handles commands in order: once the device information is
    // answered, both writes are queued.
    char name[16];
    ZelVersion version;
    ASSERT_EQ(kernel.ZelSyncReadDeviceInfoReq(KernelSim::KernelSimulator::interpreter(), name, version), 0u);

    // An indication still under way when the port goes queues during the pause.
    std::thread late;
    server.duringDisconnect = [&] {
        late = std::thread([&] { server.ZelReadInd(VekAddr{}, 99, 0x2101, 1, 4); });
    };
    server.disconnect();
    late.join();
    EXPECT_EQ(server.eventPop(), nullptr);
    EXPECT_EQ(server.state, 0);
}

TEST_F(ZelServerBufferedTest, WaitEndsOnItsOwnAndWakeEndsIt) {
    ZelServerBuffered server(ZelVersion{0, 1, 1});
    // Nothing happens: the wait ends by itself.
    auto alone = std::async(std::launch::async, [&] { server.wait(); });
    ASSERT_EQ(alone.wait_for(kPatience), std::future_status::ready);

    // A wake from another thread ends the wait, whether it comes during the wait or
    // just before it (then it is kept for it).
    std::atomic<bool> waiting{false};
    auto waiter = std::async(std::launch::async, [&] {
        waiting = true;
        server.wait();
    });
    ASSERT_TRUE(within([&] { return waiting.load(); }));
    server.wake();
    ASSERT_EQ(waiter.wait_for(kPatience), std::future_status::ready);
}

TEST(ExceptionZel, TextIsRebuiltFromCodeAndText) {
    struct Case {
        int32_t code;
        const char* text;
        const char* what;
    };
    const Case cases[] = {
        {0x70B, "bad search", "ZelError 70b: bad search"},
        {0x705, "", "ZelError 705: "},
        {0x4111, "abc", "ZelError 4111: abc"},
        {0, "x", "ZelError 0: x"},
    };
    for (const Case& c : cases) {
        ExceptionZel e(c.code, c.text);
        EXPECT_STREQ(e.what(), c.what);
        EXPECT_STREQ(e.what(), c.what) << "second call";
        ExceptionZel copy = e;
        EXPECT_EQ(copy.code, c.code);
        EXPECT_STREQ(copy.what(), c.what);
    }
}

} // namespace
} // namespace KernelTest
