// User functions and calls: FUNCTION declarations with their result variable, parameter
// and local areas and the chain of compiled bodies; function calls with positional, ":="
// and "=>" arguments; RETURN and a call used as a statement.
//
// A function is declared when its END_FUNCTION has been walked, in a new function scope
// that only the items after it see, so a body cannot call its own function. The body's
// variables start from a chain of their own, the result variable alone, so nothing
// outside the function is visible in it unless a VAR_EXTERNAL block imports it.
// A call is bound to its callee in the first walk; its arguments are compiled and the
// callee asked for the call's type and code in the second.

#include <string>

#include "core/aparam_list.h"
#include "core/emitters.h"
#include "core/exception.h"
#include "core/function.h"
#include "core/memory.h"
#include "core/scope.h"
#include "core/type.h"
#include "core/type_scif.h"
#include "core/variable.h"
#include "evaluator/attribute_access.h"
#include "evaluator/handlers.h"
#include "evaluator/shared_operations.h"
#include "evaluator/subprogram_parts.h"

namespace Karsto::Eval {

namespace {

// The context of one variable block of a function: its area (parameters or locals, by
// block) and the scopes. `localBlock` tells the VAR and VAR_TEMP blocks apart.
void passBlockContext(const AstNode_function_declaration_3& self, AstRecord block, bool localBlock) {
    inherit(AstAttribute::currentAccess, block, self.currentAccess);
    inherit(AstAttribute::classContext, block, self.classContext);
    Memory* area = localBlock ? static_cast<Memory*>(self.localArea) : static_cast<Memory*>(self.paramArea);
    inherit(AstAttribute::storageArea, block, area);
    inherit(AstAttribute::typeScope, block, self.typeScope);
    inherit(AstAttribute::variableScope, block, self.variableScope);
    inherit(AstAttribute::externalScope, block, self.externalScope);
    // A VAR block without an access specifier makes its variables private.
    inherit(AstAttribute::defaultAccess, block, static_cast<int32_t>(VariableAccess::PRIVATE));
}

// One variable block of a function's list: only the first walk declares.
void functionBlock(Evaluator& evaluator, Parser::AstNode& node, int32_t step, bool localBlock) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_function_declaration_3>();
    const AstRecord block = childRecord(node, 0);
    if (step == -1)
        passBlockContext(self, block, localBlock);
    else
        self.variableScopeOut = attribute(AstAttribute::variableScopeOut, block);
}

// What the list of a function's blocks hands each element: the areas, the scopes and
// the access; the scope in force is set apart.
template <class R>
void passListContext(const AstNode_function_declaration_2& from, R& to) {
    to.currentAccess = from.currentAccess;
    to.classContext = from.classContext;
    to.localArea = from.localArea;
    to.paramArea = from.paramArea;
    to.typeScope = from.typeScope;
    to.externalScope = from.externalScope;
}

// A call standing where its parent reads `code` and `type` (an expression, a statement):
// the call gets the first walk's naming context and the second walk's variables.
template <class R>
void enterCall(Evaluator& evaluator, Parser::AstNode& node) {
    const auto& self = node.attributes<R>();
    const AstRecord call = childRecord(node, 0);
    if (evaluator.declaring())
        passCallContext(self, call);
    else
        passCompileContext(self, call);
}

// A call as a statement: its result is dropped (no cell for a call without one).
void callStatement(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (step == -1) {
        enterCall<AstNode_subprogram_control_statement>(evaluator, node);
        return;
    }
    if (!evaluator.compiling()) return;
    const AstRecord call = childRecord(node, 0);
    node.attributes<AstNode_subprogram_control_statement>().code =
        attribute(AstAttribute::code, call).concat(emitPop(attribute(AstAttribute::type, call), node.span()));
}

} // namespace

