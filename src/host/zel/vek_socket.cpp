#include "host/zel/vek_socket.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace VekSocket {

Deadline deadlineIn(int milliseconds) {
    return Clock::now() + std::chrono::milliseconds(milliseconds);
}

namespace {

// Milliseconds left for poll; -1 waits without end.
int pollTimeout(const Deadline& deadline) {
    if (!deadline)
        return -1;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 60 * 60 * 1000));
}

bool expired(const Deadline& deadline) { return deadline && Clock::now() >= *deadline; }

// Waits until the socket is ready for the events or the deadline passes.
bool waitFor(int fd, short events, const Deadline& deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        int n = ::poll(&p, 1, pollTimeout(deadline));
        if (n > 0)
            return true;
        if (n < 0 && errno != EINTR)
            return true; // let the following call report the error
        if (n == 0 && expired(deadline))
            return false;
    }
}

} // namespace

bool makeAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

void setNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

int connectTo(const std::string& path) {
    sockaddr_un address;
    if (!makeAddress(path, address))
        return -1;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    // A local stream connect either succeeds or fails at once; only then go non-blocking.
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    setNonBlocking(fd);
    return fd;
}

SendResult sendAll(int fd, std::span<const std::uint8_t> bytes, const Deadline& deadline) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(fd, POLLOUT, deadline))
                return done == 0 ? SendResult::timedOut : SendResult::broken;
            continue;
        }
        return SendResult::broken;
    }
    return SendResult::sent;
}

ReadResult FrameReader::take(VekCmd& out) {
    std::size_t available = buffer_.size() - start_;
    if (available < kVekHeadSize)
        return ReadResult::incomplete;
    std::uint32_t dataLength = vekGet32(buffer_.data() + start_ + 20);
    if (dataLength > kVekMaxDataLength)
        return ReadResult::tooLarge;
    std::size_t total = kVekHeadSize + dataLength;
    if (available < total)
        return ReadResult::incomplete;
    auto first = buffer_.begin() + static_cast<std::ptrdiff_t>(start_);
    out = VekCmd::fromWire(std::vector<std::uint8_t>(first, first + static_cast<std::ptrdiff_t>(total)));
    start_ += total;
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    return ReadResult::frame;
}

bool FrameReader::fill(int fd) {
    // Drop what was consumed before growing, so the buffer never holds more than the
    // frame being assembled plus one read.
    if (start_ > 0) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    std::uint8_t chunk[65536];
    for (;;) {
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            buffer_.insert(buffer_.end(), chunk, chunk + n);
            return true;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        return false;
    }
}

ReadResult FrameReader::read(int fd, const Deadline& deadline, VekCmd& out) {
    for (;;) {
        ReadResult r = take(out);
        if (r != ReadResult::incomplete)
            return r;
        if (!waitFor(fd, POLLIN, deadline))
            return ReadResult::timedOut;
        if (!fill(fd))
            return ReadResult::closed;
    }
}

} // namespace VekSocket
