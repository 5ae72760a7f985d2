#pragma once
// The semantic evaluator: two walks over the syntax tree of one parse, the first
// declaring, the second compiling, each entering every node once, depth first and left
// to right, without native recursion. At every step of a node the walk runs the action
// of the node's production for that step (see runWalk); the actions live in one source
// file per area of the language and are reached through one dispatch over Prod.

#include <cstdint>

#include "frontend/ast_node.h"
#include "frontend/jyx_parser.h"

namespace Karsto {

enum class Walk : int32_t {
    declare = 1, // names, types, scopes, labels, G-code records
    compile = 2, // statement and expression code, the Program
};

// What an action sees besides its node: the parser of the compile (owner of everything
// the walks create, holder of the symbol tables and of the result) and the walk.
class Evaluator {
public:
    Evaluator(JyxParser& compileParser, Walk currentWalk) : parser(compileParser), walk(currentWalk) {}

    bool declaring() const { return walk == Walk::declare; }
    bool compiling() const { return walk == Walk::compile; }
    // Hands a new object to the parser, which frees it with the tree.
    template <class T>
    T* handle(T* object) {
        return parser.handle(object);
    }

    JyxParser& parser;
    const Walk walk;
    // Set by an action at step -1 that did the whole node's work itself: the walk then
    // leaves the node at once, without entering its children (nor making their records).
    bool passOverChildren = false;
};

// The action of a production at one step: step -1 on entering the node, step s after
// symbol s (a token, or a child that has just been finished), so the action of step s
// runs between symbols s and s + 1.
using EvaluatorAction = void (*)(Evaluator& evaluator, Parser::AstNode& node, int32_t step);

// One walk from the root. The walk's whole state is the current node and the step: a
// token is passed over (the step advances on the same node), a child node is entered
// at step -1, and a finished node hands back to its parent at the step of its own
// index. An action at step -1 may set passOverChildren, and the node is left at once.
// An ExceptionSemantic leaving an action is raised again with the span of the
// node whose action was running; every other exception passes unchanged.
void runWalk(Evaluator& evaluator, Parser::AstNode* root, EvaluatorAction action);

// The action of every production: one switch over Prod (evaluator_dispatch.cpp).
void evaluateProduction(Evaluator& evaluator, Parser::AstNode& node, int32_t step);

} // namespace Karsto
