// CLASS declarations. The first walk resolves the base class and the interfaces, which
// must be declared before the class, creates the class, walks the attribute blocks into
// the object's area and the methods into the class's list, and at END_CLASS hands it
// all to the class's definition, which checks every rule on methods, overriding and
// interfaces and lays the class out. Only then is the class declared, in a new type
// scope that the items after END_CLASS see: inside its own declaration its name is not
// yet a type. The second walk threads the chain of bodies through the methods, each of
// which compiles with the complete class as the type of THIS.

#include <string>

#include "codegen/codegen_class.h"
#include "core/function.h"
#include "core/memory.h"
#include "core/scope.h"
#include "core/type.h"
#include "core/type_class.h"
#include "core/variable.h"
#include "evaluator/attribute_access.h"
#include "evaluator/class_lists.h"
#include "evaluator/handlers.h"
#include "evaluator/shared_operations.h"

namespace Karsto::Eval {

namespace {

// What the attribute blocks of a class receive: the class, the object's area, the type
// names, and the variables VAR_EXTERNAL imports. The scope in force is set apart.
template <class R>
void passAttributeContext(const R& from, AstRecord to) {
    attribute(AstAttribute::classContext, to) = from.classContext;
    attribute(AstAttribute::storageArea, to) = from.storageArea;
    attribute(AstAttribute::typeScope, to) = from.typeScope;
    attribute(AstAttribute::externalScope, to) = from.externalScope;
}

// What the methods of a class receive in the first walk, the method scope in force
// apart.
template <class R>
void passMethodContext(const R& from, AstRecord to) {
    attribute(AstAttribute::currentAccess, to) = from.currentAccess;
    attribute(AstAttribute::classContext, to) = from.classContext;
    attribute(AstAttribute::continueLabel, to) = from.continueLabel;
    attribute(AstAttribute::exitLabel, to) = from.exitLabel;
    attribute(AstAttribute::typeScope, to) = from.typeScope;
    attribute(AstAttribute::externalScope, to) = from.externalScope;
    attribute(AstAttribute::classType, to) = from.classType;
    attribute(AstAttribute::methodList, to) = from.methodList;
}

// A class modifier: FINAL, ABSTRACT or neither (methods share it).
void classModifier(Evaluator& evaluator, Parser::AstNode& node, int32_t step, bool isFinal, bool isAbstract) {
    if (!evaluator.declaring() || step != -1) return;
    auto& self = node.attributes<AstNode_classdecl_2>();
    self.isFinal = isFinal ? 1 : 0;
    self.isAbstract = isAbstract ? 1 : 0;
}

// A name after IMPLEMENTS: a declared interface, joined to the class's list in order.
// The dotted text is looked up whole, in lower case.
void appendInterface(AstNode_classdecl_5& self, Parser::AstNode& node, size_t nameChild) {
    const std::string name = toLowerCopy(attribute(AstAttribute::text, childRecord(node, nameChild)));
    self.interfaceList->items.push_back(self.typeScope->lookupOrFail(name)->asInterface());
}

} // namespace

// CLASS classdecl_2 identifier using_list classdecl_3 classdecl_4 classdecl_6 classdecl_7
// END_CLASS
void classdecl_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_classdecl>();
    constexpr size_t kModifier = 1;
    constexpr size_t kName = 2;
    constexpr size_t kUsing = 3;
    constexpr size_t kExtends = 4;
    constexpr size_t kImplements = 5;
    constexpr size_t kAttributes = 6;
    constexpr size_t kMethods = 7;
    constexpr size_t kEnd = 8;
    if (!evaluator.declaring()) {
        if (step == static_cast<int32_t>(kMethods) - 1) {
            const AstRecord methods = childRecord(node, kMethods);
            attribute(AstAttribute::functionBodies, methods) = self.functionBodies;
            attribute(AstAttribute::thisClass, methods) = static_cast<Type*>(self.classType);
        } else if (step == static_cast<int32_t>(kMethods)) {
            self.functionBodiesOut = attribute(AstAttribute::functionBodiesOut, childRecord(node, kMethods));
        }
        return;
    }
    switch (step) {
    case -1: {
        self.interfaceList = evaluator.handle(new InterfaceList());
        self.methodList = evaluator.handle(new MethodList());
        self.methodScope = evaluator.handle(new Scope<Function>(self.functionScope));
        self.objectArea = evaluator.handle(new MemoryObject());
        self.memberScope = evaluator.handle(new Scope<Variable>(nullptr));
        // VAR_EXTERNAL in the class finds the variables in force where it stands.
        self.externalScope = self.variableScope;
        attribute(AstAttribute::rootNamespace, childRecord(node, kUsing)) = self.rootNamespace;
        attribute(AstAttribute::typeScope, childRecord(node, kExtends)) = self.typeScope;
        const AstRecord implements = childRecord(node, kImplements);
        attribute(AstAttribute::typeScope, implements) = self.typeScope;
        attribute(AstAttribute::interfaceList, implements) = self.interfaceList;
        break;
    }
    case static_cast<int32_t>(kModifier): {
        const AstRecord modifier = childRecord(node, kModifier);
        self.isFinal = attribute(AstAttribute::isFinal, modifier);
        self.isAbstract = attribute(AstAttribute::isAbstract, modifier);
        break;
    }
    case static_cast<int32_t>(kExtends):
        self.baseClass = attribute(AstAttribute::baseClass, childRecord(node, kExtends));
        break;
    case static_cast<int32_t>(kImplements): {
        // The class exists from here on, and is complete only after END_CLASS.
        const std::string name = toLowerCopy(attribute(AstAttribute::name, childRecord(node, kName)));
        self.classType = evaluator.handle(new CodegenClass(name, self.baseClass, self.interfaceList->items,
                                                           self.isFinal != 0, self.isAbstract != 0));
        // Attributes and methods are declared in the class's context.
        self.classContext = self.classType;
        const AstRecord attributes = childRecord(node, kAttributes);
        attribute(AstAttribute::classContext, attributes) = self.classContext;
        attribute(AstAttribute::storageArea, attributes) = self.objectArea;
        attribute(AstAttribute::typeScope, attributes) = self.typeScope;
        attribute(AstAttribute::externalScope, attributes) = self.externalScope;
        attribute(AstAttribute::variableScope, attributes) = self.memberScope;
        break;
    }
    case static_cast<int32_t>(kAttributes): {
        self.memberScope = attribute(AstAttribute::variableScopeOut, childRecord(node, kAttributes));
        const AstRecord methods = childRecord(node, kMethods);
        passMethodContext(self, methods);
        attribute(AstAttribute::methodScope, methods) = self.methodScope;
        break;
    }
    case static_cast<int32_t>(kEnd): {
        // Every rule on the class is checked here, with the span of the whole declaration.
        self.classType->define(self.memberScope, self.objectArea, self.methodList->items, self.globalArea);
        const std::string name = toLowerCopy(attribute(AstAttribute::name, childRecord(node, kName)));
        self.typeScopeOut = evaluator.handle(Scope<Type>::createWith(self.typeScope, name, self.classType));
        break;
    }
    default: break;
    }
}

