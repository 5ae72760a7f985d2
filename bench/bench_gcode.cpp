// G-code blocks per second of a channel: a loop of G1 blocks, each the pushes of its word
// values and a Gcode instruction as the compiler emits them, stepped on a
// StackmachineInterpreter bound to a GProcessorNc2 whose output discards every command,
// with every log level off. Each block is read, checked, moved through the path processor
// and delivered.

#include <benchmark/benchmark.h>

#include "core/cmd_const.h"
#include "core/cmd_flow.h"
#include "core/code.h"
#include "core/gcode.h"
#include "core/log.h"
#include "core/stackmachine_interpreter.h"
#include "discarding_output.h"
#include "gcode/gprocessor_nc2.h"

namespace Karsto {
namespace {

using bench::DiscardingOutput;

CmdGcode* block(std::initializer_list<const char*> names) {
    GCode gcode(-1, SourceSpan());
    for (const char* name : names) gcode.addWord(name);
    auto* cmd = new CmdGcode(gcode);
    SourcePosition at;
    at.file = "/programs/channel1/contour_finishing.jyx";
    at.line = 12;
    cmd->setSpan(SourceSpan(at, at));
    return cmd;
}

CodeLinked link(const std::vector<CodeItem*>& items) {
    Code code;
    for (CodeItem* item : items) code = code.concat(Code(item));
    return CodeLinked(code);
}

// Two blocks per pass, there and back, so every line has a length:
// L: G1 X10 Y5 F600; G1 X0 Y0; Jump L   (ten steps: the label costs one)
constexpr int64_t kPasses = 500;
constexpr int64_t kStepsPerPass = 10;
constexpr int64_t kBlocksPerPass = 2;

void BM_GcodeG1Blocks(benchmark::State& state) {
    for (int32_t level = 0; level < kLogLevelCount; ++level) globalLog.setLevel(level, false);
    DiscardingOutput output;
    GProcessorNc2 processor(&output);
    StackmachineInterpreter machine(&processor);
    processor.machine = &machine;
    machine.setWaitEnabled(false);
    machine.trace = true; // as the controller runs it
    auto* loop = new Label();
    machine.loadProgram(link({loop, new CmdConstLreal(1.0), new CmdConstLreal(10.0),
                              new CmdConstLreal(5.0), new CmdConstLreal(600.0),
                              block({"g", "x", "y", "f"}), new CmdConstLreal(0.0),
                              new CmdConstLreal(0.0), block({"x", "y"}), new CmdJump(loop)}));
    for (auto _ : state) {
        for (int64_t i = 0; i < kPasses * kStepsPerPass; ++i) machine.step();
    }
    const int64_t blocks = state.iterations() * kPasses * kBlocksPerPass;
    state.SetItemsProcessed(blocks);
    // One line per block once the run has started: shows that every block reached the output.
    state.counters["commands_per_block"] =
        static_cast<double>(output.delivered) / static_cast<double>(blocks);
}
BENCHMARK(BM_GcodeG1Blocks);

} // namespace
} // namespace Karsto

BENCHMARK_MAIN();
