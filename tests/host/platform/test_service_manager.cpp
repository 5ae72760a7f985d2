// The service-manager stand-in: service records, the dispatcher and the process
// functions, with this thread playing the manager.

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <thread>

#include "host/platform/service_manager.h"
#include "host/platform/win_process.h"
#include "host/service_test_support.h"

namespace Karsto {
namespace {

using test::ManagerPeer;
using test::ScopedEnv;
using test::TemporaryDirectory;

std::string fileText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ScHandle createVordash(ScHandle manager, const char* binary = "/opt/vordash") {
    return CreateService(manager, "Vordash", "Vordash", kServiceAllAccess, ServiceType::win32OwnProcess,
                         ServiceStartType::demandStart, ServiceErrorControl::normal, binary, nullptr,
                         nullptr, nullptr, nullptr, nullptr);
}

// ---- records -------------------------------------------------------------------------

class ServiceRecordTest : public ::testing::Test {
protected:
    TemporaryDirectory dir;
    ScopedEnv scmDir{"VORDASH_SCM_DIR", (dir.path() / "services").c_str()};
};

TEST_F(ServiceRecordTest, CreateOpenDeleteKeepOneRecordFilePerService) {
    ScHandle manager = OpenSCManager(nullptr, nullptr, kScManagerAllAccess);
    ASSERT_NE(manager, nullptr); // the directory is created
    EXPECT_EQ(OpenService(manager, "Vordash", kDeleteAccess), nullptr);
    EXPECT_EQ(GetLastError(), 1060u);

    ScHandle created = createVordash(manager);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(fileText(dir.path() / "services" / "Vordash"),
              "name=Vordash\ndisplay=Vordash\ntype=16\nstart=3\nerror=1\nbinary=/opt/vordash\n");
    // Exclusive: an existing record is never replaced.
    EXPECT_EQ(createVordash(manager, "/elsewhere"), nullptr);
    EXPECT_EQ(GetLastError(), 1073u);
    EXPECT_EQ(fileText(dir.path() / "services" / "Vordash").find("/elsewhere"), std::string::npos);

    ScHandle opened = OpenService(manager, "Vordash", kDeleteAccess);
    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(DeleteService(opened));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "services" / "Vordash"));
    EXPECT_FALSE(DeleteService(created)); // already gone through the other handle
    EXPECT_EQ(GetLastError(), 1072u);
    // No temporary file stays behind.
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "services"));

    EXPECT_TRUE(CloseServiceHandle(opened));
    EXPECT_TRUE(CloseServiceHandle(created));
    EXPECT_TRUE(CloseServiceHandle(manager));
    EXPECT_FALSE(CloseServiceHandle(nullptr));
    EXPECT_EQ(GetLastError(), 6u);
}

TEST_F(ServiceRecordTest, RefusesNamesAndValuesThatAreNoOneFileOrOneLine) {
    ScHandle manager = OpenSCManager(nullptr, nullptr, kScManagerAllAccess);
    ASSERT_NE(manager, nullptr);
    for (const char* name : {"", ".hidden", "a/b", "a\\b", "..", "/abs"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(OpenService(manager, name, kDeleteAccess), nullptr);
        EXPECT_EQ(GetLastError(), 123u);
        EXPECT_EQ(CreateService(manager, name, "x", kServiceAllAccess, ServiceType::win32OwnProcess,
                                ServiceStartType::demandStart, ServiceErrorControl::normal, "/bin/x",
                                nullptr, nullptr, nullptr, nullptr, nullptr),
                  nullptr);
        EXPECT_EQ(GetLastError(), 123u);
    }
    EXPECT_EQ(createVordash(manager, "/opt/a\nname=other"), nullptr);
    EXPECT_EQ(GetLastError(), 87u);
    EXPECT_EQ(createVordash(manager, ""), nullptr);
    EXPECT_EQ(GetLastError(), 87u);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "services"));
    // Service handles are no manager handles.
    ScHandle created = createVordash(manager);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(OpenService(created, "Vordash", kDeleteAccess), nullptr);
    EXPECT_EQ(GetLastError(), 6u);
    EXPECT_FALSE(DeleteService(manager));
    EXPECT_EQ(GetLastError(), 6u);
    CloseServiceHandle(created);
    CloseServiceHandle(manager);
}

