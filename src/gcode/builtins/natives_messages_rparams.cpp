// Operator messages, R-parameters and run files.

#include <cinttypes>
#include <cstdio>
#include <memory>

#include "core/exception.h"
#include "core/stackmachine_interpreter.h"
#include "gcode/builtins/nc_natives.h"
#include "gcode/builtins/runfile_reader.h"
#include "gcode/gprocessor_nc2.h"

namespace Karsto {

namespace {

// "r" and at most 20 characters of an int64.
constexpr size_t kRNameSize = 64;

// The cell address of R-parameter index: "Invalid R-parameter r%lld" when the machine has
// no such variable (also where the run mode creates no R-parameters at all).
template <class Machine>
int64_t rParameterAddress(Machine& machine, int64_t index) {
    char name[kRNameSize];
    std::snprintf(name, sizeof name, "r%" PRId64, index);
    const int64_t address = machine.globalAddress(name);
    if (address == -1) failRuntime("Invalid R-parameter %s", name);
    return address;
}

} // namespace

void FunctionNativeRGet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t base = frameBase(m);
        const int64_t address = rParameterAddress(m, m.loadS64(at(base, Slot::index)));
        m.storeF64(at(base, Slot::result), m.loadF64(address));
    });
}

void FunctionNativeRSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t base = frameBase(m);
        const int64_t address = rParameterAddress(m, m.loadS64(at(base, Slot::index)));
        m.storeF64(address, m.loadF64(at(base, Slot::value)));
    });
}

void FunctionNativeMsg::execute(Stackmachine& machine, const SourceSpan&) {
    nc().emitMsg(charListToString(stringArgument(machine, "str")));
    // The message has a block key of its own; what follows belongs to the next block.
    nc().nextBlock();
}

// Runs again and again, one batch of blocks per step, until the file ends: the context
// cell on top of the parameter area holds the handle of the call's reader state, 0 before
// the first execution.
void FunctionNativeRunfile::execute(Stackmachine& machine, const SourceSpan& span) {
    onMachine(machine, [this, &span](auto& m) {
        const int64_t cell = m.getSp() - 1;
        frameBase(m); // the parameter area and the cell lie on the stack
        RunfileContexts& pending = nc().runfiles();
        int64_t handle = m.loadAddr(cell);
        if (handle == 0) {
            // The file opens before the cell changes: a failed open leaves it null. Its
            // error is a syntax error, which the machine's step leaves without a place.
            std::unique_ptr<RunfileContext> context;
            try {
                context = std::make_unique<RunfileContext>(&nc(), charListToString(stringArgument(m, "path")));
            } catch (ExceptionKarsto& error) {
                if (!error.span().valid) error.setSpan(span);
                throw;
            }
            handle = pending.add(std::move(context));
            m.storeAddr(cell, handle);
        }
        RunfileReader& reader = pending.at(handle).reader();
        reader.readBlocks();
        if (reader.done() || nc().programEndRequested()) {
            // At a program end the machine was already reset under the call: the program
            // counter stays on the end, where the next step halts.
            pending.release(handle);
            return;
        }
        m.setPc(m.getPc() - 1);
    });
}

} // namespace Karsto
