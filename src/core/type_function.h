#pragma once
// The signature of a function or method: its return type and its parameter variables.
// A value is one "<addr>" cell, a code address.

#include <string>
#include <vector>

#include "core/type.h"

namespace Karsto {

class Variable;

class TypeFunction final : public Type {
public:
    // The signature refers to the variables; it does not own them.
    TypeFunction(Type* returnType, std::vector<Variable*> parameters);
    TypeFunction* asFunction() override { return this; }
    bool isFunction() const override { return true; }

    Type* clone() const override;
    int64_t size() const override;
    // "Function  (a:int x b:lreal -> int)": two blanks, parameters joined by " x ".
    std::string toString() const override;
    Code defaultValue() const override; // -1: no code address

    Type* returnType() const { return returnType_; }
    const std::vector<Variable*>& parameters() const { return parameters_; }

private:
    Type* returnType_; // not owned
    std::vector<Variable*> parameters_;
};

} // namespace Karsto
