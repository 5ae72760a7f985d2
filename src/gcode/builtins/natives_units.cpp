// The unit built-ins: they choose the units of the values a program hands over from now
// on. They convert nothing already programmed, queue nothing and start no block.

#include "core/log.h"
#include "core/stackmachine_interpreter.h"
#include "gcode/builtins/nc_natives.h"
#include "gcode/gprocessor_nc2.h"

namespace Karsto {

namespace {

bool debugOn() { return globalLog.enabled(LogLevel::debugGProcessor); }

} // namespace

void FunctionNativeUnitlSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int32_t unit = loadEnum(m, frameBase(m), Slot::unitlength);
        nc().units.length = unit;
        if (debugOn()) globalLog.debugGProcessor("UNITLENGTH=%s", unitLengthName(unit).c_str());
    });
}

void FunctionNativeUnitaSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int32_t unit = loadEnum(m, frameBase(m), Slot::unitangle);
        nc().units.angle = unit;
        if (debugOn()) globalLog.debugGProcessor("UNITANGLE=%s", unitAngleName(unit).c_str());
    });
}

void FunctionNativeUnittSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int32_t unit = loadEnum(m, frameBase(m), Slot::unittime);
        nc().units.time = unit;
        if (debugOn()) globalLog.debugGProcessor("UNITTIME=%s", unitTimeName(unit).c_str());
    });
}

void FunctionNativeUnitvSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t base = frameBase(m);
        // Order matters: the time is read first, so a bad time is the one reported.
        const int32_t time = loadEnum(m, base, Slot::unittime);
        const int32_t length = loadEnum(m, base, Slot::unitlength);
        nc().setVelocityUnit(length, time); // writes the line "UNITSPEED=..."
    });
}

} // namespace Karsto
