#include "host/zel/zel_server.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/zel/zel_wire.h"

void CZel::ZelReadInd(const VekAddr& source, std::uint32_t invokeId, std::uint32_t, std::uint32_t,
                      std::uint32_t) {
    ZelReadRes(source, invokeId, zelCode(ZelError::notSupported), 0, nullptr);
}

void CZel::ZelWriteInd(const VekAddr& source, std::uint32_t invokeId, std::uint32_t, std::uint32_t,
                       std::uint32_t, const std::uint8_t*) {
    ZelWriteRes(source, invokeId, zelCode(ZelError::notSupported));
}

void CZel::ZelReadWriteInd(const VekAddr& source, std::uint32_t invokeId, std::uint32_t,
                           std::uint32_t, std::uint32_t, std::uint32_t, const std::uint8_t*) {
    ZelReadWriteRes(source, invokeId, zelCode(ZelError::notSupported), 0, nullptr);
}

void CZel::ZelReadDeviceInfoInd(const VekAddr& source, std::uint32_t invokeId) {
    ZelReadDeviceInfoRes(source, invokeId, zelCode(ZelError::notSupported), "", ZelVersion{});
}

std::uint32_t CZelWatchServerR3::answer(ZelCommandId id, const VekAddr& source,
                                        std::uint32_t invokeId, std::uint32_t result,
                                        std::span<const std::uint8_t> data) {
    VekHead head;
    port_.VekMakeHead(head, static_cast<std::uint16_t>(id), 0, source, kZelAnswerFlags, result,
                      invokeId);
    return port_.VekSend(VekCmd(head, data));
}

std::uint32_t CZelWatchServerR3::ZelReadRes(const VekAddr& source, std::uint32_t invokeId,
                                            std::uint32_t result, std::uint32_t length,
                                            const std::uint8_t* data) {
    return answer(ZelCommandId::read, source, invokeId, result,
                  std::span<const std::uint8_t>(data, data ? length : 0));
}

std::uint32_t CZelWatchServerR3::ZelWriteRes(const VekAddr& source, std::uint32_t invokeId,
                                             std::uint32_t result) {
    return answer(ZelCommandId::write, source, invokeId, result, {});
}

std::uint32_t CZelWatchServerR3::ZelReadWriteRes(const VekAddr& source, std::uint32_t invokeId,
                                                 std::uint32_t result, std::uint32_t length,
                                                 const std::uint8_t* data) {
    return answer(ZelCommandId::readWrite, source, invokeId, result,
                  std::span<const std::uint8_t>(data, data ? length : 0));
}

std::uint32_t CZelWatchServerR3::ZelReadDeviceInfoRes(const VekAddr& source,
                                                      std::uint32_t invokeId, std::uint32_t result,
                                                      const char* name, ZelVersion version) {
    return answer(ZelCommandId::deviceInfo, source, invokeId, result,
                  zelEncodeDeviceInfo(name, version));
}

const char* CZelLog::ZelGetDeviceName() { return ""; }

void CZelLog::ZelReportLog(std::uint32_t flags, const char* format, ...) {
    if (!port_.VekIsConnected())
        return;
    // Long lines are cut so the report stays well inside one command.
    constexpr std::size_t maxText = 64 * 1024;
    char small[512];
    va_list args;
    va_list again;
    va_start(args, format);
    va_copy(again, args);
    int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string line;
    if (n >= 0 && static_cast<std::size_t>(n) < sizeof small) {
        line.assign(small, static_cast<std::size_t>(n));
    } else if (n >= 0) {
        line.resize(std::min<std::size_t>(static_cast<std::size_t>(n), maxText));
        std::vsnprintf(line.data(), line.size() + 1, format, again);
    }
    va_end(again);
    if (n < 0)
        return;
    VekHead head;
    port_.VekMakeHead(head, static_cast<std::uint16_t>(ZelCommandId::logReport), 0,
                      VekAddr{vekLocalNetId(), vekPort(VekPortNumber::logger)},
                      static_cast<std::uint16_t>(VekStateFlag::zelRequest), 0, 0);
    port_.VekSend(VekCmd(head, zelEncodeLogReport(flags, ZelGetDeviceName(), line)), kSendTimeoutMs);
}

// Servers connect through VekConnect once fully built, so the receive thread never
// reaches an object under construction: connectNow is not used here.
CZelR3::CZelR3(std::uint16_t port, int, const char* name, int receiveThreads)
    : CVekR3Port(port, 0, name, receiveThreads), CZelWatchServerR3(static_cast<CVekPort&>(*this)),
      CZelLog(static_cast<CVekPort&>(*this)) {}

CZelR3::~CZelR3() { portShutdown(); }

void CZelR3::VekReceive(const VekCmd& command) {
    VekHead head = command.head();
    if (vekHasFlag(head.stateFlags, VekStateFlag::response))
        return;
    if (!vekHasFlag(head.stateFlags, VekStateFlag::zelRequest)) {
        VekDispatch(command);
        return;
    }
    ZelRequest request;
    if (!zelDecodeRequest(command, request)) {
        // Unknown or malformed: the library's default answer.
        VekResponse(command, zelCode(ZelError::notSupported));
        return;
    }
    const VekAddr& source = head.source;
    switch (request.id) {
    case ZelCommandId::deviceInfo: ZelReadDeviceInfoInd(source, head.invokeId); return;
    case ZelCommandId::read:
        ZelReadInd(source, head.invokeId, request.indexGroup, request.indexOffset, request.readLength);
        return;
    case ZelCommandId::write:
        ZelWriteInd(source, head.invokeId, request.indexGroup, request.indexOffset,
                    static_cast<std::uint32_t>(request.written.size()), request.written.data());
        return;
    case ZelCommandId::readWrite:
        ZelReadWriteInd(source, head.invokeId, request.indexGroup, request.indexOffset,
                        request.readLength, static_cast<std::uint32_t>(request.written.size()),
                        request.written.data());
        return;
    case ZelCommandId::logReport:
        // A server is no log collector; reports need no answer.
        return;
    }
}
