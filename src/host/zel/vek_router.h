#pragma once
// The Vek router: carries commands between ports over a Unix-domain stream socket.
//
// Every connection is one port. A new connection first sends a connect command to port
// 0 with the port number it wants (0: the router hands out one from 0x8000 up) and its
// name; a port in use is refused. Afterwards the router forwards each command to the
// connection holding the head's target port, with the source set to the sender's own
// address, and returns a command for an unknown port to its sender with 0x7F04. All
// sockets are non-blocking and each connection's output queue is bounded, so a peer
// that stops reading stalls nobody else: a request that does not fit is returned with
// 0x7F02, an answer that does not fit is dropped. A connection that announces more
// than 1 MiB of data in one command is closed.

#include <cstddef>
#include <string>
#include <thread>

#include "host/zel/vek_types.h"

class VekRouter {
public:
    // Listens at the path and starts routing on a thread of its own. Throws
    // std::runtime_error when the path is unusable or another router listens there.
    explicit VekRouter(std::string path = vekRouterPath());
    ~VekRouter();
    VekRouter(const VekRouter&) = delete;
    VekRouter& operator=(const VekRouter&) = delete;

    const std::string& path() const { return path_; }

    // Bytes a connection may have waiting to be written before it counts as stalled.
    static constexpr std::size_t kOutputLimit = 8u << 20;

private:
    void run();

    std::string path_;
    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    std::thread thread_;
};
