#pragma once
// One compilation's registration of the NC built-ins on one channel, holding the
// references the compile driver holds, with the channel's interpreter, for tests that
// call the built-ins directly as a compiled call does: the result cells reserved, the
// arguments pushed in order, then the CmdCallNative.

#include <stdexcept>
#include <string>
#include <vector>

#include "core/exception.h"
#include "core/function_native.h"
#include "core/stackmachine_interpreter.h"
#include "core/symbol_tables.h"
#include "core/type.h"
#include "gcode/builtins/nc_natives.h"
#include "gcode/gprocessor_nc2.h"
#include "geometry/recording_output.h"
#include "support/jyx_harness.h"

namespace Karsto::test {

struct Registration {
    RecordingOutput output; // outlives the processor, whose queue uses it
    GProcessorNc2 processor{&output};
    SymbolTables symbols;
    std::vector<FunctionNative*> natives;
    StackmachineInterpreter machine{&processor};

    Registration() {
        prepareLanguageRuntime();
        processor.registerNatives(symbols, natives);
        for (FunctionNative* native : natives) native->retain();
        machine.reset(); // resets the processor too
    }
    ~Registration() {
        for (FunctionNative* native : natives) native->release();
        symbols.clear();
    }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

    FunctionNativeNc& nc(size_t i) const { return static_cast<FunctionNativeNc&>(*natives.at(i)); }
    FunctionNativeNc& byName(const std::string& name) const {
        for (size_t i = 0; i < natives.size(); ++i)
            if (natives[i]->name() == name) return nc(i);
        throw std::invalid_argument(name);
    }

    // Calls the built-in: push pushes its arguments (and reserves its output cells) on
    // the machine. Returns the base of the call's parameter area, whose slots then hold
    // the result and the outputs.
    template <class Push>
    int64_t call(const std::string& name, Push push) {
        FunctionNativeNc& native = byName(name);
        machine.setSp(kStackBottom);
        machine.addSp(native.returnType()->size());
        push(machine);
        if (native.hasContextSlot()) machine.pushAddr(0);
        CmdCallNative instruction(&native);
        instruction.execute(machine);
        return native.frameBase(machine);
    }
    int64_t call(const std::string& name) {
        return call(name, [](Stackmachine&) {});
    }
    // A G-code block without skip mark, words as "letter value".
    void block(const std::vector<GCodeWord>& words, int32_t skipLevel = -1) {
        processor.executeBlock(skipLevel, words, SourceSpan());
    }
};

// The message of the run-time error that a call of the built-in raises; empty when it
// succeeds.
template <class Push>
std::string failureOf(Registration& r, const std::string& native, Push push) {
    try {
        r.call(native, push);
    } catch (const ExceptionRuntime& error) {
        return error.message();
    }
    return {};
}

} // namespace Karsto::test
