// Instructions per second through the controller's cycle: offline tasks running the same
// loop as a bare step loop on one machine, so the per-cycle overhead (lock, section
// query, task walks, event pass) shows beside the machine's own cost, and the same with
// the NC kernel link connected to an in-process router but without kernel traffic. Every
// debug level off; measures, asserts nothing.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/cmd_flow.h"
#include "core/cmd_stack.h"
#include "core/log.h"
#include "core/stackmachine_interpreter.h"
#include "host/controller.h"
#include "host/kernel/kernel_interface_nc2.h"
#include "host/kernel_interface_null.h"
#include "host/zel/vek_router.h"

namespace Karsto {
namespace {

constexpr int64_t kPasses = 10000;          // loop passes per task and iteration
constexpr int64_t kItemsPerPass = 4;        // Fp, SpAdd, CountDown, Jump

// Halts the machine after a number of passes, so that a run ends.
class CountDown final : public Cmd {
public:
    explicit CountDown(int64_t* remaining) : remaining_(remaining) {}
    void execute(Stackmachine& machine) override {
        if (--*remaining_ == 0) machine.halt();
    }
    std::string toString() const override { return "CountDown"; }
    CodeItem* clone() const override { return withSpanOf(new CountDown(remaining_)); }

private:
    int64_t* remaining_;
};

// L: Fp; SpAdd -1; CountDown; Jump L
CodeLinked countedLoop(int64_t* remaining) {
    auto* loop = new Label();
    Code code;
    for (CodeItem* item : std::vector<CodeItem*>{loop, new CmdFp(), new CmdSpAdd(-1),
                                                 new CountDown(remaining), new CmdJump(loop)})
        code = code.concat(Code(item));
    return CodeLinked(code);
}

void silenceLog() {
    for (int32_t level = 0; level < kLogLevelCount; ++level) globalLog.setLevel(level, false);
}

// The loop stepped directly, as the controller's walk would with nothing around it.
void BM_BareCountedLoop(benchmark::State& state) {
    silenceLog();
    Controller controller;
    KernelInterfaceNull kernel(&controller);
    controller.kernel = &kernel;
    Stackmachine* machine = kernel.channelCreate("bare")->machine;
    int64_t remaining = 0;
    machine->loadProgram(countedLoop(&remaining));
    for (auto _ : state) {
        machine->reset();
        remaining = kPasses;
        onMachine(*machine, [](auto& m) {
            while (m.isRunning()) m.step();
        });
    }
    state.SetItemsProcessed(state.iterations() * kPasses * kItemsPerPass);
}
BENCHMARK(BM_BareCountedLoop);

// The same loop in n offline tasks through Controller::run, one run per iteration.
void BM_ControllerRun(benchmark::State& state) {
    silenceLog();
    const auto taskCount = static_cast<size_t>(state.range(0));
    Controller controller;
    KernelInterfaceNull kernel(&controller);
    controller.kernel = &kernel;
    controller.stopWhenIdle = true;
    std::vector<int64_t> remaining(taskCount);
    std::vector<ControllerTask*> tasks;
    for (size_t i = 0; i < taskCount; ++i) {
        ControllerTask* task = kernel.channelCreate("task" + std::to_string(i));
        task->machine->loadProgram(countedLoop(&remaining[i]));
        tasks.push_back(task);
    }
    controller.kernelInterfaceStart();
    for (auto _ : state) {
        for (size_t i = 0; i < taskCount; ++i) {
            tasks[i]->machine->reset();
            tasks[i]->state = StackmachineState::running;
            remaining[i] = kPasses;
        }
        controller.run();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(taskCount) * kPasses *
                            kItemsPerPass);
}
BENCHMARK(BM_ControllerRun)->Arg(1)->Arg(4);

// The same loop in one task with the NC kernel link as the controller's kernel
// interface: its event pass runs after every instruction and finds nothing queued.
void BM_ControllerRunNc2Link(benchmark::State& state) {
    silenceLog();
    std::string dir = (std::filesystem::temp_directory_path() / "vdbenchXXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr) {
        state.SkipWithError("no temporary directory");
        return;
    }
    ::setenv("VORDASH_VEK_ROUTER", (dir + "/router.sock").c_str(), 1);
    {
        VekRouter router;
        Controller controller;
        KernelInterfaceNull offline(&controller); // makes the task
        KernelInterfaceNc2 link(&controller, dir);
        controller.kernel = &link;
        controller.stopWhenIdle = true;
        int64_t remaining = 0;
        ControllerTask* task = offline.channelCreate("task");
        task->machine->loadProgram(countedLoop(&remaining));
        link.start();
        for (auto _ : state) {
            task->machine->reset();
            task->state = StackmachineState::running;
            remaining = kPasses;
            link.wake(); // the run's last, idle cycle must not wait
            controller.run();
        }
        link.stop();
        state.SetItemsProcessed(state.iterations() * kPasses * kItemsPerPass);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}
BENCHMARK(BM_ControllerRunNc2Link);

} // namespace
} // namespace Karsto

BENCHMARK_MAIN();
