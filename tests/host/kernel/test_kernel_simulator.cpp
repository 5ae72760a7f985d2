// The kernel simulator's core: configuration reads from its model, recorded writes,
// record flow control, and requests to the interpreter's server.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

#include "host/kernel/zel_server_buffered.h"
#include "kernel_test_support.h"

namespace KernelTest {
namespace {

using KernelSim::Request;
using Karsto::ZelServerBuffered;

using KernelSimulatorTest = SimulatorFixture;

const VekAddr kKernel{vekLocalNetId(), KernelSim::kKernelPort};

std::int32_t readInt(CZelSync& client, std::uint32_t group, std::uint32_t offset, std::uint32_t* result = nullptr) {
    std::int32_t value = -12345;
    std::uint32_t r = client.ZelSyncReadReq(kKernel, group, offset, 4, &value);
    if (result)
        *result = r;
    return value;
}

TEST_F(KernelSimulatorTest, ServesTheConfigurationFromItsModel) {
    sim_->addChannel({1, "Channel_1", 1000, 2});
    sim_->addChannel({2, "Channel_2", 2000, 3});
    sim_->addGroup({11, 2, 1, "Group_11", 1, 0});
    sim_->addGroup({12, 1, 4, "Group_12", 2, 1});
    CZelSync client(0, 1, nullptr); // as the interpreter's initialisation does

    EXPECT_EQ(readInt(client, 0x1100, 0x01), 2);
    std::int32_t ids[2] = {};
    ASSERT_EQ(client.ZelSyncReadReq(kKernel, 0x1100, 0x31, 8, ids), 0u);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[1], 2);
    char name[100];
    std::memset(name, 'x', sizeof name);
    ASSERT_EQ(client.ZelSyncReadReq(kKernel, 0x2000 + 2, 0x02, 100, name), 0u);
    EXPECT_STREQ(name, "Channel_2");
    EXPECT_EQ(name[99], '\0');
    EXPECT_EQ(readInt(client, 0x2000 + 2, 0x05), 2000);
    EXPECT_EQ(readInt(client, 0x2000 + 2, 0x04), 3);

    EXPECT_EQ(readInt(client, 0x1100, 0x02), 2);
    ASSERT_EQ(client.ZelSyncReadReq(kKernel, 0x1100, 0x32, 8, ids), 0u);
    EXPECT_EQ(ids[0], 11);
    EXPECT_EQ(ids[1], 12);
    EXPECT_EQ(readInt(client, 0x3000 + 11, 0x23), 2);
    EXPECT_EQ(readInt(client, 0x3000 + 12, 0x23), 1);
    EXPECT_EQ(readInt(client, 0x3000 + 12, 0x03), 4);
    ASSERT_EQ(client.ZelSyncReadReq(kKernel, 0x3000 + 11, 0x02, 100, name), 0u);
    EXPECT_STREQ(name, "Group_11");
    EXPECT_EQ(readInt(client, 0x3000 + 12, 0x21), 2);
    EXPECT_EQ(readInt(client, 0x3000 + 12, 0x24), 1);

    // Asking more than the model holds is an answer too short; unknown ids are refused.
    std::int32_t three[3];
    EXPECT_EQ(client.ZelSyncReadReq(kKernel, 0x1100, 0x31, 12, three), 0x7F05u);
    std::uint32_t result = 0;
    readInt(client, 0x2000 + 9, 0x05, &result);
    EXPECT_NE(result, 0u);

