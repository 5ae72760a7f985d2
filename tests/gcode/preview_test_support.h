#pragma once
// An offline output with the preview on, over a program written to a fresh directory and
// loaded as a compile's input. Running it compiles the loaded input and runs it on a
// channel whose G-code processor delivers to the output; the tests may also deliver
// commands to the output themselves.

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
#include "support/jyx_harness.h"

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

    // Compiles and runs the program, delivering to the output; a run that ends normally
    // writes the page. Returns the compile or run error's text, empty when there is none.
    std::string run() {
        result_ = runNcProgram(input, output);
        return result_.errorText();
    }

    std::string page() const { return readFile(output.outputFile); }

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
    HarnessResult result_; // last, so it goes first: its processor delivers to the output
};

} // namespace Karsto::test
