// Parser throughput over large generated sources, one that mixes G-code lines and
// Structured Text and one of G-code alone: scanning, LR driving and tree building,
// with an evaluator that does nothing; the tree is freed at the next parse's reset,
// inside the timing. Beside the rates, the size of the tree: nodes and the bytes the
// tree's arena took, per source line. bench/parse_file gives the whole-process cost.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

#include "frontend/ast_arena.h"
#include "frontend/jyx_parser.h"
#include "frontend/scanner.h"
#include "frontend/scanner_input.h"
#include "mixed_source.h"

namespace Karsto {
namespace {

class NoEvaluation final : public JyxParser {
public:
    using JyxParser::JyxParser;
    void evaluate() override { benchmark::DoNotOptimize(root); }
};

// Read once, copied for every parse.
struct LoadedSource {
    explicit LoadedSource(std::string text) : file("bench_parser", std::move(text)) {
        input.load(file.path());
        Scanner scanner(&input);
        scanner.mode = ScannerMode::gcode;
        for (Token t = scanner.nextToken(); !t.is(TokenKind::end); t = scanner.nextToken()) ++tokens;
        ++tokens; // "<end>" is shifted too
        lines = std::count(file.text().begin(), file.text().end(), '\n');
        input.load(file.path()); // back to the start
    }

    MixedSourceFile file;
    ScannerInputFile input;
    int64_t tokens = 0;
    int64_t lines = 0;
};

void parseRepeatedly(benchmark::State& state, const LoadedSource& source) {
    ScannerInputFile input = source.input;
    Scanner scanner(&input);
    NoEvaluation parser(&scanner);
    int64_t parses = 0;
    for (auto _ : state) {
        state.PauseTiming();
        input = source.input; // a fresh read position
        scanner.mode = ScannerMode::gcode;
        state.ResumeTiming();
        parser.parse();
        ++parses;
    }
    const auto lines = static_cast<double>(source.lines);
    state.counters["tokens"] =
        benchmark::Counter(static_cast<double>(parses * source.tokens), benchmark::Counter::kIsRate);
    state.counters["lines"] = benchmark::Counter(static_cast<double>(parses) * lines, benchmark::Counter::kIsRate);
    state.counters["nodes/line"] = static_cast<double>(parser.nodeArena->nodeCount()) / lines;
    state.counters["tree bytes/line"] = static_cast<double>(parser.nodeArena->reservedBytes()) / lines;
    state.SetBytesProcessed(parses * static_cast<int64_t>(source.input.expandedText().size()));
}

void BM_ParseFileInput(benchmark::State& state) {
    static const LoadedSource source(mixedSource(2000));
    parseRepeatedly(state, source);
}
BENCHMARK(BM_ParseFileInput)->Unit(benchmark::kMillisecond);

void BM_ParseGcodeOnly(benchmark::State& state) {
    static const LoadedSource source(gcodeSource(20000));
    parseRepeatedly(state, source);
}
BENCHMARK(BM_ParseGcodeOnly)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace Karsto

BENCHMARK_MAIN();
