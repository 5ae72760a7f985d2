// NC commands per second through the queue: made, inserted under their block key, and
// delivered block by block (limitUpdate, delivery) to an output that discards them, with
// the queue's debug lines off, as in a run of a long CAM program.

#include <benchmark/benchmark.h>

#include <memory>

#include "core/log.h"
#include "geometry/geo_line.h"
#include "geometry/ncmd_queue.h"
#include "discarding_output.h"

namespace Karsto {
namespace {

using bench::DiscardingOutput;

std::unique_ptr<NCmdGeo> lineOf(uint64_t counter, const BlockOrigin& origin) {
    const double x = static_cast<double>(counter);
    return std::make_unique<NCmdGeo>(std::make_unique<GeoLine>(
        Pose(x, 0, 0), Pose(x + 1, 0, 0), FeedParams{100.0, 0.0}, origin, BlockKey{counter, 0.0}));
}

constexpr uint64_t kBlocks = 10000;

// Blocks of one line each, or ("mixed") of a line, an M function and a sync point. With
// "held" a stage holds every block's line back by one block, as a compensation does: the
// line of block n is inserted while block n + 1 runs, behind block n's other commands.
void BM_QueueDelivery(benchmark::State& state) {
    globalLog.setLevel(LogLevel::debugNCmdQueue, false);
    const bool mixed = state.range(0) != 0;
    const bool held = state.range(1) != 0;
    DiscardingOutput output;
    const BlockOrigin origin{SourceSpan(), 10.0};
    for (auto _ : state) {
        NCmdQueue queue;
        queue.setOutput(&output);
        for (uint64_t counter = 1; counter <= kBlocks; ++counter) {
            const BlockKey key{counter, 0.0};
            if (held) {
                queue.keyHold(key);
                if (counter > 1) {
                    queue.insert(lineOf(counter - 1, origin));
                    queue.keyRelease({counter - 1, 0.0});
                }
            } else {
                queue.insert(lineOf(counter, origin));
            }
            if (mixed) {
                queue.insert(std::make_unique<NCmdMFunc>(8.0, origin, key));
                queue.insert(std::make_unique<NCmdSync>(origin, key));
            }
            queue.setHoldKey({counter + 1, -1000.0});
            queue.limitUpdate();
            queue.delivery();
        }
    }
    state.counters["commands"] =
        benchmark::Counter(static_cast<double>(output.delivered), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_QueueDelivery)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"mixed", "held"})
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace Karsto

BENCHMARK_MAIN();
