#include "host/platform/service_manager.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "host/platform/posix_file.h"
#include "host/platform/service_control_reader.h"
#include "host/platform/state_directory.h"
#include "host/platform/win_process.h"

namespace Karsto {

struct ServiceObject {
    bool isManager = false;
    std::filesystem::path directory;
    std::string name; // services only
};

struct ServiceStatusRegistration {};

namespace {

// ---- records -------------------------------------------------------------------------

bool fail(WinError error) {
    SetLastError(error);
    return false;
}

bool failErrno(int error) {
    setLastErrorFromErrno(error);
    return false;
}

// A service name becomes one file name; names starting with '.' are kept for the
// temporary files of records being written.
bool validServiceName(const char* name) {
    if (name == nullptr || *name == 0 || *name == '.') return false;
    return std::string_view(name).find_first_of("/\\") == std::string_view::npos;
}

// A manager handle and a service name that makes one file name; else false with the
// last error set.
bool validServiceCall(ScHandle manager, const char* name) {
    if (manager == nullptr || !manager->isManager) return fail(WinError::invalidHandle);
    if (!validServiceName(name)) return fail(WinError::invalidName);
    return true;
}

// A record value is one line.
bool validValue(const char* text) {
    return text != nullptr && std::string_view(text).find_first_of("\r\n") == std::string_view::npos;
}

// Writes the text to a temporary file and links it in under the name, so the record
// appears whole or not at all and an existing one is never replaced.
bool createRecord(const std::filesystem::path& directory, const std::string& name,
                  const std::string& text) {
    std::string temporary = (directory / ("." + name + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return failErrno(errno);
    bool written = writeAll(fd, text.data(), text.size()) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    bool linked = false;
    if (written) {
        const std::filesystem::path record = directory / name;
        linked = ::link(temporary.c_str(), record.c_str()) == 0;
        error = errno;
    }
    ::unlink(temporary.c_str());
    if (linked) return true;
    if (written && error == EEXIST) return fail(WinError::serviceExists);
    return failErrno(error);
}

// ---- dispatcher ----------------------------------------------------------------------

constexpr uint32_t kStopCode = 1;
constexpr size_t kReadChunk = 4096;

class Dispatcher {
public:
    Dispatcher(int controlFd, const ServiceTableEntry& entry)
        : fd(controlFd), name(entry.serviceName), main(entry.serviceProc) {}

    bool run();
    void registerHandler(ServiceHandlerFunction function);
    bool report(const ServiceStatus& status);

    const int fd;
    const std::string name;
    ServiceStatusRegistration registration;

private:
    void wake();
    void drainWake();
    void dispatch(uint32_t code);
    bool installSignals();
    void restoreSignals();

    const ServiceMainFunction main;
    int wakeFds_[2] = {-1, -1};
    // Held around each handler call and by the report of the stopped state; recursive so
    // that a handler may report any state itself.
    std::recursive_mutex dispatchMutex_;
    std::mutex writeMutex_; // one status line at a time; taken after dispatchMutex_
    ServiceHandlerFunction handler_ = nullptr; // under dispatchMutex_
    bool stopped_ = false;                     // under dispatchMutex_
    std::atomic<bool> handlerRegistered_{false};
    std::atomic<bool> serviceEnded_{false};
    struct sigaction savedTerm_{};
    struct sigaction savedInt_{};
};

std::mutex activeMutex;
Dispatcher* active = nullptr; // under activeMutex

// What the signal handler reaches: the write end of the running dispatcher's wake pipe
// and the number of stops not yet handed on.
std::atomic<int> signalWakeFd{-1};
std::atomic<int> signalStops{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free atomics");

extern "C" void onStopSignal(int) {
    const int saved = errno;
    signalStops.fetch_add(1);
    const int fd = signalWakeFd.load();
    if (fd >= 0) {
        const char byte = 's';
        // A full pipe already holds a wake-up.
        [[maybe_unused]] const ssize_t ignored = ::write(fd, &byte, 1);
    }
    errno = saved;
}

Dispatcher* activeDispatcher() {
    std::lock_guard lock(activeMutex);
    return active;
}

void Dispatcher::wake() {
    const char byte = 'w';
    [[maybe_unused]] const ssize_t ignored = ::write(wakeFds_[1], &byte, 1);
}

void Dispatcher::drainWake() {
    char buffer[64];
    while (::read(wakeFds_[0], buffer, sizeof buffer) > 0) {
    }
}

void Dispatcher::dispatch(uint32_t code) {
    std::lock_guard lock(dispatchMutex_);
    if (stopped_ || handler_ == nullptr) return;
    handler_(code);
}

bool Dispatcher::installSignals() {
    struct sigaction action{};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGTERM, &action, &savedTerm_) != 0) return false;
    if (::sigaction(SIGINT, &action, &savedInt_) != 0) {
        ::sigaction(SIGTERM, &savedTerm_, nullptr);
        return false;
    }
    return true;
}

void Dispatcher::restoreSignals() {
    ::sigaction(SIGINT, &savedInt_, nullptr);
    ::sigaction(SIGTERM, &savedTerm_, nullptr);
}

void Dispatcher::registerHandler(ServiceHandlerFunction function) {
    {
        std::lock_guard lock(dispatchMutex_);
        handler_ = function;
    }
    handlerRegistered_ = true;
    wake();
}

bool Dispatcher::report(const ServiceStatus& status) {
    char line[256];
    const int length = std::snprintf(
        line, sizeof line,
        "status type=%u state=%u accepted=%u exit=%u specific=%u checkpoint=%u hint=%u\n",
        static_cast<uint32_t>(status.serviceType), static_cast<uint32_t>(status.currentState),
        status.controlsAccepted, status.win32ExitCode, status.serviceSpecificExitCode,
        status.checkPoint, status.waitHint);
    // Once the stopped state is reported no handler call may follow: the service may
    // delete what its handler uses.
    std::unique_lock<std::recursive_mutex> dispatchLock;
    if (status.currentState == ServiceState::stopped) {
        dispatchLock = std::unique_lock(dispatchMutex_);
        stopped_ = true;
    }
    std::lock_guard lock(writeMutex_);
    const char* data = line;
    auto size = static_cast<size_t>(length);
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return failErrno(n < 0 ? errno : EIO);
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool Dispatcher::run() {
    if (::pipe2(wakeFds_, O_CLOEXEC | O_NONBLOCK) != 0) return failErrno(errno);
    signalStops = 0;
    signalWakeFd = wakeFds_[1];
    const auto cleanUp = [this] {
        signalWakeFd = -1;
        ::close(wakeFds_[0]);
        ::close(wakeFds_[1]);
    };
    if (!installSignals()) {
        const int error = errno;
        cleanUp();
        return failErrno(error);
    }
    std::thread service;
    try {
        service = std::thread([this] {
            main(0, nullptr);
            serviceEnded_ = true;
            wake();
        });
    } catch (const std::system_error&) {
        restoreSignals();
        cleanUp();
        return fail(WinError::genFailure);
    }

    ServiceControlReader reader;
    std::vector<uint32_t> codes;
    bool controlsOpen = true; // until the manager's end is closed or fails
    char buffer[kReadChunk];
    while (!serviceEnded_) {
        // Controls wait in the socket until the service has a handler for them.
        const bool readControls = controlsOpen && handlerRegistered_;
        pollfd fds[2] = {{wakeFds_[0], POLLIN, 0}, {readControls ? fd : -1, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue; // EINTR; the loop condition is checked again
        drainWake();
        if (handlerRegistered_)
            for (int n = signalStops.exchange(0); n > 0; --n) dispatch(kStopCode);
        if (readControls && fds[1].revents != 0) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                codes.clear();
                reader.feed(std::span<const char>(buffer, static_cast<size_t>(n)), codes);
                for (const uint32_t code : codes) dispatch(code);
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
                controlsOpen = false; // the service can still be stopped by a signal
            }
        }
    }
    service.join();
    restoreSignals();
    cleanUp();
    return true;
}

// The descriptor VORDASH_SERVICE_FD names, when it is an open socket; else -1.
int controlDescriptor() {
    const char* text = std::getenv("VORDASH_SERVICE_FD");
    if (text == nullptr || *text == 0) return -1;
    long value = 0;
    for (const char* c = text; *c != 0; ++c) {
        if (*c < '0' || *c > '9') return -1;
        value = value * 10 + (*c - '0');
        if (value > INT32_MAX) return -1;
    }
    struct stat info{};
    if (::fstat(static_cast<int>(value), &info) != 0 || !S_ISSOCK(info.st_mode)) return -1;
    return static_cast<int>(value);
}

} // namespace

// ---- the manager ---------------------------------------------------------------------

ScHandle OpenSCManager(const char* machine, const char* database, uint32_t) {
    if (machine != nullptr || database != nullptr) {
        SetLastError(WinError::invalidParameter);
        return nullptr;
    }
    const std::filesystem::path directory = stateDirectory("VORDASH_SCM_DIR", "services");
    if (directory.empty()) {
        SetLastError(WinError::pathNotFound);
        return nullptr;
    }
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        setLastErrorFromErrno(error.category() == std::generic_category() ||
                                      error.category() == std::system_category()
                                  ? error.value()
                                  : EIO);
        return nullptr;
    }
    // All access: the records must be readable and writable.
    if (::access(directory.c_str(), R_OK | W_OK | X_OK) != 0) {
        setLastErrorFromErrno(errno);
        return nullptr;
    }
    return new ServiceObject{true, directory, {}};
}

ScHandle OpenService(ScHandle manager, const char* name, uint32_t) {
    if (!validServiceCall(manager, name)) return nullptr;
    struct stat info{};
    if (::lstat((manager->directory / name).c_str(), &info) != 0) {
        if (errno == ENOENT)
            SetLastError(WinError::serviceDoesNotExist);
        else
            setLastErrorFromErrno(errno);
        return nullptr;
    }
    return new ServiceObject{false, manager->directory, name};
}

ScHandle CreateService(ScHandle manager, const char* name, const char* displayName, uint32_t,
                       ServiceType type, ServiceStartType start, ServiceErrorControl errorControl,
                       const char* binaryPath, const char* loadOrderGroup, uint32_t* tagId,
                       const char* dependencies, const char* account, const char* password) {
    if (!validServiceCall(manager, name)) return nullptr;
    if (displayName == nullptr) displayName = name;
    if (!validValue(displayName) || !validValue(binaryPath) || *binaryPath == 0 ||
        loadOrderGroup != nullptr || tagId != nullptr || dependencies != nullptr ||
        account != nullptr || password != nullptr) {
        SetLastError(WinError::invalidParameter);
        return nullptr;
    }
    std::string text;
    text += "name=" + std::string(name) + "\n";
    text += "display=" + std::string(displayName) + "\n";
    text += "type=" + std::to_string(static_cast<uint32_t>(type)) + "\n";
    text += "start=" + std::to_string(static_cast<uint32_t>(start)) + "\n";
    text += "error=" + std::to_string(static_cast<uint32_t>(errorControl)) + "\n";
    text += "binary=" + std::string(binaryPath) + "\n";
    if (!createRecord(manager->directory, name, text)) return nullptr;
    return new ServiceObject{false, manager->directory, name};
}

bool DeleteService(ScHandle service) {
    if (service == nullptr || service->isManager) return fail(WinError::invalidHandle);
    if (::unlink((service->directory / service->name).c_str()) == 0) return true;
    // Deleted through another handle meanwhile.
    if (errno == ENOENT) return fail(WinError::serviceMarkedForDelete);
    return failErrno(errno);
}

bool CloseServiceHandle(ScHandle handle) {
    if (handle == nullptr) return fail(WinError::invalidHandle);
    delete handle;
    return true;
}

// ---- the dispatcher ------------------------------------------------------------------

bool StartServiceCtrlDispatcherW(const ServiceTableEntry* table) {
    if (table == nullptr || table[0].serviceName == nullptr || table[0].serviceProc == nullptr)
        return fail(WinError::invalidParameter);
    const int fd = controlDescriptor();
    if (fd < 0) return fail(WinError::failedServiceControllerConnect);
    Dispatcher dispatcher(fd, table[0]);
    {
        std::lock_guard lock(activeMutex);
        if (active != nullptr) return fail(WinError::serviceAlreadyRunning);
        active = &dispatcher;
    }
    const bool ran = dispatcher.run();
    std::lock_guard lock(activeMutex);
    active = nullptr;
    return ran;
}

ServiceStatusHandle RegisterServiceCtrlHandlerW(const char* serviceName,
                                                ServiceHandlerFunction handler) {
    // The dispatcher outlives its service's thread, which is the one that registers.
    Dispatcher* dispatcher = activeDispatcher();
    if (dispatcher == nullptr || serviceName == nullptr || dispatcher->name != serviceName) {
        SetLastError(WinError::serviceNotInExe);
        return nullptr;
    }
    if (handler == nullptr) {
        SetLastError(WinError::invalidParameter);
        return nullptr;
    }
    dispatcher->registerHandler(handler);
    return &dispatcher->registration;
}

bool SetServiceStatus(ServiceStatusHandle handle, const ServiceStatus* status) {
    Dispatcher* dispatcher = activeDispatcher();
    if (dispatcher == nullptr || handle != &dispatcher->registration)
        return fail(WinError::invalidHandle);
    if (status == nullptr) return fail(WinError::invalidParameter);
    return dispatcher->report(*status);
}

} // namespace Karsto
