#include "core/type_pointer.h"

#include "core/constant_factory.h"
#include "core/type_walk.h"

namespace Karsto {

TypePointer* typeNullPointer = nullptr;

TypePointer::TypePointer(Type* target)
    : Type(TypeKind::Pointer, kindBit(TypeKind::Pointer)), target_(target) {}

Type* TypePointer::clone() const { return new TypePointer(target_); }

int64_t TypePointer::size() const { return 1; } // one "<addr>" cell

std::string TypePointer::toString() const { return typeText(this); }

Code TypePointer::defaultValue() const { return makeIntConstant(0, typeAddr, SourceSpan()); }

void createNullPointerType() {
    if (typeNullPointer == nullptr) typeNullPointer = new TypePointer(nullptr);
}

void destroyNullPointerType() {
    delete typeNullPointer;
    typeNullPointer = nullptr;
}

} // namespace Karsto
