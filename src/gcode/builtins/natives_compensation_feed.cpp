// Tool radius compensation, collision elimination, smoothing, feed, interpolation and dynamics settings.

#include "gcode/builtins/nc_natives.h"

namespace Karsto {

// TODO(#58): the bodies of these built-ins; until then each call fails naming itself.
void FunctionNativeParallelPath::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeCollisionElimination::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeCollisionEliminationFlush::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeTrcApproachDepartSet::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeTrcOffsetSet::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeTrcCeLimitSet::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeTrcParam::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeTrcParamSet::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeFeedModeSet::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeCenterpointCorrection::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeRadiusprecisionLimitSet::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeFeedInterpolationSet::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeTransBezier::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeVsmSet::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeDynOvrSet::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeCircleCenterReferenceSet::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeAxisDynamicsSet::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativePathDynamicsSet::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeAutoAccurateStopSet::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }

} // namespace Karsto
