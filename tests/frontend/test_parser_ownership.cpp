#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/exception.h"
#include "core/program.h"
#include "core/variable.h"
#include "frontend/ast_arena.h"
#include "frontend/ast_nodes.h"
#include "frontend/probe_parser.h"

namespace Karsto {
namespace {

// Objects that write their name into a journal as they die, noting whether the
// parser still held its tree at that moment.
struct Journal {
    const Parser* parser = nullptr;
    std::vector<std::string> lines;

    void died(const std::string& name) { lines.push_back(name + (parser->root != nullptr ? " +tree" : "")); }
};

struct Tracked {
    Tracked(Journal& j, std::string label) : journal(j), name(std::move(label)) {}
    virtual ~Tracked() { journal.died(name); }
    Journal& journal;
    std::string name;
};

struct TrackedProgram : Program {
    TrackedProgram(Journal& j, std::string label) : journal(j), name(std::move(label)) {}
    ~TrackedProgram() override { journal.died(name); }
    Journal& journal;
    std::string name;
};

const char* const goodSource = "G1 X5\n{ a := 1; }\n";

// A second input for the same parser: a compile driver would not do this, but a
// parser must start clean on every parse.
struct Rescan {
    explicit Rescan(ProbeParser& parser, std::string source) : input(std::move(source)), scanner(&input) {
        scanner.mode = ScannerMode::gcode;
        parser.scanner = &scanner;
    }
    StringInput input;
    Scanner scanner;
};

// The evaluator's part as far as ownership goes: objects registered in creation
// order, a container of pointers among them, and the program stored last.
void registerGeneration(ProbeParser& parser, Journal& journal, const std::string& generation) {
    Tracked* first = parser.handle(new Tracked(journal, generation + "a"));
    parser.handle(new std::vector<Tracked*>{first});
    for (int i = 0; i < 3; ++i) parser.handle(new Tracked(journal, generation + "b" + std::to_string(i)));
    parser.program = new TrackedProgram(journal, generation + "program");
}

TEST(ParserOwnership, ResetReleasesProgramThenTreeThenObjectsInRegistrationOrder) {
    Journal journal;
    {
        StringCompile compile(goodSource);
        ProbeParser& parser = compile.parser;
        journal.parser = &parser;
        int generation = 0;
        parser.step = [&](ProbeParser& p) { registerGeneration(p, journal, std::to_string(++generation)); };

        parser.parse();
        // Evaluated once, on the whole tree, with the stack already empty.
        EXPECT_EQ(parser.evaluations, 1);
        EXPECT_EQ(parser.stackSizeAtEvaluation, 0u);
        ASSERT_NE(parser.root, nullptr);
        EXPECT_EQ(parser.rootAtEvaluation, parser.root);
        EXPECT_EQ(parser.handleCount(), 5u);
        EXPECT_TRUE(journal.lines.empty());

        Rescan again(parser, goodSource);
        parser.parse();
        EXPECT_EQ(parser.evaluations, 2);
        EXPECT_EQ(journal.lines,
                  (std::vector<std::string>{"1program +tree", "1a", "1b0", "1b1", "1b2"}));
        journal.lines.clear();
    }
    EXPECT_EQ(journal.lines, (std::vector<std::string>{"2program +tree", "2a", "2b0", "2b1", "2b2"}));
}

TEST(ParserOwnership, SyntaxErrorLeavesNoTreeAndNoObjectsAndIsNotEvaluated) {
    Journal journal;
    StringCompile compile(goodSource);
    ProbeParser& parser = compile.parser;
    journal.parser = &parser;
    parser.step = [&](ProbeParser& p) { registerGeneration(p, journal, "ok"); };
    parser.parse();

    {
        Rescan bad(parser, "{ a := 1; \nG1 X5\n");
        EXPECT_THROW(parser.parse(), Parser::Exception);
    }
    EXPECT_EQ(parser.evaluations, 1);
    EXPECT_EQ(journal.lines.size(), 5u); // the first parse's objects went at the reset
    EXPECT_TRUE(parser.stack.empty());
    EXPECT_EQ(parser.root, nullptr);
    EXPECT_EQ(parser.program, nullptr);
    EXPECT_EQ(parser.handleCount(), 0u);

    // A parse after the error starts from nothing.
    Rescan good(parser, goodSource);
    parser.parse();
    EXPECT_EQ(parser.evaluations, 2);
    EXPECT_NE(parser.root, nullptr);
    EXPECT_EQ(parser.handleCount(), 5u);
}

TEST(ParserOwnership, FailedEvaluationLeavesEverythingToTheDestructor) {
    Journal journal;
    {
        StringCompile compile(goodSource);
        ProbeParser& parser = compile.parser;
        journal.parser = &parser;
        parser.step = [&](ProbeParser& p) {
            registerGeneration(p, journal, "");
            // The evaluator attributes nodes in place before it fails.
            p.root->attributes<AstNode_root>().program = p.program;
            throw ExceptionSemantic("Undefined 'a'.", p.root->span());
        };
        try {
            parser.parse();
            ADD_FAILURE() << "the evaluation's error did not pass";
        } catch (const ExceptionSemantic& error) {
            EXPECT_EQ(error.message(), "Undefined 'a'.");
        }
        EXPECT_EQ(parser.evaluations, 1);
        EXPECT_NE(parser.root, nullptr);
        EXPECT_NE(parser.program, nullptr);
        EXPECT_EQ(parser.handleCount(), 5u);
        EXPECT_TRUE(journal.lines.empty());
    }
    // Each exactly once; the tree (checked by the sanitizer build) before the objects.
    EXPECT_EQ(journal.lines, (std::vector<std::string>{"program +tree", "a", "b0", "b1", "b2"}));
}

TEST(ParserOwnership, NeverParsedHoldsNothingAndReleaseProgramDeletesOnce) {
    Journal journal;
    ProbeParser parser(nullptr);
    journal.parser = &parser;
    // Fresh tables: three empty root scopes.
    for (bool empty : {parser.symbols.variables->values().empty(), parser.symbols.types->values().empty(),
                       parser.symbols.functions->values().empty()}) {
        EXPECT_TRUE(empty);
    }
    parser.releaseProgram();
    parser.reset();
    EXPECT_TRUE(journal.lines.empty());
    EXPECT_EQ(parser.handleCount(), 0u);

    parser.program = new TrackedProgram(journal, "program");
    parser.releaseProgram();
    parser.releaseProgram();
    EXPECT_EQ(parser.program, nullptr);
    EXPECT_EQ(journal.lines, (std::vector<std::string>{"program"}));
}

// Registered as the evaluator would register an object that refers to a name of the
// tables; notes, as it dies, whether the name is still there.
struct SymbolWitness {
    ~SymbolWitness() { seen.push_back(parser.symbols.variables->lookup("r1") == r1 ? "r1 at death" : "r1 gone"); }
    const ProbeParser& parser;
    const Variable* r1;
    std::vector<std::string>& seen;
};

TEST(ParserOwnership, SymbolTablesSurviveResetsAndOutliveEveryRegisteredObject) {
    std::vector<std::string> seen;
    {
        StringCompile compile(goodSource);
        ProbeParser& parser = compile.parser;
        // The compile driver enters a host variable before the parse.
        auto* r1 = new Variable(nullptr, "r1", nullptr, 0, VariableAccess::NONE);
        parser.symbols.ownedVariables.push_back(r1);
        parser.symbols.variables->declare("r1", r1);
        parser.step = [&](ProbeParser& p) {
            seen.push_back(p.symbols.variables->lookup("r1") == r1 ? "r1 in evaluation" : "r1 missing");
            p.handle(new SymbolWitness{p, r1, seen});
        };
        parser.parse();
        Rescan again(parser, goodSource);
        parser.parse();
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"r1 in evaluation", "r1 at death", "r1 in evaluation",
                                              "r1 at death"}));
}

