#include "core/type_class.h"

#include <atomic>
#include <unordered_set>

#include "core/constant_factory.h"
#include "core/exception.h"
#include "core/variable.h"

namespace Karsto {

TypeClass::TypeClass(std::string name, TypeClass* baseClass,
                     std::vector<TypeInterface*> interfaces)
    : TypeScif(TypeKind::Class, kindBit(TypeKind::Class) | kindBit(TypeKind::Interface)),
      name_(std::move(name)), baseClass_(baseClass), interfaces_(std::move(interfaces)),
      memberScope_(std::make_unique<Scope<Variable>>(
          baseClass == nullptr ? nullptr : baseClass->memberScope())) {}

bool TypeClass::derivesFrom(const TypeClass* other) const {
    // A loop, not recursion, over chains of any length. The base class is fixed at
    // construction, so a chain cannot come back to itself.
    for (const TypeClass* c = this; c != nullptr; c = c->baseClass_)
        if (c == other) return true;
    return false;
}

bool TypeClass::implements(const TypeInterface* i) const {
    for (const TypeInterface* declared : interfaces_)
        if (declared->derivesFrom(i)) return true;
    return false;
}

namespace {

// Compiles run on one thread, but an atomic keeps the counter sound should two
// controllers ever compile at once.
std::atomic<uint64_t> gInterfaceSerial{0};

} // namespace

TypeInterface::TypeInterface(std::string name, std::vector<TypeInterface*> extends)
    : TypeScif(TypeKind::Interface, kindBit(TypeKind::Interface)), name_(std::move(name)),
      extends_(std::move(extends)), definition_(this), serial_(++gInterfaceSerial) {}

TypeInterface::TypeInterface(const TypeInterface* definition)
    : TypeScif(TypeKind::Interface, kindBit(TypeKind::Interface)), name_(definition->name_),
      extends_(definition->extends_), definition_(definition->definition_),
      serial_(definition->serial_) {}

bool TypeInterface::derivesFrom(const TypeInterface* other) const {
    // Depth first in list order with an explicit stack; every interface is expanded once,
    // so graphs in which many paths share interfaces stay linear.
    if (other == nullptr) return false;
    const TypeInterface* target = other->definition_;
    std::vector<const TypeInterface*> pending{definition_};
    std::unordered_set<const TypeInterface*> seen;
    while (!pending.empty()) {
        const TypeInterface* i = pending.back()->definition_;
        pending.pop_back();
        if (i == target) return true;
        if (!seen.insert(i).second) continue;
        for (auto it = i->extends_.rbegin(); it != i->extends_.rend(); ++it)
            if (*it != nullptr) pending.push_back(*it);
    }
    return false;
}

Code TypeInterface::defaultValue() const { return makeIntConstant(0, typeAddr, SourceSpan()); }

MethodUser* TypeInterface::methodOrFail(const std::string& name) const {
    MethodUser* method = findMethod(name);
    checkSemantic(method != nullptr, "Class '%s' does not declare method '%s'.", name_.c_str(),
                  name.c_str());
    return method;
}

} // namespace Karsto