TEST_F(ServiceRecordTest, ManagerFailsWhereTheDirectoryCannotBeCreatedOrIsRemote) {
    std::ofstream(dir.path() / "file") << "x";
    {
        ScopedEnv blocked("VORDASH_SCM_DIR", (dir.path() / "file" / "services").c_str());
        EXPECT_EQ(OpenSCManager(nullptr, nullptr, kScManagerAllAccess), nullptr);
        EXPECT_EQ(GetLastError(), 3u);
    }
    EXPECT_EQ(OpenSCManager("otherhost", nullptr, kScManagerAllAccess), nullptr);
    EXPECT_EQ(GetLastError(), 87u);
}

TEST_F(ServiceRecordTest, DefaultDirectoryFollowsXdgStateHomeThenHome) {
    ScopedEnv noScm("VORDASH_SCM_DIR", nullptr);
    struct Case {
        const char* xdg;
        std::filesystem::path expected;
    };
    const std::string state = (dir.path() / "state").string();
    const Case cases[] = {
        {state.c_str(), dir.path() / "state/vordash/services"},
        {"relative/state", dir.path() / "home/.local/state/vordash/services"}, // ignored
        {nullptr, dir.path() / "home/.local/state/vordash/services"},
    };
    const std::string homeDir = (dir.path() / "home").string();
    ScopedEnv home("HOME", homeDir.c_str());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        ScopedEnv xdg("XDG_STATE_HOME", c.xdg);
        ScHandle manager = OpenSCManager(nullptr, nullptr, kScManagerAllAccess);
        ASSERT_NE(manager, nullptr);
        EXPECT_TRUE(std::filesystem::is_directory(c.expected));
        CloseServiceHandle(manager);
        std::filesystem::remove_all(c.expected);
    }
}

// ---- process functions ---------------------------------------------------------------

TEST(WinProcessTest, ModuleFileNameIsTheRunningProgramAndIsCutToTheBuffer) {
    const std::string own = std::filesystem::read_symlink("/proc/self/exe").string();
    char path[kMaxPath];
    ASSERT_LT(own.size(), kMaxPath) << "the build directory is too deep for this test";
    EXPECT_EQ(GetModuleFileNameW(nullptr, path, kMaxPath), own.size());
    EXPECT_EQ(std::string(path), own);

    char small[5] = {'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(GetModuleFileNameW(nullptr, small, sizeof small), 5u);
    EXPECT_EQ(GetLastError(), 122u);
    EXPECT_EQ(std::string(small), own.substr(0, 4));

    EXPECT_EQ(GetModuleFileNameW(&own, path, kMaxPath), 0u);
    EXPECT_EQ(GetLastError(), 87u);
}

TEST(WinProcessTest, LastErrorIsPerThread) {
    SetLastError(WinError::serviceExists);
    uint32_t other = 99;
    std::thread([&] { other = GetLastError(); }).join();
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(GetLastError(), 1073u);
}

// ---- dispatcher ----------------------------------------------------------------------

// What the service's main function and handler do in a test; plain functions reach it
// through this pointer.
struct ServiceScript {
    std::function<void()> main;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<uint32_t> codes;
    std::vector<std::thread::id> handlerThreads;

    void handle(uint32_t code) {
        {
            std::lock_guard lock(mutex);
            codes.push_back(code);
            handlerThreads.push_back(std::this_thread::get_id());
        }
        changed.notify_all();
    }
    bool waitForCodes(size_t n) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, test::kServicePatience, [&] { return codes.size() >= n; });
    }
};

ServiceScript* runningScript = nullptr;

