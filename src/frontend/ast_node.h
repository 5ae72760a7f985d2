#pragma once
// The syntax tree: one Parser::AstNode per reduced nonterminal, with its children in
// place. A child is either a node or a token (a terminal leaf), told apart by
// Parser::AstChild; tokens are not nodes of their own.
//
// The reading interface below is all that the evaluator and the tests use; the storage
// behind it (records of 16 bytes plus 4 per node child, 8 per token child and 4 for the
// reference of the attribute record, cut from
// the parser's AstArena, with spans and token texts held as offsets into the expanded
// input) may change without them noticing:
//
// - production(): the production that built the node (0 to 448); nonterminal(): its
//   left-hand side, which selects the attribute record AstNode_<nonterminal>.
// - childCount(), child(i), childNode(i), lexeme(i), childSpan(i): the children in
//   right-hand-side order. A production marked "forward" in grammar_productions.txt
//   makes no node: its one child stands in its place, so a node child may be of another
//   nonterminal than the grammar names at that position.
// - span(): the SourceSpan, built on each call (it holds file names: copy it once).
// - parent(), index(): the node this one is child index() of; null and 0 for the root
//   and for nodes not yet attached.
// - attributes<AstNode_X>(): the evaluator's attribute record of the node, every field
//   empty or zero until set; made at the first call, destroyed with the tree.
//
// Nodes live in their parser's arena until the parser's next reset or its destruction;
// no node outlives its parser.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
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
    AstNode(const AstNode&) = delete;
    AstNode& operator=(const AstNode&) = delete;

    int32_t production() const { return production_; }
    uint16_t nonterminal() const;
    size_t childCount() const;
    AstChild child(size_t i) const;
    // Null when child i is a token.
    AstNode* childNode(size_t i) const { return child(i).node(); }
    // The text of token child i exactly as scanned; empty for a node child.
    std::string_view lexeme(size_t i) const;
    SourceSpan childSpan(size_t i) const;

    SourceSpan span() const;
    // Offsets of the span's ends in the expanded input.
    uint32_t beginOffset() const { return begin_; }
    uint32_t endOffset() const { return end_; }

    AstNode* parent() const;
    int32_t index() const { return index_; }

    // The attribute record AstNode_<nonterminal> (frontend/ast_nodes.h) of this node;
    // a record of another nonterminal is refused with std::logic_error.
    template <class Attributes>
    Attributes& attributes() {
        if (Attributes::nonterminal != nonterminal()) wrongAttributes(Attributes::nonterminal);
        return *static_cast<Attributes*>(attributeRecord());
    }
    // The record as the generated visitAstAttributes takes it.
    void* attributeRecord();
    AstArena& arena() const;

private:
    friend class AstArena;
    AstNode(int32_t production, uint32_t begin, uint32_t end)
        : production_(static_cast<int16_t>(production)), begin_(begin), end_(end) {}
    ~AstNode() = default;

    // Slots follow the record: 4 bytes (a node reference) per node child, 8 (the begin
    // and end offsets) per token child.
    unsigned char* slot(size_t i);
    const unsigned char* slot(size_t i) const { return const_cast<AstNode*>(this)->slot(i); }
    [[noreturn]] void wrongAttributes(uint16_t wanted) const;

    int16_t production_;
    uint8_t index_ = 0;
    uint8_t unused_ = 0;
    uint32_t begin_;
    uint32_t end_;
    uint32_t parent_ = 0; // a reference into the arena; 0 for none
};

static_assert(sizeof(Parser::AstNode) == 16 && alignof(Parser::AstNode) == 4);

inline uint32_t Parser::AstChild::begin() const {
    return isToken() ? static_cast<uint32_t>(bits_ >> 1) & 0x7FFFFFFFu : node()->beginOffset();
}
inline uint32_t Parser::AstChild::end() const {
    return isToken() ? static_cast<uint32_t>(bits_ >> 32) : node()->endOffset();
}

// The attribute record of a nonterminal with every field empty or zero, from the heap,
// and its destruction (generated with the records, frontend/ast_nodes.cpp).
void* newAstAttributes(uint16_t nonterminal);
void deleteAstAttributes(uint16_t nonterminal, void* record);
// The same in storage of the caller's (the arena's): the record's size (0 for an
// unknown nonterminal; no record needs more than 8-byte alignment), its construction
// with every field empty and its destruction, which leaves the storage to the caller.
size_t astAttributesSize(uint16_t nonterminal);
void* constructAstAttributes(uint16_t nonterminal, void* storage);
void destroyAstAttributes(uint16_t nonterminal, void* record);

// The 16-bit code of character n (from 0) of a decoded string literal; an n past the
// end throws std::out_of_range instead of reading beyond the list.
uint16_t listElementAt(const CharList& list, size_t n);

} // namespace Karsto
