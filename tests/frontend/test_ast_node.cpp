#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "frontend/ast_arena.h"
#include "frontend/ast_node.h"

namespace Karsto {
namespace {

SourceSpan spanAt(int line, int column) {
    SourcePosition p;
    p.file = "t.jyx";
    p.line = line;
    p.column = column;
    return SourceSpan(p, p);
}

// Records its id in a shared list when it is destroyed.
class RecordingNode : public Parser::AstNode {
public:
    RecordingNode(int nodeId, std::vector<int>* deletedIds) : AstNode(spanAt(1, nodeId)), id(nodeId), deleted(deletedIds) {}
    ~RecordingNode() override { deleted->push_back(id); }

    int id;
    std::vector<int>* deleted;
};

// Links children the way a reduction does: slot i holds child i, null slots stay null.
Parser::AstNode* attach(Parser::AstNode* parent, std::vector<Parser::AstNode*> children) {
    for (size_t i = 0; i < children.size(); ++i) {
        if (children[i] == nullptr) continue;
        children[i]->parent = parent;
        children[i]->index = static_cast<int32_t>(i);
    }
    parent->children = std::move(children);
    return parent;
}

TEST(DeleteAstTree, DeletesEveryNodeOnceChildrenAfterTheirParentLastChildFirst) {
    std::vector<int> deleted;
    deleteAstTree(nullptr);

    deleteAstTree(new RecordingNode(1, &deleted));
    EXPECT_EQ(deleted, (std::vector<int>{1}));

    deleted.clear();
    // 1 with children 2 and 3; 2 with children 4 and 5.
    auto* two = attach(new RecordingNode(2, &deleted),
                       {new RecordingNode(4, &deleted), new RecordingNode(5, &deleted)});
    deleteAstTree(attach(new RecordingNode(1, &deleted), {two, new RecordingNode(3, &deleted)}));
    EXPECT_EQ(deleted, (std::vector<int>{1, 3, 2, 5, 4}));
}

TEST(DeleteAstTree, SkipsNullChildSlots) {
    std::vector<int> deleted;
    auto* inner = attach(new RecordingNode(2, &deleted), {nullptr, nullptr});
    deleteAstTree(attach(new RecordingNode(1, &deleted), {nullptr, inner, nullptr}));
    EXPECT_EQ(deleted, (std::vector<int>{1, 2}));
}

TEST(DeleteAstTree, DeletesADeepLeftSpineWithoutNativeRecursion) {
    // A long statement list reduces to a left spine, one level per statement, with a
    // terminal beside each level.
    constexpr int depth = 200000;
    std::vector<int> deleted;
    Parser::AstNode* spine = new RecordingNode(0, &deleted);
    for (int i = 1; i < depth; ++i) {
        spine = attach(new RecordingNode(i, &deleted), {spine, new Parser::AstTerminal(spanAt(i, 1), ";")});
    }
    deleteAstTree(spine);
    ASSERT_EQ(deleted.size(), static_cast<size_t>(depth));
    EXPECT_EQ(deleted.front(), depth - 1);
    EXPECT_EQ(deleted.back(), 0);
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

TEST(AstTerminal, KeepsTheTokenTextAndSpanAndMarksItselfATerminal) {
    Parser::AstTerminal terminal(spanAt(3, 7), "G1");
    EXPECT_EQ(terminal.production, -1);
    EXPECT_EQ(terminal.lexeme, "G1");
    EXPECT_EQ(terminal.span.toString(), "t.jyx: 3.7-3.7");
    EXPECT_EQ(terminal.parent, nullptr);
    EXPECT_EQ(terminal.index, 0);
    EXPECT_TRUE(terminal.children.empty());
}

// Fails while it is being built, after its storage was taken.
class FailingNode : public Parser::AstNode {
public:
    FailingNode() : AstNode(spanAt(1, 1)) { throw std::runtime_error("no node"); }
};

// Nodes from an arena and from the heap mix in one tree and are deleted alike; once
// the last arena node is gone its storage is handed out again from the start.
TEST(AstArena, NodesDeleteAlikeAndTheStorageIsReused) {
    AstArenaHolder holder;
    AstArena* arena = holder.get();
    std::vector<int> deleted;
    auto* first = new (arena) RecordingNode(1, &deleted);
    auto* two = attach(new RecordingNode(2, &deleted), {new (arena) RecordingNode(4, &deleted)});
    attach(first, {two, new (arena) Parser::AstTerminal(spanAt(3, 1), "x")});
    EXPECT_EQ(arena->liveNodes(), 3);
    EXPECT_EQ(first->span.toString(), "t.jyx: 1.1-1.1");
    deleteAstTree(first);
    EXPECT_EQ(deleted, (std::vector<int>{1, 2, 4}));
    EXPECT_EQ(arena->liveNodes(), 0);

    Parser::AstNode* again = new (arena) RecordingNode(5, &deleted);
    EXPECT_EQ(static_cast<void*>(again), static_cast<void*>(first));
    EXPECT_EQ(arena->liveNodes(), 1);
    delete again;

    // A constructor that throws gives its storage back.
    EXPECT_THROW((void)new (arena) FailingNode(), std::runtime_error);
    EXPECT_EQ(arena->liveNodes(), 0);
    EXPECT_THROW((void)new FailingNode(), std::runtime_error);
}

// A node kept past its parser stays valid (the sanitizer build checks its storage) and
// is deleted as any other; with many nodes the arena runs over several blocks.
TEST(AstArena, NodesMayOutliveTheirArenasOwner) {
    std::vector<int> deleted;
    Parser::AstNode* kept = nullptr;
    {
        AstArenaHolder holder;
        for (int i = 0; i < 20000; ++i) delete new (holder.get()) RecordingNode(i, &deleted);
        std::vector<Parser::AstNode*> many;
        for (int i = 0; i < 20000; ++i) many.push_back(new (holder.get()) Parser::AstTerminal(spanAt(i, 1), "t"));
        kept = new (holder.get()) RecordingNode(-1, &deleted);
        for (Parser::AstNode* node : many) delete node;
    }
    EXPECT_EQ(kept->span.toString(), "t.jyx: 1.-1-1.-1");
    deleteAstTree(kept);
    EXPECT_EQ(deleted.size(), 20001u);
    EXPECT_EQ(deleted.back(), -1);
}

} // namespace
} // namespace Karsto
