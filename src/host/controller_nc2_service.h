#pragma once
// The interpreter as the service "Vordash": installs and removes the service, runs the
// service dispatcher, and inside the service owns a Controller with the NC kernel link.
// The service reports running at once and does nothing until the control code 129
// starts the kernel link; 131 stops the link again, 130 or a stop ends the service.
//
// Threads: run blocks the calling (main) thread inside the dispatcher, which calls
// ctrlHandler there; serviceMain, and with it the controller's cycle and all interpreter
// work, runs on the service's own thread. The handler only queues controller requests
// and reports status.

#include <atomic>
#include <cstdint>
#include <mutex>

#include "host/platform/service_manager.h"

namespace Karsto {
class Controller;
class KernelInterfaceNc2;
} // namespace Karsto

// The control codes the service handles; any other code is ignored.
enum class ServiceControlCode : uint32_t {
    stop = 1,
    interrogate = 4,
    initsrv = 129,       // start the kernel link
    unregistersrv = 130, // stop the kernel link and end the service
    shutdownsrv = 131,   // stop the kernel link
};

class ControllerNc2Service {
public:
    static constexpr const char* kServiceName = "Vordash";
    // The wait hint of the start-pending report.
    static constexpr uint32_t kStartWaitHintMs = 3000;

    // Print their results on standard output.
    static void serviceInstall();
    static void serviceUninstall();
    // Runs the service dispatcher; returns when the service has stopped or when the
    // dispatcher could not start.
    static void run();
    // The service's entry point; both arguments are ignored.
    static void serviceMainCallback(uint32_t argc, char** argv);
    static void ctrlHandler(uint32_t control);

    ControllerNc2Service();
    // Deletes the kernel interface, then the Controller.
    virtual ~ControllerNc2Service();
    ControllerNc2Service(const ControllerNc2Service&) = delete;
    ControllerNc2Service& operator=(const ControllerNc2Service&) = delete;

    void serviceMain();
    // One status report: stop accepted in every state but start pending; a check point
    // from checkPointCounter in the pending states, 0 otherwise.
    void statusSet(Karsto::ServiceState state, uint32_t waitHint);

    Karsto::Controller* controller = nullptr;
    Karsto::KernelInterfaceNc2* kernelInterface = nullptr; // also the Controller's kernel
    Karsto::ServiceStatus status;
    Karsto::ServiceStatusHandle statusHandle = nullptr;

    // The one service object while the service runs, else null; the handler reaches the
    // object through it.
    static std::atomic<ControllerNc2Service*> serviceInstance;
    // 1 at program start; each report that needs a check point takes the current value
    // and increments it.
    static std::atomic<uint32_t> checkPointCounter;

private:
    // Fills status under statusMutex_ and reports a copy: both threads report, and a
    // report may wait for the dispatcher while the other thread fills the next one.
    void report(Karsto::ServiceState state, uint32_t controlsAccepted, uint32_t checkPoint,
                uint32_t waitHint);

    std::mutex statusMutex_;
};
