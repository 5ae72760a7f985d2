#pragma once
// The actions of the productions, one function per production named after its Prod
// enumerator, declared by area; evaluator_dispatch.cpp calls them. Each area's actions
// live in their own source file.

#include <cstdint>

#include "evaluator/evaluator.h"

namespace Karsto::Eval {

// Program and statement lists (program_statements.cpp)
void gdecl_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gdecl_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gdecl_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gdecl_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gdecl_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gdecl_5(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gprogram_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void root_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void statement_decl_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void statement_decl_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void statement_decl_list_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void statement_list_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void ststatement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void ststatement_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void ststatement_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void ststatement_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void ststatement_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void ststatement_5(Evaluator& evaluator, Parser::AstNode& node, int32_t step);

// G-code blocks (gcode_blocks.cpp)
void gexpression_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gexpression_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gnumber_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gnumber_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gprimary_expression_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gstatement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gstatement_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gstatement_3_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gstatement_3_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gstatement_3_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gterm_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gterm_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gunary_expression_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gvalue_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gvalue_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gvalue_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gvalue_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gvariable_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gword_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gword_list_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);

// Until its area is built, a production raises ExceptionSemantic "Not implemented yet:
// <nonterminal> (production <n>)", located at its node by the walk (not_implemented.cpp).
void notImplemented(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
// A node of a forwarding production, or of no production at all, is a fault of the
// parser: std::logic_error.
[[noreturn]] void forwardingProduction(const Parser::AstNode& node);
[[noreturn]] void unknownProduction(const Parser::AstNode& node);

} // namespace Karsto::Eval
