// The frame transformations, the frame queries and the spatial moves.

#include "gcode/builtins/nc_natives.h"

namespace Karsto {

// TODO(#57): the bodies of these built-ins; until then each call fails naming itself.
void FunctionNativeTransRotx::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeTransRoty::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeTransRotz::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeTransRota::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeTransMirrorX::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeTransMirrorY::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeTransMirrorZ::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeTransScale::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeTransScaleAxis::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeTransTranslate::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeTransPop::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeTransDepth::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeTransRestore::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeFrameGet::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeQaxisGet::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeMoveCircle3d::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeMoveBezier3::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }
void FunctionNativeMoveBezier5::execute(Stackmachine&, const SourceSpan&) { failNotAvailable(); }

} // namespace Karsto
