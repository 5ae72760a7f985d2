#include <iterator>
#include <stdexcept>
#include <string>

#include "core/exception.h"
#include "evaluator/handlers.h"
#include "frontend/grammar_symbols.h"

namespace Karsto::Eval {

namespace {

// Nonterminal names by id, from the node-class rows.
constexpr const char* kNonterminalNames[] = {
#define KARSTO_AST_NODE(id, name) #name,
#include "frontend/ast_nodes.def"
};
static_assert(std::size(kNonterminalNames) == Grammar::nonterminalCount);

} // namespace

void notImplemented(Evaluator&, Parser::AstNode& node, int32_t) {
    failSemantic("Not implemented yet: %s (production %d)", kNonterminalNames[node.nonterminal()],
                 static_cast<int>(node.production()));
}

void forwardingProduction(const Parser::AstNode& node) {
    throw std::logic_error("syntax tree: a node of forwarding production " + std::to_string(node.production()));
}

void unknownProduction(const Parser::AstNode& node) {
    throw std::logic_error("syntax tree: a node of unknown production " + std::to_string(node.production()));
}

} // namespace Karsto::Eval
