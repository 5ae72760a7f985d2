#include "builtins/function_intrinsic.h"

#include "core/aparam_list.h"
#include "core/exception.h"
#include "core/type.h"

namespace Karsto {

void FunctionIntrinsic::addOverload(Type* argumentType, const Code& instructions) {
    overloads.push_back(Overload{argumentType, instructions});
}

const FunctionIntrinsic::Overload* FunctionIntrinsic::findOverload(Type* type) const {
    for (const Overload& overload : overloads)
        if (typesEqual(overload.argumentType, type)) return &overload;
    return nullptr;
}

bool FunctionIntrinsic::hasOverload(Type* type) const { return findOverload(type) != nullptr; }

Code FunctionIntrinsic::overloadCode(Type* type) const {
    const Overload* overload = findOverload(type);
    if (overload == nullptr)
        failSemantic("Function '%s' is not overloaded for type '%s'", name().c_str(),
                     type->toString().c_str());
    return overload->instructions;
}

void FunctionIntrinsic::checkOverloaded(Type* type) const {
    if (!hasOverload(type))
        failSemantic("Function '%s' is not overloaded for type '%s'.", name().c_str(),
                     type->toString().c_str());
}

void FunctionIntrinsic::checkNonformal(AParamList* parameters) const {
    checkSemantic(parameters->style() == AParamStyle::positional,
                  "Call of function '%s' must be nonformal.", name().c_str());
    const auto passed = static_cast<int>(parameters->positional().size());
    checkSemantic(arity < 0 || passed == arity,
                  "Number of actual parameters (%d) and number of formal parameters (%d) do not "
                  "match in non-formal function call.",
                  passed, static_cast<int>(arity));
}

} // namespace Karsto
