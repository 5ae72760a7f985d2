#include "frontend/ast_node.h"

#include <cstddef>
#include <new>

#include "frontend/ast_arena.h"

namespace Karsto {

namespace {

// Stored just before every node: where its storage came from and how large it is, so
// that `delete` needs neither the node's class nor its parser. Its size keeps the node
// aligned for anything.
struct alignas(std::max_align_t) NodeHeader {
    AstArena* arena;
    size_t bytes;
};

} // namespace

void* Parser::AstNode::operator new(size_t size, AstArena* arena) {
    const size_t bytes = sizeof(NodeHeader) + size;
    void* storage = arena != nullptr ? arena->allocate(bytes) : ::operator new(bytes);
    return new (storage) NodeHeader{arena, bytes} + 1;
}

void Parser::AstNode::operator delete(void* storage) {
    if (storage == nullptr) return;
    NodeHeader* header = static_cast<NodeHeader*>(storage) - 1;
    if (header->arena != nullptr)
        header->arena->release(header, header->bytes);
    else
        ::operator delete(header);
}

void Parser::AstNode::operator delete(void* storage, AstArena*) { operator delete(storage); }

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
