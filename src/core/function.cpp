#include "core/function.h"

#include <vector>

#include "core/emitters.h"
#include "core/exception.h"
#include "core/memory.h"
#include "core/type_function.h"

namespace Karsto {

namespace {

const CallCompiler* gCallCompiler = nullptr;

// A span that begins and ends at one position; invalid when the given one is.
SourceSpan pointSpan(const SourceSpan& span, const SourcePosition& at) {
    return span.valid ? SourceSpan(at, at) : SourceSpan();
}

} // namespace

const CallCompiler* setCallCompiler(const CallCompiler* compiler) {
    const CallCompiler* previous = gCallCompiler;
    gCallCompiler = compiler;
    return previous;
}

const CallCompiler& callCompiler() {
    checkSemantic(gCallCompiler != nullptr, "No call compiler is installed.");
    return *gCallCompiler;
}

FunctionUser::FunctionUser(std::string name, Scope<Variable>* parameterScope, Type* returnType,
                           MemoryLocal* localArea, MemoryParam* parameterArea,
                           const SourceSpan& span)
    : Function(std::move(name)), parameterScope_(parameterScope), returnType_(returnType),
      localArea_(localArea), parameterArea_(parameterArea), span_(span), entry_(new Label),
      exit_(new Label) {
    std::vector<Variable*> parameters;
    if (parameterArea_ != nullptr && !parameterArea_->variables().empty())
        parameters.assign(parameterArea_->variables().begin() + 1,
                          parameterArea_->variables().end());
    functionType_ = std::make_unique<TypeFunction>(returnType_, std::move(parameters));
}

FunctionUser::~FunctionUser() = default;

Label* FunctionUser::entryLabel() const { return entry_.node()->asItem()->asLabel(); }

Label* FunctionUser::exitLabel() const { return exit_.node()->asItem()->asLabel(); }

void FunctionUser::compileCall(Code& out, AParamList* parameters, const SourceSpan& span) {
    callCompiler().compileUserCall(*this, out, parameters, span);
}

void FunctionUser::setBody(const Code& body) {
    const SourceSpan atBegin = pointSpan(span_, span_.begin);
    const SourceSpan atEnd = pointSpan(span_, span_.end);
    body_ = emitCodeItem(entryLabel(), atBegin)
                .concat(body)
                .concat(emitReturn(atEnd))
                .concat(emitCodeItem(exitLabel(), atEnd));
}

void FunctionUser::setFunctionType(std::unique_ptr<TypeFunction> type) {
    functionType_ = std::move(type);
}

MethodUser::MethodUser(std::string name, Scope<Variable>* parameterScope, Type* returnType,
                       MemoryLocal* localArea, MemoryParam* parameterArea,
                       VariableAccess access, bool isOverride, bool isFinal, bool isAbstract,
                       const SourceSpan& span)
    : FunctionUser(std::move(name), parameterScope, returnType, localArea, parameterArea, span),
      access_(access), isOverride_(isOverride), isFinal_(isFinal), isAbstract_(isAbstract) {
    std::vector<Variable*> parameters = functionType()->parameters();
    if (!parameters.empty()) parameters.pop_back(); // "this"
    setFunctionType(std::make_unique<TypeFunction>(returnType, std::move(parameters)));
}

Code emitCall(Function* function, AParamList* parameters, const SourceSpan& span) {
    Code out;
    function->compileCall(out, parameters, span);
    return out;
}

} // namespace Karsto
