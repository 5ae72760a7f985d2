// IF and CASE. The first walk creates their jump targets and hands the loop and
// function labels through to the branches, so EXIT, CONTINUE and RETURN in a branch act
// on the enclosing loop or function; the second walk emits the code. An IF tests all of
// its conditions before any branch runs; a CASE keeps its selector on the stack for the
// whole statement and tests the labels in source order.

#include "codegen/cast_emitter.h"
#include "codegen/operation_emitters.h"
#include "core/emitters.h"
#include "evaluator/attribute_access.h"
#include "evaluator/handlers.h"
#include "evaluator/statement_context.h"

namespace Karsto::Eval {

void selection_statement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // if_statement
    auto& self = node.attributes<AstNode_selection_statement>();
    if (step == -1)
        passToChildren(evaluator, node, self);
    else if (evaluator.compiling())
        self.code = attribute(AstAttribute::code, childRecord(node, 0));
}

void selection_statement_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // case_statement
    selection_statement_0(evaluator, node, step);
}

// ---- IF -------------------------------------------------------------------------------

namespace {

// Children of both IF productions; the ELSE list and its END_IF only in 245.
constexpr size_t kIfCondition = 1;
constexpr size_t kIfThen = 3;
constexpr size_t kIfElsifChain = 4;
constexpr size_t kIfElse = 6;

// IF C0 THEN T {ELSIF Ci THEN Si} [ELSE E] END_IF: C0 with its branch to the THEN part,
// the ELSIF tests, a jump to the ELSE part or the end, the ELSIF bodies, the THEN part,
// and with ELSE a jump over it to the end.
void ifStatement(Evaluator& evaluator, Parser::AstNode& node, int32_t step, bool hasElse) {
    auto& self = node.attributes<AstNode_if_statement>();
    if (evaluator.declaring()) {
        if (step != -1) return;
        self.endLabel = createLabel(self.ownedLabels);
        self.thenLabel = createLabel(self.ownedLabels);
        if (hasElse) self.elseLabel = createLabel(self.ownedLabels);
        passToChildren(evaluator, node, self);
        attribute(AstAttribute::endLabel, childRecord(node, kIfElsifChain)) = self.endLabel;
        return;
    }
    const SourceSpan span = node.span();
    if (step == -1) {
        passToChildren(evaluator, node, self);
    } else if (step == static_cast<int32_t>(kIfCondition)) {
        // The first condition is checked before anything after it is compiled.
        self.code = branchOnCondition(childRecord(node, kIfCondition), self.thenLabel, true, span);
    } else if (step == static_cast<int32_t>(node.childCount()) - 1) {
        const AstRecord chain = childRecord(node, kIfElsifChain);
        Code code = self.code.concat(attribute(AstAttribute::elsifTests, chain))
                        .concat(emitJump(hasElse ? self.elseLabel : self.endLabel, span))
                        .concat(attribute(AstAttribute::elsifBodies, chain))
                        .concat(emitCodeItem(self.thenLabel, span))
                        .concat(attribute(AstAttribute::code, childRecord(node, kIfThen)));
        if (hasElse) {
            code = code.concat(emitJump(self.endLabel, span))
                       .concat(emitCodeItem(self.elseLabel, span))
                       .concat(attribute(AstAttribute::code, childRecord(node, kIfElse)));
        }
        self.code = code.concat(emitCodeItem(self.endLabel, span));
    }
}

} // namespace

void if_statement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    ifStatement(evaluator, node, step, false);
}

void if_statement_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    ifStatement(evaluator, node, step, true);
}

void if_statement_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t) { // (empty)
    if (!evaluator.compiling()) return;
    auto& self = node.attributes<AstNode_if_statement_2>();
    self.elsifTests = Code();
    self.elsifBodies = Code();
}

void if_statement_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // if_statement_3
    auto& self = node.attributes<AstNode_if_statement_2>();
    const AstRecord chain = childRecord(node, 0);
    if (step == -1) {
        passToChildren(evaluator, node, self);
        if (evaluator.declaring()) attribute(AstAttribute::endLabel, chain) = self.endLabel;
    } else if (evaluator.compiling()) {
        self.elsifTests = attribute(AstAttribute::elsifTests, chain);
        self.elsifBodies = attribute(AstAttribute::elsifBodies, chain);
    }
}

