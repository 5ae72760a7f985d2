// The program node, the program-level list of statements and declarations, statement
// lists and the statement kinds: the context every other node inherits, the threading
// of the scopes in source order, and the assembly of the Program.

#include "core/memory.h"
#include "core/namespace.h"
#include "core/program.h"
#include "core/variable.h"
#include "evaluator/attribute_access.h"
#include "evaluator/handlers.h"

namespace Karsto::Eval {

namespace {

// The three scopes a list item hands on: the ones it received (a statement), or the ones
// a declaration left (set afterwards for the scope it replaces).
template <class R>
void passScopesOn(R& self) {
    self.functionScopeOut = self.functionScope;
    self.typeScopeOut = self.typeScope;
    self.variableScopeOut = self.variableScope;
}

} // namespace

void root_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.compiling() || step != 0) return;
    Program* program = attribute(AstAttribute::program, childRecord(node, 0));
    node.attributes<AstNode_root>().program = program;
    // From here on the parser owns the Program.
    evaluator.parser.program = program;
}

void gprogram_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_gprogram>();
    const AstRecord list = childRecord(node, 0);
    if (evaluator.declaring()) {
        if (step == -1) {
            self.globalArea = evaluator.handle(new MemoryGlobal());
            self.rootNamespace = evaluator.handle(new Namespace());
            SymbolTables& symbols = evaluator.parser.symbols;
            attribute(AstAttribute::currentAccess, list) = static_cast<int32_t>(VariableAccess::NONE);
            attribute(AstAttribute::classContext, list) = nullptr;
            attribute(AstAttribute::continueLabel, list) = nullptr;
            attribute(AstAttribute::returnLabel, list) = nullptr;
            attribute(AstAttribute::exitLabel, list) = nullptr;
            attribute(AstAttribute::thisClass, list) = nullptr;
            attribute(AstAttribute::storageArea, list) = self.globalArea;
            attribute(AstAttribute::globalArea, list) = self.globalArea;
            attribute(AstAttribute::currentNamespace, list) = self.rootNamespace;
            attribute(AstAttribute::rootNamespace, list) = self.rootNamespace;
            attribute(AstAttribute::functionScope, list) = symbols.functions;
            attribute(AstAttribute::typeScope, list) = symbols.types;
            attribute(AstAttribute::variableScope, list) = symbols.variables;
        } else {
            self.variableScopeOut = attribute(AstAttribute::variableScopeOut, list);
        }
        return;
    }
    if (step == -1) {
        attribute(AstAttribute::functionBodies, list) = Code();
        return;
    }
    self.program = new Program(attribute(AstAttribute::code, list), self.globalArea,
                               attribute(AstAttribute::functionBodiesOut, list));
}

void statement_decl_list_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_statement_decl_list>();
    const AstRecord left = childRecord(node, 0);
    if (evaluator.declaring()) {
        if (step == -1) {
            passContext(self, left);
        } else if (step == 0) {
            // The element sees the scopes as the items before it left them.
            const AstRecord element = childRecord(node, 1);
            passContext(self, element);
            attribute(AstAttribute::functionScope, element) = attribute(AstAttribute::functionScopeOut, left);
            attribute(AstAttribute::typeScope, element) = attribute(AstAttribute::typeScopeOut, left);
            attribute(AstAttribute::variableScope, element) = attribute(AstAttribute::variableScopeOut, left);
        } else {
            const AstRecord element = childRecord(node, 1);
            self.functionScopeOut = attribute(AstAttribute::functionScopeOut, element);
            self.typeScopeOut = attribute(AstAttribute::typeScopeOut, element);
            self.variableScopeOut = attribute(AstAttribute::variableScopeOut, element);
        }
        return;
    }
    if (step == -1) {
        attribute(AstAttribute::functionBodies, left) = self.functionBodies;
    } else if (step == 0) {
        attribute(AstAttribute::functionBodies, childRecord(node, 1)) =
            attribute(AstAttribute::functionBodiesOut, left);
    } else {
        const AstRecord element = childRecord(node, 1);
        self.code = attribute(AstAttribute::code, left).concat(attribute(AstAttribute::code, element));
        self.functionBodiesOut = attribute(AstAttribute::functionBodiesOut, element);
    }
}

void statement_decl_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_statement_decl>();
    const AstRecord statement = childRecord(node, 0);
    if (evaluator.declaring()) {
        if (step == -1)
            passContext(self, statement);
        else
            passScopesOn(self);
        return;
    }
    if (step == -1) {
        // The variables in force at this position of the list, as the first walk left them.
        passCompileContext(self, statement);
    } else {
        self.code = attribute(AstAttribute::code, statement);
        self.functionBodiesOut = self.functionBodies;
    }
}

