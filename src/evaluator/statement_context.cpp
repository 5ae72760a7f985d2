#include "evaluator/statement_context.h"

#include "codegen/operation_emitters.h"

namespace Karsto::Eval {

Code branchOnCondition(AstRecord condition, Label* target, bool onTrue, const SourceSpan& span) {
    Type* type = attribute(AstAttribute::type, condition);
    return attribute(AstAttribute::code, condition)
        .concat(onTrue ? emitBranchTrue(target, type, span) : emitBranchFalse(target, type, span));
}

} // namespace Karsto::Eval
