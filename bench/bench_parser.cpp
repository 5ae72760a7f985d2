// Parser throughput over a large generated source that mixes G-code lines and
// Structured Text: scanning, LR driving and tree building, with an evaluator that does
// nothing; the tree is freed at the next parse's reset, inside the timing.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

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
    LoadedSource() : file("bench_parser", 2000) {
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

void BM_ParseFileInput(benchmark::State& state) {
    static const LoadedSource source;
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
    state.counters["tokens"] =
        benchmark::Counter(static_cast<double>(parses * source.tokens), benchmark::Counter::kIsRate);
    state.counters["lines"] =
        benchmark::Counter(static_cast<double>(parses * source.lines), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(parses * static_cast<int64_t>(source.input.expandedText().size()));
}
BENCHMARK(BM_ParseFileInput)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace Karsto

BENCHMARK_MAIN();
