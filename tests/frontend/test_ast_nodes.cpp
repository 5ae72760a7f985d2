#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/code.h"
#include "frontend/ast_arena.h"
#include "frontend/ast_nodes.h"
#include "frontend/grammar_symbols.h"
#include "frontend/grammar_tables.h"

namespace Karsto {
namespace {

// Every attribute record with its nonterminal, in id order.
struct NodeClass {
    int id;
    const char* name;
    uint16_t nonterminal; // as the record states it
};

const NodeClass nodeClasses[] = {
#define KARSTO_AST_NODE(id, name) {id, #name, AstNode_##name::nonterminal},
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

// "field" of every attribute of the record that is not empty or zero.
std::vector<std::string> attributesNotAtStart(uint16_t nonterminal, void* record) {
    std::vector<std::string> found;
    visitAstAttributes(nonterminal, record, [&](const char* field, const auto& value) {
        if (!atStart(value)) found.push_back(field);
    });
    return found;
}

void fill(Code& code, const Code& shared) { code = shared; }
void fill(std::string& text, const Code&) { text = std::string(64, 'n'); }
void fill(CharList& characters, const Code&) { characters.assign(40, 0x20AC); }
void fill(std::vector<std::string>& names, const Code&) { names.assign(3, std::string(48, 'v')); }
void fill(std::vector<BoundPair>& bounds, const Code&) { bounds.assign(2, BoundPair{0, 7}); }
template <class T>
void fill(T&, const Code&) {} // words hold nothing to release

// Every attribute row of the .def: its record and field. A table, not a comparison per
// row, keeps this file's compile short.
struct AttributeRow {
    const char* node;
    const char* field;
};

const AttributeRow attributeRows[] = {
#define KARSTO_AST_ATTRIBUTE(node, storage, field) {#node, #field},
#include "frontend/ast_nodes.def"
};

// The fields the .def rows list for a record, in order.
std::vector<std::string> defFields(const std::string& record) {
    std::vector<std::string> fields;
    for (const AttributeRow& row : attributeRows) {
        if (record == row.node) fields.push_back(row.field);
    }
    return fields;
}

// A production of each nonterminal, so that a node of it can be made.
std::vector<int32_t> productionOfEach() {
    std::vector<int32_t> production(Grammar::nonterminalCount, -1);
    for (int32_t p = Grammar::productionCount; p-- > 0;) production[Grammar::productionTable[p].lhs] = p;
    return production;
}

TEST(AstAttributes, EachNonterminalHasARecordOfItsIdWithEveryFieldAtStart) {
    ASSERT_EQ(std::size(nodeClasses), static_cast<size_t>(Grammar::nonterminalCount));
    for (const NodeClass& c : nodeClasses) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.nonterminal, c.id);
        void* record = newAstAttributes(static_cast<uint16_t>(c.id));
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(attributesNotAtStart(static_cast<uint16_t>(c.id), record), std::vector<std::string>{});
        // The visitor lists exactly the fields of the record's rows, in storage order.
        std::vector<std::string> visited;
        visitAstAttributes(static_cast<uint16_t>(c.id), record,
                           [&](const char* field, const auto&) { visited.push_back(field); });
        EXPECT_EQ(visited, defFields(c.name));
        deleteAstAttributes(static_cast<uint16_t>(c.id), record);
    }
    EXPECT_EQ(newAstAttributes(Grammar::nonterminalCount), nullptr);
    EXPECT_EQ(newAstAttributes(0xFFFF), nullptr);
}

TEST(AstAttributes, IdsSelectTheRecordsOfTheFixedNumbering) {
    EXPECT_EQ(AstNode_root::nonterminal, static_cast<uint16_t>(Nonterminal::root));
    EXPECT_EQ(AstNode_classdecl_8::nonterminal, static_cast<uint16_t>(Nonterminal::classdecl_8));
    EXPECT_EQ(AstNode_classdecl_7::nonterminal, static_cast<uint16_t>(Nonterminal::classdecl_7));
    EXPECT_EQ(AstNode_using::nonterminal, static_cast<uint16_t>(Nonterminal::using_));
    EXPECT_EQ(AstNode_continue_statement::nonterminal, static_cast<uint16_t>(Nonterminal::continue_statement));
}

// A node of every nonterminal gets its record through the node; filling every owning
// attribute and resetting the tree gives every reference back (LeakSanitizer checks
// the strings, lists and vectors).
TEST(AstAttributes, NodesOfEveryNonterminalReleaseTheirCodesStringsListsAndVectors) {
    Code shared(new Label());
    AstArena arena;
    const std::vector<int32_t> production = productionOfEach();
    for (const NodeClass& c : nodeClasses) {
        SCOPED_TRACE(c.name);
        ASSERT_GE(production[c.id], 0);
        Parser::AstNode* node = arena.newNode(production[c.id], 0, 0);
        EXPECT_EQ(node->nonterminal(), c.id);
        void* record = node->attributeRecord();
        EXPECT_EQ(attributesNotAtStart(node->nonterminal(), record), std::vector<std::string>{});
        visitAstAttributes(node->nonterminal(), record, [&](const char*, auto& value) { fill(value, shared); });
        EXPECT_EQ(node->attributeRecord(), record);
    }
    EXPECT_GT(shared.node()->refCount(), 1);
    arena.reset();
    EXPECT_EQ(shared.node()->refCount(), 1);
}

} // namespace
} // namespace Karsto