void statement_decl_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_statement_decl>();
    const AstRecord declaration = childRecord(node, 0);
    if (evaluator.declaring()) {
        if (step == -1) {
            passContext(self, declaration);
        } else {
            self.functionScopeOut = attribute(AstAttribute::functionScopeOut, declaration);
            self.typeScopeOut = attribute(AstAttribute::typeScopeOut, declaration);
            self.variableScopeOut = attribute(AstAttribute::variableScopeOut, declaration);
        }
        return;
    }
    if (step == -1) {
        attribute(AstAttribute::functionBodies, declaration) = self.functionBodies;
    } else {
        // A declaration emits nothing where it stands.
        self.code = Code();
        self.functionBodiesOut = attribute(AstAttribute::functionBodiesOut, declaration);
    }
}

// The declarations: each receives the part of the context it uses and replaces the
// scope of its kind for the items after it; the bodies of functions and methods join
// the chain of function bodies in source order.
void gdecl_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // VAR block
    auto& self = node.attributes<AstNode_gdecl>();
    const AstRecord block = childRecord(node, 0);
    if (evaluator.declaring()) {
        if (step == -1) {
            attribute(AstAttribute::classContext, block) = self.classContext;
            attribute(AstAttribute::storageArea, block) = self.storageArea;
            attribute(AstAttribute::typeScope, block) = self.typeScope;
            attribute(AstAttribute::variableScope, block) = self.variableScope;
            attribute(AstAttribute::defaultAccess, block) = static_cast<int32_t>(VariableAccess::INTERNAL);
        } else {
            passScopesOn(self);
            self.variableScopeOut = attribute(AstAttribute::variableScopeOut, block);
        }
    } else if (step == 0) {
        self.functionBodiesOut = self.functionBodies;
    }
}

void gdecl_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // FUNCTION
    auto& self = node.attributes<AstNode_gdecl>();
    const AstRecord function = childRecord(node, 0);
    if (evaluator.declaring()) {
        if (step == -1) {
            attribute(AstAttribute::currentAccess, function) = self.currentAccess;
            attribute(AstAttribute::classContext, function) = self.classContext;
            attribute(AstAttribute::continueLabel, function) = self.continueLabel;
            attribute(AstAttribute::exitLabel, function) = self.exitLabel;
            attribute(AstAttribute::functionScope, function) = self.functionScope;
            attribute(AstAttribute::typeScope, function) = self.typeScope;
            attribute(AstAttribute::variableScope, function) = self.variableScope;
            attribute(AstAttribute::thisClass, function) = self.thisClass;
        } else {
            passScopesOn(self);
            self.functionScopeOut = attribute(AstAttribute::functionScopeOut, function);
        }
    } else if (step == -1) {
        attribute(AstAttribute::functionBodies, function) = self.functionBodies;
    } else {
        self.functionBodiesOut = attribute(AstAttribute::functionBodiesOut, function);
    }
}

void gdecl_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // TYPE block
    auto& self = node.attributes<AstNode_gdecl>();
    const AstRecord block = childRecord(node, 0);
    if (evaluator.declaring()) {
        if (step == -1) {
            attribute(AstAttribute::classContext, block) = self.classContext;
            attribute(AstAttribute::typeScope, block) = self.typeScope;
            attribute(AstAttribute::variableScope, block) = self.variableScope;
        } else {
            passScopesOn(self);
            self.typeScopeOut = attribute(AstAttribute::typeScopeOut, block);
        }
    } else if (step == 0) {
        self.functionBodiesOut = self.functionBodies;
    }
}

void gdecl_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // CLASS
    auto& self = node.attributes<AstNode_gdecl>();
    const AstRecord declaration = childRecord(node, 0);
    if (evaluator.declaring()) {
        if (step == -1) {
            attribute(AstAttribute::currentAccess, declaration) = self.currentAccess;
            attribute(AstAttribute::continueLabel, declaration) = self.continueLabel;
            attribute(AstAttribute::exitLabel, declaration) = self.exitLabel;
            attribute(AstAttribute::globalArea, declaration) = self.globalArea;
            attribute(AstAttribute::rootNamespace, declaration) = self.rootNamespace;
            attribute(AstAttribute::functionScope, declaration) = self.functionScope;
            attribute(AstAttribute::typeScope, declaration) = self.typeScope;
            attribute(AstAttribute::variableScope, declaration) = self.variableScope;
        } else {
            passScopesOn(self);
            self.typeScopeOut = attribute(AstAttribute::typeScopeOut, declaration);
        }
    } else if (step == -1) {
        attribute(AstAttribute::functionBodies, declaration) = self.functionBodies;
    } else {
        self.functionBodiesOut = attribute(AstAttribute::functionBodiesOut, declaration);
    }
}

