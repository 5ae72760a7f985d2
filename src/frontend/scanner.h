#pragma once
// The scanner: a longest-match automaton over the bytes of a ScannerInput that turns them
// into tokens for the parser and the run-file reader. One source mixes G-code and
// Structured Text; the scanner keeps the current notation mode, which some rules switch
// as they match.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/source_span.h"
#include "frontend/scanner_input.h"

namespace Karsto {

// The token kinds that the scanner itself and the readers of its tokens name. Every kind
// (0 to 182) and its display name is listed in token_kinds.txt; the parser tables are
// indexed by the same ids.
enum class TokenKind : int32_t {
    noMatch = 1, // nothing matched; cannot happen with the shipped rules
    end = 2,
    newline = 3,
    gcodeInteger = 4,
    gcodeFloat = 5,
    gcodeAssign = 6,
    gcodePlus = 7,
    gcodeMinus = 8,
    gcodeTimes = 9,
    gcodeDivide = 10,
    gcodeAddress = 11,
    invalid = 182, // one byte that begins no token
};

struct Token {
    bool is(TokenKind k) const { return kind == static_cast<int32_t>(k); }

    int32_t kind = 0;
    std::string text;  // the matched bytes as written; empty at the end of the input
    SourceSpan span;   // first matched byte to just after the last
    // Pattern of the matching rule (the keyword for a keyword rule), held in the constant
    // rule table, so tokens copy it freely; empty when no rule matched.
    std::string_view rule;
};

// Values index the generated start-state table: keep them in step with the mode list
// of the scanner generator.
enum class ScannerMode : int32_t {
    gcode = 0,               // G-code blocks, one per line: where every compile starts
    structuredText = 1,      // after "{"; line ends are white space
    structuredTextLine = 2,  // after "!" in G-code, up to the line end
    gcodeLine = 3,           // after "!" in Structured Text, up to the line end
    innerStructuredText = 4, // after "{" in a G-code line, up to "}"
    combined = 5,            // every rule at once; only the constructor's default
};

class Scanner {
public:
    // Reads nothing yet. Every user sets G-code mode before the first token.
    explicit Scanner(ScannerInput* scannerInput) : input(scannerInput) {}

    // The next token that is not skipped; at the end of the input "<end>", again on every
    // further call. Consumes the token and may switch the mode.
    Token nextToken();

    // The display name of a token kind (0 to 182); empty for any other number.
    static std::string tokenName(int32_t kind);

    ScannerInput* input; // not owned
    ScannerMode mode = ScannerMode::combined;
};

} // namespace Karsto
