#pragma once
// The built-ins on character strings: len, mid, left, right and concat. Every string
// argument is first brought to the default STRING or WSTRING (capacity 255), so the
// string instructions behind them only see values of one size; left and right are Mid
// with a computed position. Positions count from 1.

#include "builtins/function_intrinsic.h"

namespace Karsto {

// len(IN): the current length, as an integer literal.
class FunctionIntrinsicLen final : public FunctionIntrinsic {
public:
    FunctionIntrinsicLen() : FunctionIntrinsic("len", 1) {}
    Type* getReturnType(AParamList* parameters) override;
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

// The kinds that cut a part out of their first argument, whose kind (STRING or
// WSTRING) decides the result.
class FunctionIntrinsicSubstring : public FunctionIntrinsic {
public:
    using FunctionIntrinsic::FunctionIntrinsic;
    Type* getReturnType(AParamList* parameters) override;
};

// mid(IN, P, L): L characters from position P.
class FunctionIntrinsicMid final : public FunctionIntrinsicSubstring {
public:
    FunctionIntrinsicMid() : FunctionIntrinsicSubstring("mid", 3) {}
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

// left(IN, L): the first L characters.
class FunctionIntrinsicLeft final : public FunctionIntrinsicSubstring {
public:
    FunctionIntrinsicLeft() : FunctionIntrinsicSubstring("left", 2) {}
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

// right(IN, L): the last L characters; L is evaluated before IN.
class FunctionIntrinsicRight final : public FunctionIntrinsicSubstring {
public:
    FunctionIntrinsicRight() : FunctionIntrinsicSubstring("right", 2) {}
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

// concat(A1 .. An): the strings joined, cut to 255 characters. The first argument
// decides between STRING and WSTRING; characters are widened to strings.
class FunctionIntrinsicConcat final : public FunctionIntrinsic {
public:
    FunctionIntrinsicConcat() : FunctionIntrinsic("concat", kAnyArity) {}
    Type* getReturnType(AParamList* parameters) override;
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

} // namespace Karsto
