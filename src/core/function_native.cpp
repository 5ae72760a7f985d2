#include "core/function_native.h"

#include "core/exception.h"
#include "core/memory.h"
#include "core/stackmachine.h"
#include "core/type_string.h"

namespace Karsto {

FunctionNative::FunctionNative(std::string name, Type* returnType, bool hasContextSlot)
    : Function(std::move(name)), parameterArea_(std::make_unique<MemoryParam>()),
      returnType_(returnType), hasContextSlot_(hasContextSlot) {
    parameters_.emplace(this->name(), std::make_unique<Variable>(
                                          parameterArea_.get(), this->name(), returnType,
                                          flagBit(VariableFlags::IMPLICIT), VariableAccess::NONE));
}

FunctionNative::~FunctionNative() = default;

void FunctionNative::compileCall(Code& out, AParamList* parameters, const SourceSpan& span) {
    callCompiler().compileNativeCall(*this, out, parameters, span);
}

void FunctionNative::addParam(const std::string& name, Type* type, int32_t flags) {
    checkSemantic(parameters_.find(name) == parameters_.end(),
                  "Parameter '%s' declared twice in native function '%s'.", name.c_str(),
                  this->name().c_str());
    parameters_.emplace(name, std::make_unique<Variable>(parameterArea_.get(), name, type, flags,
                                                         VariableAccess::NONE));
}

void FunctionNative::release() {
    if (--refCount_ == 0) delete this;
}

Variable* FunctionNative::parameterOrFail(const std::string& name) const {
    auto it = parameters_.find(name);
    checkRuntime(it != parameters_.end(), "Native function '%s' has no parameter '%s'.",
                 this->name().c_str(), name.c_str());
    return it->second.get();
}

int64_t FunctionNative::paramAddress(Stackmachine& machine, const std::string& name) const {
    const int64_t contextCells = hasContextSlot_ ? 1 : 0; // one "<addr>" cell
    Variable* parameter = parameterOrFail(name);
    const int64_t address =
        machine.getSp() + parameter->offset() - parameterArea_->size() - contextCells;
    // The parameter lies on the stack just below sp: a call made with too few cells on
    // the stack is refused instead of reaching global cells.
    machine.checkStackRange(address, parameter->type()->size());
    return address;
}

std::vector<uint16_t> FunctionNative::stringArgument(Stackmachine& machine,
                                                     const std::string& name) const {
    Type* type = parameterOrFail(name)->type();
    checkRuntime(type->isString() || type->isWstring(),
                 "Parameter '%s' of native function '%s' is no string.", name.c_str(),
                 this->name().c_str());
    const int64_t capacity = static_cast<const TypeCharacterString*>(type)->capacity();
    const int64_t base = paramAddress(machine, name);
    // The string instructions keep the length within the capacity; a length cell
    // outside it is cut to it, so no cell beyond the string is read.
    int64_t length = machine.loadAddr(base + capacity);
    if (length < 0) length = 0;
    if (length > capacity) length = capacity;
    std::vector<uint16_t> codes;
    codes.reserve(static_cast<size_t>(length));
    for (int64_t i = 0; i < length; ++i) codes.push_back(machine.loadU16(base + i));
    return codes;
}

CmdCallNative::CmdCallNative(FunctionNative* function) : function_(function) {
    function_->retain();
}

CmdCallNative::~CmdCallNative() { function_->release(); }

void CmdCallNative::execute(Stackmachine& machine) { function_->execute(machine, span()); }

std::string CmdCallNative::toString() const { return "CallNative " + function_->name(); }

CodeItem* CmdCallNative::clone() const {
    auto* copy = new CmdCallNative(function_);
    copy->setSpan(span());
    return copy;
}

std::string charListToString(const std::vector<uint16_t>& codes) {
    std::string text;
    text.reserve(codes.size());
    for (uint16_t c : codes) text += static_cast<char>(c & 0xFF);
    return text;
}

} // namespace Karsto
