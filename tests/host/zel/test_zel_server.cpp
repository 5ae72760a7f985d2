// Zel servers and clients over the router: requests, answers, commands, the logger,
// disconnecting under load and concurrent clients.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "host/zel/zel_wire.h"
#include "zel_test_support.h"

namespace ZelTest {
namespace {

using ZelServerTest = RouterFixture;

std::vector<std::uint8_t> bytesOf(const char* text) {
    return std::vector<std::uint8_t>(text, text + std::strlen(text));
}

// Answers reads and read-writes with as many bytes as configured (a running pattern)
// and every request with the configured result.
struct AnsweringServer : RecordingServer {
    std::uint32_t result = 0;
    std::uint32_t answerLength = 0;

    ~AnsweringServer() override { portShutdown(); }
    AnsweringServer() {
        onRequest = [this](RecordingServer&, const Received& r) {
            std::vector<std::uint8_t> answer(answerLength);
            for (std::size_t i = 0; i < answer.size(); ++i)
                answer[i] = static_cast<std::uint8_t>(0xA0 + i);
            if (r.kind == "read")
                ZelReadRes(r.source, r.invokeId, result, answerLength, answer.data());
            else if (r.kind == "write")
                ZelWriteRes(r.source, r.invokeId, result);
            else if (r.kind == "readWrite")
                ZelReadWriteRes(r.source, r.invokeId, result, answerLength, answer.data());
        };
    }
};

TEST_F(ZelServerTest, RequestsArriveUnchangedAndTheServersResultIsTheCallsResult) {
    AnsweringServer server;
    server.result = 0x423F;
    ASSERT_NE(server.VekConnect(11600, 4096, 80), 0);
    CZelSync client(0, 1, nullptr);
    const VekAddr to = localPort(11600);

    const auto written = bytesOf("record bytes\0\x01\xff");
    EXPECT_EQ(client.ZelSyncWriteReq(to, 0x2100 + 3, 7, static_cast<std::uint32_t>(written.size()), written.data()), 0x423Fu);
    std::uint8_t readBack[8] = {};
    EXPECT_EQ(client.ZelSyncReadWriteReq(to, 0x3201, 0x60, 8, readBack, static_cast<std::uint32_t>(written.size()), written.data()), 0x423Fu);
    EXPECT_EQ(client.ZelSyncReadReq(to, 0x1100, 0x31, 12, readBack), 0x423Fu);
    EXPECT_EQ(client.ZelSyncWriteReq(to, 0x2200 + 1, 0x0F, 0, nullptr), 0x423Fu);

    ASSERT_TRUE(server.waitFor(4));
    auto got = server.received();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].kind, "write");
    EXPECT_EQ(got[0].indexGroup, 0x2103u);
    EXPECT_EQ(got[0].indexOffset, 7u);
    EXPECT_EQ(got[0].data, written);
    EXPECT_EQ(got[0].source, client.VekGetAddr());
    EXPECT_EQ(got[1].kind, "readWrite");
    EXPECT_EQ(got[1].indexGroup, 0x3201u);
    EXPECT_EQ(got[1].indexOffset, 0x60u);
    EXPECT_EQ(got[1].readLength, 8u);
    EXPECT_EQ(got[1].data, written);
    EXPECT_EQ(got[2].kind, "read");
    EXPECT_EQ(got[2].indexGroup, 0x1100u);
    EXPECT_EQ(got[2].indexOffset, 0x31u);
    EXPECT_EQ(got[2].readLength, 12u);
    EXPECT_EQ(got[3].kind, "write");
    EXPECT_TRUE(got[3].data.empty());
    for (const auto& r : got)
        EXPECT_NE(r.invokeId, 0u);
}

