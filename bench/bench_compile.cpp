// Compile throughput: scanning, parsing, both evaluator walks and linking of generated
// G-code blocks whose words compute "=" expressions over host externals, as the compile
// driver does it; blocks per second. Reading the file is outside the timing. Also the
// whole compile driver, the registration of the built-ins included: its fixed cost on a
// one-line program, and generated part programs.

#include <benchmark/benchmark.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "codegen/codegen_install.h"
#include "codegen/operation_emitters.h"
#include "core/code.h"
#include "core/emitters.h"
#include "core/memory.h"
#include "core/program.h"
#include "core/type.h"
#include "core/type_pointer.h"
#include "core/type_string.h"
#include "core/variable.h"
#include "evaluator/compile_time_evaluation.h"
#include "frontend/jyx_parser.h"
#include "frontend/scanner.h"
#include "frontend/scanner_input.h"
#include "host/compile.h"
#include "language_runtime.h"
#include "mixed_source.h"

namespace Karsto {
namespace {

// Blocks with plain numbers and "=" expressions over the host's R-parameters and two
// INT variables.
std::string expressionBlocks(int blocks) {
    std::string source;
    for (int i = 0; i < blocks; ++i) {
        const std::string n = std::to_string(i);
        source += "N" + n + " G1 X=R1*2+" + n + " Y=a/b-R2 Z=-r1 F1000\n";
    }
    return source;
}

struct HostVariables {
    HostVariables() {
        for (const char* name : {"r1", "r2"}) add(name, typeLreal);
        for (const char* name : {"a", "b"}) add(name, typeInt);
    }
    void add(const char* name, Type* type) {
        variables.push_back(std::make_unique<Variable>(&shared, name, type, flagBit(VariableFlags::HOST_DECLARED),
                                                       VariableAccess::NONE));
    }
    MemoryShared shared;
    std::vector<std::unique_ptr<Variable>> variables;
};

void BM_CompileGcodeExpressions(benchmark::State& state) {
    createElementaryTypes();
    createDefaultStringTypes();
    createNullPointerType();
    installCodeGenerator();
    const int blocks = static_cast<int>(state.range(0));
    MixedSourceFile file("bench_compile", expressionBlocks(blocks));
    ScannerInputFile loaded;
    loaded.load(file.path());
    HostVariables host;
    int64_t compiles = 0;
    int64_t items = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto input = std::make_unique<ScannerInputFile>(loaded);
        state.ResumeTiming();
        Scanner scanner(input.get());
        scanner.mode = ScannerMode::gcode;
        JyxParser parser(&scanner);
        for (const auto& variable : host.variables) parser.symbols.variables->declare(variable->name(), variable.get());
        parser.parse();
        CodeLinked linked(parser.program->code);
        items = linked.size();
        benchmark::DoNotOptimize(items);
        ++compiles;
    }
    state.counters["blocks"] = benchmark::Counter(static_cast<double>(compiles) * blocks, benchmark::Counter::kIsRate);
    state.counters["items/block"] = static_cast<double>(items) / blocks;
}
BENCHMARK(BM_CompileGcodeExpressions)->Arg(5000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

// Compiles the loaded source through the compile driver once per iteration; a compile
// error ends the benchmark with its text.
int64_t compileRepeatedly(benchmark::State& state, const ScannerInputFile& loaded) {
    int64_t items = 0;
    for (auto _ : state) {
        // The copy is timed: it is small beside a compile, and pausing the timer would
        // cost more than it on the one-line program.
        ScannerInputFile input(loaded);
        CodeLinked linked;
        try {
            compile(linked, &input, nullptr, {}, "jyx");
        } catch (const std::exception& error) {
            state.SkipWithError(error.what());
            break;
        }
        items = linked.size();
        benchmark::DoNotOptimize(items);
    }
    return items;
}

// The fixed cost of a compile: fresh symbol tables, the 410 built-ins with their
// instruction objects, the basic natives, and a program of one assignment.
void BM_CompileOneLine(benchmark::State& state) {
    bench::prepareLanguageRuntime();
    MixedSourceFile file("bench_compile_line", "{VAR x : INT; END_VAR x := 1;}\n");
    ScannerInputFile loaded;
    loaded.load(file.path());
    compileRepeatedly(state, loaded);
    state.counters["compiles"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CompileOneLine)->Unit(benchmark::kMicrosecond);

// Generated part programs: VAR blocks, G-code blocks, loops, branches, strings and
// built-in calls, through the whole compile driver.
void BM_CompilePartProgram(benchmark::State& state) {
    bench::prepareLanguageRuntime();
    const int blocks = static_cast<int>(state.range(0));
    MixedSourceFile file("bench_compile_part", partProgram(blocks));
    ScannerInputFile loaded;
    loaded.load(file.path());
    const int64_t items = compileRepeatedly(state, loaded);
    state.counters["blocks"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * blocks, benchmark::Counter::kIsRate);
    state.counters["items/block"] = static_cast<double>(items) / blocks;
}
BENCHMARK(BM_CompilePartProgram)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// One compile-time value as a declaration asks for it: (3 + 4) * 2 on a fresh machine
// per call, its 16 MiB block taken without being written.
void BM_EvaluateConstInt(benchmark::State& state) {
    createElementaryTypes();
    installCodeGenerator();
    const SourceSpan none;
    const Code code = emitIntegerLiteral("3", 10, typeIntegerLiteral, none)
                          .concat(emitIntegerLiteral("4", 10, typeIntegerLiteral, none))
                          .concat(emitAdd(typeIntegerLiteral, none))
                          .concat(emitIntegerLiteral("2", 10, typeIntegerLiteral, none))
                          .concat(emitMul(typeIntegerLiteral, none));
    for (auto _ : state) benchmark::DoNotOptimize(evaluateConstInt(code, typeIntegerLiteral));
    state.counters["evaluations"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EvaluateConstInt);

} // namespace
} // namespace Karsto

BENCHMARK_MAIN();
