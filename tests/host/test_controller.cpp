#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>
#include <type_traits>

#include "controller_test_support.h"
#include "core/stackmachine_interpreter.h"
#include "core/variable.h"
#include "support/jyx_harness.h"

namespace Karsto {
namespace {

using test::FakeKernel;
using test::LogCapture;
using test::StepLog;
using test::TestCmd;

// Owners delete a kernel interface through its own type; the base cannot be deleted.
static_assert(!std::is_destructible_v<KernelInterface>);
static_assert(!std::has_virtual_destructor_v<KernelInterface>);
static_assert(std::has_virtual_destructor_v<Controller>);

class ControllerCycle : public test::ProgramTest {
protected:
    ~ControllerCycle() override {
        while (!controller.tasks.empty()) controller.taskRemove(controller.tasks.front());
    }

    // A running task on a channel interpreter (or, with plain set, on the base machine,
    // which the cycle steps through the virtual operations).
    ControllerTask* addTask(const std::string& name, const std::vector<CodeItem*>& items,
                            bool plain = false) {
        std::unique_ptr<Stackmachine> machine;
        if (plain)
            machine = std::make_unique<Stackmachine>();
        else
            machine = std::make_unique<StackmachineInterpreter>(&processor);
        test::loadItems(*machine, items);
        ControllerTask* task = controller.taskAdd(machine.get(), name);
        machines.push_back(std::move(machine));
        task->state = StackmachineState::running;
        return task;
    }

