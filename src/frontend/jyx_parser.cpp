#include "frontend/jyx_parser.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "frontend/ast_node.h"
#include "frontend/grammar_tables.h"

namespace Karsto {

namespace {

using Grammar::Action;
using Grammar::actionOf;
using Grammar::targetOf;

// The ACTION entry of a state and a token kind; a kind outside the tables is an error.
inline uint16_t actionAt(uint16_t state, int32_t kind) {
    if (kind < 0 || kind >= Grammar::terminalCount) return 0;
    return Grammar::actionTable[state][kind];
}

// "a", "a or b", "a, b or c".
std::string joinAlternatives(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? " or " : ", ";
        text += names[i];
    }
    return text;
}

} // namespace

JyxParser::~JyxParser() { reset(); }

void JyxParser::releaseProgram() {
    Program* owned = std::exchange(program, nullptr);
    delete owned;
}

void JyxParser::reset() {
    releaseProgram();
    deleteAstTree(std::exchange(root, nullptr));
    releaseHandles();
}

void JyxParser::clearStack() {
    std::vector<StackEntry> entries;
    entries.swap(stack);
    for (const StackEntry& entry : entries) deleteAstTree(entry.node);
}

void JyxParser::parse() {
    reset();
    // Every way out of a parse leaves the stack empty, so it starts empty here.
    stack.push_back({0, nullptr});
    try {
        Token token = scanner->nextToken();
        while (true) {
            // Reduce only while the look-ahead is in the reduction's look-ahead set; the
            // tables have no default reductions, so an error shows in the state reached.
            uint16_t entry = actionAt(stack.back().state, static_cast<int32_t>(token.kind));
            while (actionOf(entry) == Action::reduce) {
                reduce(targetOf(entry), token.span.begin);
                entry = actionAt(stack.back().state, static_cast<int32_t>(token.kind));
            }
            if (actionOf(entry) != Action::shift) throw syntaxError(token);

            bool atEnd = token.is(TokenKind::end);
            // The token is replaced by the next read: its span and text move into the
            // terminal instead of being copied.
            std::unique_ptr<AstTerminal> terminal(
                new (nodeArena.get()) AstTerminal(SourceSpan(), std::move(token.text)));
            terminal->span = std::move(token.span);
            stack.push_back({targetOf(entry), terminal.get()});
            terminal.release();
            // The shift of "<end>" is the accept.
            if (atEnd) break;
            token = scanner->nextToken();
        }
    } catch (...) {
        clearStack();
        throw;
    }

    // The augmented start reads root and "<end>": the root is the second entry, the
    // terminal of "<end>" the third.
    if (stack.size() != 3) {
        clearStack();
        throw std::logic_error("LR tables: accept with a stack of " + std::to_string(stack.size()) +
                               " entries");
    }
    root = std::exchange(stack[1].node, nullptr);
    clearStack();
    evaluate();
}

void JyxParser::reduce(uint16_t production, const SourcePosition& lookaheadBegin) {
    const Grammar::ProductionInfo& info = Grammar::productionTable[production];
    const size_t length = info.length;
    const size_t size = stack.size();
    // Checked before anything moves, so a broken table leaves the stack intact for the
    // caller to free.
    uint16_t target = length < size ? Grammar::gotoTable[stack[size - 1 - length].state][info.lhs] : 0;
    if (actionOf(target) != Action::shift) {
        throw std::logic_error("LR tables: no state after reducing by production " +
                               std::to_string(production));
    }

    // Made with an empty span that is then filled in place: each position is copied
    // once, not built and then copied again by the factory.
    std::unique_ptr<AstNode> node(createAstNode(info.lhs, SourceSpan(), nodeArena.get()));
    SourceSpan& span = node->span;
    span.valid = true;
    span.begin = length > 0 ? stack[size - length].node->span.begin : lookaheadBegin;
    span.end = length > 0 ? stack.back().node->span.end : lookaheadBegin;
    node->production = production;
    node->children.resize(length);
    for (size_t i = length; i-- > 0;) {
        AstNode* child = stack.back().node;
        child->parent = node.get();
        child->index = static_cast<int32_t>(i);
        node->children[i] = child;
        stack.pop_back();
    }
    // Cannot reallocate when a child was popped; for an empty production the node is
    // still held by the guard if it does.
    stack.push_back({targetOf(target), node.get()});
    node.release();
}

bool JyxParser::isExpected(int32_t kind) const {
    if (stack.empty()) return false;
    // The stack as the reductions would leave it: the real entries below `base`, then
    // the states the reductions pushed. Nothing is copied and nothing written.
    size_t base = stack.size();
    std::vector<uint16_t> pushed;
    auto top = [&] { return pushed.empty() ? stack[base - 1].state : pushed.back(); };
    while (true) {
        uint16_t entry = actionAt(top(), kind);
        if (actionOf(entry) != Action::reduce) return actionOf(entry) == Action::shift;
        const Grammar::ProductionInfo& info = Grammar::productionTable[targetOf(entry)];
        size_t length = info.length;
        size_t fromPushed = std::min(length, pushed.size());
        pushed.resize(pushed.size() - fromPushed);
        length -= fromPushed;
        if (length >= base) return false;
        base -= length;
        uint16_t target = Grammar::gotoTable[top()][info.lhs];
        if (actionOf(target) != Action::shift) return false;
        pushed.push_back(targetOf(target));
    }
}

Parser::Exception JyxParser::syntaxError(const Token& token) const {
    std::vector<std::string> expected;
    for (int32_t k = 0; k < Grammar::terminalCount; ++k) {
        if (isExpected(k)) expected.push_back(Scanner::tokenName(k));
    }
    std::string message = "Unexpected '" + token.text + "'.";
    if (!expected.empty()) message += " Expected " + joinAlternatives(expected);
    return Exception(std::move(message), token.span);
}

} // namespace Karsto
