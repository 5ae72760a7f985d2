#pragma once
// Data layout of the Zel requests, their answers and log reports inside Vek commands.
//
// A Zel request is a command flagged 0x0004 with one of the ZelCommandId ids; its
// answer keeps id and invoke id, adds 0x0001 and carries the result as error code.
// All integers little-endian:
//   device info: request empty; answer char[16] name (NUL padded), uint8 version,
//                uint8 revision, uint16 build
//   read:        request group, offset, length (uint32 each); answer the bytes read
//   write:       request group, offset, length, then the bytes; answer empty
//   read-write:  request group, offset, readLength, writeLength, then the bytes
//                written; answer the bytes read
//   log report:  uint32 flags, char[16] device name (NUL padded), the text; no answer

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "host/zel/vek_types.h"

inline constexpr std::uint16_t kZelRequestFlags = static_cast<std::uint16_t>(VekStateFlag::zelRequest);
inline constexpr std::uint16_t kZelAnswerFlags =
    static_cast<std::uint16_t>(VekStateFlag::zelRequest) | static_cast<std::uint16_t>(VekStateFlag::response);

struct ZelRequest {
    ZelCommandId id = ZelCommandId::deviceInfo;
    std::uint32_t indexGroup = 0;
    std::uint32_t indexOffset = 0;
    std::uint32_t readLength = 0;
    std::span<const std::uint8_t> written; // points into the decoded command
};

// Encodes the data part of a request.
std::vector<std::uint8_t> zelEncodeRequest(ZelCommandId id, std::uint32_t indexGroup,
                                           std::uint32_t indexOffset, std::uint32_t readLength,
                                           std::span<const std::uint8_t> written);
// False for an unknown id or a data part that does not match its lengths.
bool zelDecodeRequest(const VekCmd& cmd, ZelRequest& request);

std::vector<std::uint8_t> zelEncodeDeviceInfo(const char* name, ZelVersion version);
// False when the data is shorter than a device-information answer.
bool zelDecodeDeviceInfo(std::span<const std::uint8_t> data, char (&name)[kZelDeviceNameSize],
                         ZelVersion& version);

// The report a logger port sends to the collector on port 100.
struct ZelLogReport {
    std::uint32_t flags = 0;
    std::string deviceName; // up to 16 characters, the NUL padding removed
    std::string text;
};

std::vector<std::uint8_t> zelEncodeLogReport(std::uint32_t flags, const char* deviceName,
                                             const std::string& text);
// False when the command is no well-formed log report.
bool zelDecodeLogReport(const VekCmd& cmd, ZelLogReport& report);
