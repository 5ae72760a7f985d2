// The service host with this thread playing the service manager: installation, the
// dispatcher run, the status reports and the control codes, with the kernel link's port
// at a router of the test's own.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/controller_nc2_service.h"
#include "host/service_test_support.h"
#include "host/zel/vek_router.h"
#include "host/zel/zel_sync.h"
#include "support/stdout_capture.h"

namespace Karsto {
namespace {

using test::LogLines;
using test::ManagerPeer;
using test::ScopedEnv;
using test::StdoutCapture;
using test::TemporaryDirectory;

constexpr uint16_t kKernelLinkPort = 11600;
constexpr uint32_t kUnknownPort = 0x7F04;

std::string line(const char* text) { return std::string("[debugController] ") + text; }

// The log of a service thread up to its service main.
std::vector<std::string> serviceStartLines() {
    return {
        line("ControllerNc2Service::serviceMainCallback"),
        line("ControllerNc2Service::ControllerNc2Service"),
        line("ControllerNc2Service::ControllerNc2Service create kernelInterface"),
        line("ControllerNc2Service::ControllerNc2Service create kernelInterface done"),
        line("ControllerNc2Service::ControllerNc2Service return"),
        line("ControllerNc2Service::serviceMain"),
    };
}

// What the operation prints on standard output.
std::string printedBy(void (*operation)()) {
    StdoutCapture output;
    operation();
    return output.finish();
}

std::string statusLine(uint32_t state, uint32_t accepted, uint32_t checkPoint, uint32_t hint = 0) {
    return "status type=16 state=" + std::to_string(state) + " accepted=" + std::to_string(accepted) +
           " exit=0 specific=0 checkpoint=" + std::to_string(checkPoint) + " hint=" + std::to_string(hint);
}

class ServiceHostTest : public ::testing::Test {
protected:
    ServiceHostTest() {
        ::setenv("VORDASH_ZEL_TIMEOUT_MS", "5000", 1);
        router = std::make_unique<VekRouter>((dir.path() / "router.sock").string());
        // The numbers of the first service run in a process.
        ControllerNc2Service::checkPointCounter = 1;
    }

    std::string recordText() {
        std::ifstream in(dir.path() / "services" / "Vordash", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Runs the dispatcher on a thread of its own; the test thread is the manager.
    void startService() {
        service = std::thread([] { ControllerNc2Service::run(); });
    }
    void joinService() {
        if (service.joinable()) service.join();
    }
    ~ServiceHostTest() override { joinService(); }

    // Whether a device-information request to the kernel link's port is answered (true)
    // or returned as addressed to no port (false), within the patience.
    bool linkPortBecomes(bool present) {
        CZelSync client(0, 1, nullptr);
        const auto deadline = std::chrono::steady_clock::now() + test::kServicePatience;
        for (;;) {
            char name[kZelDeviceNameSize];
            ZelVersion version{};
            const uint32_t result =
                client.ZelSyncReadDeviceInfoReq(VekAddr{vekLocalNetId(), kKernelLinkPort}, name, version);
            if (present ? result == 0 : result == kUnknownPort) return true;
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5)); // polling, bounded above
        }
    }