void scriptHandler(uint32_t code) { runningScript->handle(code); }
void scriptMain(uint32_t argc, char** argv) {
    EXPECT_EQ(argc, 0u);
    EXPECT_EQ(argv, nullptr);
    runningScript->main();
}

class DispatcherTest : public ::testing::Test {
protected:
    DispatcherTest() { runningScript = &service; }
    ~DispatcherTest() override { runningScript = nullptr; }

    // Runs the dispatcher on a thread of its own, the one that calls the handler.
    void start() {
        dispatcher = std::thread([this] {
            dispatcherThread = std::this_thread::get_id();
            const ServiceTableEntry table[] = {{"Vordash", scriptMain}, {nullptr, nullptr}};
            dispatched = StartServiceCtrlDispatcherW(table);
            dispatchError = GetLastError();
        });
    }
    void finish() {
        if (dispatcher.joinable()) dispatcher.join();
    }

    static ServiceStatusHandle registerScript() {
        ServiceStatusHandle handle = RegisterServiceCtrlHandlerW("Vordash", scriptHandler);
        EXPECT_NE(handle, nullptr);
        return handle;
    }
    static void reportState(ServiceStatusHandle handle, ServiceState state, uint32_t checkPoint = 0) {
        ServiceStatus status;
        status.currentState = state;
        status.controlsAccepted = kServiceAcceptStop;
        status.checkPoint = checkPoint;
        EXPECT_TRUE(SetServiceStatus(handle, &status));
    }

    ServiceScript service;
    std::thread dispatcher;
    std::thread::id dispatcherThread;
    bool dispatched = false;
    uint32_t dispatchError = 0;
};

TEST_F(DispatcherTest, FailsWithoutAnOpenSocketDescriptor) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const std::string pipeEnd = std::to_string(pipeFds[0]);
    for (const char* value : {static_cast<const char*>(nullptr), "", "12x", "-3", "99999",
                              "99999999999999", pipeEnd.c_str()}) {
        SCOPED_TRACE(value == nullptr ? "unset" : value);
        ScopedEnv fd("VORDASH_SERVICE_FD", value);
        bool ran = false;
        service.main = [&] { ran = true; };
        start();
        finish();
        EXPECT_FALSE(dispatched);
        EXPECT_EQ(dispatchError, 1063u);
        EXPECT_FALSE(ran);
    }
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}

TEST_F(DispatcherTest, ReportsStatusLinesAndHandsEveryCodeLineToTheHandlerOnItsThread) {
    ManagerPeer manager;
    service.main = [&] {
        ServiceStatusHandle handle = registerScript();
        ServiceStatus status;
        status.currentState = ServiceState::startPending;
        status.win32ExitCode = 5;
        status.serviceSpecificExitCode = 6;
        status.checkPoint = 7;
        status.waitHint = 3000;
        EXPECT_TRUE(SetServiceStatus(handle, &status));
        EXPECT_TRUE(service.waitForCodes(3));
        reportState(handle, ServiceState::stopped);
    };
    start();
    EXPECT_EQ(manager.readLine(),
              "status type=16 state=2 accepted=0 exit=5 specific=6 checkpoint=7 hint=3000");
    manager.write("4\nstop\n\n129\r\n");
    manager.write("13");
    manager.write("0\n4294967296\n");
    EXPECT_EQ(manager.readLine(), "status type=16 state=1 accepted=1 exit=0 specific=0 checkpoint=0 hint=0");
    finish();
    EXPECT_TRUE(dispatched);
    EXPECT_EQ(service.codes, (std::vector<uint32_t>{4, 129, 130}));
    for (std::thread::id id : service.handlerThreads) EXPECT_EQ(id, dispatcherThread);
}

