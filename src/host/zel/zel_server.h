#pragma once
// Zel servers: CZelR3 joins the request handling (CZelWatchServerR3 on CZel), the
// logger (CZelLog) and a router port with its receive thread (CVekR3Port).
//
// A received command flagged as Zel request reaches the indications; every other
// command reaches VekDispatch; a response reaching a server is dropped. Indications
// run on the port's receive thread, and their data is valid only during the call. The
// base indications answer every request with 0x7F01 (not supported).

#include <cstdint>

#include "host/zel/vek_port.h"

// The indications a Zel server receives, with the library's default answers.
class CZel {
public:
    virtual ~CZel() = default;

    virtual void ZelReadInd(const VekAddr& source, std::uint32_t invokeId, std::uint32_t indexGroup,
                            std::uint32_t indexOffset, std::uint32_t length);
    virtual void ZelWriteInd(const VekAddr& source, std::uint32_t invokeId, std::uint32_t indexGroup,
                             std::uint32_t indexOffset, std::uint32_t length, const std::uint8_t* data);
    virtual void ZelReadWriteInd(const VekAddr& source, std::uint32_t invokeId,
                                 std::uint32_t indexGroup, std::uint32_t indexOffset,
                                 std::uint32_t readLength, std::uint32_t writeLength,
                                 const std::uint8_t* data);
    virtual void ZelReadDeviceInfoInd(const VekAddr& source, std::uint32_t invokeId);

    // Answers, each 0 when handed on to the router, else the port's error.
    virtual std::uint32_t ZelReadRes(const VekAddr& source, std::uint32_t invokeId,
                                     std::uint32_t result, std::uint32_t length,
                                     const std::uint8_t* data) = 0;
    virtual std::uint32_t ZelWriteRes(const VekAddr& source, std::uint32_t invokeId,
                                      std::uint32_t result) = 0;
    virtual std::uint32_t ZelReadWriteRes(const VekAddr& source, std::uint32_t invokeId,
                                          std::uint32_t result, std::uint32_t length,
                                          const std::uint8_t* data) = 0;
    virtual std::uint32_t ZelReadDeviceInfoRes(const VekAddr& source, std::uint32_t invokeId,
                                               std::uint32_t result, const char* name,
                                               ZelVersion version) = 0;
};

// A Zel server's answers, sent through its port.
class CZelWatchServerR3 : public CZel {
public:
    explicit CZelWatchServerR3(CVekPort& port) : port_(port) {}

    std::uint32_t ZelReadRes(const VekAddr& source, std::uint32_t invokeId, std::uint32_t result,
                             std::uint32_t length, const std::uint8_t* data) override;
    std::uint32_t ZelWriteRes(const VekAddr& source, std::uint32_t invokeId,
                              std::uint32_t result) override;
    std::uint32_t ZelReadWriteRes(const VekAddr& source, std::uint32_t invokeId,
                                  std::uint32_t result, std::uint32_t length,
                                  const std::uint8_t* data) override;
    // name: 16 bytes, sent as they are up to the first NUL and padded with NUL bytes.
    std::uint32_t ZelReadDeviceInfoRes(const VekAddr& source, std::uint32_t invokeId,
                                       std::uint32_t result, const char* name,
                                       ZelVersion version) override;

private:
    std::uint32_t answer(ZelCommandId id, const VekAddr& source, std::uint32_t invokeId,
                         std::uint32_t result, std::span<const std::uint8_t> data);

    CVekPort& port_;
};

// Reports log lines to the NC system's logger, the collector on port 100.
class CZelLog {
public:
    explicit CZelLog(CVekPort& port) : port_(port) {}
    virtual ~CZelLog() = default;

    // The device name the lines are reported under (at most 16 characters are used).
    virtual const char* ZelGetDeviceName();

    // Formats the line and hands it to the collector without waiting for anything;
    // returns at once without a connection, and drops the line when the router takes
    // nothing within a short time. Safe to call inside the Log's mutex: it never logs.
    [[gnu::format(printf, 3, 4)]] void ZelReportLog(std::uint32_t flags, const char* format, ...);

    // How long a report may wait for the router before it is dropped.
    static constexpr int kSendTimeoutMs = 200;

private:
    CVekPort& port_;
};

class CZelR3 : public CVekR3Port, public CZelWatchServerR3, public CZelLog {
public:
    CZelR3(std::uint16_t port, int connectNow, const char* name, int receiveThreads);
    ~CZelR3() override;

protected:
    void VekReceive(const VekCmd& command) override;
};
