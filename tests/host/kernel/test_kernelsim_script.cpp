// The kernel simulator's scripts: what the parser makes of steps and bad lines, and the
// runner against an interpreter's kernel link with the simulator on the other side.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/kernel/channel_nc2.h"
#include "link_test_support.h"
#include "support/kernelsim/kernelsim_script.h"

namespace KernelTest {
namespace {

using KernelSim::parseScript;
using KernelSim::Script;
using KernelSim::ScriptRunner;
using KernelSim::StepKind;
using KernelSim::StepTarget;

TEST(KernelsimScript, StepsKeepTheirLinesTargetsDataAndCodes) {
    const Script script = parseScript(
        "# set-up\n"
        "\n"
        "timeout 0x400\r\n"
        "write user 0x2202 4 \"C:\\jobs\\part.jyx\" nul -> 0   # load\n"
        "read interp 0x2102 3 4 -> 0 i32:2\n"
        "command 501 0x401E u16:7 f64:1.5 hex:0aFF zeros:2 -> 0x7F01\n"
        "expect-record 0x3206 0x60 5 kind=99 \"text=L1 O0\"\n"
        "expect-words 2 9 2\n"
        "axes 2 5 5 0 0 0 0 0 -1.25\n");
    ASSERT_TRUE(script.errors.empty()) << script.errors.front();
    ASSERT_EQ(script.steps.size(), 7u);

    EXPECT_EQ(script.steps[0].line, 3);
    EXPECT_EQ(script.steps[0].numbers, std::vector<int64_t>{1024});

    const KernelSim::ScriptStep& load = script.steps[1];
    EXPECT_EQ(load.line, 4);
    EXPECT_EQ(load.kind, StepKind::write);
    EXPECT_EQ(load.target.kind, StepTarget::Kind::user);
    EXPECT_EQ(load.numbers, (std::vector<int64_t>{0x2202, 4}));
    const std::string path = "C:\\jobs\\part.jyx";
    std::vector<uint8_t> bytes(path.begin(), path.end());
    bytes.push_back(0);
    EXPECT_EQ(load.data, bytes);

    const KernelSim::ScriptStep& read = script.steps[2];
    EXPECT_EQ(read.target.port, 11600);
    EXPECT_TRUE(read.dataGiven);
    EXPECT_EQ(read.data, (std::vector<uint8_t>{2, 0, 0, 0}));

    const KernelSim::ScriptStep& command = script.steps[3];
    EXPECT_EQ(command.target.kind, StepTarget::Kind::port);
    EXPECT_EQ(command.target.port, 501);
    EXPECT_EQ(command.numbers, std::vector<int64_t>{0x401E});
    EXPECT_EQ(command.data, (std::vector<uint8_t>{7, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F, 0x0A, 0xFF, 0, 0}));
    EXPECT_EQ(command.code, 0x7F01u);

    const KernelSim::ScriptStep& record = script.steps[4];
    EXPECT_EQ(record.recordKind, 99);
    EXPECT_TRUE(record.textGiven);
    EXPECT_EQ(record.text, "L1 O0");

    EXPECT_EQ(script.steps[5].numbers, (std::vector<int64_t>{2, 9, 2}));
    EXPECT_EQ(script.steps[6].numbers, std::vector<int64_t>{2});
    EXPECT_EQ(script.steps[6].reals, (std::vector<double>{5, 5, 0, 0, 0, 0, 0, -1.25}));
}

TEST(KernelsimScript, EveryBadLineIsReportedWithItsNumber) {
    struct Case {
        const char* line;
        const char* error;
    };
    const Case cases[] = {
        {"bogus 1", "unknown step 'bogus'"},
        {"\"timeout\" 5", "unknown step 'timeout'"},
        {"timeout 0", "timeout out of range: 0"},
        {"timeout 600001", "timeout out of range: 600001"},
        {"timeout x", "bad timeout 'x'"},
        {"timeout 0x", "bad timeout '0x'"},
        {"timeout 99999999999999999999999", "bad timeout '99999999999999999999999'"},
        {"channel 1 A 2", "'channel' takes 4 arguments"},
        {"lookup", "'lookup' takes 1 arguments"},
        {"write interp 1 2 ->", "'->' needs the expected code"},
        {"write interp 1 -> 0", "'write' needs 3 arguments before '->'"},
        {"write interp 1 2 0", "'write' needs '-> <code>'"},
        {"write interp 1 2 \"abc -> 0", "unterminated string"},
        {"write interp 1 2 i32:99999999999 -> 0", "i32 out of range: 99999999999"},
        {"write interp 1 2 hex:ABC -> 0", "odd number of hex digits in 'hex:ABC'"},
        {"write interp 1 2 hex:XY -> 0", "bad hex digits '0xXY'"},
        {"write interp 1 2 zeros:2000000 -> 0", "zeros out of range: 2000000"},
        {"write interp 1 2 zeros:1048576 u8:1 -> 0", "data longer than 1 MiB"},
        {"write interp 1 2 f64:1e999 -> 0", "bad number '1e999'"},
        {"write interp 1 2 abc -> 0", "bad data item 'abc'"},
        {"write interp 1 2 -> 0 5", "nothing may follow the code"},
        {"write 70000 1 2 -> 0", "port out of range: 70000"},
        {"read interp 1 2 4 5 -> 0", "'read' takes no data before '->'"},
        {"expect-record 1 2", "'expect-record' needs <group> <offset> <type>"},
        {"expect-record 1 2 3 kind=1 kind=2", "bad or repeated field 'kind=2'"},
        {"expect-words 2", "'expect-words' needs <channel> and at least one word"},
        {"axes 2 1 2 3", "'axes' takes 9 arguments"},
        {"axes 2 1 2 3 4 5 6 7 x", "bad number 'x'"},
        {"serve 0", "count out of range: 0"},
    };
    for (const Case& c : cases) {
        const Script script = parseScript(std::string("timeout 5\n") + c.line + "\n");
        ASSERT_EQ(script.errors.size(), 1u) << c.line;
        EXPECT_EQ(script.errors[0], std::string("line 2: ") + c.error) << c.line;
        EXPECT_EQ(script.steps.size(), 1u) << c.line;
    }

    // All errors are collected, each under its own line.
    const Script several = parseScript("bogus\n# fine\ntimeout 5\n\nlookup\n");
    EXPECT_EQ(several.errors, (std::vector<std::string>{"line 1: unknown step 'bogus'",
                                                         "line 5: 'lookup' takes 1 arguments"}));
}

class ScriptRunnerTest : public LinkFixture {
protected:
    // Runs the script; the failure text, empty when it passed.
    std::string runScript(const std::string& text) {
        const Script script = parseScript(text);
        if (!script.errors.empty()) return "parse: " + script.errors.front();
        std::ostringstream progress;
        ScriptRunner runner(*sim_, dir_, progress);
        return runner.run(script);
    }
};

TEST_F(ScriptRunnerTest, APassingScriptInitialisesAChannelAndFollowsItsRecords) {
    startLink();
    ASSERT_EQ(runScript("timeout 5000\n"
                        "channel 4 Kanal4 1000 0\n"
                        "group 12 2 1 G12 4 0\n"
                        "await-port 11600\n"
                        "command interp 0x401E -> 0\n"
                        "expect-words 4 1\n"
                        "read interp 0x2104 3 4 -> 0 i32:1\n"),
              "");
    pause();
    const std::string path = dir_ + "/p.jyx";
    std::ofstream(path) << "G1 X5 F300\n";
    Karsto::ChannelNc2* channel = link_->channelById(4);
    ASSERT_NE(channel, nullptr);
    channel->programLoad(path);
    channel->task->start();
    resume();

    // The first record's text, as the golden file of a second script holds it.
    ASSERT_TRUE(sim_->waitForRequests([](const std::vector<KernelSim::Request>& requests) {
        return std::count_if(requests.begin(), requests.end(), [](const KernelSim::Request& r) {
                   return r.kind == KernelSim::Request::Kind::readWrite;
               }) >= 2;
    }));
    const std::vector<KernelSim::Nc2Decoded> records = sim_->records();
    std::ofstream(dir_ + "/second.expected") << records[1].text() << "\n";
    EXPECT_EQ(runScript("timeout 5000\n"
                        "expect-record 0x320C 0x60 " + std::to_string(records[0].type) + "\n"
                        "expect-records 0x320C 0x60 second.expected\n"
                        "expect-write 0x1408 0 i32:6 i32:4 i32:0\n"
                        "expect-words 4 1 15 2 3 4 5\n"),
              "")
        << "each script has cursors of its own";
}

TEST_F(ScriptRunnerTest, AFailedStepNamesItsLineAndWhatItWaitedFor) {
    startLink();
    struct Case {
        std::string script;
        std::string failure;
    };
    const Case cases[] = {
        {"timeout 100\nexpect-write 0x1408 0", "line 2: nothing within 100 ms: waited for a write to 0x1408 offset 0x0"},
        {"timeout 100\n\nlookup Nobody", "line 3: nothing within 100 ms: waited for the name 'Nobody' at the router"},
        {"write user 1 0 -> 0", "line 1: no 'lookup' before the target 'user'"},
        {"command interp 0x4000 -> 0", "line 1: answered 0x7F01, expected 0x0"},
        {"timeout 100\nexpect-record 0x320C 0x60 13",
         "line 2: nothing within 100 ms: waited for record 13 at 0x320C offset 0x60"},
        {"timeout 100\nexpect-words 4 1 2", "line 2: nothing within 100 ms: waited for state word 1 of channel 4"},
        {"expect-records 0x320C 0x60 none.expected", "line 1: cannot read '" + dir_ + "/none.expected'"},
        {"bogus", "parse: line 1: unknown step 'bogus'"},
    };
    for (const Case& c : cases) EXPECT_EQ(runScript(c.script), c.failure) << c.script;
}

} // namespace
} // namespace KernelTest
