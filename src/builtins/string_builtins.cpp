#include "builtins/string_builtins.h"

#include "builtins/intrinsic_arguments.h"
#include "codegen/cast_emitter.h"
#include "codegen/operation_emitters.h"
#include "codegen/special_emitters.h"
#include "core/aparam_list.h"
#include "core/constant_factory.h"
#include "core/emitters.h"
#include "core/exception.h"
#include "core/type.h"
#include "core/type_string.h"

namespace Karsto {

namespace {

// The default string type of the argument's kind: STRING for any STRING, else WSTRING
// (which a character or a number then fails to convert to).
Type* defaultStringFor(const Type* type) {
    if (type->isString()) return typeString;
    return typeWstring;
}

// A position or length: its value as an address-typed value. The kind is tested before
// any code of the call is built.
void checkIndex(const AParam& argument) {
    checkSemantic(isIndexKind(argument.type), "Expected integer, but '%s' is given.",
                  argument.type->toString().c_str());
}

// Whether the type joins the default string type t without widening it: t's own kind up
// to capacity 255 and its character type.
bool joinsAs(Type* type, Type* t) {
    Type* common = commonType(type, t);
    return common != nullptr && typesEqual(common, t);
}

} // namespace

Type* FunctionIntrinsicLen::getReturnType(AParamList* parameters) {
    return nonformalResult(*this, parameters, typeIntegerLiteral);
}

void FunctionIntrinsicLen::compileCall(Code& out, AParamList* parameters, const SourceSpan& span) {
    getReturnType(parameters);
    const AParam& text = *parameters->positional().front();
    out = convertedValue(text, defaultStringFor(text.type), span).concat(emitLen(span));
}

Type* FunctionIntrinsicSubstring::getReturnType(AParamList* parameters) {
    checkNonformal(parameters);
    const Type* text = parameters->positional().front()->type;
    checkSemantic(text->isString() || text->isWstring(),
                  "First parameter must be of type string or wstring.");
    return defaultStringFor(text);
}

void FunctionIntrinsicMid::compileCall(Code& out, AParamList* parameters, const SourceSpan& span) {
    Type* result = getReturnType(parameters);
    const auto& arguments = parameters->positional();
    const AParam& position = *arguments[1];
    const AParam& length = *arguments[2];
    checkIndex(position);
    checkIndex(length);
    const SourceSpan none;
    out = convertedValue(*arguments[0], result, span)
              .concat(castValue(position, typeAddr, none))
              .concat(castValue(length, typeAddr, none))
              .concat(emitMid(span));
}

void FunctionIntrinsicLeft::compileCall(Code& out, AParamList* parameters, const SourceSpan& span) {
    Type* result = getReturnType(parameters);
    const auto& arguments = parameters->positional();
    checkIndex(*arguments[1]);
    out = convertedValue(*arguments[0], result, span)
              .concat(makeIntConstant(1, typeAddr, span))
              .concat(castValue(*arguments[1], typeAddr, span))
              .concat(emitMid(span));
}

void FunctionIntrinsicRight::compileCall(Code& out, AParamList* parameters,
                                         const SourceSpan& span) {
    Type* result = getReturnType(parameters);
    const auto& arguments = parameters->positional();
    checkIndex(*arguments[1]);
    const SourceSpan none;
    const int64_t text = result->size();    // 256 cells
    const int64_t index = typeAddr->size(); // 1 cell
    // Offsets count back from the stack pointer. With L, S and one index value above,
    // L lies text + 2 * index cells down.
    const int64_t lengthBelowTextAndIndex = -(text + 2 * index);
    // The stack after each step on the right.
    Code code = castValue(*arguments[1], typeAddr, span)                 // L
                    .concat(convertedValue(*arguments[0], result, span)) // L S
                    .concat(emitDup(result, span))                       // L S S
                    .concat(emitLen(span))                               // L S n
                    .concat(makeIntConstant(1, typeAddr, none))
                    .concat(emitAdd(typeAddr, span))                        // L S n+1
                    .concat(emitCopy(span, lengthBelowTextAndIndex, index)) // L S n+1 L
                    .concat(emitSub(typeAddr, none))                        // L S P
                    .concat(emitCopy(span, lengthBelowTextAndIndex, index)) // L S P L
                    .concat(emitMid(span));                                 // L S'
    // S' moves one cell down over L; the spare top cell goes.
    out = code.concat(emitCopyTo(span, -text, -(text + index), text))
              .concat(emitSpAdd(none, -index));
}

Type* FunctionIntrinsicConcat::getReturnType(AParamList* parameters) {
    checkNonformal(parameters);
    const Arguments arguments = parameters->positional();
    if (joinsAs(arguments.front()->type, typeString)) {
        for (const auto& argument : arguments.subspan(1))
            checkSemantic(joinsAs(argument->type, typeString),
                          "Parameters must all be of type string.");
        return typeString;
    }
    checkSemantic(joinsAs(arguments.front()->type, typeWstring),
                  "Parameter must be of type string or wstring char or wchar.");
    for (const auto& argument : arguments.subspan(1))
        checkSemantic(joinsAs(argument->type, typeWstring),
                      "Parameters must all be of type wstring.");
    return typeWstring;
}

void FunctionIntrinsicConcat::compileCall(Code& out, AParamList* parameters,
                                          const SourceSpan& span) {
    Type* result = getReturnType(parameters);
    const Arguments arguments = parameters->positional();
    Code code;
    for (const auto& argument : arguments)
        code = code.concat(convertedValue(*argument, result, span));
    out = code.concat(emitConcat(static_cast<int32_t>(arguments.size()), span));
}

} // namespace Karsto
