// Initial values of declarations. An initial value is compiled in the first walk into
// code that pushes the value converted to the declared type; that code is attached to
// a copy of the declared type, which every name of the line shares. Nothing is
// computed while compiling: the code runs whenever the storage is initialised (the
// global area once before the main code, a function's locals on every call).

#include "codegen/cast_emitter.h"
#include "core/type.h"
#include "evaluator/attribute_access.h"
#include "evaluator/handlers.h"

namespace Karsto::Eval {

// A declaration's ':=' initial value: the value must have the declared type.
void spec_init_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_spec_init>();
    if (step == -1) {
        passContext(self, childRecord(node, 0));
    } else if (step == 1) {
        const AstRecord init = childRecord(node, 2);
        passContext(self, init);
        attribute(AstAttribute::expectedType, init) = attribute(AstAttribute::type, childRecord(node, 0));
    } else if (step == 2) {
        Type* specified = attribute(AstAttribute::type, childRecord(node, 0));
        self.type = evaluator.handle(specified->cloneWithInitializer(attribute(AstAttribute::code, childRecord(node, 2))));
    }
}

// const_expression: its code, converted implicitly to the expected type.
void init_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.declaring()) return;
    auto& self = node.attributes<AstNode_init>();
    const AstRecord value = childRecord(node, 0);
    if (step == -1) {
        passContext(self, value);
        return;
    }
    self.code = attribute(AstAttribute::code, value)
                    .concat(emitImplicitConversion(attribute(AstAttribute::type, value), self.expectedType, node.span()));
}

} // namespace Karsto::Eval
