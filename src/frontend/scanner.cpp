#include "frontend/scanner.h"

#include <string_view>

namespace Karsto {

namespace {

#include "frontend/scanner_tables.inc"

constexpr int32_t kByteCount = 256;

} // namespace

Token Scanner::nextToken() {
    while (true) {
        int32_t state = kModeStart[static_cast<int32_t>(mode)];
        int32_t count = 0;
        int32_t matchRule = -1;
        int32_t matchLength = 0;
        // Read directly where the input has its bytes at hand, through peek past them.
        std::string_view bytes = input->ahead();
        while (true) {
            int32_t accepted = kAccept[state];
            if (accepted >= 0) {
                matchRule = accepted;
                matchLength = count;
            }
            int16_t byte = 0;
            if (static_cast<size_t>(count) < bytes.size()) {
                byte = static_cast<unsigned char>(bytes[static_cast<size_t>(count)]);
            } else {
                byte = input->peek(count);
                bytes = input->ahead(); // a windowed input may have moved its window
            }
            if (byte < 0) break;
            // The count rises before the transition: a byte without one still counts as
            // examined for the no-match token.
            ++count;
            state = kTransitions[state * kByteCount + byte];
            if (state < 0) break;
        }

        Token token;
        if (matchRule >= 0) {
            // A switching rule switches even when its match is skipped.
            if (kRuleNewMode[matchRule] >= 0) mode = static_cast<ScannerMode>(kRuleNewMode[matchRule]);
            if (kRuleKind[matchRule] == 0) {
                input->advance(matchLength);
                continue;
            }
            token.kind = static_cast<TokenKind>(kRuleKind[matchRule]);
            token.text = input->text(matchLength);
            // Moved in, not copied: a position holds the file name.
            token.span.valid = true;
            token.span.begin = input->location(0);
            token.span.end = input->location(matchLength);
            token.rule = kRulePattern[matchRule];
            input->advance(matchLength);
            return token;
        }
        // Neither case consumes anything: "<end>" comes back on every further call.
        if (input->peek(0) < 0) {
            token.kind = TokenKind::end;
            SourcePosition here = input->location(0);
            token.span = SourceSpan(here, here);
            return token;
        }
        token.kind = TokenKind::noMatch;
        token.text = input->text(count);
        token.span = SourceSpan(input->location(0), input->location(count));
        return token;
    }
}

std::string Scanner::tokenName(int32_t kind) {
    if (kind < 0 || kind >= kTokenKindCount) return {};
    return kTokenNames[kind];
}

} // namespace Karsto
