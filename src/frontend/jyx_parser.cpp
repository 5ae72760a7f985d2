#include "frontend/jyx_parser.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/exception.h"
#include "evaluator/plain_lines.h"
#include "frontend/ast_arena.h"
#include "frontend/ast_node.h"
#include "frontend/ast_nodes.h"
#include "frontend/grammar_symbols.h"
#include "frontend/grammar_tables.h"
#include "frontend/plain_gcode_line.h"
#include "frontend/scanner_input.h"

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
    root = nullptr;
    nodeArena->reset();
    releaseHandles();
}

void JyxParser::clearStack() { std::vector<StackEntry>().swap(stack); }

// The whole tree goes with the arena: what the stack held and whatever it led to.
void JyxParser::abandonTree() {
    clearStack();
    nodeArena->reset();
}

void JyxParser::parse() {
    reset();
    // The compile's own input answers for spans and texts; other inputs are noted.
    nodeArena->readFrom(dynamic_cast<ScannerInputFile*>(scanner->input));
    openLines_ = nullptr;
    openLinesRun_ = nullptr;
    // Every way out of a parse leaves the stack empty, so it starts empty here.
    stack.push_back({0, AstChild()});
    try {
        Token token = scanner->nextToken();
        nodeArena->addToken(token);
        // A plain line can be taken whenever a run of compacted blocks ends the list on
        // top: after the reductions that joined the block before it to the run.
        const auto takesPlainLine = [&] {
            return compactLiteralBlocks && token.is(TokenKind::gcodeAddress) && takePlainLine(token);
        };
        while (true) {
            if (takesPlainLine()) continue;
            // Reduce only while the look-ahead is in the reduction's look-ahead set; the
            // tables have no default reductions, so an error shows in the state reached.
            uint16_t entry = actionAt(stack.back().state, static_cast<int32_t>(token.kind));
            const auto lookaheadBegin = static_cast<uint32_t>(token.span.begin.inputOffset);
            bool tookLine = false;
            while (actionOf(entry) == Action::reduce) {
                reduce(targetOf(entry), lookaheadBegin);
                if (takesPlainLine()) {
                    tookLine = true; // with another look-ahead: start over
                    break;
                }
                entry = actionAt(stack.back().state, static_cast<int32_t>(token.kind));
            }
            if (tookLine) continue;
            if (actionOf(entry) != Action::shift) throw syntaxError(token);

            // A token is its two offsets; the arena keeps its text and positions.
            stack.push_back({targetOf(entry), AstChild::ofToken(lookaheadBegin,
                                                                static_cast<uint32_t>(token.span.end.inputOffset))});
            // The shift of "<end>" is the accept.
            if (token.is(TokenKind::end)) break;
            token = scanner->nextToken();
            nodeArena->addToken(token);
        }
    } catch (...) {
        abandonTree();
        throw;
    }

    // The augmented start reads root and "<end>": the root is the second entry, the
    // terminal of "<end>" the third.
    if (stack.size() != 3 || stack[1].child.node() == nullptr) {
        const size_t entries = stack.size();
        abandonTree();
        throw std::logic_error("LR tables: accept with a stack of " + std::to_string(entries) + " entries");
    }
    root = stack[1].child.node();
    clearStack();
    evaluate();
}

void JyxParser::reduce(uint16_t production, uint32_t lookaheadBegin) {
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
    // A forwarding production makes no node: its one child stands for it.
    if (info.forwards) {
        stack.back().state = targetOf(target);
        return;
    }

    // An empty right-hand side spans the empty stretch where the look-ahead begins.
    const StackEntry* first = stack.data() + (size - length);
    const uint32_t begin = length > 0 ? first->child.begin() : lookaheadBegin;
    const uint32_t end = length > 0 ? stack.back().child.end() : lookaheadBegin;
    AstNode* node = nodeArena->newNode(production, begin, end);
    for (size_t i = 0; i < length; ++i) nodeArena->setChild(node, i, first[i].child);
    if (compactLiteralBlocks && production == static_cast<uint16_t>(Prod::gstatement_2_0)) {
        node = compactLiteralBlock(node, first[-1].child.node());
        if (node == nullptr) {
            // The list below stands in the state that the reductions of the block up to
            // the list would have reached: the goto on the same list from the same state.
            stack.resize(size - length);
            return;
        }
    }
    stack.resize(size - length);
    stack.push_back({targetOf(target), AstChild::ofNode(node)});
}

namespace {

// The compacted block that ends the statement list `list`, or null: the list's last
// element must be a statement that is such a block.
Parser::AstNode* compactedBlockEnding(Parser::AstNode* list) {
    if (list == nullptr || list->production() != static_cast<int32_t>(Prod::statement_decl_list_1)) return nullptr;
    Parser::AstNode* element = list->childNode(1);
    if (element == nullptr || element->production() != static_cast<int32_t>(Prod::statement_decl_0)) return nullptr;
    Parser::AstNode* block = element->childNode(0);
    if (block == nullptr || block->production() != static_cast<int32_t>(Prod::gstatement_2_0) ||
        block->childNode(0) != nullptr)
        return nullptr;
    return block;
}

} // namespace

