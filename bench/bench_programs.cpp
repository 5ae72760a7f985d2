// Runs the five Structured Text loops of bench/programs on a channel's interpreter as the
// controller would (`trace` set, every log level off, a processor that does nothing),
// compiled through the test harness as the compile driver compiles them. Reports the time
// and the items stepped per loop iteration; measures, asserts nothing.
//
//   bench_programs                          the Google Benchmark run
//   bench_programs --loop NAME ITERATIONS   one run of one loop (for tools/bench-vs-lua)
//   bench_programs --listing NAME           the loop's linked program, one item a line

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/code.h"
#include "core/log.h"
#include "noop_processor.h"
#include "core/stackmachine_interpreter.h"
#include "support/jyx_harness.h"

namespace Karsto {
namespace {

// A loop's source with its placeholders: ITERATIONS, or ROUNDS of LENGTH elements for
// the array loop (one inner pass is one iteration).
struct Loop {
    const char* name;
    int64_t length; // 0: no inner loop
};

constexpr Loop kLoops[] = {{"integer", 0}, {"lreal", 0}, {"call", 0}, {"array", 1000}, {"string", 0}};

void replaceAll(std::string& text, const std::string& word, const std::string& by) {
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + by.size()))
        text.replace(at, word.size(), by);
}

std::string loopSource(const Loop& loop, int64_t iterations) {
    std::ifstream in(std::string(VORDASH_BENCH_PROGRAMS) + "/" + loop.name + ".jyx", std::ios::binary);
    if (!in) throw std::runtime_error(std::string("no program ") + loop.name);
    std::stringstream text;
    text << in.rdbuf();
    std::string source = text.str();
    if (loop.length > 0) {
        replaceAll(source, "LENGTH", std::to_string(loop.length));
        replaceAll(source, "ROUNDS", std::to_string(iterations / loop.length));
    }
    replaceAll(source, "ITERATIONS", std::to_string(iterations));
    return source;
}

// The loop compiled once; each run on a fresh machine, so the globals start at zero.
class CompiledLoop {
public:
    CompiledLoop(const Loop& loop, int64_t iterations) {
        for (int32_t level = 0; level < kLogLevelCount; ++level) globalLog.setLevel(level, false);
        compiled_ = test::compileOnly(loopSource(loop, iterations));
        if (!compiled_.compiled()) throw std::runtime_error(compiled_.errorText());
    }
    const std::string& listing() const { return compiled_.listing; }
    // Runs the program to its end; the steps taken.
    int64_t run() {
        StackmachineInterpreter machine(&processor_);
        machine.loadProgram(compiled_.linked());
        machine.trace = true;
        machine.run();
        if (machine.getSp() != test::kStackBottom) throw std::runtime_error("the stack is not empty");
        return machine.stepCount;
    }

private:
    test::HarnessResult compiled_;
    NoopProcessor processor_;
};

constexpr int64_t kBenchIterations = 1'000'000;

void BM_Loop(benchmark::State& state, const Loop& loop) {
    CompiledLoop compiled(loop, kBenchIterations);
    int64_t steps = 0;
    for (auto _ : state) steps = compiled.run();
    const auto iterations = static_cast<double>(kBenchIterations);
    state.counters["ns/iteration"] = benchmark::Counter(
        iterations * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["items/iteration"] = static_cast<double>(steps) / iterations;
}

int runOne(const char* name, int64_t iterations, bool listing) {
    for (const Loop& loop : kLoops) {
        if (std::strcmp(loop.name, name) != 0) continue;
        CompiledLoop compiled(loop, iterations);
        if (listing) {
            std::fputs(compiled.listing().c_str(), stdout);
            return 0;
        }
        const int64_t steps = compiled.run();
        std::printf("%s: %lld items\n", name, static_cast<long long>(steps));
        return 0;
    }
    std::fprintf(stderr, "no loop '%s'\n", name);
    return 2;
}

} // namespace
} // namespace Karsto

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--loop") == 0)
        return Karsto::runOne(argv[2], std::strtoll(argv[3], nullptr, 10), false);
    if (argc == 3 && std::strcmp(argv[1], "--listing") == 0) return Karsto::runOne(argv[2], 1000, true);
    for (const Karsto::Loop& loop : Karsto::kLoops)
        benchmark::RegisterBenchmark((std::string("BM_Loop/") + loop.name).c_str(), Karsto::BM_Loop, loop)
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
