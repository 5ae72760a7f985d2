#pragma once
// What the compound statements (IF, CASE and the loops) share: the labels they create
// in the first walk, and the hand-down of the context to their children.

#include <cstddef>

#include "core/code.h"
#include "core/source_span.h"
#include "evaluator/attribute_access.h"
#include "evaluator/evaluator.h"

namespace Karsto::Eval {

// A new jump target of the statement. The holder, an attribute of the statement's own
// node, keeps it alive until the tree is freed, also when an error stops the compile
// before the code that places it is built.
inline Label* createLabel(Code& holder) {
    auto* label = new Label();
    holder = holder.concat(Code(label));
    return label;
}

// Every child node gets what it carries of the statement's context: in the first walk
// the declaring context (the labels included), in the second the variables in force
// and the class of THIS. A statement that defines a part of the context itself sets it
// in the child afterwards.
template <class R>
void passToChildren(Evaluator& evaluator, Parser::AstNode& node, const R& self) {
    for (size_t i = 0; i < node.childCount(); ++i) {
        if (node.childNode(i) == nullptr) continue;
        const AstRecord child = childRecord(node, i);
        if (evaluator.declaring())
            passContext(self, child);
        else
            passCompileContext(self, child);
    }
}

// The condition's code and a branch to the target taken when the condition, converted
// to BOOL, is true (onTrue) or false. A condition that does not convert to BOOL raises
// the conversion's message.
Code branchOnCondition(AstRecord condition, Label* target, bool onTrue, const SourceSpan& span);

} // namespace Karsto::Eval
