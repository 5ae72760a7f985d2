#pragma once
// The controller's view of an NC kernel: the cycle starts and stops it, asks whether
// tasks may run and which section the kernel is in, reports task state changes, lets
// it wait when idle and lets it process whatever arrived.
//
// Calling contract (the controller relies on every implementation keeping it):
// - start and stop run on the controller thread under the controller's mutex, which is
//   not recursive: neither may queue controller requests. After start, isRunning is
//   expected to be true, after stop false.
// - isRunning is asked under the controller's mutex once per cycle.
// - wake is called from any thread under the controller's mutex; it must be safe
//   against a concurrent wait and must not take the controller's mutex.
// - wait runs on the controller thread in idle cycles only and returns after a bounded
//   time, early after wake or when something arrives.
// - processEvents runs on the controller thread at the end of every running cycle.
// - stackmachineStateChanged runs on the controller thread without the controller's
//   mutex, so it may queue requests; it may throw ExceptionKarsto.
// - An implementation made with cyclesAlike set keeps more: wait, wake and processEvents
//   do nothing, isRunning and currentSection change only in start and stop, and no task
//   step reaches the kernel interface. Its running cycles differ only in what the tasks
//   do, so the controller may let a task that runs alone take many steps in one cycle.
// Lock order: the controller's mutex, then the kernel interface's own lock, then the log.

#include <cstdint>

namespace Karsto {

class ControllerTask;

class KernelInterface {
public:
    // The section of a kernel interface that has none.
    static constexpr uint64_t kNoSection = ~uint64_t{0};

    KernelInterface(const KernelInterface&) = delete;
    KernelInterface& operator=(const KernelInterface&) = delete;

    // Slot order matters to the implementations that mirror the kernel link's table.
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void processEvents() = 0;
    virtual void wait() = 0;
    virtual void wake() = 0;
    virtual bool isRunning() = 0;
    virtual uint64_t currentSection() = 0;
    virtual void stackmachineStateChanged(ControllerTask* task) = 0;

    bool cyclesAlike() const { return cyclesAlike_; }

protected:
    KernelInterface() = default;
    explicit KernelInterface(bool cyclesAlike) : cyclesAlike_(cyclesAlike) {}
    // Not virtual: owners delete an implementation through its own type, and deleting
    // through this base does not compile.
    ~KernelInterface() = default;

private:
    bool cyclesAlike_ = false;
};

} // namespace Karsto
