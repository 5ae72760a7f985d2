#pragma once
// The fixed-size record that carries every NC command of a channel to the NC kernel.
// A record is built in place, zero-filled, with no allocation: its bytes are exactly
// what the kernel reads, little-endian whatever the host's byte order. Included only by
// the kernel link's own sources and tests.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace Karsto {

enum class Nc2RecordType : int32_t {
    geometry = 2,
    function = 4, // also the operator message (function code 26)
    mFunctions = 5,
    wait = 6,
    spindle = 7,
    ipolRules = 8,
    sync = 10,
    stop = 11,
    hValue = 13,
    toolNumber = 14,
    value = 16,
    startPosition = 26,
};

// Subtypes of the geometry record.
enum class Nc2GeoSubtype : int32_t {
    line = 1,
    circle = 2,
    helix = 3,
    auxAxes = 4,
    bezier5 = 6, // four inner control points
    bezier3 = 10, // two inner control points
};

// Kinds of the M-function record.
enum class Nc2MFuncKind : int32_t {
    set = 1,
    reset = 2,
    test = 3,
    toolReset = 99,
};

// Byte offsets of the record fields the builders set. Every offset not named here is 0.
namespace Nc2Offset {
// Header, the same for every record.
inline constexpr size_t type = 0;
inline constexpr size_t sourceLine = 4;
inline constexpr size_t sourceOffset = 8;
inline constexpr size_t blockNumber = 12;
inline constexpr size_t serial = 16;
inline constexpr size_t body = 24; // the first byte after the header
// Geometry.
inline constexpr size_t geoSubtype = 24;
inline constexpr size_t geoPlane = 28;
inline constexpr size_t geoEnd = 32;
inline constexpr size_t geoSpeed = 56;
inline constexpr size_t geoCentre = 64;      // circle and helix
inline constexpr size_t geoRotation = 88;    // circle and helix
inline constexpr size_t geoInner2 = 64;      // Bezier: the second inner control point
inline constexpr size_t geoInner1 = 88;      // Bezier: the first inner control point
inline constexpr size_t geoRise = 112;       // helix: height per radian
inline constexpr size_t geoQ = 120;          // q1 to q5
inline constexpr size_t geoInner3 = 160;     // Bezier with four inner points
inline constexpr size_t geoInner4 = 184;
// Function and operator message.
inline constexpr size_t funcData = 24;
inline constexpr size_t msgCode = 24;
inline constexpr size_t msgLength = 32;
inline constexpr size_t msgText = 36;
inline constexpr size_t msgTerminator = 116;
// M functions.
inline constexpr size_t mfuncKind = 24;
inline constexpr size_t mfuncNumbers = 28;
// Wait, spindle, interpolation rules.
inline constexpr size_t waitSeconds = 24;
inline constexpr size_t spindleSubtype = 24;
inline constexpr size_t spindleGWord = 28;
inline constexpr size_t spindleS = 32;
inline constexpr size_t ipolFeedType = 24; // then linear, clockwise, accurate stop,
                                           // corner deceleration, radius correction
// Synchronisation: a whole Vek command.
inline constexpr size_t syncCommand = 24;
// H value, tool number, value.
inline constexpr size_t intValue = 24;
// Start position.
inline constexpr size_t startPos = 24; // x, y, z
inline constexpr size_t startPosQ = 48;
} // namespace Nc2Offset

class Nc2Record {
public:
    static constexpr uint32_t kSize = 160;
    static constexpr uint32_t kBezierSize = 208; // the two Bezier geometry subtypes
    static constexpr uint32_t kIndexOffset = 0x60;
    static constexpr uint32_t kBezierIndexOffset = 0x61;
    static constexpr int kQCount = 5;
    static constexpr int kMFuncSlots = 8;
    static constexpr size_t kMsgChars = 80;
    static constexpr int32_t kMsgFunctionCode = 26;
    static constexpr int32_t kMsgTextLength = 145;
    static constexpr int kIpolWords = 6;

    // A zero-filled record of the type; Bezier records are the larger size.
    explicit Nc2Record(Nc2RecordType type, bool bezier = false)
        : size_(bezier ? kBezierSize : kSize), indexOffset_(bezier ? kBezierIndexOffset : kIndexOffset) {
        putInt32(Nc2Offset::type, static_cast<int32_t>(type));
    }

    void putInt32(size_t offset, int32_t value) { putUint32(offset, static_cast<uint32_t>(value)); }
    void putUint32(size_t offset, uint32_t value) {
        for (size_t i = 0; i < 4; ++i)
            bytes_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
    void putDouble(size_t offset, double value) {
        const uint64_t bits = std::bit_cast<uint64_t>(value);
        for (size_t i = 0; i < 8; ++i)
            bytes_[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
    }
    // Three doubles from the offset.
    void putPoint(size_t offset, double x, double y, double z) {
        putDouble(offset, x);
        putDouble(offset + 8, y);
        putDouble(offset + 16, z);
    }
    void putBytes(size_t offset, std::span<const uint8_t> data) {
        if (!data.empty()) std::memcpy(bytes_.data() + offset, data.data(), data.size());
    }

    uint32_t size() const { return size_; }
    uint32_t indexOffset() const { return indexOffset_; }
    // The size() bytes the kernel receives.
    std::span<const uint8_t> bytes() const { return std::span<const uint8_t>(bytes_).first(size_); }

private:
    std::array<uint8_t, kBezierSize> bytes_{};
    uint32_t size_;
    uint32_t indexOffset_;
};

} // namespace Karsto
