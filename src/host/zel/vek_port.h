#pragma once
// Vek ports: one connection to the router each.
//
// CVekPort has no thread: whoever asks reads the port's own socket until the answer
// arrives (CZelSync). CVekR3Port adds a receive thread that hands every received
// command to VekReceive; servers derive from it.
//
// Locks: a port's send mutex serialises its writes and is the innermost lock of the
// program; nothing is called while it is held. The state mutex guards connecting and
// disconnecting only.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "host/zel/vek_socket.h"
#include "host/zel/vek_types.h"

class CVekPort {
public:
    // port: the number VekConnect uses when it is given 0 and this is not 0;
    // connectNow: connect at construction; name: the port's name at the router.
    CVekPort(std::uint16_t port, int connectNow, const char* name);
    virtual ~CVekPort();
    CVekPort(const CVekPort&) = delete;
    CVekPort& operator=(const CVekPort&) = delete;

    // Connects to the router under the port number (0: any free one from 0x8000 up).
    // Non-zero on success; 0 when there is no router, the port is taken or this port
    // is connected already. The two sizes are accepted for compatibility; the router
    // bounds its queues itself.
    virtual int VekConnect(std::uint16_t port, std::uint32_t bufferSize, std::uint32_t bufferCount);
    // Ends the router connection. Never waits for the receive thread; non-zero on
    // success, also when the port was not connected.
    virtual int VekDisconnect();

    bool VekIsConnected() const { return connected_.load(); }
    std::uint16_t VekGetPort() const { return addrPort_.load(); }
    VekAddr VekGetAddr() const { return VekAddr{vekLocalNetId(), VekGetPort()}; }
    // The name the router finds this port by; taken at the next VekConnect.
    void VekSetName(const char* name);

    static bool VekIsResponseCommand(std::span<const std::uint8_t> command) {
        return vekIsResponse(command);
    }
    static bool VekIsResponseCommand(const VekCmd& command) { return vekIsResponse(command.wire()); }

    // Fills a head addressed to target with this port's own address as source.
    void VekMakeHead(VekHead& head, std::uint16_t cmdId, std::uint32_t dataLength,
                     const VekAddr& target, std::uint16_t stateFlags, std::uint32_t errorCode,
                     std::uint32_t invokeId) const;

    // Returns a received command to its sender with the result; 0 when it was handed
    // on, else 0x7F03 (not connected) or 0x7F02.
    std::uint32_t VekResponse(std::span<const std::uint8_t> command, std::uint32_t result);
    std::uint32_t VekResponse(const VekCmd& command, std::uint32_t result) {
        return VekResponse(command.wire(), result);
    }

    // Hands a command to the router without waiting for an answer; 0 when it was
    // handed on, 0x7F03 without a connection, 0x7F02 when the router took nothing
    // within the timeout (default: the Zel timeout).
    std::uint32_t VekSend(const VekCmd& command, int timeoutMs = -1);

protected:
    // Reads the port's socket until the answer with the invoke id arrives or the
    // deadline passes; everything else read on the way is dropped. Only for ports
    // without a receive thread.
    std::uint32_t awaitAnswer(std::uint32_t invokeId, const VekSocket::Deadline& deadline,
                              VekCmd& answer);
    std::uint32_t nextInvokeId();
    // Reads the next command from the port's socket; one reader at a time.
    VekSocket::ReadResult readFrame(const VekSocket::Deadline& deadline, VekCmd& cmd);
    int zelTimeoutMs() const { return zelTimeoutMs_; }
    // Marks the port disconnected and shuts its socket down; the socket stays open
    // until the next connect or the destructor, so no thread reads a reused number.
    void dropConnection();
    // Closes a socket that was shut down; the receive thread must have ended.
    void closeSocket();

    std::uint16_t defaultPort_;
    const int zelTimeoutMs_;

private:
    mutable std::mutex stateMutex_;
    std::mutex sendMutex_;
    std::string name_;
    int fd_ = -1;
    std::atomic<bool> connected_{false};
    std::atomic<std::uint16_t> addrPort_{0};
    std::atomic<std::uint32_t> invokeCounter_{0};
    VekSocket::FrameReader reader_;
};

class CVekR3Port : public CVekPort {
public:
    // port, connectNow and name as CVekPort; receiveThreads is accepted for
    // compatibility: every connected port has exactly one receive thread.
    CVekR3Port(std::uint16_t port, int connectNow, const char* name, int receiveThreads);
    ~CVekR3Port() override;

    int VekConnect(std::uint16_t port, std::uint32_t bufferSize, std::uint32_t bufferCount) override;

    // Handles a received command that is no Zel request. The base answers every
    // command that is not itself a response with 0x7F01.
    virtual void VekDispatch(const VekCmd& command);

    // Stops the receive thread and waits for it. Every derived destructor calls this
    // first, with no lock held, so no handler reaches a half-destroyed object; after it
    // no handler runs any more.
    void portShutdown();

protected:
    // Called on the receive thread for every received command while the port is
    // connected. The base drops responses and hands the rest to VekDispatch.
    virtual void VekReceive(const VekCmd& command);

private:
    void joinReceiver();
    void receiveLoop();

    std::thread receiver_;
};
