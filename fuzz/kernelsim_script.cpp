// The kernel simulator's script parser on any bytes: it never crashes, every line is
// either a step or an error naming that line, in line order, and a step's data never
// exceeds what one Vek command carries (the sanitizers watch for overruns).
//
// Input: the script text.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "support/kernelsim/kernelsim_script.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const KernelSim::Script script = KernelSim::parseScript(text);

    size_t lines = 1;
    for (char c : text) lines += c == '\n' ? 1 : 0;
    Karsto::Fuzz::require(script.steps.size() + script.errors.size() <= lines, "more results than lines");
    int previous = 0;
    for (const KernelSim::ScriptStep& step : script.steps) {
        Karsto::Fuzz::require(step.line > previous && static_cast<size_t>(step.line) <= lines,
                              "step line %d out of order", step.line);
        Karsto::Fuzz::require(step.data.size() <= kVekMaxDataLength, "data of %zu bytes", step.data.size());
        previous = step.line;
    }
    for (const std::string& error : script.errors)
        Karsto::Fuzz::require(error.rfind("line ", 0) == 0, "error without its line: %s", error.c_str());
    return 0;
}
