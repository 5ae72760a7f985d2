// Calls of an NC built-in as a compiled call makes them, on a channel's interpreter:
// the argument pushed, the CmdCallNative, the result popped. Log levels off. Reports
// calls per second; measures, asserts nothing.

#include <benchmark/benchmark.h>

#include <vector>

#include "core/function_native.h"
#include "core/log.h"
#include "core/stackmachine_interpreter.h"
#include "core/symbol_tables.h"
#include "core/type.h"
#include "gcode/gprocessor_nc2.h"
#include "geometry/ninterface.h"
#include "language_runtime.h"

namespace Karsto {
namespace {

void BM_GsinCall(benchmark::State& state) {
    bench::prepareLanguageRuntime();
    for (int32_t level = 0; level < 64; ++level) globalLog.setLevel(level, false);
    GProcessorNc2 processor(nullptr);
    SymbolTables symbols;
    std::vector<FunctionNative*> natives;
    processor.registerNatives(symbols, natives);
    FunctionNative* gsin = nullptr;
    for (FunctionNative* native : natives) {
        native->retain();
        if (native->name() == "gsin") gsin = native;
    }
    StackmachineInterpreter machine(&processor);
    machine.reset();
    CmdCallNative call(gsin);
    double angle = 0.0;
    for (auto _ : state) {
        machine.pushF64(0.0); // the result's cell
        machine.pushF64(angle);
        call.execute(machine);
        machine.addSp(-1); // the parameter
        benchmark::DoNotOptimize(machine.popF64());
        angle += 1.0;
    }
    state.SetItemsProcessed(state.iterations());
    for (FunctionNative* native : natives) native->release();
    symbols.clear();
}
BENCHMARK(BM_GsinCall);

} // namespace
} // namespace Karsto

BENCHMARK_MAIN();
