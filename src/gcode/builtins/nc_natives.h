#pragma once
// The 64 NC built-in functions, one class per row of nc_natives.def. Every class has the
// same shape: constructed with the channel's processor and the NC types of the
// compilation, laid out from its row, and its own execute. Slot names its slots for
// execute: result (the return variable), then the parameters in the row's order.
// Included by the NC built-ins, their registration and their tests only.

#include <cstdint>

#include "gcode/builtins/function_native_nc.h"

namespace Karsto {

#define KARSTO_NC_IN(name, kind) name,
#define KARSTO_NC_OUT(name, kind) name,
#define KARSTO_NC_NATIVE(Class, name, returns, processor, context, parameters)                      \
    class Class final : public FunctionNativeNc {                                                  \
    public:                                                                                        \
        enum class Slot : uint8_t { result, parameters };                                          \
        Class(GProcessorNc2* processor, const NcTypes& types);                                     \
        void execute(Stackmachine& machine, const SourceSpan& span) override;                      \
    };
#include "gcode/builtins/nc_natives.def"
#undef KARSTO_NC_IN
#undef KARSTO_NC_OUT

// A new built-in of the row id, bound to processor when its row says so; no reference
// taken yet.
FunctionNativeNc* makeNcNative(NcNativeId id, GProcessorNc2* processor, const NcTypes& types);

// Millimetres per length unit and radians per angle unit in the processor's units now.
double mmPerLengthUnit(const GProcessorNc2& processor);
double radPerAngleUnit(const GProcessorNc2& processor);

} // namespace Karsto
