// The time-stamp and object-check classes and their kernels.

#include <cstdint>

#include "core/calendar_time.h"
#include "core/exception.h"
#include "instructions/operators/operator_template.h"

namespace Karsto::operators {
namespace family {

// A calendar field cell counts with its low 16 bits, read as signed: the width of the
// CalendarTime fields.
constexpr int16_t calendarField(int64_t cell) {
    return static_cast<int16_t>(static_cast<uint16_t>(cell & 0xFFFF));
}

// [..., year, month, day, hour, minute, second] to [..., seconds since 1970], or -1 for
// a date calendarToSeconds refuses.
struct UtcTimestamp {
    template <class Cell, class Machine>
    static void run(Machine& machine) {
        CalendarTime time;
        time.second = calendarField(machine.popS64());
        time.minute = calendarField(machine.popS64());
        time.hour = calendarField(machine.popS64());
        time.day = calendarField(machine.popS64());
        time.month = calendarField(machine.popS64());
        time.year = calendarField(machine.popS64());
        machine.pushS64(calendarToSeconds(time));
    }
};

// [..., seconds] to [..., year, month, day, hour, minute, second]; weekday and day of
// the year stay behind.
struct UtcDate {
    template <class Cell, class Machine>
    static void run(Machine& machine) {
        const CalendarTime time = secondsToCalendar(machine.popS64());
        machine.pushS64(time.year);
        machine.pushS64(time.month);
        machine.pushS64(time.day);
        machine.pushS64(time.hour);
        machine.pushS64(time.minute);
        machine.pushS64(time.second);
    }
};

// Tests the reference on top without taking it.
struct CheckNonNull {
    template <class Cell, class Machine>
    static void run(Machine& machine) {
        if (machine.loadAddr(machine.getSp() - 1) == 0) [[unlikely]]
            failRuntime("Null-Pointer Exception");
    }
};

// [..., object value of the source size, method-table address] to the value resized to
// the target size, the address in its deepest cell. A smaller target drops the top
// cells of the value, a greater one adds cells as they are. The sizes are trusted: the
// machine's checked stack operations catch a value that is not there.
struct CastClassClass {
    static constexpr int32_t kValues = 2;
    template <class Cell, class Machine>
    static void run(Machine& machine, int64_t source, int64_t target) {
        const int64_t methodTable = machine.popAddr();
        machine.addSp(target - source);
        machine.storeAddr(machine.getSp() - target, methodTable);
    }
};

} // namespace family

#define KARSTO_OPERATOR KARSTO_OPERATOR_CLASS
#include "instructions/operators/time_object.def"

} // namespace Karsto::operators
