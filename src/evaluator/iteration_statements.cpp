// FOR, WHILE, REPEAT, EXIT and CONTINUE. Each loop creates its jump targets in the first
// walk and gives its body its own continue and exit targets (an outer loop's never
// reach it); EXIT and CONTINUE are single jumps made in the first walk. The second walk
// emits the loops' code. A FOR loop's direction is fixed at compile time by the sign of
// its step, which is run on the compile-time machine.

#include <algorithm>
#include <string>

#include "codegen/cast_emitter.h"
#include "codegen/operation_emitters.h"
#include "core/constant_factory.h"
#include "core/emitters.h"
#include "core/name_resolution.h"
#include "core/type.h"
#include "core/variable.h"
#include "evaluator/attribute_access.h"
#include "evaluator/compile_time_evaluation.h"
#include "evaluator/handlers.h"
#include "evaluator/shared_operations.h"
#include "evaluator/statement_context.h"

namespace Karsto::Eval {

namespace {

// A loop seen from iteration_statement: it receives the function's context but none of
// an outer loop's labels.
void loopStatement(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_iteration_statement>();
    const AstRecord loop = childRecord(node, 0);
    if (step != -1) {
        if (evaluator.compiling()) self.code = attribute(AstAttribute::code, loop);
        return;
    }
    if (evaluator.compiling()) {
        passCompileContext(self, loop);
        return;
    }
    attribute(AstAttribute::classContext, loop) = self.classContext;
    attribute(AstAttribute::returnLabel, loop) = self.returnLabel;
    attribute(AstAttribute::functionScope, loop) = self.functionScope;
    attribute(AstAttribute::typeScope, loop) = self.typeScope;
}

// EXIT or CONTINUE seen from iteration_statement: the target of the innermost loop (null
// outside every loop); the jump itself is made in the first walk.
void jumpStatement(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_iteration_statement>();
    const AstRecord jump = childRecord(node, 0);
    if (evaluator.declaring()) {
        if (step == -1) passContext(self, jump);
    } else if (step == 0) {
        self.code = attribute(AstAttribute::code, jump);
    }
}

} // namespace

void iteration_statement_0(Evaluator& e, Parser::AstNode& n, int32_t step) { loopStatement(e, n, step); }
void iteration_statement_1(Evaluator& e, Parser::AstNode& n, int32_t step) { loopStatement(e, n, step); }
void iteration_statement_2(Evaluator& e, Parser::AstNode& n, int32_t step) { loopStatement(e, n, step); }
void iteration_statement_3(Evaluator& e, Parser::AstNode& n, int32_t step) { jumpStatement(e, n, step); }
void iteration_statement_4(Evaluator& e, Parser::AstNode& n, int32_t step) { jumpStatement(e, n, step); }

// Outside every loop the target is null and the jump is refused ("Control-flow to
// undefined location.").
void exit_statement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // EXIT
    if (!evaluator.declaring() || step != -1) return;
    auto& self = node.attributes<AstNode_exit_statement>();
    self.code = emitJump(self.exitLabel, node.span());
}

void continue_statement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // CONTINUE
    if (!evaluator.declaring() || step != -1) return;
    auto& self = node.attributes<AstNode_continue_statement>();
    self.code = emitJump(self.continueLabel, node.span());
}

// ---- The loops ------------------------------------------------------------------------

namespace {

// Where CONTINUE goes: a FOR loop's increment, or the test of a loop on a condition.
enum class ContinuePoint { increment, test };

// What every loop does on entering its node: in the first walk it creates its targets
// and hands the body its own continue and exit labels, in both walks it passes the
// context on. True when the step has nothing else to do.
template <class R>
bool enterLoop(Evaluator& evaluator, Parser::AstNode& node, int32_t step, R& self, ContinuePoint continuePoint) {
    if (evaluator.declaring() && step == -1) {
        self.bodyLabel = createLabel(self.ownedLabels);
        if (continuePoint == ContinuePoint::increment) self.continueLabel = createLabel(self.ownedLabels);
        self.testLabel = createLabel(self.ownedLabels);
        if (continuePoint == ContinuePoint::test) self.continueLabel = self.testLabel;
        self.exitLabel = createLabel(self.ownedLabels);
    }
    if (step == -1) passToChildren(evaluator, node, self);
    return step == -1 || evaluator.declaring();
}

constexpr size_t kForControl = 1;
constexpr size_t kForList = 3;
constexpr size_t kForBody = 5;

} // namespace

