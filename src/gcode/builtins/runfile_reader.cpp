// The run-file reader, the reader state of a pending runfile call and its table.

#include "gcode/builtins/runfile_reader.h"

#include <cctype>
#include <charconv>
#include <cinttypes>
#include <stdexcept>
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

bool readPlainInteger(const std::string& text, double& value) {
    if (text.empty() || text.size() > kPlainLengthMax) return false;
    int64_t number = 0;
    for (const char c : text) {
        if (!isDigit(c)) return false;
        number = number * kDecimal + (c - '0');
    }
    value = static_cast<double>(number);
    return true;
}

bool readPlainFloat(const std::string& text, double& value) {
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
            span = readBlock(skipLevel);
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
