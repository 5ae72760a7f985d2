// Scanner throughput over a large generated source that mixes G-code lines and
// Structured Text, from the compiler's input and from the run-file stream input.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "frontend/scanner.h"
#include "frontend/scanner_input.h"
#include "mixed_source.h"

namespace Karsto {
namespace {

const MixedSourceFile& sourceFile() {
    static MixedSourceFile file("bench_scanner", 20000);
    return file;
}

// Source lines, not <newline> tokens: Structured Text lines yield none.
int64_t lineCount(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

void scanToEnd(ScannerInput& input, int64_t& tokens, int64_t& lines) {
    static const int64_t sourceLines = lineCount(sourceFile().text());
    Scanner scanner(&input);
    scanner.mode = ScannerMode::gcode;
    for (Token token = scanner.nextToken(); !token.is(TokenKind::end); token = scanner.nextToken()) {
        ++tokens;
        benchmark::DoNotOptimize(token);
    }
    lines += sourceLines;
}

void report(benchmark::State& state, int64_t tokens, int64_t lines, int64_t bytes) {
    state.counters["tokens"] = benchmark::Counter(static_cast<double>(tokens), benchmark::Counter::kIsRate);
    state.counters["lines"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(bytes);
}

void BM_ScanFileInput(benchmark::State& state) {
    ScannerInputFile loaded;
    loaded.load(sourceFile().path());
    int64_t tokens = 0;
    int64_t lines = 0;
    int64_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ScannerInputFile input = loaded; // a fresh read position
        state.ResumeTiming();
        scanToEnd(input, tokens, lines);
        bytes += static_cast<int64_t>(loaded.expandedText().size());
    }
    report(state, tokens, lines, bytes);
}
BENCHMARK(BM_ScanFileInput)->Unit(benchmark::kMillisecond);

void BM_ScanStreamInput(benchmark::State& state) {
    int64_t tokens = 0;
    int64_t lines = 0;
    int64_t bytes = 0;
    auto size = static_cast<int64_t>(std::filesystem::file_size(sourceFile().path()));
    for (auto _ : state) {
        ScannerInputFileStream input;
        input.open(sourceFile().path());
        scanToEnd(input, tokens, lines);
        bytes += size;
    }
    report(state, tokens, lines, bytes);
}
BENCHMARK(BM_ScanStreamInput)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace Karsto

BENCHMARK_MAIN();
