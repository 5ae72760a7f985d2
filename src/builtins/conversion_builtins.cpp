#include "builtins/conversion_builtins.h"

#include "codegen/cast_emitter.h"
#include "core/aparam_list.h"
#include "core/type.h"

namespace Karsto {

namespace {

// The one argument after the positional and count checks.
const AParam& onlyArgument(const FunctionIntrinsic& function, AParamList* parameters) {
    function.checkNonformal(parameters);
    return *parameters->positional().front();
}

} // namespace

Type* FunctionIntrinsicTo::getReturnType(AParamList*) { return toType; }

void FunctionIntrinsicCastTo::compileCall(Code& out, AParamList* parameters, const SourceSpan&) {
    const AParam& argument = onlyArgument(*this, parameters);
    out = argument.valueCode().concat(emitCast(argument.type, toType, SourceSpan()));
}

Type* FunctionIntrinsicFromTo::getReturnType(AParamList*) { return toType; }

void FunctionIntrinsicCastFromTo::compileCall(Code& out, AParamList* parameters,
                                              const SourceSpan&) {
    const AParam& argument = onlyArgument(*this, parameters);
    // Made first: a pair without a cast is reported before a refused argument.
    Code conversion = emitCast(fromType, toType, SourceSpan());
    Code adjustment = emitImplicitConversion(argument.type, fromType, SourceSpan());
    out = argument.valueCode().concat(adjustment).concat(conversion);
}

void FunctionIntrinsicTableFromTo::compileCall(Code& out, AParamList* parameters,
                                               const SourceSpan&) {
    const AParam& argument = onlyArgument(*this, parameters);
    Code instructions = overloadCode(toType);
    Code adjustment = emitImplicitConversion(argument.type, fromType, SourceSpan());
    out = argument.valueCode().concat(adjustment).concat(instructions);
}

void FunctionIntrinsicTableTo::compileCall(Code& out, AParamList* parameters,
                                           const SourceSpan&) {
    const AParam& argument = onlyArgument(*this, parameters);
    out = argument.valueCode().concat(overloadCode(argument.type));
}

} // namespace Karsto