    test::FakeProcessor processor;
    std::vector<std::unique_ptr<Stackmachine>> machines;
    Controller controller;
    FakeKernel kernel{controller};
};

TEST_F(ControllerCycle, RequestsQueuedBeforeRunAreDrainedInOrder) {
    ControllerTask* task = addTask("a", loopOf({new CmdFp(), new CmdSpAdd(-1)}));
    controller.kernelInterfaceStart();
    controller.quit();
    EXPECT_EQ(kernel.wakes, 2); // every request wakes a wait in progress
    controller.run();
    EXPECT_EQ(kernel.starts, 1);
    EXPECT_EQ(task->machine->stepCount, 0);
    EXPECT_EQ(kernel.sectionQueries, 0);
    EXPECT_EQ(kernel.eventPasses, 0);

    // A quit before a stop: the stop still executes in the same drain.
    controller.quit();
    controller.kernelInterfaceStop();
    controller.run();
    EXPECT_EQ(kernel.stops, 1);
    EXPECT_FALSE(kernel.running);
}

TEST_F(ControllerCycle, StopWhenIdleWithoutTasksEndsAfterOneCycle) {
    controller.kernelInterfaceStart();
    controller.stopWhenIdle = true;
    controller.run();
    EXPECT_EQ(kernel.waits, 1);
    EXPECT_EQ(kernel.eventPasses, 1);
    EXPECT_EQ(kernel.sectionQueries, 1);
}

TEST_F(ControllerCycle, OfflineKernelInterfaceWaitsForARequest) {
    controller.stopWhenIdle = true;
    std::thread cycle([this] { controller.run(); });
    // The cycle waits on its condition: no section asked, no events processed.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    controller.kernelInterfaceStart();
    cycle.join();
    EXPECT_EQ(kernel.starts, 1);
    EXPECT_EQ(kernel.sectionQueries, 1);
    EXPECT_EQ(kernel.eventPasses, 1);
}

// A task keeps the range 0..0, another raises its own to 7 first: the section stays 0
// while the first runs, and the second steps one cycle after the first finished.
TEST_F(ControllerCycle, SectionGatesTasksAgainstThePreviousCycle) {
    LogCapture log({LogLevel::debugController});
    std::vector<CodeItem*> a;
    for (int i = 0; i < 5; ++i) a.push_back(new CmdFp());
    a.push_back(new CmdHalt());
    ControllerTask* taskA = addTask("a", a);
    ControllerTask* taskB =
        addTask("b", join({sectionCall(7), loopOf({new CmdFp(), new CmdSpAdd(-1)})}), true);
    StepLog steps({taskA, taskB});
    kernel.onEvents = [&](int c) {
        steps.record();
        if (c == 10) controller.quit();
    };
    controller.kernelInterfaceStart();
    controller.run();

    // B pushes 7 and calls "section" in cycles 1 and 2, then is gated while A runs.
    for (int c = 1; c <= 6; ++c) EXPECT_EQ(steps.at(c, 0), 1) << c;
    EXPECT_EQ(taskA->state, StackmachineState::finished);
    EXPECT_EQ(steps.at(1, 1), 1);
    EXPECT_EQ(steps.at(2, 1), 1);
    for (int c = 3; c <= 6; ++c) EXPECT_EQ(steps.at(c, 1), 0) << c;
    EXPECT_EQ(kernel.reports.at(0).cycle, 6);
    // A halted in cycle 6, where S became 7; B steps from cycle 7 on.
    for (int c = 7; c <= 10; ++c) EXPECT_EQ(steps.at(c, 1), 1) << c;
    EXPECT_EQ(log.lines, (std::vector<std::string>{"[debugController] SECTION 7"}));
}

TEST_F(ControllerCycle, TaskAboveTheKernelSectionWaitsForIt) {
    LogCapture log({LogLevel::debugController});
    ControllerTask* task = addTask("a", join({sectionCall(6), loopOf({new CmdFp(), new CmdSpAdd(-1)})}));
    StepLog steps({task});
    kernel.section = 4;
    kernel.onEvents = [&](int c) {
        steps.record();
        if (c == 6) kernel.section = 6;
        if (c == 9) controller.quit();
    };
    controller.kernelInterfaceStart();
    controller.run();

    // Cycle 1 lowers S to the task's 0; the call in cycle 2 raises the range to 6..6,
    // which is above 4, and an upper bound above S does not lower it.
    for (int c = 1; c <= 2; ++c) EXPECT_EQ(steps.at(c, 0), 1) << c;
    for (int c = 3; c <= 7; ++c) EXPECT_EQ(steps.at(c, 0), 0) << c;
    for (int c = 8; c <= 9; ++c) EXPECT_EQ(steps.at(c, 0), 1) << c;
    EXPECT_EQ(log.lines, (std::vector<std::string>{"[debugController] SECTION 4",
                                                   "[debugController] SECTION 6"}));
}

TEST_F(ControllerCycle, SectionIsLoggedByItsLow32BitsAndNeverWithoutSection) {
    LogCapture log({LogLevel::debugController});
    const uint64_t script[] = {(uint64_t{1} << 32) + 11, KernelInterface::kNoSection,
                               (uint64_t{1} << 32) + 11, 0xFFFFFFFEu, KernelInterface::kNoSection,
                               0};
    kernel.section = script[0];
    kernel.onEvents = [&](int c) {
        if (c == static_cast<int>(std::size(script))) controller.quit();
        else kernel.section = script[c];
    };
    controller.kernelInterfaceStart();
    controller.run();
    // No section keeps the last one: returning to it logs nothing.
    EXPECT_EQ(log.lines, (std::vector<std::string>{"[debugController] SECTION 11",
                                                   "[debugController] SECTION -2",
                                                   "[debugController] SECTION 0"}));
}

TEST_F(ControllerCycle, FailedAndHaltedTasksAreReportedInTheSameCycle) {
    LogCapture log({LogLevel::error});
    ControllerTask* halting = addTask("halts", {new CmdFp(), new CmdHalt()});
    auto* fail = test::withSpan(failing("Division by zero"), 3);
    ControllerTask* failingTask = addTask("fails", {new CmdFp(), new CmdFp(), fail}, true);
    kernel.quitAfter(5);
    controller.kernelInterfaceStart();
    controller.run();

    ASSERT_EQ(kernel.reports.size(), 2u);
    EXPECT_EQ(kernel.reports[0].task, halting);
    EXPECT_EQ(kernel.reports[0].state, StackmachineState::finished);
    EXPECT_EQ(kernel.reports[0].cycle, 2);
    EXPECT_EQ(kernel.reports[1].task, failingTask);
    EXPECT_EQ(kernel.reports[1].state, StackmachineState::error);
    EXPECT_EQ(kernel.reports[1].cycle, 3);
    EXPECT_FALSE(halting->changed);
    EXPECT_FALSE(failingTask->changed);
    const std::string text = test::spanAt(3).toString() + ": Division by zero";
    ASSERT_NE(failingTask->error, nullptr);
    const auto& failure = *failingTask->error;
    EXPECT_EQ(typeid(failure), typeid(ExceptionRuntime));
    EXPECT_EQ(failingTask->error->what(), text);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"[error] fails: " + text}));
    EXPECT_EQ(failingTask->machine->stepCount, 3); // never stepped again
}

