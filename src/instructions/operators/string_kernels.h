#pragma once
// The execute kernels of the string families. Private to the operator library.
//
// A string value of capacity n lies in n + 1 cells: character i (from 1) in cell
// base + i - 1, then the length in cell base + n, read and written with the Addr
// operations. Characters move as whole cells; no kernel looks at one.
//
// A length cell is data: a native may leave an output string whose length cell it never
// wrote. Every kernel uses a length clamped to 0..capacity of its value, so that no
// cell outside the string values it works on is read or written.

#include <algorithm>
#include <cstdint>

#include "core/exception.h"
#include "core/type_string.h"

namespace Karsto::operators::family {

// The capacity of the default STRING and WSTRING types, whose values Len, Mid and
// Concat take.
inline constexpr int64_t kCapacity = kDefaultStringCapacity;

constexpr int64_t clampedLength(int64_t length, int64_t capacity) {
    return std::clamp<int64_t>(length, 0, std::max<int64_t>(capacity, 0));
}

// The cells of a value of the capacity; a negative capacity counts as 0.
constexpr int64_t valueCells(int64_t capacity) { return std::max<int64_t>(capacity, 0) + 1; }

// The order of the string values of the capacity at x and at y, by unsigned character
// code (each character the low bits of its cell that the Char format reads): below 0,
// 0 or above 0 as x sorts before, equal to or after y. After a common prefix the
// shorter string is smaller; cells beyond either length are not read.
template <class Char, class Machine>
int64_t compareStrings(Machine& machine, int64_t x, int64_t y, int64_t capacity) {
    capacity = std::max<int64_t>(capacity, 0);
    const int64_t xLength = clampedLength(machine.loadAddr(x + capacity), capacity);
    const int64_t yLength = clampedLength(machine.loadAddr(y + capacity), capacity);
    const int64_t common = std::min(xLength, yLength);
    for (int64_t i = 0; i < common; ++i) {
        const auto a = Char::load(machine, x + i);
        const auto b = Char::load(machine, y + i);
        if (a != b) return a < b ? -1 : 1;
    }
    return xLength - yLength;
}

// A string of the source capacity to one of the target capacity: the characters keep
// their cells, a smaller target drops the cells above it, a greater one adds cells as
// they are; the length is cut to the target capacity.
struct CastStrStr {
    static constexpr int32_t kValues = 2;
    template <class Cell, class Machine>
    static void run(Machine& machine, int64_t source, int64_t target) {
        const int64_t length = clampedLength(machine.popAddr(), source);
        machine.addSp(target - source);
        machine.pushAddr(std::min(length, target));
    }
};

// A character to a string of the capacity: the character cell becomes character 1.
// The length is min(1, capacity): a target of capacity 0 is the empty string, never a
// value whose length exceeds its capacity.
struct CastCharStr {
    static constexpr int32_t kValues = 1;
    template <class Cell, class Machine>
    static void run(Machine& machine, int64_t capacity, int64_t) {
        machine.addSp(capacity - 1);
        machine.pushAddr(std::min<int64_t>(1, capacity));
    }
};

// A string of the capacity to its first character cell, whatever the length: the
// length cell and the cells of characters 2 to capacity go.
struct CastStrChar {
    static constexpr int32_t kValues = 1;
    template <class Cell, class Machine>
    static void run(Machine& machine, int64_t capacity, int64_t) {
        machine.addSp(-capacity);
    }
};

// A default string to its length, one S64 cell.
struct Len {
    template <class Cell, class Machine>
    static void run(Machine& machine) {
        const int64_t length = clampedLength(machine.popAddr(), kCapacity);
        machine.addSp(-kCapacity);
        machine.pushS64(length);
    }
};

// [..., s, p, k] to the k characters of the default string s from position p on.
struct Mid {
    template <class Cell, class Machine>
    static void run(Machine& machine) {
        const int64_t count = machine.popS64();
        const int64_t position = machine.popS64();
        const int64_t length = clampedLength(machine.popAddr(), kCapacity);
        // Exact comparisons: length - position + 1 cannot wrap once position >= 1, as
        // length lies in 0..capacity.
        if (count < 0 || position < 1 || count > length - position + 1) [[unlikely]]
            failRuntime("Out of bounds in function 'Mid'.");
        const int64_t base = machine.getSp() - kCapacity;
        machine.copy(base, base + position - 1, count);
        machine.pushAddr(count);
    }
};

// The number of default strings given by the operand, the first deepest, to their
// concatenation in the first one's cells, cut to the capacity. Each string's
// characters move down to the end of the text so far; after i strings at most
// i * capacity characters are written, below the start of string i, so no string is
// overwritten before it is read.
struct Concat {
    static constexpr int32_t kValues = 1;
    template <class Cell, class Machine>
    static void run(Machine& machine, int64_t count, int64_t) {
        constexpr int64_t cells = kCapacity + 1;
        const int64_t base = machine.getSp() - count * cells;
        int64_t total = 0;
        for (int64_t i = 0; i < count; ++i) {
            const int64_t from = base + i * cells;
            const int64_t length = clampedLength(machine.loadAddr(from + kCapacity), kCapacity);
            // Characters beyond the capacity would be cut anyway: they are not moved.
            const int64_t moved = std::min(length, kCapacity - total);
            machine.copy(base + total, from, moved);
            total += moved;
        }
        machine.storeAddr(base + kCapacity, total);
        machine.setSp(base + kCapacity + 1);
    }
};

} // namespace Karsto::operators::family
