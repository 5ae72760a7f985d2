// The stored traces of the benchmark loops (bench/programs): each loop runs a few passes
// with the machine's step and operation traces on, and every line must equal
// loop_traces/<loop>.trace. Whatever makes the machine faster must leave these traces
// byte for byte as they are.
//
// Label numbers come from a process-wide counter, so they are renumbered in the order
// they first appear. Goldens change only deliberately: VORDASH_UPDATE_GOLDEN=1 writes
// the traces of this run into the files, for review in the diff.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "support/jyx_harness.h"

namespace Karsto::test {
namespace {

const std::string kPrograms = VORDASH_TEST_DATA_DIR "/../bench/programs";
const std::string kTraces = VORDASH_TEST_DATA_DIR "/evaluator/loop_traces";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void replaceAll(std::string& text, const std::string& word, const std::string& by) {
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + by.size()))
        text.replace(at, word.size(), by);
}

// "Label 812" becomes "Label 0" for the first label named, and so on.
std::string renumberLabels(const std::string& text) {
    static const std::regex label("Label ([0-9]+)");
    std::map<std::string, int> numbers;
    std::string out;
    auto last = text.cbegin();
    for (std::sregex_iterator it(text.begin(), text.end(), label), end; it != end; ++it) {
        out.append(last, (*it)[0].first);
        const auto [entry, added] = numbers.emplace((*it)[1].str(), static_cast<int>(numbers.size()));
        out += "Label " + std::to_string(entry->second);
        last = (*it)[0].second;
    }
    out.append(last, text.cend());
    return out;
}

struct TraceCase {
    const char* loop;
    const char* iterations; // ITERATIONS and ROUNDS
    const char* length;     // LENGTH of the array loop
};

class LoopTrace : public ::testing::TestWithParam<TraceCase> {};

TEST_P(LoopTrace, MatchesTheStoredTrace) {
    const TraceCase& c = GetParam();
    std::string source = readFile(kPrograms + "/" + c.loop + ".jyx");
    ASSERT_FALSE(source.empty()) << c.loop;
    replaceAll(source, "ITERATIONS", c.iterations);
    replaceAll(source, "ROUNDS", c.iterations);
    replaceAll(source, "LENGTH", c.length);
    HarnessOptions options;
    options.logLevels = {LogLevel::error, LogLevel::debugStackmachine, LogLevel::debugStackOp};
    const HarnessResult r = compileAndRun(source, options);
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.sp, kStackBottom);
    std::string text;
    for (const std::string& line : r.logLines) text += line + "\n";
    text = renumberLabels(text);
    const std::string path = kTraces + "/" + c.loop + ".trace";
    if (const char* update = std::getenv("VORDASH_UPDATE_GOLDEN"); update != nullptr && *update == '1') {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        return;
    }
    const std::string expected = readFile(path);
    ASSERT_FALSE(expected.empty()) << path << " is missing";
    EXPECT_EQ(text, expected);
}

std::string caseName(const ::testing::TestParamInfo<TraceCase>& info) { return info.param.loop; }

INSTANTIATE_TEST_SUITE_P(Bench, LoopTrace,
                         ::testing::Values(TraceCase{"integer", "3", "0"}, TraceCase{"lreal", "3", "0"},
                                           TraceCase{"call", "2", "0"}, TraceCase{"array", "2", "3"},
                                           TraceCase{"string", "3", "0"}),
                         caseName);

} // namespace
} // namespace Karsto::test
