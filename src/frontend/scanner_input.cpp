#include "frontend/scanner_input.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <utility>

#include "core/exception.h"
#include "core/host_path.h"
#include "frontend/scrambled_source.h"

namespace Karsto {

std::vector<std::string> includeSearchPaths;
std::string defaultDataPath;

namespace {

constexpr std::string_view kDirective = "#include";

// Offsets, lines and columns are int32 throughout the front end. A column counts from 1,
// so a text (or a stream position) may reach this offset and no further.
constexpr int32_t kMaxInputBytes = INT32_MAX - 1;

int32_t toOffset(size_t value) { return static_cast<int32_t>(value); }

// Errors about one file carry the place of the "#include" that named it; those of the
// main file have none (the message names the file).
[[gnu::format(printf, 3, 4)]] void checkInput(bool condition, const SourceSpan& at, const char* format, ...) {
    if (condition) return;
    char buffer[1024];
    va_list args;
    va_start(args, format);
    if (vsnprintf(buffer, sizeof buffer, format, args) < 0) buffer[0] = '\0';
    va_end(args);
    throw ExceptionSyntax(buffer, at);
}

// Which files open: a directory would read as an empty file, so it never does. A source
// is read whole, so it must be a regular file: a device or a FIFO may never end, or block
// the open itself until a writer comes. The stream reads through a bounded window and
// stops at the offset limit, so it takes any other file.
enum class Openable : int32_t { regularFiles = 0, anyButDirectories = 1 };

bool openFile(std::ifstream& in, const std::string& path, Openable openable) {
    std::error_code error;
    const std::string opened = hostPath(path);
    bool fits = openable == Openable::regularFiles ? std::filesystem::is_regular_file(opened, error)
                                                    : !std::filesystem::is_directory(opened, error);
    if (!fits) return false;
    in.open(opened, std::ios::binary);
    return in.is_open();
}

// A device, FIFO or socket: something stands under the name, but no source.
bool isSpecialFile(const std::string& path) {
    std::error_code error;
    auto status = std::filesystem::status(hostPath(path), error);
    return std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
           !std::filesystem::is_directory(status);
}

// The first entry under which name opens wins; opened receives entry + name.
bool openThroughSearchPaths(std::ifstream& in, const std::string& name, std::string& opened,
                            Openable openable) {
    for (const std::string& entry : includeSearchPaths) {
        std::string candidate = entry + name;
        if (openFile(in, candidate, openable)) {
            opened = std::move(candidate);
            return true;
        }
    }
    return false;
}

// A read that fails midway must not pass for a shorter source. At most limit bytes are
// read: a larger file is refused by its size before reading, and one that grows while it
// is read (or reports no size, as /proc files do) once it passes the limit.
std::string readWhole(std::ifstream& in, const std::string& opened, const std::string& path, size_t limit,
                      const SourceSpan& at) {
    std::error_code error;
    uintmax_t size = std::filesystem::file_size(opened, error);
    if (error) size = 0;
    checkInput(size <= limit, at, "Expanded source exceeds limit of %d bytes in file '%s'", kMaxInputBytes,
               path.c_str());
    std::string content;
    // And the line feed that ends a file's part of the expanded text, which a main file
    // without includes becomes.
    content.reserve(static_cast<size_t>(size) + 1);
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        auto count = static_cast<size_t>(in.gcount());
        checkInput(count <= limit - content.size(), at, "Expanded source exceeds limit of %d bytes in file '%s'",
                   kMaxInputBytes, path.c_str());
        content.append(buffer, count);
    }
    checkSyntax(!in.bad(), "Error reading from file '%s'", path.c_str());
    return content;
}

// Where the line that holds offset at begins: just after the nearest line feed before it.
size_t lineBeginOf(std::string_view content, size_t at) {
    size_t lineFeed = at == 0 ? std::string::npos : content.rfind('\n', at - 1);
    return lineFeed == std::string::npos ? 0 : lineFeed + 1;
}

// A directive begins a line: at offset 0, after a line feed, or after a line feed and one
// carriage return. Anywhere else "#include" is ordinary text.
size_t findDirective(const std::string& content, size_t from) {
    for (size_t at = content.find(kDirective, from); at != std::string::npos;
         at = content.find(kDirective, at + 1)) {
        if (at == 0 || content[at - 1] == '\n' ||
            (content[at - 1] == '\r' && at >= 2 && content[at - 2] == '\n'))
            return at;
    }
    return std::string::npos;
}

} // namespace

