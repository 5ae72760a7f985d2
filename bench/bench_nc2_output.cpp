// Blocks per second through a kernel channel's NC output: each block's commands handed
// to NInterfaceNc2 and flushed as records into a channel whose record write only counts,
// without sockets, with every debug level off. Two shapes: a G1 line with M functions
// and a dwell, and a run of short lines.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "core/log.h"
#include "frontend/scanner_input.h"
#include "geometry/geo_line.h"
#include "geometry/ncmd.h"
#include "host/controller.h"
#include "host/kernel/channel_nc2.h"
#include "host/kernel/kernel_interface_nc2.h"
#include "host/kernel/mfunc_desc.h"
#include "host/kernel/ninterface_nc2.h"

namespace Karsto {
namespace {

class CountingChannel final : public ChannelNc2 {
public:
    using ChannelNc2::ChannelNc2;
    int64_t records = 0;

protected:
    uint32_t recordWrite(const Nc2Record&) override {
        ++records;
        return 0;
    }
};

MFuncDesc descOf(int32_t nr, int32_t fast) {
    std::array<uint8_t, MFuncDesc::kSize> bytes{};
    bytes[0] = static_cast<uint8_t>(nr);
    bytes[8] = static_cast<uint8_t>(fast);
    for (size_t i = 16; i < 20; ++i) bytes[i] = 0xFF; // an empty reset list
    return MFuncDesc(bytes);
}

constexpr uint64_t kBlocks = 10000;

void BM_Nc2Output(benchmark::State& state) {
    for (int level = 0; level < kLogLevelCount; ++level) globalLog.setLevel(level, level < 2);
    const bool withFunctions = state.range(0) != 0;
    // A data directory of its own, so no tool file is read or written elsewhere.
    const std::filesystem::path data = std::filesystem::temp_directory_path() / "vordash-bench-nc2";
    std::filesystem::create_directories(data);
    Controller controller;
    auto kernel = std::make_unique<KernelInterfaceNc2>(&controller, data.string());
    controller.kernel = kernel.get();
    auto* channel = new CountingChannel(kernel.get(), 1, "Kanal1", 65536, 0);
    kernel->channelAdd(channel);
    channel->groupAdd(std::make_unique<GroupNc2>(1, 1, "G1", channel, 0));
    channel->mFuncDescAdd(descOf(3, 0x22));
    channel->mFuncDescAdd(descOf(8, 0x08));
    NInterfaceNc2& output = *channel->output;
    const BlockOrigin origin{SourceSpan(), 10.0};
    int64_t blocks = 0;
    uint64_t counter = 0;
    for (auto _ : state) {
        for (uint64_t b = 0; b < kBlocks; ++b) {
            ++counter;
            const BlockKey key{counter, 0.0};
            const double x = static_cast<double>(counter % 1000);
            if (withFunctions) {
                output.cmdAdd(std::make_unique<NCmdMFunc>(3.0, origin, key, counter));
                output.cmdAdd(std::make_unique<NCmdMFunc>(8.0, origin, key, counter));
                output.cmdAdd(std::make_unique<NCmdWait>(0.5, origin, key, counter));
            }
            output.cmdAdd(std::make_unique<NCmdGeo>(
                std::make_unique<GeoLine>(Pose(x, 0, 0), Pose(x + 0.01, 0, 0), FeedParams{100.0, 0.0}, origin, key),
                counter));
            output.keySet({counter + 1, -1000.0});
        }
        blocks += static_cast<int64_t>(kBlocks);
    }
    state.counters["blocks"] = benchmark::Counter(static_cast<double>(blocks), benchmark::Counter::kIsRate);
    state.counters["records"] = benchmark::Counter(static_cast<double>(channel->records), benchmark::Counter::kIsRate);
    kernel.reset();
    std::filesystem::remove_all(data);
}
BENCHMARK(BM_Nc2Output)->Arg(1)->Arg(0)->ArgName("functions")->Unit(benchmark::kMillisecond);

} // namespace
} // namespace Karsto

BENCHMARK_MAIN();