    // Any configuration read can be made to fail with a scripted code.
    sim_->failRead(0x2000 + 2, 0x05, 0x1234);
    readInt(client, 0x2000 + 2, 0x05, &result);
    EXPECT_EQ(result, 0x1234u);
    EXPECT_EQ(readInt(client, 0x2000 + 1, 0x05), 1000) << "other reads go on";
    sim_->clearFailures();
    EXPECT_EQ(readInt(client, 0x2000 + 2, 0x05), 2000);
}

TEST_F(KernelSimulatorTest, RecordsWritesAndThrottlesRecordsPerGroup) {
    CZelSync client(0, 1, nullptr);
    const std::uint8_t state[4] = {3, 0, 0, 0};
    ASSERT_EQ(client.ZelSyncWriteReq(kKernel, 0x2101, 3, 4, state), 0u);

    sim_->setRecordCapacity(11, 2);
    std::vector<std::uint8_t> record(160, 0x42);
    std::uint8_t back[8];
    auto send = [&](std::uint32_t offset) {
        return client.ZelSyncReadWriteReq(kKernel, 0x3200 + 11, offset, 8, back,
                                          static_cast<std::uint32_t>(record.size()), record.data());
    };
    EXPECT_EQ(send(0x60), 0u);
    EXPECT_EQ(send(0x61), 0u);
    EXPECT_EQ(send(0x60), 0x423Fu) << "capacity used up";
    EXPECT_EQ(send(0x60), 0x423Fu);
    EXPECT_EQ(client.ZelSyncReadWriteReq(kKernel, 0x3200 + 12, 0x60, 8, back, 4, state), 0u)
        << "other groups are not throttled";
    sim_->freeRecordRoom(11, 1);
    EXPECT_EQ(send(0x61), 0u);
    EXPECT_EQ(send(0x61), 0x423Fu);

    auto requests = sim_->requests();
    ASSERT_EQ(requests.size(), 8u);
    EXPECT_EQ(requests[0].kind, Request::Kind::write);
    EXPECT_EQ(requests[0].indexGroup, 0x2101u);
    EXPECT_EQ(requests[0].indexOffset, 3u);
    EXPECT_EQ(requests[0].data, std::vector<std::uint8_t>(state, state + 4));
    EXPECT_EQ(requests[1].kind, Request::Kind::readWrite);
    EXPECT_EQ(requests[1].indexGroup, 0x320Bu);
    EXPECT_EQ(requests[1].indexOffset, 0x60u);
    EXPECT_EQ(requests[1].data, record);
    const std::uint32_t results[] = {0, 0, 0, 0x423F, 0x423F, 0, 0, 0x423F};
    for (std::size_t i = 0; i < requests.size(); ++i)
        EXPECT_EQ(requests[i].result, results[i]) << i;
}

// The interpreter's side in miniature: a controller thread that takes the queued
// requests and answers them, and for a 0x401E first reads from the kernel.
TEST_F(KernelSimulatorTest, RequestsReachTheInterpreterAndItsAnswersComeBack) {
    sim_->addChannel({1, "Channel_1", 1000, 2});
    ZelServerBuffered server(ZelVersion{0, 1, 1});
    server.connect();
    std::atomic<bool> stop{false};
    std::thread controller([&] {
        CZelSync zel(0, 1, nullptr);
        while (!stop) {
            server.wait();
            while (auto event = server.eventPop()) {
                switch (event->kind) {
                case ZelServerBuffered::EventKind::read: {
                    auto& r = static_cast<ZelServerBuffered::Read&>(*event);
                    std::vector<std::uint8_t> answer(r.length, static_cast<std::uint8_t>(r.indexOffset));
                    server.ZelReadRes(r.source, r.invokeId, 0, r.length, answer.data());
                    break;
                }
                case ZelServerBuffered::EventKind::write: {
                    auto& w = static_cast<ZelServerBuffered::Write&>(*event);
                    server.ZelWriteRes(w.source, w.invokeId, w.length == 0 ? 0x705 : 0);
                    break;
                }
                case ZelServerBuffered::EventKind::readwrite: {
                    auto& w = static_cast<ZelServerBuffered::Readwrite&>(*event);
                    server.ZelReadWriteRes(w.source, w.invokeId, 0x703, 0, nullptr);
                    break;
                }
                case ZelServerBuffered::EventKind::cmd: {
                    auto& c = static_cast<ZelServerBuffered::Cmd&>(*event);
                    // Answered only after a request of its own to the kernel.
                    std::int32_t count = -1;
                    std::uint32_t result = zel.ZelSyncReadReq(kKernel, 0x1100, 0x01, 4, &count);
                    server.VekResponse(c.command, result != 0 ? result : static_cast<std::uint32_t>(count + 40));
                    break;
                }
                }
            }
        }
    });

    VekCmd response;
    ASSERT_EQ(sim_->command(0x401E, {}, response), 0u);
    EXPECT_EQ(response.head().errorCode, 41u) << "answered after reading one channel";
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(sim_->read(0x2101, 5, 3, bytes), 0u);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{5, 5, 5}));
    const std::uint8_t one = 1;
    EXPECT_EQ(sim_->write(0x2201, 1, std::span(&one, 1)), 0u);
    EXPECT_EQ(sim_->write(0x2201, 1, {}), 0x705u);
    EXPECT_EQ(sim_->readWrite(0x2001, 0, 4, bytes, std::span(&one, 1)), 0x703u);

    stop = true;
    server.wake();
    controller.join();
}

