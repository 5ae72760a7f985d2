#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/code.h"
#include "frontend/ast_arena.h"
#include "frontend/ast_node.h"
#include "frontend/ast_nodes.h"
#include "frontend/grammar_symbols.h"
#include "frontend/scanner.h"

namespace Karsto {
namespace {

using AstChild = Parser::AstChild;

SourcePosition positionOf(const char* file, int32_t line, int32_t column, int32_t lineOffset, int32_t inputOffset) {
    return SourcePosition{file, line, column, lineOffset + column - 1, inputOffset, false};
}

// A token as the scanner hands it over: its text and the positions of its two ends.
Token tokenAt(std::string text, const SourcePosition& begin, const SourcePosition& end) {
    Token token;
    token.kind = TokenKind::comma;
    token.text = std::move(text);
    token.span = SourceSpan(begin, end);
    return token;
}

AstChild tokenChild(const Token& token) {
    return AstChild::ofToken(static_cast<uint32_t>(token.span.begin.inputOffset),
                             static_cast<uint32_t>(token.span.end.inputOffset));
}

// The arena as a parse fills it: "X12" on line 2 of a.jyx, then "/" and "7" on line 1
// of an included b.jyx that begins right after it.
struct SmallTree {
    SmallTree() {
        arena.addToken(letter);
        arena.addToken(number);
        arena.addToken(slash);
        arena.addToken(level);
        gnumber = arena.newNode(static_cast<int32_t>(Prod::gnumber_0), 11, 13);
        arena.setChild(gnumber, 0, tokenChild(number));
        gword = arena.newNode(static_cast<int32_t>(Prod::gword_0), 10, 13);
        arena.setChild(gword, 0, tokenChild(letter));
        arena.setChild(gword, 1, AstChild::ofNode(gnumber));
        skip = arena.newNode(static_cast<int32_t>(Prod::gstatement_3_2), 13, 15);
        arena.setChild(skip, 0, tokenChild(slash));
        arena.setChild(skip, 1, tokenChild(level));
    }

