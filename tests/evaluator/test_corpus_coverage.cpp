// The language corpus, taken together, exercises the whole grammar: every production
// that makes a node stands in the syntax tree of some corpus program, so both walks
// dispatch it. Forwarding productions make no node and are never dispatched.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/ast_node.h"
#include "frontend/grammar_tables.h"
#include "frontend/jyx_parser.h"
#include "support/corpus.h"

namespace Karsto::test {
namespace {

const std::string coverageCorpusDirectory = VORDASH_TEST_DATA_DIR "/programs";

// Marks the production of every node of the tree, walked with a stack of its own.
void markProductions(const Parser::AstNode* root, std::vector<bool>& seen) {
    std::vector<const Parser::AstNode*> pending{root};
    while (!pending.empty()) {
        const Parser::AstNode* node = pending.back();
        pending.pop_back();
        seen[static_cast<size_t>(node->production())] = true;
        for (size_t i = 0; i < node->childCount(); ++i)
            if (const Parser::AstNode* child = node->childNode(i)) pending.push_back(child);
    }
}

TEST(CorpusCoverage, EveryProductionThatMakesANodeStandsInSomeProgram) {
    std::vector<bool> seen(Grammar::productionCount, false);
    for (const std::string& file : corpusFiles(coverageCorpusDirectory)) {
        const CorpusCase corpusCase = readCorpusCase(coverageCorpusDirectory, file);
        // A program whose compile fails in the evaluator still has its whole tree.
        const HarnessResult r = compileOnly(corpusCase.source, corpusCase.options);
        if (r.parser() != nullptr && r.parser()->root != nullptr) markProductions(r.parser()->root, seen);
    }
    std::string missing;
    for (size_t p = 0; p < seen.size(); ++p)
        if (!seen[p] && !Grammar::productionTable[p].forwards) missing += " " + std::to_string(p);
    EXPECT_EQ(missing, "") << "productions no corpus program contains";
}

} // namespace
} // namespace Karsto::test
