#pragma once
// The parser object of one compile: the LR stack, the syntax tree with the arena that
// stores it, and every object the compile creates, handed over through Parser::handle
// (typed handles, Parser::Handle and Parser::HandleTyped<T>) and deleted in registration
// order. Its syntax-tree classes are nested here so that the evaluator names them
// Parser::AstNode and Parser::AstChild (frontend/ast_node.h).

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "core/handle_owner.h"
#include "core/source_span.h"

namespace Karsto {

class AstArena;

class Parser : public HandleOwner {
public:
    class AstNode;
    class Exception;

    // One child slot, eight bytes: a node pointer, or a token's begin and end offsets in the
    // expanded input (a token's text is exactly the input between them).
    class AstChild {
    public:
        AstChild() = default;
        static AstChild ofNode(AstNode* node) { return AstChild(reinterpret_cast<uintptr_t>(node)); }
        static AstChild ofToken(uint32_t begin, uint32_t end) {
            return AstChild((uint64_t{end} << 32) | (uint64_t{begin} << 1) | 1u);
        }

        bool empty() const { return bits_ == 0; }
        bool isToken() const { return (bits_ & 1u) != 0; }
        // Null for a token.
        AstNode* node() const { return isToken() ? nullptr : reinterpret_cast<AstNode*>(static_cast<uintptr_t>(bits_)); }
        uint32_t begin() const;
        uint32_t end() const;

        friend bool operator==(AstChild a, AstChild b) { return a.bits_ == b.bits_; }

    private:
        explicit AstChild(uint64_t bits) : bits_(bits) {}
        uint64_t bits_ = 0;
    };

    // One LR stack entry: the state and the node or token of the symbol that entered it
    // (none for the bottom entry, state 0).
    struct StackEntry {
        uint16_t state = 0;
        AstChild child;
    };

    Parser();
    // Frees the stack, the tree with its arena and the handles' storage. A subclass
    // resets first, so the tree and the stack are normally empty here.
    ~Parser() override;

    virtual void parse() = 0;
    virtual void releaseProgram() = 0;

    std::vector<StackEntry> stack; // empty between parses
    AstNode* root = nullptr;       // the tree of the last successful parse
    // Storage of the nodes the parse creates, freed as a whole by the next reset and by
    // the parser's destruction; no node outlives its parser.
    std::unique_ptr<AstArena> nodeArena;
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
