#include "core/type_function.h"

#include "core/constant_factory.h"
#include "core/type_walk.h"

namespace Karsto {

TypeFunction::TypeFunction(Type* returnType, std::vector<Variable*> parameters)
    : Type(TypeKind::Function, kindBit(TypeKind::Function)), returnType_(returnType),
      parameters_(std::move(parameters)) {}

Type* TypeFunction::clone() const { return new TypeFunction(returnType_, parameters_); }

int64_t TypeFunction::size() const { return 1; } // one "<addr>" cell

std::string TypeFunction::toString() const { return typeText(this); }

Code TypeFunction::defaultValue() const { return makeIntConstant(-1, typeAddr, SourceSpan()); }

} // namespace Karsto
