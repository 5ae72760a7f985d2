// The run-file reader, the reader state of a pending runfile call and its table.

#include "gcode/builtins/runfile_reader.h"

#include <cctype>
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
        checkSyntax(token_.is(TokenKind::gcodeAddress), "Expected Identifier");
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
        value = static_cast<double>(parseIntegerLiteral(token_.text, kDecimal));
    } else if (token_.is(TokenKind::gcodeFloat)) {
        // The literal's own range errors are no ExceptionKarsto: they become syntax
        // errors with the same text, so they fail the task like every other reader error.
        try {
            value = parseRealLiteral(token_.text);
        } catch (const std::logic_error& error) { // invalid_argument, out_of_range
            failSyntax("%s", error.what());
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
