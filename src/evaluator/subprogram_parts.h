#pragma once
// What functions and methods share: the areas and the return label a declaration opens,
// the context its variable blocks receive, the body code it closes with, and the
// context of a call's object and arguments.

#include <cstddef>

#include "core/code.h"
#include "core/emitters.h"
#include "core/function.h"
#include "core/memory.h"
#include "core/scope.h"
#include "core/variable.h"
#include "evaluator/attribute_access.h"
#include "evaluator/evaluator.h"

namespace Karsto::Eval {

// First walk, on entering a FUNCTION or METHOD: its local and parameter areas and the
// label RETURN jumps to. The code that places the label owns it; the body ends with
// that code.
template <class R>
void openSubprogram(Evaluator& evaluator, R& self, const SourceSpan& span) {
    self.localArea = evaluator.handle(new MemoryLocal());
    self.paramArea = evaluator.handle(new MemoryParam());
    self.returnPlace = emitCodeItem(new Label(), span);
    self.returnLabel = self.returnPlace.node()->asItem()->asLabel();
}

// The variable blocks of a FUNCTION or METHOD: the areas, the access handed down, the
// type names, the variables in force (the result variable's chain) and those that
// VAR_EXTERNAL imports.
template <class R>
void passBlocksContext(const R& self, AstRecord blocks, Scope<Variable>* resultScope,
                       Scope<Variable>* externalScope) {
    attribute(AstAttribute::currentAccess, blocks) = self.currentAccess;
    attribute(AstAttribute::classContext, blocks) = self.classContext;
    attribute(AstAttribute::localArea, blocks) = self.localArea;
    attribute(AstAttribute::paramArea, blocks) = self.paramArea;
    attribute(AstAttribute::typeScope, blocks) = self.typeScope;
    attribute(AstAttribute::externalScope, blocks) = externalScope;
    attribute(AstAttribute::variableScope, blocks) = resultScope;
}

// Second walk, after the body: the locals reserved and initialised, the statements, the
// return label; the body set and appended to the chain of bodies.
template <class R>
void closeSubprogram(R& self, FunctionUser& subprogram, const Code& statements, const SourceSpan& span) {
    // The locals' size is taken now: every local of the body is declared.
    const Code body = emitSpAdd(span, self.localArea->size())
                          .concat(self.localArea->initCode())
                          .concat(statements)
                          .concat(self.returnPlace);
    subprogram.setBody(body);
    self.functionBodiesOut = self.functionBodies.concat(subprogram.code());
}

// The first walk's context of a call's object and arguments: the names they bind and
// the list their arguments join.
template <class R>
void passCallContext(const R& from, AstRecord to) {
    inherit(AstAttribute::classContext, to, from.classContext);
    inherit(AstAttribute::functionScope, to, from.functionScope);
    inherit(AstAttribute::typeScope, to, from.typeScope);
    if constexpr (requires { from.paramList; }) inherit(AstAttribute::paramList, to, from.paramList);
}

// A call, or a node between a call and its arguments, hands its context to the child at
// `index`, in the walk that runs.
template <class R>
void passToArgument(Evaluator& evaluator, Parser::AstNode& node, size_t index) {
    const auto& self = node.attributes<R>();
    const AstRecord child = childRecord(node, index);
    if (evaluator.declaring())
        passCallContext(self, child);
    else
        passCompileContext(self, child);
}

// The object reference a method received, in the cell just below its frame: what THIS
// denotes and what SUPER calls on. No instruction carries a span.
Code thisReference();

} // namespace Karsto::Eval
