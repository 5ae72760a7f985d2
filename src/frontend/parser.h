#pragma once
// The parser object of one compile: the LR stack, the root of the syntax tree and every
// object the compile creates, handed over through Parser::handle (typed handles,
// Parser::Handle and Parser::HandleTyped<T>) and deleted in registration order. Its
// syntax-tree classes are nested here so that the evaluator and the generated node
// classes name them Parser::AstNode and Parser::AstTerminal.

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "core/handle_owner.h"
#include "core/source_span.h"
#include "frontend/ast_arena.h"

namespace Karsto {

class Parser : public HandleOwner {
public:
    class AstNode;
    class AstTerminal;
    class Exception;

    // One LR stack entry: the state and the node of the symbol that entered it (none
    // for the bottom entry, state 0).
    struct StackEntry {
        uint16_t state = 0;
        AstNode* node = nullptr;
    };

    Parser() = default;
    // Frees the storage of the stack and the handles. A subclass resets first, so the
    // tree and the stack are normally empty here; whatever is left is still freed.
    ~Parser() override;

    virtual void parse() = 0;
    virtual void releaseProgram() = 0;

    std::vector<StackEntry> stack; // empty between parses
    AstNode* root = nullptr;       // the tree of the last successful parse
    // Storage of the nodes the parse creates; reused once a reset has deleted them all.
    AstArenaHolder nodeArena;
};

// A syntax error: the message and the span of the offending token. Not one of the
// compile errors of the core; the host rethrows it as a syntax error with the same
// message and span.
class Parser::Exception : public std::exception {
public:
    Exception(std::string errorMessage, const SourceSpan& errorSpan);

    // The span text, ": " and the message.
    const char* what() const noexcept override { return text.c_str(); }

    std::string message;
    std::string text;
    SourceSpan span;
};

} // namespace Karsto
