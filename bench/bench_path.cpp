// Lines per second through the path processor: each line made by lineTo under the
// transformation stack, routed straight into the queue or through the smoothing chain, and
// delivered block by block (the key advanced as the G-code processor does) to an output
// that discards it, with every log level off, as in a long CAM program of short moves.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <numbers>

#include "core/log.h"
#include "geometry/canvas6d.h"
#include "geometry/ncmd_queue.h"
#include "discarding_output.h"

namespace Karsto {
namespace {

using bench::DiscardingOutput;

class Channel final : public AProcessorOwner {
public:
    explicit Channel(NInterface& output) { commands.setOutput(&output); }
    NCmdQueue& queue() override { return commands; }
    const BlockKey& key() const override { return current; }

    void nextBlock() {
        current = {current.counter + 1, 0.0};
        commands.setHoldKey({current.counter, -1000.0});
        commands.limitUpdate();
        commands.delivery();
    }

    NCmdQueue commands;
    BlockKey current{1, 0.0};
};

constexpr int kLines = 10000;

// A circle of radius 50 mm in 0.5 mm chords, one line per block, under a zero offset, a
// user rotation and a tool matrix. With "pipeline" the chain smooths it with limits a CAM
// program would set.
void BM_LineTo(benchmark::State& state) {
    for (int32_t level = 0; level < kLogLevelCount; ++level) globalLog.setLevel(level, false);
    const bool pipeline = state.range(0) != 0;
    DiscardingOutput output;
    const FeedParams feed{100.0, 0.0};
    const BlockOrigin origin{SourceSpan(), 10.0};
    constexpr double kRadius = 50.0;
    const double step = 0.5 / kRadius;
    for (auto _ : state) {
        state.PauseTiming();
        Channel channel(output);
        Canvas6d canvas(channel, {});
        auto zero = std::make_unique<TransMatrix>();
        zero->m[0][3] = 10.0;
        canvas.transformations().append(std::move(zero));
        auto user = std::make_unique<TransList>();
        auto rotation = std::make_unique<TransMatrix>();
        rotation->setRotation(0.3, {0, 0, 1});
        user->append(std::move(rotation));
        canvas.transformations().append(std::move(user));
        canvas.transformations().append(std::make_unique<TransMatrix>());
        canvas.setCurrent(canvas.transformations().matrix().applyPose({kRadius, 0, 0}));
        if (pipeline) {
            canvas.setPipelineEnabled(true);
            canvas.breakdetect().setLimits(0.5, 10.0);
            canvas.linemerge().setLimits(0.001, 0.001, 2.0);
            canvas.beziermerge().setMergeDiff(0.001);
        }
        state.ResumeTiming();
        for (int i = 1; i <= kLines; ++i) {
            const double a = step * i;
            canvas.lineTo({kRadius * std::cos(a), kRadius * std::sin(a), 0}, feed, origin,
                          channel.key());
            channel.nextBlock();
        }
        canvas.head().flushAll();
        channel.commands.clear();
    }
    state.counters["lines"] = benchmark::Counter(static_cast<double>(state.iterations()) * kLines,
                                                 benchmark::Counter::kIsRate);
    state.counters["commands"] =
        benchmark::Counter(static_cast<double>(output.delivered), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LineTo)->Arg(0)->Arg(1)->ArgName("pipeline")->Unit(benchmark::kMillisecond);

// One turn of that circle in as many chords under tool radius compensation of 2 mm
// towards its inside, where every chord corner makes a small loop; with "eliminate" the
// compensated path goes through collision elimination without a look-ahead limit, which
// cuts the loops out.
void BM_Compensation(benchmark::State& state) {
    for (int32_t level = 0; level < kLogLevelCount; ++level) globalLog.setLevel(level, false);
    const uint64_t limit = state.range(0) != 0 ? UINT64_MAX : 0;
    DiscardingOutput output;
    const FeedParams feed{100.0, 0.0};
    const BlockOrigin origin{SourceSpan(), 10.0};
    constexpr double kRadius = 50.0;
    const double step = 2.0 * std::numbers::pi / kLines;
    for (auto _ : state) {
        state.PauseTiming();
        Channel channel(output);
        Canvas6d canvas(channel, {});
        canvas.setCurrent({kRadius + 5.0, 0, 0});
        state.ResumeTiming();
        canvas.setParallelPath({0, 0, 2}, 0.0, 0.0, 0.0, 0.0, 0.0, limit);
        canvas.lineTo({kRadius, 0, 0}, feed, origin, channel.key());
        channel.nextBlock();
        for (int i = 1; i <= kLines; ++i) {
            const double a = step * i;
            canvas.lineTo({kRadius * std::cos(a), kRadius * std::sin(a), 0}, feed, origin,
                          channel.key());
            channel.nextBlock();
        }
        canvas.setParallelPath({}, 0.0, 0.0, 0.0, 0.0, 0.0, 0);
        channel.commands.clear();
    }
    state.counters["lines"] = benchmark::Counter(static_cast<double>(state.iterations()) * kLines,
                                                 benchmark::Counter::kIsRate);
    state.counters["commands"] =
        benchmark::Counter(static_cast<double>(output.delivered), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Compensation)->Arg(0)->Arg(1)->ArgName("eliminate")->Unit(benchmark::kMillisecond);

} // namespace
} // namespace Karsto

BENCHMARK_MAIN();