// if_statement_2 ELSIF expression THEN statement_list: the earlier ELSIF parts, then
// this one's test and body.
void if_statement_3_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    constexpr size_t kEarlier = 0;
    constexpr size_t kCondition = 2;
    constexpr size_t kBody = 4;
    auto& self = node.attributes<AstNode_if_statement_3>();
    if (evaluator.declaring()) {
        if (step != -1) return;
        self.branchLabel = createLabel(self.ownedLabels);
        passToChildren(evaluator, node, self);
        attribute(AstAttribute::endLabel, childRecord(node, kEarlier)) = self.endLabel;
        return;
    }
    const SourceSpan span = node.span();
    if (step == -1) {
        passToChildren(evaluator, node, self);
    } else if (step == static_cast<int32_t>(kCondition)) {
        self.elsifTests = attribute(AstAttribute::elsifTests, childRecord(node, kEarlier))
                              .concat(branchOnCondition(childRecord(node, kCondition), self.branchLabel, true, span));
    } else if (step == static_cast<int32_t>(kBody)) {
        self.elsifBodies = attribute(AstAttribute::elsifBodies, childRecord(node, kEarlier))
                               .concat(emitCodeItem(self.branchLabel, span))
                               .concat(attribute(AstAttribute::code, childRecord(node, kBody)))
                               .concat(emitJump(self.endLabel, span));
    }
}

// ---- CASE -----------------------------------------------------------------------------

namespace {

constexpr size_t kCaseSelector = 1;
constexpr size_t kCaseElements = 3;
constexpr size_t kCaseElse = 5;

// A branch of a CASE left by EXIT, CONTINUE or RETURN must not leave the selector on
// the stack: a loop would grow the stack by one cell per pass. The CASE gives its
// branches a label of its own for each of these targets; there the selector is
// dropped and the jump goes on to the outer target. A nested CASE chains through the
// outer one's.
Label* trampolineFor(Label* outer, Code& holder) {
    return outer == nullptr ? nullptr : createLabel(holder);
}

Code trampoline(Label* own, Label* outer, Type* selector, const SourceSpan& span) {
    if (own == nullptr) return Code();
    return emitCodeItem(own, span).concat(emitPop(selector, span)).concat(emitJump(outer, span));
}

void giveBranchesTheTrampolines(const AstNode_case_statement& self, AstRecord branches) {
    inherit(AstAttribute::exitLabel, branches, self.exitTrampoline);
    inherit(AstAttribute::continueLabel, branches, self.continueTrampoline);
    inherit(AstAttribute::returnLabel, branches, self.returnTrampoline);
}

// CASE S OF K1 ... Kn [ELSE E] END_CASE: S, the label tests of every element, a jump
// to the ELSE part or the end, the trampolines (reached only through their labels),
// the element bodies, the ELSE part, and at the end the selector dropped.
void caseStatement(Evaluator& evaluator, Parser::AstNode& node, int32_t step, bool hasElse) {
    auto& self = node.attributes<AstNode_case_statement>();
    const AstRecord elements = childRecord(node, kCaseElements);
    if (evaluator.declaring()) {
        if (step != -1) return;
        self.endLabel = createLabel(self.ownedLabels);
        if (hasElse) self.elseLabel = createLabel(self.ownedLabels);
        self.exitTrampoline = trampolineFor(self.exitLabel, self.ownedLabels);
        self.continueTrampoline = trampolineFor(self.continueLabel, self.ownedLabels);
        self.returnTrampoline = trampolineFor(self.returnLabel, self.ownedLabels);
        passToChildren(evaluator, node, self);
        attribute(AstAttribute::endLabel, elements) = self.endLabel;
        giveBranchesTheTrampolines(self, elements);
        if (hasElse) giveBranchesTheTrampolines(self, childRecord(node, kCaseElse));
        return;
    }
    if (step == -1) {
        passToChildren(evaluator, node, self);
        return;
    }
    if (step == static_cast<int32_t>(kCaseSelector)) {
        self.selectorType = attribute(AstAttribute::type, childRecord(node, kCaseSelector));
        attribute(AstAttribute::selectorType, elements) = self.selectorType;
        return;
    }
    if (step != static_cast<int32_t>(node.childCount()) - 1) return;
    const SourceSpan span = node.span();
    Type* selector = self.selectorType;
    Code code = attribute(AstAttribute::code, childRecord(node, kCaseSelector))
                    .concat(attribute(AstAttribute::caseTests, elements))
                    .concat(emitJump(hasElse ? self.elseLabel : self.endLabel, span))
                    .concat(trampoline(self.exitTrampoline, self.exitLabel, selector, span))
                    .concat(trampoline(self.continueTrampoline, self.continueLabel, selector, span))
                    .concat(trampoline(self.returnTrampoline, self.returnLabel, selector, span))
                    .concat(attribute(AstAttribute::caseBodies, elements));
    if (hasElse) {
        code = code.concat(emitCodeItem(self.elseLabel, span))
                   .concat(attribute(AstAttribute::code, childRecord(node, kCaseElse)));
    }
    self.code = code.concat(emitCodeItem(self.endLabel, span)).concat(emitPop(selector, span));
}

// The test of one label against the selector, which lies on the stack: a copy of it,
// the bounds converted to its type, the range branch. The branch is made first, so a
// selector of an unsupported type is reported as such, not as a label conversion.
Code labelTest(AstRecord label, Label* target, Type* selector, const SourceSpan& span) {
    const Code branch = emitBranchInRange(target, selector, span);
    return emitDup(selector, span)
        .concat(attribute(AstAttribute::lowerCode, label))
        .concat(emitImplicitConversion(attribute(AstAttribute::lowerType, label), selector, span))
        .concat(attribute(AstAttribute::upperCode, label))
        .concat(emitImplicitConversion(attribute(AstAttribute::upperType, label), selector, span))
        .concat(branch);
}

} // namespace

