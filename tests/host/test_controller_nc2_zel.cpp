// The Zel user server: its writes, its dispatch of Vek commands, the wait for the router
// and its destruction while writes keep arriving, with the kernel simulator's router.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/controller_nc2_zel.h"
#include "host/zel/vek_router.h"
#include "kernel/link_test_support.h"
#include "support/scoped_env.h"

namespace KernelTest {
namespace {

using Karsto::LogLevel;

class UserServerTest : public SimulatorFixture {
protected:
    void SetUp() override {
        SimulatorFixture::SetUp();
        log_ = std::make_unique<SharedLogCapture>(std::vector<LogLevel>{
            LogLevel::error, LogLevel::info, LogLevel::debugController, LogLevel::debugKiState});
        server_ = std::make_unique<ControllerNc2Zel>();
    }
    void TearDown() override {
        if (runner_.joinable()) {
            server_->controller->quit();
            runner_.join();
        }
        server_.reset();
        log_.reset();
        SimulatorFixture::TearDown();
    }

    void start() {
        runner_ = std::thread([this] {
            server_->run();
            returned_ = true;
        });
    }
    // The user server's address, once the router knows its name.
    bool lookUp() {
        return within([&] { return sim_->findPort(ControllerNc2Zel::kPortName, address_) == 0; });
    }
    uint32_t write(uint32_t group) {
        const uint8_t data[4] = {1, 2, 3, 4};
        return sim_->write(group, 0, data, address_);
    }
    // Whether the kernel link's server holds port 11600.
    bool linkPortHeld() {
        char name[kZelDeviceNameSize];
        ZelVersion version;
        return sim_->client().ZelSyncReadDeviceInfoReq(KernelSim::KernelSimulator::interpreter(), name,
                                                       version) == 0;
    }
    bool runReturned() {
        return within([&] { return returned_.load(); });
    }
    // The position of the first line, or lines.size().
    static size_t positionOf(const std::vector<std::string>& lines, const std::string& line) {
        return static_cast<size_t>(std::find(lines.begin(), lines.end(), line) - lines.begin());
    }

