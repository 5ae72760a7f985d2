#include "core/struct_init.h"

#include "core/exception.h"

namespace Karsto {

void StructInit::set(const std::string& name, const Code& value, Type* accessingClass) {
    if (!structType_->hasMember(name))
        failSemantic("Use of undeclared member '%s' in initialization of structure '%s'", name.c_str(),
                     structType_->toString().c_str());
    structType_->memberIndex(name); // a class refuses names it does not know here
    structType_->checkAccess(name, accessingClass);
    if (memberValues_.find(name) != memberValues_.end())
        failSemantic("Multiple definitions of member '%s' in initialization of structure '%s'",
                     name.c_str(), structType_->toString().c_str());
    memberValues_[name] = value;
}

} // namespace Karsto
