#include "codegen/method_call.h"

#include <span>

#include "core/emitters.h"
#include "core/function.h"
#include "core/memory.h"
#include "core/type.h"
#include "core/variable.h"

namespace Karsto {

MethodCallFrame bindMethodCall(MethodUser& method, AParamList* parameters) {
    std::span<Variable* const> formals = formalsOf(*method.parameterArea());
    if (!formals.empty()) formals = formals.first(formals.size() - 1);
    Type* returnType = method.getReturnType(parameters);
    MethodCallFrame frame{bindCallParameters(formals, parameters, returnType->initialValue()),
                          returnType->size(), 0};
    for (Variable* formal : formals)
        if (parameterKindOf(formal->flags()) != ParameterKind::none)
            frame.parameterCells += formal->type()->size();
    return frame;
}

Code methodCallReturn(const MethodCallFrame& frame) {
    const SourceSpan none;
    const int64_t r = frame.resultCells;
    return emitPop(typeAddr, none)
        .concat(frame.binding.copyBack)
        // An overlapping move one cell down: CopyTo moves as if through a buffer.
        .concat(emitCopyTo(none, -r, -(r + 1), r))
        .concat(emitSpAdd(none, -typeAddr->size()));
}

} // namespace Karsto
