#include "builtins/selection_builtins.h"

#include "builtins/intrinsic_arguments.h"
#include "codegen/cast_emitter.h"
#include "codegen/operation_emitters.h"
#include "core/aparam_list.h"
#include "core/emitters.h"
#include "core/exception.h"
#include "core/type.h"

namespace Karsto {

namespace {

// Every argument's value converted to the type, in order; the conversions carry no
// span.
Code convertedValues(Arguments arguments, Type* type) {
    Code code;
    for (const auto& argument : arguments)
        code = code.concat(convertedValue(*argument, type, SourceSpan()));
    return code;
}

} // namespace

Type* FunctionIntrinsicSel::getReturnType(AParamList* parameters) {
    checkNonformal(parameters);
    const auto& arguments = parameters->positional();
    return commonTypeOrFail(arguments[1]->type, arguments[2]->type);
}

void FunctionIntrinsicSel::compileCall(Code& out, AParamList* parameters, const SourceSpan& span) {
    Type* result = getReturnType(parameters);
    const auto& arguments = parameters->positional();
    const SourceSpan none;
    Code inputs = convertedValue(*arguments[1], result, span)
                      .concat(convertedValue(*arguments[2], result, span));
    // FALSE selects group 0, TRUE group 1.
    Code selector =
        convertedValue(*arguments[0], typeBool, none).concat(emitCast(typeBool, typeAddr, none));
    out = inputs.concat(selector).concat(emitMux(result, 2, span));
}

Type* FunctionIntrinsicMux::getReturnType(AParamList* parameters) {
    checkNonformal(parameters);
    const auto& arguments = parameters->positional();
    checkSemantic(arguments.size() >= 2, "Number of actual parameters (%d) must be at least 2.",
                  static_cast<int>(arguments.size()));
    return foldedCommonType(Arguments(arguments).subspan(1));
}

void FunctionIntrinsicMux::compileCall(Code& out, AParamList* parameters, const SourceSpan& span) {
    Type* result = getReturnType(parameters);
    const Arguments arguments = parameters->positional();
    const Arguments inputs = arguments.subspan(1);
    Code code = convertedValues(inputs, result);
    const AParam& selector = *arguments.front();
    checkSemantic(isIndexKind(selector.type),
                  "Expected integer-type for selector, but '%s' is given.",
                  selector.type->toString().c_str());
    const auto groups = static_cast<int64_t>(inputs.size());
    // The range check leaves the selector for the Mux to pop.
    out = code.concat(castValue(selector, typeAddr, span))
              .concat(emitAssertRange(0, groups - 1, span))
              .concat(emitMux(result, groups, span));
}

Type* FunctionIntrinsicMinMax::getReturnType(AParamList* parameters) {
    checkSemantic(parameters->style() == AParamStyle::positional,
                  "Call of function '%s' must be nonformal.", name().c_str());
    return foldedCommonType(parameters->positional());
}

Code FunctionIntrinsicMinMax::extremumCode(AParamList* parameters, const SourceSpan& span,
                                           ExtremumEmitter emit) {
    Type* result = getReturnType(parameters);
    const Arguments arguments = parameters->positional();
    return convertedValues(arguments, result)
        .concat(emit(result, static_cast<int64_t>(arguments.size()), span));
}

void FunctionIntrinsicMin::compileCall(Code& out, AParamList* parameters, const SourceSpan& span) {
    out = extremumCode(parameters, span, emitMin);
}

void FunctionIntrinsicMax::compileCall(Code& out, AParamList* parameters, const SourceSpan& span) {
    out = extremumCode(parameters, span, emitMax);
}

Type* FunctionIntrinsicLimit::getReturnType(AParamList* parameters) {
    checkNonformal(parameters);
    return parameters->positional().front()->type;
}

void FunctionIntrinsicLimit::compileCall(Code& out, AParamList* parameters,
                                         const SourceSpan& span) {
    Type* result = getReturnType(parameters);
    const auto& arguments = parameters->positional();
    // MN is taken as it is: it decides the type.
    out = arguments[0]
              ->valueCode()
              .concat(convertedValue(*arguments[1], result, span))
              .concat(emitMax(result, 2, span))
              .concat(convertedValue(*arguments[2], result, span))
              .concat(emitMin(result, 2, span));
}

} // namespace Karsto
