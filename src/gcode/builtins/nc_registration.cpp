// The registration of a channel's NC types and built-ins into one compilation.

#include <array>
#include <initializer_list>

#include "gcode/builtins/nc_natives.h"
#include "gcode/gprocessor_nc2.h"

namespace Karsto {

namespace {

// One step: declare these types (in this order), then add the built-ins up to and
// including the row `through`. Types are declared just before the first built-in that
// uses them.
struct RegistrationStep {
    std::array<NcTypeId, 2> types;
    size_t typeCount;
    NcNativeId through;
};

constexpr std::array<RegistrationStep, 10> kSteps{{
    {{NcTypeId::unitlength}, 1, NcNativeId::FunctionNativeUnitlSet},
    {{NcTypeId::unitangle}, 1, NcNativeId::FunctionNativeUnitaSet},
    {{NcTypeId::unittime}, 1, NcNativeId::FunctionNativeUnitvSet},
    {{}, 0, NcNativeId::FunctionNativeMoveCircle3d},
    {{NcTypeId::feedmodetype}, 1, NcNativeId::FunctionNativeRadiusprecisionLimitSet},
    {{NcTypeId::feedinterpolationtype}, 1, NcNativeId::FunctionNativeToolparamSet},
    {{NcTypeId::tooltype}, 1, NcNativeId::FunctionNativeRunfile},
    {{NcTypeId::smoothingmaintype, NcTypeId::smoothingsubtype}, 2, NcNativeId::FunctionNativeDynOvrSet},
    {{NcTypeId::referencetype}, 1, NcNativeId::FunctionNativeCircleCenterReferenceSet},
    {{NcTypeId::trcparamtype}, 1, NcNativeId::FunctionNativeAutoAccurateStopSet},
}};

// Every row is added by some step, in order, and every NC type a row uses (and every
// type a structure's field uses) is declared by its step or an earlier one; every type
// is declared exactly once.
constexpr bool stepsComplete() {
    std::array<bool, kNcTypeCount> declared{};
    auto usable = [&declared](NcValue kind) {
        const std::optional<NcTypeId> type = ncTypeOf(kind);
        return !type || declared[static_cast<size_t>(*type)];
    };
    size_t next = 0;
    for (const RegistrationStep& step : kSteps) {
        for (size_t i = 0; i < step.typeCount; ++i) {
            const auto index = static_cast<size_t>(step.types[i]);
            if (declared[index]) return false;
            for (const NcStructField& field : kNcTypeRows[index].fields)
                if (!usable(field.kind)) return false;
            declared[index] = true;
        }
        const auto through = static_cast<size_t>(step.through);
        if (through < next) return false;
        for (; next <= through; ++next) {
            const NcNativeRow& row = kNcNativeRows[next];
            if (!usable(row.returns)) return false;
            for (const NcParamRow& param : row.params)
                if (!usable(param.kind)) return false;
        }
    }
    for (bool isDeclared : declared)
        if (!isDeclared) return false;
    return next == kNcNativeCount;
}
static_assert(stepsComplete());

} // namespace

void GProcessorNc2::registerNatives(SymbolTables& symbols, std::vector<FunctionNative*>& natives) {
    NcTypes types;
    natives.reserve(natives.size() + kNcNativeCount); // the appends below cannot fail after a new
    size_t next = 0;
    for (const RegistrationStep& step : kSteps) {
        for (size_t i = 0; i < step.typeCount; ++i) declareNcType(symbols, types, step.types[i]);
        for (; next <= static_cast<size_t>(step.through); ++next)
            natives.push_back(makeNcNative(static_cast<NcNativeId>(next), this, types));
    }
}

} // namespace Karsto
