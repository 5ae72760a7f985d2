#pragma once
// Runs every interpreter task of the process on one thread. Each cycle executes the
// requests other threads queued (start or stop the kernel interface, quit), steps every
// running task by at most one instruction, reports changed task states to the kernel
// interface, lets it wait when nothing could be done and lets it process what arrived.
// Where the kernel interface's cycles are alike and one task runs alone, that task takes
// in one cycle the steps of the cycles that would follow, as long as each of them would
// be the same as the first: nothing observable tells the two apart.
//
// Sections order the channels: a task steps only while its lower section bound is not
// above the previous cycle's section, and a running task whose upper bound lies below
// the cycle's section lowers it to that bound.
//
// The controller also owns the shared memory of the R-parameters: the cell allocator
// (`memoryShared`), the image behind it and, per task, the shared variables its
// programs see as externals.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/memory.h"
#include "host/controller_task.h"
#include "host/kernel_interface.h"

namespace Karsto {

class ExceptionKarsto;
class Stackmachine;
class Variable;

// A queued request; other values are taken from the queue without effect.
enum class ControllerRequest : int32_t {
    start = 0, // KernelInterface::start
    stop = 1,  // KernelInterface::stop
    quit = 2,  // end the cycle once the current drain is done
};

class Controller {
public:
    Controller();
    // Deletes neither the tasks still listed nor the kernel interface: their owners
    // remove and delete them first.
    virtual ~Controller();
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    // The cycle; returns on a quit request, on the first idle cycle once stopWhenIdle is
    // set, or after logging an exception that escaped a cycle. Runs on the one thread
    // that owns the tasks.
    void run();

    // Queue a request; callable from any thread.
    void kernelInterfaceStart();
    void kernelInterfaceStop();
    void quit();

    // A new task {this, machine, undefined, unchanged, no error, name} at the end of
    // `tasks`.
    ControllerTask* taskAdd(Stackmachine* machine, const std::string& name);
    // Unlinks and deletes the task (with its error and its list of shared variables) and
    // returns its machine, which the caller deletes; null for a task not in the list.
    Stackmachine* taskRemove(ControllerTask* task);

    // Frees the image, starts `memoryShared` over and forgets every task's list of shared
    // variables (the callers register their variables again right after). The machines
    // lose their shared area until the next bind. The variables are not deleted.
    void sharedMemoryClear();
    // Appends the variable to the task's list; a null task means every current task.
    void sharedVariableAdd(ControllerTask* task, Variable* variable);
    // A new image of memoryShared's cell count (contents not initialised), bound to every
    // task's machine with the names of that task's shared variables.
    void sharedMemoryBind();

    // Set by the creator once both exist; not owned.
    KernelInterface* kernel = nullptr;
    // In the order of taskAdd; created and deleted by taskAdd and taskRemove.
    std::vector<ControllerTask*> tasks;
    bool stopWhenIdle = false;
    MemoryShared memoryShared;
    // One 8-byte cell per cell of memoryShared; null until bound.
    std::unique_ptr<double[]> sharedImage;
    std::map<ControllerTask*, std::vector<Variable*>> sharedVariables;

private:
    void queueRequest(ControllerRequest request);
    // Executes and removes every queued request; false once a quit was among them.
    bool drainRequests();
    // Steps every running task once (where sections and wait counters let it) and
    // lowers the section to the upper bounds of the tasks still running.
    struct WalkResult {
        bool idle = true;      // nothing stepped, failed or lowered the section
        bool stepped = false;  // some task executed (or failed) an instruction
    };
    WalkResult stepTasks(uint64_t lastSection, uint64_t& section);
    size_t runningTasks() const;
    // After the walk's step of a task that runs alone: the steps of the cycles that would
    // follow, up to kStepsAlone steps in all, while each would be the same as this one.
    // A channel's interpreter takes them through StackmachineInterpreter::runSteps.
    template <class Machine>
    void stepAlone(Machine& machine, uint64_t lastSection, uint64_t section);
    static constexpr int32_t kStepsAlone = 1 << 14;
    void reportStateChanges();
    static void fail(ControllerTask& task, const ExceptionKarsto& e);

    std::mutex mutex_; // guards requests_; held while they are drained and executed
    std::condition_variable condition_;
    std::deque<ControllerRequest> requests_;
    // Set with each queued request, cleared by the drain: read without the mutex by the
    // steps of a task that runs alone, so a request ends them early.
    std::atomic<bool> requestsPending_ = false;
};

} // namespace Karsto
