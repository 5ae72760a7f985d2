#include "gcode/ninterface_null.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string_view>

#include "core/host_path.h"
#include "frontend/scanner_input.h"
#include "gcode/preview_page.h"
#include "geometry/geo.h"
#include "geometry/ncmd.h"

namespace Karsto {

namespace {

// Appends a number in the default stream format (six significant digits, "%g" style),
// without the stream's per-number locale work: samples are written by the million.
char* appendNumber(char* at, char* end, double value) {
    return std::to_chars(at, end, value, std::chars_format::general, 6).ptr;
}

char* appendText(char* at, std::string_view text) {
    std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

void writeText(std::ostream& out, std::string_view text) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

} // namespace

void NInterfaceNull::reset() {
    vertexText.clear();
    lineText.clear();
}

void NInterfaceNull::cmdAdd(std::unique_ptr<NCmd> cmd) {
    // The command is deleted on return in every case.
    if (previewOn && cmd->kind() == NCmdKind::geo) sample(static_cast<const NCmdGeo&>(*cmd).geo());
}

int32_t NInterfaceNull::sampleCount(double length) {
    // Converting NaN or a count beyond int32 to an integer would be undefined.
    if (!std::isfinite(length)) return 0;
    const double count = std::trunc(length * 10.0 + 1.0);
    if (!(count >= 1.0)) return 0;
    return count > kMaxSamplesPerElement ? kMaxSamplesPerElement : static_cast<int32_t>(count);
}

void NInterfaceNull::sample(const Geo& geo) {
    const int32_t count = sampleCount(geo.length());
    if (count == 0) return;
    const BlockOrigin origin = geo.origin();
    // Each sample's two lines are put together here and written whole: one stream write
    // per line instead of one per piece.
    char line[32];
    const int32_t index = origin.span.valid ? lineIndex(origin.span.begin) : kNoLine;
    char* lineEnd = appendText(line, "\t\t");
    lineEnd = std::to_chars(lineEnd, line + sizeof line, index).ptr;
    lineEnd = appendText(lineEnd, ",\n");
    // Three numbers of at most 13 characters ("-1.23457e+308"), their separators.
    char vertex[80];
    for (int32_t i = 0; i < count; ++i) {
        // i / count, not i / (count - 1): the end point is the next element's start.
        const Point3 p = geo.pointAt(static_cast<double>(i) / count);
        char* at = appendText(vertex, "\t\t");
        at = appendNumber(at, vertex + sizeof vertex, p.x);
        at = appendText(at, ",  ");
        at = appendNumber(at, vertex + sizeof vertex, p.y);
        at = appendText(at, ",  ");
        at = appendNumber(at, vertex + sizeof vertex, p.z);
        at = appendText(at, ",\n");
        vertexText.write(vertex, at - vertex);
        lineText.write(line, lineEnd - line);
    }
}

void NInterfaceNull::setSource(const ScannerInputFile* source) {
    source_ = source;
    lineFeeds_.clear();
    if (source == nullptr) return;
    const std::string& text = source->expandedText();
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
        lineFeeds_.push_back(static_cast<int32_t>(at));
}

int32_t NInterfaceNull::lineIndex(const SourcePosition& position) const {
    if (source_ == nullptr) return position.line - 1;
    // Line feeds strictly before the position: a position on a line feed still belongs
    // to the line that the feed ends.
    const auto before = std::lower_bound(lineFeeds_.begin(), lineFeeds_.end(), position.inputOffset);
    return static_cast<int32_t>(before - lineFeeds_.begin());
}

void NInterfaceNull::finish() {
    if (!previewOn) return;
    std::ofstream page(hostPath(outputFile), std::ios::binary | std::ios::trunc);
    if (!page.is_open()) return;
    writeText(page, previewPageHead());
    vertexText.writeTo(page);
    writeText(page, kPreviewBetweenArrays);
    lineText.writeTo(page);
    writeText(page, previewPageMiddle());
    writeListing(page, source_ != nullptr ? std::string_view(source_->listing()) : std::string_view());
    writeText(page, kPreviewPageEnd);
}

} // namespace Karsto
