#include "host/controller_nc2_service.h"

#include <cstdio>
#include <exception>
#include <memory>

#include "core/log.h"
#include "frontend/scanner_input.h"
#include "host/controller.h"
#include "host/kernel/kernel_interface_nc2.h"
#include "host/platform/win_process.h"

using Karsto::globalLog;
using Karsto::ServiceState;

std::atomic<ControllerNc2Service*> ControllerNc2Service::serviceInstance{nullptr};
std::atomic<uint32_t> ControllerNc2Service::checkPointCounter{1};

namespace {

// Windows error numbers are printed as the signed numbers they were on the platform.
int lastError() { return static_cast<int>(Karsto::GetLastError()); }

} // namespace

// ---- installation --------------------------------------------------------------------

void ControllerNc2Service::serviceInstall() {
    using namespace Karsto;
    char path[kMaxPath];
    const uint32_t length = GetModuleFileNameW(nullptr, path, kMaxPath);
    // A cut path would register a program that does not exist.
    if (length == 0 || length >= kMaxPath) {
        std::printf("Cannot install service (%d)\n", lastError());
        return;
    }
    ScHandle manager = OpenSCManager(nullptr, nullptr, kScManagerAllAccess);
    if (manager == nullptr) {
        std::printf("OpenSCManager failed (%d)\n", lastError());
        return;
    }
    if (ScHandle existing = OpenService(manager, kServiceName, kDeleteAccess)) {
        if (!DeleteService(existing)) {
            std::printf("DeleteService failed (%d)\n", lastError());
            CloseServiceHandle(existing);
            CloseServiceHandle(manager);
            return;
        }
        std::printf("Existing service has been removed\n");
        CloseServiceHandle(existing);
    }
    // Without arguments: the service reads its options from the registry.
    ScHandle service = CreateService(manager, kServiceName, kServiceName, kServiceAllAccess,
                                     ServiceType::win32OwnProcess, ServiceStartType::demandStart,
                                     ServiceErrorControl::normal, path, nullptr, nullptr, nullptr,
                                     nullptr, nullptr);
    if (service != nullptr) {
        std::printf("Service installed successfully\n");
        CloseServiceHandle(service);
    } else {
        std::printf("CreateService failed (%d)\n", lastError());
    }
    CloseServiceHandle(manager);
}

