#include "host/zel/vek_router.h"

#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <map>
#include <memory>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include "host/zel/vek_socket.h"
#include "host/zel/vek_types.h"

namespace {

struct Connection {
    int fd = -1;
    std::uint16_t port = 0; // 0 until the connect command was accepted
    std::string name;
    VekSocket::FrameReader reader;
    std::deque<std::vector<std::uint8_t>> out;
    std::size_t outBytes = 0;  // bytes queued in out, the partly written front included
    std::size_t outOffset = 0; // bytes of out.front() already written
    bool dead = false;

    ~Connection() { VekSocket::closeFd(fd); }
};

VekAddr localAddr(std::uint16_t port) { return VekAddr{vekLocalNetId(), port}; }

// The routing state; lives on the router's thread only.
class Routes {
public:
    void accept(int fd) {
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        connections_.push_back(std::move(c));
    }

    std::vector<std::unique_ptr<Connection>>& connections() { return connections_; }

    // Handles everything a connection has sent so far.
    void received(Connection& from) {
        for (;;) {
            VekCmd cmd;
            VekSocket::ReadResult r = from.reader.take(cmd);
            if (r == VekSocket::ReadResult::tooLarge) {
                from.dead = true;
                return;
            }
            if (r != VekSocket::ReadResult::frame)
                return;
            route(from, std::move(cmd));
        }
    }

    // Writes what the connection can take now.
    void flush(Connection& c) {
        while (!c.out.empty()) {
            const auto& front = c.out.front();
            ssize_t n = ::send(c.fd, front.data() + c.outOffset, front.size() - c.outOffset,
                               MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                if (errno != EAGAIN && errno != EWOULDBLOCK)
                    c.dead = true;
                return;
            }
            c.outOffset += static_cast<std::size_t>(n);
            c.outBytes -= static_cast<std::size_t>(n);
            if (c.outOffset == front.size()) {
                c.out.pop_front();
                c.outOffset = 0;
            }
        }
    }

    void removeDead() {
        std::erase_if(connections_, [this](const std::unique_ptr<Connection>& c) {
            if (!c->dead)
                return false;
            if (c->port != 0)
                byPort_.erase(c->port);
            return true;
        });
    }

private:
    void route(Connection& from, VekCmd cmd) {
        VekHead head = cmd.head();
        if (from.port != 0)
            head.source = localAddr(from.port); // answers go where the command came from
        cmd.setHead(head);
        if (head.target.port == vekPort(VekPortNumber::router)) {
            control(from, cmd);
            return;
        }
        if (from.port == 0) {
            reply(from, bounce(cmd, ZelError::notConnected));
            return;
        }
        auto target = byPort_.find(head.target.port);
        if (target == byPort_.end()) {
            if (!vekIsResponse(cmd.wire()))
                reply(from, bounce(cmd, ZelError::targetUnknown));
            return;
        }
        Connection& to = *target->second;
        if (to.outBytes + cmd.wire().size() > VekRouter::kOutputLimit) {
            if (!vekIsResponse(cmd.wire()))
                reply(from, bounce(cmd, ZelError::timeout));
            return;
        }
        enqueue(to, cmd);
    }

    void control(Connection& from, const VekCmd& cmd) {
        VekHead head = cmd.head();
        auto data = cmd.data();
        if (vekIsResponse(cmd.wire()))
            return;
        switch (static_cast<VekRouterCommandId>(head.cmdId)) {
        case VekRouterCommandId::connect: {
            if (from.port != 0 || data.size() < 2) {
                reply(from, bounce(cmd, ZelError::notSupported));
                return;
            }
            std::uint16_t wanted = vekGet16(data.data());
            std::uint16_t port = wanted == 0 ? freeDynamicPort() : wanted;
            if (port == vekPort(VekPortNumber::router) || byPort_.count(port)) {
                reply(from, VekCmd(vekMakeResponse(cmd.wire(), kPortInUse).head(), {}));
                return;
            }
            from.port = port;
            from.name = nameOf(data.subspan(2));
            byPort_[port] = &from;
            VekHead answer = head;
            answer.target = localAddr(port);
            answer.source = localAddr(vekPort(VekPortNumber::router));
            answer.stateFlags |= static_cast<std::uint16_t>(VekStateFlag::response);
            answer.errorCode = 0;
            std::vector<std::uint8_t> body;
            vekPut16(body, port);
            enqueue(from, VekCmd(answer, body));
            return;
        }
        case VekRouterCommandId::lookup: {
            std::string name = nameOf(data);
            for (const auto& [port, c] : byPort_) {
                if (!name.empty() && c->name == name) {
                    std::vector<std::uint8_t> body;
                    vekPut16(body, port);
                    reply(from, VekCmd(vekMakeResponse(cmd.wire(), 0).head(), body));
                    return;
                }
            }
            reply(from, bounce(cmd, ZelError::targetUnknown));
            return;
        }
        }
        reply(from, bounce(cmd, ZelError::notSupported));
    }

