// The synchronisation built-ins and the built-ins of the tool table.

#include "gcode/builtins/nc_natives.h"

namespace Karsto {

// TODO(#56): the bodies of these built-ins; until then each call fails naming itself.
void FunctionNativeSync::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeWait::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeQueryaxes::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeToolparamSet::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeToolSet::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeToolparam::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }

} // namespace Karsto