// Every node of a parse lives in the parser's arena: the count of nodes is the tree's
// size after a parse and none after a reset or a syntax error.
TEST(ParserOwnership, TreeNodesLiveInTheParsersArenaUntilTheTreeGoes) {
    StringCompile compile(goodSource);
    ProbeParser& parser = compile.parser;
    const AstArena& arena = *parser.nodeArena;
    auto treeSize = [](const Parser::AstNode* root) {
        int64_t count = 0;
        std::vector<const Parser::AstNode*> pending{root};
        while (!pending.empty()) {
            const Parser::AstNode* node = pending.back();
            pending.pop_back();
            ++count;
            for (size_t i = 0; i < node->childCount(); ++i) {
                if (const Parser::AstNode* child = node->childNode(i); child != nullptr) pending.push_back(child);
            }
        }
        return count;
    };
    parser.parse();
    ASSERT_NE(parser.root, nullptr);
    const int64_t nodes = treeSize(parser.root);
    EXPECT_GT(nodes, 5);
    EXPECT_EQ(arena.nodeCount(), nodes);
    parser.reset();
    EXPECT_EQ(arena.nodeCount(), 0);

    Rescan bad(parser, "{ a := 1; \nG1 X5\n");
    EXPECT_THROW(parser.parse(), Parser::Exception);
    EXPECT_EQ(arena.nodeCount(), 0);
}

} // namespace
} // namespace Karsto
