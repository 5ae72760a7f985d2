#include "core/type_array.h"

#include "core/exception.h"
#include "core/type_walk.h"

namespace Karsto {

TypeArray::TypeArray(Type* elementType, std::vector<ArrayDimension> dimensions)
    : Type(TypeKind::Array, kindBit(TypeKind::Array)), elementType_(elementType),
      dimensions_(std::move(dimensions)) {}

Type* TypeArray::clone() const { return new TypeArray(elementType_, dimensions_); }

int64_t TypeArray::size() const { return typeSize(this); }

std::string TypeArray::toString() const { return typeText(this); }

Code TypeArray::defaultValue() const { return typeDefaultValue(this); }

const ArrayDimension& TypeArray::dimension(int32_t i) const {
    // The dimension number counts from 1; widened so that the largest index stays exact.
    checkSemantic(i >= 0 && i < dimensionCount(),
                  "Invalid access on dimension %lld of %d-dimensional array.",
                  static_cast<long long>(i) + 1, dimensionCount());
    return dimensions_[static_cast<size_t>(i)];
}

int64_t TypeArray::lowerBound(int32_t i) const { return dimension(i).lower; }

int64_t TypeArray::upperBound(int32_t i) const { return dimension(i).upper; }

int64_t TypeArray::dimensionLength(int32_t i) const {
    const ArrayDimension& d = dimension(i);
    // Unsigned: extreme bounds wrap instead of overflowing.
    return static_cast<int64_t>(static_cast<uint64_t>(d.upper) - static_cast<uint64_t>(d.lower) +
                                1);
}

int64_t TypeArray::elementCount() const {
    uint64_t count = 1;
    for (int32_t i = 0; i < dimensionCount(); ++i)
        count *= static_cast<uint64_t>(dimensionLength(i));
    return static_cast<int64_t>(count);
}

} // namespace Karsto
