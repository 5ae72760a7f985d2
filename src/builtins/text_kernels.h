#pragma once
// How a popped value becomes the arguments of its text format, one behaviour per
// column value of text_instructions.def, and how a to-string leaves its text on the
// stack. Private to the built-in library.
//
// A behaviour is a struct with
//   template <class Pop, class Machine, class Emit>
//   static auto take(Machine& machine, Emit&& emit);
// which pops the value with Pop (a machine type of core/machine_cells.h) and returns
// emit(arguments...). Nothing here allocates: the steps of a running program format
// values on the native stack.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "core/calendar_time.h"
#include "core/type_string.h"

namespace Karsto::text {

// The capacity of the STRING a to-string produces, and of the strings print and
// tostring read: the default one.
inline constexpr int64_t kCapacity = kDefaultStringCapacity;
// The characters of the longest text kept, and its terminator.
inline constexpr size_t kBufferBytes = static_cast<size_t>(kCapacity) + 1;

inline constexpr int64_t kNanosecondsPerSecond = 1'000'000'000;

// A value as printf takes it: the 64-bit formats expect long long, which int64_t need
// not be; a float is widened explicitly. Narrower integers pass as they are (the
// format's length modifier names them).
constexpr long long formatArgument(int64_t value) { return value; }
constexpr unsigned long long formatArgument(uint64_t value) { return value; }
constexpr double formatArgument(float value) { return static_cast<double>(value); }
template <class T>
constexpr T formatArgument(T value) {
    return value;
}

namespace behaviour {

// The value itself.
struct Value {
    template <class Pop, class Machine, class Emit>
    static auto take(Machine& machine, Emit&& emit) {
        return emit(formatArgument(Pop::pop(machine)));
    }
};

// The low byte of a character code.
struct LowByte {
    template <class Pop, class Machine, class Emit>
    static auto take(Machine& machine, Emit&& emit) {
        return emit(static_cast<unsigned char>(Pop::pop(machine) & 0xFFu));
    }
};

// A duration in nanoseconds: its sign ('+' for zero too), whole seconds and
// nanoseconds. The magnitude is taken unsigned, so the most negative value has one.
struct Duration {
    template <class Pop, class Machine, class Emit>
    static auto take(Machine& machine, Emit&& emit) {
        const int64_t value = Pop::pop(machine);
        const uint64_t magnitude =
            value < 0 ? uint64_t{0} - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
        constexpr auto perSecond = static_cast<uint64_t>(kNanosecondsPerSecond);
        return emit(value < 0 ? '-' : '+', static_cast<long long>(magnitude / perSecond),
                    static_cast<long long>(magnitude % perSecond));
    }
};

// Whole seconds (truncated toward zero) and the nanoseconds left over, of a count of
// nanoseconds.
struct SplitSeconds {
    int64_t seconds;
    long long nanoseconds;
};

constexpr SplitSeconds splitSeconds(int64_t value) {
    const int64_t seconds = value / kNanosecondsPerSecond;
    return {seconds, static_cast<long long>(value - seconds * kNanosecondsPerSecond)};
}

// A time of day: hours (not reduced modulo 24), minutes, seconds and nanoseconds, the
// second count taken as a 32-bit integer.
struct TimeOfDay {
    template <class Pop, class Machine, class Emit>
    static auto take(Machine& machine, Emit&& emit) {
        const SplitSeconds split = splitSeconds(Pop::pop(machine));
        const auto s = static_cast<int32_t>(split.seconds);
        return emit(static_cast<int>(s / 3600), static_cast<int>((s / 60) % 60),
                    static_cast<int>(s % 60), split.nanoseconds);
    }
};

// The calendar fields of the whole seconds of a count of nanoseconds, and the
// nanoseconds left over.
struct CalendarSplit {
    CalendarTime calendar;
    long long nanoseconds;
};

inline CalendarSplit calendarSplit(int64_t value) {
    const SplitSeconds split = splitSeconds(value);
    return {secondsToCalendar(split.seconds), split.nanoseconds};
}

// A date and time: year, month, day, hour, minute, second and nanoseconds.
struct DateAndTime {
    template <class Pop, class Machine, class Emit>
    static auto take(Machine& machine, Emit&& emit) {
        const auto [c, nanoseconds] = calendarSplit(Pop::pop(machine));
        return emit(int{c.year}, int{c.month}, int{c.day}, int{c.hour}, int{c.minute},
                    int{c.second}, nanoseconds);
    }
};

// A date: year, month and day, then the nanoseconds within the second (the time of a
// value that is not midnight is not shown).
struct Date {
    template <class Pop, class Machine, class Emit>
    static auto take(Machine& machine, Emit&& emit) {
        const auto [c, nanoseconds] = calendarSplit(Pop::pop(machine));
        return emit(int{c.year}, int{c.month}, int{c.day}, nanoseconds);
    }
};

// A string of the default capacity, Pop its length cell: the low bytes of its
// characters as a zero-terminated text (which ends at the first byte 0). All of its
// cells are consumed. A length cell is data (a native may leave one unwritten): it is
// clamped to 0..capacity, so no cell outside the value is read.
struct Text {
    template <class Pop, class Machine, class Emit>
    static auto take(Machine& machine, Emit&& emit) {
        const int64_t length = std::clamp<int64_t>(Pop::pop(machine), 0, kCapacity);
        machine.addSp(length - kCapacity);
        char text[kBufferBytes];
        text[length] = '\0';
        for (int64_t i = length - 1; i >= 0; --i)
            text[i] = static_cast<char>(static_cast<uint8_t>(machine.popU16() & 0xFFu));
        return emit(static_cast<const char*>(text));
    }
};

} // namespace behaviour

// Pushes the formatted text as a STRING of the default capacity: its first bytes
// (fullLength is what the whole text would take; a negative one, a failed format, is
// the empty text), each sign-extended to a 16-bit code, zero cells after them, then the
// length cut to the capacity.
template <class Machine>
void pushText(Machine& machine, const char* text, int fullLength) {
    const int64_t length = std::clamp<int64_t>(fullLength, 0, kCapacity);
    for (int64_t i = 0; i < kCapacity; ++i) {
        const auto byte =
            i < length ? static_cast<int8_t>(static_cast<uint8_t>(text[i])) : int8_t{0};
        machine.pushU16(static_cast<uint16_t>(static_cast<int16_t>(byte)));
    }
    machine.pushAddr(length);
}

} // namespace Karsto::text
