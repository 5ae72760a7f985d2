#pragma once
// The actual parameters of one call while it is compiled: all positional, or all formal
// (name := expression for inputs and in-outs, name => variable for outputs).

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/code.h"

namespace Karsto {

class Type;

enum class AParamKind : int32_t {
    positional = 0,
    formalInput = 1,  // name := expression
    formalOutput = 2, // name => variable
};

enum class AParamStyle : int32_t {
    formal = 0,
    positional = 1,
    none = 2, // no parameter yet
};

struct AParam {
    bool given = true;
    Code value;   // empty for an output binding
    Code address; // empty when the argument is no variable
    Type* type = nullptr; // of the expression, or of the bound variable for an output
    AParamKind kind = AParamKind::positional;

    // New handles on the same trees.
    Code valueCode() const { return value; }
    Code addressCode() const { return address; }
};

class AParamList {
public:
    AParamList() = default;
    AParamList(const AParamList&) = delete;
    AParamList& operator=(const AParamList&) = delete;
    virtual ~AParamList() = default;

    void addPositional(const Code& value, Type* type, const Code& address);
    void addFormalInput(const std::string& name, const Code& value, Type* type,
                        const Code& address);
    void addFormalOutput(const std::string& name, Type* type, const Code& address);
    // The parameter given under that name, or null.
    AParam* findFormal(const std::string& name) const;

    AParamStyle style() const { return style_; }
    const std::vector<std::unique_ptr<AParam>>& positional() const { return positional_; }
    // Inputs and outputs share one map, so one name bound both ways is a duplicate.
    const std::map<std::string, std::unique_ptr<AParam>>& formal() const { return formal_; }

private:
    // Refuses a formal parameter after positional ones.
    void becomeFormal();

    AParamStyle style_ = AParamStyle::none;
    std::vector<std::unique_ptr<AParam>> positional_;
    std::map<std::string, std::unique_ptr<AParam>> formal_;
};

} // namespace Karsto