    AstArena arena;
    Token letter = tokenAt("X", positionOf("a.jyx", 2, 3, 8, 10), positionOf("a.jyx", 2, 4, 8, 11));
    Token number = tokenAt("12", positionOf("a.jyx", 2, 4, 8, 11), positionOf("b.jyx", 1, 1, 0, 13));
    Token slash = tokenAt("/", positionOf("b.jyx", 1, 1, 0, 13), positionOf("b.jyx", 1, 2, 0, 14));
    Token level = tokenAt("7", positionOf("b.jyx", 1, 2, 0, 14), positionOf("b.jyx", 1, 3, 0, 15));
    Parser::AstNode* gnumber;
    Parser::AstNode* gword;
    Parser::AstNode* skip;
};

bool samePlace(const SourcePosition& a, const SourcePosition& b) {
    return a.file == b.file && a.line == b.line && a.column == b.column && a.offset == b.offset &&
           a.inputOffset == b.inputOffset && a.scrambled == b.scrambled;
}

TEST(AstNode, ChildrenAreNodesOrTokensInRightHandSideOrderAndLinkBack) {
    SmallTree t;
    ASSERT_EQ(t.gword->childCount(), 2u);
    EXPECT_EQ(t.gword->production(), static_cast<int32_t>(Prod::gword_0));
    EXPECT_EQ(t.gword->nonterminal(), static_cast<uint16_t>(Nonterminal::gword));
    EXPECT_TRUE(t.gword->child(0).isToken());
    EXPECT_EQ(t.gword->childNode(0), nullptr);
    EXPECT_EQ(t.gword->lexeme(0), "X");
    EXPECT_EQ(t.gword->childNode(1), t.gnumber);
    EXPECT_EQ(t.gword->lexeme(1), "");
    EXPECT_EQ(t.gnumber->parent(), t.gword);
    EXPECT_EQ(t.gnumber->index(), 1);
    EXPECT_EQ(t.gword->parent(), nullptr);
    EXPECT_EQ(t.gword->index(), 0);
    EXPECT_EQ(t.gnumber->lexeme(0), "12");
    EXPECT_EQ(t.skip->lexeme(0), "/");
    EXPECT_EQ(t.skip->lexeme(1), "7");
    EXPECT_EQ(t.arena.nodeCount(), 3);
}

// Positions come back exactly as the scanner gave them: file, line, column, file
// offset and input offset, across a line start and into an included file.
TEST(AstNode, SpansComeBackAsTheScannerGaveThem) {
    SmallTree t;
    for (const Token* token : {&t.letter, &t.number, &t.slash, &t.level}) {
        SCOPED_TRACE(token->text);
        const auto begin = static_cast<uint32_t>(token->span.begin.inputOffset);
        const auto end = static_cast<uint32_t>(token->span.end.inputOffset);
        const SourceSpan span = t.arena.spanOf(begin, end);
        EXPECT_TRUE(span.valid);
        EXPECT_TRUE(samePlace(span.begin, token->span.begin));
        EXPECT_TRUE(samePlace(span.end, token->span.end));
    }
    EXPECT_EQ(t.gword->span().toString(), "a.jyx: 2.3-b.jyx: 1.1");
    EXPECT_EQ(t.gword->childSpan(0).toString(), "a.jyx: 2.3-2.4");
    EXPECT_EQ(t.gword->childSpan(1).toString(), t.gnumber->span().toString());
    EXPECT_EQ(t.skip->span().toString(), "b.jyx: 1.1-1.3");
}

TEST(AstNode, AChildOfTheWrongKindAndTokensOffTheirTextAreRefused) {
    SmallTree t;
    // Slot 0 of gword is the address letter, slot 1 its value.
    EXPECT_THROW(t.arena.setChild(t.gword, 0, AstChild::ofNode(t.gnumber)), std::logic_error);
    EXPECT_THROW(t.arena.setChild(t.gword, 1, tokenChild(t.number)), std::logic_error);
    Token wrong = tokenAt("123", positionOf("a.jyx", 3, 1, 20, 20), positionOf("a.jyx", 3, 3, 20, 22));
    EXPECT_THROW(t.arena.addToken(wrong), std::logic_error);
}

// The evaluator's records: one per node, made empty at the first request, the same on
// every later one, refused for another nonterminal and released with the tree.
TEST(AstNode, AttributeRecordsAreMadeOnceAndReleasedAtTheReset) {
    SmallTree t;
    Code shared(new Label());
    AstNode_gnumber& number = t.gnumber->attributes<AstNode_gnumber>();
    EXPECT_TRUE(number.code.empty());
    EXPECT_EQ(number.type, nullptr);
    number.code = shared;
    EXPECT_EQ(&t.gnumber->attributes<AstNode_gnumber>(), &number);
    EXPECT_EQ(t.gword->attributes<AstNode_gword>().wordValues.node(), nullptr);
    EXPECT_THROW(t.gword->attributes<AstNode_gnumber>(), std::logic_error);
    EXPECT_EQ(shared.node()->refCount(), 2);
    t.arena.reset();
    EXPECT_EQ(shared.node()->refCount(), 1);
    EXPECT_EQ(t.arena.nodeCount(), 0);
}

// A reset frees the tree and its notes at once; the storage is cut again from the start.
TEST(AstArena, ResetFreesEverythingAndReusesTheStorage) {
    SmallTree t;
    const void* first = t.gnumber;
    t.arena.reset();
    EXPECT_EQ(t.arena.nodeCount(), 0);
    EXPECT_EQ(t.arena.textOf(10, 11), "");
    EXPECT_EQ(t.arena.spanOf(11, 13).toString(), ": 1.12-1.14"); // no line starts left
    t.arena.addToken(t.number);
    Parser::AstNode* again = t.arena.newNode(static_cast<int32_t>(Prod::gnumber_0), 11, 13);
    EXPECT_EQ(static_cast<const void*>(again), first);
    t.arena.setChild(again, 0, tokenChild(t.number));
    EXPECT_EQ(again->lexeme(0), "12");
}

// A long statement list is a left spine, one level per statement. Over several blocks
// every reference still leads to its node, and the reset releases every record
// without walking the tree.
TEST(AstArena, ADeepSpineOverManyBlocksLinksAndReleasesWithoutRecursion) {
    constexpr int depth = 200000;
    AstArena arena;
    Code shared(new Label());
    const auto list = static_cast<int32_t>(Prod::statement_decl_list_1);
    std::vector<Parser::AstNode*> levels;
    Parser::AstNode* spine = arena.newNode(static_cast<int32_t>(Prod::gstatement_3_0), 0, 0);
    levels.push_back(spine);
    for (int i = 1; i < depth; ++i) {
        Parser::AstNode* element = arena.newNode(static_cast<int32_t>(Prod::gstatement_3_0), 0, 0);
        Parser::AstNode* level = arena.newNode(list, 0, 0);
        arena.setChild(level, 0, AstChild::ofNode(spine));
        arena.setChild(level, 1, AstChild::ofNode(element));
        level->attributes<AstNode_statement_decl_list>().code = shared;
        spine = level;
        levels.push_back(spine);
    }
    EXPECT_GT(arena.reservedBytes(), 2 * AstArena::blockBytes);
    for (int i = depth - 1; i > 0; --i) {
        ASSERT_EQ(levels[i]->childNode(0), levels[i - 1]);
        ASSERT_EQ(levels[i - 1]->parent(), levels[i]);
        ASSERT_EQ(levels[i]->childNode(1)->parent(), levels[i]);
        ASSERT_EQ(levels[i]->childNode(1)->index(), 1);
    }
    EXPECT_EQ(shared.node()->refCount(), depth);
    arena.reset();
    EXPECT_EQ(shared.node()->refCount(), 1);
}

// The evaluator reads decoded string literals character by character; codes above 255
// come back whole, and an index past the end is refused rather than read.
TEST(ListElementAt, ReturnsTheSixteenBitCodeOfCharacterN) {
    const CharList characters = {0x41, 0x20AC, 0xFFFF};
    EXPECT_EQ(listElementAt(characters, 0), 0x41);
    EXPECT_EQ(listElementAt(characters, 1), 0x20AC);
    EXPECT_EQ(listElementAt(characters, 2), 0xFFFF);
    EXPECT_THROW(listElementAt(characters, 3), std::out_of_range);
    EXPECT_THROW(listElementAt(CharList{}, 0), std::out_of_range);
}

} // namespace
} // namespace Karsto
