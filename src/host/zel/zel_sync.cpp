#include "host/zel/zel_sync.h"

#include <cstring>

#include "host/zel/zel_wire.h"

CZelSync::CZelSync(std::uint16_t port, int connectNow, const char* name)
    : CVekPort(port, connectNow, name) {}

int CZelSync::VekConnect(std::uint16_t port, std::uint32_t bufferSize, std::uint32_t bufferCount) {
    std::lock_guard lock(requestMutex_);
    return CVekPort::VekConnect(port, bufferSize, bufferCount);
}

std::uint32_t CZelSync::postLocked(VekCmd command, std::uint32_t& invokeId) {
    if (!VekIsConnected() && !CVekPort::VekConnect(0, 4096, 80))
        return zelCode(ZelError::notConnected);
    VekHead head = command.head();
    head.source = VekGetAddr();
    head.invokeId = invokeId = nextInvokeId();
    command.setHead(head);
    return VekSend(command);
}

std::uint32_t CZelSync::request(VekCmd command, VekCmd& answer) {
    std::lock_guard lock(requestMutex_);
    auto deadline = VekSocket::deadlineIn(zelTimeoutMs());
    std::uint32_t invokeId = 0;
    if (std::uint32_t failed = postLocked(std::move(command), invokeId); failed != 0)
        return failed;
    return awaitAnswer(invokeId, deadline, answer);
}

std::uint32_t CZelSync::VekPost(const VekCmd& command, std::uint32_t& invokeId) {
    std::lock_guard lock(requestMutex_);
    return postLocked(command, invokeId);
}

std::uint32_t CZelSync::VekAwait(std::uint32_t invokeId, VekCmd& response) {
    std::lock_guard lock(requestMutex_);
    return awaitAnswer(invokeId, VekSocket::deadlineIn(zelTimeoutMs()), response);
}

std::uint32_t CZelSync::zelRequest(const VekAddr& address, ZelCommandId id,
                                   std::uint32_t indexGroup, std::uint32_t indexOffset,
                                   std::uint32_t readLength, std::span<const std::uint8_t> written,
                                   VekCmd& answer) {
    VekHead head;
    VekMakeHead(head, static_cast<std::uint16_t>(id), 0, address, kZelRequestFlags, 0, 0);
    VekCmd command(head, zelEncodeRequest(id, indexGroup, indexOffset, readLength, written));
    if (std::uint32_t failed = request(std::move(command), answer); failed != 0)
        return failed;
    return answer.head().errorCode;
}

std::uint32_t CZelSync::copyReadAnswer(const VekCmd& answer, std::uint32_t length, void* data) {
    auto bytes = answer.data();
    if (bytes.size() < length)
        return zelCode(ZelError::answerTooShort);
    if (length > 0)
        std::memcpy(data, bytes.data(), length);
    return 0;
}

std::uint32_t CZelSync::ZelSyncReadReq(const VekAddr& address, std::uint32_t indexGroup,
                                       std::uint32_t indexOffset, std::uint32_t length, void* data) {
    VekCmd answer;
    std::uint32_t result = zelRequest(address, ZelCommandId::read, indexGroup, indexOffset, length, {}, answer);
    return result != 0 ? result : copyReadAnswer(answer, length, data);
}

std::uint32_t CZelSync::ZelSyncWriteReq(const VekAddr& address, std::uint32_t indexGroup,
                                        std::uint32_t indexOffset, std::uint32_t length,
                                        const void* data) {
    VekCmd answer;
    auto written = std::span(static_cast<const std::uint8_t*>(data), data ? length : 0);
    return zelRequest(address, ZelCommandId::write, indexGroup, indexOffset, 0, written, answer);
}

std::uint32_t CZelSync::ZelSyncReadWriteReq(const VekAddr& address, std::uint32_t indexGroup,
                                            std::uint32_t indexOffset, std::uint32_t readLength,
                                            void* readData, std::uint32_t writeLength,
                                            const void* writeData) {
    VekCmd answer;
    auto written = std::span(static_cast<const std::uint8_t*>(writeData), writeData ? writeLength : 0);
    std::uint32_t result = zelRequest(address, ZelCommandId::readWrite, indexGroup, indexOffset,
                                      readLength, written, answer);
    return result != 0 ? result : copyReadAnswer(answer, readLength, readData);
}

std::uint32_t CZelSync::ZelSyncReadDeviceInfoReq(const VekAddr& address,
                                                 char (&name)[kZelDeviceNameSize],
                                                 ZelVersion& version) {
    VekCmd answer;
    std::uint32_t result = zelRequest(address, ZelCommandId::deviceInfo, 0, 0, 0, {}, answer);
    if (result != 0)
        return result;
    return zelDecodeDeviceInfo(answer.data(), name, version) ? 0 : zelCode(ZelError::answerTooShort);
}

std::uint32_t CZelSync::ZelWriteReq(const VekAddr& address, std::uint32_t invokeId,
                                    std::uint32_t indexGroup, std::uint32_t indexOffset,
                                    std::uint32_t length, const void* data) {
    if (!VekIsConnected() && !VekConnect(0, 4096, 80))
        return zelCode(ZelError::notConnected);
    auto written = std::span(static_cast<const std::uint8_t*>(data), data ? length : 0);
    VekHead head;
    VekMakeHead(head, static_cast<std::uint16_t>(ZelCommandId::write), 0, address,
                kZelRequestFlags, 0, invokeId);
    return VekSend(VekCmd(head, zelEncodeRequest(ZelCommandId::write, indexGroup, indexOffset, 0, written)));
}

std::uint32_t CZelSync::VekSyncRequest(const VekCmd& command, VekCmd& response) {
    return request(command, response);
}

std::uint32_t CZelSync::VekSyncFindPort(const char* name, VekAddr& address) {
    std::string text = name ? std::string(name, strnlen(name, kVekMaxNameLength)) : std::string();
    VekHead head;
    VekMakeHead(head, static_cast<std::uint16_t>(VekRouterCommandId::lookup), 0,
                VekAddr{vekLocalNetId(), vekPort(VekPortNumber::router)}, 0, 0, 0);
    VekCmd answer;
    std::uint32_t failed =
        request(VekCmd(head, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())), answer);
    if (failed != 0)
        return failed;
    if (answer.head().errorCode != 0)
        return answer.head().errorCode;
    if (answer.data().size() < 2)
        return zelCode(ZelError::answerTooShort);
    address = VekAddr{vekLocalNetId(), vekGet16(answer.data().data())};
    return 0;
}
