#pragma once
// Helpers for the controller's tests: a kernel interface that counts its calls, reports
// each cycle and returns a scripted section, and hand-linked programs that call the
// native "section".

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/cmd_const.h"
#include "core/cmd_flow.h"
#include "core/cmd_stack.h"
#include "core/function_native.h"
#include "core/machine_test_support.h"
#include "core/natives_basic.h"
#include "core/type.h"
#include "host/controller.h"

namespace Karsto::test {

class FakeKernel final : public KernelInterface {
public:
    struct Report {
        ControllerTask* task;
        StackmachineState state;
        int cycle;
    };

    explicit FakeKernel(Controller& controller_) : controller(controller_) {
        controller.kernel = this;
    }

    void start() override {
        ++starts;
        running = true;
    }
    void stop() override {
        ++stops;
        running = false;
    }
    void processEvents() override {
        ++eventPasses;
        if (onEvents) onEvents(cycle());
    }
    void wait() override {
        ++waits;
        waitCycles.push_back(cycle());
        if (onWait) onWait();
    }
    void wake() override { ++wakes; }
    bool isRunning() override { return running; }
    uint64_t currentSection() override {
        ++sectionQueries;
        return section;
    }
    void stackmachineStateChanged(ControllerTask* task) override {
        reports.push_back({task, task->state, cycle()});
        if (refuse) throw ExceptionSemantic("refused", SourceSpan());
    }

    // The running cycle, from 1: the section is asked once per running cycle.
    int cycle() const { return sectionQueries; }
    // Ends the run at the drain after the given cycle.
    void quitAfter(int lastCycle) {
        onEvents = [this, lastCycle](int c) {
            if (c == lastCycle) controller.quit();
        };
    }

    Controller& controller;
    bool running = false;
    uint64_t section = kNoSection;
    bool refuse = false; // stackmachineStateChanged throws
    std::function<void(int cycle)> onEvents;
    std::function<void()> onWait;
    int starts = 0, stops = 0, eventPasses = 0, waits = 0, wakes = 0, sectionQueries = 0;
    std::vector<int> waitCycles;
    std::vector<Report> reports;
};

// Programs built from instructions, with the native "section" at hand.
class ProgramTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { createElementaryTypes(); }
    static void TearDownTestSuite() { destroyElementaryTypes(); }

    ProgramTest() {
        section_ = new FunctionNativeSection;
        section_->retain();
    }
    ~ProgramTest() override { section_->release(); }

    // Pushes the section as ULINT, calls "section", drops the argument.
    std::vector<CodeItem*> sectionCall(uint64_t sec) {
        return {new CmdConstUlint(sec), new CmdCallNative(section_), new CmdSpAdd(-1)};
    }
    // L: <body>; Jump L
    static std::vector<CodeItem*> loopOf(std::vector<CodeItem*> body) {
        auto* loop = new Label();
        body.insert(body.begin(), loop);
        body.push_back(new CmdJump(loop));
        return body;
    }
    static std::vector<CodeItem*> join(std::vector<std::vector<CodeItem*>> parts) {
        std::vector<CodeItem*> all;
        for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
        return all;
    }
    static CodeItem* failing(const char* text) {
        return new TestCmd("fail", [text](Stackmachine&) { checkRuntime(false, "%s", text); });
    }

private:
    FunctionNative* section_;
};

// The steps each task made in each cycle, read at the end of every cycle.
class StepLog {
public:
    explicit StepLog(std::vector<ControllerTask*> tasks) : tasks_(std::move(tasks)) {
        last_.assign(tasks_.size(), 0);
    }
    void record() {
        std::vector<int64_t> cycle;
        for (size_t i = 0; i < tasks_.size(); ++i) {
            cycle.push_back(tasks_[i]->machine->stepCount - last_[i]);
            last_[i] = tasks_[i]->machine->stepCount;
        }
        steps.push_back(cycle);
    }
    // Steps of task i in cycle c (from 1).
    int64_t at(int c, size_t i) const { return steps.at(static_cast<size_t>(c - 1)).at(i); }

    std::vector<std::vector<int64_t>> steps;

private:
    std::vector<ControllerTask*> tasks_;
    std::vector<int64_t> last_;
};

inline int countOf(const std::vector<std::string>& lines, const std::string& line) {
    int n = 0;
    for (const std::string& each : lines) n += each == line ? 1 : 0;
    return n;
}

} // namespace Karsto::test