TEST_F(ZelServerTest, ReadsFillExactlyTheLengthAsked) {
    AnsweringServer server;
    ASSERT_NE(server.VekConnect(11600, 4096, 80), 0);
    CZelSync client(0, 1, nullptr);
    const VekAddr to = localPort(11600);

    struct Case {
        std::uint32_t asked;
        std::uint32_t answered;
        std::uint32_t result;
    };
    const Case cases[] = {
        {4, 4, 0},          // exact
        {4, 100, 0},        // a longer answer is cut to the length asked
        {100, 99, 0x7F05},  // too short
        {0, 0, 0},          // nothing asked, nothing copied
    };
    for (const Case& c : cases) {
        server.answerLength = c.answered;
        std::vector<std::uint8_t> buffer(c.asked + 4, 0x11);
        EXPECT_EQ(client.ZelSyncReadReq(to, 0x2000 + 1, 2, c.asked, buffer.data()), c.result) << c.asked;
        std::vector<std::uint8_t> readWriteBuffer(c.asked + 4, 0x11);
        EXPECT_EQ(client.ZelSyncReadWriteReq(to, 0x3201, 0x61, c.asked, readWriteBuffer.data(), 0, nullptr),
                  c.result) << c.asked;
        for (std::uint32_t i = 0; i < c.asked + 4; ++i) {
            std::uint8_t expected = (c.result == 0 && i < c.asked) ? static_cast<std::uint8_t>(0xA0 + i) : 0x11;
            ASSERT_EQ(buffer[i], expected) << "asked " << c.asked << " byte " << i;
            ASSERT_EQ(readWriteBuffer[i], expected) << "asked " << c.asked << " byte " << i;
        }
    }
}

TEST_F(ZelServerTest, UnknownPortSilentServerAndFireAndForgetWrites) {
    ::setenv("VORDASH_ZEL_TIMEOUT_MS", "300", 1);
    RecordingServer silent; // records, never answers
    ASSERT_NE(silent.VekConnect(11600, 4096, 80), 0);
    CZelSync client(0, 1, nullptr);
    std::uint8_t buffer[4] = {};

    EXPECT_EQ(client.ZelSyncReadReq(localPort(4711), 1, 2, 4, buffer), 0x7F04u);

    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.ZelSyncReadReq(localPort(11600), 1, 2, 4, buffer), 0x7F02u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));

    // Hands the frame on and returns; the server gets it although nobody waits.
    EXPECT_EQ(client.ZelWriteReq(localPort(11600), 0, 0x1408, 0, 4, buffer), 0u);
    ASSERT_TRUE(silent.waitFor(2));
    EXPECT_EQ(silent.received()[1].kind, "write");
    EXPECT_EQ(silent.received()[1].indexGroup, 0x1408u);
}

TEST_F(ZelServerTest, LateAnswersToEarlierWritesAreDropped) {
    AnsweringServer server;
    server.answerLength = 4;
    ASSERT_NE(server.VekConnect(11600, 4096, 80), 0);
    CZelSync client(0, 1, nullptr);
    std::uint8_t byte = 1;
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(client.ZelWriteReq(localPort(11600), 0, 1, 0, 1, &byte), 0u);
    std::uint8_t buffer[4] = {};
    EXPECT_EQ(client.ZelSyncReadReq(localPort(11600), 2, 0, 4, buffer), 0u);
    EXPECT_EQ(buffer[3], 0xA3);
}

