// The preview page of any source text. The page is the fixed head, the samples, the
// fixed middle, the listing and the fixed end; the listing is line after line of
// "<div class='jyxline' id='jyxline_<n>'>" with n counting from 0, one more line than
// the text has line feeds, and inside a line only letters, digits, "&nbsp;" and
// character references: no byte of the source reaches the page as markup. A scrambled
// source shows only stars. The sample of the block that begins line k of the expanded
// text points to listing line k; a sample without a span to -2.
//
// Input: the first byte is a flag byte (bit 0: the file is written scrambled), the rest
// is the main file. Inputs with "#include" are skipped: the includes would name no file.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/exception.h"
#include "frontend/scanner_input.h"
#include "frontend/scrambled_source.h"
#include "fuzz_support.h"
#include "gcode/ninterface_null.h"
#include "gcode/preview_page.h"
#include "geometry/geo_line.h"
#include "geometry/ncmd.h"

namespace Karsto::Fuzz {
namespace {

constexpr size_t kMaxSamples = 4096;
constexpr uint32_t kSeed = 0x5EED1234u;

std::unique_ptr<NCmd> shortLine(const SourceSpan& span) {
    // Length 0.05: one sample.
    return std::make_unique<NCmdGeo>(std::make_unique<GeoLine>(Pose(0, 0, 0), Pose(0.05, 0, 0),
                                                               FeedParams{1.0, 0.0},
                                                               BlockOrigin{span, 0.0}, BlockKey{1, 0.0}));
}

bool isPlain(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Walks the listing line by line; returns the number of lines.
size_t requireListing(std::string_view listing, bool scrambled) {
    size_t lines = 0;
    size_t at = 0;
    for (;;) {
        const std::string open = "<div class='jyxline' id='jyxline_" + std::to_string(lines) + "'>";
        require(listing.substr(at, open.size()) == open, "listing line %zu does not open as expected", lines);
        at += open.size();
        ++lines;
        while (!listing.substr(at).starts_with("</div>")) {
            require(at < listing.size(), "listing line %zu is not closed", lines - 1);
            if (isPlain(listing[at])) {
                require(!scrambled, "a scrambled listing shows a letter or digit on line %zu", lines - 1);
                ++at;
            } else if (listing.substr(at).starts_with("&nbsp;")) {
                at += 6;
            } else if (listing.substr(at).starts_with("&#")) {
                size_t end = at + 2;
                while (end < listing.size() && listing[end] >= '0' && listing[end] <= '9') ++end;
                require(end > at + 2 && end - at <= 5 && end < listing.size() && listing[end] == ';',
                        "a malformed character reference on listing line %zu", lines - 1);
                const int value = std::stoi(std::string(listing.substr(at + 2, end - at - 2)));
                require(value <= 255, "character reference %d on listing line %zu", value, lines - 1);
                require(!scrambled || value == '*', "a scrambled listing shows byte %d", value);
                at = end + 1;
            } else {
                require(false, "byte %d reaches the listing unescaped on line %zu",
                        static_cast<unsigned char>(listing[at]), lines - 1);
            }
        }
        at += 6;
        if (at == listing.size()) return lines;
        require(listing[at] == '\n', "listing line %zu is not followed by a line end", lines - 1);
        ++at;
    }
}

} // namespace
} // namespace Karsto::Fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace Karsto;
    using namespace Karsto::Fuzz;
    if (size == 0) return -1;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (text.find("#include") != std::string_view::npos) return -1;
    const bool scrambled = (data[0] & 1) != 0;
    const std::string path = writeScratchFile("main.jyx", scrambled ? scrambleSource(text, kSeed) : std::string(text));

    ScannerInputFile input;
    try {
        input.load(path);
    } catch (const ExceptionKarsto&) {
        return 0;
    }
    NInterfaceNull output;
    output.previewOn = true;
    output.outputFile = path + ".html";
    output.setSource(&input);

    // A block at the start of every line, then one without a span.
    const std::string& expanded = input.expandedText();
    std::vector<int32_t> expectedLines;
    int32_t line = 0;
    for (size_t start = 0; start < expanded.size() && expectedLines.size() < kMaxSamples; ++line) {
        const auto offset = static_cast<int32_t>(start);
        output.cmdAdd(shortLine(SourceSpan(input.locationAt(offset), input.locationAt(offset))));
        expectedLines.push_back(line);
        const size_t feed = expanded.find('\n', start);
        if (feed == std::string::npos) break;
        start = feed + 1;
    }
    output.cmdAdd(shortLine(SourceSpan()));
    expectedLines.push_back(NInterfaceNull::kNoLine);

    std::string lineInfo;
    for (int32_t expected : expectedLines) lineInfo += "\t\t" + std::to_string(expected) + ",\n";
    require(output.lineText.str() == lineInfo, "the samples point to other listing lines");

    output.finish();
    std::string page;
    {
        std::FILE* file = std::fopen(output.outputFile.c_str(), "rb");
        require(file != nullptr, "no page was written");
        char buffer[65536];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) page.append(buffer, n);
        std::fclose(file);
    }
    const std::string before = std::string(previewPageHead()) + output.vertexText.str() +
                               std::string(kPreviewBetweenArrays) + lineInfo + std::string(previewPageMiddle());
    require(page.starts_with(before), "the page does not begin with its head, samples and middle");
    require(page.ends_with(kPreviewPageEnd), "the page does not end with its closing text");
    const std::string_view listing =
        std::string_view(page).substr(before.size(), page.size() - before.size() - kPreviewPageEnd.size());
    size_t feeds = 0;
    for (char c : expanded) feeds += c == '\n' ? 1 : 0;
    const size_t lines = requireListing(listing, scrambled);
    require(lines == feeds + 1, "the listing has %zu lines for %zu line feeds", lines, feeds);
    return 0;
}
