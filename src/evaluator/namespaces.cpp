// NAMESPACE blocks, dotted names and USING clauses.
//
// A NAMESPACE opens, or reopens, the namespace its dotted name reaches from the
// enclosing one; names are compared as written, the only case-sensitive names of the
// language. Its members are declared with the context in force at the NAMESPACE line and
// see nothing the other members declare; the namespace passes no scope on, so nothing
// declared inside is visible after it. Their function and method bodies still join the
// chain of bodies in order, so their code is part of the program.
//
// A USING name is looked up from the root as written; one that names no namespace
// stands as null in the set, without a message. Nothing reads the sets: USING changes no
// lookup. Dotted names are also the qualified identifiers after EXTENDS and IMPLEMENTS.

#include <string>

#include "core/namespace.h"
#include "core/variable.h"
#include "evaluator/attribute_access.h"
#include "evaluator/class_lists.h"
#include "evaluator/handlers.h"

namespace Karsto::Eval {

namespace {

// "identifier" or "left '.' identifier": the parts joined with "." as written.
template <class R>
void dottedName(Evaluator& evaluator, Parser::AstNode& node, int32_t step, bool qualified) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<R>();
    if (!qualified && step == 0) {
        self.text = attribute(AstAttribute::name, childRecord(node, 0));
    } else if (qualified && step == 2) {
        self.text = attribute(AstAttribute::text, childRecord(node, 0)) + "." +
                    attribute(AstAttribute::name, childRecord(node, 2));
    }
}

// The root and the set of a USING node or list go to the child at `index`.
template <class R>
void passUsingContext(const R& from, AstRecord to) {
    attribute(AstAttribute::rootNamespace, to) = from.rootNamespace;
    attribute(AstAttribute::usedNamespaces, to) = from.usedNamespaces;
}

// One name of a clause joins the clause's set.
void insertNamespace(AstNode_using_1& self, Parser::AstNode& node, size_t nameChild) {
    self.usedNamespaces->items.insert(self.rootNamespace->find(attribute(AstAttribute::text, childRecord(node, nameChild))));
}

// One member of a namespace: a TYPE block, a FUNCTION, a CLASS, an INTERFACE or a nested
// NAMESPACE. Each receives the part of the namespace's context it carries; the scopes it
// declares are dropped. In the second walk its bodies, where it has any, join the chain.
void namespaceMember(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_nsdecl_4>();
    const AstRecord member = childRecord(node, 0);
    if (evaluator.declaring()) {
        if (step == -1) passContext(self, member);
        return;
    }
    if (step == -1) {
        inherit(AstAttribute::functionBodies, member, self.functionBodies);
    } else {
        const Code* bodies = AstAttribute::functionBodiesOut(member);
        self.functionBodiesOut = bodies == nullptr ? self.functionBodies : *bodies;
    }
}

} // namespace

// NAMESPACE nsdecl_2 nsname using_list nsdecl_3 END_NAMESPACE
void nsdecl_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_nsdecl>();
    constexpr size_t kName = 2;
    constexpr size_t kUsing = 3;
    constexpr size_t kMembers = 4;
    const AstRecord members = childRecord(node, kMembers);
    if (evaluator.declaring()) {
        if (step == -1) {
            attribute(AstAttribute::rootNamespace, childRecord(node, kUsing)) = self.rootNamespace;
        } else if (step == static_cast<int32_t>(kUsing)) {
            self.memberNamespace =
                self.currentNamespace->findOrCreate(attribute(AstAttribute::text, childRecord(node, kName)));
            passContext(self, members);
            attribute(AstAttribute::currentNamespace, members) = self.memberNamespace;
        }
        return;
    }
    if (step == static_cast<int32_t>(kMembers) - 1)
        attribute(AstAttribute::functionBodies, members) = self.functionBodies;
    else if (step == static_cast<int32_t>(kMembers))
        self.functionBodiesOut = attribute(AstAttribute::functionBodiesOut, members);
}

void nsdecl_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t) { // (empty)
    if (evaluator.declaring()) node.attributes<AstNode_nsdecl_2>().access = static_cast<int32_t>(VariableAccess::PUBLIC);
}

// INTERNAL: accepted, and changes nothing.
void nsdecl_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (evaluator.declaring() && step == -1)
        node.attributes<AstNode_nsdecl_2>().access = static_cast<int32_t>(VariableAccess::INTERNAL);
}

