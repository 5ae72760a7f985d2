#pragma once
// An enumeration: named values over a base type. A value occupies one "<enumbase>"
// cell. The enumeration owns its values; a clone shares them and never frees them, so a
// clone must not outlive the enumeration it was made from. A clone (the copy that
// carries a declaration's initial value) is its original for every comparison, so the
// original's values can be assigned to it.

#include <cstdint>
#include <map>
#include <string>

#include "core/type.h"

namespace Karsto {

class EnumValue;

class TypeEnum final : public Type {
public:
    explicit TypeEnum(Type* baseType);
    ~TypeEnum() override;
    TypeEnum* asEnum() override { return this; }
    bool isEnum() const override { return true; }

    Type* clone() const override;
    int64_t size() const override;
    // "(" names in ascending byte order, separated by "," ")".
    std::string toString() const override;
    // The first value ever added; the empty Code while there is none.
    Code defaultValue() const override;

    // The next implicit number, which then increases.
    EnumValue* addValue(const std::string& name);
    // An explicit number; the implicit numbering continues from the last implicit one.
    EnumValue* addValue(const std::string& name, int32_t value);
    EnumValue* findValue(const std::string& name) const;
    EnumValue* valueOrFail(const std::string& name) const;

    Type* baseType() const { return baseType_; }
    int32_t nextValue() const { return nextValue_; }
    const std::map<std::string, EnumValue*>& values() const { return values_; }
    EnumValue* firstValue() const { return firstValue_; }
    // The enumeration this one was cloned from (through any number of clones), or
    // itself: the identity that typesEqual compares.
    const TypeEnum* definition() const { return definition_; }

private:
    EnumValue* enter(const std::string& name, int32_t value);

    Type* baseType_; // not owned
    int32_t nextValue_ = 0;
    std::map<std::string, EnumValue*> values_;
    EnumValue* firstValue_ = nullptr;
    bool ownsValues_ = true; // false for a clone
    const TypeEnum* definition_ = this; // not owned
};

} // namespace Karsto
