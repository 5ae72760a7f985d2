#pragma once
// A kernel simulator with its router in a temporary directory for each test.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "support/kernelsim/kernel_simulator.h"

namespace KernelTest {

using KernelSim::kPatience;

class SimulatorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "vdkernXXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        ::setenv("VORDASH_VEK_ROUTER", (dir_ + "/router.sock").c_str(), 1);
        ::setenv("VORDASH_ZEL_TIMEOUT_MS", "5000", 1);
        sim_ = std::make_unique<KernelSim::KernelSimulator>();
    }
    void TearDown() override {
        sim_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // Repeats the step until it reports true; false once the deadline has passed.
    static bool within(const std::function<bool()>& step) {
        auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (!step()) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2)); // polling, bounded above
        }
        return true;
    }

    std::string dir_;
    std::unique_ptr<KernelSim::KernelSimulator> sim_;
};

} // namespace KernelTest