TEST_F(ZelServerTest, VekCommandsReachVekDispatchAndComeBackAsResponses) {
    RecordingServer server;
    server.onCommand = [](RecordingServer& s, const VekCmd& cmd) { s.VekResponse(cmd, 7); };
    ASSERT_NE(server.VekConnect(11600, 4096, 80), 0);
    CZelSync client(0, 1, nullptr);

    std::vector<std::uint8_t> data(88, 0);
    data[8] = 3; // channel id
    VekHead head;
    client.VekMakeHead(head, 0x4016, static_cast<std::uint32_t>(data.size()), localPort(11600), 0, 0, 0);
    EXPECT_EQ(head.source, client.VekGetAddr());
    VekCmd response;
    ASSERT_EQ(client.VekSyncRequest(VekCmd(head, data), response), 0u);

    ASSERT_TRUE(server.waitFor(1));
    const Received got = server.received()[0];
    EXPECT_EQ(got.kind, "cmd");
    EXPECT_EQ(got.head.cmdId, 0x4016);
    EXPECT_EQ(got.head.source, client.VekGetAddr());
    EXPECT_EQ(got.data, data);

    const VekHead answer = response.head();
    EXPECT_TRUE(CVekPort::VekIsResponseCommand(response));
    EXPECT_EQ(answer.stateFlags & 0x0001, 0x0001);
    EXPECT_EQ(answer.errorCode, 7u);
    EXPECT_EQ(answer.cmdId, 0x4016);
    EXPECT_EQ(answer.source, server.VekGetAddr());
    EXPECT_EQ(answer.target, client.VekGetAddr());
    EXPECT_FALSE(CVekPort::VekIsResponseCommand(VekCmd(head, data)));
}

TEST_F(ZelServerTest, DeviceInfoNameIsPaddedAndVersionKept) {
    struct Named : RecordingServer {
        ZelVersion version{0, 1, 0x0102};
        ~Named() override { portShutdown(); }
        void ZelReadDeviceInfoInd(const VekAddr& source, std::uint32_t invokeId) override {
            char name[16] = {'V', 'o', 'r', 'd', 'a', 's', 'h'};
            ZelReadDeviceInfoRes(source, invokeId, 0, name, version);
        }
    } server;
    ASSERT_NE(server.VekConnect(11600, 4096, 80), 0);
    CZelSync client(0, 1, nullptr);
    char name[16];
    std::memset(name, 'x', sizeof name);
    ZelVersion version;
    ASSERT_EQ(client.ZelSyncReadDeviceInfoReq(localPort(11600), name, version), 0u);
    EXPECT_EQ(std::string(name, 16), std::string("Vordash\0\0\0\0\0\0\0\0\0", 16));
    EXPECT_EQ(version, server.version);

    // A name of 16 characters or more is sent as its first 16, without terminator.
    auto info = zelEncodeDeviceInfo("ABCDEFGHIJKLMNOPQRS", ZelVersion{1, 2, 3});
    ASSERT_EQ(info.size(), 20u);
    EXPECT_EQ(std::string(info.begin(), info.begin() + 16), "ABCDEFGHIJKLMNOP");
}

TEST_F(ZelServerTest, BaseHandlersAnswerNotSupportedAndServersDropResponses) {
    CZelR3 bare(0, 0, nullptr, 1);
    ASSERT_NE(bare.VekConnect(11600, 4096, 80), 0);
    CZelSync client(0, 1, nullptr);
    const VekAddr to = localPort(11600);
    std::uint8_t buffer[4] = {};
    char name[16];
    ZelVersion version;
    EXPECT_EQ(client.ZelSyncReadReq(to, 1, 2, 4, buffer), 0x7F01u);
    EXPECT_EQ(client.ZelSyncWriteReq(to, 1, 2, 4, buffer), 0x7F01u);
    EXPECT_EQ(client.ZelSyncReadWriteReq(to, 1, 2, 4, buffer, 4, buffer), 0x7F01u);
    EXPECT_EQ(client.ZelSyncReadDeviceInfoReq(to, name, version), 0x7F01u);
    VekHead head;
    client.VekMakeHead(head, 0x4444, 0, to, 0, 0, 0);
    VekCmd response;
    ASSERT_EQ(client.VekSyncRequest(VekCmd(head, {}), response), 0u);
    EXPECT_EQ(response.head().errorCode, 0x7F01u);
    // A Zel request the server cannot read gets the default answer too.
    client.VekMakeHead(head, static_cast<std::uint16_t>(ZelCommandId::write), 0, to, 0x0004, 0, 0);
    ASSERT_EQ(client.VekSyncRequest(VekCmd(head, bytesOf("short")), response), 0u);
    EXPECT_EQ(response.head().errorCode, 0x7F01u);

    RecordingServer server;
    ASSERT_NE(server.VekConnect(11601, 4096, 80), 0);
    client.VekMakeHead(head, 0x4016, 0, localPort(11601), 0x0001, 0, 0);
    ASSERT_EQ(client.VekSend(VekCmd(head, {})), 0u);
    client.VekMakeHead(head, 0x401E, 0, localPort(11601), 0, 0, 0);
    ASSERT_EQ(client.VekSend(VekCmd(head, {})), 0u);
    ASSERT_TRUE(server.waitFor(1));
    // Commands on one connection arrive in order, so the response came first and was dropped.
    EXPECT_EQ(server.received()[0].head.cmdId, 0x401E);
}

