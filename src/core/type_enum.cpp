#include "core/type_enum.h"

#include <memory>

#include "core/exception.h"
#include "core/variable.h"

namespace Karsto {

TypeEnum::TypeEnum(Type* baseType)
    : Type(TypeKind::Enum, baseType->conversionMask() | kindBit(TypeKind::Enum)),
      baseType_(baseType) {}

TypeEnum::~TypeEnum() {
    if (!ownsValues_) return;
    for (auto& entry : values_) delete entry.second;
}

Type* TypeEnum::clone() const {
    auto* copy = new TypeEnum(baseType_);
    copy->nextValue_ = nextValue_;
    copy->values_ = values_;
    copy->firstValue_ = firstValue_;
    copy->ownsValues_ = false;
    copy->definition_ = definition_;
    return copy;
}

int64_t TypeEnum::size() const { return 1; } // one "<enumbase>" cell

std::string TypeEnum::toString() const {
    std::string text = "(";
    bool first = true;
    for (const auto& entry : values_) {
        // By position, not by the text so far: an empty first name still gets its comma.
        if (!first) text += ",";
        first = false;
        text += entry.first;
    }
    return text + ")";
}

Code TypeEnum::defaultValue() const {
    return firstValue_ == nullptr ? Code() : firstValue_->valueCode(SourceSpan());
}

EnumValue* TypeEnum::enter(const std::string& name, int32_t value) {
    checkSemantic(values_.find(name) == values_.end(),
                  "Enumeration-value '%s' declared twice.", name.c_str());
    auto owned = std::unique_ptr<EnumValue>(new EnumValue(this, name, value));
    EnumValue* entered = values_.emplace(name, owned.get()).first->second;
    owned.release();
    if (firstValue_ == nullptr) firstValue_ = entered;
    return entered;
}

EnumValue* TypeEnum::addValue(const std::string& name) {
    EnumValue* value = enter(name, nextValue_);
    ++nextValue_;
    return value;
}

EnumValue* TypeEnum::addValue(const std::string& name, int32_t value) {
    return enter(name, value);
}

EnumValue* TypeEnum::findValue(const std::string& name) const {
    auto it = values_.find(name);
    return it == values_.end() ? nullptr : it->second;
}

EnumValue* TypeEnum::valueOrFail(const std::string& name) const {
    EnumValue* value = findValue(name);
    checkSemantic(value != nullptr, "Undeclared enumeration-value '%s'", name.c_str());
    return value;
}

} // namespace Karsto
