#pragma once
// The signatures of the NC built-in functions as data, expanded from nc_natives.def:
// the constructors lay out the parameters from them and the registration creates the
// built-ins in their order. Included by the NC built-ins and their registration only.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "gcode/builtins/nc_types.h"

namespace Karsto {

enum class NcNativeId : uint8_t {
#define KARSTO_NC_NATIVE(Class, name, returns, processor, context, parameters) Class,
#include "gcode/builtins/nc_natives.def"
};

inline constexpr size_t kNcNativeCount = 0
#define KARSTO_NC_NATIVE(Class, name, returns, processor, context, parameters) +1
#include "gcode/builtins/nc_natives.def"
    ;
static_assert(kNcNativeCount == 64, "the NC built-ins of a channel");

// Whether the built-in acts on the channel's G-code processor.
enum class NcBinding : uint8_t { bound, unbound };
// Whether the call has a context cell on top of its parameters.
enum class NcContext : uint8_t { context, noContext };

struct NcParamRow {
    const char* name;
    NcValue kind;
    bool output;
};

struct NcNativeRow {
    const char* name;
    NcValue returns;
    NcBinding processor;
    NcContext context;
    std::span<const NcParamRow> params;
};

namespace ncrows {
// One list per built-in; the sentinel keeps a list from being empty and is not part of it.
#define KARSTO_NC_IN(name, kind) {#name, NcValue::kind, false},
#define KARSTO_NC_OUT(name, kind) {#name, NcValue::kind, true},
#define KARSTO_NC_NATIVE(Class, name, returns, processor, context, parameters)                      \
    inline constexpr NcParamRow Class##Params[] = {parameters{nullptr, NcValue::Void, false}};
#include "gcode/builtins/nc_natives.def"
#undef KARSTO_NC_IN
#undef KARSTO_NC_OUT
} // namespace ncrows

// Indexed by NcNativeId.
inline constexpr std::array<NcNativeRow, kNcNativeCount> kNcNativeRows{{
#define KARSTO_NC_NATIVE(Class, name, returns, processor, context, parameters)                      \
    {#name, NcValue::returns, NcBinding::processor, NcContext::context,                            \
     std::span(ncrows::Class##Params).first(std::size(ncrows::Class##Params) - 1)},
#include "gcode/builtins/nc_natives.def"
}};

constexpr const NcNativeRow& ncNativeRow(NcNativeId id) {
    return kNcNativeRows[static_cast<size_t>(id)];
}

} // namespace Karsto
