#pragma once
// What the kernel's request handlers share: the index-group ranges, the refusal that
// the handlers' catches turn into an answer, and the little-endian fields of request
// and answer data. Only the handlers' sources include it.

#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "core/exception.h"
#include "gcode/zero_offset.h"
#include "host/kernel/kernel_codes.h"
#include "host/kernel/zel_server_buffered.h"
#include "host/zel/vek_types.h"

namespace Karsto {

class ChannelNc2;
class KernelInterfaceNc2;

namespace KernelRequest {

// Bits 8 and up of an index group select the range, bits 0 to 7 the channel id.
enum class Range : uint32_t {
    chnParms = 0x2000,
    chnState = 0x2100,
    chnFuncs = 0x2200,
    chnIoArea = 0x2300,
};
inline constexpr uint32_t kChannelIdMask = 0xFF;

[[noreturn]] inline void refuse(ZelCode c, const char* text = "") {
    throw ExceptionZel(static_cast<int32_t>(kernelCode(c)), text);
}

inline void putInt32(std::vector<uint8_t>& out, int32_t v) { vekPut32(out, static_cast<uint32_t>(v)); }
inline void putInt16(std::vector<uint8_t>& out, int16_t v) { vekPut16(out, static_cast<uint16_t>(v)); }
inline void putDouble(std::vector<uint8_t>& out, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    vekPut32(out, static_cast<uint32_t>(bits));
    vekPut32(out, static_cast<uint32_t>(bits >> 32));
}
inline int32_t getInt32(const uint8_t* in) { return static_cast<int32_t>(vekGet32(in)); }
inline int16_t getInt16(const uint8_t* in) { return static_cast<int16_t>(vekGet16(in)); }
inline double getDouble(const uint8_t* in) {
    const uint64_t bits = uint64_t{vekGet32(in)} | (uint64_t{vekGet32(in + 4)} << 32);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// Component j of a zero offset: 1 x, 2 y, 3 z, 4 to 8 q1 to q5.
inline constexpr uint32_t kZeroOffsetComponents = 8;
inline double& zeroOffsetComponent(ZeroOffset& zos, uint32_t j) {
    switch (j) {
    case 1: return zos.x;
    case 2: return zos.y;
    case 3: return zos.z;
    default: return zos.q[j - 4];
    }
}

// The writes of the channel-function range (0x2200 plus id); a refusal throws
// ExceptionZel, the operations' own errors pass to the write handler's catch.
void chnFuncsWrite(ChannelNc2& channel, uint32_t offset, std::span<const uint8_t> data);

} // namespace KernelRequest
} // namespace Karsto
