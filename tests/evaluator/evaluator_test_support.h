#pragma once
// Helpers of the evaluator tests: the linked listing as lines, and host externals.

#include <algorithm>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/type.h"
#include "support/jyx_harness.h"

namespace Karsto::test {

inline std::vector<std::string> listingLines(const HarnessResult& result) {
    std::vector<std::string> lines;
    std::istringstream in(result.listing);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// True when the listing holds the items one right after the other.
inline bool listsInSequence(const HarnessResult& result, const std::vector<std::string>& items) {
    const std::vector<std::string> listing = listingLines(result);
    return std::search(listing.begin(), listing.end(), items.begin(), items.end()) != listing.end();
}

// r2 : LREAL = 1.5, a : INT = 7, b : INT = 2, f : BOOL = FALSE, as the host declares them.
inline HarnessOptions withHostExternals() {
    prepareLanguageRuntime();
    HarnessOptions options;
    options.externals = {{"r2", typeLreal, 1.5}, {"a", typeInt, 7}, {"b", typeInt, 2}, {"f", typeBool, 0}};
    return options;
}

// A program of a table of programs that print: its case name, source and output.
struct PrintingProgram {
    std::string name;
    std::string source;
    std::string output;
};

// Each program compiles, runs to its end with the stack at its bottom and prints its
// output.
inline void expectPrintingPrograms(const std::vector<PrintingProgram>& programs) {
    for (const PrintingProgram& p : programs) {
        SCOPED_TRACE(p.name);
        const HarnessResult r = compileAndRun(p.source + "\n");
        EXPECT_TRUE(r.ok()) << r.errorText();
        EXPECT_EQ(r.output, p.output);
        EXPECT_EQ(r.sp, kStackBottom);
    }
}

} // namespace Karsto::test
