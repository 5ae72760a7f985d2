#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/cmd_flow.h"
#include "core/cmd_stack.h"
#include "core/exception.h"
#include "core/machine_test_support.h"
#include "core/stackmachine.h"

namespace Karsto {
namespace {

using test::HookMachine;
using test::loadItems;
using test::LogCapture;
using test::spanAt;
using test::TestCmd;

using test::kBase;

TEST(CmdJump, SetsPcToTheLabelItem) {
    Stackmachine m;
    auto* label = new Label();
    int passed = 0;
    loadItems(m, {new CmdJump(label), new TestCmd("skipped", [&passed](Stackmachine&) { ++passed; }),
                  label, new TestCmd("A")});
    m.step();
    EXPECT_EQ(m.getPc(), 2); // the label's own index: the next step passes over it
    m.step();
    m.step();
    EXPECT_EQ(m.getPc(), 4);
    EXPECT_EQ(passed, 0);
}

struct BranchCase {
    bool branchTrue;
    uint64_t cell;
    int64_t pcAfter;
};

TEST(CmdBranch, OnlyTheLowByteDecidesAndTheConditionIsPopped) {
    const std::vector<BranchCase> cases = {
        {true, 2, 3},   {true, 256, 2},  {true, 0x1FF01, 3}, {true, 0, 2},
        {false, 2, 2},  {false, 256, 3}, {false, 0, 3},      {false, 1, 2},
    };
    for (const BranchCase& c : cases) {
        Stackmachine m;
        auto* label = new Label();
        CodeItem* branch = c.branchTrue ? static_cast<CodeItem*>(new CmdBranchTrue(label))
                                        : static_cast<CodeItem*>(new CmdBranchFalse(label));
        const uint64_t cell = c.cell;
        loadItems(m, {new TestCmd("push", [cell](Stackmachine& s) { s.pushU64(cell); }), branch,
                      new TestCmd("A"), label});
        m.step();
        m.step();
        EXPECT_EQ(m.getPc(), c.pcAfter) << (c.branchTrue ? "true " : "false ") << c.cell;
        EXPECT_EQ(m.getSp(), kBase);
    }
}

// Records the frame as the callee sees it.
struct Frame {
    int64_t fp = 0, callerFp = 0, entry = 0, returnPosition = 0, sp = 0;
};

TestCmd* recordFrame(Frame& frame) {
    return new TestCmd("record", [&frame](Stackmachine& s) {
        frame.fp = s.getFp();
        frame.callerFp = s.loadAddr(frame.fp);
        frame.entry = s.loadAddr(frame.fp + 1);
        frame.returnPosition = s.loadAddr(frame.fp + 2);
        frame.sp = s.getSp();
    });
}

TestCmd* pushParameter() {
    return new TestCmd("param", [](Stackmachine& s) { s.pushU64(77); });
}

TEST(CmdJumpSub, CallAndReturn) {
    Stackmachine m;
    auto* entry = new Label();
    Frame frame;
    loadItems(m, {pushParameter(), new CmdJumpSub(entry), new CmdHalt(), entry, recordFrame(frame),
                  new CmdSpAdd(2), new CmdReturn()});
    m.setFp(kBase - 10); // any caller frame
    m.step();
    const int64_t spBefore = m.getSp();
    m.step(); // the call
    EXPECT_EQ(m.getPc(), 3);
    m.step(); // the entry label
    m.step();
    EXPECT_EQ(frame.fp, spBefore);
    EXPECT_EQ(frame.callerFp, kBase - 10);
    EXPECT_EQ(frame.entry, 3);          // the label's item index
    EXPECT_EQ(frame.returnPosition, 2); // the item after the call
    EXPECT_EQ(frame.sp, spBefore + 3);
    m.step(); // locals
    m.step(); // return
    EXPECT_EQ(m.getPc(), 2);
    EXPECT_EQ(m.getSp(), spBefore); // the parameter stays for the caller
    EXPECT_EQ(m.getFp(), kBase - 10);
    EXPECT_EQ(m.loadU64(kBase), 77u);
    m.step();
    EXPECT_FALSE(m.isRunning());
}

TEST(CmdJumpSubInd, CallsTheCodeAddress) {
    Stackmachine m;
    auto* entry = new Label();
    Frame frame;
    loadItems(m, {pushParameter(), new CmdConstLabel(entry), new CmdJumpSubInd(), new CmdHalt(),
                  entry, recordFrame(frame), new CmdReturn()});
    m.step();
    m.step();
    EXPECT_EQ(m.loadAddr(kBase + 1), 4); // the label's address
    m.step();                            // the call pops the code address
    EXPECT_EQ(m.getPc(), 4);
    m.step();
    m.step();
    EXPECT_EQ(frame.fp, kBase + 1);
    EXPECT_EQ(frame.callerFp, kBase);
    EXPECT_EQ(frame.entry, 4);
    EXPECT_EQ(frame.returnPosition, 3);
    m.step();
    EXPECT_EQ(m.getPc(), 3);
    EXPECT_EQ(m.getSp(), kBase + 1);
    EXPECT_EQ(m.getFp(), kBase);
}

// A Return without a frame of its own reads wherever fp points: the machine refuses
// addresses outside memory, including one past the largest fp.
TEST(CmdReturn, WildFramePointerIsRefused) {
    for (int64_t fp : {int64_t{0x1FFFFE}, INT64_MAX - 1, INT64_MAX}) {
        Stackmachine m;
        m.setFp(fp);
        EXPECT_THROW(CmdReturn().execute(m), ExceptionRuntime) << fp;
    }
}

TEST(CmdHalt, StopsTheControllerButNotRun) {
    std::vector<CodeItem*> (*program)() = [] {
        return std::vector<CodeItem*>{new CmdFp(), new CmdHalt(), new CmdSpAdd(-1), new CmdHalt()};
    };
    HookMachine controlled;
    loadItems(controlled, program());
    while (controlled.isRunning()) controlled.step(); // as the controller steps
    EXPECT_EQ(controlled.getPc(), 2);
    EXPECT_EQ(controlled.ends, 1);
    EXPECT_EQ(controlled.getSp(), kBase + 1);

    HookMachine ran;
    loadItems(ran, program());
    ran.run();
    EXPECT_EQ(ran.getPc(), 4);
    EXPECT_EQ(ran.getSp(), kBase);
    EXPECT_EQ(ran.ends, 1);
    EXPECT_FALSE(ran.isRunning());
}

TEST(FlowInstructions, Texts) {
    Label label;
    const std::string l = "Label " + std::to_string(label.id());
    EXPECT_EQ(CmdJump(&label).toString(), "Jump " + l);
    EXPECT_EQ(CmdJumpSub(&label).toString(), "JumpSub " + l);
    EXPECT_EQ(CmdJumpSubInd().toString(), "JumpSubInd");
    EXPECT_EQ(CmdBranchTrue(&label).toString(), "BranchTrue " + l);
    EXPECT_EQ(CmdBranchFalse(&label).toString(), "BranchFalse " + l);
    EXPECT_EQ(CmdReturn().toString(), "Return");
    EXPECT_EQ(CmdHalt().toString(), "Halt");
    EXPECT_EQ(CmdConstLabel(&label).toString(), "ConstLabel " + l);
}

TEST(FlowInstructions, TargetsAreResolvedByLinking) {
    auto* label = new Label();
    auto* jump = new CmdJump(label);
    EXPECT_FALSE(jump->isResolved());
    Code code = Code(jump).concat(Code(label));
    CodeLinked linked(code);
    auto* linkedJump = static_cast<CmdJump*>(linked.item(0));
    EXPECT_TRUE(linkedJump->isResolved());
    EXPECT_EQ(linkedJump->target(), linked.item(1));
    EXPECT_EQ(linked.toString(), "Jump Label " + std::to_string(linkedJump->target()->id()) +
                                     "\nLabel " + std::to_string(linkedJump->target()->id()) +
                                     "\n");
}

TEST(FlowInstructions, StepAndOperationTrace) {
    Stackmachine m;
    auto* fp = new CmdFp();
    fp->setSpan(spanAt(7));
    loadItems(m, {fp, new CmdHalt()});
    LogCapture log({LogLevel::debugStackmachine, LogLevel::debugStackOp}, true);
    testing::internal::CaptureStderr();
    m.step();
    m.step();
    const std::string err = testing::internal::GetCapturedStderr();
    const std::vector<std::string> expected = {
        "[debugStackmachine] P   0 S100000 F100000 L     7 [                   0         "
        "0.000000] Fp",
        "[debugStackOp] push Addr 1048576",
        "[debugStackmachine] P   1 S100001 F100000 L    -1 [             1048576         "
        "0.000000] Halt",
    };
    EXPECT_EQ(log.lines, expected);
    EXPECT_EQ(err, expected[0] + "\n" + expected[1] + "\n" + expected[2] + "\n");
}

} // namespace
} // namespace Karsto