PathParts splitPath(std::string_view path) {
    PathParts parts;
    parts.absolute = path.find(":\\") != std::string_view::npos ||
                     path.find(":/") != std::string_view::npos || path.starts_with("\\\\") ||
                     path.starts_with('/');
    size_t split = path.find_last_of("\\/");
    if (split == std::string_view::npos) {
        parts.name = path;
    } else {
        parts.directory = path.substr(0, split + 1);
        parts.name = path.substr(split + 1);
    }
    return parts;
}

namespace {

// An environment variable's value; unset and empty alike give nothing.
std::optional<std::string> environmentValue(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

// Separators at the end go: file names are appended behind one '/'. The root stays.
std::string withoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

} // namespace

const std::string& setDefaultDataPathFromEnvironment() {
    std::string path;
    if (auto own = environmentValue("VORDASH_DATA_DIR")) {
        path = *own;
    } else {
        // A relative XDG_DATA_HOME is invalid and ignored, as for every XDG variable.
        std::optional<std::string> base = environmentValue("XDG_DATA_HOME");
        if (!base || base->front() != '/') base = environmentValue("HOME").value_or(".") + "/.local/share";
        path = withoutTrailingSeparators(*base) + "/vordash/data";
    }
    defaultDataPath = withoutTrailingSeparators(path);
    std::error_code ignored; // whoever opens a file in it reports a failure with that file's name
    std::filesystem::create_directories(defaultDataPath, ignored);
    return defaultDataPath;
}

// ---------------------------------------------------------------------------------------
// ScannerInputFile

struct ScannerInputFile::FilePart {
    SharedString path;     // as requested: names the file in positions and in the recursion set
    std::string directory; // base of the file's quoted includes
    std::string content;   // plain text
    bool scrambled = false;
    size_t start = 0;      // where the next expansion step begins
    int32_t line = 1;      // line of start
    // The content was moved to be the whole expanded text (a main file that includes
    // nothing: most programs), instead of copied: its bytes are read there.
    bool inText = false;
};

std::string_view ScannerInputFile::bytesOf(const FilePart& part) const {
    return part.inText ? std::string_view(text_) : std::string_view(part.content);
}

struct ScannerInputFile::Inclusion {
    std::string path;
    bool searchPaths = false;
    SourceSpan directive; // the "#include" up to its closing character
};

// The cached iterator must not point into the other object's map.
ScannerInputFile::ScannerInputFile(const ScannerInputFile& other)
    : text_(other.text_),
      listing_(other.listing_),
      starred_(other.starred_),
      current_(other.current_),
      lineStarts_(other.lineStarts_),
      lineFiles_(other.lineFiles_),
      filesInExpansion_(other.filesInExpansion_) {}

ScannerInputFile& ScannerInputFile::operator=(const ScannerInputFile& other) {
    if (this == &other) return *this;
    text_ = other.text_;
    listing_ = other.listing_;
    starred_ = other.starred_;
    current_ = other.current_;
    lineStarts_ = other.lineStarts_;
    lineFiles_ = other.lineFiles_;
    lastLineStart_ = 0;
    filesInExpansion_ = other.filesInExpansion_;
    return *this;
}

void ScannerInputFile::load(const std::string& path) {
    text_.clear();
    listing_.clear();
    starred_ = false;
    lineStarts_.clear();
    lineFiles_.clear();
    lastLineStart_ = 0;
    filesInExpansion_.clear();
    current_ = 0;
    readFile(path, !splitPath(path).absolute);
}

// Include chains can be as long as the files allow: the expansion keeps its own stack of
// open file parts instead of recursing.
void ScannerInputFile::readFile(const std::string& path, bool searchPaths) {
    std::vector<FilePart> open;
    open.push_back(openPart(path, searchPaths, SourceSpan()));
    Inclusion inclusion;
    while (!open.empty()) {
        FilePart& part = open.back();
        if (part.start < bytesOf(part).size()) {
            if (expandStep(part, inclusion))
                open.push_back(openPart(inclusion.path, inclusion.searchPaths, inclusion.directive));
            continue;
        }
        checkRoom(1, part.path);
        enterPartEnd(part);
        text_ += '\n';
        if (starred_) listing_ += '\n';
        filesInExpansion_.erase(part.path);
        open.pop_back();
    }
}

ScannerInputFile::FilePart ScannerInputFile::openPart(const std::string& path, bool searchPaths,
                                                      const SourceSpan& directive) {
    FilePart part;
    part.path = path;
    PathParts parts = splitPath(path);
    part.directory = parts.directory;
    // Names are compared as strings, before the file is opened.
    checkSyntax(!filesInExpansion_.contains(path), "Detected recursive inclusion in file '%s'.",
                path.c_str());
    std::ifstream in;
    std::string opened = path;
    if (searchPaths) {
        checkSemantic(!parts.absolute, "Absolute path can not be combines with search path");
        checkSyntax(openThroughSearchPaths(in, path, opened, Openable::regularFiles), "Can not open file '%s'",
                    path.c_str());
        part.directory = splitPath(opened).directory;
    } else if (!openFile(in, path, Openable::regularFiles)) {
        checkInput(!isSpecialFile(path), directive, "File '%s' is not a regular file", path.c_str());
        checkSyntax(false, "Can not open file '%s'", path.c_str());
    }
    filesInExpansion_.insert(path);
    // Nothing that cannot fit the expanded text is read; a scrambled file is never shorter
    // than its text, so one that would not fit is refused here as well.
    part.content = readWhole(in, opened, path, size_t{kMaxInputBytes} - text_.size(), directive);
    if (isScrambledSource(part.content)) {
        checkInput(scrambledBodyHoldsText(part.content), directive,
                   "Corrupt scrambled file '%s': its header claims more text than it holds", path.c_str());
        // The header decides the text's length: refuse one that cannot fit before the
        // text is made.
        checkRoom(unscrambledLength(part.content), path);
        part.content = unscrambleSource(part.content);
        part.scrambled = true;
    }
    // Assigned, not inserted: a file included at the very start of its parent begins at the
    // same offset, and the position there is the included file's.
    int32_t key = toOffset(text_.size());
    setLineStart(key, SourcePosition{part.path, 1, 1, 0, key, part.scrambled});
    return part;
}

namespace {

// Room for extra more elements: at least doubled when it grows, so that a file of many
// includes, which enters its parts piece by piece, is not copied once per piece.
template <class Container>
void reserveFor(Container& container, size_t extra) {
    const size_t needed = container.size() + extra;
    if (needed > container.capacity()) container.reserve(std::max(needed, 2 * container.capacity()));
}

} // namespace

void ScannerInputFile::enterLineStarts(FilePart& part, size_t end) {
    size_t base = text_.size();
    size_t lineStart = part.start;
    if (lineStart >= end) return;
    int32_t key = toOffset(base);
    // The first may replace an entry at its key; the others come after every entry, in
    // the same file: a CAM program has millions of them.
    setLineStart(key, SourcePosition{part.path, part.line, 1, toOffset(lineStart), key, part.scrambled});
    const uint16_t file = lineStarts_.back().file;
    const std::string_view content(part.content);
    reserveFor(lineStarts_, static_cast<size_t>(std::count(content.begin() + static_cast<std::ptrdiff_t>(lineStart),
                                                           content.begin() + static_cast<std::ptrdiff_t>(end), '\n')));
    while (true) {
        const size_t lineFeed = content.find('\n', lineStart);
        if (lineFeed == std::string_view::npos || lineFeed >= end) break;
        ++part.line;
        lineStart = lineFeed + 1;
        if (lineStart >= end) break;
        key = toOffset(base + (lineStart - part.start));
        lineStarts_.push_back(LineStart{key, part.line, 1, toOffset(lineStart), file, part.scrambled});
    }
}

// The appended line feed, and <end> after the main file's, lie just after the part's last
// byte: in its file and on that byte's line, even when the part ended in an "#include"
// whose file's positions would otherwise cover them.
void ScannerInputFile::enterPartEnd(const FilePart& part) {
    const std::string_view content = bytesOf(part);
    int32_t key = toOffset(text_.size());
    SourcePosition after{part.path, 1, 1, 0, key, part.scrambled};
    if (!content.empty()) {
        // part.line is the line of part.start, which has reached the end of the content.
        size_t last = content.size() - 1;
        bool endsLine = content[last] == '\n';
        after.line = part.line - (endsLine ? 1 : 0);
        after.column = toOffset(last - lineBeginOf(content, last)) + 2;
        after.offset = toOffset(content.size());
    }
    setLineStart(key, after);
}

void ScannerInputFile::checkRoom(size_t extra, const std::string& path) const {
    checkSyntax(extra <= size_t{kMaxInputBytes} - text_.size(),
                "Expanded source exceeds limit of %d bytes in file '%s'", kMaxInputBytes, path.c_str());
}

void ScannerInputFile::appendText(FilePart& part, size_t end) {
    checkRoom(end - part.start, part.path);
    // A whole main file without includes becomes the text as it is.
    if (text_.empty() && part.start == 0 && end == part.content.size() && !part.scrambled && !starred_) {
        text_.swap(part.content);
        part.inText = true;
        return;
    }
    std::string_view piece(part.content.data() + part.start, end - part.start);
    const size_t from = text_.size();
    reserveFor(text_, piece.size() + 1); // and the line feed after the part
    text_ += piece;
    if (!part.scrambled && !starred_) return;
    // The first scrambled part starts a listing of its own: the text so far, then every
    // part as it comes, scrambled ones starred.
    if (!starred_) {
        listing_.assign(text_, 0, from);
        starred_ = true;
    }
    const size_t listed = listing_.size();
    listing_ += piece;
    if (!part.scrambled) return;
    std::replace_if(
        listing_.begin() + static_cast<std::ptrdiff_t>(listed), listing_.end(),
        [](char c) { return c != '\r' && c != '\n'; }, '*');
}

bool ScannerInputFile::expandStep(FilePart& part, Inclusion& inclusion) {
    const std::string& content = part.content;
    size_t directive = findDirective(content, part.start);
    size_t end = directive == std::string::npos ? content.size() : directive;
    enterLineStarts(part, end);
    appendText(part, end); // may move the content away
    if (directive == std::string::npos) {
        part.start = end;
        return false;
    }

    size_t at = directive + kDirective.size();
    while (at < content.size() && content[at] == ' ') ++at;
    char opener = at < content.size() ? content[at] : '\0';
    checkSyntax(opener == '"' || opener == '<', "Missing '\"' or '<' after #include.");
    size_t nameBegin = at + 1;
    size_t closer = content.find_first_of("\">\n", nameBegin);
    char closing = closer == std::string::npos ? '\0' : content[closer];
    if (opener == '"')
        checkSyntax(closing == '"', "Missing '\"' at end of #include.");
    else
        checkSyntax(closing == '>', "Missing '>' at end of #include.");
    std::string name = content.substr(nameBegin, closer - nameBegin);
    inclusion.directive = directiveSpan(part, directive, closer + 1);
    // File names end at a NUL byte: a name cut there would open another file than the
    // one written, and be checked for recursion under a name it is not opened by.
    checkInput(name.find('\0') == std::string::npos, inclusion.directive,
               "Invalid character in file name in '#include'");

    at = content.find_first_not_of(" \t\r", closer + 1);
    if (at == std::string::npos) {
        at = content.size();
    } else {
        checkSyntax(content[at] == '\n', "Invalid characters after #include directive.");
        ++at;
        ++part.line;
    }
    part.start = at;

    // An angle include goes through the search paths and keeps its name as written; a
    // quoted one resolves against the including file's directory.
    inclusion.searchPaths = opener == '<';
    if (inclusion.searchPaths || splitPath(name).absolute)
        inclusion.path = std::move(name);
    else
        inclusion.path = part.directory + name;
    return true;
}

// The directive's stretch in its own file: from "#" to just after the closing character,
// on the line of part.start, which the text before the directive has reached.
SourceSpan ScannerInputFile::directiveSpan(const FilePart& part, size_t directive, size_t end) const {
    size_t lineBegin = lineBeginOf(part.content, directive);
    auto at = [&](size_t offset) {
        return SourcePosition{part.path, part.line, toOffset(offset - lineBegin) + 1, toOffset(offset),
                              toOffset(text_.size()), part.scrambled};
    };
    return SourceSpan(at(directive), at(end));
}

int16_t ScannerInputFile::peek(int32_t n) {
    int64_t at = int64_t(current_) + n;
    if (at < 0 || at >= int64_t(text_.size())) return -1;
    return static_cast<unsigned char>(text_[static_cast<size_t>(at)]);
}

namespace {

std::string substringAt(const std::string& text, int32_t current, int32_t n) {
    if (current < 0 || n <= 0 || static_cast<size_t>(current) >= text.size()) return {};
    return text.substr(static_cast<size_t>(current), static_cast<size_t>(n));
}

} // namespace

std::string ScannerInputFile::text(int32_t n) { return substringAt(text_, current_, n); }

std::string ScannerInputFile::listingText(int32_t n) { return substringAt(listing(), current_, n); }

void ScannerInputFile::advance(int32_t n) { current_ += n; }

std::string_view ScannerInputFile::ahead() {
    if (current_ < 0 || static_cast<size_t>(current_) >= text_.size()) return {};
    return std::string_view(text_).substr(static_cast<size_t>(current_));
}

SourcePosition ScannerInputFile::location(int32_t n) { return locationAt(current_ + n); }

// The line of a point is that of the nearest line start at or before it, so the line
// feed appended after a file part reports the part's last line.
void ScannerInputFile::setLineStart(int32_t key, const SourcePosition& position) {
    size_t file = lineFiles_.size();
    while (file > 0 && !(lineFiles_[file - 1] == position.file)) --file;
    if (file == 0) {
        if (lineFiles_.size() > UINT16_MAX) throw std::length_error("scanner input: too many source files");
        lineFiles_.push_back(position.file);
        file = lineFiles_.size();
    }
    const LineStart entry{key, position.line, position.column, position.offset, static_cast<uint16_t>(file - 1),
                          position.scrambled};
    // Entered in ascending order as the text grows; a part that starts where another
    // ended replaces its entry.
    auto at = lineStarts_.end();
    if (!lineStarts_.empty() && lineStarts_.back().key >= key)
        at = std::lower_bound(lineStarts_.begin(), lineStarts_.end(), key,
                              [](const LineStart& e, int32_t k) { return e.key < k; });
    if (at != lineStarts_.end() && at->key == key)
        *at = entry;
    else
        lineStarts_.insert(at, entry);
}

SourcePosition ScannerInputFile::locationAt(int32_t offset) { return positionAt(offset, lastLineStart_); }

SourcePosition ScannerInputFile::positionAt(int32_t offset, size_t& hint) const {
    auto covers = [&](size_t entry) {
        if (entry >= lineStarts_.size() || lineStarts_[entry].key > offset) return false;
        return entry + 1 == lineStarts_.size() || lineStarts_[entry + 1].key > offset;
    };
    if (!covers(hint)) {
        if (covers(hint + 1)) {
            ++hint;
        } else {
            auto next = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset,
                                         [](int32_t k, const LineStart& e) { return k < e.key; });
            if (next == lineStarts_.begin()) return SourcePosition{"", 1, 1 + offset, offset, offset, false};
            hint = static_cast<size_t>(next - lineStarts_.begin()) - 1;
        }
    }
    const LineStart& start = lineStarts_[hint];
    return SourcePosition{lineFiles_[start.file], start.line, start.column + (offset - start.key),
                          start.offset + (offset - start.key), offset, start.scrambled};
}

