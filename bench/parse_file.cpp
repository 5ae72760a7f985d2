// Whole-process cost of a parse, as the compile driver will pay it: load one file,
// scan and parse it once with an evaluator that does nothing, then print the time, the
// process's peak resident memory and the tree's nodes, per line. With --write-mixed or
// --write-gcode it writes the benchmark sources instead.
//
//   parse_file FILE
//   parse_file --write-mixed LINES FILE | --write-gcode BLOCKS FILE

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <string>

#include "frontend/ast_arena.h"
#include "frontend/jyx_parser.h"
#include "frontend/scanner.h"
#include "frontend/scanner_input.h"
#include "mixed_source.h"

namespace {

class NoEvaluation final : public Karsto::JyxParser {
public:
    using JyxParser::JyxParser;
    void evaluate() override {}
};

int writeSource(const std::string& kind, int count, const std::string& path) {
    // The mixed source repeats a group of six lines.
    std::string text = kind == "--write-mixed" ? Karsto::mixedSource(count / 6) : Karsto::gcodeSource(count);
    std::ofstream out(path, std::ios::binary);
    out << text;
    return out.flush() ? 0 : 1;
}

int parseFile(const std::string& path) {
    const auto start = std::chrono::steady_clock::now();
    Karsto::ScannerInputFile input;
    input.load(path);
    Karsto::Scanner scanner(&input);
    scanner.mode = Karsto::ScannerMode::gcode;
    NoEvaluation parser(&scanner);
    parser.parse();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double peakBytes = static_cast<double>(usage.ru_maxrss) * 1024.0;
    const std::string& text = input.expandedText();
    const auto lines = std::max<std::ptrdiff_t>(1, std::count(text.begin(), text.end(), '\n'));
    std::printf("%s: %td lines, %.3f s, peak RSS %.1f MB, %.0f bytes per line, %.1f nodes per line\n",
                path.c_str(), lines, seconds, peakBytes / 1e6, peakBytes / static_cast<double>(lines),
                static_cast<double>(parser.nodeArena->nodeCount()) / static_cast<double>(lines));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 4) return writeSource(argv[1], std::atoi(argv[2]), argv[3]);
        if (argc == 2) return parseFile(argv[1]);
        std::fprintf(stderr, "usage: parse_file FILE | --write-mixed LINES FILE | --write-gcode BLOCKS FILE\n");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "parse_file: %s\n", e.what());
        return 1;
    }
}
