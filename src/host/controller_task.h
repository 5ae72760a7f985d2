#pragma once
// One NC channel's stack machine as the controller runs it, with the task's state and
// the error that failed it.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "core/exception.h"

namespace Karsto {

class Controller;
class ScannerInputFile;
class Stackmachine;

enum class StackmachineState : int32_t {
    undefined = 0, // just added
    stopped = 1,   // program loaded, not started
    running = 2,
    finished = 3,  // the program halted
    error = 4,     // compile or run error, kept in `error`
};

class ControllerTask {
public:
    ControllerTask(Controller* owner_, Stackmachine* machine_, std::string name_)
        : owner(owner_), machine(machine_), name(std::move(name_)) {}
    ControllerTask(const ControllerTask&) = delete;
    ControllerTask& operator=(const ControllerTask&) = delete;

    // Compile the input (loaded by the caller, who keeps it alive while the program
    // runs: the offline preview reads its listing) or the file with the channel's
    // processor, the task's shared variables and "jyx". On success the machine holds the
    // new program, freshly reset, and the task is stopped; on an error the task keeps a
    // clone of it in state error, the machine keeps its previous program, and the error
    // is thrown on, both after the kernel interface has been told. `changed` is not
    // touched: the state is reported directly.
    void compileInput(ScannerInputFile* input);
    // The same with the input shared with the program, which may then read plain G-code
    // lines from it as they run (see compile).
    void compileInput(const std::shared_ptr<ScannerInputFile>& input);
    void compileFile(const std::string& path);
    // Keeps a clone of the error, enters state error and reports it.
    void setError(const ExceptionKarsto& e);
    // A finished task is reset (machine and processor) and runs again; a stopped one
    // runs. Other states stay. Each change is reported.
    void start();

    Controller* owner;
    Stackmachine* machine; // not owned
    StackmachineState state = StackmachineState::undefined;
    // Set whenever the cycle changes `state`; cleared when the change is reported.
    bool changed = false;
    // A clone of the error that put the task into state error; null otherwise.
    std::unique_ptr<ExceptionKarsto> error;
    // The channel name with the NC kernel, the input file name offline.
    std::string name;
};

} // namespace Karsto
