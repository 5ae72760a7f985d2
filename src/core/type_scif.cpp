#include "core/type_scif.h"

#include "core/exception.h"
#include "core/type_walk.h"

namespace Karsto {

TypeStruct::TypeStruct() : TypeScif(TypeKind::Struct, kindBit(TypeKind::Struct)) {}

Type* TypeStruct::clone() const {
    auto* copy = new TypeStruct;
    copy->members_ = members_;
    return copy;
}

int64_t TypeStruct::size() const { return typeSize(this); }

std::string TypeStruct::toString() const { return typeText(this); }

Code TypeStruct::defaultValue() const { return typeDefaultValue(this); }

void TypeStruct::addMember(const std::string& name, Type* type) {
    checkSemantic(!hasMember(name), "Member '%s' declared twice in structure", name.c_str());
    members_.push_back(StructMember{name, type});
}

std::string TypeStruct::memberName(int32_t i) const {
    return validIndex(i) ? members_[static_cast<size_t>(i)].name : std::string();
}

Type* TypeStruct::memberType(const std::string& name) const {
    const int32_t i = memberIndex(name);
    checkSemantic(i >= 0, "Undeclared member '%s'.", name.c_str());
    return members_[static_cast<size_t>(i)].type;
}

Type* TypeStruct::memberTypeAt(int32_t i) const {
    return validIndex(i) ? members_[static_cast<size_t>(i)].type : nullptr;
}

int64_t TypeStruct::memberOffset(const std::string& name) const {
    return memberOffsetAt(memberIndex(name));
}

int64_t TypeStruct::memberOffsetAt(int32_t i) const {
    uint64_t offset = 0; // unsigned: absurd sizes wrap instead of overflowing
    for (int32_t j = 0; j < i && j < memberCount(); ++j)
        offset += static_cast<uint64_t>(members_[static_cast<size_t>(j)].type->size());
    return static_cast<int64_t>(offset);
}

int32_t TypeStruct::memberIndex(const std::string& name) const {
    for (size_t i = 0; i < members_.size(); ++i)
        if (members_[i].name == name) return static_cast<int32_t>(i);
    return -1;
}

MethodUser* TypeStruct::methodOrFail(const std::string& name) const {
    // The leading blank belongs to the message.
    failSemantic(" Method '%s' is not declared", name.c_str());
}

Code TypeStruct::initialValueFrom(MemberValues values) const {
    Code code;
    for (const StructMember& member : members_) {
        auto given = values.find(member.name);
        code = code.concat(given != values.end() ? given->second : member.type->initialValue());
    }
    return code;
}

} // namespace Karsto
