#pragma once
// Everything a program can call is a Function, and every function compiles its own
// calls: the compiler collects the actual parameters in an AParamList and asks the
// function for the code of the call and for the type of its result.
//
// Binding actual to formal parameters needs the implicit conversions of code
// generation, which the language core cannot create itself: the code generator supplies
// the call compilers of natives and user functions as a CallCompiler installed once at
// start-up.

#include <cstdint>
#include <memory>
#include <string>

#include "core/code.h"
#include "core/scope.h"
#include "core/source_span.h"
#include "core/variable.h"

namespace Karsto {

class AParamList;
class FunctionNative;
class FunctionUser;
class MemoryLocal;
class MemoryParam;
class Type;
class TypeFunction;
class TypeScif;

class Function {
public:
    explicit Function(std::string name) : name_(std::move(name)) {}
    Function(const Function&) = delete;
    Function& operator=(const Function&) = delete;
    virtual ~Function() = default;

    // The type of the call's result ("<void>" when there is none).
    virtual Type* getReturnType(AParamList* parameters) = 0;
    // Sets out to the code of the call, which leaves only the result on the stack.
    virtual void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) = 0;

    const std::string& name() const { return name_; }

private:
    std::string name_;
};

// The code generator's half of the function model.
class CallCompiler {
public:
    virtual ~CallCompiler() = default;
    virtual void compileNativeCall(FunctionNative& function, Code& out, AParamList* parameters,
                                   const SourceSpan& span) const = 0;
    // Also the calls of methods compiled as direct subroutine calls.
    virtual void compileUserCall(FunctionUser& function, Code& out, AParamList* parameters,
                                 const SourceSpan& span) const = 0;
};

// Installs the call compilers (not owned; null removes them) and returns the previous
// ones. Without them every compileCall raises ExceptionSemantic.
const CallCompiler* setCallCompiler(const CallCompiler* compiler);
const CallCompiler& callCompiler();

// A function written in the language.
class FunctionUser : public Function {
public:
    // The function type is made from the parameter area as it stands now: every
    // variable but the return variable, which comes first.
    FunctionUser(std::string name, Scope<Variable>* parameterScope, Type* returnType,
                 MemoryLocal* localArea, MemoryParam* parameterArea, const SourceSpan& span);
    ~FunctionUser() override;

    Type* getReturnType(AParamList*) override { return returnType_; }
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;

    // The function's code becomes: the entry label (with a span at the declaration's
    // begin), the body, a return and the exit label (both with a span at its end).
    void setBody(const Code& body);
    Code code() const { return body_; }

    Scope<Variable>* parameterScope() const { return parameterScope_; }
    Type* returnType() const { return returnType_; }
    MemoryLocal* localArea() const { return localArea_; }
    MemoryParam* parameterArea() const { return parameterArea_; }
    const SourceSpan& span() const { return span_; }
    Label* entryLabel() const;
    Label* exitLabel() const;
    TypeFunction* functionType() const { return functionType_.get(); }

protected:
    void setFunctionType(std::unique_ptr<TypeFunction> type);

private:
    Scope<Variable>* parameterScope_; // stored only
    Type* returnType_;                // not owned
    MemoryLocal* localArea_;          // null for a method prototype of an interface
    MemoryParam* parameterArea_;
    SourceSpan span_;
    // The labels are held through Codes, so that they are freed with the function even
    // when a failed compile never places them.
    Code entry_;
    Code exit_;
    Code body_;
    std::unique_ptr<TypeFunction> functionType_;
};

// A method of a class or interface. Its function type also leaves out the last variable
// of the parameter area, the object reference "this".
class MethodUser final : public FunctionUser {
public:
    MethodUser(std::string name, Scope<Variable>* parameterScope, Type* returnType,
               MemoryLocal* localArea, MemoryParam* parameterArea, VariableAccess access,
               bool isOverride, bool isFinal, bool isAbstract, const SourceSpan& span);

    // Null until the class layout enters the method.
    TypeScif* owner() const { return owner_; }
    void setOwner(TypeScif* owner) { owner_ = owner; }
    VariableAccess access() const { return access_; }
    bool isOverride() const { return isOverride_; }
    bool isFinal() const { return isFinal_; }
    bool isAbstract() const { return isAbstract_; }

private:
    TypeScif* owner_ = nullptr;
    VariableAccess access_;
    bool isOverride_;
    bool isFinal_;
    bool isAbstract_; // every method prototype of an interface
};

// The code of a call: exactly what the function compiles for these parameters.
Code emitCall(Function* function, AParamList* parameters, const SourceSpan& span);

} // namespace Karsto
