#include "builtins/intrinsic_arguments.h"

#include <cstdint>

#include "builtins/function_intrinsic.h"

#include "codegen/cast_emitter.h"
#include "core/aparam_list.h"
#include "core/type.h"

namespace Karsto {

Code convertedValue(const AParam& argument, Type* to, const SourceSpan& span) {
    return argument.valueCode().concat(emitImplicitConversion(argument.type, to, span));
}

Code castValue(const AParam& argument, Type* to, const SourceSpan& span) {
    return argument.valueCode().concat(emitCast(argument.type, to, span));
}

Type* foldedCommonType(Arguments arguments) {
    Type* common = arguments.front()->type;
    for (const auto& argument : arguments.subspan(1))
        common = commonTypeOrFail(common, argument->type);
    return common;
}

Type* nonformalResult(const FunctionIntrinsic& function, AParamList* parameters, Type* result) {
    function.checkNonformal(parameters);
    return result;
}

bool isIndexKind(const Type* type) {
    constexpr uint64_t kIndexKinds =
        kindBit(TypeKind::Liti) | kindBit(TypeKind::Usint) | kindBit(TypeKind::Uint) |
        kindBit(TypeKind::Udint) | kindBit(TypeKind::Ulint) | kindBit(TypeKind::Sint) |
        kindBit(TypeKind::Int) | kindBit(TypeKind::Dint) | kindBit(TypeKind::Lint) |
        kindBit(TypeKind::Time) | kindBit(TypeKind::Ltime);
    return (kindBit(type->kind()) & kIndexKinds) != 0;
}

} // namespace Karsto
