// The run modes with the NC kernel, each with the built vordash as a child process and
// the kernel simulator's router in the test's directory: the user server ("nc2"), the
// console run against the kernel's channels ("nc2l") and the service ("service").

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/kernel/channel_nc2.h"
#include "host/program_entry.h"
#include "host/service_test_support.h"
#include "program_entry_test_support.h"
#include "support/kernelsim/kernel_simulator.h"
#include "support/scoped_env.h"

namespace Karsto {
namespace {

using namespace entry_test;

constexpr uint32_t kNotSupported = 0x7F01;

class KernelModes : public ProgramEntry {
protected:
    // The simulator's router at the children's socket.
    void simulatorUp() {
        routerEnv_ = std::make_unique<test::ScopedEnv>("VORDASH_VEK_ROUTER", routerPath().c_str());
        timeoutEnv_ = std::make_unique<test::ScopedEnv>("VORDASH_ZEL_TIMEOUT_MS", "5000");
        sim = std::make_unique<KernelSim::KernelSimulator>(routerPath().string());
    }
    void TearDown() override { sim.reset(); }

    // Repeats the step until it reports true; false at the deadline.
    static bool within(const std::function<bool()>& step) {
        const auto deadline = std::chrono::steady_clock::now() + kChildPatience;
        while (!step()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5)); // polling, bounded above
        }
        return true;
    }
    bool linkPortHeld() {
        char name[kZelDeviceNameSize];
        ZelVersion version;
        return sim->client().ZelSyncReadDeviceInfoReq(KernelSim::KernelSimulator::interpreter(), name, version) == 0;
    }
    static bool running(const Child& child) { return ::waitpid(child.pid, nullptr, WNOHANG) == 0; }

    std::unique_ptr<KernelSim::KernelSimulator> sim;

private:
    std::unique_ptr<test::ScopedEnv> routerEnv_;
    std::unique_ptr<test::ScopedEnv> timeoutEnv_;
};

