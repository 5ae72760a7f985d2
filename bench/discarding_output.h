#pragma once
// An NC output that drops every delivered command (kept from being optimised away), for
// the benchmarks that measure commands or lines per second up to the output.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "geometry/ncmd.h"
#include "geometry/ninterface.h"

namespace Karsto::bench {

class DiscardingOutput final : public NInterface {
public:
    void keyReset() override {}
    void cmdAdd(std::unique_ptr<NCmd> cmd) override {
        benchmark::DoNotOptimize(cmd.get());
        ++delivered;
    }
    void ipolRulesSend() override {}
    void finish() override {}
    void keySet(const BlockKey& limit) override { benchmark::DoNotOptimize(limit); }

    int64_t delivered = 0;
};

} // namespace Karsto::bench
