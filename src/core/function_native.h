#pragma once
// Native functions: their body runs in the system, called by one instruction,
// CmdCallNative. A native reads its parameters relative to the stack pointer while that
// instruction executes: the parameter area (the return variable first, then the
// parameters in the order they were added, then a context cell when the native has one)
// ends directly below sp.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/code.h"
#include "core/function.h"

namespace Karsto {

class MemoryParam;
class Stackmachine;

class FunctionNative : public Function {
public:
    // Makes the return variable: named like the function, IMPLICIT, access NONE, at
    // offset 0 of the parameter area.
    FunctionNative(std::string name, Type* returnType, bool hasContextSlot);
    ~FunctionNative() override;

    Type* getReturnType(AParamList*) override { return returnType_; }
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
    // Runs the native on the current call; span is that of the calling instruction.
    virtual void execute(Stackmachine& machine, const SourceSpan& span) = 0;

    // Adds a parameter (VAR_INPUT, VAR_OUTPUT or VAR_IN_OUT) after everything added
    // before; natives call it from their constructors in declaration order.
    void addParam(const std::string& name, Type* type, int32_t flags);

    // The cell address of the named parameter (or of the return variable, under the
    // function's own name) in the call now executing.
    int64_t paramAddress(Stackmachine& machine, const std::string& name) const;
    // The current characters of a STRING or WSTRING parameter as 16-bit codes.
    std::vector<uint16_t> stringArgument(Stackmachine& machine, const std::string& name) const;

    // Shared by the compile driver (one reference per registration) and every
    // CmdCallNative; the last release deletes the native.
    void retain() { ++refCount_; }
    void release();
    int32_t refCount() const { return refCount_; }

    Type* returnType() const { return returnType_; }
    bool hasContextSlot() const { return hasContextSlot_; }
    MemoryParam* parameterArea() const { return parameterArea_.get(); }
    const std::map<std::string, std::unique_ptr<Variable>>& parameters() const {
        return parameters_;
    }

private:
    Variable* parameterOrFail(const std::string& name) const;

    std::map<std::string, std::unique_ptr<Variable>> parameters_;
    std::unique_ptr<MemoryParam> parameterArea_;
    Type* returnType_; // not owned
    int32_t refCount_ = 0;
    bool hasContextSlot_;
};

// Calls its native with the machine and its own span; pushes and pops nothing itself.
// Holds a reference on the native, as every clone does.
class CmdCallNative final : public Cmd {
public:
    explicit CmdCallNative(FunctionNative* function);
    ~CmdCallNative() override;
    void execute(Stackmachine& machine) override;
    std::string toString() const override; // "CallNative " + name
    CodeItem* clone() const override;

    FunctionNative* function() const { return function_; }

private:
    FunctionNative* function_;
};

// One byte per code, its low 8 bits, in order.
std::string charListToString(const std::vector<uint16_t>& codes);

} // namespace Karsto
