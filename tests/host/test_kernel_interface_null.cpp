#include <gtest/gtest.h>

#include <memory>

#include "controller_test_support.h"
#include "core/allocation_count.h"
#include "core/stackmachine_interpreter.h"
#include "gcode/gprocessor_nc2.h"
#include "host/kernel_interface_null.h"

namespace Karsto {
namespace {

using test::LogCapture;
using test::TestCmd;

class OfflineRun : public test::ProgramTest {
protected:
    OfflineRun() { controller.kernel = kernel.get(); }
    ~OfflineRun() override { kernel.reset(); } // before the controller, as the entry does

    // A new channel with the program, started as the task start does.
    ControllerTask* channel(const std::string& name, const std::vector<CodeItem*>& items) {
        ControllerTask* task = kernel->channelCreate(name);
        test::loadItems(*task->machine, items);
        task->state = StackmachineState::running;
        kernel->stackmachineStateChanged(task);
        return task;
    }
    void runToEnd() {
        controller.kernelInterfaceStart();
        controller.stopWhenIdle = true;
        controller.run();
    }

    Controller controller;
    std::unique_ptr<KernelInterfaceNull> kernel = std::make_unique<KernelInterfaceNull>(&controller);
};

// The first failing task stops the controller: the cycle in which it failed still steps
// the tasks after it, and the run ends at the next drain.
TEST_F(OfflineRun, FailedTaskStopsTheControllerAtTheNextDrain) {
    LogCapture log({LogLevel::error, LogLevel::debugKiState});
    channel("a.jyx", {new CmdFp(), new CmdHalt()});
    ControllerTask* b = channel("b.jyx", {new CmdFp(), test::withSpan(failing("Array index out of range"), 2)});
    ControllerTask* c = channel("c.jyx", loopOf({new CmdFp(), new CmdSpAdd(-1)}));
    controller.kernelInterfaceStart(); // not stopWhenIdle: the quit alone ends the run
    controller.run();

    const std::string text = test::spanAt(2).toString() + ": Array index out of range";
    EXPECT_EQ(log.lines, (std::vector<std::string>{
                             "[debugKiState] Stackmachine a.jyx running",
                             "[debugKiState] Stackmachine b.jyx running",
                             "[debugKiState] Stackmachine c.jyx running",
                             "[error] b.jyx: " + text,
                             "[debugKiState] Stackmachine a.jyx finished",
                             "[error] Stackmachine b.jyx error (" + text + "). Stopping controller.",
                         }));
    EXPECT_EQ(b->state, StackmachineState::error);
    EXPECT_EQ(c->state, StackmachineState::running);
    EXPECT_EQ(c->machine->stepCount, 2);
}

TEST_F(OfflineRun, StateChangesAreLoggedAndAnErrorQueuesAQuit) {
    LogCapture log({LogLevel::error, LogLevel::debugKiState});
    ControllerTask* task = kernel->channelCreate("p.jyx");
    test::loadItems(*task->machine, {new CmdFp(), new CmdHalt()});
    const StackmachineState states[] = {StackmachineState::undefined, StackmachineState::stopped,
                                        StackmachineState::finished, StackmachineState::running};
    for (StackmachineState state : states) {
        task->state = state;
        kernel->stackmachineStateChanged(task);
    }
    task->error.reset(new ExceptionSemantic("Unknown identifier 'x'.", test::spanAt(4)));
    task->state = StackmachineState::error;
    kernel->stackmachineStateChanged(task);
    task->state = StackmachineState::running; // the queued quit ends the run before a step
    controller.kernelInterfaceStart();
    controller.run();
    EXPECT_EQ(task->machine->stepCount, 0);
    const std::string text = test::spanAt(4).toString() + ": Unknown identifier 'x'.";
    EXPECT_EQ(log.lines, (std::vector<std::string>{
                             "[debugKiState] Stackmachine p.jyx undefined",
                             "[debugKiState] Stackmachine p.jyx stopped",
                             "[debugKiState] Stackmachine p.jyx finished",
                             "[debugKiState] Stackmachine p.jyx running",
                             "[error] Stackmachine p.jyx error (" + text + "). Stopping controller.",
                         }));
}

TEST_F(OfflineRun, LoneTaskLogsItsSectionOnce) {
    LogCapture log({LogLevel::debugController, LogLevel::info});
    std::vector<CodeItem*> after = {
        new TestCmd("after", [](Stackmachine&) { globalLog.info("after"); }), new CmdFp(),
        new CmdFp(), new CmdHalt()};
    ControllerTask* task = channel("lone.jyx", join({sectionCall(9), after}));
    runToEnd();
    EXPECT_EQ(task->state, StackmachineState::finished);
    EXPECT_EQ(task->machine->stepCount, 7);
    // The section is set before the instruction after the call steps; 0 is never logged.
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{"[debugController] SECTION 9", "[info] after"}));
}

