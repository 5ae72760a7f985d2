#pragma once
// The named conversions: to_T and A_to_B through the cast emitter (reals round to the
// nearest integer, halves away from zero), the truncations and the BCD conversions
// through their tables. Every one takes exactly one positional argument and has the
// fixed result type toType. The conversions these kinds emit carry no source span.

#include "builtins/function_intrinsic.h"

namespace Karsto {

// The kinds whose argument's type is not fixed beforehand.
class FunctionIntrinsicTo : public FunctionIntrinsic {
public:
    FunctionIntrinsicTo(std::string name, Type* to)
        : FunctionIntrinsic(std::move(name), 1), toType(to) {}
    Type* getReturnType(AParamList* parameters) override;

    Type* const toType; // borrowed
};

// to_T: whatever the cast emitter converts to T.
class FunctionIntrinsicCastTo final : public FunctionIntrinsicTo {
public:
    using FunctionIntrinsicTo::FunctionIntrinsicTo;
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

// The kinds with a type the argument is brought to implicitly first.
class FunctionIntrinsicFromTo : public FunctionIntrinsic {
public:
    FunctionIntrinsicFromTo(std::string name, Type* from, Type* to)
        : FunctionIntrinsic(std::move(name), 1), fromType(from), toType(to) {}
    Type* getReturnType(AParamList* parameters) override;

    Type* const fromType; // borrowed
    Type* const toType;   // borrowed
};

// A_to_B: the cast from A to B, after the argument's implicit conversion to A.
class FunctionIntrinsicCastFromTo final : public FunctionIntrinsicFromTo {
public:
    using FunctionIntrinsicFromTo::FunctionIntrinsicFromTo;
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

// The table's one entry, keyed toType, after the argument's implicit conversion to
// fromType: lreal_trunc_T, real_trunc_T (Trunc), W_bcd_to_T, T_to_bcd_W (Bcd).
class FunctionIntrinsicTableFromTo : public FunctionIntrinsicFromTo {
public:
    using FunctionIntrinsicFromTo::FunctionIntrinsicFromTo;
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

class FunctionIntrinsicTrunc final : public FunctionIntrinsicTableFromTo {
public:
    using FunctionIntrinsicTableFromTo::FunctionIntrinsicTableFromTo;
};

class FunctionIntrinsicBcd final : public FunctionIntrinsicTableFromTo {
public:
    using FunctionIntrinsicTableFromTo::FunctionIntrinsicTableFromTo;
};

// The table's entry for the argument's own type, without a conversion, so literals are
// refused: trunc_T (TruncTo), bcd_to_T and to_bcd_W (BcdTo).
class FunctionIntrinsicTableTo : public FunctionIntrinsicTo {
public:
    using FunctionIntrinsicTo::FunctionIntrinsicTo;
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

class FunctionIntrinsicTruncTo final : public FunctionIntrinsicTableTo {
public:
    using FunctionIntrinsicTableTo::FunctionIntrinsicTableTo;
};

class FunctionIntrinsicBcdTo final : public FunctionIntrinsicTableTo {
public:
    using FunctionIntrinsicTableTo::FunctionIntrinsicTableTo;
};

} // namespace Karsto
