// The synchronisation built-ins and the built-ins of the tool table.
//
// sync, wait and queryaxes make the executing machine wait for the kernel: each takes one
// unit of its own wait counter, which the kernel link gives back when the kernel's answer
// arrives. None of them may run while the path processor holds elements back, since the
// kernel could never reach a point the path has not yet been handed on to.
//
// The tool built-ins write and read the channel's tool table by tool index and column;
// they queue nothing and leave the tool compensation as it is until the next D or P word.

#include <cmath>
#include <cstdint>
#include <string>

#include "core/exception.h"
#include "core/stackmachine_interpreter.h"
#include "gcode/builtins/nc_natives.h"
#include "gcode/gprocessor_nc2.h"
#include "gcode/wait_counter.h"
#include "geometry/canvas6d.h"

namespace Karsto {

namespace {

// Refuses the call while tool radius compensation or collision elimination collects.
void checkNotCollecting(GProcessorNc2& processor, const char* command) {
    checkRuntime(processor.canvas().collectionDepth() <= 0,
                 "Invalid invocation of %s during stalling of command processing (active Tool "
                 "Radius Compensation).",
                 command);
}

// sync and queryaxes: the command closes its block, so it is delivered as soon as no path
// stage holds back an earlier key; then the machine waits for the kernel's answer.
template <class Emit>
void synchronise(GProcessorNc2& processor, Stackmachine& machine, const char* command, Emit emit,
                 WaitCounter counter) {
    checkNotCollecting(processor, command);
    if (processor.blockSearch.active) return;
    emit();
    processor.nextBlock();
    machine.decWaitCounter(waitCounterIndex(counter));
}

// The columns of toolparamset and toolparam, counted from 0 in the order of the tool-data
// file; column c from kFirstParamColumn on is parameter c - 1.
constexpr int32_t kNumberColumn = 0;
constexpr int32_t kTypeColumn = 1;
constexpr int32_t kFirstParamColumn = 2;

int32_t paramOfColumn(int32_t column) { return column - kFirstParamColumn + 1; }

// The tool number and the tool type are int32: a value whose truncation toward zero does
// not fit (NaN and the infinities included) is refused rather than converted.
int32_t truncatedColumnValue(double value, int32_t column, const std::string& function) {
    constexpr double kBelowMin = -2147483649.0; // INT32_MIN - 1, exact in double
    constexpr double kAboveMax = 2147483648.0;  // INT32_MAX + 1, exact in double
    checkRuntime(value > kBelowMin && value < kAboveMax, "Invalid value %f for column %d in function '%s'.",
                 value, column, function.c_str());
    return static_cast<int32_t>(value);
}

} // namespace

void FunctionNativeSync::execute(Stackmachine& machine, const SourceSpan&) {
    synchronise(nc(), machine, "SYNC", [this] { nc().emitSync(); }, WaitCounter::sync);
}

void FunctionNativeWait::execute(Stackmachine& machine, const SourceSpan&) {
    checkNotCollecting(nc(), "WAIT");
    if (!nc().blockSearch.active) machine.decWaitCounter(waitCounterIndex(WaitCounter::wait));
}

void FunctionNativeQueryaxes::execute(Stackmachine& machine, const SourceSpan&) {
    synchronise(nc(), machine, "QUERYAXES", [this] { nc().emitQueryAxes(); }, WaitCounter::axisQuery);
}

void FunctionNativeToolparamSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t base = frameBase(m);
        const int32_t index = m.loadU8(at(base, Slot::tidx));
        const int32_t column = m.loadU8(at(base, Slot::col));
        const double value = m.loadF64(at(base, Slot::val));
        ToolTable& tools = nc().tools;
        if (column == kNumberColumn || column == kTypeColumn) {
            ToolEntry& entry = tools.entry(index); // the index check comes first
            const int32_t truncated = truncatedColumnValue(value, column, name());
            // The type is not validated here: a bad one fails when the tool is selected.
            (column == kNumberColumn ? entry.number : entry.toolType) = truncated;
            return;
        }
        tools.setParam(index, paramOfColumn(column), value);
    });
}

void FunctionNativeToolSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t base = frameBase(m);
        const int32_t index = m.loadU8(at(base, Slot::index));
        const int32_t number = m.loadS16(at(base, Slot::nr));
        ToolEntry& entry = nc().tools.entry(index); // a bad index writes nothing
        const int32_t type = loadEnum(m, base, Slot::tooltype);
        // Only the lengths are given in the program's length unit; the table holds mm.
        struct Length {
            Slot slot;
            ToolParam param;
        };
        static constexpr Length kLengths[] = {
            {Slot::length, ToolParam::length},       {Slot::radius, ToolParam::radius},
            {Slot::lengthadd, ToolParam::lengthAdd}, {Slot::radiusadd, ToolParam::radiusAdd},
            {Slot::offsetx, ToolParam::offsetX},     {Slot::offsety, ToolParam::offsetY},
            {Slot::offsetz, ToolParam::offsetZ},
        };
        const double factor = unitLengthFactor(nc().units.length);
        entry.number = number;
        entry.toolType = type;
        for (const Length& length : kLengths)
            entry.param[static_cast<size_t>(length.param) - 1] = m.loadF64(at(base, length.slot)) * factor;
    });
}

void FunctionNativeToolparam::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t base = frameBase(m);
        const int32_t index = m.loadU8(at(base, Slot::tidx));
        const int32_t column = m.loadU8(at(base, Slot::col));
        const ToolTable& tools = nc().tools;
        double result = 0.0;
        if (column == kNumberColumn)
            result = tools.number(index);
        else if (column == kTypeColumn)
            result = tools.toolType(index);
        else
            result = tools.param(index, paramOfColumn(column));
        m.storeF64(at(base, Slot::result), result);
    });
}

} // namespace Karsto