void ControllerNc2Service::serviceUninstall() {
    using namespace Karsto;
    ScHandle manager = OpenSCManager(nullptr, nullptr, kScManagerAllAccess);
    if (manager == nullptr) {
        std::printf("OpenSCManager failed (%d)\n", lastError());
        return;
    }
    ScHandle service = OpenService(manager, kServiceName, kDeleteAccess);
    if (service != nullptr && !DeleteService(service)) {
        std::printf("DeleteService failed (%d)\n", lastError());
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
        return;
    }
    std::printf(service != nullptr ? "Service has been removed\n" : "No service installed\n");
    if (service != nullptr) CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

// ---- the dispatcher and the service thread -------------------------------------------

void ControllerNc2Service::run() {
    globalLog.debugController("ControllerNc2Service::run");
    const Karsto::ServiceTableEntry table[] = {{kServiceName, serviceMainCallback},
                                               {nullptr, nullptr}};
    // Blocks until the service has stopped.
    if (!Karsto::StartServiceCtrlDispatcherW(table))
        globalLog.error("StartServiceCtrlDispatcher failed GetLastError=%u", Karsto::GetLastError());
    globalLog.debugController("ControllerNc2Service::run return");
}

void ControllerNc2Service::serviceMainCallback(uint32_t, char**) {
    globalLog.debugController("ControllerNc2Service::serviceMainCallback");
    auto* service = new ControllerNc2Service();
    serviceInstance = service;
    service->serviceMain();
    // Cleared first: nothing may reach the object while it is destroyed.
    serviceInstance = nullptr;
    delete service;
    globalLog.debugController("ControllerNc2Service::serviceMainCallback return");
}

ControllerNc2Service::ControllerNc2Service() {
    globalLog.debugController("ControllerNc2Service::ControllerNc2Service");
    auto ownController = std::make_unique<Karsto::Controller>();
    globalLog.debugController("ControllerNc2Service::ControllerNc2Service create kernelInterface");
    kernelInterface = new Karsto::KernelInterfaceNc2(ownController.get(), Karsto::defaultDataPath);
    globalLog.debugController("ControllerNc2Service::ControllerNc2Service create kernelInterface done");
    controller = ownController.release();
    controller->kernel = kernelInterface;
    globalLog.debugController("ControllerNc2Service::ControllerNc2Service return");
}

ControllerNc2Service::~ControllerNc2Service() {
    delete kernelInterface;
    delete controller;
}

void ControllerNc2Service::serviceMain() {
    globalLog.debugController("ControllerNc2Service::serviceMain");
    statusHandle = Karsto::RegisterServiceCtrlHandlerW(kServiceName, ctrlHandler);
    // Nothing is reported and the controller never runs.
    if (statusHandle == nullptr) return;
    statusSet(ServiceState::startPending, kStartWaitHintMs);
    statusSet(ServiceState::running, 0);
    // The kernel link is not running, so the cycle waits for requests.
    controller->run();
    statusSet(ServiceState::stopped, 0);
    globalLog.debugController("ControllerNc2Service::serviceMain return");
}

// ---- status --------------------------------------------------------------------------

void ControllerNc2Service::report(ServiceState state, uint32_t controlsAccepted,
                                  uint32_t checkPoint, uint32_t waitHint) {
    Karsto::ServiceStatus copy;
    {
        std::lock_guard lock(statusMutex_);
        status.serviceType = Karsto::ServiceType::win32OwnProcess;
        status.currentState = state;
        status.controlsAccepted = controlsAccepted;
        status.win32ExitCode = 0;
        status.serviceSpecificExitCode = 0;
        status.checkPoint = checkPoint;
        status.waitHint = waitHint;
        copy = status;
    }
    Karsto::SetServiceStatus(statusHandle, &copy);
}

void ControllerNc2Service::statusSet(ServiceState state, uint32_t waitHint) {
    const uint32_t accepted = state == ServiceState::startPending ? 0 : Karsto::kServiceAcceptStop;
    const uint32_t checkPoint = state == ServiceState::running || state == ServiceState::stopped
                                    ? 0
                                    : checkPointCounter.fetch_add(1);
    report(state, accepted, checkPoint, waitHint);
}

// ---- controls ------------------------------------------------------------------------

void ControllerNc2Service::ctrlHandler(uint32_t control) {
    globalLog.debugController("ControllerNc2Service::ctrlHandler dwCtrl=%d", static_cast<int>(control));
    // Set for as long as the dispatcher may call this: the object is deleted only after
    // the stopped report, after which no control is dispatched.
    ControllerNc2Service* service = serviceInstance;
    if (service != nullptr) {
        Karsto::Controller& requests = *service->controller;
        switch (static_cast<ServiceControlCode>(control)) {
        case ServiceControlCode::stop:
            globalLog.debugController("ControllerNc2Service::ctrlHandler stop");
            service->report(ServiceState::stopPending, Karsto::kServiceAcceptStop,
                            checkPointCounter.fetch_add(1), 0);
            requests.kernelInterfaceStop();
            requests.quit();
            service->statusSet(ServiceState::stopPending, 0);
            break;
        case ServiceControlCode::interrogate:
            globalLog.debugController("ControllerNc2Service::ctrlHandler interrogate");
            break;
        case ServiceControlCode::initsrv:
            globalLog.debugController("ControllerNc2Service::ctrlHandler initsrv");
            try {
                requests.kernelInterfaceStart();
            } catch (const std::exception& e) {
                globalLog.error("ControllerNc2Service::ctrlHandler kernelInterfaceStart failed (%s)", e.what());
            }
            break;
        case ServiceControlCode::unregistersrv:
            globalLog.debugController("ControllerNc2Service::ctrlHandler unregistersrv");
            requests.kernelInterfaceStop();
            requests.quit();
            break;
        case ServiceControlCode::shutdownsrv:
            globalLog.debugController("ControllerNc2Service::ctrlHandler shutdownsrv");
            try {
                requests.kernelInterfaceStop();
            } catch (const std::exception& e) {
                globalLog.error("ControllerNc2Service::ctrlHandler kernelInterfaceStop failed (%s)", e.what());
            }
            break;
        default: // the code is the manager's, any value may arrive
            break;
        }
    }
    globalLog.debugController("ControllerNc2Service::ctrlHandler return");
}
