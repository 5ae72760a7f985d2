#pragma once
// The parser object of one compile. Its syntax-tree classes are nested here so that
// the evaluator and the generated node classes name them Parser::AstNode and
// Parser::AstTerminal.

namespace Karsto {

class Parser {
public:
    class AstNode;
    class AstTerminal;

    Parser() = default;
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;
    virtual ~Parser() = default;
};

} // namespace Karsto
