#include "host/controller_nc2_zel.h"

#include <chrono>
#include <exception>
#include <memory>
#include <thread>

#include "core/log.h"
#include "frontend/scanner_input.h"
#include "host/controller.h"
#include "host/kernel/kernel_codes.h"
#include "host/kernel/kernel_interface_nc2.h"

using Karsto::globalLog;
using Karsto::kernelCode;
using Karsto::ZelCode;

namespace {

// The sizes the user server's port asks the router for.
constexpr uint32_t kPortBufferSize = 4096;
constexpr uint32_t kPortBufferCount = 80;

} // namespace

ControllerNc2Zel::ControllerNc2Zel() : CZelR3(0, 0, nullptr, 1) {
    VekSetName(kPortName);
    auto ownController = std::make_unique<Karsto::Controller>();
    kernelInterface = new Karsto::KernelInterfaceNc2(ownController.get(), Karsto::defaultDataPath);
    controller = ownController.release();
    controller->kernel = kernelInterface;
}

ControllerNc2Zel::~ControllerNc2Zel() {
    // The receive thread goes first: a late write must find the Controller and the link
    // still in place.
    portShutdown();
    delete kernelInterface;
    delete controller;
}

void ControllerNc2Zel::run() {
    globalLog.info("Starting JYX interpreter");
    globalLog.debugController("ControllerNc2: wait for ZEL-router");
    // Port 0: the router chooses the number.
    while (!VekConnect(0, kPortBufferSize, kPortBufferCount))
        std::this_thread::sleep_for(std::chrono::milliseconds(kConnectRetryMs));
    globalLog.debugController("ControllerNc2: ZEL-router available");
    // The link is not running yet: the cycle waits for the initialisation's request.
    controller->run();
    globalLog.info("Stopping JYX interpreter");
}

void ControllerNc2Zel::ZelWriteInd(const VekAddr& source, uint32_t invokeId, uint32_t indexGroup,
                                   uint32_t indexOffset, uint32_t length, const uint8_t* data) {
    // The requests are executed later by the controller's cycle; the answer goes at once.
    switch (static_cast<UserServerGroup>(indexGroup)) {
    case UserServerGroup::registerServer:
        globalLog.debugController("ControllerNc2Zel: ZEL_USERSERV_IGRP_REGISTER");
        ZelWriteRes(source, invokeId, kernelCode(ZelCode::ok));
        return;
    case UserServerGroup::init:
        globalLog.debugController("ControllerNc2: ZEL_USERSERV_IGRP_INIT");
        try {
            controller->kernelInterfaceStart();
        } catch (const std::exception& e) {
            globalLog.error("ControllerNc2Zel: Error starting kernelinterface: %s", e.what());
            ZelWriteRes(source, invokeId, kernelCode(ZelCode::programError));
            return;
        }
        ZelWriteRes(source, invokeId, kernelCode(ZelCode::ok));
        return;
    case UserServerGroup::unregister:
        globalLog.debugController("ControllerNc2Zel: ZEL_USERSERV_IGRP_UNREGISTER");
        // Answered first: the process may end soon after the requests are queued.
        ZelWriteRes(source, invokeId, kernelCode(ZelCode::ok));
        controller->kernelInterfaceStop();
        controller->quit();
        return;
    case UserServerGroup::shutdown:
        globalLog.debugController("ControllerNc2: ZEL_USERSERV_IGRP_SHUTDOWN");
        try {
            controller->kernelInterfaceStop();
        } catch (const std::exception& e) {
            globalLog.error("ControllerNc2Zel: Error stopping kernelinterface: %s", e.what());
            ZelWriteRes(source, invokeId, kernelCode(ZelCode::programError));
            return;
        }
        ZelWriteRes(source, invokeId, kernelCode(ZelCode::ok));
        return;
    }
    // Any group the NC system may send: the library's own answer.
    globalLog.error("ControllerNc2Zel: UNHANDLED WRITE INDICATION nIndexGroup=%d", static_cast<int>(indexGroup));
    CZel::ZelWriteInd(source, invokeId, indexGroup, indexOffset, length, data);
}

void ControllerNc2Zel::VekDispatch(const VekCmd& command) {
    const VekHead head = command.head();
    if ((head.stateFlags & kNotificationExcluded) == 0 &&
        (head.cmdId == kCmdRouterRegistered || head.cmdId == kCmdRouterUnregistered)) {
        VekRouterNotification(head.cmdId == kCmdRouterRegistered);
        return;
    }
    CVekR3Port::VekDispatch(command);
}

void ControllerNc2Zel::VekRouterNotification(bool) {}