    TemporaryDirectory dir;
    ScopedEnv scmDir{"VORDASH_SCM_DIR", (dir.path() / "services").c_str()};
    ScopedEnv routerPath{"VORDASH_VEK_ROUTER", (dir.path() / "router.sock").c_str()};
    std::unique_ptr<VekRouter> router;
    LogLines log{{LogLevel::error, LogLevel::debugController}};
    std::thread service;
};

// ---- installation --------------------------------------------------------------------

TEST_F(ServiceHostTest, InstallTwiceReplacesTheServiceRecord) {
    EXPECT_EQ(printedBy(ControllerNc2Service::serviceInstall), "Service installed successfully\n");
    EXPECT_EQ(printedBy(ControllerNc2Service::serviceInstall),
              "Existing service has been removed\nService installed successfully\n");
    // The program's own path without arguments: the service reads its options from the
    // registry.
    EXPECT_EQ(recordText(), "name=Vordash\ndisplay=Vordash\ntype=16\nstart=3\nerror=1\nbinary=" +
                                std::filesystem::read_symlink("/proc/self/exe").string() + "\n");
    EXPECT_TRUE(log.all().empty()); // standard output only
}

TEST_F(ServiceHostTest, UninstallTwiceFindsNoServiceTheSecondTime) {
    ASSERT_EQ(printedBy(ControllerNc2Service::serviceInstall), "Service installed successfully\n");
    EXPECT_EQ(printedBy(ControllerNc2Service::serviceUninstall), "Service has been removed\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "services" / "Vordash"));
    EXPECT_EQ(printedBy(ControllerNc2Service::serviceUninstall), "No service installed\n");
}

TEST_F(ServiceHostTest, AnUnusableServiceDirectoryFailsToOpenTheManager) {
    std::ofstream(dir.path() / "file") << "x";
    ScopedEnv blocked("VORDASH_SCM_DIR", (dir.path() / "file" / "services").c_str());
    EXPECT_EQ(printedBy(ControllerNc2Service::serviceInstall), "OpenSCManager failed (3)\n");
    EXPECT_EQ(printedBy(ControllerNc2Service::serviceUninstall), "OpenSCManager failed (3)\n");
}

// ---- the service run -----------------------------------------------------------------

TEST_F(ServiceHostTest, RunWithoutTheControlDescriptorLogsTheDispatcherFailure) {
    ScopedEnv noFd("VORDASH_SERVICE_FD", nullptr);
    ControllerNc2Service::run();
    EXPECT_EQ(log.all(), (std::vector<std::string>{
                               line("ControllerNc2Service::run"),
                               "[error] StartServiceCtrlDispatcher failed GetLastError=1063",
                               line("ControllerNc2Service::run return"),
                           }));
}

TEST_F(ServiceHostTest, InitsrvAndShutdownsrvStartAndStopTheKernelLinkAndStopEndsTheService) {
    ManagerPeer manager;
    startService();
    EXPECT_EQ(manager.readLine(), statusLine(2, 0, 1, 3000));
    EXPECT_EQ(manager.readLine(), statusLine(4, 1, 0));
    EXPECT_TRUE(linkPortBecomes(false)); // nothing starts before 129

    manager.control(4); // interrogate: logged, not reported
    ASSERT_TRUE(log.waitFor(line("ControllerNc2Service::ctrlHandler interrogate")));
    manager.control(129);
    EXPECT_TRUE(linkPortBecomes(true));
    manager.control(131);
    EXPECT_TRUE(linkPortBecomes(false));
    manager.control(129);
    EXPECT_TRUE(linkPortBecomes(true));
    manager.control(77); // no such code: logged and ignored

    manager.control(1);
    EXPECT_EQ(manager.readLine(), statusLine(3, 1, 2));
    EXPECT_EQ(manager.readLine(), statusLine(3, 1, 3));
    EXPECT_EQ(manager.readLine(), statusLine(1, 1, 0));
    joinService();
    EXPECT_TRUE(linkPortBecomes(false));
    EXPECT_EQ(ControllerNc2Service::serviceInstance.load(), nullptr);

    const std::vector<std::string> lines = log.all();
    std::vector<std::string> expected = {line("ControllerNc2Service::run")};
    const std::vector<std::string> started = serviceStartLines();
    expected.insert(expected.end(), started.begin(), started.end());
    expected.insert(expected.end(), {
        line("ControllerNc2Service::ctrlHandler dwCtrl=4"),
        line("ControllerNc2Service::ctrlHandler interrogate"),
        line("ControllerNc2Service::ctrlHandler return"),
        line("ControllerNc2Service::ctrlHandler dwCtrl=129"),
        line("ControllerNc2Service::ctrlHandler initsrv"),
        line("ControllerNc2Service::ctrlHandler return"),
        line("ControllerNc2Service::ctrlHandler dwCtrl=131"),
        line("ControllerNc2Service::ctrlHandler shutdownsrv"),
        line("ControllerNc2Service::ctrlHandler return"),
        line("ControllerNc2Service::ctrlHandler dwCtrl=129"),
        line("ControllerNc2Service::ctrlHandler initsrv"),
        line("ControllerNc2Service::ctrlHandler return"),
        line("ControllerNc2Service::ctrlHandler dwCtrl=77"),
        line("ControllerNc2Service::ctrlHandler return"),
        line("ControllerNc2Service::ctrlHandler dwCtrl=1"),
        line("ControllerNc2Service::ctrlHandler stop"),
        line("ControllerNc2Service::ctrlHandler return"),
        line("ControllerNc2Service::serviceMain return"),
        line("ControllerNc2Service::serviceMainCallback return"),
        line("ControllerNc2Service::run return"),
    });
    // The controller may log its own lines in between (its sections while the link runs).
    std::vector<std::string> own;
    for (const std::string& each : lines)
        if (each.find("ControllerNc2Service::") != std::string::npos) own.push_back(each);
    EXPECT_EQ(own, expected);
    EXPECT_EQ(lines.size(), own.size()) << "no error was logged";
}

TEST_F(ServiceHostTest, UnregistersrvEndsTheServiceWithoutStopPending) {
    ManagerPeer manager;
    startService();
    EXPECT_EQ(manager.readLine(), statusLine(2, 0, 1, 3000));
    EXPECT_EQ(manager.readLine(), statusLine(4, 1, 0));
    manager.control(129);
    EXPECT_TRUE(linkPortBecomes(true));
    manager.control(130);
    // Reported once the cycle has ended; the next run's start takes check point 2.
    EXPECT_EQ(manager.readLine(), statusLine(1, 1, 0));
    joinService();
    EXPECT_TRUE(linkPortBecomes(false));
    EXPECT_EQ(ControllerNc2Service::checkPointCounter.load(), 2u);
    EXPECT_EQ(log.count(line("ControllerNc2Service::ctrlHandler unregistersrv")), 1u);
    EXPECT_EQ(log.count(line("ControllerNc2Service::serviceMain return")), 1u);
}

TEST_F(ServiceHostTest, AKernelLinkThatCannotConnectEndsTheCycleAndTheServiceStops) {
    router.reset();
    ManagerPeer manager;
    startService();
    EXPECT_EQ(manager.readLine(), statusLine(2, 0, 1, 3000));
    EXPECT_EQ(manager.readLine(), statusLine(4, 1, 0));
    manager.control(129); // queued fine; the start fails on the service thread
    EXPECT_EQ(manager.readLine(), statusLine(1, 1, 0));
    joinService();
    EXPECT_EQ(log.count("[error] Terminate due to critical failure 'Error connecting to VEK router'"), 1u);
    EXPECT_EQ(log.count(line("ControllerNc2Service::serviceMain return")), 1u);
}

TEST_F(ServiceHostTest, ASignalStopsTheServiceLikeTheStopCode) {
    ManagerPeer manager;
    startService();
    EXPECT_EQ(manager.readLine(), statusLine(2, 0, 1, 3000));
    EXPECT_EQ(manager.readLine(), statusLine(4, 1, 0));
    ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);
    EXPECT_EQ(manager.readLine(), statusLine(3, 1, 2));
    EXPECT_EQ(manager.readLine(), statusLine(3, 1, 3));
    EXPECT_EQ(manager.readLine(), statusLine(1, 1, 0));
    joinService();
    EXPECT_EQ(log.count(line("ControllerNc2Service::ctrlHandler stop")), 1u);
}

TEST_F(ServiceHostTest, AFailedHandlerRegistrationReportsNothingAndNeverRunsTheController) {
    // Without a dispatcher the registration fails; a controller run would wait for
    // requests for ever.
    ControllerNc2Service::serviceMainCallback(0, nullptr);
    std::vector<std::string> expected = serviceStartLines();
    expected.push_back(line("ControllerNc2Service::serviceMainCallback return"));
    EXPECT_EQ(log.all(), expected);
    EXPECT_EQ(ControllerNc2Service::checkPointCounter.load(), 1u);
    EXPECT_EQ(ControllerNc2Service::serviceInstance.load(), nullptr);
}

} // namespace
} // namespace Karsto
