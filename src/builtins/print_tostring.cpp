#include "builtins/print_tostring.h"

#include "codegen/cast_emitter.h"
#include "codegen/special_emitters.h"
#include "core/aparam_list.h"
#include "core/emitters.h"
#include "core/exception.h"
#include "core/type.h"
#include "core/type_string.h"

namespace Karsto {

namespace {

// The type an argument is looked up and converted to: every STRING the default STRING,
// every WSTRING the default WSTRING, since the instructions read 256 cells.
Type* dispatchType(Type* type) {
    if (type->kind() == TypeKind::String) return typeString;
    if (type->kind() == TypeKind::Wstring) return typeWstring;
    return type;
}

// The arguments in order, each its value, its conversion and the table's instruction
// for it. A formal argument would otherwise be dropped without a trace: such calls are
// refused; a call without arguments has no code.
Code argumentsCode(const FunctionIntrinsic& function, AParamList* parameters) {
    checkSemantic(parameters->style() != AParamStyle::formal,
                  "Call of function '%s' must be nonformal.", function.name().c_str());
    Code code;
    for (const auto& parameter : parameters->positional()) {
        Type* dispatch = dispatchType(parameter->type);
        function.checkOverloaded(dispatch); // before the argument's code is built
        code = code.concat(parameter->valueCode())
                   .concat(emitImplicitConversion(parameter->type, dispatch, SourceSpan()))
                   .concat(function.overloadCode(dispatch));
    }
    return code;
}

} // namespace

Type* FunctionIntrinsicPrint::getReturnType(AParamList*) { return typeVoid; }

void FunctionIntrinsicPrint::compileCall(Code& out, AParamList* parameters, const SourceSpan&) {
    out = argumentsCode(*this, parameters);
}

Type* FunctionIntrinsicToString::getReturnType(AParamList*) { return typeString; }

void FunctionIntrinsicToString::compileCall(Code& out, AParamList* parameters,
                                            const SourceSpan& span) {
    const auto texts = static_cast<int32_t>(parameters->positional().size());
    out = emitStringLiteral({}, typeString, span)
              .concat(argumentsCode(*this, parameters))
              .concat(emitConcat(texts + 1, SourceSpan()));
}

} // namespace Karsto
