// End-to-end runs with the NC kernel: the built vordash and the built kernelsim as child
// processes, talking over Unix-domain sockets through the router kernelsim hosts in the
// test's directory. kernelsim plays the kernel from a script under tests/programs/kernel
// and exits 0 when every step passed within its deadline.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/service_test_support.h"
#include "program_entry_test_support.h"

namespace Karsto {
namespace {

using namespace entry_test;

const std::string kScripts = VORDASH_TEST_DATA_DIR "/programs/kernel/";

class EndToEnd : public ProgramEntry {
protected:
    // Started, and its router listening.
    Child kernelsim(const std::string& script) {
        const Child sim = spawnProgram(kernelsimExecutable(), {"--router", routerPath().string(), kScripts + script},
                                       "kernelsim", {"VORDASH_VEK_ROUTER=" + routerPath().string()});
        EXPECT_TRUE(waitForOut(sim, "kernelsim: router at ")) << readFile(sim.err);
        return sim;
    }
    // The script's result, with both sides' output when it failed.
    void expectPassed(const Child& sim, const Child& program) {
        const ChildRun r = finish(sim);
        EXPECT_EQ(r.exitCode, 0) << r.err << "\n--- vordash:\n" << readFile(program.err);
    }
};

TEST_F(EndToEnd, Nc2RunsAProgramTheKernelLoadsAndStarts) {
    writeFile(root / "drive" / "jobs" / "part.jyx", "G0 X5 Y5\nG1 X20 F300\nM30\n");
    const Child sim = kernelsim("nc2_mill.ksim");
    const Child program = spawn({"nif=nc2", "logStderr", "debugController"}, "nc2",
                                {"VORDASH_DRIVE_ROOT=" + (root / "drive").string()});
    expectPassed(sim, program);
    // The script's last step is the unregister write.
    const ChildRun r = finish(program);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(linesOf(r.err).back(), "[info] Stopping JYX interpreter");
}

TEST_F(EndToEnd, Nc2lSendsEachChannelsStartRecordsAndAxisQuery) {
    writeFile(jobs / "a.jyx", "G1 X5 F300\n");
    writeFile(jobs / "b.jyx", "G1 X5 F300\n");
    const Child sim = kernelsim("nc2l_two_channels.ksim");
    const Child program = spawn({"nif=nc2l", "searchpath=" + searchPath(), "file=a.jyx,b.jyx", "group= 12,x"});
    expectPassed(sim, program);
    // The programs wait for an axis answer for good: the test ends the process.
    end(program);
}

TEST_F(EndToEnd, TheServiceStartsTheLinkOn129AndEndsAfterStop) {
    test::ManagerPeer manager;
    const Child sim = kernelsim("service_link.ksim");
    const Child program = spawn({"nif=service", "logStderr", "debugController"}, "service",
                                {"VORDASH_SERVICE_FD=3"}, manager.serviceEnd());
    EXPECT_EQ(manager.readLine(), "status type=16 state=2 accepted=0 exit=0 specific=0 checkpoint=1 hint=3000");
    EXPECT_EQ(manager.readLine(), "status type=16 state=4 accepted=1 exit=0 specific=0 checkpoint=0 hint=0");
    manager.control(129);
    expectPassed(sim, program);
    manager.control(1);
    EXPECT_EQ(manager.readLine(), "status type=16 state=3 accepted=1 exit=0 specific=0 checkpoint=2 hint=0");
    EXPECT_EQ(manager.readLine(), "status type=16 state=3 accepted=1 exit=0 specific=0 checkpoint=3 hint=0");
    EXPECT_EQ(manager.readLine(), "status type=16 state=1 accepted=1 exit=0 specific=0 checkpoint=0 hint=0");
    const ChildRun r = finish(program);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("[debugController] ControllerNc2Service::ctrlHandler initsrv\n"), std::string::npos);
    EXPECT_EQ(linesOf(r.err).back(), "[info] Stop JYX-Interpreter service");
}

} // namespace
} // namespace Karsto
