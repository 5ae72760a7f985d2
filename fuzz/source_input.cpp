// The source input over a tree of up to eight files that include each other, some of
// them scrambled. A load ends in an expanded text or in one of the input's own errors
// (whose span, if any, names one of the files). After a load every point of the text
// must name the file and the place its byte came from: the byte there is that file's
// byte at that offset, and line and column are counted in that file. The line feed
// appended after a file lies just after the file's last byte, on its line, and "<end>"
// just after the main file's.
//
// Input: files separated by "@@@\n", named a to h in order; a is the main file. The
// first byte of each file is a flag byte: bit 0 writes the rest scrambled. Inputs with
// '/' are skipped, so no name leaves the scratch directory; inputs with more than 12
// "#include" are skipped, since repeated includes may multiply the text (allowed by
// design, bounded only by the 2 GiB limit).

#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/exception.h"
#include "frontend/scanner_input.h"
#include "frontend/scrambled_source.h"
#include "fuzz_support.h"

namespace Karsto::Fuzz {
namespace {

constexpr std::string_view kSeparator = "@@@\n";
constexpr size_t kMaxFiles = 8;
constexpr size_t kMaxDirectives = 12;
constexpr size_t kMaxCheckedText = 1 << 20;
constexpr uint32_t kSeed = 0x5EED1234u;

struct FileText {
    std::string plain;
    bool scrambled = false;
    std::vector<size_t> lineStarts;
};

// The file a position names, as the input read it: names are the main path, the
// directory plus a quoted name, or an angle name found under the search path.
class Files {
public:
    explicit Files(std::string directory) : directory_(std::move(directory)) {}

    const FileText* find(const std::string& name) {
        auto known = files_.find(name);
        if (known != files_.end()) return &known->second;
        std::string path = name.starts_with(directory_) ? name : directory_ + name;
        std::ifstream in(path, std::ios::binary);
        if (!in) return nullptr;
        std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        FileText& file = files_[name];
        file.scrambled = isScrambledSource(raw);
        file.plain = unscrambleSource(raw);
        file.lineStarts.push_back(0);
        for (size_t i = 0; i < file.plain.size(); ++i)
            if (file.plain[i] == '\n') file.lineStarts.push_back(i + 1);
        return &file;
    }

private:
    std::string directory_;
    std::map<std::string, FileText> files_;
};

// Line and column of an offset counted in the file; the point just after the last byte
// stays on that byte's line.
void expectedPlace(const FileText& file, size_t offset, int32_t& line, int32_t& column) {
    size_t anchor = offset == file.plain.size() && offset > 0 ? offset - 1 : offset;
    auto start = std::upper_bound(file.lineStarts.begin(), file.lineStarts.end(), anchor) - 1;
    line = static_cast<int32_t>(start - file.lineStarts.begin() + 1);
    column = static_cast<int32_t>(offset - *start + 1);
}

void requirePlace(const SourcePosition& position, Files& files, size_t at, const std::string& text) {
    const FileText* file = files.find(position.file.str());
    require(file != nullptr, "offset %zu names '%s', no file of the tree", at, position.file.c_str());
    require(position.file.str().find('\0') == std::string::npos, "offset %zu names a file with a NUL byte", at);
    require(position.inputOffset == static_cast<int32_t>(at), "offset %zu has input offset %d", at,
            position.inputOffset);
    require(position.scrambled == file->scrambled, "offset %zu: scrambled flag differs from '%s'", at,
            position.file.c_str());
    require(position.offset >= 0 && static_cast<size_t>(position.offset) <= file->plain.size(),
            "offset %zu is at %d in '%s' of %zu bytes", at, position.offset, position.file.c_str(),
            file->plain.size());
    auto offset = static_cast<size_t>(position.offset);
    char expected = offset < file->plain.size() ? file->plain[offset] : '\n';
    require(text[at] == expected, "offset %zu holds another byte than %d in '%s'", at, position.offset,
            position.file.c_str());
    int32_t line = 0;
    int32_t column = 0;
    expectedPlace(*file, offset, line, column);
    require(position.line == line && position.column == column,
            "offset %zu is %d.%d in '%s', counted there %d.%d", at, position.line, position.column,
            position.file.c_str(), line, column);
}

size_t occurrences(std::string_view data, std::string_view what) {
    size_t count = 0;
    for (size_t at = data.find(what); at != std::string_view::npos; at = data.find(what, at + 1)) ++count;
    return count;
}

} // namespace
} // namespace Karsto::Fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace Karsto;
    using namespace Karsto::Fuzz;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (bytes.find('/') != std::string_view::npos || occurrences(bytes, "#include") > kMaxDirectives) return -1;

    const std::string& directory = scratchDirectory();
    for (char name = 'a'; name < 'a' + static_cast<char>(kMaxFiles); ++name) {
        std::error_code error;
        std::filesystem::remove(directory + name, error);
    }
    size_t from = 0;
    for (char name = 'a'; name < 'a' + static_cast<char>(kMaxFiles) && from <= bytes.size(); ++name) {
        size_t next = std::min(bytes.find(kSeparator, from), bytes.size());
        std::string_view chunk = bytes.substr(from, next - from);
        bool scrambled = !chunk.empty() && (chunk[0] & 1) != 0;
        if (!chunk.empty()) chunk.remove_prefix(1);
        writeScratchFile(std::string(1, name), scrambled ? scrambleSource(chunk, kSeed) : std::string(chunk));
        from = next + kSeparator.size();
    }
    includeSearchPaths = {directory};

    ScannerInputFile input;
    try {
        input.load(directory + "a");
    } catch (const ExceptionKarsto& error) {
        if (error.span().valid) {
            Files files(directory);
            require(files.find(error.span().begin.file.str()) != nullptr, "error placed in '%s', no file of the tree",
                    error.span().begin.file.c_str());
        }
        return 0;
    } catch (const std::exception& error) {
        require(false, "unexpected exception: %s", error.what());
    }

    const std::string& text = input.expandedText();
    require(input.listing().size() == text.size(), "the listing is %zu bytes, the text %zu",
            input.listing().size(), text.size());
    if (text.size() > kMaxCheckedText) return 0;
    Files files(directory);
    for (size_t at = 0; at < text.size(); ++at) requirePlace(input.locationAt(static_cast<int32_t>(at)), files, at, text);
    // "<end>": one past the main file's appended line feed, on the same line.
    const SourcePosition last = input.locationAt(static_cast<int32_t>(text.size()) - 1);
    const SourcePosition end = input.locationAt(static_cast<int32_t>(text.size()));
    require(end.file == directory + "a" && last.file == end.file, "<end> in '%s', the main file's line feed in '%s'",
            end.file.c_str(), last.file.c_str());
    require(end.offset == last.offset + 1 && end.line == last.line && end.column == last.column + 1,
            "<end> at %d.%d, offset %d, after %d.%d, offset %d", end.line, end.column, end.offset, last.line,
            last.column, last.offset);
    return 0;
}
