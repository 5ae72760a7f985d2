#pragma once
// "print" writes the text of each argument to standard output; "tostring" joins the
// texts of its arguments into one STRING. Both take any number of positional
// arguments (none included) and dispatch each through their overload table, a STRING
// or WSTRING of any capacity as the default one.

#include "builtins/function_intrinsic.h"

namespace Karsto {

class FunctionIntrinsicPrint final : public FunctionIntrinsic {
public:
    FunctionIntrinsicPrint() : FunctionIntrinsic("print", kAnyArity) {}
    Type* getReturnType(AParamList* parameters) override; // "<void>"
    // Per argument: its value, its conversion to the dispatch type, CmdPrint<Type>.
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

class FunctionIntrinsicToString final : public FunctionIntrinsic {
public:
    FunctionIntrinsicToString() : FunctionIntrinsic("tostring", kAnyArity) {}
    Type* getReturnType(AParamList* parameters) override; // the default STRING
    // The empty string, then per argument its value, its conversion and
    // CmdToString<Type>, then one concatenation of them all.
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

} // namespace Karsto
