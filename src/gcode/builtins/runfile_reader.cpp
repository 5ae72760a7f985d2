// The run-file reader, the reader state of a pending runfile call and its table.

#include "gcode/builtins/runfile_reader.h"

#include <cctype>
#include <cinttypes>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "core/exception.h"
#include "core/literals.h"
#include "frontend/plain_gcode_line.h"
#include "frontend/scanner_input.h"
#include "gcode/gprocessor_nc2.h"

namespace Karsto {

namespace {

constexpr int32_t kDecimal = 10;
constexpr int32_t kNoSkipMark = -1;
constexpr int32_t kBareSkipMark = 0;

void toLower(std::string& text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// The direct reading of plain lines: the longest line and the longest run of line ends it
// takes, and the file offset from which on every line goes through the scanner, far below
// the input's offset limit, whose error stays the scanner's.
constexpr int32_t kPlainLineMax = 256;
constexpr int32_t kPlainLineEndsMax = 4096;
constexpr int32_t kPlainOffsetMax = int32_t{1} << 30;

bool isLineEnd(int16_t c) { return c == '\n' || c == '\r'; }
// A letter in lower case; anything else unchanged.
int16_t lowerLetter(int16_t c) { return c >= 'A' && c <= 'Z' ? static_cast<int16_t>(c - 'A' + 'a') : c; }

} // namespace

RunfileReader::RunfileReader(GProcessor* consumer, ScannerInputFileStream* input)
    : consumer_(consumer), input_(input), scanner_(std::make_unique<Scanner>(input)) {
    scanner_->mode = ScannerMode::gcode;
}

void RunfileReader::advance() { token_ = scanner_->nextToken(); }

void RunfileReader::readBlocks() {
    if (done_) return;
    for (int32_t count = 0; count < kBlocksPerCall; ++count) {
        if (consumer_->isStalled()) return;
        int32_t skipLevel = kNoSkipMark;
        SourceSpan span;
        try {
            if (!readPlainLine(span)) span = readBlock(skipLevel);
        } catch (ExceptionKarsto& error) {
            // Before the file's first token the place is where the file begins.
            const SourcePosition start = token_.span.valid ? SourcePosition() : input_->location(0);
            error.setSpan(token_.span.valid ? token_.span : SourceSpan(start, start));
            throw;
        }
        try {
            consumer_->executeBlock(skipLevel, words_, span);
        } catch (ExceptionKarsto& error) {
            error.setSpan(span);
            throw;
        }
        if (token_.is(TokenKind::end)) {
            done_ = true;
            return;
        }
        // The end jump reset the machine under the call: nothing more of this file runs.
        if (consumer_->programEndRequested()) return;
    }
}

bool RunfileReader::readPlainLine(SourceSpan& span) {
    if (!directPlainLines || scanner_->mode != ScannerMode::gcode) return false;
    // The line up to its first line end (or the file's end), each byte looked at once:
    // from the bytes at hand, through peek past them (which may move them, so in order).
    const std::string_view atHand = input_->ahead();
    const auto byteAt = [this, &atHand](int32_t i) -> int16_t {
        if (static_cast<size_t>(i) < atHand.size()) return static_cast<unsigned char>(atHand[static_cast<size_t>(i)]);
        return input_->peek(i);
    };
    char line[kPlainLineMax];
    int32_t lineEnd = 0;
    int16_t c = byteAt(0);
    for (; c >= 0 && !isLineEnd(c); c = byteAt(lineEnd)) {
        if (lineEnd == kPlainLineMax) return false;
        line[lineEnd++] = static_cast<char>(c);
    }
    int32_t next = lineEnd;
    for (; isLineEnd(c); c = byteAt(next)) {
        if (++next - lineEnd > kPlainLineEndsMax) return false;
    }

    if (!readPlainGcodeWords(std::string_view(line, static_cast<size_t>(lineEnd)), true, plainWords_)) return false;
    words_.clear();
    for (const PlainGcodeWord& plain : plainWords_) {
        const std::string_view text(line + plain.numberBegin, plain.numberEnd - plain.numberBegin);
        double value = 0.0;
        if (!readPlainNumber(text, value)) return false;
        GCodeWord& word = words_.emplace_back();
        word.name.assign(1, static_cast<char>(lowerLetter(line[plain.letter])));
        word.value = plain.negated ? -value : value;
    }
    // The block begins at its first word, or where a line of blanks ends.
    const int32_t first = plainWords_.empty() ? lineEnd : static_cast<int32_t>(plainWords_.front().letter);

    const SourcePosition here = input_->location(0);
    if (here.offset > kPlainOffsetMax) return false;
    // Up to the line end there is no line feed: only columns and offsets move.
    const auto ahead = [&here](int32_t n) {
        SourcePosition position = here;
        position.column += n;
        position.offset += n;
        position.inputOffset += n;
        return position;
    };
    const SourcePosition stop = ahead(lineEnd);
    // What the scanner leaves: the line's last token is its run of line ends, or the end
    // of the file.
    token_.kind = next > lineEnd ? TokenKind::newline : TokenKind::end;
    token_.text.clear();
    for (int32_t i = lineEnd; i < next; ++i) token_.text += static_cast<char>(input_->peek(i));
    token_.span = SourceSpan(stop, next > lineEnd ? input_->location(next) : stop);
    token_.rule = {};
    span = SourceSpan(ahead(first), token_.span.end);
    input_->advance(next);
    return true;
}

SourceSpan RunfileReader::readBlock(int32_t& skipLevel) {
    words_.clear();
    advance();
    if (token_.is(TokenKind::gcodeDivide)) {
        advance();
        skipLevel = kBareSkipMark;
        if (token_.is(TokenKind::gcodeInteger)) {
            skipLevel = static_cast<int32_t>(parseIntegerLiteral(token_.text, kDecimal));
            advance();
        }
    }
    const SourcePosition begin = token_.span.begin;
    while (!token_.is(TokenKind::newline) && !token_.is(TokenKind::end)) {
        if (!token_.is(TokenKind::gcodeAddress)) failSyntax("Expected Identifier");
        GCodeWord& word = words_.emplace_back();
        word.name = token_.text;
        toLower(word.name);
        advance();
        word.value = readValue();
    }
    return SourceSpan(begin, token_.span.end);
}

double RunfileReader::readValue() {
    if (token_.is(TokenKind::gcodeAssign)) advance();
    const bool negative = token_.is(TokenKind::gcodeMinus);
    if (negative) advance();
    double value = 0.0;
    if (token_.is(TokenKind::gcodeInteger)) {
        if (!readPlainInteger(token_.text, value))
            value = static_cast<double>(parseIntegerLiteral(token_.text, kDecimal));
    } else if (token_.is(TokenKind::gcodeFloat)) {
        // The literal's own range errors are no ExceptionKarsto: they become syntax
        // errors with the same text, so they fail the task like every other reader error.
        if (!readPlainFloat(token_.text, value)) {
            try {
                value = parseRealLiteral(token_.text);
            } catch (const std::logic_error& error) { // invalid_argument, out_of_range
                failSyntax("%s", error.what());
            }
        }
    } else {
        failSyntax("Expected number");
    }
    advance();
    return negative ? -value : value;
}

RunfileContext::RunfileContext(GProcessorNc2* processor, std::string path)
    : input_(std::make_unique<ScannerInputFileStream>()) {
    input_->open(path); // maps '\' separators itself; messages show path as written
    reader_ = std::make_unique<RunfileReader>(processor, input_.get());
}

RunfileContext::~RunfileContext() = default;

int64_t RunfileContexts::add(std::unique_ptr<RunfileContext> context) {
    const int64_t handle = next_++;
    pending_.emplace(handle, std::move(context));
    return handle;
}

RunfileContext& RunfileContexts::at(int64_t handle) {
    auto it = pending_.find(handle);
    if (it == pending_.end()) failRuntime("Invalid run-file context %" PRId64, handle);
    return *it->second;
}

} // namespace Karsto
