#pragma once
// The built-ins that choose or bound a value: sel, mux, min, max and limit. Each takes
// its result type from the static types of its arguments and builds its code through
// the emitters; every argument is evaluated exactly once, in argument order (inputs
// before the selector), converted to the result type, then one selection instruction
// runs. Nothing short-circuits.

#include "builtins/function_intrinsic.h"

namespace Karsto {

// sel(G, IN0, IN1): IN0 when G is FALSE, IN1 when TRUE.
class FunctionIntrinsicSel final : public FunctionIntrinsic {
public:
    FunctionIntrinsicSel() : FunctionIntrinsic("sel", 3) {}
    Type* getReturnType(AParamList* parameters) override; // common type of IN0 and IN1
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

// mux(K, IN0, .., INn-1): INk; a selector outside 0..n-1 stops the program.
class FunctionIntrinsicMux final : public FunctionIntrinsic {
public:
    FunctionIntrinsicMux() : FunctionIntrinsic("mux", kAnyArity) {}
    Type* getReturnType(AParamList* parameters) override; // common type of the inputs
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

// min and max of one or more values in the common type of them all; of equal values
// the later argument is the one kept.
class FunctionIntrinsicMinMax : public FunctionIntrinsic {
public:
    explicit FunctionIntrinsicMinMax(std::string name)
        : FunctionIntrinsic(std::move(name), kAnyArity) {}
    Type* getReturnType(AParamList* parameters) override;

protected:
    using ExtremumEmitter = Code (*)(Type*, int64_t, const SourceSpan&);
    // The arguments converted to the common type, then the one instruction of emit.
    Code extremumCode(AParamList* parameters, const SourceSpan& span, ExtremumEmitter emit);
};

class FunctionIntrinsicMin final : public FunctionIntrinsicMinMax {
public:
    FunctionIntrinsicMin() : FunctionIntrinsicMinMax("min") {}
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

class FunctionIntrinsicMax final : public FunctionIntrinsicMinMax {
public:
    FunctionIntrinsicMax() : FunctionIntrinsicMinMax("max") {}
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

// limit(MN, IN, MX) = MIN(MAX(MN, IN), MX) in the type of MN, so MX wins when MN > MX.
class FunctionIntrinsicLimit final : public FunctionIntrinsic {
public:
    FunctionIntrinsicLimit() : FunctionIntrinsic("limit", 3) {}
    Type* getReturnType(AParamList* parameters) override;
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

} // namespace Karsto
