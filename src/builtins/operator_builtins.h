#pragma once
// The operators and the mathematical functions in function form. A call compiles to
// its arguments' code, their conversions to the operation type and the table's
// instruction for that type. The operation type is never widened beyond what the
// arguments demand: sqrt of an INT or add of two TIME values is refused.

#include "builtins/function_intrinsic.h"

namespace Karsto {

// "atan2", "sub", "div", "mod", "expt": both arguments in their common type.
class FunctionIntrinsicArithBinary final : public FunctionIntrinsic {
public:
    explicit FunctionIntrinsicArithBinary(std::string name)
        : FunctionIntrinsic(std::move(name), 2) {}
    // The common type; the table is consulted only by compileCall.
    Type* getReturnType(AParamList* parameters) override;
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

// "add", "mul", "or", "xor", "and": a left fold over one or more arguments in the
// common type of them all.
class FunctionIntrinsicArithVariadic final : public FunctionIntrinsic {
public:
    explicit FunctionIntrinsicArithVariadic(std::string name)
        : FunctionIntrinsic(std::move(name), kAnyArity) {}
    Type* getReturnType(AParamList* parameters) override;
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

// "eq" ... "ge": BOOL whatever the arguments; every check is made while compiling.
class FunctionIntrinsicCmpBinary final : public FunctionIntrinsic {
public:
    explicit FunctionIntrinsicCmpBinary(std::string name)
        : FunctionIntrinsic(std::move(name), 2) {}
    Type* getReturnType(AParamList* parameters) override;
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

// "abs", "sqrt", ..., "round": the argument's own type, no conversion, so a subrange
// argument keeps its type.
class FunctionIntrinsicArithUnary final : public FunctionIntrinsic {
public:
    explicit FunctionIntrinsicArithUnary(std::string name)
        : FunctionIntrinsic(std::move(name), 1) {}
    Type* getReturnType(AParamList* parameters) override;
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

// "shl", "shr", "rol", "ror": the first argument's own type; the distance is cast
// explicitly to INT.
class FunctionIntrinsicBitshift final : public FunctionIntrinsic {
public:
    explicit FunctionIntrinsicBitshift(std::string name)
        : FunctionIntrinsic(std::move(name), 2) {}
    Type* getReturnType(AParamList* parameters) override;
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

} // namespace Karsto
