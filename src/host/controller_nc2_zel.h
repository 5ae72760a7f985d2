#pragma once
// The interpreter as a Zel user server of the NC system on the console ("nif=nc2"): a
// Zel server with a router port of its own, named "UserSrv_Vordash", that owns a
// Controller with the NC kernel link. The NC system registers, initialises, unregisters
// and shuts the user server down by writes to four index groups: initialising starts
// the kernel link, shutting down stops it, unregistering ends the interpreter.
//
// Threads: run and the controller's cycle run on the calling (main) thread; the
// indications and VekDispatch run on the port's receive thread and only log, answer and
// queue controller requests.

#include <cstdint>

#include "host/zel/zel_server.h"

namespace Karsto {
class Controller;
class KernelInterfaceNc2;
} // namespace Karsto

// The index groups the NC system writes to a user server; offset, length and data are
// not read.
enum class UserServerGroup : uint32_t {
    registerServer = 1, // ZEL_USERSERV_IGRP_REGISTER
    init = 2,           // ZEL_USERSERV_IGRP_INIT: start the kernel link
    unregister = 3,     // ZEL_USERSERV_IGRP_UNREGISTER: stop the link and end
    shutdown = 4,       // ZEL_USERSERV_IGRP_SHUTDOWN: stop the link
};

class ControllerNc2Zel : public CZelR3 {
public:
    // The name the router finds the user server by.
    static constexpr const char* kPortName = "UserSrv_Vordash";
    // The router's notifications, handled by VekRouterNotification.
    static constexpr uint16_t kCmdRouterRegistered = 251;
    static constexpr uint16_t kCmdRouterUnregistered = 252;
    // The state flag that keeps a 251 or 252 from being a notification.
    static constexpr uint16_t kNotificationExcluded = 0x0008;
    // Between two attempts to reach the router.
    static constexpr int kConnectRetryMs = 500;

    // Creates the Controller and the kernel link (data directory defaultDataPath); the
    // port is not connected yet.
    ControllerNc2Zel();
    // Disconnects the port and waits for its receive thread first, so no indication can
    // reach what follows; then deletes the kernel link and the Controller.
    ~ControllerNc2Zel() override;

    // Connects to the router (every 500 ms until it answers, without limit), then runs
    // the controller's cycle until an unregister ends it.
    void run();

    void ZelWriteInd(const VekAddr& source, uint32_t invokeId, uint32_t indexGroup, uint32_t indexOffset,
                     uint32_t length, const uint8_t* data) override;
    // 251 and 252 without state flag 0x0008 are the router's notifications; every other
    // command goes to the library's dispatch.
    void VekDispatch(const VekCmd& command) override;

    Karsto::Controller* controller = nullptr;
    Karsto::KernelInterfaceNc2* kernelInterface = nullptr; // also the Controller's kernel

protected:
    // The router's notification (true: 251, false: 252); consumed without effect.
    virtual void VekRouterNotification(bool registered);
};