    // A command the router cannot deliver goes back as a response without its data.
    static VekCmd bounce(const VekCmd& cmd, ZelError error) {
        return VekCmd(vekMakeResponse(cmd.wire(), zelCode(error)).head(), {});
    }

    // Answers of the router itself go to the connection that asked, whatever its port.
    void reply(Connection& to, VekCmd answer) {
        if (to.outBytes + answer.wire().size() > VekRouter::kOutputLimit)
            return; // the asker stalls itself; it times out
        enqueue(to, answer);
    }

    static void enqueue(Connection& to, const VekCmd& cmd) {
        auto wire = cmd.wire();
        to.out.emplace_back(wire.begin(), wire.end());
        to.outBytes += wire.size();
    }

    static std::string nameOf(std::span<const std::uint8_t> bytes) {
        std::size_t n = 0;
        while (n < bytes.size() && n < kVekMaxNameLength && bytes[n] != 0)
            ++n;
        return std::string(reinterpret_cast<const char*>(bytes.data()), n);
    }

    std::uint16_t freeDynamicPort() {
        const std::uint32_t first = vekPort(VekPortNumber::firstDynamic);
        const std::uint32_t count = 0x10000 - first;
        for (std::uint32_t i = 0; i < count; ++i) {
            auto port = static_cast<std::uint16_t>(first + (nextDynamic_ + i) % count);
            if (!byPort_.count(port)) {
                nextDynamic_ = (port - first + 1) % count;
                return port;
            }
        }
        return 0; // all taken: refused as in use
    }

    // The router's own refusal of a connect; the port only tells success from failure.
    static constexpr std::uint32_t kPortInUse = 1;

    std::vector<std::unique_ptr<Connection>> connections_;
    std::map<std::uint16_t, Connection*> byPort_;
    std::uint32_t nextDynamic_ = 0;
};

} // namespace

VekRouter::VekRouter(std::string path) : path_(std::move(path)) {
    sockaddr_un address;
    if (!VekSocket::makeAddress(path_, address))
        throw std::runtime_error("Vek router: socket path '" + path_ + "' is empty or too long");
    int probe = VekSocket::connectTo(path_);
    if (probe >= 0) {
        VekSocket::closeFd(probe);
        throw std::runtime_error("Vek router: another router listens at '" + path_ + "'");
    }
    struct stat st;
    if (::lstat(path_.c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
        ::unlink(path_.c_str()); // left behind by a router that ended without cleaning up
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0 ||
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 64) != 0 || ::pipe2(wakeFds_, O_CLOEXEC) != 0) {
        std::string reason = std::strerror(errno);
        VekSocket::closeFd(listenFd_);
        VekSocket::closeFd(wakeFds_[0]);
        VekSocket::closeFd(wakeFds_[1]);
        throw std::runtime_error("Vek router: cannot listen at '" + path_ + "': " + reason);
    }
    VekSocket::setNonBlocking(listenFd_);
    thread_ = std::thread([this] { run(); });
}

VekRouter::~VekRouter() {
    char stop = 0;
    while (::write(wakeFds_[1], &stop, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
    VekSocket::closeFd(listenFd_);
    VekSocket::closeFd(wakeFds_[0]);
    VekSocket::closeFd(wakeFds_[1]);
    ::unlink(path_.c_str());
}

void VekRouter::run() {
    Routes routes;
    std::vector<pollfd> fds;
    for (;;) {
        auto& connections = routes.connections();
        fds.clear();
        fds.push_back({wakeFds_[0], POLLIN, 0});
        fds.push_back({listenFd_, POLLIN, 0});
        for (const auto& c : connections)
            fds.push_back({c->fd, static_cast<short>(POLLIN | (c->out.empty() ? 0 : POLLOUT)), 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents != 0)
            return;
        // The connections in fds are the first ones of the list; accepted ones follow.
        const std::size_t polled = connections.size();
        for (std::size_t i = 0; i < polled; ++i) {
            Connection& c = *connections[i];
            short ev = fds[i + 2].revents;
            if (ev & (POLLIN | POLLHUP | POLLERR)) {
                if (!c.reader.fill(c.fd))
                    c.dead = true;
                routes.received(c);
            }
        }
        for (const auto& c : connections)
            if (!c->dead)
                routes.flush(*c);
        routes.removeDead();
        if (fds[1].revents & POLLIN) {
            for (;;) {
                int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (fd < 0)
                    break;
                routes.accept(fd);
            }
        }
    }
}
