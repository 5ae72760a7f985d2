// INTERFACE declarations and their method prototypes. All of it happens in the first
// walk: the extended interfaces, declared before, are resolved; the interface is made
// with its name as written (what messages show); every prototype becomes a method
// without a body whose parameter area ends with a reference to the interface; at
// END_INTERFACE the definition lays out the interface's table. The interface is then
// declared under its lower-case name for the items after it. The second walk produces
// no code here.

#include <string>

#include "codegen/codegen_interface.h"
#include "core/function.h"
#include "core/memory.h"
#include "core/scope.h"
#include "core/variable.h"
#include "evaluator/attribute_access.h"
#include "evaluator/class_lists.h"
#include "evaluator/handlers.h"
#include "evaluator/shared_operations.h"

namespace Karsto::Eval {

namespace {

// What the prototypes of an interface receive, the method scope in force apart.
template <class R>
void passPrototypeContext(const R& from, AstRecord to) {
    attribute(AstAttribute::currentAccess, to) = from.currentAccess;
    attribute(AstAttribute::classContext, to) = from.classContext;
    attribute(AstAttribute::typeScope, to) = from.typeScope;
    attribute(AstAttribute::externalScope, to) = from.externalScope;
    attribute(AstAttribute::interfaceType, to) = from.interfaceType;
    attribute(AstAttribute::methodList, to) = from.methodList;
}

// What a parameter block of a prototype receives, the scope in force apart.
template <class R>
void passParameterContext(const R& from, AstRecord to) {
    attribute(AstAttribute::currentAccess, to) = from.currentAccess;
    attribute(AstAttribute::classContext, to) = from.classContext;
    attribute(AstAttribute::storageArea, to) = from.storageArea;
    attribute(AstAttribute::typeScope, to) = from.typeScope;
}

// One parameter block of a prototype: VAR_INPUT, VAR_OUTPUT or VAR_IN_OUT.
void parameterBlock(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_methodproto_2>();
    const AstRecord block = childRecord(node, 0);
    if (step == -1) {
        passParameterContext(self, block);
        attribute(AstAttribute::variableScope, block) = self.variableScope;
    } else {
        self.variableScopeOut = attribute(AstAttribute::variableScopeOut, block);
    }
}

// A name of the list after EXTENDS joins the interface's list.
void appendExtended(AstNode_interfacedecl_3& self, Parser::AstNode& node, size_t nameChild) {
    appendInterface(*self.interfaceList, self.typeScope, attribute(AstAttribute::text, childRecord(node, nameChild)));
}

} // namespace

// INTERFACE identifier using_list interfacedecl_2 interfacedecl_4 END_INTERFACE
void interfacedecl_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_interfacedecl>();
    constexpr size_t kName = 1;
    constexpr size_t kUsing = 2;
    constexpr size_t kExtends = 3;
    constexpr size_t kPrototypes = 4;
    constexpr size_t kEnd = 5;
    const std::string& name = attribute(AstAttribute::name, childRecord(node, kName));
    switch (step) {
    case -1: {
        self.interfaceList = evaluator.handle(new InterfaceList());
        self.methodList = evaluator.handle(new MethodList());
        self.methodScope = evaluator.handle(new Scope<Function>(self.functionScope));
        self.externalScope = self.variableScope;
        attribute(AstAttribute::rootNamespace, childRecord(node, kUsing)) = self.rootNamespace;
        const AstRecord extends = childRecord(node, kExtends);
        attribute(AstAttribute::typeScope, extends) = self.typeScope;
        attribute(AstAttribute::interfaceList, extends) = self.interfaceList;
        break;
    }
    case static_cast<int32_t>(kExtends): {
        // As written: messages show the interface as its declaration spells it.
        self.interfaceType = evaluator.handle(new CodegenInterface(name, self.interfaceList->items));
        const AstRecord prototypes = childRecord(node, kPrototypes);
        passPrototypeContext(self, prototypes);
        attribute(AstAttribute::methodScope, prototypes) = self.methodScope;
        break;
    }
    case static_cast<int32_t>(kEnd):
        self.interfaceType->define(self.methodList->items, self.globalArea);
        self.typeScopeOut =
            evaluator.handle(Scope<Type>::createWith(self.typeScope, toLowerCopy(name), self.interfaceType));
        break;
    default: break;
    }
}

void interfacedecl_2_0(Evaluator&, Parser::AstNode&, int32_t) {} // no EXTENDS

void interfacedecl_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // EXTENDS interfacedecl_3
    if (!evaluator.declaring() || step != 0) return;
    auto& self = node.attributes<AstNode_interfacedecl_2>();
    auto& names = node.childNode(1)->attributes<AstNode_interfacedecl_3>();
    names.typeScope = self.typeScope;
    names.interfaceList = self.interfaceList;
}