TEST_F(ZelServerTest, DisconnectReturnsWhileAnIndicationWaitsForTheCallersMutex) {
    ::setenv("VORDASH_ZEL_TIMEOUT_MS", "300", 1);
    std::mutex controller;
    std::atomic<int> indications{0};
    struct Blocking : RecordingServer {
        std::mutex* controller = nullptr;
        std::atomic<int>* indications = nullptr;
        ~Blocking() override { portShutdown(); }
        void ZelWriteInd(const VekAddr& source, std::uint32_t invokeId, std::uint32_t group,
                         std::uint32_t offset, std::uint32_t length, const std::uint8_t* data) override {
            ++*indications;
            RecordingServer::ZelWriteInd(source, invokeId, group, offset, length, data);
            std::lock_guard lock(*controller); // as an indication that needs the Controller
        }
    } server;
    server.controller = &controller;
    server.indications = &indications;
    ASSERT_NE(server.VekConnect(11600, 4096, 80), 0);
    CZelSync client(0, 1, nullptr);
    std::uint8_t byte = 0;
    {
        std::lock_guard hold(controller);
        ASSERT_EQ(client.ZelWriteReq(localPort(11600), 0, 1, 0, 1, &byte), 0u);
        ASSERT_TRUE(server.waitFor(1));
        EXPECT_NE(server.VekDisconnect(), 0); // returns although the handler is blocked on us
        EXPECT_FALSE(server.VekIsConnected());
    }
    server.portShutdown();
    EXPECT_EQ(indications.load(), 1);
    // Nothing reaches the server any more (once the router has seen the port go, it
    // says so), and it can connect again later.
    auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (client.ZelSyncWriteReq(localPort(11600), 1, 0, 1, &byte) != 0x7F04u)
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the router still routes to the port";
    EXPECT_EQ(indications.load(), 1);
    ASSERT_NE(server.VekConnect(11600, 4096, 80), 0);
    ASSERT_EQ(client.ZelWriteReq(localPort(11600), 0, 1, 0, 1, &byte), 0u);
    ASSERT_TRUE(server.waitFor(2));
}

// Receives log reports on port 100.
struct Collector : CVekR3Port {
    Collector() : CVekR3Port(0, 0, nullptr, 1) {}
    ~Collector() override { portShutdown(); }
    void VekDispatch(const VekCmd& command) override {
        ZelLogReport report;
        if (!zelDecodeLogReport(command, report))
            return;
        {
            std::lock_guard lock(mutex);
            reports.push_back(report);
        }
        changed.notify_all();
    }
    bool waitFor(std::size_t n) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, kPatience, [&] { return reports.size() >= n; });
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<ZelLogReport> reports;
};

struct LoggingServer : CZelR3 {
    LoggingServer() : CZelR3(0, 0, nullptr, 1) {}
    ~LoggingServer() override { portShutdown(); }
    const char* ZelGetDeviceName() override { return name; }
    char name[16] = {'V', 'o', 'r', 'd', 'a', 's', 'h'};
};

