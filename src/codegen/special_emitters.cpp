#include "codegen/special_emitters.h"

#include "core/cmd_flow.h"
#include "core/exception.h"
#include "core/gcode.h"
#include "instructions/operators/operator_table.h"

namespace Karsto {
namespace {

// The operator class without a type suffix of the family, with its operands and span.
Code unsuffixedOperator(OperatorFamily family, const OperatorOperands& operands,
                        const SourceSpan& span) {
    const OperatorEntry* entry = operatorFor(family, TypeKind::Void);
    checkSemantic(entry != nullptr, "Internal error: no operator instruction %d without a suffix",
                  static_cast<int32_t>(family));
    Cmd* cmd = entry->make(operands);
    cmd->setSpan(span);
    return Code(cmd);
}

} // namespace

Code emitGcode(const GCode& block, const SourceSpan& span) {
    auto* cmd = new CmdGcode(block);
    cmd->setSpan(span);
    return Code(cmd);
}

// Here rather than in core: the block record needs no link dependency on the emitters.
Code GCode::code() const { return emitGcode(*this, span); }

Code emitConstLabel(Label* label, const SourceSpan& span) {
    checkSemantic(label != nullptr, "Use of undefined label.");
    auto* cmd = new CmdConstLabel(label);
    cmd->setSpan(span);
    return Code(cmd);
}

Code emitCheckNonNull(const SourceSpan& span) {
    return unsuffixedOperator(OperatorFamily::CheckNonNull, {}, span);
}

Code emitUtcTimestamp(const SourceSpan& span) {
    return unsuffixedOperator(OperatorFamily::UtcTimestamp, {}, span);
}

Code emitUtcDate(const SourceSpan& span) {
    return unsuffixedOperator(OperatorFamily::UtcDate, {}, span);
}

Code emitLen(const SourceSpan& span) { return unsuffixedOperator(OperatorFamily::Len, {}, span); }

Code emitMid(const SourceSpan& span) { return unsuffixedOperator(OperatorFamily::Mid, {}, span); }

Code emitConcat(int32_t count, const SourceSpan& span) {
    return unsuffixedOperator(OperatorFamily::Concat, {.first = count}, span);
}

} // namespace Karsto