// A refused report fails a task that has no error yet, reported in the next cycle; a
// task that already failed keeps its own error.
TEST_F(ControllerCycle, RefusedStateReportFailsOnlyTasksWithoutError) {
    LogCapture log({LogLevel::error});
    ControllerTask* halting = addTask("halts", {new CmdHalt()});
    ControllerTask* failingTask = addTask("fails", {failing("first")});
    kernel.refuse = true;
    kernel.quitAfter(3);
    controller.kernelInterfaceStart();
    controller.run();

    ASSERT_EQ(kernel.reports.size(), 3u);
    EXPECT_EQ(kernel.reports[0].state, StackmachineState::finished);
    EXPECT_EQ(kernel.reports[1].task, failingTask);
    EXPECT_EQ(kernel.reports[2].task, halting);
    EXPECT_EQ(kernel.reports[2].state, StackmachineState::error);
    EXPECT_EQ(kernel.reports[2].cycle, 2);
    ASSERT_NE(halting->error, nullptr);
    const auto& refusal = *halting->error;
    EXPECT_EQ(typeid(refusal), typeid(ExceptionSemantic));
    EXPECT_STREQ(halting->error->what(), "?: refused");
    EXPECT_STREQ(failingTask->error->what(), "?: first");
    EXPECT_FALSE(failingTask->changed);
    // The refusals themselves are not logged.
    EXPECT_EQ(log.lines, (std::vector<std::string>{"[error] fails: ?: first"}));
}

TEST_F(ControllerCycle, CriticalFailureEndsTheRunWithTheMutexReleased) {
    struct Case {
        std::function<void()> raise;
        const char* line;
    };
    const Case cases[] = {
        {[] { throw std::runtime_error("link lost"); },
         "[error] Terminate due to critical failure 'link lost'"},
        {[] { throw 7; }, "[error] Terminate due to critical failure"},
    };
    for (const Case& c : cases) {
        LogCapture log({LogLevel::error});
        kernel.onEvents = [&c](int) { c.raise(); };
        controller.kernelInterfaceStart();
        controller.run();
        EXPECT_EQ(log.lines, (std::vector<std::string>{c.line}));
        auto later = std::async(std::launch::async, [this] { controller.kernelInterfaceStart(); });
        EXPECT_EQ(later.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        later.get();
    }

    // Only ExceptionKarsto out of a step fails just the task; anything else ends the run.
    LogCapture log({LogLevel::error});
    kernel.onEvents = nullptr;
    addTask("a", {new TestCmd("logic", [](Stackmachine&) { throw std::logic_error("bad"); })});
    controller.run();
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{"[error] Terminate due to critical failure 'bad'"}));
}

// Every running task blocked by its wait counters: the section does not move, so the
// cycle waits for the kernel, yet such a cycle is not idle and does not end the run.
TEST_F(ControllerCycle, BlockedTasksWaitWithoutEndingTheRun) {
    ControllerTask* task = addTask("a", {new CmdFp(), new CmdHalt()});
    task->machine->decWaitCounter(3);
    kernel.onWait = [&] {
        if (kernel.waits == 3) task->machine->incWaitCounter(3);
    };
    controller.stopWhenIdle = true;
    controller.kernelInterfaceStart();
    controller.run();
    EXPECT_EQ(task->state, StackmachineState::finished);
    // Cycles 1 to 3 wait blocked, 4 and 5 step, 6 is idle and ends the run.
    EXPECT_EQ(kernel.waitCycles, (std::vector<int>{1, 2, 3, 6}));
    EXPECT_EQ(kernel.eventPasses, 6);
}

