#pragma once
// A G-code processor that does nothing, for benchmarks that step a channel's
// interpreter without measuring the G-code path.

#include <vector>

#include "core/gprocessor.h"

namespace Karsto {

class NoopProcessor : public GProcessor {
public:
    void executeBlock(int32_t, const std::vector<GCodeWord>&, const SourceSpan&) override {}
    void startProgram() override {}
    void finishProgram() override {}
    bool isStalled() override { return false; }
    void registerNatives(SymbolTables&, std::vector<FunctionNative*>&) override {}
    void reset() override {}
};

} // namespace Karsto
