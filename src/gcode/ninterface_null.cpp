#include "gcode/ninterface_null.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <string_view>

#include "core/host_path.h"
#include "frontend/scanner_input.h"
#include "gcode/preview_page.h"
#include "geometry/geo.h"
#include "geometry/ncmd.h"

namespace Karsto {

namespace {

// The default stream format of a number (six significant digits, "%g" style), without
// the stream's per-number locale work: samples are written by the million.
void writeNumber(std::ostream& out, double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    out.write(buffer, result.ptr - buffer);
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
    char line[24];
    const int32_t index = origin.span.valid ? lineIndex(origin.span.begin) : kNoLine;
    const char* lineEnd = std::to_chars(line, line + sizeof line, index).ptr;
    for (int32_t i = 0; i < count; ++i) {
        // i / count, not i / (count - 1): the end point is the next element's start.
        const Point3 p = geo.pointAt(static_cast<double>(i) / count);
        writeText(vertexText, "\t\t");
        writeNumber(vertexText, p.x);
        writeText(vertexText, ",  ");
        writeNumber(vertexText, p.y);
        writeText(vertexText, ",  ");
        writeNumber(vertexText, p.z);
        writeText(vertexText, ",\n");
        writeText(lineText, "\t\t");
        lineText.write(line, lineEnd - line);
        writeText(lineText, ",\n");
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
