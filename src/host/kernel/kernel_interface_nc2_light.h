#pragma once
// The kernel link of the console run against the kernel's channels ("nc2l"): the
// channels and groups are made by the program entry, not by the kernel's
// initialisation, and the link is never started. It reports running from the
// beginning, so the tasks step as soon as the controller runs; it has no sections and
// drops state changes, so a failed task neither stops the controller nor reaches the
// kernel.

#include <string>

#include "host/kernel/kernel_interface_nc2.h"

namespace Karsto {

class KernelInterfaceNc2Light final : public KernelInterfaceNc2 {
public:
    KernelInterfaceNc2Light(Controller* controller_, const std::string& dataDirectory_)
        : KernelInterfaceNc2(controller_, dataDirectory_) {}

    bool isRunning() override { return true; }
    uint64_t currentSection() override { return kNoSection; }
    void stackmachineStateChanged(ControllerTask*) override {}
};

} // namespace Karsto
