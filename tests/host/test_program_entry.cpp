// The vordash executable run as a child process: options, one-shot actions, the offline
// modes and their exit codes. Every run gets a temporary directory of its own: the
// working directory, the registry store, the event-log file and the data directory.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controller_test_support.h"
#include "core/stackmachine.h"
#include "core/variable.h"
#include "host/controller.h"
#include "host/program_entry.h"
#include "program_entry_test_support.h"

namespace Karsto {
namespace {

using namespace entry_test;

TEST_F(ProgramEntry, HelpPrintsTheBannerAndUsageAndSavesNothing) {
    ChildRun r = run({"help", "registrySave"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    const std::string banner = std::string("JYX Interpreter (build ") + __DATE__ + " ";
    ASSERT_EQ(r.err.rfind(banner, 0), 0u) << r.err;
    const std::vector<std::string> lines = linesOf(r.err);
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[0].size(), banner.size() + std::string("12:34:56)").size()) << lines[0];
    EXPECT_EQ(lines[0].back(), ')');
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "Command Line Parameters: ");
    EXPECT_EQ(lines[3], "file=<string>");
    EXPECT_EQ(lines[4], "        Path of JYX file to be executed.");
    EXPECT_EQ(lines[5], "");
    EXPECT_FALSE(fs::exists(root / "registry"));
}

TEST_F(ProgramEntry, RegistrySaveStoresTheOptionsAndALaterLoadReadsThem) {
    ChildRun saved = run({"registrySave", "nif=null", "file=absent.jyx"});
    EXPECT_EQ(saved.exitCode, 0);
    EXPECT_TRUE(fs::exists(root / "registry"));

    // No words at all: the options come from the store. The stored registrySave has no
    // effect there, and the stored file is looked for.
    ChildRun loaded = run({});
    EXPECT_EQ(loaded.exitCode, 1);
    EXPECT_NE(loaded.err.find("[info] Loading parameter nif='null' from registry"), std::string::npos) << loaded.err;
    EXPECT_EQ(linesOf(loaded.err).back(), "?: Can not open file 'absent.jyx'");

    // registryLoad: the store's values replace those of the command line.
    ChildRun replaced = run({"registryLoad", "nif=html", "file=other.jyx"});
    EXPECT_EQ(replaced.exitCode, 1);
    EXPECT_EQ(linesOf(replaced.err).back(), "?: Can not open file 'absent.jyx'");

    // Without registryLoad the command line alone counts.
    ChildRun direct = run({"nif=nonsense"});
    EXPECT_EQ(direct.err, "Invalid value for nif\n");
}

TEST_F(ProgramEntry, InvalidOptionValuesEndWithCodeOne) {
    struct Case {
        std::vector<std::string> words;
        std::string err;
    };
    const Case cases[] = {
        {{"nif=NULL"}, "Invalid value for nif\n"},
        {{"nif="}, "Invalid value for nif\n"},
        {{"nif=null", "disablemask=abc"}, "stoll\n"},
        {{"nif=null", "file=nothere.jyx", "searchpath=" + jobs.string()}, "?: Can not open file 'nothere.jyx'\n"},
        {{"secEncrypt=absent.jyx"}, "?: Can not open file 'absent.jyx'\n"},
    };
    for (const Case& c : cases) {
        ChildRun r = run(c.words);
        EXPECT_EQ(r.exitCode, 1) << c.words[0];
        EXPECT_EQ(r.err, c.err) << c.words[0];
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(ProgramEntry, AnEmptyFileListRunsNoChannel) {
    ChildRun r = run({"nif=null", "file=,,"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
}

TEST_F(ProgramEntry, ACompileErrorEndsTheRunWithItsText) {
    writeFile(jobs / "bad.jyx", "G1 X1\nG1 X=nowhere\n");
    ChildRun r = run({"nif=null", "searchpath=" + searchPath(), "file=bad.jyx"});
    EXPECT_EQ(r.exitCode, 1);
    const std::vector<std::string> lines = linesOf(r.err);
    ASSERT_EQ(lines.size(), 2u) << r.err;
    const std::string prefix = "[error] Stackmachine bad.jyx error (";
    const std::string suffix = "). Stopping controller.";
    ASSERT_EQ(lines[0].rfind(prefix, 0), 0u) << r.err;
    ASSERT_GT(lines[0].size(), prefix.size() + suffix.size());
    const std::string text = lines[0].substr(prefix.size(), lines[0].size() - prefix.size() - suffix.size());
    EXPECT_EQ(lines[0].substr(prefix.size() + text.size()), suffix);
    EXPECT_EQ(lines[1], text);
    EXPECT_EQ(text, "bad.jyx: 2.6-2.13: Undeclared variable or enumeration value 'nowhere'.");
}

TEST_F(ProgramEntry, WithoutSearchPathFilesAreFoundInTheDataDirectory) {
    writeFile(root / "data" / "bad.jyx", "G1 X=nowhere\n");
    ChildRun r = run({"nif=null", "file=bad.jyx"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("[error] Stackmachine bad.jyx error (", 0), 0u) << r.err;
}

TEST_F(ProgramEntry, TheLogFileIsTruncatedOrAppended) {
    writeFile(jobs / "bad.jyx", "G1 X=nowhere\n");
    const std::string log = (root / "x.log").string();
    const std::vector<std::string> words = {"nif=null", "searchpath=" + searchPath(), "file=bad.jyx", "logFile=" + log};
    run(words);
    const std::string once = readFile(log);
    EXPECT_EQ(once.rfind("[error] Stackmachine bad.jyx error (", 0), 0u) << once;
    run(words);
    EXPECT_EQ(readFile(log), once);
    std::vector<std::string> appending = words;
    appending.push_back("logFileAppend");
    run(appending);
    EXPECT_EQ(readFile(log), once + once);
}

TEST_F(ProgramEntry, TheEventLogHearsTheStartUpAndLaterOnlyWithLogWin) {
    writeFile(jobs / "bad.jyx", "G1 X=nowhere\n");
    ASSERT_EQ(run({"registrySave", "nif=null", "searchpath=" + searchPath()}).exitCode, 0);
    const fs::path events = root / "events.log";
    fs::remove(events); // the save's own lines

    run({"registryLoad", "file=bad.jyx"});
    std::vector<std::string> lines = linesOf(readFile(events));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "4 [info] Loading parameter searchpath='" + searchPath() + "' from registry");
    for (const std::string& line : lines) EXPECT_EQ(line.find("Stackmachine"), std::string::npos) << line;

    fs::remove(events);
    run({"registryLoad", "file=bad.jyx", "logWin"});
    lines = linesOf(readFile(events));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("1 [error] Stackmachine bad.jyx error (", 0), 0u) << lines.back();
}

TEST_F(ProgramEntry, SecEncryptWritesTheScrambledSource) {
    const std::string plain = "G1 X1\nG1 X=nowhere\n";
    writeFile(work / "p.jyx", plain);
    ChildRun r = run({"secEncrypt=p.jyx"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    ASSERT_TRUE(fs::exists(work / "p.jyx.e"));
    const std::string scrambled = readFile(work / "p.jyx.e");
    EXPECT_EQ(scrambled.find("nowhere"), std::string::npos);

    // The scrambled file fails exactly where the plain one does, under its own name.
    ChildRun plainRun = run({"nif=null", "searchpath=" + work.string(), "file=p.jyx"});
    ChildRun scrambledRun = run({"nif=null", "searchpath=" + work.string(), "file=p.jyx.e"});
    EXPECT_EQ(scrambledRun.exitCode, plainRun.exitCode);
    EXPECT_EQ(linesOf(plainRun.err).back(), "p.jyx: 2.6-2.13: Undeclared variable or enumeration value 'nowhere'.");
    EXPECT_EQ(linesOf(scrambledRun.err).back(),
              "p.jyx.e: 2.6-2.13: Undeclared variable or enumeration value 'nowhere'.");
}

// ---- runs that need a successful compile ------------------------------------------------

TEST_F(ProgramEntry, NullRunsQuietlyAndHtmlWritesThePage) {
    writeFile(jobs / "ok.jyx", "G1 X10 F600\nG2 I5\n");
    ChildRun quiet = run({"nif=null", "searchpath=" + searchPath(), "file=ok.jyx"});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.out, "");
    EXPECT_FALSE(fs::exists(work / "ok.jyx.html"));

    ChildRun page = run({"nif=html", "searchpath=" + searchPath(), "file=ok.jyx"});
    EXPECT_EQ(page.exitCode, 0) << page.err;
    EXPECT_EQ(page.out, "");
    const std::string html = readFile(work / "ok.jyx.html");
    EXPECT_NE(html.find("G2&nbsp;I5"), std::string::npos);
}

TEST_F(ProgramEntry, ARunErrorInTheSecondFileKeepsExitCodeZero) {
    writeFile(jobs / "a.jyx", "G1 X1 F600\n");
    // A circle whose end does not lie on it fails when it runs.
    writeFile(jobs / "b.jyx", "G1 X0 F600\nG2 X30 I5\n");
    ChildRun r = run({"nif=null", "searchpath=" + searchPath(), "file=a.jyx,,b.jyx"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    int stackmachineLines = 0;
    for (const std::string& line : linesOf(r.err))
        stackmachineLines += line.rfind("[error] Stackmachine b.jyx error (", 0) == 0 ? 1 : 0;
    EXPECT_EQ(stackmachineLines, 1) << r.err;
}

TEST_F(ProgramEntry, TheDisableMaskReachesEveryChannel) {
    writeFile(jobs / "s.jyx", "/0 G1 X1 F600\n/32 G1 X2\n/63 G1 X3\n");
    auto suppressed = [&](const std::string& mask) {
        ChildRun r = run({"nif=null", "searchpath=" + searchPath(), "file=s.jyx,s.jyx", "debugGCode", "logStderr",
                     "disablemask=" + mask});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        int n = 0;
        for (const std::string& line : linesOf(r.err)) n += line == "[debugGCode] Execution supressed by disablebit";
        return n;
    };
    EXPECT_EQ(suppressed("-1"), 6);
    EXPECT_EQ(suppressed("4294967296"), 2);
    EXPECT_EQ(suppressed("0"), 0);
}


TEST(SearchPaths, PiecesEndInASeparator) {
    struct Case {
        std::string value;
        std::vector<std::string> paths;
    };
    const Case cases[] = {
        {"C:\\jobs;/srv/x/;", {"C:\\jobs/", "/srv/x/"}},
        {";x", {"/", "x/"}},
        {"C:\\a;D:\\b\\;", {"C:\\a/", "D:\\b\\"}},
        {"a;;b", {"a/", "/", "b/"}},
        {";", {"/"}},
        {"", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(splitSearchPath(c.value), c.paths) << c.value;
}

TEST(FileList, EmptyPiecesAreDropped) {
    EXPECT_EQ(splitFileList("a.jyx,,b.jyx"), (std::vector<std::string>{"a.jyx", "b.jyx"}));
    EXPECT_EQ(splitFileList(",a.jyx,"), std::vector<std::string>{"a.jyx"});
    EXPECT_EQ(splitFileList("C:\\jobs\\p.jyx"), std::vector<std::string>{"C:\\jobs\\p.jyx"});
    EXPECT_TRUE(splitFileList(",,").empty());
}

class RParameters : public test::ProgramTest {};

TEST_F(RParameters, OnePerTaskBelow900AndOneForAllFrom900) {
    Controller controller;
    test::FakeKernel kernel(controller);
    std::vector<std::unique_ptr<Stackmachine>> machines;
    std::vector<ControllerTask*> tasks;
    for (int i = 0; i < 3; ++i) {
        machines.push_back(std::make_unique<Stackmachine>());
        tasks.push_back(controller.taskAdd(machines.back().get(), "t" + std::to_string(i)));
    }
    const std::vector<std::unique_ptr<Variable>> variables = declareRParameters(controller, tasks);
    EXPECT_EQ(variables.size(), 900u * 3 + 100);
    EXPECT_EQ(controller.memoryShared.size(), 2800);

    auto offsetOf = [&](ControllerTask* task, const std::string& name) -> int64_t {
        for (Variable* variable : controller.sharedVariables.at(task))
            if (variable->name() == name) return variable->offset();
        return -1;
    };
    EXPECT_EQ(offsetOf(tasks[2], "r7"), 23);
    EXPECT_EQ(offsetOf(tasks[0], "r0"), 0);
    EXPECT_EQ(offsetOf(tasks[1], "r899"), 899 * 3 + 1);
    for (ControllerTask* task : tasks) {
        EXPECT_EQ(offsetOf(task, "r901"), 2701);
        EXPECT_EQ(controller.sharedVariables.at(task).size(), 1000u);
        EXPECT_EQ(task->machine->globalAddress("r901"), int64_t{0x80000000} + 2701);
    }
    EXPECT_EQ(tasks[2]->machine->globalAddress("r7"), int64_t{0x80000000} + 23);
    for (int64_t cell = 0; cell < controller.memoryShared.size(); ++cell)
        ASSERT_EQ(tasks[0]->machine->loadF64(0x80000000 + cell), 0.0) << cell;

    for (ControllerTask* task : tasks) controller.taskRemove(task);
}

} // namespace
} // namespace Karsto