TEST_F(DispatcherTest, ControlsWaitForTheHandlerRegistration) {
    ManagerPeer manager;
    std::promise<void> written;
    service.main = [&] {
        written.get_future().wait();
        ServiceStatusHandle handle = registerScript();
        EXPECT_TRUE(service.waitForCodes(1));
        reportState(handle, ServiceState::stopped);
    };
    start();
    manager.control(131);
    written.set_value();
    EXPECT_EQ(manager.readLine(), "status type=16 state=1 accepted=1 exit=0 specific=0 checkpoint=0 hint=0");
    finish();
    EXPECT_EQ(service.codes, std::vector<uint32_t>{131});
}

TEST_F(DispatcherTest, TermAndIntSignalsBecomeTheStopCodeWhileTheDispatcherRuns) {
    ManagerPeer manager;
    struct sigaction before{};
    ASSERT_EQ(::sigaction(SIGTERM, nullptr, &before), 0);
    service.main = [&] {
        ServiceStatusHandle handle = registerScript();
        reportState(handle, ServiceState::running);
        EXPECT_TRUE(service.waitForCodes(2));
        reportState(handle, ServiceState::stopped);
    };
    start();
    EXPECT_EQ(manager.readLine(), "status type=16 state=4 accepted=1 exit=0 specific=0 checkpoint=0 hint=0");
    ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);
    ASSERT_TRUE(service.waitForCodes(1));
    ASSERT_EQ(::kill(::getpid(), SIGINT), 0);
    finish();
    EXPECT_EQ(service.codes, (std::vector<uint32_t>{1, 1}));
    struct sigaction after{};
    ASSERT_EQ(::sigaction(SIGTERM, nullptr, &after), 0);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

TEST_F(DispatcherTest, NoControlIsDispatchedAfterTheStoppedReport) {
    ManagerPeer manager;
    std::promise<void> written;
    service.main = [&] {
        ServiceStatusHandle handle = registerScript();
        reportState(handle, ServiceState::stopped);
        // Returns once the dispatcher has taken the control written after the report; it
        // hands on (or drops) what it took before it sees that the service has ended.
        written.get_future().wait();
        const auto deadline = std::chrono::steady_clock::now() + test::kServicePatience;
        int unread = 1;
        while (::ioctl(manager.serviceEnd(), FIONREAD, &unread) == 0 && unread != 0 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1)); // polling, bounded above
        EXPECT_EQ(unread, 0);
    };
    start();
    EXPECT_EQ(manager.readLine(), "status type=16 state=1 accepted=1 exit=0 specific=0 checkpoint=0 hint=0");
    manager.control(1);
    written.set_value();
    finish();
    EXPECT_TRUE(dispatched);
    EXPECT_TRUE(service.codes.empty());
}

TEST_F(DispatcherTest, RegistrationAndReportsNeedTheRunningDispatcher) {
    EXPECT_EQ(RegisterServiceCtrlHandlerW("Vordash", scriptHandler), nullptr);
    EXPECT_EQ(GetLastError(), 1083u);
    ServiceStatus status;
    EXPECT_FALSE(SetServiceStatus(nullptr, &status));
    EXPECT_EQ(GetLastError(), 6u);

    ManagerPeer manager;
    service.main = [&] {
        EXPECT_EQ(RegisterServiceCtrlHandlerW("Other", scriptHandler), nullptr);
        EXPECT_EQ(GetLastError(), 1083u);
        // One dispatcher per process.
        const ServiceTableEntry table[] = {{"Vordash", scriptMain}, {nullptr, nullptr}};
        EXPECT_FALSE(StartServiceCtrlDispatcherW(table));
        EXPECT_EQ(GetLastError(), 1056u);
        ServiceStatusHandle handle = registerScript();
        EXPECT_FALSE(SetServiceStatus(handle, nullptr));
        EXPECT_EQ(GetLastError(), 87u);
    };
    start();
    finish();
    EXPECT_TRUE(dispatched); // the main function returned without any report
    EXPECT_EQ(manager.readLine(std::chrono::milliseconds(50)), "<timeout>");
}

} // namespace
} // namespace Karsto
