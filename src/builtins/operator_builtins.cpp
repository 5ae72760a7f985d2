#include "builtins/operator_builtins.h"

#include "builtins/intrinsic_arguments.h"
#include "codegen/cast_emitter.h"
#include "core/aparam_list.h"
#include "core/type.h"

namespace Karsto {

namespace {

// The first argument's type after the positional and count checks.
Type* ownType(const FunctionIntrinsic& function, AParamList* parameters) {
    function.checkNonformal(parameters);
    Type* type = parameters->positional().front()->type;
    function.checkOverloaded(type);
    return type;
}

} // namespace

Type* FunctionIntrinsicArithBinary::getReturnType(AParamList* parameters) {
    checkNonformal(parameters);
    const auto& arguments = parameters->positional();
    return commonTypeOrFail(arguments[0]->type, arguments[1]->type);
}

void FunctionIntrinsicArithBinary::compileCall(Code& out, AParamList* parameters,
                                               const SourceSpan& span) {
    Type* operation = getReturnType(parameters);
    const auto& arguments = parameters->positional();
    Code first = convertedValue(*arguments[0], operation, span);
    Code instruction = overloadCode(operation);
    out = first.concat(convertedValue(*arguments[1], operation, span)).concat(instruction);
}

Type* FunctionIntrinsicArithVariadic::getReturnType(AParamList* parameters) {
    checkNonformal(parameters);
    Type* operation = foldedCommonType(parameters->positional());
    checkOverloaded(operation);
    return operation;
}

void FunctionIntrinsicArithVariadic::compileCall(Code& out, AParamList* parameters,
                                                 const SourceSpan& span) {
    Type* operation = getReturnType(parameters);
    const auto& arguments = parameters->positional();
    Code code = convertedValue(*arguments.front(), operation, span);
    for (size_t index = 1; index < arguments.size(); ++index)
        code = code.concat(convertedValue(*arguments[index], operation, span))
                   .concat(overloadCode(operation));
    out = code;
}

Type* FunctionIntrinsicCmpBinary::getReturnType(AParamList*) { return typeBool; }

void FunctionIntrinsicCmpBinary::compileCall(Code& out, AParamList* parameters,
                                             const SourceSpan& span) {
    checkNonformal(parameters);
    const auto& arguments = parameters->positional();
    Type* operation = commonTypeOrFail(arguments[0]->type, arguments[1]->type);
    // Pointers would be compared as addresses; no implicit conversion leads there, so
    // such a call is refused by the argument's conversion.
    if (operation->kind() == TypeKind::Pointer) operation = typeAddr;
    checkOverloaded(operation);
    Code instruction = overloadCode(operation);
    out = convertedValue(*arguments[0], operation, span)
              .concat(convertedValue(*arguments[1], operation, span))
              .concat(instruction);
}

Type* FunctionIntrinsicArithUnary::getReturnType(AParamList* parameters) {
    return ownType(*this, parameters);
}

void FunctionIntrinsicArithUnary::compileCall(Code& out, AParamList* parameters,
                                              const SourceSpan&) {
    Type* operation = getReturnType(parameters);
    out = parameters->positional().front()->valueCode().concat(overloadCode(operation));
}

Type* FunctionIntrinsicBitshift::getReturnType(AParamList* parameters) {
    return ownType(*this, parameters);
}

void FunctionIntrinsicBitshift::compileCall(Code& out, AParamList* parameters,
                                            const SourceSpan& span) {
    Type* operation = getReturnType(parameters);
    const auto& arguments = parameters->positional();
    Code instruction = overloadCode(operation);
    Code distance = emitCast(arguments[1]->type, typeInt, span);
    out = arguments[0]->valueCode()
              .concat(arguments[1]->valueCode())
              .concat(distance)
              .concat(instruction);
}

} // namespace Karsto
