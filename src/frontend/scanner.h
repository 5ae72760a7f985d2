#pragma once
// The scanner: a longest-match automaton over the bytes of a ScannerInput that turns them
// into tokens for the parser and the run-file reader. One source mixes G-code and
// Structured Text; the scanner keeps the current notation mode, which some rules switch
// as they match.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/source_span.h"
#include "frontend/scanner_enums.h" // TokenKind and ScannerMode, generated from the scanner's lists
#include "frontend/scanner_input.h"

namespace Karsto {

struct Token {
    bool is(TokenKind k) const { return kind == k; }

    TokenKind kind = TokenKind::skip;
    std::string text;  // the matched bytes as written; empty at the end of the input
    SourceSpan span;   // first matched byte to just after the last
    // Pattern of the matching rule (the keyword for a keyword rule), held in the constant
    // rule table, so tokens copy it freely; empty when no rule matched.
    std::string_view rule;
};

class Scanner {
public:
    // Reads nothing yet. Every user sets G-code mode before the first token.
    explicit Scanner(ScannerInput* scannerInput) : input(scannerInput) {}

    // The next token that is not skipped; at the end of the input "<end>", again on every
    // further call. Consumes the token and may switch the mode.
    Token nextToken();

    // The display name of a token kind; empty for a number that is no kind.
    static std::string tokenName(int32_t kind);
    static std::string tokenName(TokenKind kind) { return tokenName(static_cast<int32_t>(kind)); }

    ScannerInput* input; // not owned
    ScannerMode mode = ScannerMode::combined;
};

} // namespace Karsto