// ---------------------------------------------------------------------------------------
// ScannerInputFileStream

ScannerInputFileStream::ScannerInputFileStream()
    : window_(std::make_unique_for_overwrite<char[]>(windowSize)) {}

ScannerInputFileStream::~ScannerInputFileStream() = default;

void ScannerInputFileStream::open(const std::string& name) {
    if (file_.is_open()) file_.close();
    file_.clear();
    std::string opened;
    bool isOpen = splitPath(name).absolute
                      ? openFile(file_, name, Openable::anyButDirectories)
                      : openThroughSearchPaths(file_, name, opened, Openable::anyButDirectories);
    checkSyntax(isOpen, "Can not open file '%s'", name.c_str());
    fileName_ = name;
    line_ = 1;
    column_ = 1;
    position_ = 0;
    offset_ = 0;
    inputOffset_ = 0;
    windowStart_ = 0;
    windowCount_ = 0;
    scrambled_ = false;
    fileEnded_ = false;
}

// Reads the file strictly in sequence: the bytes before position_ are never needed again,
// and a read fills the whole free tail of the window, so a token growing one byte per peek
// costs no read per byte.
void ScannerInputFileStream::fill(int32_t n) {
    if (n <= 0 || available() >= n) return; // the common case: no call, no formatting
    if (n > windowSize)
        failSyntax("Local access on file '%s' of size %d exceeds limit of %d bytes at offset %d",
                   fileName_.c_str(), n, windowSize, position_);
    if (available() <= 0) {
        // Consumed past everything read, which only happens at the end of the file.
        windowStart_ = position_;
        windowCount_ = 0;
    } else if (int64_t(position_) - windowStart_ + n > windowSize) {
        auto unread = static_cast<size_t>(available());
        std::memmove(window_.get(), at(position_), unread);
        windowStart_ = position_;
        windowCount_ = static_cast<int32_t>(unread);
    }
    if (fileEnded_ || !file_.is_open()) return;
    file_.read(window_.get() + windowCount_, windowSize - windowCount_);
    windowCount_ += static_cast<int32_t>(file_.gcount());
    checkSyntax(!file_.bad(), "Error reading from file '%s'", fileName_.c_str());
    if (file_.eof()) fileEnded_ = true;
}

