#pragma once
// The NC output of an offline channel. Without the preview it deletes every command it
// is given. With the preview on it samples every path element into vertex and line-info
// text and, when the program ends, writes one self-contained HTML page that draws the
// tool path beside the listing of the source and highlights the line being drawn.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gcode/chunked_text.h"
#include "geometry/ninterface.h"

namespace Karsto {

class Geo;
class ScannerInputFile;

class NInterfaceNull final : public NInterface {
public:
    // No element gets more samples than this, however long it is.
    static constexpr int32_t kMaxSamplesPerElement = 1000000;
    // The line index of a sample whose element has no valid origin span.
    static constexpr int32_t kNoLine = -2;

    // Clears the error state of both streams; their text stays.
    void reset() override;
    void keyReset() override {}
    // Samples a path element with the preview on; deletes every command.
    void cmdAdd(std::unique_ptr<NCmd> cmd) override;
    void ipolRulesSend() override {}
    // Writes the page with the preview on; a file that cannot be opened gives no page
    // and no message.
    void finish() override;
    void keySet(const BlockKey&) override {}

    // The loaded input of the channel's compile, not owned: its listing becomes the
    // page's listing and its line starts give each sample's line. Must stay alive and
    // unchanged while it is set; null removes it.
    void setSource(const ScannerInputFile* source);
    const ScannerInputFile* source() const { return source_; }

    // The listing line (from 0) of a source position: the number of line feeds before
    // it in the include-expanded text. Without a source, its line minus 1.
    int32_t lineIndex(const SourcePosition& position) const;

    // How many samples an element of this length gets: trunc(length * 10 + 1), none
    // for a length that is NaN or infinite, at most kMaxSamplesPerElement.
    static int32_t sampleCount(double length);

    // Appends value as the default stream format writes it (printf's "%g": six
    // significant digits, the shorter notation) and returns the end; room for 13
    // characters is needed. Samples are written by the million, so the common fixed
    // notation is written directly, the rest through to_chars.
    static char* appendNumber(char* at, char* end, double value);

    // One line per sample, "\t\t<x>,  <y>,  <z>,\n", grown for the whole run.
    ChunkedTextStream vertexText;
    // One line per sample, "\t\t<listing line>,\n".
    ChunkedTextStream lineText;
    bool previewOn = false;
    std::string outputFile;

private:
    void sample(const Geo& geo);

    const ScannerInputFile* source_ = nullptr;
    // Offsets of every line feed of the source's expanded text, ascending: built at the
    // first sample of a source (a run without preview needs none), so a sample's line
    // costs one binary search.
    mutable std::vector<int32_t> lineFeeds_;
    mutable bool lineFeedsRead_ = false;
};

} // namespace Karsto
