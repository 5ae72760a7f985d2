// A large run file (100,000 "G1 X.. Y.." lines) through the run-file reader into a
// channel's G-code processor with a discarding output, log levels off, in batches of
// 100 blocks as the runfile built-in feeds them. Reports blocks per second; measures,
// asserts nothing.

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "core/log.h"
#include "discarding_output.h"
#include "frontend/scanner_input.h"
#include "gcode/builtins/runfile_reader.h"
#include "gcode/gprocessor_nc2.h"
#include "language_runtime.h"

namespace Karsto {
namespace {

constexpr int kLines = 100'000;

// The run file, written once per process; removed at exit.
const std::string& runFile() {
    static const std::string path = [] {
        char pattern[] = "/tmp/vdbenchrunXXXXXX";
        const int fd = ::mkstemp(pattern);
        if (fd >= 0) ::close(fd);
        std::ofstream out(pattern, std::ios::binary);
        for (int i = 0; i < kLines; ++i)
            out << "G1 X" << (i % 200) << '.' << (i % 7) << " Y" << (i % 50) << ".25\n";
        std::atexit([] { std::remove(runFile().c_str()); });
        return std::string(pattern);
    }();
    return path;
}

void BM_RunfileBlocks(benchmark::State& state) {
    bench::prepareLanguageRuntime();
    for (int32_t level = 0; level < 64; ++level) globalLog.setLevel(level, false);
    const std::string& path = runFile();
    bench::DiscardingOutput output;
    GProcessorNc2 processor(&output);
    int64_t blocks = 0;
    for (auto _ : state) {
        processor.startProgram();
        ScannerInputFileStream input;
        input.open(path);
        RunfileReader reader(&processor, &input);
        while (!reader.done()) reader.readBlocks();
        blocks += kLines + 1; // and the empty block at the end
    }
    state.SetItemsProcessed(blocks);
}
BENCHMARK(BM_RunfileBlocks)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace Karsto

BENCHMARK_MAIN();
