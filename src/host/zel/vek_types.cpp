#include "host/zel/vek_types.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

// The wire layout the head encoding below writes.
static_assert(sizeof(VekNetId::b) == 6);
static_assert(kVekAddrSize == sizeof(VekNetId::b) + sizeof(std::uint16_t));
static_assert(kVekHeadSize == 2 * kVekAddrSize + 2 * sizeof(std::uint16_t) + 3 * sizeof(std::uint32_t));
static_assert(sizeof(ZelVersion) == 4);

VekNetId vekLocalNetId() { return VekNetId{{127, 0, 0, 1, 1, 1}}; }

void vekPut16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void vekPut32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

std::uint16_t vekGet16(const std::uint8_t* in) {
    return static_cast<std::uint16_t>(in[0] | (in[1] << 8));
}

std::uint32_t vekGet32(const std::uint8_t* in) {
    return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
           static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

namespace {

void put16(std::uint8_t* out, std::uint16_t v) {
    out[0] = static_cast<std::uint8_t>(v);
    out[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t* out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void encodeAddr(const VekAddr& addr, std::uint8_t* out) {
    std::memcpy(out, addr.netId.b.data(), addr.netId.b.size());
    put16(out + 6, addr.port);
}

VekAddr decodeAddr(const std::uint8_t* in) {
    VekAddr addr;
    std::memcpy(addr.netId.b.data(), in, addr.netId.b.size());
    addr.port = vekGet16(in + 6);
    return addr;
}

} // namespace

void vekEncodeHead(const VekHead& head, std::uint8_t* out) {
    encodeAddr(head.target, out);
    encodeAddr(head.source, out + 8);
    put16(out + 16, head.cmdId);
    put16(out + 18, head.stateFlags);
    put32(out + 20, head.dataLength);
    put32(out + 24, head.errorCode);
    put32(out + 28, head.invokeId);
}

VekHead vekDecodeHead(const std::uint8_t* in) {
    VekHead head;
    head.target = decodeAddr(in);
    head.source = decodeAddr(in + 8);
    head.cmdId = vekGet16(in + 16);
    head.stateFlags = vekGet16(in + 18);
    head.dataLength = vekGet32(in + 20);
    head.errorCode = vekGet32(in + 24);
    head.invokeId = vekGet32(in + 28);
    return head;
}

VekCmd::VekCmd(VekHead head, std::span<const std::uint8_t> data) {
    if (data.size() > UINT32_MAX)
        throw std::length_error("Vek command data too long");
    head.dataLength = static_cast<std::uint32_t>(data.size());
    bytes_.resize(kVekHeadSize + data.size());
    vekEncodeHead(head, bytes_.data());
    if (!data.empty())
        std::memcpy(bytes_.data() + kVekHeadSize, data.data(), data.size());
}

VekCmd VekCmd::fromWire(std::vector<std::uint8_t> bytes) {
    if (bytes.size() < kVekHeadSize || vekGet32(bytes.data() + 20) != bytes.size() - kVekHeadSize)
        throw std::invalid_argument("Vek command bytes do not match their head");
    VekCmd cmd;
    cmd.bytes_ = std::move(bytes);
    return cmd;
}

void VekCmd::setHead(VekHead head) {
    head.dataLength = static_cast<std::uint32_t>(bytes_.size() - kVekHeadSize);
    vekEncodeHead(head, bytes_.data());
}

bool vekIsResponse(std::span<const std::uint8_t> command) {
    return command.size() >= kVekHeadSize &&
           vekHasFlag(vekGet16(command.data() + 18), VekStateFlag::response);
}

VekCmd vekMakeResponse(std::span<const std::uint8_t> command, std::uint32_t errorCode) {
    if (command.size() < kVekHeadSize)
        throw std::invalid_argument("Vek command shorter than its head");
    VekHead head = vekDecodeHead(command.data());
    std::swap(head.target, head.source);
    head.stateFlags |= static_cast<std::uint16_t>(VekStateFlag::response);
    head.errorCode = errorCode;
    std::size_t length = std::min<std::size_t>(head.dataLength, command.size() - kVekHeadSize);
    return VekCmd(head, command.subspan(kVekHeadSize, length));
}

std::string vekRouterPath() {
    if (const char* path = std::getenv("VORDASH_VEK_ROUTER"); path && *path)
        return path;
    std::filesystem::path dir;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        dir = runtime;
    else
        dir = std::filesystem::temp_directory_path();
    return (dir / "vordash-vek.sock").string();
}

int zelTimeoutMs() {
    constexpr int fallback = 5000;
    const char* text = std::getenv("VORDASH_ZEL_TIMEOUT_MS");
    if (!text || !*text)
        return fallback;
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value <= 0 || value > 3600 * 1000)
        return fallback;
    return static_cast<int>(value);
}
