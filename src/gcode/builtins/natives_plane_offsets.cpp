// The working plane, the settable zero offsets of G54 to G57 and the disable mask. None
// queues a command, starts a block or records a per-line state.

#include "core/exception.h"
#include "core/stackmachine_interpreter.h"
#include "gcode/builtins/nc_natives.h"
#include "gcode/gprocessor_nc2.h"

namespace Karsto {

namespace {

// The G codes that select a settable zero offset, and the entry each selects.
constexpr int32_t kFirstSelectingG = 54;
constexpr int32_t kLastSelectingG = 57;

int32_t zeroOffsetIndexOf(int32_t g, const std::string& function) {
    checkRuntime(g >= kFirstSelectingG && g <= kLastSelectingG,
                 "Invalid G-Code G%d in function '%s'. The G-Code must be one of G54 to G57.", g,
                 function.c_str());
    return 2 * (g - kFirstSelectingG); // G54, G55, G56, G57: entries 0, 2, 4, 6
}

} // namespace

// The vector's direction only counts: it is never converted by the length unit.
void FunctionNativeWorkingplaneSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t base = frameBase(m);
        nc().setWorkingPlane(m.loadF64(at(base, Slot::x)), m.loadF64(at(base, Slot::y)),
                             m.loadF64(at(base, Slot::z)));
    });
}

void FunctionNativeWorkingplaneGet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t base = frameBase(m);
        const Point3& normal = nc().path.planeNormal;
        m.storeF64(at(base, Slot::x), normal.x);
        m.storeF64(at(base, Slot::y), normal.y);
        m.storeF64(at(base, Slot::z), normal.z);
    });
}

void FunctionNativeZeroOffsetShift::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t base = frameBase(m);
        const int32_t index = zeroOffsetIndexOf(m.loadU8(at(base, Slot::g)), name());
        const ZeroOffset& entry = nc().zeroOffsets().entry(index);
        const double factor = mmPerLengthUnit(nc());
        m.storeF64(at(base, Slot::x), entry.x / factor);
        m.storeF64(at(base, Slot::y), entry.y / factor);
        m.storeF64(at(base, Slot::z), entry.z / factor);
    });
}

void FunctionNativeZeroOffsetShiftSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t base = frameBase(m);
        const int32_t g = m.loadU8(at(base, Slot::g));
        const double factor = mmPerLengthUnit(nc());
        const double x = m.loadF64(at(base, Slot::x)) * factor;
        const double y = m.loadF64(at(base, Slot::y)) * factor;
        const double z = m.loadF64(at(base, Slot::z)) * factor;
        const int32_t index = zeroOffsetIndexOf(g, name());
        // A copy: the q values of the entry stay as they are.
        ZeroOffset entry = nc().zeroOffsets().entry(index);
        entry.x = x;
        entry.y = y;
        entry.z = z;
        nc().setZeroOffset(index, entry);
    });
}

void FunctionNativeDisableMask::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) { m.storeU64(at(frameBase(m), Slot::result), nc().disableMask); });
}

void FunctionNativeDisableMaskSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) { nc().disableMask = m.loadU64(at(frameBase(m), Slot::mask)); });
}

} // namespace Karsto
