#pragma once
// ARRAY[l1..u1, l2..u2, ...] OF element. A value occupies the element's cells times the
// element count, the elements in row-major order.

#include <cstdint>
#include <string>
#include <vector>

#include "core/type.h"

namespace Karsto {

struct ArrayDimension {
    int64_t lower = 0;
    int64_t upper = 0;
};

class TypeArray final : public Type {
public:
    TypeArray(Type* elementType, std::vector<ArrayDimension> dimensions);
    TypeArray* asArray() override { return this; }
    bool isArray() const override { return true; }

    Type* clone() const override;
    int64_t size() const override;
    std::string toString() const override; // "Array [1..3,0..9] of int"
    // The element's initial value, once per element.
    Code defaultValue() const override;

    int32_t dimensionCount() const { return static_cast<int32_t>(dimensions_.size()); }
    // Dimension indexes count from 0; any other raises ExceptionSemantic.
    int64_t lowerBound(int32_t i) const;
    int64_t upperBound(int32_t i) const;
    int64_t dimensionLength(int32_t i) const; // upper - lower + 1
    // The product of all dimension lengths, 1 without dimensions.
    int64_t elementCount() const;
    Type* elementType() const { return elementType_; }
    const std::vector<ArrayDimension>& dimensions() const { return dimensions_; }

private:
    const ArrayDimension& dimension(int32_t i) const;

    Type* elementType_; // not owned
    std::vector<ArrayDimension> dimensions_;
};

} // namespace Karsto
