#include "core/variable.h"

#include "core/constant_factory.h"
#include "core/emitters.h"
#include "core/exception.h"
#include "core/memory.h"
#include "core/type.h"
#include "core/type_enum.h"

namespace Karsto {

Variable* ProgramObject::variableOrFail(ProgramObject* object) {
    Variable* variable = object == nullptr ? nullptr : object->asVariable();
    checkSemantic(variable != nullptr, "Expected variable.");
    return variable;
}

Variable::Variable(Memory* memory, std::string name, Type* type, int32_t flags,
                   VariableAccess access)
    : name_(std::move(name)), type_(type), flags_(flags), access_(access), memory_(memory) {
    if (memory_ != nullptr) {
        offset_ = memory_->allocate(this, type_->size());
        allocated_ = true;
    }
}

Variable::Variable(Memory* memory, int64_t offset, std::string name, Type* type, int32_t flags)
    : name_(std::move(name)), type_(type), flags_(flags), access_(VariableAccess::NONE),
      allocated_(true), memory_(memory), offset_(offset) {}

Variable::Variable(Memory* memory, char location, char sizeLetter, int32_t flags,
                   VariableAccess access)
    : type_(nullptr), flags_(flags), access_(access), isDirect_(true), location_(location),
      sizeLetter_(sizeLetter), memory_(memory) {}

Code Variable::addressCode() {
    checkSemantic(allocated_ && memory_ != nullptr, "Variable '%s' has no storage.",
                  name_.c_str());
    return memory_->addressCode(offset_);
}

Code Variable::valueCode(const SourceSpan& span) {
    return addressCode().concat(emitLd(type_, span));
}

Variable* Variable::makeAlias(const std::string& name, Type* type, int32_t flags) const {
    checkSemantic(typesEqual(type_, type),
                  "Type of referenced variable ('%s') does not match type of alias ('%s')",
                  type_->toString().c_str(), type->toString().c_str());
    checkSemantic(!hasFlag(flags_, VariableFlags::CONSTANT) ||
                      hasFlag(flags, VariableFlags::CONSTANT),
                  "Referenced variable is constant, but alias is not");
    return new Variable(memory_, offset_, name, type, flags);
}

Code EnumValue::valueCode(const SourceSpan& span) {
    return makeIntConstant(value_, typeEnumBase, span);
}

Type* EnumValue::type() { return enumType_; }

std::vector<SharedName> sharedNamesOf(const std::vector<Variable*>& variables) {
    std::vector<SharedName> names;
    names.reserve(variables.size());
    for (const Variable* v : variables) names.push_back(SharedName{v->name(), v->offset()});
    return names;
}

} // namespace Karsto
