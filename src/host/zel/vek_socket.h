#pragma once
// Socket plumbing shared by the router and the ports: non-blocking Unix-domain stream
// sockets that carry whole commands, with deadlines on every wait.

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <sys/un.h>

#include "host/zel/vek_types.h"

namespace VekSocket {

using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>; // none: wait without end

Deadline deadlineIn(int milliseconds);

// An AF_UNIX address for the path; false when the path does not fit.
bool makeAddress(const std::string& path, sockaddr_un& address);

// Connects a non-blocking stream socket to the router at the path; -1 when no router
// listens there.
int connectTo(const std::string& path);

void setNonBlocking(int fd);
void closeFd(int& fd);

enum class SendResult {
    sent,
    timedOut, // nothing of the frame was written: the stream is intact
    broken,   // the connection failed, or it timed out part-way through the frame
};

// Writes all bytes before the deadline; only a frame that was not started may be given up.
SendResult sendAll(int fd, std::span<const std::uint8_t> bytes, const Deadline& deadline);

enum class ReadResult {
    frame,
    timedOut,
    closed,   // end of stream or a read error
    tooLarge,   // a head announced more data than kVekMaxDataLength
    incomplete, // take only: no whole command received yet
};

// Collects the byte stream of one socket into whole commands.
class FrameReader {
public:
    ReadResult read(int fd, const Deadline& deadline, VekCmd& out);
    // Takes the next whole command out of the bytes already received, if there is one.
    ReadResult take(VekCmd& out);
    // Appends bytes received without waiting; false on end of stream or error.
    bool fill(int fd);

private:
    std::vector<std::uint8_t> buffer_;
    std::size_t start_ = 0;
};

} // namespace VekSocket
