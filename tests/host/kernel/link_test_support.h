#pragma once
// A Controller with a KernelInterfaceNc2 whose loop runs on a thread of the test, the
// kernel simulator on the other side, and a log capture that any thread may write to.
//
// The test thread looks at the controller, the link and the channels only while the
// loop is paused (quit and joined); everything the loop did is visible then.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/log.h"
#include "core/type.h"
#include "core/type_pointer.h"
#include "core/type_string.h"
#include "host/controller.h"
#include "host/kernel/kernel_interface_nc2.h"
#include "kernel_test_support.h"
#include "support/jyx_harness.h"

namespace KernelTest {

// Captures the lines of the given levels from any thread; restores the levels after.
class SharedLogCapture : public Karsto::LogListener {
public:
    explicit SharedLogCapture(std::vector<Karsto::LogLevel> levels) : levels_(std::move(levels)) {
        for (Karsto::LogLevel level : levels_) {
            saved_.push_back(Karsto::globalLog.enabled(level));
            Karsto::globalLog.setLevel(level, true);
        }
        savedStderr_ = Karsto::globalLog.toStderr();
        Karsto::globalLog.setStderr(false);
        Karsto::globalLog.addListener(this);
    }
    ~SharedLogCapture() override {
        Karsto::globalLog.removeListener(this);
        for (size_t i = 0; i < levels_.size(); ++i) Karsto::globalLog.setLevel(levels_[i], saved_[i]);
        Karsto::globalLog.setStderr(savedStderr_);
    }
    SharedLogCapture(const SharedLogCapture&) = delete;
    SharedLogCapture& operator=(const SharedLogCapture&) = delete;

    void logLine(int32_t, const std::string& line) override {
        std::lock_guard lock(mutex_);
        lines_.push_back(line);
    }
    std::vector<std::string> lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    bool contains(const std::string& line) {
        std::lock_guard lock(mutex_);
        return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
    }
    // Lines that begin with the prefix.
    size_t count(const std::string& prefix) {
        std::lock_guard lock(mutex_);
        return static_cast<size_t>(std::count_if(lines_.begin(), lines_.end(), [&](const std::string& l) {
            return l.compare(0, prefix.size(), prefix) == 0;
        }));
    }
    void clear() {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
    std::vector<Karsto::LogLevel> levels_;
    std::vector<bool> saved_;
    bool savedStderr_ = false;
};

// A simulator for suites that compile programs: the types and the code generator's
// seams, made afresh for each suite as other suites of this program destroy the types
// at their end.
class CompilingSimulatorFixture : public SimulatorFixture {
protected:
    static void SetUpTestSuite() {
        Karsto::createElementaryTypes();
        Karsto::createDefaultStringTypes();
        Karsto::createNullPointerType();
        Karsto::test::prepareLanguageRuntime();
    }
    static void TearDownTestSuite() {
        Karsto::destroyElementaryTypes();
        Karsto::destroyDefaultStringTypes();
        Karsto::destroyNullPointerType();
    }
};

class LinkFixture : public CompilingSimulatorFixture {
protected:

    void SetUp() override {
        SimulatorFixture::SetUp();
        log_ = std::make_unique<SharedLogCapture>(std::vector<Karsto::LogLevel>{
            Karsto::LogLevel::error, Karsto::LogLevel::warning, Karsto::LogLevel::info,
            Karsto::LogLevel::debugKiState, Karsto::LogLevel::debugKiIO});
        controller_ = std::make_unique<Karsto::Controller>();
        link_ = std::make_unique<Karsto::KernelInterfaceNc2>(controller_.get(), dir_);
        controller_->kernel = link_.get();
    }
    void TearDown() override {
        pause();
        // The link before the controller: its channels remove their tasks.
        link_.reset();
        controller_.reset();
        log_.reset();
        SimulatorFixture::TearDown();
    }

    // Runs the controller loop on its thread.
    void resume() {
        ASSERT_FALSE(loop_.joinable());
        loop_ = std::thread([this] { controller_->run(); });
    }
    // Ends the loop after its current cycle and joins it.
    void pause() {
        if (!loop_.joinable()) return;
        controller_->quit();
        loop_.join();
    }
    // The loop runs, the start request is executed and the server answers.
    void startLink() {
        resume();
        controller_->kernelInterfaceStart();
        ASSERT_TRUE(within([&] { return serverAnswers(); }));
    }
    bool serverAnswers() {
        char name[kZelDeviceNameSize];
        ZelVersion version;
        return sim_->client().ZelSyncReadDeviceInfoReq(KernelSim::KernelSimulator::interpreter(), name, version) ==
               0;
    }

    // Sends 0x401E and returns the error code of its answer (0x7FFFFFFF without one).
    uint32_t initialise() {
        VekCmd response;
        if (sim_->command(Karsto::KernelInterfaceNc2::kCmdInitInterpreter, {}, response) != 0) return 0x7FFFFFFF;
        return response.head().errorCode;
    }

    // The state words the simulator received for the channel, in order.
    std::vector<int32_t> stateWords(int32_t channelId) {
        std::vector<int32_t> words;
        for (const KernelSim::Request& r : sim_->requests()) {
            if (r.kind == KernelSim::Request::Kind::write && r.indexGroup == 0x2100u + static_cast<uint32_t>(channelId) &&
                r.indexOffset == 3 && r.data.size() == 4) {
                int32_t word;
                std::memcpy(&word, r.data.data(), 4);
                words.push_back(word);
            }
        }
        return words;
    }

    std::unique_ptr<SharedLogCapture> log_;
    std::unique_ptr<Karsto::Controller> controller_;
    std::unique_ptr<Karsto::KernelInterfaceNc2> link_;
    std::thread loop_;
};

} // namespace KernelTest
