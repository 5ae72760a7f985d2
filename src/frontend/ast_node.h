#pragma once
// The syntax tree: one Parser::AstNode per reduced nonterminal (the generated classes
// AstNode_<nonterminal> in frontend/ast_nodes.h) and one Parser::AstTerminal per
// shifted token. Nodes never delete their children; deleteAstTree frees whole trees.
// A node's storage comes from its parser's arena or from the heap; `delete` returns it
// to where it came from, so both kinds are deleted alike.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/source_span.h"
#include "frontend/parser.h"

namespace Karsto {

class AstArena;

// An attribute word the evaluator has not given a type yet: an integer or a pointer.
using AstWord = std::intptr_t;
// The decoded characters of a string literal, 16-bit codes in source order.
using CharList = std::vector<uint16_t>;
// The lower and upper bound of one array dimension.
struct BoundPair {
    int64_t lower = 0;
    int64_t upper = 0;
};

class Parser::AstNode {
public:
    explicit AstNode(const SourceSpan& nodeSpan) : span(nodeSpan) {}
    // Nodes are filled in place and never copied.
    AstNode(const AstNode&) = delete;
    AstNode& operator=(const AstNode&) = delete;
    // Frees the node's own members, not its children.
    virtual ~AstNode();

    // A plain `new` takes the node's storage from the heap; the placement form from the
    // arena, or from the heap when the arena is null.
    static void* operator new(size_t size) { return operator new(size, nullptr); }
    static void* operator new(size_t size, AstArena* arena);
    static void operator delete(void* storage);
    // Only when a constructor throws.
    static void operator delete(void* storage, AstArena* arena);

    int32_t production = 0;         // the production that built the node; -1 for a terminal
    AstNode* parent = nullptr;      // null for the root and for nodes not attached yet
    int32_t index = 0;              // position among the parent's children
    std::vector<AstNode*> children; // one slot per right-hand-side symbol
    SourceSpan span;
};

class Parser::AstTerminal final : public Parser::AstNode {
public:
    AstTerminal(const SourceSpan& tokenSpan, std::string tokenText)
        : AstNode(tokenSpan), lexeme(std::move(tokenText)) {
        production = -1;
    }
    ~AstTerminal() override;

    std::string lexeme;  // the token's text exactly as scanned
};

// A new node of the class of that nonterminal id (0 to 191) with production 0, no
// parent, index 0, no children, the span copied and every attribute empty or zero;
// null for any other id. Its storage comes from the arena when one is given. The
// caller owns the node.
Parser::AstNode* createAstNode(uint16_t nonterminal, const SourceSpan& span, AstArena* arena = nullptr);

// Deletes a whole tree, root included, children after their parent, with an explicit
// stack (trees of long statement lists are far deeper than the machine stack). Null
// roots and null child slots are skipped.
void deleteAstTree(Parser::AstNode* root);

// The 16-bit code of character n (from 0) of a decoded string literal; an n past the
// end throws std::out_of_range instead of reading beyond the list.
uint16_t listElementAt(const CharList& list, size_t n);

} // namespace Karsto