int16_t ScannerInputFileStream::peek(int32_t n) {
    if (n < 0) return -1;
    if (available() > n) return static_cast<unsigned char>(*at(int64_t(position_) + n));
    fill(n + 1);
    if (available() < int64_t(n) + 1) return -1;
    return static_cast<unsigned char>(*at(int64_t(position_) + n));
}

std::string_view ScannerInputFileStream::ahead() {
    const int64_t count = available();
    if (count <= 0) return {};
    return std::string_view(at(position_), static_cast<size_t>(count));
}

std::string ScannerInputFileStream::text(int32_t n) {
    fill(n);
    int64_t count = std::min<int64_t>(n, available());
    if (count <= 0) return {};
    return std::string(at(position_), static_cast<size_t>(count));
}

namespace {

// Only a line feed counts a line; every other byte, carriage return included, a column.
// memchr finds the line feeds: a window of megabytes is passed in one go.
void countLines(const char* bytes, int64_t count, int32_t& line, int32_t& column) {
    const char* rest = bytes;
    const char* const end = bytes + count;
    while (const void* feed = std::memchr(rest, '\n', static_cast<size_t>(end - rest))) {
        ++line;
        column = 1;
        rest = static_cast<const char*>(feed) + 1;
    }
    column += static_cast<int32_t>(end - rest);
}

} // namespace

void ScannerInputFileStream::checkOffset(int64_t end) const {
    checkSyntax(end <= kMaxInputBytes, "Offset in file '%s' exceeds limit of %d bytes", fileName_.c_str(),
                kMaxInputBytes);
}

void ScannerInputFileStream::advance(int32_t n) {
    if (n <= 0) return;
    checkOffset(int64_t(position_) + n);
    fill(n);
    int64_t count = std::min<int64_t>(n, available());
    if (count > 0) countLines(at(position_), count, line_, column_);
    position_ += n;
    offset_ += n;
    inputOffset_ += n;
}

SourcePosition ScannerInputFileStream::location(int32_t n) {
    SourcePosition position{fileName_, line_, column_, offset_, inputOffset_, scrambled_};
    if (n <= 0) return position;
    fill(n);
    int64_t count = std::min<int64_t>(n, available());
    if (count <= 0) return position;
    checkOffset(offset_ + count);
    countLines(at(position_), count, position.line, position.column);
    position.offset += static_cast<int32_t>(count);
    position.inputOffset += static_cast<int32_t>(count);
    return position;
}

} // namespace Karsto
