// Dotted names and USING clauses: the qualified identifiers after EXTENDS and IMPLEMENTS,
// namespace names, and the sets of namespaces a class or namespace head names. A USING
// name is looked up from the root as written (namespace names keep their letter case);
// one that names no namespace stands as null in the set, without a message. Nothing
// reads the sets: USING changes no lookup. All of it happens in the first walk.

#include <string>

#include "core/namespace.h"
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

} // namespace

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