void interfacedecl_3_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // qidentifier
    if (evaluator.declaring() && step == 0) appendExtended(node.attributes<AstNode_interfacedecl_3>(), node, 0);
}

// interfacedecl_3 ',' qidentifier
void interfacedecl_3_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_interfacedecl_3>();
    if (step == -1) {
        auto& earlier = node.childNode(0)->attributes<AstNode_interfacedecl_3>();
        earlier.typeScope = self.typeScope;
        earlier.interfaceList = self.interfaceList;
    } else if (step == 2) {
        appendExtended(self, node, 2);
    }
}

void interfacedecl_4_0(Evaluator& evaluator, Parser::AstNode& node, int32_t) { // no prototype
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_interfacedecl_4>();
    self.methodScopeOut = self.methodScope;
}

// interfacedecl_4 methodproto: each prototype declares itself after the ones above it.
void interfacedecl_4_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_interfacedecl_4>();
    const AstRecord earlier = childRecord(node, 0);
    const AstRecord prototype = childRecord(node, 1);
    if (step == -1) {
        passPrototypeContext(self, earlier);
        attribute(AstAttribute::methodScope, earlier) = self.methodScope;
    } else if (step == 0) {
        passPrototypeContext(self, prototype);
        attribute(AstAttribute::methodScope, prototype) = attribute(AstAttribute::methodScopeOut, earlier);
    } else {
        self.methodScopeOut = attribute(AstAttribute::methodScopeOut, prototype);
    }
}

// METHOD identifier typereturn methodproto_1 END_METHOD: a public, abstract method
// without a body or locals; its parameter area holds the result, the parameters and the
// reference to the interface.
void methodproto_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_methodproto>();
    constexpr size_t kName = 1;
    constexpr size_t kReturnType = 2;
    constexpr size_t kBlocks = 3;
    constexpr size_t kEnd = 4;
    switch (step) {
    case -1:
        self.paramArea = evaluator.handle(new MemoryParam());
        break;
    case static_cast<int32_t>(kName):
        attribute(AstAttribute::typeScope, childRecord(node, kReturnType)) = self.typeScope;
        break;
    case static_cast<int32_t>(kReturnType): {
        self.name = toLowerCopy(attribute(AstAttribute::name, childRecord(node, kName)));
        self.returnType = attribute(AstAttribute::type, childRecord(node, kReturnType));
        const AstRecord blocks = childRecord(node, kBlocks);
        attribute(AstAttribute::currentAccess, blocks) = self.currentAccess;
        attribute(AstAttribute::classContext, blocks) = self.classContext;
        attribute(AstAttribute::storageArea, blocks) = self.paramArea;
        attribute(AstAttribute::typeScope, blocks) = self.typeScope;
        attribute(AstAttribute::variableScope, blocks) =
            createVariableScope(evaluator.parser, self.name, self.returnType, self.paramArea, nullptr);
        break;
    }
    case static_cast<int32_t>(kEnd): {
        createThisVariable(evaluator.parser, self.paramArea, self.interfaceType);
        Scope<Variable>* parameters = attribute(AstAttribute::variableScopeOut, childRecord(node, kBlocks));
        self.methodObject = evaluator.handle(new MethodUser(self.name, parameters, self.returnType, nullptr,
                                                            self.paramArea, VariableAccess::PUBLIC, false, false,
                                                            true, node.span()));
        self.methodScopeOut =
            evaluator.handle(Scope<Function>::createWith(self.methodScope, self.name, self.methodObject));
        self.methodList->items.push_back(self.methodObject);
        break;
    }
    default: break;
    }
}

void methodproto_1_0(Evaluator& evaluator, Parser::AstNode& node, int32_t) { // no parameter block
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_methodproto_1>();
    self.variableScopeOut = self.variableScope;
}

// methodproto_1 methodproto_2: the earlier blocks first; the new block starts from the
// scope they left.
void methodproto_1_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_methodproto_1>();
    const AstRecord earlier = childRecord(node, 0);
    const AstRecord block = childRecord(node, 1);
    if (step == -1) {
        passParameterContext(self, earlier);
        attribute(AstAttribute::variableScope, earlier) = self.variableScope;
    } else if (step == 0) {
        passParameterContext(self, block);
        attribute(AstAttribute::variableScope, block) = attribute(AstAttribute::variableScopeOut, earlier);
    } else {
        self.variableScopeOut = attribute(AstAttribute::variableScopeOut, block);
    }
}

void methodproto_2_0(Evaluator& e, Parser::AstNode& n, int32_t step) { parameterBlock(e, n, step); } // VAR_INPUT
void methodproto_2_1(Evaluator& e, Parser::AstNode& n, int32_t step) { parameterBlock(e, n, step); } // VAR_OUTPUT
void methodproto_2_2(Evaluator& e, Parser::AstNode& n, int32_t step) { parameterBlock(e, n, step); } // VAR_IN_OUT

} // namespace Karsto::Eval