// A blocked task whose section moves (its upper bound lowers S below the last one) is
// not waited for: the move may release a gated task in the next cycle.
TEST_F(ControllerCycle, MovingSectionKeepsTheCycleBusy) {
    ControllerTask* task = addTask("a", loopOf({new CmdFp(), new CmdSpAdd(-1)}));
    task->machine->setSections(3, 3);
    task->machine->decWaitCounter(0);
    kernel.section = 5;
    kernel.quitAfter(3);
    controller.kernelInterfaceStart();
    controller.run();
    // Cycle 1 gates the task and lowers 5 to its bound 3, away from the initial 0; from
    // then on the section stays.
    EXPECT_EQ(kernel.waitCycles, (std::vector<int>{2, 3}));
    EXPECT_EQ(task->machine->stepCount, 0);
}

TEST_F(ControllerCycle, TaskRemoveOfAnUnknownTaskChangesNothing) {
    ControllerTask* task = addTask("a", {new CmdHalt()});
    Variable shared(&controller.memoryShared, "r0", typeLreal, 512, VariableAccess::NONE);
    controller.sharedVariableAdd(task, &shared);
    ControllerTask stranger(&controller, machines.front().get(), "stranger");
    EXPECT_EQ(controller.taskRemove(&stranger), nullptr);
    EXPECT_EQ(controller.taskRemove(nullptr), nullptr);
    EXPECT_EQ(controller.tasks, (std::vector<ControllerTask*>{task}));
    EXPECT_EQ(controller.sharedVariables.size(), 1u);

    EXPECT_EQ(controller.taskRemove(task), machines.front().get());
    EXPECT_TRUE(controller.tasks.empty());
    // A task that later gets the same address must not inherit a list of variables
    // that may be deleted by then.
    EXPECT_TRUE(controller.sharedVariables.empty());
}

TEST_F(ControllerCycle, SharedVariablesBindToEveryMachine) {
    ControllerTask* a = addTask("a", {new CmdHalt()});
    ControllerTask* b = addTask("b", {new CmdHalt()}, true);
    std::vector<std::unique_ptr<Variable>> variables;
    auto declare = [&](const char* name) {
        variables.push_back(std::make_unique<Variable>(&controller.memoryShared, name, typeLreal,
                                                       flagBit(VariableFlags::HOST_DECLARED),
                                                       VariableAccess::NONE));
        return variables.back().get();
    };
    Variable* r0a = declare("r0");
    controller.sharedVariableAdd(a, r0a);
    Variable* r0b = declare("r0");
    controller.sharedVariableAdd(b, r0b);
    Variable* r900 = declare("r900");
    controller.sharedVariableAdd(nullptr, r900);
    EXPECT_EQ(controller.sharedVariables[a], (std::vector<Variable*>{r0a, r900}));
    EXPECT_EQ(controller.sharedVariables[b], (std::vector<Variable*>{r0b, r900}));

    controller.sharedMemoryBind();
    for (int i = 0; i < 3; ++i) controller.sharedImage[i] = 0.0;
    EXPECT_EQ(a->machine->globalAddress("r0"), Stackmachine::kSharedBase + 0);
    EXPECT_EQ(b->machine->globalAddress("r0"), Stackmachine::kSharedBase + 1);
    EXPECT_EQ(a->machine->globalAddress("r900"), Stackmachine::kSharedBase + 2);
    EXPECT_EQ(b->machine->globalAddress("r900"), Stackmachine::kSharedBase + 2);
    // Both machines see one image.
    a->machine->storeF64(Stackmachine::kSharedBase + 2, 2.5);
    EXPECT_EQ(b->machine->loadF64(Stackmachine::kSharedBase + 2), 2.5);
    EXPECT_EQ(controller.sharedImage[2], 2.5);

    controller.sharedMemoryClear();
    EXPECT_EQ(controller.memoryShared.size(), 0);
    EXPECT_TRUE(controller.memoryShared.variables().empty());
    EXPECT_EQ(controller.sharedImage, nullptr);
    EXPECT_TRUE(controller.sharedVariables.empty());
    // The machines no longer reach the freed image.
    EXPECT_THROW(a->machine->loadF64(Stackmachine::kSharedBase + 2), ExceptionRuntime);

    Variable* again = declare("r0");
    EXPECT_EQ(again->offset(), 0);
    controller.sharedVariableAdd(nullptr, again);
    controller.sharedMemoryBind();
    EXPECT_EQ(controller.sharedVariables[a], (std::vector<Variable*>{again}));
    EXPECT_EQ(b->machine->globalAddress("r0"), Stackmachine::kSharedBase + 0);
    b->machine->storeF64(Stackmachine::kSharedBase, 1.0);
    EXPECT_EQ(controller.sharedImage[0], 1.0);
}

