#pragma once
// The parser object of one compile. Its syntax-tree classes are nested here so that
// the evaluator and the generated node classes name them Parser::AstNode and
// Parser::AstTerminal. It owns every object the compile creates: handed over through
// Parser::handle (typed handles, Parser::Handle and Parser::HandleTyped<T>), deleted in
// registration order.

#include "core/handle_owner.h"

namespace Karsto {

class Parser : public HandleOwner {
public:
    class AstNode;
    class AstTerminal;

    Parser() = default;
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;
    virtual ~Parser() = default;
};

} // namespace Karsto
