#pragma once
// The reader of run files: plain G-code blocks with literal values, scanned in G-code mode
// through the streaming file input and handed to the channel's processor exactly as a
// compiled block reaches it, at most kBlocksPerCall blocks per call so that a file of any
// length is fed in batches. Also the reader state of a pending runfile call and the
// processor's table of those states.
// Included by the runfile built-in, the processor's sources, tests, fuzz and bench only.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/gprocessor.h"
#include "frontend/plain_gcode_line.h"
#include "frontend/scanner.h"

namespace Karsto {

class GProcessorNc2;
class ScannerInputFileStream;

class RunfileReader {
public:
    static constexpr int32_t kBlocksPerCall = 100;

    // consumer and input are not owned and must outlive the reader.
    RunfileReader(GProcessor* consumer, ScannerInputFileStream* input);

    // Reads and executes up to kBlocksPerCall blocks; fewer when the consumer reports
    // itself stalled, when a block requested the program's end, or at the end of the file.
    // Errors carry the span of the last token read, or the block's span when the consumer
    // raised them; blocks executed before stay executed.
    void readBlocks();
    // Whether the end of the file was reached.
    bool done() const { return done_; }

    // On: a plain line (address letters with plain numbers, blanks and tabs, its line
    // ends) is read without the scanner, with the words, spans and state the scanner
    // would give; every other line goes through the scanner. Off: every line does, the
    // reference the direct reading is tested against.
    bool directPlainLines = true;

private:
    // Reads one block's tokens into words_ and the skip level; returns its span.
    SourceSpan readBlock(int32_t& skipLevel);
    // Reads a plain line into words_ and span as readBlock would; false, with nothing
    // consumed, for any other line.
    bool readPlainLine(SourceSpan& span);
    double readValue();
    void advance();

    GProcessor* consumer_;
    ScannerInputFileStream* input_;
    std::unique_ptr<Scanner> scanner_;
    Token token_;
    std::vector<GCodeWord> words_; // reused between blocks
    std::vector<PlainGcodeWord> plainWords_; // scratch of readPlainLine
    bool done_ = false;
};

// The reader state of one pending runfile call: the open file and its reader.
class RunfileContext {
public:
    // Opens path (as the file input opens every name): "Can not open file '%s'"
    // (ExceptionSyntax) when it cannot be opened.
    RunfileContext(GProcessorNc2* processor, std::string path);
    ~RunfileContext();
    RunfileContext(const RunfileContext&) = delete;
    RunfileContext& operator=(const RunfileContext&) = delete;

    RunfileReader& reader() { return *reader_; }

private:
    std::unique_ptr<ScannerInputFileStream> input_;
    std::unique_ptr<RunfileReader> reader_;
};

// The pending runfile calls of a channel by handle (never 0, the null address of a fresh
// context cell). A call that fails or is reset never reaches the end of its file, so its
// state lives here until the call finishes, the channel resets or the processor goes.
class RunfileContexts {
public:
    int64_t add(std::unique_ptr<RunfileContext> context);
    // "Invalid run-file context %lld" for a handle that is not pending.
    RunfileContext& at(int64_t handle);
    void release(int64_t handle) { pending_.erase(handle); }
    void clear() { pending_.clear(); }
    size_t size() const { return pending_.size(); }

private:
    std::map<int64_t, std::unique_ptr<RunfileContext>> pending_;
    int64_t next_ = 1;
};

} // namespace Karsto
