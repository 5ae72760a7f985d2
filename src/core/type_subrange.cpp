#include "core/type_subrange.h"

#include "core/constant_factory.h"
#include "core/type_walk.h"

namespace Karsto {

TypeSubrange::TypeSubrange(Type* baseType, int64_t lower, int64_t upper)
    : Type(baseType->kind(), baseType->conversionMask()), baseType_(baseType), lower_(lower),
      upper_(upper) {}

Type* TypeSubrange::clone() const { return new TypeSubrange(baseType_, lower_, upper_); }

int64_t TypeSubrange::size() const { return 1; }

std::string TypeSubrange::toString() const { return typeText(this); }

Code TypeSubrange::defaultValue() const {
    return makeIntConstant(lower_, baseType_, SourceSpan());
}

} // namespace Karsto
