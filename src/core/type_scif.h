#pragma once
// The member and method interface shared by structures, classes and interfaces, and the
// structure type itself.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/type.h"

namespace Karsto {

class MethodUser;
class AParamList;

// Member values by member name, as a structure initialiser collects them.
using MemberValues = std::map<std::string, Code>;

class TypeScif : public Type {
public:
    TypeScif* asScif() override { return this; }
    bool isScif() const override { return true; }

    virtual std::string declaredName() const = 0;
    virtual bool hasMember(const std::string& name) const = 0;
    virtual int32_t memberCount() const = 0;
    virtual std::string memberName(int32_t i) const = 0;
    virtual Type* memberType(const std::string& name) const = 0;
    virtual Type* memberTypeAt(int32_t i) const = 0;
    virtual int64_t memberOffset(const std::string& name) const = 0;
    virtual int64_t memberOffsetAt(int32_t i) const = 0;
    virtual int32_t memberIndex(const std::string& name) const = 0;
    // Raises when the accessing class (null outside any class) may not access it.
    virtual void checkAccess(const std::string& name, Type* accessingClass) const = 0;
    virtual MethodUser* methodOrFail(const std::string& name) const = 0;
    virtual MethodUser* findMethod(const std::string& name) const = 0;
    // The code of a call of the method; direct is set for a call through SUPER.
    virtual Code callCode(const std::string& method, AParamList* parameters,
                          const SourceSpan& span, bool direct) = 0;
    // The initial value that takes the given values for the members they name and the
    // members' own initial values for the others.
    virtual Code initialValueFrom(MemberValues values) const = 0;

protected:
    using Type::Type;
};

struct StructMember {
    std::string name;
    Type* type; // not owned
};

// A STRUCT: members follow each other without gaps, in declaration order.
class TypeStruct final : public TypeScif {
public:
    TypeStruct();
    TypeStruct* asStruct() override { return this; }
    bool isStruct() const override { return true; }

    Type* clone() const override;
    int64_t size() const override;
    std::string toString() const override; // "Struct (a:int; b:lreal)"
    // The members' initial values in member order.
    Code defaultValue() const override;

    // "Member '...' declared twice in structure" for a name it already has.
    void addMember(const std::string& name, Type* type);
    const std::vector<StructMember>& members() const { return members_; }

    std::string declaredName() const override { return "STRUCT"; }
    bool hasMember(const std::string& name) const override { return memberIndex(name) >= 0; }
    int32_t memberCount() const override { return static_cast<int32_t>(members_.size()); }
    // Outside 0 to memberCount() - 1: the empty name and a null type.
    std::string memberName(int32_t i) const override;
    Type* memberType(const std::string& name) const override;
    Type* memberTypeAt(int32_t i) const override;
    int64_t memberOffset(const std::string& name) const override;
    int64_t memberOffsetAt(int32_t i) const override;
    // The first member of that name, -1 when there is none.
    int32_t memberIndex(const std::string& name) const override;
    void checkAccess(const std::string&, Type*) const override {} // all members are open
    // A structure has no methods.
    MethodUser* methodOrFail(const std::string& name) const override;
    MethodUser* findMethod(const std::string&) const override { return nullptr; }
    Code callCode(const std::string&, AParamList*, const SourceSpan&, bool) override {
        return Code();
    }
    Code initialValueFrom(MemberValues values) const override;

private:
    bool validIndex(int32_t i) const { return i >= 0 && i < memberCount(); }

    std::vector<StructMember> members_;
};

} // namespace Karsto
