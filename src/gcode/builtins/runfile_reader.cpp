// The run-file reader, the reader state of a pending runfile call and its table.

#include "gcode/builtins/runfile_reader.h"

#include <cctype>
#include <charconv>
#include <cinttypes>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "core/exception.h"
#include "core/literals.h"
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

// Nearly every number of a run file is plain: decimal digits, for a float with one point
// among them. Read here without the copy and the C conversion of the literal parsers;
// both round the decimal text correctly, so the value is theirs. At this length no range
// error is possible. Other texts (underscores, exponents, longer ones) go to the parsers.
constexpr size_t kPlainLengthMax = 17;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool readPlainInteger(std::string_view text, double& value) {
    if (text.empty() || text.size() > kPlainLengthMax) return false;
    int64_t number = 0;
    for (const char c : text) {
        if (!isDigit(c)) return false;
        number = number * kDecimal + (c - '0');
    }
    value = static_cast<double>(number);
    return true;
}

bool readPlainFloat(std::string_view text, double& value) {
    if (text.size() > kPlainLengthMax) return false;
    bool point = false;
    bool digit = false;
    for (const char c : text) {
        if (isDigit(c)) digit = true;
        else if (c == '.' && !point) point = true;
        else return false;
    }
    if (!digit) return false;
    const char* end = text.data() + text.size();
    const std::from_chars_result read = std::from_chars(text.data(), end, value);
    return read.ec == std::errc() && read.ptr == end;
}

// The direct reading of plain lines: the longest line and the longest run of line ends it
// takes, and the file offset from which on every line goes through the scanner, far below
// the input's offset limit, whose error stays the scanner's.
constexpr int32_t kPlainLineMax = 256;
constexpr int32_t kPlainLineEndsMax = 4096;
constexpr int32_t kPlainOffsetMax = int32_t{1} << 30;

bool isBlankOrTab(char c) { return c == ' ' || c == '\t'; }
bool isLineEnd(int16_t c) { return c == '\n' || c == '\r'; }
// A letter in lower case; anything else unchanged.
int16_t lowerLetter(int16_t c) { return c >= 'A' && c <= 'Z' ? static_cast<int16_t>(c - 'A' + 'a') : c; }
bool isLetter(int16_t c) {
    const int16_t lower = lowerLetter(c);
    return lower >= 'a' && lower <= 'z';
}

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

    words_.clear();
    int32_t at = 0;
    const auto peek = [&line, lineEnd](int32_t i) { return i < lineEnd ? line[i] : '\n'; };
    const auto skipBlanks = [&at, &peek] {
        while (isBlankOrTab(peek(at))) ++at;
    };
    skipBlanks();
    const int32_t first = at;
    while (at < lineEnd) {
        // The address: one letter (a letter or underscore after it fails the number
        // below). Q and R take the digits after them into the address.
        const int16_t letter = lowerLetter(peek(at));
        if (!isLetter(letter) || letter == 'q' || letter == 'r') return false;
        ++at;
        skipBlanks();
        if (peek(at) == '=') {
            ++at;
            skipBlanks();
        }
        const bool negative = peek(at) == '-';
        if (negative) {
            ++at;
            skipBlanks();
        }
        // The number: digits with at most one point among them, ending where the scanner
        // ends it, so no exponent may follow (an underscore or a further point fails the
        // next word).
        const int32_t start = at;
        bool point = false;
        for (char d = peek(at); isDigit(d) || (d == '.' && !point); d = peek(at)) {
            point = point || d == '.';
            ++at;
        }
        if (peek(at) == 'e' || peek(at) == 'E') return false;
        double value = 0.0;
        const std::string_view text(line + start, static_cast<size_t>(at - start));
        if (!(point ? readPlainFloat(text, value) : readPlainInteger(text, value))) return false;
        GCodeWord& word = words_.emplace_back();
        word.name.assign(1, static_cast<char>(letter));
        word.value = negative ? -value : value;
        skipBlanks();
    }

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