void classdecl_2_0(Evaluator& e, Parser::AstNode& n, int32_t step) { classModifier(e, n, step, false, false); }
void classdecl_2_1(Evaluator& e, Parser::AstNode& n, int32_t step) { classModifier(e, n, step, true, false); }
void classdecl_2_2(Evaluator& e, Parser::AstNode& n, int32_t step) { classModifier(e, n, step, false, true); }

void classdecl_3_0(Evaluator& evaluator, Parser::AstNode& node, int32_t) { // no EXTENDS
    if (evaluator.declaring()) node.attributes<AstNode_classdecl_3>().baseClass = nullptr;
}

// EXTENDS qidentifier: a class declared before, looked up by its whole dotted text.
void classdecl_3_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring() || step != 1) return;
    auto& self = node.attributes<AstNode_classdecl_3>();
    const std::string name = toLowerCopy(attribute(AstAttribute::text, childRecord(node, 1)));
    self.baseClass = self.typeScope->lookupOrFail(name)->asClass();
}

void classdecl_4_0(Evaluator&, Parser::AstNode&, int32_t) {} // no IMPLEMENTS

void classdecl_4_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // IMPLEMENTS classdecl_5
    if (!evaluator.declaring() || step != 0) return;
    auto& self = node.attributes<AstNode_classdecl_4>();
    auto& names = node.childNode(1)->attributes<AstNode_classdecl_5>();
    names.typeScope = self.typeScope;
    names.interfaceList = self.interfaceList;
}