void nsdecl_3_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // nsdecl_4
    auto& self = node.attributes<AstNode_nsdecl_3>();
    const AstRecord member = childRecord(node, 0);
    if (evaluator.declaring()) {
        if (step == -1) passContext(self, member);
    } else if (step == -1) {
        attribute(AstAttribute::functionBodies, member) = self.functionBodies;
    } else {
        self.functionBodiesOut = attribute(AstAttribute::functionBodiesOut, member);
    }
}

// nsdecl_3 nsdecl_4: every member gets the same context; the chain of bodies runs
// through them in order.
void nsdecl_3_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_nsdecl_3>();
    const AstRecord earlier = childRecord(node, 0);
    const AstRecord member = childRecord(node, 1);
    if (evaluator.declaring()) {
        if (step == -1 || step == 0) passContext(self, step == -1 ? earlier : member);
    } else if (step == -1) {
        attribute(AstAttribute::functionBodies, earlier) = self.functionBodies;
    } else if (step == 0) {
        attribute(AstAttribute::functionBodies, member) = attribute(AstAttribute::functionBodiesOut, earlier);
    } else {
        self.functionBodiesOut = attribute(AstAttribute::functionBodiesOut, member);
    }
}

void nsdecl_4_0(Evaluator& e, Parser::AstNode& n, int32_t step) { namespaceMember(e, n, step); } // TYPE
void nsdecl_4_1(Evaluator& e, Parser::AstNode& n, int32_t step) { namespaceMember(e, n, step); } // FUNCTION
void nsdecl_4_2(Evaluator& e, Parser::AstNode& n, int32_t step) { namespaceMember(e, n, step); } // CLASS
void nsdecl_4_3(Evaluator& e, Parser::AstNode& n, int32_t step) { namespaceMember(e, n, step); } // INTERFACE
void nsdecl_4_4(Evaluator& e, Parser::AstNode& n, int32_t step) { namespaceMember(e, n, step); } // NAMESPACE

void qidentifier_0(Evaluator& e, Parser::AstNode& n, int32_t step) { // identifier
    dottedName<AstNode_qidentifier>(e, n, step, false);
}
void qidentifier_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // qidentifier '.' identifier
    dottedName<AstNode_qidentifier>(e, n, step, true);
}
void nsname_0(Evaluator& e, Parser::AstNode& n, int32_t step) { // identifier
    dottedName<AstNode_nsname>(e, n, step, false);
}
void nsname_1(Evaluator& e, Parser::AstNode& n, int32_t step) { // nsname '.' identifier
    dottedName<AstNode_nsname>(e, n, step, true);
}

void using_list_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // using_list_1
    if (!evaluator.declaring() || step != -1) return;
    auto& self = node.attributes<AstNode_using_list>();
    self.usedNamespaces = evaluator.handle(new NamespaceSet());
    passUsingContext(self, childRecord(node, 0));
}

void using_list_1_0(Evaluator&, Parser::AstNode&, int32_t) {} // no clause

// using_list_1 using: each clause makes its own set, merged into the list's.
void using_list_1_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_using_list_1>();
    if (step == -1) {
        passUsingContext(self, childRecord(node, 0));
    } else if (step == 0) {
        attribute(AstAttribute::rootNamespace, childRecord(node, 1)) = self.rootNamespace;
    } else {
        const NamespaceSet* clause = attribute(AstAttribute::usedNamespaces, childRecord(node, 1));
        self.usedNamespaces->items.insert(clause->items.begin(), clause->items.end());
    }
}

void using_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // USING using_1 ';'
    if (!evaluator.declaring() || step != 0) return;
    auto& self = node.attributes<AstNode_using>();
    self.usedNamespaces = evaluator.handle(new NamespaceSet());
    passUsingContext(self, childRecord(node, 1));
}

void using_1_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // nsname
    if (evaluator.declaring() && step == 0) insertNamespace(node.attributes<AstNode_using_1>(), node, 0);
}

void using_1_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // using_1 ',' nsname
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_using_1>();
    if (step == -1)
        passUsingContext(self, childRecord(node, 0));
    else if (step == 2)
        insertNamespace(self, node, 2);
}

} // namespace Karsto::Eval