TEST_F(ZelServerTest, LogReportsReachTheCollectorOnPort100) {
    LoggingServer server;
    ASSERT_NE(server.VekConnect(11600, 4096, 80), 0);
    // Without a collector the report is handed on and dropped by the router.
    server.ZelReportLog(0x92, "%s", "[warning] nobody listens");

    Collector collector;
    ASSERT_NE(collector.VekConnect(100, 4096, 80), 0);
    const std::string line = "[warning] " + std::string(240, 'w');
    server.ZelReportLog(0x92, "%s", line.c_str());
    server.ZelReportLog(0x94, "%s %d", "[error] code", 0x700);
    ASSERT_TRUE(collector.waitFor(2));
    EXPECT_EQ(collector.reports[0].flags, 0x92u);
    EXPECT_EQ(collector.reports[0].deviceName, "Vordash");
    EXPECT_EQ(collector.reports[0].text, line);
    EXPECT_EQ(collector.reports[1].flags, 0x94u);
    EXPECT_EQ(collector.reports[1].text, "[error] code 1792");

    // A 16-character name is reported whole, without a terminator of its own.
    std::memcpy(server.name, "ABCDEFGHIJKLMNOP", 16);
    server.ZelReportLog(0x92, "%s", "x");
    ASSERT_TRUE(collector.waitFor(3));
    EXPECT_EQ(collector.reports[2].deviceName, "ABCDEFGHIJKLMNOP");

    // Longer lines go whole up to 64 KiB and are cut there.
    const std::string longer(1000, 'l');
    const std::string huge(70000, 'h');
    server.ZelReportLog(0x94, "%s", longer.c_str());
    server.ZelReportLog(0x94, "%s", huge.c_str());
    ASSERT_TRUE(collector.waitFor(5));
    EXPECT_EQ(collector.reports[3].text, longer);
    EXPECT_EQ(collector.reports[4].text, huge.substr(0, 65536));

    ASSERT_NE(server.VekDisconnect(), 0);
    server.ZelReportLog(0x92, "%s", "after disconnect"); // returns at once, reaches nobody
    ASSERT_NE(server.VekConnect(11600, 4096, 80), 0);
    server.ZelReportLog(0x92, "%s", "back");
    ASSERT_TRUE(collector.waitFor(6));
    EXPECT_EQ(collector.reports[5].text, "back");
}

TEST_F(ZelServerTest, ConcurrentClientsGetTheirOwnAnswers) {
    // Answers a read with its offset, so each caller can check the answer is its own.
    RecordingServer server;
    server.onRequest = [](RecordingServer& s, const Received& r) {
        std::uint8_t answer[4];
        std::memcpy(answer, &r.indexOffset, 4);
        s.ZelReadRes(r.source, r.invokeId, 0, 4, answer);
    };
    ASSERT_NE(server.VekConnect(11600, 4096, 80), 0);

    CZelSync shared(0, 1, nullptr);
    std::atomic<int> wrong{0};
    auto work = [&](CZelSync* own, std::uint32_t base) {
        CZelSync mine(0, 1, nullptr);
        CZelSync& client = own ? *own : mine;
        for (std::uint32_t i = 0; i < 200; ++i) {
            std::uint32_t offset = base + i, got = 0;
            if (client.ZelSyncReadReq(localPort(11600), 1, offset, 4, &got) != 0 || got != offset)
                ++wrong;
            if (i % 16 == 0) // interleave answers nobody waits for
                client.ZelWriteReq(localPort(11600), 0, 1, offset, 0, nullptr);
        }
    };
    std::vector<std::thread> threads;
    threads.emplace_back(work, nullptr, 0x10000);
    threads.emplace_back(work, nullptr, 0x20000);
    threads.emplace_back(work, &shared, 0x30000);
    threads.emplace_back(work, &shared, 0x40000);
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
} // namespace ZelTest