// A kernel interface without a kernel, whose cycles are declared alike or not. The same
// programs must run the same on both: the alike one only takes fewer cycles.
class PlainKernel final : public KernelInterface {
public:
    PlainKernel(Controller& controller_, bool alike) : KernelInterface(alike), controller(controller_) {
        controller.kernel = this;
    }
    void start() override { running = true; }
    void stop() override { running = false; }
    void processEvents() override { ++cycles; } // counted only: the controller cannot see it
    // A blocked task keeps the cycle busy: the third wait ends the run.
    void wait() override {
        if (++waits == 3) controller.quit();
    }
    void wake() override {}
    bool isRunning() override { return running; }
    uint64_t currentSection() override { return kNoSection; }
    void stackmachineStateChanged(ControllerTask* task) override {
        globalLog.info("%s state %d", task->name.c_str(), static_cast<int32_t>(task->state));
        if (task->state == StackmachineState::error) controller.quit();
    }

    Controller& controller;
    bool running = false;
    int cycles = 0;
    int waits = 0;
};

// What a run shows: the log and, per task, its state and steps.
struct RunOutcome {
    std::vector<std::string> lines;
    std::vector<StackmachineState> states;
    std::vector<int64_t> steps;
    int cycles = 0;
};

// What the script of a task does in the pass of the given number (from 1).
using Script = std::function<void(Controller&, Stackmachine&, int pass)>;

class AlikeCycles : public test::ProgramTest {
protected:
    // Each script loops {Fp, SpAdd -1, the script twice} in a task of its own, all started, run
    // until the controller stops.
    RunOutcome run(const std::vector<Script>& scripts, bool alike) {
        LogCapture log({LogLevel::info, LogLevel::error, LogLevel::debugController});
        test::FakeProcessor processor;
        Controller controller;
        PlainKernel kernel(controller, alike);
        std::vector<std::unique_ptr<Stackmachine>> machines;
        for (size_t i = 0; i < scripts.size(); ++i) {
            auto machine = std::make_unique<StackmachineInterpreter>(&processor);
            // Two probes in a row share the count, so that a pass can be the first step
            // of a cycle: the one after a pass that ended the cycle's steps.
            auto probe = [&controller, script = scripts[i], pass = std::make_shared<int>(0)] {
                return new TestCmd("script", [&controller, script, pass](Stackmachine& m) {
                    script(controller, m, ++*pass);
                });
            };
            test::loadItems(*machine, loopOf({new CmdFp(), new CmdSpAdd(-1), probe(), probe()}));
            ControllerTask* task = controller.taskAdd(machine.get(), "t" + std::to_string(i));
            machines.push_back(std::move(machine));
            task->state = StackmachineState::running;
        }
        controller.kernelInterfaceStart();
        controller.stopWhenIdle = true;
        controller.run();
        RunOutcome outcome;
        outcome.lines = log.lines;
        for (ControllerTask* task : controller.tasks) {
            outcome.states.push_back(task->state);
            outcome.steps.push_back(task->machine->stepCount);
        }
        outcome.cycles = kernel.cycles;
        while (!controller.tasks.empty()) controller.taskRemove(controller.tasks.front());
        return outcome;
    }
};