Parser::AstNode* JyxParser::compactLiteralBlock(AstNode* block, AstNode* before) {
    // Whatever joins a run now, the open instruction of plain lines no longer ends it.
    openLines_ = nullptr;
    // The block's first node, its skip mark, was cut first: from there on the arena
    // holds the block's subtree and nothing else.
    AstNode* first = block->childNode(0);
    Code code;
    if (first == nullptr || !compileLiteralBlock(*block, code)) return block;
    const int32_t production = block->production();
    const uint32_t begin = block->beginOffset();
    const uint32_t end = block->endOffset();
    const AstChild lineEnd = block->child(2);
    if (!nodeArena->rollBackTo(first)) return block;
    if (AstNode* run = compactedBlockEnding(before)) {
        auto& record = run->attributes<AstNode_gstatement_2>();
        record.code.append(std::move(code));
        // The run's nodes now stand for this block's text as well.
        for (AstNode* node : {run, run->parent(), before}) nodeArena->extendEnd(node, end);
        return nullptr;
    }
    AstNode* compact = nodeArena->newNode(production, begin, end);
    nodeArena->setChild(compact, 2, lineEnd);
    compact->attributes<AstNode_gstatement_2>().code = std::move(code);
    return compact;
}

namespace {

bool isLineEnd(char c) { return c == '\n' || c == '\r'; }
bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

} // namespace

bool JyxParser::takePlainLine(Token& lookahead) {
    const ScannerInputFile* input = nodeArena->fileInput();
    if (input == nullptr || scanner->mode != ScannerMode::gcode || stack.empty()) return false;
    AstNode* list = stack.back().child.node();
    AstNode* run = compactedBlockEnding(list);
    if (run == nullptr) return false;
    const std::string& text = input->expandedText();
    const auto lookaheadEnd = static_cast<size_t>(lookahead.span.end.inputOffset);
    size_t end = 0;
    if (!takePlainLineAt(run, static_cast<size_t>(lookahead.span.begin.inputOffset), lookaheadEnd, end)) return false;
    // Where the next line starts with a letter after blanks and tabs, that letter would be
    // the next look-ahead, an address, and the run would still end the list on top: this
    // same call would follow. Such lines are taken here, without their first token.
    while (true) {
        size_t next = end;
        while (next < text.size() && (text[next] == ' ' || text[next] == '\t')) ++next;
        if (next == text.size() || !isAsciiLetter(text[next])) break;
        size_t after = 0;
        if (!takePlainLineAt(run, next, next + 1, after)) break;
        end = after;
    }
    for (AstNode* node : {run, run->parent(), list}) nodeArena->extendEnd(node, static_cast<uint32_t>(end));
    // The scanner stands after the look-ahead, inside the first line: on past the last
    // line's line ends.
    scanner->input->advance(static_cast<int32_t>(end - lookaheadEnd));
    lookahead = scanner->nextToken();
    nodeArena->addToken(lookahead);
    return true;
}

bool JyxParser::takePlainLineAt(AstNode* run, size_t begin, size_t tokenEnd, size_t& end) {
    const std::string& text = nodeArena->fileInput()->expandedText();
    const size_t size = text.size();
    const std::string_view rest = std::string_view(text).substr(begin);
    // No "=": a word with it is an expression to the walks, not a literal.
    size_t words = 0;
    size_t longestNumber = 0;
    const size_t length = checkPlainGcodeLine(rest, words, longestNumber);
    if (length == std::string_view::npos) return false;
    const size_t lineEnd = begin + length;
    if (lineEnd == size || words == 0) return false;
    end = lineEnd;
    while (end < size && isLineEnd(text[end])) ++end;
    if (end <= tokenEnd) return false;
    if (plainLineSource != nullptr && plainLineSource.get() == nodeArena->fileInput() &&
        longestNumber <= kPlainNumberLengthMax) {
        keepPlainLine(run, static_cast<uint32_t>(begin), static_cast<uint32_t>(end));
        return true;
    }
    readPlainGcodeLine(rest, false, lineWords_);
    plainWords_.clear();
    for (const PlainGcodeWord& word : lineWords_) {
        const auto at = [begin](size_t offset) { return static_cast<uint32_t>(begin + offset); };
        plainWords_.push_back(PlainWord{at(word.letter), at(word.letter + 1), at(word.minus), word.negated,
                                        at(word.numberBegin), at(word.numberEnd)});
    }
    Code code;
    try {
        code = literalBlockCode(-1, static_cast<uint32_t>(begin), static_cast<uint32_t>(end));
    } catch (const ExceptionKarsto&) {
        return false; // the parse of its tokens meets the error in its turn
    } catch (const std::logic_error&) {
        return false;
    }
    run->attributes<AstNode_gstatement_2>().code.append(std::move(code));
    openLines_ = nullptr;
    return true;
}

void JyxParser::keepPlainLine(AstNode* run, uint32_t begin, uint32_t end) {
    if (openLines_ != nullptr && openLinesRun_ == run) {
        // Only blanks and tabs between the open instruction's last line and this one.
        const std::string& text = nodeArena->fileInput()->expandedText();
        uint32_t at = openLines_->end();
        while (at < begin && (text[at] == ' ' || text[at] == '\t')) ++at;
        if (at == begin) {
            openLines_->extendTo(end);
            return;
        }
    }
    run->attributes<AstNode_gstatement_2>().code.append(plainLinesCode(begin, end));
    openLinesRun_ = run;
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