TEST_F(KernelModes, Nc2WaitsForTheRouterThenServesTheUserServerWrites) {
    const Child child = spawn({"nif=nc2", "logStderr", "debugController"});
    ASSERT_TRUE(waitForErr(child, "[debugController] ControllerNc2: wait for ZEL-router\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1200)); // a few attempts
    EXPECT_TRUE(running(child)) << "it keeps trying";
    EXPECT_EQ(readFile(child.err).find("ZEL-router available"), std::string::npos);

    simulatorUp();
    ASSERT_TRUE(waitForErr(child, "[debugController] ControllerNc2: ZEL-router available\n"));
    VekAddr server;
    ASSERT_TRUE(within([&] { return sim->findPort("UserSrv_Vordash", server) == 0; }));
    const uint8_t data[4] = {};
    auto write = [&](uint32_t group) { return sim->write(group, 0, data, server); };

    EXPECT_EQ(write(1), 0u);
    EXPECT_EQ(write(2), 0u);
    EXPECT_TRUE(within([&] { return linkPortHeld(); })) << "port 11600 appears";
    EXPECT_EQ(write(4), 0u);
    EXPECT_TRUE(within([&] { return !linkPortHeld(); })) << "and goes";
    EXPECT_EQ(write(2), 0u);
    EXPECT_TRUE(within([&] { return linkPortHeld(); })) << "and comes back";
    EXPECT_EQ(write(7), kNotSupported);
    EXPECT_TRUE(waitForErr(child, "[error] ControllerNc2Zel: UNHANDLED WRITE INDICATION nIndexGroup=7\n"));
    EXPECT_EQ(write(3), 0u);

    const ChildRun r = finish(child);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> lines = linesOf(r.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "[info] Starting JYX interpreter");
    EXPECT_EQ(lines.back(), "[info] Stopping JYX interpreter");
    EXPECT_EQ(r.out, "");
}

TEST_F(KernelModes, Nc2lRefusesAGroupCountThatDiffersFromTheFiles) {
    for (const char* file : {"a.jyx", "b.jyx", "c.jyx"}) writeFile(jobs / file, "G1 X5 F300\n");
    fs::create_directories(root / "data");
    const ChildRun r =
        run({"nif=nc2l", "searchpath=" + searchPath(), "file=a.jyx,b.jyx,c.jyx", "group=4,9"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Number of group IDs must match the number of supplied input files\n");
    for (const fs::directory_entry& entry : fs::directory_iterator(root / "data"))
            EXPECT_NE(entry.path().extension(), ".WZ") << entry.path();
}

TEST_F(KernelModes, Nc2lACompileErrorEndsWithItsText) {
    writeFile(jobs / "a.jyx", "G1 X5 F300\n");
    writeFile(jobs / "bad.jyx", "G1 X=nowhere\n");
    fs::create_directories(root / "data");
    const ChildRun r = run({"nif=nc2l", "searchpath=" + searchPath(), "file=a.jyx,bad.jyx", "group=1,2"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "bad.jyx: 1.6-1.13: Undeclared variable or enumeration value 'nowhere'.\n");
    // The channels were made: each wrote its tool data when it went.
    EXPECT_TRUE(fs::exists(root / "data" / "0.WZ"));
    EXPECT_TRUE(fs::exists(root / "data" / "1.WZ"));
}

TEST_F(KernelModes, Nc2lSendsEachChannelsStartRecordsToItsGroup) {
    simulatorUp();
    writeFile(jobs / "a.jyx", "G1 X5 F300\n");
    writeFile(jobs / "b.jyx", "G1 Y7 F300\n");
    const Child child = spawn({"nif=nc2l", "searchpath=" + searchPath(), "file=a.jyx,b.jyx", "group= 12,x",
                               "logStderr", "debugKiState"});
    auto isAxisQuery = [](const KernelSim::Request& r, int32_t channel) {
        return r.kind == KernelSim::Request::Kind::write && r.indexGroup == ChannelNc2::kEventGroup &&
               r.data.size() == 12 && vekGet32(r.data.data()) == 6 &&
               static_cast<int32_t>(vekGet32(r.data.data() + 4)) == channel && vekGet32(r.data.data() + 8) == 0;
    };
    ASSERT_TRUE(sim->waitForRequests(
        [&](const std::vector<KernelSim::Request>& requests) {
            return std::any_of(requests.begin(), requests.end(), [&](auto& r) { return isAxisQuery(r, 0); }) &&
                   std::any_of(requests.begin(), requests.end(), [&](auto& r) { return isAxisQuery(r, 1); });
        },
        kChildPatience));
    // Each program now waits for an axis answer that no server receives: the test ends it.
    EXPECT_TRUE(running(child));
    const ChildRun r = end(child);

    // Per channel: its start records at its group, then its axis query, nothing after.
    const std::vector<KernelSim::Request> requests = sim->requests();
    for (const auto& [channel, group] : {std::pair{0, 0x320Cu}, std::pair{1, 0x3200u}}) {
        std::vector<std::string> seen;
        for (const KernelSim::Request& q : requests) {
            if (q.kind == KernelSim::Request::Kind::readWrite && q.indexGroup == group)
                seen.push_back("record");
            else if (isAxisQuery(q, channel))
                seen.push_back("query");
        }
        ASSERT_GE(seen.size(), 2u) << channel;
        EXPECT_EQ(seen.back(), "query") << channel;
        EXPECT_EQ(std::count(seen.begin(), seen.end(), "query"), 1) << channel;
    }
    EXPECT_NE(r.err.find("[debugKiState] ChannelNc2::groupAdd id=12 type=0 name=Group 12 channelId=0\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("[debugKiState] ChannelNc2::groupAdd id=0 type=0 name=Group 0 channelId=1\n"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(linkPortHeld()) << "the link is never started";
}

TEST_F(KernelModes, WithoutWordsTheStoredOptionsSelectTheService) {
    ASSERT_EQ(run({"registrySave", "logStderr", "debugController"}).exitCode, 0);
    const ChildRun r = run({});
    EXPECT_EQ(r.exitCode, 0);
    const std::vector<std::string> expected = {
        "[info] Start JYX-Interpreter service",
        "[debugController] ControllerNc2Service::run",
        "[error] StartServiceCtrlDispatcher failed GetLastError=1063",
        "[debugController] ControllerNc2Service::run return",
        "[info] Stop JYX-Interpreter service",
    };
    std::vector<std::string> lines = linesOf(r.err);
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const std::string& l) { return l.find("from registry") != std::string::npos; }),
                lines.end());
    EXPECT_EQ(lines, expected) << r.err;
}

TEST_F(KernelModes, ServiceInstallAndUninstall) {
    const ChildRun installed = run({"serviceInstall", "logStderr"});
    EXPECT_EQ(installed.exitCode, 0);
    EXPECT_EQ(installed.err, "[info] Installing JYX-Interpreter service\n");
    EXPECT_EQ(installed.out, "Service installed successfully\n");
    const ChildRun removed = run({"serviceUninstall", "logStderr"});
    EXPECT_EQ(removed.exitCode, 0);
    EXPECT_EQ(removed.err, "[info] Uninstalling JYX-Interpreter service\n");
    EXPECT_EQ(removed.out, "Service has been removed\n");
}

TEST(GroupIds, ConvertAsDecimalPrefixes) {
    struct Case {
        const char* text;
        int32_t id;
    };
    const Case cases[] = {
        {"12", 12},          {" 12", 12},   {"\t-7x", -7},       {"+3", 3},
        {"x", 0},            {"", 0},       {"4 5", 4},          {"- 4", 0},
        {"2147483647", 2147483647},         {"99999999999999999999", 2147483647},
        {"-2147483648", -2147483647 - 1},   {"-99999999999999999999", -2147483647 - 1},
    };
    for (const Case& c : cases) EXPECT_EQ(groupIdOf(c.text), c.id) << '"' << c.text << '"';
}

TEST(DebuggerWait, PollsUntilTheFlagIsClearedFromAnotherThread) {
    test::LogLines log({LogLevel::debugController});
    debuggerWaitFlag = true;
    std::atomic<bool> done{false};
    std::thread waiting([&] {
        waitForDebugger();
        done = true;
    });
    EXPECT_TRUE(log.waitFor("[debugController] Wait for debugger to attach..."));
    std::this_thread::sleep_for(std::chrono::milliseconds(2 * kDebuggerPollMs));
    EXPECT_FALSE(done) << "still polling";
    debuggerWaitFlag = false;
    EXPECT_TRUE(log.waitFor("[debugController] debugger attached"));
    waiting.join();
    EXPECT_EQ(log.all(), (std::vector<std::string>{"[debugController] Wait for debugger to attach...",
                                                   "[debugController] debugger attached"}));

    // Without the flag nothing is logged and nothing waits.
    waitForDebugger();
    EXPECT_EQ(log.all().size(), 2u);
}

} // namespace
} // namespace Karsto