void gdecl_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // INTERFACE
    auto& self = node.attributes<AstNode_gdecl>();
    const AstRecord declaration = childRecord(node, 0);
    if (evaluator.declaring()) {
        if (step == -1) {
            attribute(AstAttribute::currentAccess, declaration) = self.currentAccess;
            attribute(AstAttribute::classContext, declaration) = self.classContext;
            attribute(AstAttribute::globalArea, declaration) = self.globalArea;
            attribute(AstAttribute::rootNamespace, declaration) = self.rootNamespace;
            attribute(AstAttribute::functionScope, declaration) = self.functionScope;
            attribute(AstAttribute::typeScope, declaration) = self.typeScope;
            attribute(AstAttribute::variableScope, declaration) = self.variableScope;
        } else {
            passScopesOn(self);
            self.typeScopeOut = attribute(AstAttribute::typeScopeOut, declaration);
        }
    } else if (step == 0) {
        self.functionBodiesOut = self.functionBodies;
    }
}

void gdecl_5(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // NAMESPACE
    auto& self = node.attributes<AstNode_gdecl>();
    const AstRecord declaration = childRecord(node, 0);
    if (evaluator.declaring()) {
        if (step == -1) {
            attribute(AstAttribute::currentAccess, declaration) = self.currentAccess;
            attribute(AstAttribute::classContext, declaration) = self.classContext;
            attribute(AstAttribute::continueLabel, declaration) = self.continueLabel;
            attribute(AstAttribute::exitLabel, declaration) = self.exitLabel;
            attribute(AstAttribute::globalArea, declaration) = self.globalArea;
            attribute(AstAttribute::currentNamespace, declaration) = self.currentNamespace;
            attribute(AstAttribute::rootNamespace, declaration) = self.rootNamespace;
            attribute(AstAttribute::functionScope, declaration) = self.functionScope;
            attribute(AstAttribute::typeScope, declaration) = self.typeScope;
            attribute(AstAttribute::variableScope, declaration) = self.variableScope;
            attribute(AstAttribute::thisClass, declaration) = self.thisClass;
        } else {
            // What a namespace declares stays inside it.
            passScopesOn(self);
        }
    } else if (step == -1) {
        attribute(AstAttribute::functionBodies, declaration) = self.functionBodies;
    } else {
        self.functionBodiesOut = attribute(AstAttribute::functionBodiesOut, declaration);
    }
}

void ststatement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // ";"
    if (evaluator.compiling() && step == 0) node.attributes<AstNode_ststatement>().code = Code();
}

namespace {

// A statement of one child (an assignment, a call, a selection, a loop): the child gets
// the scopes for its names and the part of the context its kind uses; the statement's
// code is the child's.
enum class StatementContext { expression, call, whole };

void simpleStatement(Evaluator& evaluator, Parser::AstNode& node, int32_t step, StatementContext context) {
    auto& self = node.attributes<AstNode_ststatement>();
    const AstRecord child = childRecord(node, 0);
    if (evaluator.declaring()) {
        if (step != -1) return;
        if (context == StatementContext::whole) {
            passContext(self, child);
            return;
        }
        attribute(AstAttribute::classContext, child) = self.classContext;
        attribute(AstAttribute::functionScope, child) = self.functionScope;
        attribute(AstAttribute::typeScope, child) = self.typeScope;
        if (context == StatementContext::call) attribute(AstAttribute::returnLabel, child) = self.returnLabel;
        return;
    }
    if (step == -1)
        passCompileContext(self, child);
    else if (step == 0)
        self.code = attribute(AstAttribute::code, child);
}

} // namespace

void ststatement_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    simpleStatement(evaluator, node, step, StatementContext::expression);
}

void ststatement_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    simpleStatement(evaluator, node, step, StatementContext::expression);
}

void ststatement_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    simpleStatement(evaluator, node, step, StatementContext::call);
}

void ststatement_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    simpleStatement(evaluator, node, step, StatementContext::whole);
}

void ststatement_5(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    simpleStatement(evaluator, node, step, StatementContext::whole);
}

void statement_list_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_statement_list>();
    if (step < 1) {
        // Every statement of a list gets the same context.
        const AstRecord statement = childRecord(node, static_cast<size_t>(step + 1));
        if (evaluator.declaring())
            passContext(self, statement);
        else
            passCompileContext(self, statement);
        return;
    }
    if (evaluator.compiling()) {
        self.code = attribute(AstAttribute::code, childRecord(node, 0))
                        .concat(attribute(AstAttribute::code, childRecord(node, 1)));
    }
}

} // namespace Karsto::Eval
