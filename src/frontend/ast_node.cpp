#include "frontend/ast_node.h"

namespace Karsto {

Parser::AstNode::~AstNode() = default;

Parser::AstTerminal::~AstTerminal() = default;

void deleteAstTree(Parser::AstNode* root) {
    if (root == nullptr) return;
    std::vector<Parser::AstNode*> pending{root};
    while (!pending.empty()) {
        Parser::AstNode* node = pending.back();
        pending.pop_back();
        if (node == nullptr) continue;
        pending.insert(pending.end(), node->children.begin(), node->children.end());
        delete node;
    }
}

uint16_t listElementAt(const CharList& list, size_t n) { return list.at(n); }

} // namespace Karsto