TEST_F(AlikeCycles, LoneTaskRunsAsWithOneStepPerCycle) {
    const auto halt = [](int at) {
        return [at](Controller&, Stackmachine& m, int pass) {
            if (pass % 1000 == 0) globalLog.info("pass %d", pass);
            if (pass == at) m.halt();
        };
    };
    const struct {
        const char* name;
        std::vector<Script> scripts;
        bool fewerCycles; // the alike run needs far fewer cycles
    } cases[] = {
        {"halts", {halt(5000)}, true},
        {"sections rise and are logged",
         {[](Controller&, Stackmachine& m, int pass) {
             if (pass == 100) m.setSections(5, 5);
             if (pass == 101) globalLog.info("after 5");
             if (pass == 200) m.setSections(7, 9);
             if (pass == 2000) m.halt();
         }},
         true},
        // Without an upper bound the section stays at the last one, below the new lower
        // bound: the task is gated, the cycle idle and the run over.
        {"lower bound above the last section",
         {[](Controller&, Stackmachine& m, int pass) {
             if (pass == 1500) m.setSections(4, KernelInterface::kNoSection);
             if (pass == 1600) m.setSections(KernelInterface::kNoSection, KernelInterface::kNoSection);
         }},
         true},
        // An odd pass runs the first of the two probes: a change of the sections in pass
        // 1501 ends the cycle's steps, so that pass 1502 is the first step of a cycle.
        {"upper bound raised by the first step of a cycle",
         {[](Controller&, Stackmachine& m, int pass) {
             if (pass == 1501) m.setSections(2, 2);
             if (pass == 1502) m.setSections(2, 5);
             if (pass == 1503) globalLog.info("after 5");
             if (pass == 2000) m.halt();
         }},
         true},
        {"lower bound raised by the first step of a cycle",
         {[](Controller&, Stackmachine& m, int pass) {
             if (pass == 1501) m.setSections(2, 2);
             if (pass == 1502) m.setSections(4, KernelInterface::kNoSection);
         }},
         true},
        {"fails", {[](Controller&, Stackmachine&, int pass) { checkRuntime(pass != 777, "bad pass"); }}, false},
        {"quits from a step",
         {[](Controller& c, Stackmachine&, int pass) {
             if (pass == 300) c.quit();
         }},
         false},
        {"blocks", {[](Controller&, Stackmachine& m, int pass) {
             if (pass == 40) m.decWaitCounter(3);
         }},
         false},
        {"two tasks step in turn",
         {[](Controller&, Stackmachine& m, int pass) {
              globalLog.info("a %d", pass);
              if (pass == 5) m.halt();
          },
          [](Controller&, Stackmachine& m, int pass) {
              globalLog.info("b %d", pass);
              if (pass == 3) m.setSections(2, 2);
              if (pass == 2000) m.halt();
          }},
         false},
    };
    for (const auto& c : cases) {
        const RunOutcome stepped = run(c.scripts, false);
        const RunOutcome alike = run(c.scripts, true);
        EXPECT_EQ(alike.lines, stepped.lines) << c.name;
        EXPECT_EQ(alike.states, stepped.states) << c.name;
        EXPECT_EQ(alike.steps, stepped.steps) << c.name;
        EXPECT_GT(stepped.steps.back(), 100) << c.name;
        if (c.fewerCycles) {
            EXPECT_LT(alike.cycles * 100, stepped.cycles) << c.name;
        }
    }
}

