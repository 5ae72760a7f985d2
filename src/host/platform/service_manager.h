#pragma once
// A service control manager of our own, with the calls and shapes of the Windows one that
// the service host uses. Failures return false or null and leave a Windows error number
// for GetLastError (host/platform/win_process.h). Text is UTF-8.
//
// Service records: one text file per service, named after it, of "key=value" lines
// (name, display, type, start, error, binary) in the directory VORDASH_SCM_DIR names
// (default $XDG_STATE_HOME/vordash/services, else ~/.local/state/vordash/services).
//
// Dispatcher: the process that plays the manager hands over one end of a socket pair
// and names its descriptor in VORDASH_SERVICE_FD. The dispatcher starts the service's
// main function on a thread of its own and reads control codes from the descriptor on
// the calling thread, one decimal number per line; SIGTERM and SIGINT arrive as the
// stop code 1. Each status report is written to the descriptor as one line
// "status type=%u state=%u accepted=%u exit=%u specific=%u checkpoint=%u hint=%u".
// Controls are read once the service has registered its handler; a handler call and
// the report of the stopped state exclude each other, and no control is handed to the
// handler after the stopped state was reported, so the service may delete what its
// handler uses right after that report.

#include <cstdint>

namespace Karsto {

// Access rights: kept for the shape of the calls, the records are files of the user.
inline constexpr uint32_t kScManagerAllAccess = 0xF003F;
inline constexpr uint32_t kServiceAllAccess = 0xF01FF;
inline constexpr uint32_t kDeleteAccess = 0x10000;

enum class ServiceType : uint32_t {
    win32OwnProcess = 16,
};

enum class ServiceStartType : uint32_t {
    demandStart = 3,
};

enum class ServiceErrorControl : uint32_t {
    normal = 1,
};

enum class ServiceState : uint32_t {
    stopped = 1,
    startPending = 2,
    stopPending = 3,
    running = 4,
};

// Bits of ServiceStatus::controlsAccepted.
inline constexpr uint32_t kServiceAcceptStop = 1;

struct ServiceStatus {
    ServiceType serviceType = ServiceType::win32OwnProcess;
    ServiceState currentState = ServiceState::stopped;
    uint32_t controlsAccepted = 0;
    uint32_t win32ExitCode = 0;
    uint32_t serviceSpecificExitCode = 0;
    uint32_t checkPoint = 0;
    uint32_t waitHint = 0;
};

// An open manager or service; freed by CloseServiceHandle.
struct ServiceObject;
using ScHandle = ServiceObject*;

// machine and database must be null (the local manager). Checks the record directory,
// creating it when missing.
ScHandle OpenSCManager(const char* machine, const char* database, uint32_t access);
// serviceDoesNotExist when there is no record of the name.
ScHandle OpenService(ScHandle manager, const char* name, uint32_t access);
// Writes the record; serviceExists when one of the name exists. Only the arguments the
// record keeps may be given: loadOrderGroup, tagId, dependencies, account and password
// must be null.
ScHandle CreateService(ScHandle manager, const char* name, const char* displayName,
                       uint32_t access, ServiceType type, ServiceStartType start,
                       ServiceErrorControl errorControl, const char* binaryPath,
                       const char* loadOrderGroup, uint32_t* tagId, const char* dependencies,
                       const char* account, const char* password);
// Removes the service's record.
bool DeleteService(ScHandle service);
bool CloseServiceHandle(ScHandle handle);

using ServiceMainFunction = void (*)(uint32_t argc, char** argv);
using ServiceHandlerFunction = void (*)(uint32_t control);

struct ServiceTableEntry {
    const char* serviceName;
    ServiceMainFunction serviceProc;
};

// Runs the first service of the table (ended by an entry with a null name) and returns
// true after its main function has returned; false at once with
// failedServiceControllerConnect when VORDASH_SERVICE_FD names no open descriptor, or
// serviceAlreadyRunning while another dispatcher of this process runs.
bool StartServiceCtrlDispatcherW(const ServiceTableEntry* table);

// An opaque handle of the registration; null on failure.
struct ServiceStatusRegistration;
using ServiceStatusHandle = ServiceStatusRegistration*;

// Registers the handler of the service the running dispatcher started; serviceNotInExe
// without a dispatcher or for another name.
ServiceStatusHandle RegisterServiceCtrlHandlerW(const char* serviceName,
                                                ServiceHandlerFunction handler);
// Writes the status line; invalidHandle for a handle not of the running dispatcher.
bool SetServiceStatus(ServiceStatusHandle handle, const ServiceStatus* status);

} // namespace Karsto
