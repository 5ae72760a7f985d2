#pragma once
// The NC system's logger for tests: holds Vek port 100 and keeps every log report that
// reaches it, in arrival order.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "host/zel/vek_port.h"
#include "host/zel/zel_wire.h"
#include "support/kernelsim/kernel_simulator.h"

namespace KernelSim {

class LoggerCollector : public CVekR3Port {
public:
    // Connects port 100 at once; throws std::runtime_error when it cannot.
    LoggerCollector() : CVekR3Port(0, 0, nullptr, 1) {
        if (!VekConnect(vekPort(VekPortNumber::logger), 4096, 80))
            throw std::runtime_error("logger collector: Vek port 100 is taken");
    }
    ~LoggerCollector() override { portShutdown(); }

    void VekDispatch(const VekCmd& command) override {
        ZelLogReport report;
        if (!zelDecodeLogReport(command, report))
            return;
        {
            std::lock_guard lock(mutex_);
            reports_.push_back(report);
        }
        changed_.notify_all();
    }

    // Waits until at least n reports arrived; false at the deadline.
    bool waitFor(std::size_t n, std::chrono::milliseconds patience = kPatience) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, patience, [&] { return reports_.size() >= n; });
    }
    std::vector<ZelLogReport> reports() {
        std::lock_guard lock(mutex_);
        return reports_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<ZelLogReport> reports_;
};

} // namespace KernelSim
