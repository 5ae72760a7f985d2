#pragma once
// Tables of built-in calls run through the whole language: each case's statements are
// compiled after one declaration block and either print the expected text, fail to
// compile with the expected message, or stop at run time with it.

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/jyx_harness.h"

namespace Karsto::test {

struct OutputCase {
    const char* statements;
    const char* output;
};

struct ErrorCase {
    const char* statements;
    const char* message;
};

// "{" declarations statements "}"
inline std::string callProgram(const std::string& declarations, const std::string& statements) {
    return "{" + declarations + statements + "}";
}

template <size_t N>
void expectOutputs(const std::string& declarations, const OutputCase (&cases)[N]) {
    for (const OutputCase& c : cases) {
        HarnessResult result = compileAndRun(callProgram(declarations, c.statements));
        EXPECT_TRUE(result.ok()) << c.statements << ": " << result.errorText();
        EXPECT_EQ(result.output, c.output) << c.statements;
        EXPECT_EQ(result.sp, kStackBottom) << c.statements;
    }
}

template <size_t N>
void expectCompileErrors(const std::string& declarations, const ErrorCase (&cases)[N]) {
    for (const ErrorCase& c : cases) {
        HarnessResult result = compileOnly(callProgram(declarations, c.statements));
        ASSERT_TRUE(result.compileError.has_value()) << c.statements;
        EXPECT_EQ(result.compileError->message, c.message) << c.statements;
    }
}

template <size_t N>
void expectRunErrors(const std::string& declarations, const ErrorCase (&cases)[N]) {
    for (const ErrorCase& c : cases) {
        HarnessResult result = compileAndRun(callProgram(declarations, c.statements));
        ASSERT_TRUE(result.compiled()) << c.statements << ": " << result.errorText();
        ASSERT_TRUE(result.runError.has_value()) << c.statements;
        EXPECT_EQ(result.runError->message, c.message) << c.statements;
    }
}

// Whether the linked program of the statements holds the instructions (their text
// forms) one right after the other; the listing goes to the test's output when not.
inline bool compiledInSequence(const std::string& declarations, const std::string& statements,
                               const std::vector<std::string>& instructions) {
    HarnessResult result = compileOnly(callProgram(declarations, statements));
    if (!result.compiled()) {
        ADD_FAILURE() << statements << ": " << result.errorText();
        return false;
    }
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t end; (end = result.listing.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(result.listing.substr(at, end - at));
    const bool found = std::search(lines.begin(), lines.end(), instructions.begin(),
                                   instructions.end()) != lines.end();
    if (!found) ADD_FAILURE() << statements << " compiles to:\n" << result.listing;
    return found;
}

} // namespace Karsto::test
