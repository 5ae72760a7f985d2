// Trigonometry in the channel's angle unit: gsin, gcos and gtan take an angle in it,
// gasin, gacos, gatan and gatan2 return one. They never fail: an argument outside a
// function's domain gives what the library function gives.

#include <cmath>

#include "core/stackmachine_interpreter.h"
#include "gcode/builtins/nc_natives.h"
#include "gcode/gprocessor_nc2.h"

namespace Karsto {

namespace {

// The double nearest to 1 + 1e-8: an argument of gasin or gacos this little beyond -1
// or 1 (rounding of a computed sine or cosine) counts as the boundary.
constexpr double kSnapLimit = 1.00000001;

double snapToUnitRange(double value) {
    if (value > 1.0 && value <= kSnapLimit) return 1.0;
    if (value < -1.0 && value >= -kSnapLimit) return -1.0;
    return value;
}

// Radians per unit of the angle unit in force at the call.
double radiansPerUnit(const GProcessorNc2& processor) { return unitAngleFactor(processor.units.angle); }

} // namespace

// The three functions of an angle.
#define KARSTO_NC_ANGLE_FUNCTION(Class, function)                                                  \
    void Class::execute(Stackmachine& machine, const SourceSpan&) {                                \
        onMachine(machine, [this](auto& m) {                                                       \
            const int64_t base = frameBase(m);                                                     \
            const double angle = m.loadF64(at(base, Slot::angle)) * radiansPerUnit(nc());          \
            m.storeF64(at(base, Slot::result), function(angle));                                   \
        });                                                                                        \
    }
KARSTO_NC_ANGLE_FUNCTION(FunctionNativeGSin, std::sin)
KARSTO_NC_ANGLE_FUNCTION(FunctionNativeGCos, std::cos)
KARSTO_NC_ANGLE_FUNCTION(FunctionNativeGTan, std::tan)
#undef KARSTO_NC_ANGLE_FUNCTION

// The three inverse functions of one value; prepare is applied to the value first.
#define KARSTO_NC_INVERSE_FUNCTION(Class, function, prepare)                                       \
    void Class::execute(Stackmachine& machine, const SourceSpan&) {                                \
        onMachine(machine, [this](auto& m) {                                                       \
            const int64_t base = frameBase(m);                                                     \
            const double value = prepare(m.loadF64(at(base, Slot::val)));                          \
            m.storeF64(at(base, Slot::result), function(value) / radiansPerUnit(nc()));            \
        });                                                                                        \
    }
KARSTO_NC_INVERSE_FUNCTION(FunctionNativeGASin, std::asin, snapToUnitRange)
KARSTO_NC_INVERSE_FUNCTION(FunctionNativeGACos, std::acos, snapToUnitRange)
KARSTO_NC_INVERSE_FUNCTION(FunctionNativeGATan, std::atan, )
#undef KARSTO_NC_INVERSE_FUNCTION

void FunctionNativeGATan2::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t base = frameBase(m);
        const double y = m.loadF64(at(base, Slot::y));
        const double x = m.loadF64(at(base, Slot::x));
        m.storeF64(at(base, Slot::result), std::atan2(y, x) / radiansPerUnit(nc()));
    });
}

} // namespace Karsto
