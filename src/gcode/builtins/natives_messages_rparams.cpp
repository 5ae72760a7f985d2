// Operator messages, R-parameters and run files.

#include "gcode/builtins/nc_natives.h"

namespace Karsto {

// TODO(#59): the bodies of these built-ins; until then each call fails naming itself.
void FunctionNativeMsg::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeRunfile::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeRGet::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeRSet::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }

} // namespace Karsto
