// Scanner throughput over a large generated source that mixes G-code lines and
// Structured Text, from the compiler's input and from the run-file stream input.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "frontend/scanner.h"
#include "frontend/scanner_input.h"

namespace Karsto {
namespace {

constexpr int kBlocks = 20000;

std::string generatedSource() {
    std::string source;
    for (int i = 0; i < kBlocks; ++i) {
        std::string n = std::to_string(i);
        source += "N" + n + " G1 X" + n + ".5 Y-" + std::to_string(i % 100) + ".25 F1000 (feed move)\n";
        source += "{ FOR k := 1 TO 10 DO r1 := r1 + 1.5e3 * SIN(r2); END_FOR; }\n";
        source += "!IF r1 > 16#FF THEN r2 := 0; END_IF; // reset\n";
        source += "G2 X{r1*2} Y{r2} I.5 J-.5\n";
        source += "{ s := 'text $'quoted$''; t := T#1h2m3s; (* note (* nested *) *) }\n";
    }
    return source;
}

// One file for the whole run, removed at exit.
class SourceFile {
public:
    SourceFile()
        : path_((std::filesystem::temp_directory_path() /
                 ("vordash_bench_scanner_" + std::to_string(::getpid()) + ".jyx"))
                    .string()) {
        std::ofstream out(path_, std::ios::binary);
        out << generatedSource();
    }
    ~SourceFile() { std::filesystem::remove(path_); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

const SourceFile& sourceFile() {
    static SourceFile file;
    return file;
}

// Source lines, not <newline> tokens: Structured Text lines yield none.
int64_t lineCount(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

void scanToEnd(ScannerInput& input, int64_t& tokens, int64_t& lines) {
    static const int64_t sourceLines = lineCount(generatedSource());
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