void classdecl_5_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // qidentifier
    if (evaluator.declaring() && step == 0) appendInterface(node.attributes<AstNode_classdecl_5>(), node, 0);
}

void classdecl_5_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // classdecl_5 ',' qidentifier
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_classdecl_5>();
    if (step == -1) {
        auto& earlier = node.childNode(0)->attributes<AstNode_classdecl_5>();
        earlier.typeScope = self.typeScope;
        earlier.interfaceList = self.interfaceList;
    } else if (step == 2) {
        appendInterface(self, node, 2);
    }
}

void classdecl_6_0(Evaluator& evaluator, Parser::AstNode& node, int32_t) { // no attribute block
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_classdecl_6>();
    self.variableScopeOut = self.variableScope;
}

// classdecl_6 classdecl_8: the earlier blocks first; the new block starts from the scope
// they left.
void classdecl_6_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_classdecl_6>();
    const AstRecord earlier = childRecord(node, 0);
    const AstRecord block = childRecord(node, 1);
    if (step == -1) {
        passAttributeContext(self, earlier);
        attribute(AstAttribute::variableScope, earlier) = self.variableScope;
    } else if (step == 0) {
        passAttributeContext(self, block);
        attribute(AstAttribute::variableScope, block) = attribute(AstAttribute::variableScopeOut, earlier);
    } else {
        self.variableScopeOut = attribute(AstAttribute::variableScopeOut, block);
    }
}

void classdecl_8_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // rd_block_var_external
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_classdecl_8>();
    const AstRecord block = childRecord(node, 0);
    if (step == -1) {
        attribute(AstAttribute::classContext, block) = self.classContext;
        attribute(AstAttribute::typeScope, block) = self.typeScope;
        attribute(AstAttribute::variableScope, block) = self.variableScope;
        attribute(AstAttribute::externalScope, block) = self.externalScope;
    } else {
        self.variableScopeOut = attribute(AstAttribute::variableScopeOut, block);
    }
}

// rd_block_var: the attributes of the object, protected unless the block names an access.
void classdecl_8_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_classdecl_8>();
    const AstRecord block = childRecord(node, 0);
    if (step == -1) {
        attribute(AstAttribute::defaultAccess, block) = static_cast<int32_t>(VariableAccess::PROTECTED);
        attribute(AstAttribute::classContext, block) = self.classContext;
        attribute(AstAttribute::storageArea, block) = self.storageArea;
        attribute(AstAttribute::typeScope, block) = self.typeScope;
        attribute(AstAttribute::variableScope, block) = self.variableScope;
    } else {
        self.variableScopeOut = attribute(AstAttribute::variableScopeOut, block);
    }
}

void classdecl_7_0(Evaluator& evaluator, Parser::AstNode& node, int32_t) { // no method
    auto& self = node.attributes<AstNode_classdecl_7>();
    if (evaluator.declaring())
        self.methodScopeOut = self.methodScope;
    else
        self.functionBodiesOut = self.functionBodies;
}

// classdecl_7 methoddecl: each method sees the methods above it; its body joins the
// chain after theirs.
void classdecl_7_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_classdecl_7>();
    const AstRecord earlier = childRecord(node, 0);
    const AstRecord method = childRecord(node, 1);
    if (evaluator.declaring()) {
        if (step == -1) {
            passMethodContext(self, earlier);
            attribute(AstAttribute::methodScope, earlier) = self.methodScope;
        } else if (step == 0) {
            passMethodContext(self, method);
            attribute(AstAttribute::methodScope, method) = attribute(AstAttribute::methodScopeOut, earlier);
        } else {
            self.methodScopeOut = attribute(AstAttribute::methodScopeOut, method);
        }
        return;
    }
    if (step == -1) {
        attribute(AstAttribute::functionBodies, earlier) = self.functionBodies;
        attribute(AstAttribute::thisClass, earlier) = self.thisClass;
    } else if (step == 0) {
        attribute(AstAttribute::functionBodies, method) = attribute(AstAttribute::functionBodiesOut, earlier);
        attribute(AstAttribute::thisClass, method) = self.thisClass;
    } else {
        self.functionBodiesOut = attribute(AstAttribute::functionBodiesOut, method);
    }
}

} // namespace Karsto::Eval
