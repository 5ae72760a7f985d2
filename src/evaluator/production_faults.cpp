// The nodes the dispatch must never meet: a production that forwards its one child
// makes no node, and every production id the parser makes has its case.

#include <stdexcept>
#include <string>

#include "evaluator/handlers.h"

namespace Karsto::Eval {

void forwardingProduction(const Parser::AstNode& node) {
    throw std::logic_error("syntax tree: a node of forwarding production " + std::to_string(node.production()));
}

void unknownProduction(const Parser::AstNode& node) {
    throw std::logic_error("syntax tree: a node of unknown production " + std::to_string(node.production()));
}

} // namespace Karsto::Eval