void case_statement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    caseStatement(evaluator, node, step, false);
}

void case_statement_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    caseStatement(evaluator, node, step, true);
}

namespace {

// The elements in source order: tests and bodies each joined in that order.
void caseElements(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_case_statement_2>();
    if (step == -1) {
        passToChildren(evaluator, node, self);
        for (size_t i = 0; i < node.childCount(); ++i) {
            if (evaluator.declaring())
                attribute(AstAttribute::endLabel, childRecord(node, i)) = self.endLabel;
            else
                attribute(AstAttribute::selectorType, childRecord(node, i)) = self.selectorType;
        }
        return;
    }
    if (!evaluator.compiling() || step != static_cast<int32_t>(node.childCount()) - 1) return;
    self.caseTests = Code();
    self.caseBodies = Code();
    for (size_t i = 0; i < node.childCount(); ++i) {
        const AstRecord part = childRecord(node, i);
        self.caseTests = self.caseTests.concat(attribute(AstAttribute::caseTests, part));
        self.caseBodies = self.caseBodies.concat(attribute(AstAttribute::caseBodies, part));
    }
}

} // namespace

void case_statement_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // case_element
    caseElements(evaluator, node, step);
}

void case_statement_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // case_statement_2 case_element
    caseElements(evaluator, node, step);
}

// case_list ':' statement_list: the element's label tests jump to its body, which ends
// with a jump to the end of the CASE.
void case_element_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    constexpr size_t kLabels = 0;
    constexpr size_t kBody = 2;
    auto& self = node.attributes<AstNode_case_element>();
    const AstRecord labels = childRecord(node, kLabels);
    if (evaluator.declaring()) {
        if (step != -1) return;
        self.branchLabel = createLabel(self.ownedLabels);
        passToChildren(evaluator, node, self);
        attribute(AstAttribute::branchLabel, labels) = self.branchLabel;
        return;
    }
    if (step == -1) {
        passToChildren(evaluator, node, self);
        attribute(AstAttribute::selectorType, labels) = self.selectorType;
    } else if (step == static_cast<int32_t>(kBody)) {
        const SourceSpan span = node.span();
        self.caseTests = attribute(AstAttribute::code, labels);
        self.caseBodies = emitCodeItem(self.branchLabel, span)
                              .concat(attribute(AstAttribute::code, childRecord(node, kBody)))
                              .concat(emitJump(self.endLabel, span));
    }
}

namespace {

// A label list: the tests of the labels before (in the left list) and of the last one.
void caseList(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_case_list>();
    const bool hasLeft = node.childCount() > 1;
    if (step == -1) {
        if (!hasLeft) return;
        const AstRecord left = childRecord(node, 0);
        if (evaluator.declaring())
            attribute(AstAttribute::branchLabel, left) = self.branchLabel;
        else
            attribute(AstAttribute::selectorType, left) = self.selectorType;
        return;
    }
    if (!evaluator.compiling() || step != static_cast<int32_t>(node.childCount()) - 1) return;
    const Code test = labelTest(childRecord(node, node.childCount() - 1), self.branchLabel, self.selectorType,
                                node.span());
    self.code = hasLeft ? attribute(AstAttribute::code, childRecord(node, 0)).concat(test) : test;
}

} // namespace

void case_list_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // case_list_element
    caseList(evaluator, node, step);
}

void case_list_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // case_list ',' case_list_element
    caseList(evaluator, node, step);
}

// The bounds of a label, from the literals' first-walk code: a range gives both, a
// single value v is the range v..v.
void case_list_element_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // subrange_integer
    if (!evaluator.declaring() || step != 0) return;
    auto& self = node.attributes<AstNode_case_list_element>();
    const AstRecord range = childRecord(node, 0);
    self.lowerCode = attribute(AstAttribute::lowerCode, range);
    self.lowerType = attribute(AstAttribute::lowerType, range);
    self.upperCode = attribute(AstAttribute::upperCode, range);
    self.upperType = attribute(AstAttribute::upperType, range);
}

void case_list_element_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // signed_integer
    if (!evaluator.declaring() || step != 0) return;
    auto& self = node.attributes<AstNode_case_list_element>();
    const AstRecord value = childRecord(node, 0);
    self.lowerCode = self.upperCode = attribute(AstAttribute::code, value);
    self.lowerType = self.upperType = attribute(AstAttribute::type, value);
}

void subrange_integer_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // signed_integer '..' signed_integer
    if (!evaluator.declaring() || step != 2) return;
    takeRangeBounds(node.attributes<AstNode_subrange_integer>(), node);
}

} // namespace Karsto::Eval
