// The walk itself, with actions of the test's own over a parsed tree: the order of the
// steps, and what leaves the walk when an action throws.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/exception.h"
#include "evaluator/evaluator.h"
#include "frontend/grammar_symbols.h"
#include "frontend/probe_parser.h"
#include "support/jyx_harness.h"

namespace Karsto {
namespace {

using Step = std::pair<const Parser::AstNode*, int32_t>;

std::vector<Step> visited;
const Parser::AstNode* failAt = nullptr; // the node whose entry throws
void (*raise)(const Parser::AstNode&) = nullptr;

void recordingAction(Evaluator&, Parser::AstNode& node, int32_t step) {
    visited.emplace_back(&node, step);
    if (&node == failAt && step == -1) raise(node);
}

// The order of the definition: entry, then after each symbol, children entered in
// place (a test of the iterative walk against the recursive statement of it).
void expectedSteps(const Parser::AstNode* node, std::vector<Step>& out) {
    out.emplace_back(node, -1);
    for (size_t i = 0; i < node->childCount(); ++i) {
        if (const Parser::AstNode* child = node->childNode(i)) expectedSteps(child, out);
        out.emplace_back(node, static_cast<int32_t>(i));
    }
}

// The first node of the production, depth first.
Parser::AstNode* findNode(Parser::AstNode* node, Prod production) {
    if (node->production() == static_cast<int32_t>(production)) return node;
    for (size_t i = 0; i < node->childCount(); ++i) {
        if (Parser::AstNode* child = node->childNode(i))
            if (Parser::AstNode* found = findNode(child, production)) return found;
    }
    return nullptr;
}

// Parses the source and runs one walk of the recording action from the root.
template <class Check>
void walkSource(const std::string& source, Check check) {
    StringCompile compile(source);
    compile.parser.step = [&](ProbeParser& parser) {
        visited.clear();
        check(parser);
    };
    compile.parser.parse();
    EXPECT_EQ(compile.parser.evaluations, 1);
}

TEST(EvaluatorWalk, EntersEveryNodeOnceAndRunsEveryStepInOrder) {
    for (const std::string source : {"N10 G1 X10 Y-5.5\n/3 G0 X=1+2*R1\n", "{;}\n\n", "G1 X{2}\n"}) {
        SCOPED_TRACE(source);
        walkSource(source, [](ProbeParser& parser) {
            failAt = nullptr;
            Evaluator evaluator(parser, Walk::declare);
            runWalk(evaluator, parser.root, recordingAction);
            std::vector<Step> expected;
            expectedSteps(parser.root, expected);
            EXPECT_EQ(visited, expected);
        });
    }
}

TEST(EvaluatorWalk, ASemanticErrorTakesTheSpanOfTheNodeWhoseActionRan) {
    walkSource("G1 X=2*3\n", [](ProbeParser& parser) {
        failAt = findNode(parser.root, Prod::gterm_1);
        ASSERT_NE(failAt, nullptr);
        raise = [](const Parser::AstNode&) {
            SourcePosition begin{"inner.jyx", 7, 3, 0, 0, false};
            SourcePosition end{"inner.jyx", 7, 9, 6, 6, false};
            throw ExceptionSemantic("inner failure", SourceSpan(begin, end));
        };
        Evaluator evaluator(parser, Walk::compile);
        try {
            runWalk(evaluator, parser.root, recordingAction);
            FAIL() << "no exception";
        } catch (const ExceptionSemantic& error) {
            EXPECT_EQ(error.span().toString(), failAt->span().toString());
            EXPECT_EQ(error.message(), "inner failure");
            EXPECT_EQ(std::string(error.what()), failAt->span().toString() + ": inner failure");
        }
        // Nothing after the failing entry ran.
        EXPECT_EQ(visited.back(), Step(failAt, -1));
    });
}

TEST(EvaluatorWalk, OtherExceptionsPassUnchanged) {
    walkSource("G1 X=2*3\n", [](ProbeParser& parser) {
        failAt = findNode(parser.root, Prod::gterm_1);
        raise = [](const Parser::AstNode&) { throw std::out_of_range("stod argument out of range"); };
        Evaluator evaluator(parser, Walk::declare);
        EXPECT_THROW(
            {
                try {
                    runWalk(evaluator, parser.root, recordingAction);
                } catch (const std::out_of_range& error) {
                    EXPECT_STREQ(error.what(), "stod argument out of range");
                    throw;
                }
            },
            std::out_of_range);
        raise = [](const Parser::AstNode&) { throw ExceptionRuntime("at run time", SourceSpan()); };
        EXPECT_THROW(runWalk(evaluator, parser.root, recordingAction), ExceptionRuntime);
    });
}

} // namespace
} // namespace Karsto
