#pragma once
// Records and wire format of the Zel/Vek communication layer.
//
// This layer stands in for the platform's closed communication library: the classes
// and records keep that library's names and call shapes (global namespace, Vek/Zel
// prefixes) so the kernel-link code reads the same on every platform. Every port is
// one connection to a router (vek_router.h) over a Unix-domain stream socket, and the
// byte stream is exactly a sequence of commands: a 32-byte head, then as many data
// bytes as the head says.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Six bytes naming a machine on the Vek network; every port here is on 127.0.0.1.1.1.
struct VekNetId {
    std::array<std::uint8_t, 6> b{};
    friend bool operator==(const VekNetId&, const VekNetId&) = default;
};

struct VekAddr {
    VekNetId netId;
    std::uint16_t port = 0;
    friend bool operator==(const VekAddr&, const VekAddr&) = default;
};

struct ZelVersion {
    std::uint8_t version = 0;
    std::uint8_t revision = 0;
    std::uint16_t build = 0;
    friend bool operator==(const ZelVersion&, const ZelVersion&) = default;
};

// The head of every command. On the wire it is 32 bytes, little-endian and packed:
// target at 0 (net id, port), source at 8, command id at 16, state flags at 18, data
// length at 20, error code at 24, invoke id at 28. The struct itself is never copied
// as bytes; vekEncodeHead and vekDecodeHead convert field by field.
struct VekHead {
    VekAddr target;
    VekAddr source;
    std::uint16_t cmdId = 0;
    std::uint16_t stateFlags = 0;
    std::uint32_t dataLength = 0;
    std::uint32_t errorCode = 0;
    std::uint32_t invokeId = 0;
};

inline constexpr std::size_t kVekHeadSize = 32;
inline constexpr std::size_t kVekAddrSize = 8;
inline constexpr std::size_t kZelDeviceNameSize = 16;

// Bits of VekHead::stateFlags.
enum class VekStateFlag : std::uint16_t {
    response = 0x0001,
    zelRequest = 0x0004,
};

constexpr bool vekHasFlag(std::uint16_t flags, VekStateFlag flag) {
    return (flags & static_cast<std::uint16_t>(flag)) != 0;
}

// Result codes of this layer, outside the range the NC kernel uses.
enum class ZelError : std::uint32_t {
    ok = 0,
    notSupported = 0x7F01,  // the library's default answer to a request nobody handles
    timeout = 0x7F02,       // no answer within the Zel timeout, or the target took nothing
    notConnected = 0x7F03,  // the port has no router connection
    targetUnknown = 0x7F04, // no port with the target number is connected
    answerTooShort = 0x7F05,
};

constexpr std::uint32_t zelCode(ZelError e) { return static_cast<std::uint32_t>(e); }

// Command ids of the Zel requests and the router's control commands. The Zel ids sit
// above the command ids the NC kernel uses (0x4016, 0x401E and the router's 251, 252).
enum class ZelCommandId : std::uint16_t {
    deviceInfo = 0x7F10,
    read = 0x7F11,
    write = 0x7F12,
    readWrite = 0x7F13,
    logReport = 0x7F14,
};

enum class VekRouterCommandId : std::uint16_t {
    connect = 1, // data: uint16 requested port (0: any), then the port's name
    lookup = 2,  // data: a port name; answer data: uint16 port
};

// Fixed port numbers.
enum class VekPortNumber : std::uint16_t {
    router = 0,
    logger = 100,
    firstDynamic = 0x8000,
};

constexpr std::uint16_t vekPort(VekPortNumber p) { return static_cast<std::uint16_t>(p); }

// Largest data part the router carries; a connection that sends more is closed.
inline constexpr std::uint32_t kVekMaxDataLength = 1u << 20;
// Longest port name the router keeps.
inline constexpr std::size_t kVekMaxNameLength = 64;

// The net id of every port on this machine.
VekNetId vekLocalNetId();

void vekEncodeHead(const VekHead& head, std::uint8_t* out);
VekHead vekDecodeHead(const std::uint8_t* in);

// A command in wire form: the encoded head followed by head.dataLength data bytes.
class VekCmd {
public:
    VekCmd() : bytes_(kVekHeadSize, 0) {}
    // A command with this head and data; the head's data length is set to the data's.
    VekCmd(VekHead head, std::span<const std::uint8_t> data);
    // A command taken from complete wire bytes (head plus exactly its data length).
    static VekCmd fromWire(std::vector<std::uint8_t> bytes);

    VekHead head() const { return vekDecodeHead(bytes_.data()); }
    void setHead(VekHead head); // keeps the data; the data length field stays the data's
    std::span<const std::uint8_t> data() const {
        return std::span<const std::uint8_t>(bytes_).subspan(kVekHeadSize);
    }
    std::span<const std::uint8_t> wire() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// True for a command whose response flag is set (bytes 18, 19 of the head).
bool vekIsResponse(std::span<const std::uint8_t> command);

// The answer to a command: addresses swapped, response flag set, the error code given,
// command id, invoke id and data kept.
VekCmd vekMakeResponse(std::span<const std::uint8_t> command, std::uint32_t errorCode);

// Little-endian field access for the data parts of commands.
void vekPut16(std::vector<std::uint8_t>& out, std::uint16_t v);
void vekPut32(std::vector<std::uint8_t>& out, std::uint32_t v);
std::uint16_t vekGet16(const std::uint8_t* in);
std::uint32_t vekGet32(const std::uint8_t* in);

// The router's socket: $VORDASH_VEK_ROUTER, else vordash-vek.sock in $XDG_RUNTIME_DIR,
// else in the system's temporary directory.
std::string vekRouterPath();
// How long a request waits for its answer: $VORDASH_ZEL_TIMEOUT_MS, else 5000.
int zelTimeoutMs();
