#include "gcode/ninterface_null.h"

#include <algorithm>
#include <array>
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

// 10^0 to 10^9, all exact in a double.
constexpr double kScales[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
// 10^-4 to 10^5, the decades that the format writes in fixed notation.
constexpr double kDecades[] = {1e-4, 1e-3, 1e-2, 1e-1, 1e0, 1e1, 1e2, 1e3, 1e4, 1e5};
constexpr int32_t kLowestDecade = -4;
constexpr int32_t kSignificantDigits = 6;

// The longest fixed form: "-0.000123456".
constexpr ptrdiff_t kFixedSixRoom = 12;
// "00" to "99".
constexpr auto kDigitPairs = [] {
    std::array<char, 200> pairs{};
    for (size_t i = 0; i < 100; ++i) {
        pairs[2 * i] = static_cast<char>('0' + i / 10);
        pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

bool isFixedSix(double magnitude) { return magnitude >= 1e-4 && magnitude < 1e6; } // NaN: false

} // namespace

char* NInterfaceNull::appendNumber(char* at, char* end, double value) {
    const double magnitude = std::fabs(value);
    if (isFixedSix(magnitude) && end - at >= kFixedSixRoom) {
        // The decade of the leading digit: magnitude lies in [10^decade, 10^(decade + 1)).
        const int32_t highest = kLowestDecade + static_cast<int32_t>(std::size(kDecades)) - 1;
        int32_t decade = magnitude >= 1.0 ? 0 : kLowestDecade;
        while (decade < highest && magnitude >= kDecades[decade + 1 - kLowestDecade]) ++decade;
        // Six digits from 100000 to 999999 when the decade is right; a rounding up to the
        // next decade goes the exact way below. The product is rounded once, and both an
        // integer n and n + 0.5 are doubles here: it lies on the side of them that the
        // exact product lies on, or on them. So its floor and its fraction's side of one
        // half are the exact ones, except on n + 0.5 itself, which may hide either side
        // of a tie and goes the exact way too.
        const double scaled = magnitude * kScales[kSignificantDigits - 1 - decade];
        auto digits = static_cast<int32_t>(scaled); // below 10^6: the floor
        const double fraction = scaled - static_cast<double>(digits);
        if (fraction != 0.5) {
            if (fraction > 0.5) ++digits;
            if (digits >= 100000 && digits < 1000000) {
                char text[2 * kSignificantDigits]; // the digits, then room for full-width reads
                std::memcpy(text, &kDigitPairs[2 * (digits / 10000)], 2);
                std::memcpy(text + 2, &kDigitPairs[2 * (digits / 100 % 100)], 2);
                std::memcpy(text + 4, &kDigitPairs[2 * (digits % 100)], 2);
                int32_t used = kSignificantDigits; // without the trailing zeros of the fraction
                const int32_t whole = decade >= 0 ? decade + 1 : 0;
                while (used > whole && text[used - 1] == '0') --used;
                // Put together in full-width pieces, then handed out at its length.
                char out[kFixedSixRoom + 4];
                int32_t length = 0;
                if (value < 0.0) out[length++] = '-';
                if (whole == 0) {
                    std::memcpy(out + length, "0.000", 1 - decade); // "0." and the zeros after it
                    length += 1 - decade;
                    std::memcpy(out + length, text, kSignificantDigits);
                    length += used;
                } else {
                    std::memcpy(out + length, text, kSignificantDigits);
                    if (used > whole) {
                        out[length + whole] = '.';
                        std::memcpy(out + length + whole + 1, text + whole, kSignificantDigits);
                        ++used;
                    }
                    length += used;
                }
                std::memcpy(at, out, kFixedSixRoom);
                return at + length;
            }
        }
    }
    return std::to_chars(at, end, value, std::chars_format::general, kSignificantDigits).ptr;
}

namespace {

char* appendText(char* at, std::string_view text) {
    std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

void writeText(std::ostream& out, std::string_view text) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// What write does on a sample stream, which has no tied stream and no unit buffering,
// without building its sentry: the samples write two lines each, by the million.
void writeSampleLine(std::ostream& out, const char* text, std::streamsize count) {
    if (!out.good()) {
        if (out.bad()) out.setstate(std::ios::failbit);
        return;
    }
    if (out.rdbuf()->sputn(text, count) != count) out.setstate(std::ios::badbit);
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
        at = NInterfaceNull::appendNumber(at, vertex + sizeof vertex, p.x);
        at = appendText(at, ",  ");
        at = NInterfaceNull::appendNumber(at, vertex + sizeof vertex, p.y);
        at = appendText(at, ",  ");
        at = NInterfaceNull::appendNumber(at, vertex + sizeof vertex, p.z);
        at = appendText(at, ",\n");
        writeSampleLine(vertexText, vertex, at - vertex);
        writeSampleLine(lineText, line, lineEnd - line);
    }
}

void NInterfaceNull::setSource(const ScannerInputFile* source) {
    source_ = source;
    lineFeeds_.clear();
    lineFeedsRead_ = false;
}

int32_t NInterfaceNull::lineIndex(const SourcePosition& position) const {
    if (source_ == nullptr) return position.line - 1;
    if (!lineFeedsRead_) {
        const std::string& text = source_->expandedText();
        lineFeeds_.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')));
        for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
            lineFeeds_.push_back(static_cast<int32_t>(at));
        lineFeedsRead_ = true;
    }
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
