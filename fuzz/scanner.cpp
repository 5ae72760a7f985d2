// The scanner from any start mode over both inputs of a file: the whole-file input (which
// appends a line feed) and the stream input over the same bytes with that line feed
// written out. Both must give the same tokens with the same positions; only positions
// after the file's last byte may differ in line and column, where the file input keeps
// the last line and the stream counts a new one. Every token carries exactly the bytes
// its span covers, tokens follow each other, and "<end>" comes after at most one token
// per byte.
//
// Input: the first byte chooses the start mode, the rest is the file.

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/scanner.h"
#include "frontend/scanner_input.h"
#include "frontend/scrambled_source.h"
#include "fuzz_support.h"

namespace Karsto::Fuzz {
namespace {

constexpr int32_t kModes = 6; // every ScannerMode, the combined one included

std::vector<Token> scanAll(ScannerInput& input, ScannerMode mode, size_t bytes) {
    Scanner scanner(&input);
    scanner.mode = mode;
    std::vector<Token> tokens;
    do {
        tokens.push_back(scanner.nextToken());
        require(tokens.size() <= bytes + 2, "more tokens than bytes: the scanner stopped advancing");
    } while (!tokens.back().is(TokenKind::end));
    return tokens;
}

// Past the last byte of a file ending in a line feed, the inputs place a point on
// different lines by design; before it they must agree in everything.
void requireSamePosition(const SourcePosition& file, const SourcePosition& stream, const std::string& text,
                         size_t token, const char* which) {
    require(file.offset == stream.offset && file.inputOffset == stream.inputOffset,
            "token %zu %s: offset %d in the file input, %d in the stream", token, which, file.offset,
            stream.offset);
    require(file.file == stream.file && file.scrambled == stream.scrambled, "token %zu %s: file differs", token,
            which);
    auto size = static_cast<int32_t>(text.size());
    bool lastLineEnded = !text.empty() && text.back() == '\n';
    if (file.offset > size || (file.offset == size && lastLineEnded)) return;
    require(file.line == stream.line && file.column == stream.column,
            "token %zu %s at offset %d: %d.%d in the file input, %d.%d in the stream", token, which, file.offset,
            file.line, file.column, stream.line, stream.column);
}

} // namespace
} // namespace Karsto::Fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace Karsto;
    using namespace Karsto::Fuzz;
    if (size == 0) return 0;
    const auto mode = static_cast<ScannerMode>(data[0] % kModes);
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    // The file input would expand a directive or unscramble; the stream does neither.
    if (text.find("#include") != std::string::npos || isScrambledSource(text)) return -1;

    const std::string path = writeScratchFile("scan.jyx", text);
    ScannerInputFile fileInput;
    fileInput.load(path);
    const std::string& expanded = fileInput.expandedText();
    require(expanded == text + "\n", "the file input holds other bytes than the file and a line feed");
    const std::vector<Token> fromFile = scanAll(fileInput, mode, expanded.size());

    writeScratchFile("scan.jyx", expanded);
    // One stream for every input: opening starts afresh, and its 1 MiB window is not
    // worth allocating per input.
    static ScannerInputFileStream stream;
    stream.open(path);
    const std::vector<Token> fromStream = scanAll(stream, mode, expanded.size());

    require(fromFile.size() == fromStream.size(), "%zu tokens from the file input, %zu from the stream",
            fromFile.size(), fromStream.size());
    int32_t previousEnd = 0;
    for (size_t i = 0; i < fromFile.size(); ++i) {
        const Token& a = fromFile[i];
        const Token& b = fromStream[i];
        require(a.kind == b.kind && a.text == b.text && a.rule == b.rule,
                "token %zu: kind %d '%s' in the file input, kind %d '%s' in the stream", i,
                static_cast<int32_t>(a.kind), a.text.c_str(), static_cast<int32_t>(b.kind), b.text.c_str());
        require(a.span.valid && b.span.valid, "token %zu without a span", i);
        requireSamePosition(a.span.begin, b.span.begin, text, i, "begin");
        requireSamePosition(a.span.end, b.span.end, text, i, "end");
        const int32_t begin = a.span.begin.inputOffset;
        const int32_t end = a.span.end.inputOffset;
        require(previousEnd <= begin && begin <= end && static_cast<size_t>(end) <= expanded.size(),
                "token %zu spans %d-%d after a token ending at %d", i, begin, end, previousEnd);
        require(a.text == expanded.substr(static_cast<size_t>(begin), static_cast<size_t>(end - begin)),
                "token %zu: text '%s' is not the bytes at %d-%d", i, a.text.c_str(), begin, end);
        previousEnd = end;
    }
    return 0;
}
