// Names and the assignment ":=": the identifier nonterminal (a plain name or one of the
// ten keywords that may be names), a plain name in an expression resolved in the second
// walk against the variables in force at its statement, and the statement that stores
// a value through the target's address.

#include <string>

#include "codegen/reference_assignment.h"
#include "core/emitters.h"
#include "core/name_resolution.h"
#include "core/type.h"
#include "evaluator/attribute_access.h"
#include "evaluator/handlers.h"
#include "evaluator/shared_operations.h"

namespace Karsto::Eval {

namespace {

// A keyword that may stand as a name: the name is its lower-case spelling.
void keywordName(Evaluator& evaluator, Parser::AstNode& node, int32_t step, const char* name) {
    if (evaluator.declaring() && step == -1) node.attributes<AstNode_identifier>().name = name;
}

} // namespace

void identifier_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) { // <identifier>
    // As written: whoever declares or looks it up lower-cases it.
    if (evaluator.declaring() && step == -1) node.attributes<AstNode_identifier>().name = node.lexeme(0);
}
void identifier_1(Evaluator& e, Parser::AstNode& n, int32_t step) { keywordName(e, n, step, "i"); }
void identifier_2(Evaluator& e, Parser::AstNode& n, int32_t step) { keywordName(e, n, step, "q"); }
void identifier_3(Evaluator& e, Parser::AstNode& n, int32_t step) { keywordName(e, n, step, "x"); }
void identifier_4(Evaluator& e, Parser::AstNode& n, int32_t step) { keywordName(e, n, step, "b"); }
void identifier_5(Evaluator& e, Parser::AstNode& n, int32_t step) { keywordName(e, n, step, "w"); }
void identifier_6(Evaluator& e, Parser::AstNode& n, int32_t step) { keywordName(e, n, step, "l"); }
void identifier_7(Evaluator& e, Parser::AstNode& n, int32_t step) { keywordName(e, n, step, "xor"); }
void identifier_8(Evaluator& e, Parser::AstNode& n, int32_t step) { keywordName(e, n, step, "or"); }
void identifier_9(Evaluator& e, Parser::AstNode& n, int32_t step) { keywordName(e, n, step, "and"); }
void identifier_10(Evaluator& e, Parser::AstNode& n, int32_t step) { keywordName(e, n, step, "mod"); }

// A plain name in an expression: a variable or an enumeration value, found in the
// second walk on entering the node.
void expression_primary_ident_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    if (!evaluator.compiling() || step != -1) return;
    auto& self = node.attributes<AstNode_expression_primary_ident>();
    const std::string name = toLowerCopy(attribute(AstAttribute::name, childRecord(node, 0)));
    self.object = resolveIdentifier(self.variableScope, self.typeScope, name);
    self.type = self.object->type();
    self.addressCode = self.object->addressCode();
    if (self.addressCode.empty())
        self.code = self.object->valueCode(node.span());
    else // a variable's value is its address followed by the load: one address code serves both
        self.code = self.addressCode.concat(emitLd(self.type, node.span()));
}

namespace {

// "target := source" and "target ?= source": the value converted for the target (by
// the attempt of a reference conversion for "?="), the target's address, the store. The
// source runs before anything of the target, its index expressions included.
template <class R>
void storeStatement(Evaluator& evaluator, Parser::AstNode& node, int32_t step, bool attempt) {
    auto& self = node.attributes<R>();
    if (step == -1 || step == 1) {
        const AstRecord operand = childRecord(node, static_cast<size_t>(step + 1));
        if (evaluator.declaring())
            passContext(self, operand);
        else
            passCompileContext(self, operand);
        return;
    }
    if (!evaluator.compiling() || step != 2) return;
    const AstRecord target = childRecord(node, 0);
    const AstRecord source = childRecord(node, 2);
    Type* targetType = attribute(AstAttribute::type, target);
    const SourceSpan span = node.span();
    const Code value = emitReferenceAssignment(attribute(AstAttribute::code, source), addressCodeOf(source),
                                               attribute(AstAttribute::type, source), targetType, attempt, span);
    self.code = value.concat(locationCode(attribute(AstAttribute::addressCode, target))).concat(emitSt(targetType, span));
}

} // namespace

void assignment_statement_0(Evaluator& e, Parser::AstNode& n, int32_t step) { // expression_lhs ':=' expression
    storeStatement<AstNode_assignment_statement>(e, n, step, false);
}

// expression_lhs '?=' expression: a reference that does not fit the target is stored as
// null; operands that are no class references or interfaces are refused by the
// conversion.
void dynassignment_statement_0(Evaluator& e, Parser::AstNode& n, int32_t step) {
    storeStatement<AstNode_dynassignment_statement>(e, n, step, true);
}

} // namespace Karsto::Eval
