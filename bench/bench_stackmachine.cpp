// Steps hand-linked loops on a channel's interpreter as the controller would: `trace`
// set, every debug level off, a processor that does nothing. Reports instructions
// (items stepped) per second; measures, asserts nothing.

#include <benchmark/benchmark.h>

#include <vector>

#include "core/cmd_flow.h"
#include "core/cmd_stack.h"
#include "core/log.h"
#include "core/stackmachine_interpreter.h"

namespace Karsto {
namespace {

class NoopProcessor : public GProcessor {
public:
    void executeBlock(int32_t, const std::vector<GCodeWord>&, const SourceSpan&) override {}
    void startProgram() override {}
    void finishProgram() override {}
    bool isStalled() override { return false; }
    void registerNatives(SymbolTables&, std::vector<FunctionNative*>&) override {}
    void reset() override {}
};

CodeLinked link(const std::vector<CodeItem*>& items) {
    Code code;
    for (CodeItem* item : items) code = code.concat(Code(item));
    return CodeLinked(code);
}

constexpr int64_t kStepsPerIteration = 3000;

void stepLoop(benchmark::State& state, const CodeLinked& program) {
    for (int32_t level = 0; level < kLogLevelCount; ++level) globalLog.setLevel(level, false);
    NoopProcessor processor;
    StackmachineInterpreter machine(&processor);
    machine.loadProgram(program);
    machine.trace = true;
    for (auto _ : state) {
        for (int64_t i = 0; i < kStepsPerIteration; ++i) machine.step();
    }
    benchmark::DoNotOptimize(machine.getSp());
    state.SetItemsProcessed(state.iterations() * kStepsPerIteration);
}

// L: Fp; SpAdd -1; Jump L
void BM_StepLoop(benchmark::State& state) {
    auto* loop = new Label();
    stepLoop(state, link({loop, new CmdFp(), new CmdSpAdd(-1), new CmdJump(loop)}));
}
BENCHMARK(BM_StepLoop);

// L: JumpSub F; Jump L; F: SpAdd 2; Fp; Ld 1; SpAdd -1; Return
void BM_CallReturnLoop(benchmark::State& state) {
    auto* loop = new Label();
    auto* function = new Label();
    stepLoop(state, link({loop, new CmdJumpSub(function), new CmdJump(loop), function,
                          new CmdSpAdd(2), new CmdFp(), new CmdLd(1), new CmdSpAdd(-1),
                          new CmdReturn()}));
}
BENCHMARK(BM_CallReturnLoop);

} // namespace
} // namespace Karsto

BENCHMARK_MAIN();
