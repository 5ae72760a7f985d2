// The stored traces of the benchmark loops (bench/programs): each loop runs a few passes
// with the machine's step and operation traces on, and every line must equal
// loop_traces/<loop>.trace. Whatever makes the machine faster must leave these traces
// byte for byte as they are, stepped one item at a time or run as a whole; a run with the
// traces off must leave every cell, register and the step count as the stepped run does.
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

#include "core/code.h"
#include "core/exception.h"
#include "core/stackmachine_interpreter.h"
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

class LoopTrace : public ::testing::TestWithParam<TraceCase> {
protected:
    static std::string source(const TraceCase& c) {
        std::string text = readFile(kPrograms + "/" + c.loop + ".jyx");
        replaceAll(text, "ITERATIONS", c.iterations);
        replaceAll(text, "ROUNDS", c.iterations);
        replaceAll(text, "LENGTH", c.length);
        return text;
    }
    static std::string stored(const TraceCase& c) { return readFile(kTraces + "/" + c.loop + ".trace"); }
    // The program run by one call of run on a fresh interpreter; its trace lines, when on.
    static std::string runWhole(const CodeLinked& program, StackmachineInterpreter& machine, bool traced) {
        std::vector<LogLevel> levels{LogLevel::error};
        if (traced) levels = {LogLevel::error, LogLevel::debugStackmachine, LogLevel::debugStackOp};
        LogCapture log(levels);
        machine.loadProgram(program);
        machine.run();
        std::string text;
        for (const std::string& line : log.lines) text += line + "\n";
        return renumberLabels(text);
    }
};

TEST_P(LoopTrace, MatchesTheStoredTrace) {
    const TraceCase& c = GetParam();
    const std::string source = this->source(c);
    ASSERT_FALSE(source.empty()) << c.loop;
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

// run, traced and quiet, against the harness's steps: the same trace, and the same
// memory, registers and step count.
TEST_P(LoopTrace, RunMatchesTheSteps) {
    const TraceCase& c = GetParam();
    const HarnessResult stepped = compileAndRun(source(c));
    ASSERT_TRUE(stepped.ok()) << stepped.errorText();
    const CodeLinked& program = stepped.linked();

    FakeProcessor processor;
    StackmachineInterpreter traced(&processor);
    EXPECT_EQ(runWhole(program, traced, true), stored(c));

    StackmachineInterpreter quiet(&processor);
    EXPECT_EQ(runWhole(program, quiet, false), "");
    EXPECT_EQ(quiet.stepCount, stepped.steps);
    EXPECT_EQ(traced.stepCount, stepped.steps);
    EXPECT_EQ(quiet.getSp(), stepped.sp);
    EXPECT_EQ(quiet.getPc(), traced.getPc());
    EXPECT_EQ(quiet.getFp(), traced.getFp());
    // Every global cell and the stack cells the loops reach, bit for bit.
    for (int64_t address = 1; address < 4096; ++address)
        ASSERT_EQ(quiet.loadU64(address), traced.loadU64(address)) << "global cell " << address;
    for (int64_t address = Stackmachine::kStackBase; address < Stackmachine::kStackBase + 4096; ++address)
        ASSERT_EQ(quiet.loadU64(address), traced.loadU64(address)) << "stack cell " << address;
}

// A run-time error inside a run has the text, and so the span, that it has when the
// program is stepped, and leaves the same step count: an index out of its range, a
// division by zero, a NULL reference, each in a loop the run loop fuses.
TEST(LoopRun, ErrorsMatchTheSteps) {
    const char* programs[] = {
        "{VAR a : ARRAY [1..3] OF LREAL; i : DINT; x : LREAL; END_VAR\n"
        "FOR i := 1 TO 4 DO\n  x := x + a[i];\nEND_FOR}",
        "{VAR i, k : DINT; END_VAR\nk := 10;\nWHILE i < 3 DO\n  k := k / (2 - i);\n  i := i + 1;\nEND_WHILE}",
        "{VAR r : REF_TO DINT; i, k : DINT; END_VAR\nWHILE i < 3 DO\n  i := i + 1;\nEND_WHILE\nk := r^;}",
    };
    for (const char* program : programs) {
        const HarnessResult stepped = compileAndRun(program);
        ASSERT_TRUE(stepped.compiled()) << stepped.errorText();
        ASSERT_TRUE(stepped.runError.has_value()) << program;
        FakeProcessor processor;
        StackmachineInterpreter machine(&processor);
        machine.loadProgram(stepped.linked());
        std::string text;
        try {
            machine.run();
        } catch (const ExceptionKarsto& error) {
            text = error.what();
        }
        EXPECT_EQ(text, stepped.runError->text) << program;
        EXPECT_EQ(machine.stepCount, stepped.steps + 1) << program; // the harness counts finished steps
    }
}

std::string caseName(const ::testing::TestParamInfo<TraceCase>& info) { return info.param.loop; }

INSTANTIATE_TEST_SUITE_P(Bench, LoopTrace,
                         ::testing::Values(TraceCase{"integer", "3", "0"}, TraceCase{"lreal", "3", "0"},
                                           TraceCase{"call", "2", "0"}, TraceCase{"array", "2", "3"},
                                           TraceCase{"string", "3", "0"}),
                         caseName);

} // namespace
} // namespace Karsto::test
