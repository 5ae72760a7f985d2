// rget, rset, msg and runfile through compiled programs on a channel.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/type.h"
#include "gcode/builtins/runfile_reader.h"
#include "frontend/source_dir.h"
#include "gcode/builtins/runfile_test_support.h"
#include "gcode/gprocessor_nc2.h"
#include "geometry/canvas6d.h"
#include "support/jyx_harness.h"

namespace Karsto {
namespace {

using test::HarnessOptions;
using test::HarnessResult;
using test::runfileLines;
using test::runNcProgram;

HarnessOptions withRParameters() {
    test::prepareLanguageRuntime();
    HarnessOptions options;
    for (const char* name : {"r0", "r12", "r999"}) options.externals.push_back({name, typeLreal, 0.0});
    return options;
}

size_t countLines(const HarnessResult& r, const std::string& part) {
    return static_cast<size_t>(std::count_if(r.ncLines.begin(), r.ncLines.end(), [&part](const std::string& line) {
        return line.find(part) != std::string::npos;
    }));
}

std::string runError(const HarnessResult& r) { return r.runError ? r.runError->message : "no run error"; }

TEST(RParameterNatives, SetThenGet) {
    const HarnessResult r = runNcProgram(
        "{VAR v : LREAL; w : LREAL; END_VAR rset(12, 2.5); v := rget(12); rset(999, -1.0); w := rget(999) + rget(0);}\n",
        withRParameters());
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.real("v"), 2.5);
    EXPECT_EQ(r.real("r12"), 2.5);
    EXPECT_EQ(r.real("w"), -1.0);
}

TEST(RParameterNatives, AnIndexWithoutAParameterFails) {
    struct Case {
        const char* program;
        bool rParameters;
        const char* message;
    };
    const Case cases[] = {
        {"{VAR v : LREAL; END_VAR v := rget(1000);}\n", true, "Invalid R-parameter r1000"},
        {"{rset(-3, 1.0);}\n", true, "Invalid R-parameter r-3"},
        {"{VAR v : LREAL; END_VAR v := rget(12);}\n", false, "Invalid R-parameter r12"},
        {"{rset(12, 1.0);}\n", false, "Invalid R-parameter r12"},
    };
    for (const Case& c : cases) {
        const HarnessResult r = runNcProgram(c.program, c.rParameters ? withRParameters() : HarnessOptions());
        ASSERT_TRUE(r.compiled()) << r.errorText();
        EXPECT_EQ(runError(r), c.message) << c.program;
        EXPECT_TRUE(r.runError && r.runError->span.valid) << c.program;
    }
}

TEST(MsgNative, QueuesTheMessageInABlockOfItsOwn) {
    HarnessOptions options;
    options.logLevels.push_back(LogLevel::debugGProcessor);
    const HarnessResult r = runNcProgram("{msg('Tool change');}\nG1 X5 F300\n", options);
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_NE(std::find(r.logLines.begin(), r.logLines.end(), "[debugGProcessor] MSG str='Tool change'"), r.logLines.end())
        << ::testing::PrintToString(r.logLines);
    const auto msg = std::find_if(r.ncLines.begin(), r.ncLines.end(),
                                  [](const std::string& line) { return line.ends_with(" Msg Tool change"); });
    const auto line = std::find_if(r.ncLines.begin(), r.ncLines.end(),
                                   [](const std::string& l) { return l.find(" Line ") != std::string::npos; });
    ASSERT_NE(msg, r.ncLines.end()) << r.ncText();
    ASSERT_NE(line, r.ncLines.end()) << r.ncText();
    EXPECT_LT(msg, line) << r.ncText();
    // The key of the message and of the move differ.
    EXPECT_NE(msg->substr(0, msg->find(" n=")).substr(msg->find("key=")),
              line->substr(0, line->find(" n=")).substr(line->find("key=")));
}

TEST(RunfileNative, ItsBlocksStandAtThePlaceOfTheCall) {
    SourceDir dir;
    dir.write("rf.nc", "G1 X1 F300\nG1 Y2\n");
    const HarnessResult once = runNcProgram("{runfile('rf.nc');}\nG1 Z3\n");
    ASSERT_TRUE(once.ok()) << once.errorText();
    EXPECT_EQ(countLines(once, " Line "), 3u) << once.ncText();
    const Pose end = once.ncProcessor()->canvas().current();
    EXPECT_EQ(end.x, 1.0);
    EXPECT_EQ(end.y, 2.0);
    EXPECT_EQ(end.z, 3.0);

    // Every call opens the file anew: twice in a row, and once per pass of a loop.
    dir.write("dwell.nc", "G4 F0.5\n");
    const HarnessResult twice = runNcProgram("{runfile('dwell.nc'); runfile('dwell.nc');}\n");
    ASSERT_TRUE(twice.ok()) << twice.errorText();
    EXPECT_EQ(countLines(twice, " Wait 0.5"), 2u) << twice.ncText();
    const HarnessResult loop = runNcProgram(
        "{VAR i : INT; END_VAR FOR i := 1 TO 3 DO runfile('dwell.nc'); END_FOR}\n");
    ASSERT_TRUE(loop.ok()) << loop.errorText();
    EXPECT_EQ(countLines(loop, " Wait 0.5"), 3u) << loop.ncText();
    EXPECT_EQ(loop.ncProcessor()->runfiles().size(), 0u);
}

TEST(RunfileNative, ALongFileIsFedInBatchesToItsEnd) {
    SourceDir dir;
    dir.write("unended.nc", runfileLines(100, false)); // one execution
    dir.write("ended.nc", runfileLines(100));          // two: the empty last block
    dir.write("long.nc", runfileLines(230));           // three: 100, 100, 30 and the empty block
    const HarnessResult unended = runNcProgram("{runfile('unended.nc');}\n");
    const HarnessResult ended = runNcProgram("{runfile('ended.nc');}\n");
    const HarnessResult longRun = runNcProgram("{runfile('long.nc');}\n");
    ASSERT_TRUE(unended.ok()) << unended.errorText();
    ASSERT_TRUE(ended.ok()) << ended.errorText();
    ASSERT_TRUE(longRun.ok()) << longRun.errorText();
    // Every block arrives, in order, and the call ends with its file.
    EXPECT_EQ(unended.ncProcessor()->canvas().current().x, 99.0);
    EXPECT_EQ(ended.ncProcessor()->canvas().current().x, 99.0);
    EXPECT_EQ(longRun.ncProcessor()->canvas().current().x, 229.0);
    EXPECT_EQ(countLines(longRun, " Line "), 230u) << longRun.ncText();
    EXPECT_EQ(longRun.ncProcessor()->runfiles().size(), 0u);
}

TEST(RunfileNative, PathsOpenAsWrittenOrWithSlashes) {
    SourceDir dir;
    std::filesystem::create_directories(dir.path() + "sub");
    dir.write("sub/rf.nc", "G1 X4 F300\n");
    const std::string absolute = dir.path() + "sub/rf.nc";
    for (const std::string& path : {std::string("sub\\rf.nc"), std::string("sub/rf.nc"), absolute}) {
        const HarnessResult r = runNcProgram("{runfile('" + path + "');}\n");
        ASSERT_TRUE(r.ok()) << path << ": " << r.errorText();
        EXPECT_EQ(r.ncProcessor()->canvas().current().x, 4.0) << path;
    }
    const HarnessResult missing = runNcProgram("{runfile('sub\\nope.nc');}\n");
    EXPECT_EQ(runError(missing), "Can not open file 'sub\\nope.nc'");
    const HarnessResult nope = runNcProgram("{runfile('nope.nc');}\n");
    EXPECT_EQ(runError(nope), "Can not open file 'nope.nc'");
    ASSERT_TRUE(nope.runError && nope.runError->span.valid);
    EXPECT_EQ(nope.ncProcessor()->runfiles().size(), 0u);
}

TEST(RunfileNative, ErrorsInTheFileCarryItsPlaces) {
    SourceDir dir;
    dir.write("address.nc", "G1 X1 F300\nR7 1\n");
    const HarnessResult address = runNcProgram("{runfile('address.nc');}\n");
    EXPECT_EQ(runError(address), "Invalid address letter 'r7'");
    ASSERT_TRUE(address.runError);
    EXPECT_NE(address.runError->text.find("address.nc: 2.1-3.1"), std::string::npos) << address.runError->text;

    // An error after the first batch: the call is pending when the task fails, and the
    // channel holds its reader state until the reset.
    dir.write("late.nc", runfileLines(150) + "G1 X\n");
    const HarnessResult late = runNcProgram("{runfile('late.nc');}\n");
    EXPECT_EQ(runError(late), "Expected number");
    ASSERT_TRUE(late.runError);
    EXPECT_NE(late.runError->text.find("late.nc: 151.5-152.1"), std::string::npos) << late.runError->text;
    EXPECT_EQ(late.ncProcessor()->runfiles().size(), 1u);
    late.ncProcessor()->reset();
    EXPECT_EQ(late.ncProcessor()->runfiles().size(), 0u);
}

TEST(RunfileNative, AProgramEndInTheFileEndsTheProgram) {
    SourceDir dir;
    dir.write("end.nc", "G1 X1 F300\nM30\nG1 X2\n");
    const HarnessResult r = runNcProgram("{runfile('end.nc');}\nG1 X9\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.ncProcessor()->canvas().current().x, 1.0) << r.ncText();
    EXPECT_EQ(r.ncProcessor()->runfiles().size(), 0u);
    EXPECT_EQ(r.sp, test::kStackBottom);
}

} // namespace
} // namespace Karsto
