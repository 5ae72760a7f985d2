#pragma once
// A subrange of an integer type. It carries the kind and conversion mask of its base, so
// it converts like the base and equals it; only isSubrange tells it apart.

#include <cstdint>
#include <string>

#include "core/type.h"

namespace Karsto {

class TypeSubrange final : public Type {
public:
    TypeSubrange(Type* baseType, int64_t lower, int64_t upper);
    TypeSubrange* asSubrange() override { return this; }
    bool isSubrange() const override { return true; }

    Type* clone() const override;
    int64_t size() const override;
    std::string toString() const override; // "subrange int(1..10)"
    Code defaultValue() const override;    // the lower bound

    Type* baseType() const { return baseType_; }
    int64_t lower() const { return lower_; }
    int64_t upper() const { return upper_; }

private:
    Type* baseType_; // not owned
    int64_t lower_;
    int64_t upper_;
};

} // namespace Karsto
