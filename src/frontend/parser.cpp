#include "frontend/parser.h"

#include <utility>

#include "frontend/ast_arena.h"

namespace Karsto {

Parser::Parser() : nodeArena(std::make_unique<AstArena>()) {}

Parser::~Parser() = default;

Parser::Exception::Exception(std::string errorMessage, const SourceSpan& errorSpan)
    : message(std::move(errorMessage)), text(errorSpan.toString() + ": " + message), span(errorSpan) {}

} // namespace Karsto
