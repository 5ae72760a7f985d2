// The router and the ports: connecting, port numbers, names, limits.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "host/zel/vek_socket.h"
#include "host/zel/zel_wire.h"
#include "zel_test_support.h"

namespace ZelTest {
namespace {

using VekRouterTest = RouterFixture;

TEST(VekHeadWire, FieldsSitAtTheirOffsetsLittleEndian) {
    VekHead head;
    head.target = VekAddr{VekNetId{{1, 2, 3, 4, 5, 6}}, 0x2D50};
    head.source = VekAddr{VekNetId{{7, 8, 9, 10, 11, 12}}, 0x8001};
    head.cmdId = 0x4016;
    head.stateFlags = 0x0005;
    head.dataLength = 0x01020304;
    head.errorCode = 0x423F;
    head.invokeId = 0xA0B0C0D0;
    std::uint8_t bytes[kVekHeadSize];
    vekEncodeHead(head, bytes);
    const std::uint8_t expected[kVekHeadSize] = {
        1,    2,    3,    4,    5,    6,    0x50, 0x2D, // target
        7,    8,    9,    10,   11,   12,   0x01, 0x80, // source
        0x16, 0x40, 0x05, 0x00,                         // command id, state flags
        0x04, 0x03, 0x02, 0x01,                         // data length
        0x3F, 0x42, 0x00, 0x00,                         // error code
        0xD0, 0xC0, 0xB0, 0xA0,                         // invoke id
    };
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + kVekHeadSize),
              std::vector<std::uint8_t>(expected, expected + kVekHeadSize));
    VekHead back = vekDecodeHead(bytes);
    EXPECT_EQ(back.target, head.target);
    EXPECT_EQ(back.source, head.source);
    EXPECT_EQ(back.cmdId, head.cmdId);
    EXPECT_EQ(back.stateFlags, head.stateFlags);
    EXPECT_EQ(back.dataLength, head.dataLength);
    EXPECT_EQ(back.errorCode, head.errorCode);
    EXPECT_EQ(back.invokeId, head.invokeId);
}

TEST_F(VekRouterTest, PortNumbersAddressesAndNames) {
    CZelSync fixed(0, 0, nullptr);
    ASSERT_NE(fixed.VekConnect(11600, 4096, 80), 0);
    EXPECT_EQ(fixed.VekGetPort(), 11600);
    EXPECT_EQ(fixed.VekConnect(11600, 4096, 80), 0) << "a connected port connects once";

    CZelSync second(0, 0, nullptr);
    EXPECT_EQ(second.VekConnect(11600, 4096, 80), 0) << "port in use";
    EXPECT_FALSE(second.VekIsConnected());

    CZelSync any(0, 0, nullptr);
    ASSERT_NE(any.VekConnect(0, 4096, 80), 0);
    EXPECT_GE(any.VekGetPort(), 0x8000);
    const VekAddr addr = any.VekGetAddr();
    EXPECT_EQ(addr.netId, (VekNetId{{127, 0, 0, 1, 1, 1}}));
    EXPECT_EQ(addr.port, any.VekGetPort());

    CZelSync other(0, 1, nullptr);
    ASSERT_TRUE(other.VekIsConnected()) << "connectNow 1 connects at construction";
    EXPECT_GE(other.VekGetPort(), 0x8000);
    EXPECT_NE(other.VekGetPort(), any.VekGetPort());

    RecordingServer named;
    named.VekSetName("UserSrv_Vordash");
    ASSERT_NE(named.VekConnect(0, 4096, 80), 0);
    VekAddr found;
    ASSERT_EQ(any.VekSyncFindPort("UserSrv_Vordash", found), 0u);
    EXPECT_EQ(found, named.VekGetAddr());
    EXPECT_EQ(any.VekSyncFindPort("nobody", found), 0x7F04u);

    // A freed port can be taken again once the router has seen the connection end.
    ASSERT_NE(fixed.VekDisconnect(), 0);
    auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!second.VekConnect(11600, 4096, 80) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(second.VekIsConnected());
}

