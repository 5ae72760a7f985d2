#pragma once
// Helpers of the evaluator tests: the linked listing as lines, and host externals.

#include <algorithm>
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

} // namespace Karsto::test
