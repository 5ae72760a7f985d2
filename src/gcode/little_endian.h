#pragma once
// Little-endian writers into a byte image, whatever the host's byte order.

#include <bit>
#include <cstdint>

namespace Karsto {

inline void putU64(uint8_t* at, uint64_t bits) {
    for (int i = 0; i < 8; ++i) at[i] = static_cast<uint8_t>(bits >> (8 * i));
}

inline void putInt32(uint8_t* at, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(bits >> (8 * i));
}

inline void putDouble(uint8_t* at, double value) { putU64(at, std::bit_cast<uint64_t>(value)); }

} // namespace Karsto