TEST(VekRouterAbsent, ConnectFailsAtOnceAndRequestsReportNotConnected) {
    std::string missing = (std::filesystem::temp_directory_path() / "vdzel-no-router.sock").string();
    ::setenv("VORDASH_VEK_ROUTER", missing.c_str(), 1);
    ::setenv("VORDASH_ZEL_TIMEOUT_MS", "60000", 1);
    auto start = std::chrono::steady_clock::now();
    CZelSync client(0, 1, nullptr);
    EXPECT_FALSE(client.VekIsConnected());
    EXPECT_EQ(client.VekConnect(11600, 4096, 80), 0);
    RecordingServer server;
    EXPECT_EQ(server.VekConnect(11600, 4096, 80), 0);
    std::uint8_t byte = 0;
    EXPECT_EQ(client.ZelSyncReadReq(localPort(500), 0x1100, 1, 1, &byte), 0x7F03u);
    EXPECT_EQ(client.ZelWriteReq(localPort(500), 0, 1, 0, 1, &byte), 0x7F03u);
    // Far below the (long) Zel timeout: nothing waited for an answer.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST(VekRouterStart, RefusesASecondRouterOnTheSamePath) {
    std::string pattern = (std::filesystem::temp_directory_path() / "vdzelXXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    std::string path = pattern + "/r.sock";
    {
        VekRouter first(path);
        EXPECT_THROW(VekRouter second(path), std::runtime_error);
        EXPECT_THROW(VekRouter tooLong(pattern + "/" + std::string(200, 'x')), std::runtime_error);
    }
    // The first router removed its socket; a new one starts there.
    EXPECT_NO_THROW(VekRouter again(path));
    std::filesystem::remove_all(pattern);
}

// A raw connection that registers a port and then does as the test says.
int rawPort(const std::string& path, std::uint16_t port) {
    int fd = VekSocket::connectTo(path);
    if (fd < 0)
        return -1;
    VekHead head;
    head.target = localPort(0);
    head.cmdId = static_cast<std::uint16_t>(VekRouterCommandId::connect);
    std::vector<std::uint8_t> body;
    vekPut16(body, port);
    VekCmd connect(head, body);
    VekSocket::FrameReader reader;
    VekCmd answer;
    auto deadline = VekSocket::deadlineIn(5000);
    if (VekSocket::sendAll(fd, connect.wire(), deadline) != VekSocket::SendResult::sent ||
        reader.read(fd, deadline, answer) != VekSocket::ReadResult::frame || answer.head().errorCode != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

TEST_F(VekRouterTest, OversizedCommandClosesOnlyItsSender) {
    RecordingServer server;
    server.onRequest = [](RecordingServer& s, const Received& r) {
        s.ZelWriteRes(r.source, r.invokeId, 0);
    };
    ASSERT_NE(server.VekConnect(11600, 4096, 80), 0);
    CZelSync client(0, 1, nullptr);

    int fd = rawPort(path_, 0x7000);
    ASSERT_GE(fd, 0);
    VekHead head;
    head.target = localPort(11600);
    head.dataLength = kVekMaxDataLength + 1;
    std::uint8_t bytes[kVekHeadSize];
    vekEncodeHead(head, bytes);
    ASSERT_EQ(VekSocket::sendAll(fd, bytes, VekSocket::deadlineIn(5000)), VekSocket::SendResult::sent);
    // The router ends the connection: reading it ends without any command.
    VekSocket::FrameReader reader;
    VekCmd nothing;
    EXPECT_EQ(reader.read(fd, VekSocket::deadlineIn(10000), nothing), VekSocket::ReadResult::closed);
    ::close(fd);

    const std::uint8_t data[3] = {1, 2, 3};
    EXPECT_EQ(client.ZelSyncWriteReq(server.VekGetAddr(), 1, 2, 3, data), 0u);
    ASSERT_TRUE(server.waitFor(1));
    EXPECT_EQ(server.received().size(), 1u) << "nothing of the oversized command arrived";

    // A command of exactly the limit still passes.
    std::vector<std::uint8_t> big(kVekMaxDataLength - 12, 0x5A);
    EXPECT_EQ(client.ZelSyncWriteReq(server.VekGetAddr(), 1, 2, static_cast<std::uint32_t>(big.size()), big.data()), 0u);
    ASSERT_TRUE(server.waitFor(2));
    EXPECT_EQ(server.received()[1].data, big);
}

TEST_F(VekRouterTest, APortThatStopsReadingStallsNobodyElse) {
    RecordingServer server;
    server.onRequest = [](RecordingServer& s, const Received& r) {
        s.ZelWriteRes(r.source, r.invokeId, 0);
    };
    ASSERT_NE(server.VekConnect(11600, 4096, 80), 0);
    int stalled = rawPort(path_, 0x7001);
    ASSERT_GE(stalled, 0);

    // More than the router queues for one connection, plus what the socket holds.
    CZelSync flooder(0, 1, nullptr);
    std::vector<std::uint8_t> chunk(512 * 1024, 0xEE);
    const int chunks = static_cast<int>(2 * VekRouter::kOutputLimit / chunk.size());
    for (int i = 0; i < chunks; ++i)
        ASSERT_EQ(flooder.ZelWriteReq(localPort(0x7001), 0, 1, 0, static_cast<std::uint32_t>(chunk.size()), chunk.data()), 0u) << i;

    // The flood's excess came back as timeouts; a request that does not fit either gets
    // one too, at once.
    EXPECT_EQ(flooder.ZelSyncWriteReq(localPort(0x7001), 1, 0, static_cast<std::uint32_t>(chunk.size()), chunk.data()), 0x7F02u);
    CZelSync client(0, 1, nullptr);
    std::uint8_t byte = 7;
    EXPECT_EQ(client.ZelSyncWriteReq(server.VekGetAddr(), 9, 9, 1, &byte), 0u);
    EXPECT_EQ(flooder.ZelSyncWriteReq(server.VekGetAddr(), 9, 9, 1, &byte), 0u);
    ::close(stalled);
}

} // namespace
} // namespace ZelTest
