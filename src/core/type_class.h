#pragma once
// The data part of classes and interfaces that the language core relies on: names, the
// base class, the declared and the extended interfaces, the member scope, and the
// derives-from and implements relations that commonType uses.
//
// The code generator derives the complete classes from these: object layout, method
// tables, interface tables, dispatch and every operation that depends on them (size,
// text, default value, member access, calls). The core declares those operations and
// leaves them to it, so that it never links against code generation.

#include <memory>
#include <string>
#include <vector>

#include "core/scope.h"
#include "core/type_scif.h"

namespace Karsto {

class TypeInterface;
class Variable;

class TypeClass : public TypeScif {
public:
    TypeClass* asClass() override { return this; }
    bool isClass() const override { return true; }

    // True when this class is other or its base class (and so on up) is.
    bool derivesFrom(const TypeClass* other) const;
    // True when an interface that this class itself declares is i or derives from it;
    // the interfaces of the base class are not consulted.
    bool implements(const TypeInterface* i) const;

    // The offset of an implemented interface's table inside an object.
    virtual int64_t interfaceOffset(TypeInterface* i) = 0;

    const std::string& name() const { return name_; }
    TypeClass* baseClass() const { return baseClass_; }
    const std::vector<TypeInterface*>& interfaces() const { return interfaces_; }
    // The scope of the attributes, chained to the base class's member scope.
    Scope<Variable>* memberScope() const { return memberScope_.get(); }

protected:
    // Kind Class; converts to Class and Interface.
    TypeClass(std::string name, TypeClass* baseClass, std::vector<TypeInterface*> interfaces);

private:
    std::string name_;
    TypeClass* baseClass_;                    // not owned
    std::vector<TypeInterface*> interfaces_;  // declared here, not owned
    std::unique_ptr<Scope<Variable>> memberScope_;
};

class TypeInterface : public TypeScif {
public:
    TypeInterface* asInterface() override { return this; }
    bool isInterface() const override { return true; }

    // True when this interface is other or any interface it extends (and so on) is;
    // interfaces compare through their defining interface.
    bool derivesFrom(const TypeInterface* other) const;

    // The interface whose definition this one shares: itself for an interface made from
    // a declaration, the original for a copy that only carries an initializer. Type
    // identity goes through it, so such a copy is the same interface as its original.
    const TypeInterface* definition() const { return definition_; }
    // Creation order of the defining interfaces, shared by their copies: orders sets and
    // maps of interfaces the same way on every run, whatever the addresses.
    uint64_t serial() const { return serial_; }

    int64_t size() const override { return 1; } // one "<addr>" cell
    std::string toString() const override { return "Interface " + name_ + " (" + ")"; }
    Code defaultValue() const override; // a null reference

    // An interface answers as if it had no members.
    std::string declaredName() const override { return name_; }
    bool hasMember(const std::string&) const override { return false; }
    int32_t memberCount() const override { return 0; }
    std::string memberName(int32_t) const override { return std::string(); }
    Type* memberType(const std::string&) const override { return nullptr; }
    Type* memberTypeAt(int32_t) const override { return nullptr; }
    int64_t memberOffset(const std::string&) const override { return 0; }
    int64_t memberOffsetAt(int32_t) const override { return 0; }
    int32_t memberIndex(const std::string&) const override { return 0; }
    void checkAccess(const std::string&, Type*) const override {}
    // "Class '...' does not declare method '...'." when findMethod finds none.
    MethodUser* methodOrFail(const std::string& name) const override;
    Code initialValueFrom(MemberValues) const override { return Code(); }

    const std::string& name() const { return name_; }
    const std::vector<TypeInterface*>& extends() const { return extends_; }

protected:
    // Kind Interface; converts to Interface. A defining interface with a new serial.
    TypeInterface(std::string name, std::vector<TypeInterface*> extends);
    // A copy with the name and extended interfaces of the definition, sharing its
    // identity (the definition's own definition, so copies of copies stay flat).
    explicit TypeInterface(const TypeInterface* definition);

private:
    std::string name_;
    std::vector<TypeInterface*> extends_; // not owned
    const TypeInterface* definition_;     // this, or the original; not owned
    uint64_t serial_;
};

// Orders interfaces by creation, a copy in the place of its definition.
struct InterfaceOrder {
    bool operator()(const TypeInterface* a, const TypeInterface* b) const {
        return a->serial() < b->serial();
    }
};

} // namespace Karsto
