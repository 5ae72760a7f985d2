#include "gcode/builtins/nc_natives.h"

#include <array>

#include "gcode/gprocessor_nc2.h"

namespace Karsto {

#define KARSTO_NC_NATIVE(Class, name, returns, processor, context, parameters)                      \
    Class::Class(GProcessorNc2* processor, const NcTypes& types)                                   \
        : FunctionNativeNc(NcNativeId::Class, processor, types) {}
#include "gcode/builtins/nc_natives.def"

namespace {

using NcNativeFactory = FunctionNativeNc* (*)(GProcessorNc2*, const NcTypes&);

// Indexed by NcNativeId.
constexpr std::array<NcNativeFactory, kNcNativeCount> kFactories{{
#define KARSTO_NC_NATIVE(Class, name, returns, processor, context, parameters)                      \
    [](GProcessorNc2* p, const NcTypes& t) -> FunctionNativeNc* { return new Class(p, t); },
#include "gcode/builtins/nc_natives.def"
}};

} // namespace

double mmPerLengthUnit(const GProcessorNc2& processor) { return unitLengthFactor(processor.units.length); }
double radPerAngleUnit(const GProcessorNc2& processor) { return unitAngleFactor(processor.units.angle); }

FunctionNativeNc* makeNcNative(NcNativeId id, GProcessorNc2* processor, const NcTypes& types) {
    return kFactories[static_cast<size_t>(id)](processor, types);
}

} // namespace Karsto