    std::unique_ptr<SharedLogCapture> log_;
    std::unique_ptr<ControllerNc2Zel> server_;
    std::thread runner_;
    std::atomic<bool> returned_{false};
    VekAddr address_;
};

TEST_F(UserServerTest, RegisterInitShutdownUnregisterAndTheLibrarysAnswerForOtherGroups) {
    EXPECT_EQ(server_->controller->kernel, server_->kernelInterface);
    start();
    ASSERT_TRUE(lookUp());
    EXPECT_NE(address_.port, KernelSim::kInterpreterPort);

    EXPECT_EQ(write(1), 0u);
    EXPECT_FALSE(linkPortHeld());
    EXPECT_EQ(write(2), 0u);
    EXPECT_TRUE(within([&] { return linkPortHeld(); })) << "INIT starts the kernel link";
    EXPECT_EQ(write(4), 0u);
    EXPECT_TRUE(within([&] { return !linkPortHeld(); })) << "SHUTDOWN stops it";
    EXPECT_EQ(write(2), 0u);
    EXPECT_TRUE(within([&] { return linkPortHeld(); })) << "a later INIT starts it again";
    EXPECT_EQ(write(7), 0x7F01u);
    EXPECT_FALSE(returned_);
    EXPECT_EQ(write(3), 0u);
    ASSERT_TRUE(runReturned());
    runner_.join();
    EXPECT_FALSE(server_->kernelInterface->isRunning()) << "UNREGISTER stops the link before the cycle ends";

    const std::vector<std::string> lines = log_->lines();
    const std::vector<std::string> expected = {
        "[info] Starting JYX interpreter",
        "[debugController] ControllerNc2: wait for ZEL-router",
        "[debugController] ControllerNc2: ZEL-router available",
        "[debugController] ControllerNc2Zel: ZEL_USERSERV_IGRP_REGISTER",
        "[debugController] ControllerNc2: ZEL_USERSERV_IGRP_INIT",
        "[debugController] ControllerNc2: ZEL_USERSERV_IGRP_SHUTDOWN",
        "[error] ControllerNc2Zel: UNHANDLED WRITE INDICATION nIndexGroup=7",
        "[debugController] ControllerNc2Zel: ZEL_USERSERV_IGRP_UNREGISTER",
        "[info] Stopping JYX interpreter",
    };
    size_t previous = 0;
    for (const std::string& line : expected) {
        const size_t at = positionOf(lines, line);
        ASSERT_LT(at, lines.size()) << line;
        EXPECT_GE(at, previous) << line;
        previous = at;
    }
    EXPECT_EQ(log_->count("[debugKiState] KernelInterfaceNc2::start"), 2u);
    EXPECT_EQ(log_->count("[debugKiState] KernelInterfaceNc2::stop"), 2u);
}

TEST_F(UserServerTest, RunKeepsTryingUntilARouterAnswers) {
    const std::string later = dir_ + "/later.sock";
    Karsto::test::ScopedEnv elsewhere("VORDASH_VEK_ROUTER", later.c_str());
    start();
    std::this_thread::sleep_for(std::chrono::milliseconds(3 * ControllerNc2Zel::kConnectRetryMs));
    EXPECT_TRUE(log_->contains("[debugController] ControllerNc2: wait for ZEL-router"));
    EXPECT_FALSE(log_->contains("[debugController] ControllerNc2: ZEL-router available"));
    EXPECT_FALSE(server_->VekIsConnected());

    VekRouter router(later);
    ASSERT_TRUE(within([&] { return server_->VekIsConnected(); }));
    EXPECT_TRUE(within([&] { return log_->contains("[debugController] ControllerNc2: ZEL-router available"); }));
    CZelSync client(0, 1, nullptr);
    VekAddr found;
    ASSERT_EQ(client.VekSyncFindPort(ControllerNc2Zel::kPortName, found), 0u);
    EXPECT_EQ(found.port, server_->VekGetPort());
    EXPECT_EQ(client.ZelSyncWriteReq(found, 3, 0, 0, nullptr), 0u);
    ASSERT_TRUE(runReturned());
    runner_.join();
}

TEST_F(UserServerTest, RouterNotificationsAreConsumedAndOtherCommandsReachTheLibrary) {
    start();
    ASSERT_TRUE(lookUp());
    // Short patience: one of the commands is never answered.
    Karsto::test::ScopedEnv patience("VORDASH_ZEL_TIMEOUT_MS", "400");
    CZelSync client(0, 1, nullptr);
    auto send = [&](uint16_t cmdId, uint16_t flags) {
        VekHead head;
        client.VekMakeHead(head, cmdId, 0, address_, flags, 0, 0);
        VekCmd response;
        const uint32_t result = client.VekSyncRequest(VekCmd(head, {}), response);
        return result != 0 ? result : response.head().errorCode;
    };
    struct Case {
        uint16_t cmdId;
        uint16_t flags;
        uint32_t answer;
    };
    const Case cases[] = {
        {251, 0x0000, 0x7F02}, // consumed: no answer within the patience
        {252, 0x0002, 0x7F02},
        {251, 0x0008, 0x7F01}, // not a notification: the library answers
        {252, 0x000A, 0x7F01},
        {250, 0x0000, 0x7F01},
        {0x4016, 0x0000, 0x7F01},
    };
    for (const Case& c : cases) EXPECT_EQ(send(c.cmdId, c.flags), c.answer) << c.cmdId << " flags " << c.flags;
    EXPECT_EQ(write(3), 0u);
    ASSERT_TRUE(runReturned());
    runner_.join();
}

// Writes keep arriving while the object is destroyed; under AddressSanitizer any of them
// reaching the freed Controller or link shows.
TEST_F(UserServerTest, WritesDuringDestructionTouchNothingFreed) {
    start();
    ASSERT_TRUE(lookUp());
    EXPECT_EQ(write(3), 0u);
    ASSERT_TRUE(runReturned());
    runner_.join();

    // The cycle has ended: the writes only queue requests, as fast as they come.
    std::atomic<bool> stop{false};
    std::atomic<uint32_t> sent{0};
    // Sent without waiting for the answers, so the port is busy while it closes.
    std::thread flood([&] {
        CZelSync client(0, 1, nullptr);
        const uint32_t groups[] = {2, 4, 3};
        for (uint32_t i = 0; !stop; ++i)
            if (client.ZelWriteReq(address_, 0, groups[i % 3], 0, 0, nullptr) == 0) ++sent;
    });
    const bool flowing = within([&] { return sent.load() >= 1000; });
    server_.reset();
    stop = true;
    flood.join();
    EXPECT_TRUE(flowing);
}

} // namespace
} // namespace KernelTest
