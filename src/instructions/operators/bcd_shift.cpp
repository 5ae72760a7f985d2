// The BCD, shift and rotate classes over the bit strings, and the routines they share.

#include <cstdint>

#include "core/exception.h"
#include "instructions/operators/bit_routines.h"
#include "instructions/operators/operator_template.h"

namespace Karsto {

namespace {

constexpr int32_t kBcdDigits = 16;
constexpr int32_t kNibbleBits = 4;
constexpr uint64_t kNibbleMask = 0xF;
constexpr uint64_t kDecimalBase = 10;
constexpr int32_t kWordBits = 64;

void checkDistance(int16_t distance) {
    if (distance < 0) [[unlikely]]
        failRuntime("Invalid negative shift-distance (%d).", static_cast<int>(distance));
}

uint64_t lowBits(int32_t width, uint64_t value) {
    return width >= kWordBits ? value : value & ((uint64_t{1} << width) - 1);
}

} // namespace

uint64_t bcdEncode64(uint64_t value) {
    uint64_t result = 0;
    for (int32_t i = 0; i < kBcdDigits; ++i) {
        result |= (value % kDecimalBase) << (kNibbleBits * i);
        value /= kDecimalBase;
    }
    return result;
}

uint64_t bcdDecode64(uint64_t value) {
    uint64_t result = 0;
    for (int32_t k = kBcdDigits - 1; k >= 0; --k) {
        result = result * kDecimalBase + ((value >> (kNibbleBits * k)) & kNibbleMask);
    }
    return result;
}

uint64_t rotateLeft(int16_t distance, int32_t width, uint64_t value) {
    checkDistance(distance);
    const int32_t r = distance % width;
    const uint64_t v = lowBits(width, value);
    if (r == 0) return v;
    return lowBits(width, (v << r) | (v >> (width - r)));
}

uint64_t rotateRight(int16_t distance, int32_t width, uint64_t value) {
    checkDistance(distance);
    const int32_t r = distance % width;
    const uint64_t v = lowBits(width, value);
    if (r == 0) return v;
    return lowBits(width, (v >> r) | (v << (width - r)));
}

namespace operators::family {

// One operand popped in its own format, widened with zeros; the push keeps the low bits
// of the width.
template <uint64_t (*Routine)(uint64_t)>
struct Bcd {
    template <class Cell, class Machine>
    [[gnu::flatten]] static void run(Machine& machine) {
        const uint64_t value = Cell::pop(machine);
        Cell::push(machine, static_cast<typename Cell::Pushed>(Routine(value)));
    }
};

struct BcdEncode : Bcd<&bcdEncode64> {};
struct BcdDecode : Bcd<&bcdDecode64> {};

// The distance, an INT, lies on top of the value; both are popped before the check.
template <class Rule>
struct Shift {
    template <class Cell, class Machine>
    [[gnu::flatten]] static void run(Machine& machine) {
        const int16_t distance = cell::S16::pop(machine);
        const uint64_t value = Cell::pop(machine);
        constexpr int32_t width = 8 * static_cast<int32_t>(sizeof(typename Cell::Pushed));
        Cell::push(machine,
                   static_cast<typename Cell::Pushed>(Rule::apply(distance, width, value)));
    }
};

struct Shl : Shift<Shl> {
    static uint64_t apply(int16_t distance, int32_t, uint64_t value) {
        checkDistance(distance);
        // Shifting a 64-bit value by 64 or more is undefined: such distances give 0.
        return distance >= kWordBits ? 0 : value << distance;
    }
};

struct Shr : Shift<Shr> {
    static uint64_t apply(int16_t distance, int32_t, uint64_t value) {
        checkDistance(distance);
        return distance >= kWordBits ? 0 : value >> distance;
    }
};

struct Rol : Shift<Rol> {
    static uint64_t apply(int16_t distance, int32_t width, uint64_t value) {
        return rotateLeft(distance, width, value);
    }
};

struct Ror : Shift<Ror> {
    static uint64_t apply(int16_t distance, int32_t width, uint64_t value) {
        return rotateRight(distance, width, value);
    }
};

} // namespace operators::family

namespace operators {

#define KARSTO_OPERATOR KARSTO_OPERATOR_CLASS
#include "instructions/operators/bcd_shift.def"

} // namespace operators

} // namespace Karsto