TEST_F(OfflineRun, ChannelsAreNeverBlockedAndGoWithTheKernelInterface) {
    ControllerTask* a = channel("a.jyx", {new CmdFp(), new CmdFp(), new CmdHalt()});
    ControllerTask* b = channel("b.jyx", {new CmdHalt()});
    EXPECT_EQ(controller.tasks, (std::vector<ControllerTask*>{a, b}));
    EXPECT_EQ(kernel->names.at(b), "b.jyx");
    ASSERT_EQ(typeid(*a->machine), typeid(StackmachineInterpreter));
    auto* interpreter = static_cast<StackmachineInterpreter*>(a->machine);
    EXPECT_NE(interpreter->processor, nullptr);
    EXPECT_EQ(interpreter->processor, static_cast<GProcessor*>(kernel->processors.at(a).get()));
    EXPECT_EQ(kernel->processors.at(a)->machine, a->machine);

    a->machine->decWaitCounter(2);
    a->machine->decWaitCounter(3);
    EXPECT_FALSE(a->machine->isBlocked());
    runToEnd();
    EXPECT_EQ(a->state, StackmachineState::finished);
    EXPECT_EQ(b->state, StackmachineState::finished);

    kernel.reset(); // deletes the machines and processors (the sanitizers check)
    EXPECT_TRUE(controller.tasks.empty());
}

// Switches every log level off while it lives.
class LogSilence {
public:
    LogSilence() {
        for (int32_t level = 0; level < kLogLevelCount; ++level) {
            saved_[level] = globalLog.enabled(static_cast<LogLevel>(level));
            globalLog.setLevel(level, false);
        }
    }
    ~LogSilence() {
        for (int32_t level = 0; level < kLogLevelCount; ++level) globalLog.setLevel(level, saved_[level]);
    }
    LogSilence(const LogSilence&) = delete;
    LogSilence& operator=(const LogSilence&) = delete;

private:
    bool saved_[kLogLevelCount] = {};
};

TEST_F(OfflineRun, SteppedRunAllocatesNothingPerCycle) {
    LogSilence silence;
    // Each probe counts its passes; the first task's reads the counter after 100 and
    // after 2,100 passes, and both halt at 2,100.
    int64_t before = -1;
    int64_t after = -1;
    auto probe = [&](bool reads) {
        return new TestCmd("probe", [&, reads, passes = 0](Stackmachine& m) mutable {
            ++passes;
            if (reads && passes == 100) before = test::allocationCount();
            if (reads && passes == 2100) after = test::allocationCount();
            if (passes == 2100) m.halt();
        });
    };
    ControllerTask* a = channel("a.jyx", join({sectionCall(3), loopOf({new CmdFp(), new CmdSpAdd(-1), probe(true)})}));
    ControllerTask* b = channel("b.jyx", loopOf({new CmdFp(), new CmdSpAdd(-1), probe(false)}));
    runToEnd();
    EXPECT_EQ(a->state, StackmachineState::finished);
    EXPECT_EQ(b->state, StackmachineState::finished);
    ASSERT_GE(before, 0);
    EXPECT_EQ(after - before, 0);
}

} // namespace
} // namespace Karsto
