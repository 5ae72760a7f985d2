#pragma once
// The synchronous Zel client. It has no thread: the calling thread sends its request and
// then reads the client's own socket until the answer with its invoke id arrives,
// dropping everything else (late answers to earlier ZelWriteReq calls included). Calls
// from several threads are served one after the other.
//
// Every call returns 0 on success or an error code: the server's result, 0x7F02 when no
// answer came within $VORDASH_ZEL_TIMEOUT_MS, 0x7F03 without a router connection (a
// call on an unconnected client first tries once to connect), 0x7F04 when no port has
// the target number, 0x7F05 when a read was answered with fewer bytes than asked.

#include <cstdint>
#include <mutex>

#include "host/zel/vek_port.h"

class CZelSync : public CVekPort {
public:
    // port as CVekPort; connectNow 1 connects at construction (to any free port when 0).
    CZelSync(std::uint16_t port, int connectNow, const char* name);

    int VekConnect(std::uint16_t port, std::uint32_t bufferSize, std::uint32_t bufferCount) override;

    // Fills exactly length bytes of data; a longer answer is cut to length.
    std::uint32_t ZelSyncReadReq(const VekAddr& address, std::uint32_t indexGroup,
                                 std::uint32_t indexOffset, std::uint32_t length, void* data);
    std::uint32_t ZelSyncWriteReq(const VekAddr& address, std::uint32_t indexGroup,
                                  std::uint32_t indexOffset, std::uint32_t length, const void* data);
    // Fills exactly readLength bytes of readData.
    std::uint32_t ZelSyncReadWriteReq(const VekAddr& address, std::uint32_t indexGroup,
                                      std::uint32_t indexOffset, std::uint32_t readLength,
                                      void* readData, std::uint32_t writeLength,
                                      const void* writeData);
    std::uint32_t ZelSyncReadDeviceInfoReq(const VekAddr& address, char (&name)[kZelDeviceNameSize],
                                           ZelVersion& version);
    // Sends a write and returns as soon as the router has it; the answer is dropped
    // whenever it arrives. invokeId 0 is never used by a waiting request.
    std::uint32_t ZelWriteReq(const VekAddr& address, std::uint32_t invokeId,
                              std::uint32_t indexGroup, std::uint32_t indexOffset,
                              std::uint32_t length, const void* data);

    // Sends a Vek command (head made with VekMakeHead; its invoke id is replaced) and
    // waits for its response; the result is the port's error or 0, the response's
    // error code is in its head.
    std::uint32_t VekSyncRequest(const VekCmd& command, VekCmd& response);
    // The two halves of VekSyncRequest, for callers that must not wait at once: post
    // sends and tells the invoke id, await waits for that answer (dropping others).
    std::uint32_t VekPost(const VekCmd& command, std::uint32_t& invokeId);
    std::uint32_t VekAwait(std::uint32_t invokeId, VekCmd& response);
    // Asks the router for the port with the name.
    std::uint32_t VekSyncFindPort(const char* name, VekAddr& address);

private:
    std::uint32_t request(VekCmd command, VekCmd& answer);
    std::uint32_t postLocked(VekCmd command, std::uint32_t& invokeId);
    std::uint32_t zelRequest(const VekAddr& address, ZelCommandId id, std::uint32_t indexGroup,
                             std::uint32_t indexOffset, std::uint32_t readLength,
                             std::span<const std::uint8_t> written, VekCmd& answer);
    std::uint32_t copyReadAnswer(const VekCmd& answer, std::uint32_t length, void* data);

    std::mutex requestMutex_; // one request on the socket at a time; taken before the send mutex
};
