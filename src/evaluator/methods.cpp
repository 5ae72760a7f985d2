// METHOD declarations, THIS, and method calls through an object or through SUPER.
//
// A method compiles like a function, with the object it runs on as a hidden last
// parameter "this", allocated after the body has been walked, so it lies just below the
// frame. Its body sees the class's attributes: in the second walk, when the class is
// complete, the chain of its result variable is hung below the class's member scope.
// A method is not declared as a function of the program; it joins its class's list and
// a new method scope that only the methods below it see.
//
// A call through an object is bound in the second walk against the complete class (or
// interface or structure), so a body may call any method of its class through THIS.
// Access specifiers of methods are checked nowhere.

#include <string>

#include "codegen/codegen_class.h"
#include "codegen/operation_emitters.h"
#include "core/aparam_list.h"
#include "core/constant_factory.h"
#include "core/emitters.h"
#include "core/exception.h"
#include "core/function.h"
#include "core/type.h"
#include "core/type_class.h"
#include "core/type_scif.h"
#include "evaluator/attribute_access.h"
#include "evaluator/class_lists.h"
#include "evaluator/handlers.h"
#include "evaluator/shared_operations.h"
#include "evaluator/subprogram_parts.h"

namespace Karsto::Eval {

Code thisReference() {
    const SourceSpan none;
    return emitFp(none)
        .concat(makeIntConstant(-typeAddr->size(), typeAddr, none))
        .concat(emitAdd(typeAddr, none))
        .concat(emitLd(typeAddr, none));
}

namespace {

// A node whose one child is a call (a method call in an expression, either kind of
// method call): the child gets the context, the node its value. A call has no storage,
// so its address code stays empty.
template <class R>
void forwardCall(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<R>();
    if (step == -1) {
        self.addressCode = Code();
        passToArgument<R>(evaluator, node, 0);
    } else if (evaluator.compiling()) {
        const AstRecord call = childRecord(node, 0);
        self.code = attribute(AstAttribute::code, call);
        self.type = attribute(AstAttribute::type, call);
    }
}

// The name after the "." of a method call, lower case.
std::string methodName(Parser::AstNode& node) {
    constexpr size_t kName = 2;
    return toLowerCopy(attribute(AstAttribute::name, childRecord(node, kName)));
}

} // namespace

// METHOD access_spec classdecl_2 methoddecl_2 identifier typereturn function_declaration_2
// method_body END_METHOD
void methoddecl_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_methoddecl>();
    constexpr size_t kAccess = 1;
    constexpr size_t kModifier = 2;
    constexpr size_t kOverride = 3;
    constexpr size_t kName = 4;
    constexpr size_t kReturnType = 5;
    constexpr size_t kBlocks = 6;
    constexpr size_t kBody = 7;
    constexpr size_t kEnd = 8;
    if (!evaluator.declaring()) {
        if (step == -1) {
            // The class is complete now: its attributes, inherited ones included, lie
            // beyond the result variable, and nothing of the program does.
            self.resultScope->setParent(self.thisClass->asClass()->memberScope());
        } else if (step == static_cast<int32_t>(kBody) - 1) {
            const AstRecord body = childRecord(node, kBody);
            inherit(AstAttribute::variableScope, body, self.bodyScope);
            inherit(AstAttribute::thisClass, body, self.thisClass);
        } else if (step == static_cast<int32_t>(kEnd)) {
            closeSubprogram(self, *self.methodObject, attribute(AstAttribute::code, childRecord(node, kBody)),
                            node.span());
        }
        return;
    }
    switch (step) {
    case -1:
        openSubprogram(evaluator, self, node.span());
        break;
    case static_cast<int32_t>(kOverride): {
        const AstRecord modifier = childRecord(node, kModifier);
        self.isFinal = attribute(AstAttribute::isFinal, modifier);
        self.isAbstract = attribute(AstAttribute::isAbstract, modifier);
        self.isOverride = attribute(AstAttribute::isOverride, childRecord(node, kOverride));
        break;
    }
    case static_cast<int32_t>(kName):
        attribute(AstAttribute::typeScope, childRecord(node, kReturnType)) = self.typeScope;
        break;
    case static_cast<int32_t>(kReturnType):
        self.name = toLowerCopy(attribute(AstAttribute::name, childRecord(node, kName)));
        self.returnType = attribute(AstAttribute::type, childRecord(node, kReturnType));
        // The result variable at offset 0 of the parameter area, in a chain of its own;
        // the class's attributes join it in the second walk.
        self.resultScope = createVariableScope(evaluator.parser, self.name, self.returnType, self.paramArea, nullptr);
        // VAR_EXTERNAL finds the variables in force where the CLASS stands.
        passBlocksContext(self, childRecord(node, kBlocks), self.resultScope, self.externalScope);
        break;
    case static_cast<int32_t>(kBlocks): {
        self.bodyScope = attribute(AstAttribute::variableScopeOut, childRecord(node, kBlocks));
        const AstRecord body = childRecord(node, kBody);
        passContext(self, body);
        // The methods above this one and the functions in force at the class; not
        // this method itself.
        inherit(AstAttribute::functionScope, body, self.methodScope);
        inherit(AstAttribute::returnLabel, body, self.returnLabel);
        inherit(AstAttribute::variableScope, body, self.bodyScope);
        break;
    }
    case static_cast<int32_t>(kEnd): {
        // Last in the parameter area, after every parameter the body declared.
        createThisVariable(evaluator.parser, self.paramArea, self.classType);
        const auto access = static_cast<VariableAccess>(attribute(AstAttribute::access, childRecord(node, kAccess)));
        self.methodObject = evaluator.handle(new MethodUser(self.name, self.bodyScope, self.returnType,
                                                            self.localArea, self.paramArea, access,
                                                            self.isOverride != 0, self.isFinal != 0,
                                                            self.isAbstract != 0, node.span()));
        self.methodScopeOut =
            evaluator.handle(Scope<Function>::createWith(self.methodScope, self.name, self.methodObject));
        self.methodList->items.push_back(self.methodObject);
        break;
    }
    default: break;
    }
}

