#pragma once
// The calls of user and native functions. Every call binds its actual parameters by one
// set of rules: the push code builds the parameter area (the return cells, then each
// formal in declaration order) and the copy-back code, run after the call, consumes
// that area from the top down, storing outputs and in-outs into the caller's variables
// and dropping the rest, so that only the return value remains.

#include <span>

#include "core/code.h"
#include "core/function.h"

namespace Karsto {

class AParamList;
class Variable;

struct CallBinding {
    Code push;     // the return value's code first, then one piece per formal
    Code copyBack; // the last formal's piece first
};

// Binds the list (null: no parameters given) to the formals, in declaration order
// (without the return variable; a method call also leaves out "this"). returnValue is
// the code that starts the area. Raises ExceptionSemantic without a span, before any
// code is kept, on the first failing check. The pieces carry the empty span, the
// arguments' code aside.
CallBinding bindCallParameters(std::span<Variable* const> formals, AParamList* parameters,
                               const Code& returnValue);

// The formals of a function's parameter area: every variable after the return variable.
std::span<Variable* const> formalsOf(const MemoryParam& area);

class CodegenCallCompiler final : public CallCompiler {
public:
    void compileNativeCall(FunctionNative& function, Code& out, AParamList* parameters,
                           const SourceSpan& span) const override;
    void compileUserCall(FunctionUser& function, Code& out, AParamList* parameters,
                         const SourceSpan& span) const override;
};

} // namespace Karsto
