#include "frontend/parser.h"

#include <utility>

#include "frontend/ast_node.h"

namespace Karsto {

Parser::~Parser() {
    for (const StackEntry& entry : stack) deleteAstTree(entry.node);
    deleteAstTree(root);
}

Parser::Exception::Exception(std::string errorMessage, const SourceSpan& errorSpan)
    : message(std::move(errorMessage)), text(errorSpan.toString() + ": " + message), span(errorSpan) {}

} // namespace Karsto
