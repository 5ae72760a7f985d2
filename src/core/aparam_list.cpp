#include "core/aparam_list.h"

#include "core/exception.h"

namespace Karsto {

namespace {

std::unique_ptr<AParam> makeParam(const Code& value, Type* type, const Code& address,
                                  AParamKind kind) {
    auto parameter = std::make_unique<AParam>();
    parameter->value = value;
    parameter->address = address;
    parameter->type = type;
    parameter->kind = kind;
    return parameter;
}

} // namespace

void AParamList::addPositional(const Code& value, Type* type, const Code& address) {
    checkSemantic(style_ != AParamStyle::formal,
                  "Invalid mixing of formal and nonformal parameters in function call.");
    style_ = AParamStyle::positional;
    positional_.push_back(makeParam(value, type, address, AParamKind::positional));
}

void AParamList::becomeFormal() {
    checkSemantic(style_ != AParamStyle::positional,
                  "Invalid mixing of formal and nonformal parameters in function call.");
    style_ = AParamStyle::formal;
}

void AParamList::addFormalInput(const std::string& name, const Code& value, Type* type,
                                const Code& address) {
    becomeFormal();
    checkSemantic(formal_.find(name) == formal_.end(),
                  "Formal parameter defined twice in function call.");
    formal_.emplace(name, makeParam(value, type, address, AParamKind::formalInput));
}

void AParamList::addFormalOutput(const std::string& name, Type* type, const Code& address) {
    becomeFormal();
    checkSemantic(formal_.find(name) == formal_.end(),
                  "Formal output parameter defined twice in function call.");
    formal_.emplace(name, makeParam(Code(), type, address, AParamKind::formalOutput));
}

AParam* AParamList::findFormal(const std::string& name) const {
    auto it = formal_.find(name);
    return it == formal_.end() ? nullptr : it->second.get();
}

} // namespace Karsto