// FUNCTION identifier typereturn function_declaration_2 function_body END_FUNCTION
void function_declaration_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_function_declaration>();
    constexpr size_t kReturnType = 2;
    constexpr size_t kBlocks = 3;
    constexpr size_t kBody = 4;
    if (evaluator.declaring()) {
        switch (step) {
        case -1:
            openSubprogram(evaluator, self, node.span());
            break;
        case static_cast<int32_t>(kReturnType) - 1:
            attribute(AstAttribute::typeScope, childRecord(node, kReturnType)) = self.typeScope;
            break;
        case static_cast<int32_t>(kReturnType): {
            self.name = toLowerCopy(attribute(AstAttribute::name, childRecord(node, 1)));
            self.returnType = attribute(AstAttribute::type, childRecord(node, kReturnType));
            // The result variable at offset 0 of the parameter area, alone in a chain
            // without parent: the body sees nothing of the program's variables.
            Scope<Variable>* resultScope =
                createVariableScope(evaluator.parser, self.name, self.returnType, self.paramArea, nullptr);
            // VAR_EXTERNAL finds the variables in force where the FUNCTION stands.
            passBlocksContext(self, childRecord(node, kBlocks), resultScope, self.variableScope);
            break;
        }
        case static_cast<int32_t>(kBlocks): {
            self.bodyScope = attribute(AstAttribute::variableScopeOut, childRecord(node, kBlocks));
            // The function scope from before the declaration: no call of itself.
            const AstRecord body = childRecord(node, kBody);
            passContext(self, body);
            inherit(AstAttribute::returnLabel, body, self.returnLabel);
            inherit(AstAttribute::variableScope, body, self.bodyScope);
            inherit(AstAttribute::thisClass, body, static_cast<Type*>(nullptr));
            break;
        }
        case static_cast<int32_t>(kBody) + 1:
            self.functionObject = evaluator.handle(new FunctionUser(self.name, self.bodyScope, self.returnType,
                                                                   self.localArea, self.paramArea, node.span()));
            self.functionScopeOut =
                evaluator.handle(Scope<Function>::createWith(self.functionScope, self.name, self.functionObject));
            break;
        default: break;
        }
        return;
    }
    if (step == static_cast<int32_t>(kBody) - 1) {
        const AstRecord body = childRecord(node, kBody);
        inherit(AstAttribute::variableScope, body, self.bodyScope);
        inherit(AstAttribute::thisClass, body, static_cast<Type*>(nullptr));
    } else if (step == static_cast<int32_t>(kBody) + 1) {
        closeSubprogram(self, *self.functionObject, attribute(AstAttribute::code, childRecord(node, kBody)),
                        node.span());
    }
}

void typereturn_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // (empty): no result
    if (evaluator.declaring() && step == -1) node.attributes<AstNode_typereturn>().type = typeVoid;
}

void typereturn_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // ':' non_generic_type_name
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_typereturn>();
    if (step == 0)
        attribute(AstAttribute::typeScope, childRecord(node, 1)) = self.typeScope;
    else if (step == 1)
        self.type = attribute(AstAttribute::type, childRecord(node, 1));
}

void function_declaration_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t) { // no block
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_function_declaration_2>();
    self.variableScopeOut = self.variableScope;
}

// function_declaration_2 function_declaration_3: the earlier blocks first; the new block
// starts from the scope they left.
void function_declaration_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_function_declaration_2>();
    if (step == -1) {
        auto& earlier = node.childNode(0)->attributes<AstNode_function_declaration_2>();
        passListContext(self, earlier);
        earlier.variableScope = self.variableScope;
    } else if (step == 0) {
        auto& block = node.childNode(1)->attributes<AstNode_function_declaration_3>();
        passListContext(self, block);
        block.variableScope = node.childNode(0)->attributes<AstNode_function_declaration_2>().variableScopeOut;
    } else {
        self.variableScopeOut = node.childNode(1)->attributes<AstNode_function_declaration_3>().variableScopeOut;
    }
}

void function_declaration_3_0(Evaluator& e, Parser::AstNode& n, int32_t step) { // VAR_INPUT
    functionBlock(e, n, step, false);
}
void function_declaration_3_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // VAR_OUTPUT
    functionBlock(e, n, step, false);
}
void function_declaration_3_2(Evaluator& e, Parser::AstNode& n, int32_t step) { // VAR_IN_OUT
    functionBlock(e, n, step, false);
}
void function_declaration_3_3(Evaluator& e, Parser::AstNode& n, int32_t step) { // VAR
    functionBlock(e, n, step, true);
}
void function_declaration_3_4(Evaluator& e, Parser::AstNode& n, int32_t step) { // VAR_EXTERNAL: no area
    functionBlock(e, n, step, false);
}
void function_declaration_3_5(Evaluator& e, Parser::AstNode& n, int32_t step) { // VAR_TEMP
    functionBlock(e, n, step, true);
}

void function_name_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // identifier
    if (evaluator.declaring() && step == 0)
        node.attributes<AstNode_function_name>().name = attribute(AstAttribute::name, childRecord(node, 0));
}

