#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/code.h"
#include "frontend/ast_nodes.h"
#include "frontend/grammar_symbols.h"

namespace Karsto {
namespace {

// Every node class with a test of its dynamic type, in nonterminal-id order.
struct NodeClass {
    int id;
    const char* name;
    bool (*isInstance)(const Parser::AstNode*);
};

const NodeClass nodeClasses[] = {
#define KARSTO_AST_NODE(id, name) \
    {id, #name, [](const Parser::AstNode* node) { return dynamic_cast<const AstNode_##name*>(node) != nullptr; }},
#include "frontend/ast_nodes.def"
};

bool atStart(const Code& code) { return code.empty(); }
bool atStart(const std::string& text) { return text.empty(); }
template <class T>
bool atStart(const std::vector<T>& list) {
    return list.empty();
}
bool atStart(AstWord word) { return word == 0; }
bool atStart(int32_t word) { return word == 0; }
template <class T>
bool atStart(T* pointer) {
    return pointer == nullptr;
}

// "class.field" of every attribute of the node that is not empty or zero.
std::vector<std::string> attributesNotAtStart(const Parser::AstNode* node) {
    std::vector<std::string> found;
#define KARSTO_AST_ATTRIBUTE(nodeName, storage, field)                                  \
    if (auto* typed = dynamic_cast<const AstNode_##nodeName*>(node); typed != nullptr) { \
        if (!atStart(typed->field)) found.push_back(#nodeName "." #field);              \
    }
#include "frontend/ast_nodes.def"
    return found;
}

void fill(Code& code, const Code& shared) { code = shared; }
void fill(std::string& text, const Code&) { text = std::string(64, 'n'); }
void fill(CharList& characters, const Code&) { characters.assign(40, 0x20AC); }
void fill(std::vector<std::string>& names, const Code&) { names.assign(3, std::string(48, 'v')); }
void fill(std::vector<BoundPair>& bounds, const Code&) { bounds.assign(2, BoundPair{0, 7}); }
template <class T>
void fill(T&, const Code&) {}  // words hold nothing to release

// Gives every owning attribute of the node a value that must be released.
void fillAttributes(Parser::AstNode* node, const Code& shared) {
#define KARSTO_AST_ATTRIBUTE(nodeName, storage, field)                                              \
    if (auto* typed = dynamic_cast<AstNode_##nodeName*>(node); typed != nullptr) fill(typed->field, shared);
#include "frontend/ast_nodes.def"
}

SourceSpan sampleSpan() {
    SourcePosition begin, end;
    begin.file = end.file = "t.jyx";
    begin.line = 2;
    begin.column = 5;
    end.line = 3;
    end.column = 1;
    return SourceSpan(begin, end);
}

TEST(CreateAstNode, MakesTheClassOfEachNonterminalWithBaseFieldsAndAttributesAtStart) {
    ASSERT_EQ(std::size(nodeClasses), static_cast<size_t>(Grammar::nonterminalCount));
    const SourceSpan span = sampleSpan();
    for (const NodeClass& c : nodeClasses) {
        SCOPED_TRACE(c.name);
        Parser::AstNode* node = createAstNode(static_cast<uint16_t>(c.id), span);
        ASSERT_NE(node, nullptr);
        for (const NodeClass& other : nodeClasses) {
            EXPECT_EQ(other.isInstance(node), other.id == c.id) << "is also AstNode_" << other.name;
        }
        EXPECT_EQ(node->production, 0);
        EXPECT_EQ(node->parent, nullptr);
        EXPECT_EQ(node->index, 0);
        EXPECT_TRUE(node->children.empty());
        EXPECT_EQ(node->span.toString(), "t.jyx: 2.5-3.1");
        EXPECT_EQ(attributesNotAtStart(node), std::vector<std::string>{});
        deleteAstTree(node);
    }
}

TEST(CreateAstNode, IdsSelectTheClassesOfTheFixedNumbering) {
    const SourceSpan span = sampleSpan();
    struct Case {
        Nonterminal id;
        bool (*isInstance)(const Parser::AstNode*);
    };
    const Case cases[] = {
        {Nonterminal::root, [](const Parser::AstNode* n) { return dynamic_cast<const AstNode_root*>(n) != nullptr; }},
        {Nonterminal::classdecl_8,
         [](const Parser::AstNode* n) { return dynamic_cast<const AstNode_classdecl_8*>(n) != nullptr; }},
        {Nonterminal::classdecl_7,
         [](const Parser::AstNode* n) { return dynamic_cast<const AstNode_classdecl_7*>(n) != nullptr; }},
        {Nonterminal::using_, [](const Parser::AstNode* n) { return dynamic_cast<const AstNode_using*>(n) != nullptr; }},
        {Nonterminal::continue_statement,
         [](const Parser::AstNode* n) { return dynamic_cast<const AstNode_continue_statement*>(n) != nullptr; }},
    };
    for (const Case& c : cases) {
        Parser::AstNode* node = createAstNode(static_cast<uint16_t>(c.id), span);
        EXPECT_TRUE(c.isInstance(node)) << static_cast<int>(c.id);
        deleteAstTree(node);
    }
    EXPECT_EQ(createAstNode(Grammar::nonterminalCount, span), nullptr);
    EXPECT_EQ(createAstNode(0xFFFF, span), nullptr);
}

TEST(CreateAstNode, DeletingNodesReleasesTheirCodesStringsListsAndVectors) {
    // One shared code node: each Code attribute holds a reference that its node's
    // destructor must give back. LeakSanitizer checks the strings, lists and vectors.
    Code shared(new Label());
    Parser::AstNode* root = createAstNode(static_cast<uint16_t>(Nonterminal::root), sampleSpan());
    root->children.resize(Grammar::nonterminalCount);
    for (const NodeClass& c : nodeClasses) {
        Parser::AstNode* node = createAstNode(static_cast<uint16_t>(c.id), sampleSpan());
        fillAttributes(node, shared);
        node->parent = root;
        node->index = c.id;
        root->children[c.id] = node;
    }
    EXPECT_GT(shared.node()->refCount(), 1);
    deleteAstTree(root);
    EXPECT_EQ(shared.node()->refCount(), 1);
}

} // namespace
} // namespace Karsto
