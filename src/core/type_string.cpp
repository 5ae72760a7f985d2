#include "core/type_string.h"

#include "core/constant_factory.h"
#include "core/emitters.h"

namespace Karsto {

TypeString* typeString = nullptr;
TypeWstring* typeWstring = nullptr;

Code TypeCharacterString::defaultValue() const {
    const SourceSpan none;
    return emitSpAdd(none, capacity_).concat(makeIntConstant(0, typeAddr, none));
}

std::string TypeCharacterString::textWith(const char* name) const {
    return std::string(name) + "[" + std::to_string(capacity_) + "]";
}

void createDefaultStringTypes() {
    if (typeString == nullptr) typeString = new TypeString(kDefaultStringCapacity);
    if (typeWstring == nullptr) typeWstring = new TypeWstring(kDefaultStringCapacity);
}

void destroyDefaultStringTypes() {
    delete typeString;
    typeString = nullptr;
    delete typeWstring;
    typeWstring = nullptr;
}

} // namespace Karsto