// function_name '(' function_call_2 ')'
void function_call_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_function_call>();
    constexpr size_t kArguments = 2;
    if (step == -1 && evaluator.declaring()) {
        self.paramList = evaluator.handle(new AParamList());
    } else if (step == static_cast<int32_t>(kArguments) - 1) {
        passToArgument<AstNode_function_call>(evaluator, node, kArguments);
    } else if (step == static_cast<int32_t>(kArguments) + 1) {
        if (evaluator.declaring()) {
            // Only the functions declared before the call are in this scope.
            self.callee =
                self.functionScope->lookupOrFail(toLowerCopy(attribute(AstAttribute::name, childRecord(node, 0))));
            return;
        }
        // The built-ins rely on this order: the type first, then the code.
        self.type = self.callee->getReturnType(self.paramList);
        if (auto* method = dynamic_cast<MethodUser*>(self.callee)) {
            // A method of the class found by its plain name, from a method body above
            // it: its own call would push no object, while the method reads one below
            // its frame. Called as THIS.name(...), through the object's method table.
            checkSemantic(self.thisClass != nullptr, "Invalid use of THIS outside of method");
            self.code = thisReference().concat(
                self.thisClass->asScif()->callCode(method->name(), self.paramList, node.span(), false));
            return;
        }
        self.code = emitCall(self.callee, self.paramList, node.span());
    }
}

void function_call_2_0(Evaluator&, Parser::AstNode&, int32_t) {} // no argument

void function_call_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // function_call_3
    if (step == -1) passToArgument<AstNode_function_call_2>(evaluator, node, 0);
}

void function_call_3_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // param_assignment
    if (step == -1) passToArgument<AstNode_function_call_3>(evaluator, node, 0);
}

// function_call_3 ',' param_assignment: left to right, so the list's checks fire at the
// first offending argument.
void function_call_3_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (step == -1 || step == 1)
        passToArgument<AstNode_function_call_3>(evaluator, node, static_cast<size_t>(step + 1));
}

void param_assignment_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // expression
    if (step == -1) {
        passToArgument<AstNode_param_assignment>(evaluator, node, 0);
    } else if (evaluator.compiling()) {
        const AstRecord value = childRecord(node, 0);
        node.attributes<AstNode_param_assignment>().paramList->addPositional(
            attribute(AstAttribute::code, value), attribute(AstAttribute::type, value), addressCodeOf(value));
    }
}

void param_assignment_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // identifier ':=' expression
    if (step == 1) {
        passToArgument<AstNode_param_assignment>(evaluator, node, 2);
    } else if (step == 2 && evaluator.compiling()) {
        const AstRecord value = childRecord(node, 2);
        node.attributes<AstNode_param_assignment>().paramList->addFormalInput(
            toLowerCopy(attribute(AstAttribute::name, childRecord(node, 0))), attribute(AstAttribute::code, value),
            attribute(AstAttribute::type, value), addressCodeOf(value));
    }
}

void param_assignment_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // identifier '=>' expression_lhs
    if (step == 1) {
        passToArgument<AstNode_param_assignment>(evaluator, node, 2);
    } else if (step == 2 && evaluator.compiling()) {
        const AstRecord target = childRecord(node, 2);
        // The target must have storage before it joins the list.
        const Code address = locationCode(addressCodeOf(target));
        node.attributes<AstNode_param_assignment>().paramList->addFormalOutput(
            toLowerCopy(attribute(AstAttribute::name, childRecord(node, 0))), attribute(AstAttribute::type, target),
            address);
    }
}

// A call in an expression has a value but no storage: its address code stays empty.
void expression_primary_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // function_call
    if (step == -1) {
        enterCall<AstNode_expression_primary>(evaluator, node);
    } else if (evaluator.compiling()) {
        auto& self = node.attributes<AstNode_expression_primary>();
        const AstRecord call = childRecord(node, 0);
        self.code = attribute(AstAttribute::code, call);
        self.type = attribute(AstAttribute::type, call);
        self.addressCode = Code();
    }
}

// RETURN: a jump to the end of the body being compiled; at program level there is none.
void subprogram_control_statement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (evaluator.compiling() && step == 0) {
        auto& self = node.attributes<AstNode_subprogram_control_statement>();
        self.code = emitJump(self.returnLabel, node.span());
    }
}

void subprogram_control_statement_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // function_call
    callStatement(e, n, step);
}

void subprogram_control_statement_2(Evaluator& e, Parser::AstNode& n, int32_t step) { // method_call
    callStatement(e, n, step);
}

} // namespace Karsto::Eval
