#include "host/zel/zel_wire.h"

#include <cstring>

namespace {

// Appends a name as exactly 16 bytes: up to the first NUL, padded with NUL bytes.
void putName(std::vector<std::uint8_t>& out, const char* name) {
    std::size_t length = name ? strnlen(name, kZelDeviceNameSize) : 0;
    out.insert(out.end(), name, name + length);
    out.insert(out.end(), kZelDeviceNameSize - length, 0);
}

} // namespace

std::vector<std::uint8_t> zelEncodeRequest(ZelCommandId id, std::uint32_t indexGroup,
                                           std::uint32_t indexOffset, std::uint32_t readLength,
                                           std::span<const std::uint8_t> written) {
    std::vector<std::uint8_t> data;
    switch (id) {
    case ZelCommandId::deviceInfo:
    case ZelCommandId::logReport: return data;
    case ZelCommandId::read:
        vekPut32(data, indexGroup);
        vekPut32(data, indexOffset);
        vekPut32(data, readLength);
        return data;
    case ZelCommandId::write:
        vekPut32(data, indexGroup);
        vekPut32(data, indexOffset);
        vekPut32(data, static_cast<std::uint32_t>(written.size()));
        data.insert(data.end(), written.begin(), written.end());
        return data;
    case ZelCommandId::readWrite:
        vekPut32(data, indexGroup);
        vekPut32(data, indexOffset);
        vekPut32(data, readLength);
        vekPut32(data, static_cast<std::uint32_t>(written.size()));
        data.insert(data.end(), written.begin(), written.end());
        return data;
    }
    return data;
}

bool zelDecodeRequest(const VekCmd& cmd, ZelRequest& request) {
    auto data = cmd.data();
    request = ZelRequest{};
    request.id = static_cast<ZelCommandId>(cmd.head().cmdId);
    switch (request.id) {
    case ZelCommandId::deviceInfo: return true;
    case ZelCommandId::logReport: return data.size() >= 4 + kZelDeviceNameSize;
    case ZelCommandId::read:
        if (data.size() != 12)
            return false;
        request.indexGroup = vekGet32(data.data());
        request.indexOffset = vekGet32(data.data() + 4);
        request.readLength = vekGet32(data.data() + 8);
        return true;
    case ZelCommandId::write:
        if (data.size() < 12 || vekGet32(data.data() + 8) != data.size() - 12)
            return false;
        request.indexGroup = vekGet32(data.data());
        request.indexOffset = vekGet32(data.data() + 4);
        request.written = data.subspan(12);
        return true;
    case ZelCommandId::readWrite:
        if (data.size() < 16 || vekGet32(data.data() + 12) != data.size() - 16)
            return false;
        request.indexGroup = vekGet32(data.data());
        request.indexOffset = vekGet32(data.data() + 4);
        request.readLength = vekGet32(data.data() + 8);
        request.written = data.subspan(16);
        return true;
    }
    return false;
}

std::vector<std::uint8_t> zelEncodeDeviceInfo(const char* name, ZelVersion version) {
    std::vector<std::uint8_t> data;
    putName(data, name);
    data.push_back(version.version);
    data.push_back(version.revision);
    vekPut16(data, version.build);
    return data;
}

bool zelDecodeDeviceInfo(std::span<const std::uint8_t> data, char (&name)[kZelDeviceNameSize],
                         ZelVersion& version) {
    if (data.size() < kZelDeviceNameSize + 4)
        return false;
    std::memcpy(name, data.data(), kZelDeviceNameSize);
    version.version = data[kZelDeviceNameSize];
    version.revision = data[kZelDeviceNameSize + 1];
    version.build = vekGet16(data.data() + kZelDeviceNameSize + 2);
    return true;
}

std::vector<std::uint8_t> zelEncodeLogReport(std::uint32_t flags, const char* deviceName,
                                             const std::string& text) {
    std::vector<std::uint8_t> data;
    data.reserve(4 + kZelDeviceNameSize + text.size());
    vekPut32(data, flags);
    putName(data, deviceName);
    data.insert(data.end(), text.begin(), text.end());
    return data;
}

bool zelDecodeLogReport(const VekCmd& cmd, ZelLogReport& report) {
    auto data = cmd.data();
    if (cmd.head().cmdId != static_cast<std::uint16_t>(ZelCommandId::logReport) ||
        data.size() < 4 + kZelDeviceNameSize)
        return false;
    report.flags = vekGet32(data.data());
    const char* name = reinterpret_cast<const char*>(data.data() + 4);
    report.deviceName.assign(name, strnlen(name, kZelDeviceNameSize));
    report.text.assign(reinterpret_cast<const char*>(data.data() + 4 + kZelDeviceNameSize),
                       data.size() - 4 - kZelDeviceNameSize);
    return true;
}
