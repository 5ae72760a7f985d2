#pragma once
// Where the scanner reads its bytes from: the whole include-expanded source of a compile
// (ScannerInputFile), or one plain file through a sliding window (ScannerInputFileStream).
//
// Files are read in binary mode: a carriage return stays in the text and only a line
// feed ends a line. File names are compared byte for byte; on Linux they are also opened
// case-sensitively, so "Inc.jyx" and "inc.jyx" are two files.

#include <cstdint>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/source_span.h"

namespace Karsto {

// Directories searched for relative main files, angle-bracket includes and run files, in
// order. Each entry ends in a separator: a file name is appended to it directly. Empty at
// program start; the host fills it before anything is compiled.
extern std::vector<std::string> includeSearchPaths;

// The data directory of tool-data files and the snapshot file, without a trailing
// separator. Empty until the program entry calls setDefaultDataPathFromEnvironment.
extern std::string defaultDataPath;

// Sets defaultDataPath from the environment: VORDASH_DATA_DIR when set, else
// $XDG_DATA_HOME/vordash/data, else ~/.local/share/vordash/data; a user directory, so
// every mode runs without root rights. Creates the directory when it is missing; a
// directory that cannot be created is left to fail where it is used, with that file's
// own message. Returns the path set.
const std::string& setDefaultDataPathFromEnvironment();

struct PathParts {
    std::string directory; // up to and including the last '\' or '/'; empty without one
    std::string name;      // the rest
    bool absolute = false; // ":\" or ":/" anywhere, a leading "\\", or a leading '/'
};

PathParts splitPath(std::string_view path);

class ScannerInput {
public:
    virtual ~ScannerInput() = default;
    // The byte n positions ahead as 0 to 255; -1 at or past the end of the input.
    virtual int16_t peek(int32_t n) = 0;
    // The next n bytes (fewer at the end), not consumed.
    virtual std::string text(int32_t n) = 0;
    virtual void advance(int32_t n) = 0;
    // The position of the point n bytes ahead.
    virtual SourcePosition location(int32_t n) = 0;
    // The bytes from the current point that are in memory now, byte i being peek(i), for
    // a reader that scans them without a call per byte. May end before the input does
    // (empty: none at hand); valid until the next call on the input.
    virtual std::string_view ahead() { return {}; }
};

// The source of one compile: the main file with every "#include" line replaced by the
// included file's expanded text, each file's part closed by one extra line feed.
class ScannerInputFile : public ScannerInput {
public:
    ScannerInputFile() = default;
    ScannerInputFile(const ScannerInputFile& other);
    ScannerInputFile& operator=(const ScannerInputFile& other);

    // Starts afresh and reads the main file; a relative name is looked up only through
    // includeSearchPaths. On an error the partly built text stays; discard the input.
    void load(const std::string& path);
    // Appends one file, expanded. With searchPaths the name is looked up through
    // includeSearchPaths and must be relative; else it is opened as given.
    void readFile(const std::string& path, bool searchPaths);

    int16_t peek(int32_t n) override;
    std::string text(int32_t n) override;
    void advance(int32_t n) override;
    SourcePosition location(int32_t n) override;
    std::string_view ahead() override;

    // The next n bytes of the listing copy, in which scrambled files show only stars
    // and their line ends.
    virtual std::string listingText(int32_t n);
    // The position of an offset in the expanded text.
    virtual SourcePosition locationAt(int32_t offset);
    // The same without touching the input, for readers of a finished input that may share
    // it: hint is the caller's own memory of the line entry found last (start at 0).
    SourcePosition positionAt(int32_t offset, size_t& hint) const;

    const std::string& expandedText() const { return text_; }
    // The whole listing copy; the text itself while no scrambled file was read.
    const std::string& listing() const { return starred_ ? listing_ : text_; }

private:
    struct FilePart;
    struct Inclusion;
    // directive: the "#include" that names the file, for the place of errors about it
    // (none for the main file).
    FilePart openPart(const std::string& path, bool searchPaths, const SourceSpan& directive);
    // Appends the part's text up to its next directive (or its end) and reads that
    // directive; false when the part had no directive left.
    bool expandStep(FilePart& part, Inclusion& inclusion);
    void enterLineStarts(FilePart& part, size_t end);
    void appendText(FilePart& part, size_t end);
    void enterPartEnd(const FilePart& part);
    // The part's bytes: its content, or the text it was moved to.
    std::string_view bytesOf(const FilePart& part) const;
    SourceSpan directiveSpan(const FilePart& part, size_t directive, size_t end) const;
    // Refuses to grow the expanded text past what int32 offsets and columns can address.
    void checkRoom(size_t extra, const std::string& path) const;

    std::string text_;
    std::string listing_; // kept apart only once a scrambled file was read (starred_)
    bool starred_ = false;
    int32_t current_ = 0;
    // The position at the start of each line of each file part, by expanded-text offset
    // (the key), ascending; a CAM program has millions of lines, so an entry is 20 bytes
    // and names its file by index.
    struct LineStart {
        int32_t key;
        int32_t line;
        int32_t column;
        int32_t offset;
        uint16_t file; // index into lineFiles_
        bool scrambled;
    };
    // Sets the position at key, replacing one already there.
    void setLineStart(int32_t key, const SourcePosition& position);
    std::vector<LineStart> lineStarts_;
    std::vector<SharedString> lineFiles_;
    // The entry found last: the scanner asks for positions in ascending order, so the
    // next question is almost always answered by it or the entry after it.
    size_t lastLineStart_ = 0;
    std::set<std::string> filesInExpansion_;
};

// One plain file read through a 1 MiB window, counting lines and columns as it goes; the
// run-file reader's input. Expands nothing and never unscrambles.
class ScannerInputFileStream : public ScannerInput {
public:
    static constexpr int32_t windowSize = 0x100000;

    ScannerInputFileStream();
    ~ScannerInputFileStream() override;
    ScannerInputFileStream(const ScannerInputFileStream&) = delete;
    ScannerInputFileStream& operator=(const ScannerInputFileStream&) = delete;

    // An absolute name is opened directly, a relative one under each search path in turn.
    void open(const std::string& name);

    // Each look-ahead must fit the window: peek(n) needs n + 1 bytes, so it works up to
    // n = windowSize - 1.
    int16_t peek(int32_t n) override;
    std::string text(int32_t n) override;
    void advance(int32_t n) override;
    SourcePosition location(int32_t n) override;
    std::string_view ahead() override;

private:
    // Makes n bytes from position_ available (fewer at the end of the file).
    void fill(int32_t n);
    // Offsets and columns are int32: reading on past 2 GiB is refused instead of wrapping.
    void checkOffset(int64_t end) const;
    int64_t available() const { return int64_t(windowStart_) + windowCount_ - position_; }
    const char* at(int64_t position) const { return window_.get() + (position - windowStart_); }

    int32_t position_ = 0;
    SharedString fileName_; // shared by every position made
    int32_t line_ = 0;
    int32_t column_ = 0;
    int32_t offset_ = 0;
    int32_t inputOffset_ = 0;
    bool scrambled_ = false;
    std::ifstream file_;
    std::unique_ptr<char[]> window_;
    int32_t windowStart_ = 0;
    int32_t windowCount_ = 0;
    bool fileEnded_ = false;
};

} // namespace Karsto
