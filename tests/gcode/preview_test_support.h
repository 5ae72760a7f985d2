#pragma once
// An offline output with the preview on, over a program written to a fresh directory and
// loaded as a compile's input. The motions of the program are delivered to the output
// as its G1 blocks make them: each a line from the current point to the block's target,
// whose origin span covers the block's text in the include-expanded source.
// TODO(#52): run the programs through the program runner instead of delivering lines.

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "frontend/scanner_input.h"
#include "frontend/source_dir.h"
#include "gcode/ninterface_null.h"
#include "geometry/geo_line.h"
#include "geometry/ncmd.h"

namespace Karsto::test {

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The lines of a text, each without its line end.
inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A feed line with the given origin; block counter 1.
inline std::unique_ptr<NCmdGeo> lineCommand(const Point3& from, const Point3& to,
                                            const BlockOrigin& origin = {}) {
    return std::make_unique<NCmdGeo>(std::make_unique<GeoLine>(
        Pose(from, {}), Pose(to, {}), FeedParams{10.0, 0.0}, origin, BlockKey{1, 0.0}));
}

class PreviewProgram {
public:
    // files: name and text of every file; the first one is the main file. Its page is
    // written beside it, named after it with ".html" appended.
    explicit PreviewProgram(std::initializer_list<std::pair<std::string, std::string>> files) {
        for (const auto& [name, text] : files) dir.write(name, text);
        input.load(dir.path() + files.begin()->first);
        output.previewOn = true;
        output.outputFile = dir.path() + files.begin()->first + ".html";
        output.setSource(&input);
    }

    // The motion of the next G1 block with this text, to the given target.
    void move(std::string_view blockText, const Point3& target) {
        const std::string& text = input.expandedText();
        const size_t at = text.find(blockText, searchFrom_);
        ASSERT_NE(at, std::string::npos) << "no block \"" << blockText << "\" left in the program";
        searchFrom_ = at + blockText.size();
        const SourceSpan span(input.locationAt(static_cast<int32_t>(at)),
                              input.locationAt(static_cast<int32_t>(searchFrom_)));
        output.cmdAdd(lineCommand(current_, target, {span, 0.0}));
        current_ = target;
    }

    // The program ends normally: the page is written. Returns its text.
    std::string finish() {
        output.finish();
        return readFile(output.outputFile);
    }

    std::vector<std::string> vertexLines() const { return linesOf(output.vertexText.str()); }
    std::vector<std::string> lineInfo() const { return linesOf(output.lineText.str()); }

    SourceDir dir;
    ScannerInputFile input;
    NInterfaceNull output;

private:
    Point3 current_;
    size_t searchFrom_ = 0;
};

} // namespace Karsto::test