void methoddecl_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t) { // not overriding
    if (evaluator.declaring()) node.attributes<AstNode_methoddecl_2>().isOverride = 0;
}

void methoddecl_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // OVERRIDE
    if (evaluator.declaring() && step == -1) node.attributes<AstNode_methoddecl_2>().isOverride = 1;
}

void expression_lhs_3(Evaluator& e, Parser::AstNode& n, int32_t step) { // method_call
    forwardCall<AstNode_expression_lhs>(e, n, step);
}
void method_call_0(Evaluator& e, Parser::AstNode& n, int32_t step) { // method_call_dynamic
    forwardCall<AstNode_method_call>(e, n, step);
}
void method_call_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // method_call_static
    forwardCall<AstNode_method_call>(e, n, step);
}

// THIS: the object the method runs on, typed as its class. Its storage is the object
// the reference below the frame points to.
void expression_primary_6(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.compiling() || step != -1) return;
    auto& self = node.attributes<AstNode_expression_primary>();
    self.addressCode = thisReference();
    checkSemantic(self.thisClass != nullptr, "Invalid use of THIS outside of method");
    self.type = self.thisClass;
    self.code = self.addressCode.concat(emitLd(self.thisClass, SourceSpan()));
}

// expression_lhs '.' identifier '(' function_call_2 ')': the method of the object's
// class, interface or structure, called through the object's tables. The object must
// have storage, asked for only once the method is found and the arguments bound.
void method_call_dynamic_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_method_call_dynamic>();
    constexpr size_t kObject = 0;
    constexpr size_t kArguments = 4;
    if (step == -1) {
        if (evaluator.declaring()) self.paramList = evaluator.handle(new AParamList());
        passToArgument<AstNode_method_call_dynamic>(evaluator, node, kObject);
    } else if (step == static_cast<int32_t>(kArguments) - 1) {
        passToArgument<AstNode_method_call_dynamic>(evaluator, node, kArguments);
    } else if (step == static_cast<int32_t>(kArguments) + 1 && evaluator.compiling()) {
        const AstRecord object = childRecord(node, kObject);
        const std::string name = methodName(node);
        self.scifType = attribute(AstAttribute::type, object)->asScif();
        self.method = self.scifType->methodOrFail(name);
        self.type = self.method->getReturnType(self.paramList);
        const Code call = self.scifType->callCode(name, self.paramList, node.span(), false);
        self.code = locationCode(addressCodeOf(object)).concat(call);
    }
}

// SUPER '.' identifier '(' function_call_2 ')': the base class's implementation, called
// directly on the object the method runs on. Checked before any argument is compiled.
void method_call_static_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_method_call_static>();
    constexpr size_t kArguments = 4;
    if (step == -1) {
        if (evaluator.declaring()) {
            self.paramList = evaluator.handle(new AParamList());
            return;
        }
        checkSemantic(self.thisClass != nullptr, "Invalid use of SUPER outside of method");
        self.baseClass = self.thisClass->asClass()->baseClass();
        checkSemantic(self.baseClass != nullptr, "SUPER is used, but class does not have a baseclass");
        self.method = self.baseClass->methodOrFail(methodName(node));
    } else if (step == static_cast<int32_t>(kArguments) - 1) {
        passToArgument<AstNode_method_call_static>(evaluator, node, kArguments);
    } else if (step == static_cast<int32_t>(kArguments) + 1 && evaluator.compiling()) {
        self.type = self.method->getReturnType(self.paramList);
        self.code = thisReference().concat(self.baseClass->callCode(methodName(node), self.paramList, node.span(), true));
    }
}

} // namespace Karsto::Eval
