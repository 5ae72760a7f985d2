#pragma once
// The natives every compile offers: "currentldt" returns the current UTC date and time
// as an LDT, "section" and "sections" set the section range of the machine that runs
// the program, by which the controller orders the progress of several channels.

#include <vector>

#include "core/function_native.h"

namespace Karsto {

class FunctionNativeCurrentLdt final : public FunctionNative {
public:
    FunctionNativeCurrentLdt();
    // Whole seconds of the system clock in UTC, as nanoseconds.
    void execute(Stackmachine& machine, const SourceSpan& span) override;
};

class FunctionNativeSection final : public FunctionNative {
public:
    FunctionNativeSection(); // sec: ULINT
    // The section as both bounds.
    void execute(Stackmachine& machine, const SourceSpan& span) override;
};

class FunctionNativeSections final : public FunctionNative {
public:
    FunctionNativeSections(); // lo: ULINT, hi: ULINT
    void execute(Stackmachine& machine, const SourceSpan& span) override;
};

// Appends a new "currentldt", "section" and "sections", in this order, each with no
// reference taken yet.
void registerBasicNatives(std::vector<FunctionNative*>& natives);

} // namespace Karsto