// The kernel's events: an interpreter stand-in that queues every command it gets and
// answers it at once with 0, recording the data.
TEST_F(KernelSimulatorTest, EchoesSyncRecordsAndAnswersAxisQueriesWithConfiguredPositions) {
    ZelServerBuffered server(ZelVersion{0, 1, 1});
    server.connect();
    std::mutex mutex;
    std::vector<std::vector<std::uint8_t>> received;
    std::atomic<bool> stop{false};
    std::thread controller([&] {
        while (!stop) {
            server.wait();
            while (auto event = server.eventPop()) {
                if (event->kind != ZelServerBuffered::EventKind::cmd) continue;
                auto& c = static_cast<ZelServerBuffered::Cmd&>(*event);
                {
                    std::lock_guard lock(mutex);
                    received.emplace_back(c.command.begin() + kVekHeadSize, c.command.end());
                }
                server.VekResponse(c.command, 0);
            }
        }
    });

    sim_->setAxisPositions(4, {1, 2, 3, 4, 5, 6, 7, 8});
    CZelSync client(0, 1, nullptr);
    // A sync record for group 12 whose command goes to the stand-in with 88 bytes.
    std::vector<std::uint8_t> record(160, 0);
    record[0] = 10;
    VekHead embedded;
    embedded.target = KernelSim::KernelSimulator::interpreter();
    embedded.cmdId = 0x4016;
    embedded.dataLength = 88;
    vekEncodeHead(embedded, record.data() + 24);
    record[56 + 8] = 4;  // channel id
    record[56 + 87] = 0x5A; // the command's last byte
    std::uint8_t back[8];
    ASSERT_EQ(client.ZelSyncReadWriteReq(kKernel, 0x3200 + 12, 0x60, 8, back, 160, record.data()), 0u);
    const std::uint8_t query[12] = {6, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(client.ZelSyncWriteReq(kKernel, 0x1408, 0, 12, query), 0u);
    const std::uint8_t other[12] = {6, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(client.ZelSyncWriteReq(kKernel, 0x1408, 0, 12, other), 0u);

    EXPECT_EQ(sim_->serveEvents(), 3u);
    EXPECT_EQ(sim_->serveEvents(), 0u) << "each event is sent once";
    EXPECT_EQ(sim_->serveFailures(), 0u);
    stop = true;
    server.wake();
    controller.join();

    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0], std::vector<std::uint8_t>(record.begin() + 56, record.begin() + 56 + 88)) << "echoed whole";
    const std::vector<std::uint8_t>& axes = received[1];
    ASSERT_EQ(axes.size(), 88u);
    EXPECT_EQ(vekGet32(axes.data()), 3u);
    EXPECT_EQ(vekGet32(axes.data() + 8), 4u);
    double positions[8];
    std::memcpy(positions, axes.data() + 16, sizeof positions);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(positions[i], i + 1.0);
    std::memcpy(positions, received[2].data() + 16, sizeof positions);
    EXPECT_EQ(positions[0], 0.0) << "a channel without configured positions gets zeros";
}

TEST_F(KernelSimulatorTest, FindsAPortByNameAndTalksToIt) {
    // A user server answers its writes at once with the group as result.
    struct UserServer : CZelR3 {
        UserServer() : CZelR3(0, 0, nullptr, 1) { VekSetName("UserSrv_Vordash"); }
        ~UserServer() override { portShutdown(); }
        void ZelWriteInd(const VekAddr& source, std::uint32_t invokeId, std::uint32_t group,
                         std::uint32_t, std::uint32_t, const std::uint8_t*) override {
            ZelWriteRes(source, invokeId, group == 1 ? 0 : 0x700);
        }
    } user;
    ASSERT_NE(user.VekConnect(0, 4096, 80), 0);

    VekAddr found;
    ASSERT_EQ(sim_->findPort("UserSrv_Vordash", found), 0u);
    EXPECT_EQ(found, user.VekGetAddr());
    EXPECT_EQ(sim_->write(1, 0, {}, found), 0u);
    EXPECT_EQ(sim_->write(5, 0, {}, found), 0x700u);
    VekCmd response;
    ASSERT_EQ(sim_->command(251, {}, response, found), 0u);
    EXPECT_EQ(response.head().errorCode, 0x7F01u) << "the library's default answer";
    EXPECT_NE(sim_->findPort("UserSrv_Other", found), 0u);
}

} // namespace
} // namespace KernelTest
