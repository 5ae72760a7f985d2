#include "host/zel/vek_port.h"

#include <cstring>
#include <sys/socket.h>

CVekPort::CVekPort(std::uint16_t port, int connectNow, const char* name)
    : defaultPort_(port), zelTimeoutMs_(::zelTimeoutMs()) {
    if (name)
        name_.assign(name, strnlen(name, kVekMaxNameLength));
    if (connectNow)
        CVekPort::VekConnect(port, 4096, 80);
}

CVekPort::~CVekPort() {
    dropConnection();
    closeSocket();
}

void CVekPort::VekSetName(const char* name) {
    std::lock_guard lock(stateMutex_);
    name_.assign(name ? name : "", name ? strnlen(name, kVekMaxNameLength) : 0);
}

int CVekPort::VekConnect(std::uint16_t port, std::uint32_t, std::uint32_t) {
    // The send mutex keeps the socket from being replaced under a send in progress.
    std::scoped_lock lock(sendMutex_, stateMutex_);
    if (connected_)
        return 0;
    closeSocket();
    reader_ = VekSocket::FrameReader();
    fd_ = VekSocket::connectTo(vekRouterPath());
    if (fd_ < 0)
        return 0;
    if (port == 0)
        port = defaultPort_;

    std::vector<std::uint8_t> body;
    vekPut16(body, port);
    body.insert(body.end(), name_.begin(), name_.end());
    VekHead head;
    head.target = VekAddr{vekLocalNetId(), vekPort(VekPortNumber::router)};
    head.source = VekAddr{vekLocalNetId(), 0};
    head.cmdId = static_cast<std::uint16_t>(VekRouterCommandId::connect);
    head.invokeId = nextInvokeId();
    VekCmd request(head, body);

    auto deadline = VekSocket::deadlineIn(zelTimeoutMs_);
    VekCmd answer;
    bool accepted = VekSocket::sendAll(fd_, request.wire(), deadline) == VekSocket::SendResult::sent &&
                    reader_.read(fd_, deadline, answer) == VekSocket::ReadResult::frame;
    VekHead answerHead = answer.head();
    accepted = accepted && vekHasFlag(answerHead.stateFlags, VekStateFlag::response) &&
               answerHead.invokeId == head.invokeId && answerHead.errorCode == 0 &&
               answer.data().size() >= 2;
    if (!accepted) {
        closeSocket();
        return 0;
    }
    addrPort_ = vekGet16(answer.data().data());
    connected_ = true;
    return 1;
}

int CVekPort::VekDisconnect() {
    dropConnection();
    return 1;
}

void CVekPort::dropConnection() {
    std::lock_guard lock(stateMutex_);
    connected_ = false;
    if (fd_ >= 0)
        ::shutdown(fd_, SHUT_RDWR); // wakes a thread blocked reading or writing it
}

VekSocket::ReadResult CVekPort::readFrame(const VekSocket::Deadline& deadline, VekCmd& cmd) {
    return reader_.read(fd_, deadline, cmd);
}

void CVekPort::closeSocket() { VekSocket::closeFd(fd_); }

std::uint32_t CVekPort::nextInvokeId() {
    std::uint32_t id;
    do
        id = ++invokeCounter_;
    while (id == 0); // 0 marks requests whose answer nobody waits for
    return id;
}

void CVekPort::VekMakeHead(VekHead& head, std::uint16_t cmdId, std::uint32_t dataLength,
                           const VekAddr& target, std::uint16_t stateFlags,
                           std::uint32_t errorCode, std::uint32_t invokeId) const {
    head.target = target;
    head.source = VekGetAddr();
    head.cmdId = cmdId;
    head.stateFlags = stateFlags;
    head.dataLength = dataLength;
    head.errorCode = errorCode;
    head.invokeId = invokeId;
}

