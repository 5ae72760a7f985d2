#include "codegen/call_compiler.h"

#include <cstdint>
#include <string>

#include "codegen/cast_emitter.h"
#include "core/aparam_list.h"
#include "core/constant_factory.h"
#include "core/emitters.h"
#include "core/exception.h"
#include "core/function_native.h"
#include "core/memory.h"
#include "core/type.h"
#include "core/variable.h"

namespace Karsto {
namespace {

bool isFormalName(std::span<Variable* const> formals, const std::string& name) {
    for (const Variable* formal : formals)
        if (formal->name() == name) return true;
    return false;
}

// The whole list is checked before any code is built.
void checkList(std::span<Variable* const> formals, const AParamList& parameters) {
    switch (parameters.style()) {
    case AParamStyle::positional:
        checkSemantic(parameters.positional().size() == formals.size(),
                      "Number of actual parameters (%d) and number of formal parameters (%d) "
                      "do not match in non-formal function call.",
                      static_cast<int>(parameters.positional().size()),
                      static_cast<int>(formals.size()));
        return;
    case AParamStyle::formal:
        // The map's order: of several wrong names the smallest is reported.
        for (const auto& entry : parameters.formal())
            checkSemantic(isFormalName(formals, entry.first),
                          "Use of undeclared formal parameter '%s' in formal call.",
                          entry.first.c_str());
        return;
    case AParamStyle::none: return;
    }
}

// The actual parameter of the i-th formal, or null when none is given.
AParam* actualFor(const AParamList* parameters, std::span<Variable* const> formals, size_t i) {
    if (parameters == nullptr) return nullptr;
    switch (parameters->style()) {
    case AParamStyle::positional: return parameters->positional()[i].get();
    case AParamStyle::formal: return parameters->findFormal(formals[i]->name());
    case AParamStyle::none: return nullptr;
    }
    return nullptr;
}

Code dropCells(const Type* type) { return emitSpAdd(SourceSpan(), -type->size()); }

} // namespace

std::span<Variable* const> formalsOf(const MemoryParam& area) {
    const std::vector<Variable*>& variables = area.variables();
    if (variables.empty()) return {};
    return std::span<Variable* const>(variables).subspan(1);
}

CallBinding bindCallParameters(std::span<Variable* const> formals, AParamList* parameters,
                               const Code& returnValue) {
    if (parameters != nullptr) checkList(formals, *parameters);
    const SourceSpan none;
    CallBinding binding{returnValue, Code()};
    for (size_t i = 0; i < formals.size(); ++i) {
        Variable* formal = formals[i];
        Type* type = formal->type();
        AParam* actual = actualFor(parameters, formals, i);
        Code push;
        Code back;
        switch (parameterKindOf(formal->flags())) {
        case ParameterKind::none: continue;
        case ParameterKind::input:
            if (actual == nullptr) {
                push = type->initialValue();
            } else {
                checkSemantic(actual->kind == AParamKind::positional ||
                                  actual->kind == AParamKind::formalInput,
                              "Invalid definition of input variable in function call.");
                push = actual->valueCode().concat(emitImplicitConversion(actual->type, type, none));
            }
            back = dropCells(type);
            break;
        case ParameterKind::output:
            // The cells are reserved, not initialised: the callee writes them.
            push = emitSpAdd(none, type->size());
            if (actual == nullptr) {
                back = dropCells(type);
            } else {
                checkSemantic(actual->kind == AParamKind::formalOutput,
                              "Invalid definition of output variable in function call.");
                checkSemantic(!actual->addressCode().empty(),
                              "Definition of output variable is not a valid left-hand-side value.");
                // Converted while on top, then stored over it.
                back = emitImplicitConversion(type, actual->type, none)
                           .concat(actual->addressCode())
                           .concat(emitSt(actual->type, none));
            }
            break;
        case ParameterKind::inOut:
            if (actual == nullptr) {
                push = type->initialValue();
                back = dropCells(type);
            } else {
                checkSemantic(actual->kind == AParamKind::formalInput,
                              "Invalid definition of inout variable in function call.");
                checkSemantic(
                    typesEqual(actual->type, type),
                    "Mismatch type of actual and formal inout variable in function call.");
                checkSemantic(!actual->addressCode().empty(),
                              "Definition of inout variable is not a valid left-hand-side value.");
                push = actual->valueCode();
                back = actual->addressCode().concat(emitSt(actual->type, none));
            }
            break;
        }
        binding.push = binding.push.concat(push);
        // In front: the last formal's cells lie on top after the call.
        binding.copyBack = back.concat(binding.copyBack);
    }
    return binding;
}

void CodegenCallCompiler::compileUserCall(FunctionUser& function, Code& out, AParamList* parameters,
                                          const SourceSpan& span) const {
    const CallBinding binding =
        bindCallParameters(formalsOf(*function.parameterArea()), parameters,
                           function.getReturnType(parameters)->initialValue());
    Code code =
        binding.push.concat(emitJumpSub(function.entryLabel(), span)).concat(binding.copyBack);
    // The arguments' instructions too: an error while one is computed or stored back
    // reports the whole call.
    code.setSpan(span);
    out = code;
}

void CodegenCallCompiler::compileNativeCall(FunctionNative& function, Code& out,
                                            AParamList* parameters, const SourceSpan& span) const {
    const SourceSpan none;
    // The native writes its result into reserved cells; also a size of 0 is emitted.
    CallBinding binding =
        bindCallParameters(formalsOf(*function.parameterArea()), parameters,
                           emitSpAdd(none, function.getReturnType(parameters)->size()));
    if (function.hasContextSlot()) {
        // The topmost cell while the native runs, 0 at the start of every call; the
        // first thing dropped afterwards. FunctionNative::paramAddress counts with it.
        binding.push = binding.push.concat(makeIntConstant(0, typeAddr, span));
        binding.copyBack = dropCells(typeAddr).concat(binding.copyBack);
    }
    Code code = binding.push.concat(Code(new CmdCallNative(&function))).concat(binding.copyBack);
    code.setSpan(span);
    out = code;
}

} // namespace Karsto
