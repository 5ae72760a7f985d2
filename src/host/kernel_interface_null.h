#pragma once
// No kernel at all, for the offline console runs: always without a section, never
// waiting, and the maker of the offline channels. The first task that fails stops the
// controller.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/kernel_interface.h"

namespace Karsto {

class Controller;
class ControllerTask;
class GProcessorNc2;
class NInterfaceNull;

class KernelInterfaceNull final : public KernelInterface {
public:
    explicit KernelInterfaceNull(Controller* controller_);
    // Removes its tasks from the controller and deletes, per task, the machine, then the
    // processor, then the NC output. Must run before the controller is deleted.
    ~KernelInterfaceNull();

    // A new offline channel: its NC output, a G-code processor on it and a stack machine
    // driving that processor with waiting off, added to the controller as a task.
    ControllerTask* channelCreate(const std::string& name);

    void start() override { running = true; }
    void stop() override { running = false; }
    // Nothing arrives offline, so an idle cycle does not sleep.
    void processEvents() override {}
    void wait() override {}
    void wake() override {}
    bool isRunning() override { return running; }
    uint64_t currentSection() override { return kNoSection; }
    // Logs the new state; an error also queues a quit.
    void stackmachineStateChanged(ControllerTask* task) override;

    Controller* controller; // not owned
    std::vector<ControllerTask*> tasks; // made by channelCreate, in creation order
    std::map<ControllerTask*, std::string> names;
    bool running = false;
    // The G-code processor and the NC output made for each task, kept here rather than
    // read back through the machine and the processor's queue; owned.
    std::map<ControllerTask*, std::unique_ptr<GProcessorNc2>> processors;
    std::map<ControllerTask*, std::unique_ptr<NInterfaceNull>> outputs;
};

} // namespace Karsto
