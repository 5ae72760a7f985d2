#pragma once
// The 64-bit routines that the BCD, shift and rotate instructions of every width share.
// Public so that the built-in library and the tests can use them on their own.

#include <cstdint>

namespace Karsto {

// The packed BCD form of value mod 10^16: the least significant digit in the lowest
// nibble. Exactly 16 digits, whatever the width the caller keeps of the result.
uint64_t bcdEncode64(uint64_t value);

// The value of 16 packed digits, the most significant nibble first. Nibbles 10 to 15
// count with their own value at their position; nothing is refused.
uint64_t bcdDecode64(uint64_t value);

// The low `width` bits of value rotated by distance mod width (width 8, 16, 32 or 64);
// the bits above the width are 0. A negative distance raises a run-time error.
uint64_t rotateLeft(int16_t distance, int32_t width, uint64_t value);
uint64_t rotateRight(int16_t distance, int32_t width, uint64_t value);

} // namespace Karsto