// FOR control := start TO end [BY step] DO body END_FOR. Laid out as the initial store,
// a jump to the test, the body, the increment (where CONTINUE goes), the test, which
// branches back to the body while it holds, and the exit. The test comes first, so a
// start beyond the end runs no iteration; end and step are computed anew each time and
// the control variable is read from memory, so stores to it in the body take effect.
void for_statement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    auto& self = node.attributes<AstNode_for_statement>();
    if (enterLoop(evaluator, node, step, self, ContinuePoint::increment)) return;
    const SourceSpan span = node.span();
    if (step == static_cast<int32_t>(kForList)) {
        // Made before the body is compiled, so these errors come in source order.
        const AstRecord control = childRecord(node, kForControl);
        const AstRecord list = childRecord(node, kForList);
        Type* type = attribute(AstAttribute::type, control);
        const Code address = locationCode(attribute(AstAttribute::addressCode, control));
        const Code byCode = attribute(AstAttribute::byCode, list);
        Type* byType = attribute(AstAttribute::byType, list);
        // A step of 0 counts down: the loop then runs while the variable is >= the end.
        // The branch is chosen first, so a control variable of a type without range
        // branches is reported by it.
        const bool countsUp = evaluateConstReal(byCode, byType) > 0.0;
        const Code branch = countsUp ? emitBranchLtEq(self.bodyLabel, type, span)
                                     : emitBranchGtEq(self.bodyLabel, type, span);
        self.initCode = attribute(AstAttribute::startCode, list)
                            .concat(emitImplicitConversion(attribute(AstAttribute::startType, list), type, span))
                            .concat(address)
                            .concat(emitSt(type, span));
        self.testCode = address.concat(emitLd(type, span))
                            .concat(attribute(AstAttribute::endCode, list))
                            .concat(emitImplicitConversion(attribute(AstAttribute::endType, list), type, span))
                            .concat(branch);
        self.stepCode = address.concat(emitLd(type, span))
                            .concat(byCode)
                            .concat(emitImplicitConversion(byType, type, span))
                            .concat(emitAdd(type, span))
                            .concat(address)
                            .concat(emitSt(type, span));
    } else if (step == static_cast<int32_t>(kForBody)) {
        self.code = self.initCode.concat(emitJump(self.testLabel, span))
                        .concat(emitCodeItem(self.bodyLabel, span))
                        .concat(attribute(AstAttribute::code, childRecord(node, kForBody)))
                        .concat(emitCodeItem(self.continueLabel, span))
                        .concat(self.stepCode)
                        .concat(emitCodeItem(self.testLabel, span))
                        .concat(self.testCode)
                        .concat(emitCodeItem(self.exitLabel, span));
    }
}

// The control variable, resolved in the second walk against the variables in force at
// the loop; an enumeration value is not a variable.
void control_variable_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // identifier
    if (!evaluator.compiling() || step != -1) return;
    auto& self = node.attributes<AstNode_control_variable>();
    const std::string name = toLowerCopy(attribute(AstAttribute::name, childRecord(node, 0)));
    Variable* variable = ProgramObject::variableOrFail(resolveIdentifier(self.variableScope, self.typeScope, name));
    self.type = variable->type();
    self.addressCode = variable->addressCode();
}

namespace {

// expression TO expression [BY expression]: without BY the step is the integer literal 1.
void forList(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    constexpr size_t kStart = 0;
    constexpr size_t kEnd = 2;
    constexpr size_t kBy = 4;
    auto& self = node.attributes<AstNode_for_list>();
    if (step == -1) {
        passToChildren(evaluator, node, self);
        if (evaluator.compiling()) {
            self.byCode = makeIntConstant(1, typeIntegerLiteral, node.span());
            self.byType = typeIntegerLiteral;
        }
        return;
    }
    if (!evaluator.compiling() || step != static_cast<int32_t>(node.childCount()) - 1) return;
    const AstRecord start = childRecord(node, kStart);
    const AstRecord end = childRecord(node, kEnd);
    self.startCode = attribute(AstAttribute::code, start);
    self.startType = attribute(AstAttribute::type, start);
    self.endCode = attribute(AstAttribute::code, end);
    self.endType = attribute(AstAttribute::type, end);
    if (node.childCount() > kBy) {
        const AstRecord by = childRecord(node, kBy);
        self.byCode = attribute(AstAttribute::code, by);
        self.byType = attribute(AstAttribute::type, by);
    }
}

} // namespace

void for_list_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { forList(evaluator, node, step); }
void for_list_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { forList(evaluator, node, step); }

// ---- WHILE and REPEAT -----------------------------------------------------------------

namespace {

// The two loops on a condition: WHILE tests before every pass and repeats while the
// condition holds, REPEAT tests after every pass and repeats while it is false. The
// test is also where CONTINUE goes.
enum class LoopTest { beforeWhileTrue, afterUntilTrue };

template <class R>
void conditionLoop(Evaluator& evaluator, Parser::AstNode& node, int32_t step, size_t conditionIndex,
                   size_t bodyIndex, LoopTest test) {
    auto& self = node.attributes<R>();
    if (enterLoop(evaluator, node, step, self, ContinuePoint::test)) return;
    const SourceSpan span = node.span();
    const bool testFirst = test == LoopTest::beforeWhileTrue;
    if (step == static_cast<int32_t>(conditionIndex))
        self.testCode = branchOnCondition(childRecord(node, conditionIndex), self.bodyLabel, testFirst, span);
    if (step != static_cast<int32_t>(std::max(conditionIndex, bodyIndex))) return;
    self.code = (testFirst ? emitJump(self.testLabel, span) : Code())
                    .concat(emitCodeItem(self.bodyLabel, span))
                    .concat(attribute(AstAttribute::code, childRecord(node, bodyIndex)))
                    .concat(emitCodeItem(self.testLabel, span))
                    .concat(self.testCode)
                    .concat(emitCodeItem(self.exitLabel, span));
}

} // namespace

// WHILE condition DO body END_WHILE: a jump to the test, the body, the test, the exit.
void while_statement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    conditionLoop<AstNode_while_statement>(evaluator, node, step, 1, 3, LoopTest::beforeWhileTrue);
}

// REPEAT body UNTIL condition END_REPEAT: the body, the test, the exit.
void repeat_statement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    conditionLoop<AstNode_repeat_statement>(evaluator, node, step, 3, 1, LoopTest::afterUntilTrue);
}

} // namespace Karsto::Eval