// Compiled programs: loops, G-code blocks and the native that moves the sections, each in
// a task of its own with a processor of its own that logs its blocks. A lone task runs
// its steps through the interpreter's plan; the blocks, the log (SECTION lines
// included), the states and the steps must be those of one step per cycle.
TEST_F(AlikeCycles, CompiledProgramsRunAsWithOneStepPerCycle) {
    const auto program = [](int rows, const char* more) {
        return "{VAR ii, jj : DINT; xx : LREAL; aa : ARRAY [1..30] OF LREAL; END_VAR\n"
               "FOR ii := 1 TO " +
               std::to_string(rows) +
               " DO\n"
               "  FOR jj := 1 TO 5 DO xx := xx + 0.25 * DINT_TO_LREAL(jj); END_FOR;\n"
               "  IF ii MOD 10 = 0 THEN section(DINT_TO_ULINT(ii)); END_IF;\n" +
               std::string(more) +
               " }\n"
               "G1 X=xx Y=ii\n"
               "{END_FOR;}\n"
               "M30\n";
    };
    const test::HarnessResult longer = test::compileOnly(program(60, ""));
    const test::HarnessResult shorter = test::compileOnly(program(4, ""));
    const test::HarnessResult failing = test::compileOnly(program(60, "aa[ii] := xx;"));
    for (const test::HarnessResult* compiled : {&longer, &shorter, &failing})
        ASSERT_TRUE(compiled->compiled()) << compiled->errorText();
    const struct {
        const char* name;
        std::vector<const test::HarnessResult*> programs;
        bool fewerCycles; // one task runs alone most of the time
    } cases[] = {
        {"one task", {&longer}, true},
        {"one task that fails", {&failing}, true},
        {"a short and a long task", {&shorter, &longer}, true},
        {"two long tasks", {&longer, &longer}, false},
    };
    for (const auto& c : cases) {
        RunOutcome outcomes[2];
        for (const bool alike : {false, true}) {
            LogCapture log({LogLevel::info, LogLevel::error, LogLevel::debugController});
            Controller controller;
            PlainKernel kernel(controller, alike);
            std::vector<std::unique_ptr<test::FakeProcessor>> processors;
            std::vector<std::unique_ptr<Stackmachine>> machines;
            for (size_t i = 0; i < c.programs.size(); ++i) {
                auto& processor = *processors.emplace_back(std::make_unique<test::FakeProcessor>());
                processor.failWith = [&processor, i] {
                    globalLog.info("t%d block %s", static_cast<int32_t>(i),
                                   test::blockText(processor.blocks.back()).c_str());
                };
                auto machine = std::make_unique<StackmachineInterpreter>(&processor);
                machine->loadProgram(c.programs[i]->linked());
                controller.taskAdd(machine.get(), "t" + std::to_string(i))->state = StackmachineState::running;
                machines.push_back(std::move(machine));
            }
            controller.kernelInterfaceStart();
            controller.stopWhenIdle = true;
            controller.run();
            RunOutcome& outcome = outcomes[alike ? 1 : 0];
            outcome.lines = log.lines;
            for (ControllerTask* task : controller.tasks) {
                outcome.states.push_back(task->state);
                outcome.steps.push_back(task->machine->stepCount);
            }
            outcome.cycles = kernel.cycles;
            while (!controller.tasks.empty()) controller.taskRemove(controller.tasks.front());
        }
        const RunOutcome& stepped = outcomes[0];
        const RunOutcome& alike = outcomes[1];
        EXPECT_EQ(alike.lines, stepped.lines) << c.name;
        EXPECT_EQ(alike.states, stepped.states) << c.name;
        EXPECT_EQ(alike.steps, stepped.steps) << c.name;
        EXPECT_EQ(test::countOf(stepped.lines, "[debugController] SECTION 30"), 1) << c.name; // the native ran
        EXPECT_GT(stepped.steps.back(), 5000) << c.name;
        if (c.fewerCycles) {
            EXPECT_LT(alike.cycles * 10, stepped.cycles) << c.name;
        }
    }
}

} // namespace
} // namespace Karsto
