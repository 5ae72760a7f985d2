#include "frontend/ast_node.h"

#include <cstring>
#include <string>

#include "frontend/ast_arena.h"
#include "frontend/grammar_tables.h"

namespace Karsto {

uint16_t Parser::AstNode::nonterminal() const { return Grammar::productionTable[production_].lhs; }

size_t Parser::AstNode::childCount() const { return Grammar::productionTable[production_].length; }

unsigned char* Parser::AstNode::slot(size_t i) {
    const unsigned before = Grammar::productionTable[production_].tokens & ((1u << i) - 1);
    return reinterpret_cast<unsigned char*>(this + 1) + 4 * (i + size_t{Grammar::tokenCount(before)});
}

Parser::AstChild Parser::AstNode::child(size_t i) const {
    const unsigned char* at = slot(i);
    if ((Grammar::productionTable[production_].tokens >> i) & 1u) {
        uint32_t ends[2];
        std::memcpy(ends, at, sizeof ends);
        return AstChild::ofToken(ends[0], ends[1]);
    }
    uint32_t reference;
    std::memcpy(&reference, at, sizeof reference);
    return reference == 0 ? AstChild() : AstChild::ofNode(arena().nodeAt(reference));
}

Parser::AstNode* Parser::AstNode::parent() const { return parent_ == 0 ? nullptr : arena().nodeAt(parent_); }

AstArena& Parser::AstNode::arena() const {
    const uintptr_t block = reinterpret_cast<uintptr_t>(this) & ~uintptr_t{AstArena::blockBytes - 1};
    return **reinterpret_cast<AstArena* const*>(block);
}

SourceSpan Parser::AstNode::span() const { return arena().spanOf(begin_, end_); }

SourceSpan Parser::AstNode::childSpan(size_t i) const {
    const AstChild c = child(i);
    return arena().spanOf(c.begin(), c.end());
}

std::string_view Parser::AstNode::lexeme(size_t i) const {
    const AstChild c = child(i);
    return c.isToken() ? arena().textOf(c.begin(), c.end()) : std::string_view();
}

void* Parser::AstNode::attributeRecord() { return arena().attributesOf(*this); }

void Parser::AstNode::wrongAttributes(uint16_t wanted) const {
    throw std::logic_error("syntax tree: attributes of nonterminal " + std::to_string(wanted) +
                           " asked of a node of nonterminal " + std::to_string(nonterminal()));
}

uint16_t listElementAt(const CharList& list, size_t n) { return list.at(n); }

} // namespace Karsto