std::uint32_t CVekPort::VekSend(const VekCmd& command, int timeoutMs) {
    if (timeoutMs < 0)
        timeoutMs = zelTimeoutMs_;
    std::lock_guard lock(sendMutex_);
    if (!connected_)
        return zelCode(ZelError::notConnected);
    switch (VekSocket::sendAll(fd_, command.wire(), VekSocket::deadlineIn(timeoutMs))) {
    case VekSocket::SendResult::sent: return 0;
    case VekSocket::SendResult::timedOut: return zelCode(ZelError::timeout);
    case VekSocket::SendResult::broken: break;
    }
    // Part of a frame may be out: the stream cannot be resumed.
    dropConnection();
    return zelCode(ZelError::notConnected);
}

std::uint32_t CVekPort::VekResponse(std::span<const std::uint8_t> command, std::uint32_t result) {
    if (command.size() < kVekHeadSize)
        return zelCode(ZelError::notSupported);
    VekCmd answer = vekMakeResponse(command, result);
    VekHead head = answer.head();
    head.source = VekGetAddr();
    answer.setHead(head);
    return VekSend(answer);
}

std::uint32_t CVekPort::awaitAnswer(std::uint32_t invokeId, const VekSocket::Deadline& deadline,
                                    VekCmd& answer) {
    for (;;) {
        if (!connected_)
            return zelCode(ZelError::notConnected);
        VekCmd cmd;
        switch (readFrame(deadline, cmd)) {
        case VekSocket::ReadResult::frame: break;
        case VekSocket::ReadResult::timedOut: return zelCode(ZelError::timeout);
        case VekSocket::ReadResult::closed:
        case VekSocket::ReadResult::tooLarge:
        case VekSocket::ReadResult::incomplete:
            dropConnection();
            return zelCode(ZelError::notConnected);
        }
        VekHead head = cmd.head();
        if (vekHasFlag(head.stateFlags, VekStateFlag::response) && head.invokeId == invokeId) {
            answer = std::move(cmd);
            return 0;
        }
        // A late answer to an earlier request, or a command nobody serves on this port.
        if (deadline && VekSocket::Clock::now() >= *deadline)
            return zelCode(ZelError::timeout);
    }
}

CVekR3Port::CVekR3Port(std::uint16_t port, int connectNow, const char* name, int)
    : CVekPort(port, 0, name) {
    if (connectNow)
        CVekR3Port::VekConnect(port, 4096, 80);
}

CVekR3Port::~CVekR3Port() { portShutdown(); }

int CVekR3Port::VekConnect(std::uint16_t port, std::uint32_t bufferSize, std::uint32_t bufferCount) {
    // A handler cannot wait for its own thread to end.
    if (VekIsConnected() || receiver_.get_id() == std::this_thread::get_id())
        return 0;
    joinReceiver();
    if (!CVekPort::VekConnect(port, bufferSize, bufferCount))
        return 0;
    receiver_ = std::thread([this] { receiveLoop(); });
    return 1;
}

void CVekR3Port::portShutdown() {
    dropConnection();
    joinReceiver();
}

void CVekR3Port::joinReceiver() {
    if (!receiver_.joinable())
        return;
    if (receiver_.get_id() == std::this_thread::get_id()) {
        // Called from a handler: the thread ends by itself once the handler returns.
        receiver_.detach();
        return;
    }
    receiver_.join();
}

void CVekR3Port::receiveLoop() {
    for (;;) {
        VekCmd cmd;
        // The connect answer may have arrived together with the first commands, so the
        // thread goes on with the reader that took it.
        if (readFrame(std::nullopt, cmd) != VekSocket::ReadResult::frame)
            break;
        if (!VekIsConnected())
            break; // disconnected: what is still buffered is not handed out
        VekReceive(cmd);
    }
    dropConnection();
}

void CVekR3Port::VekReceive(const VekCmd& command) {
    if (!VekIsResponseCommand(command))
        VekDispatch(command);
}

void CVekR3Port::VekDispatch(const VekCmd& command) {
    if (!VekIsResponseCommand(command))
        VekResponse(command, zelCode(ZelError::notSupported));
}
