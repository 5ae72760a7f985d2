// Properties every instruction of the core shares: a clone is a fresh item of the same
// class with the same text and span that executes alike, and the text names the class.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <typeinfo>
#include <vector>

#include "core/cmd_flow.h"
#include "core/cmd_stack.h"
#include "core/gcode.h"
#include "core/machine_test_support.h"
#include "core/stackmachine.h"
#include "core/stackmachine_interpreter.h"

namespace Karsto {
namespace {

using test::LogCapture;
using test::spanAt;

using test::kBase;

struct Entry {
    const char* className;
    std::function<Cmd*(Label*)> make;
};

std::vector<Entry> registry() {
    return {
        {"CmdLd", [](Label*) { return new CmdLd(2); }},
        {"CmdSt", [](Label*) { return new CmdSt(2); }},
        {"CmdDup", [](Label*) { return new CmdDup(2); }},
        {"CmdCopy", [](Label*) { return new CmdCopy(-3, 2); }},
        {"CmdCopyTo", [](Label*) { return new CmdCopyTo(-4, -2, 2); }},
        {"CmdSpAdd", [](Label*) { return new CmdSpAdd(-2); }},
        {"CmdFp", [](Label*) { return new CmdFp(); }},
        {"CmdMux", [](Label*) { return new CmdMux(1, 3); }},
        {"CmdJump", [](Label* l) { return new CmdJump(l); }},
        {"CmdJumpSub", [](Label* l) { return new CmdJumpSub(l); }},
        {"CmdJumpSubInd", [](Label*) { return new CmdJumpSubInd(); }},
        {"CmdBranchTrue", [](Label* l) { return new CmdBranchTrue(l); }},
        {"CmdBranchFalse", [](Label* l) { return new CmdBranchFalse(l); }},
        {"CmdReturn", [](Label*) { return new CmdReturn(); }},
        {"CmdHalt", [](Label*) { return new CmdHalt(); }},
        {"CmdConstLabel", [](Label* l) { return new CmdConstLabel(l); }},
        {"CmdGcode", [](Label*) {
             GCode block(2, spanAt(1));
             block.addWord("x");
             return new CmdGcode(block);
         }},
    };
}

// The same start for every instruction: three cells and the Addr 1 on top, a frame
// at the stack base, memory cells 1 to 3 written, pc in the middle of a program.
void prepare(Stackmachine& m) {
    m.storeAddr(kBase, 0x100000);
    m.storeAddr(kBase + 1, 4);
    m.storeAddr(kBase + 2, 3);
    m.setSp(kBase + 3);
    m.pushU64(0x4000000000000000ull);
    m.pushAddr(1);
    for (int64_t a = 1; a <= 3; ++a) m.storeU64(a, static_cast<uint64_t>(a * 10));
    m.setPc(6);
}

std::vector<uint64_t> stateOf(Stackmachine& m) {
    std::vector<uint64_t> state = {static_cast<uint64_t>(m.getSp()), static_cast<uint64_t>(m.getFp()),
                                   static_cast<uint64_t>(m.getPc()), m.isRunning() ? 1u : 0u};
    for (int64_t a = 1; a <= 3; ++a) state.push_back(m.loadU64(a));
    for (int64_t a = kBase; a < kBase + 8; ++a) state.push_back(m.loadU64(a));
    return state;
}

TEST(Instructions, ClonesAreFreshAndBehaveAlike) {
    Label label;
    label.setAddress(5);
    for (const Entry& entry : registry()) {
        SCOPED_TRACE(entry.className);
        Cmd* original = entry.make(&label);
        original->setSpan(spanAt(42, 3));
        Code holder(original);
        Code cloneHolder(original->clone());
        auto* clone = static_cast<Cmd*>(cloneHolder.node()->asItem());
        EXPECT_NE(clone, original);
        EXPECT_EQ(clone->refCount(), 1); // a new clone starts at 0; the holder took one
        EXPECT_EQ(typeid(*clone), typeid(*original));
        EXPECT_EQ(clone->toString(), original->toString());
        EXPECT_EQ(clone->span().toString(), original->span().toString());
        EXPECT_EQ(clone->asCmd(), clone);
        EXPECT_EQ(clone->isResolved(), original->isResolved());

        // The text is the class name without "Cmd", then the operands.
        const std::string name = std::string(entry.className).substr(3);
        EXPECT_EQ(original->toString().substr(0, name.size()), name);

        Stackmachine a, b;
        prepare(a);
        prepare(b);
        original->execute(a);
        clone->execute(b);
        EXPECT_EQ(stateOf(a), stateOf(b));
    }
}

// What one execution leaves behind: the state, the operation and block traces and the
// error text.
struct Outcome {
    std::vector<uint64_t> state;
    std::vector<std::string> lines;
    std::string error;
};

Outcome executeOn(Stackmachine& m, Cmd& cmd, int start) {
    if (start >= 1) prepare(m);
    if (start == 2) m.pushAddr(0); // a null address (or selector 0, or condition 0) on top
    Outcome outcome;
    {
        LogCapture log({LogLevel::debugStackOp, LogLevel::debugGCode});
        try {
            cmd.execute(m);
        } catch (const ExceptionRuntime& e) {
            outcome.error = e.what();
        }
        outcome.lines = log.lines;
    }
    outcome.state = stateOf(m);
    return outcome;
}

// On the channel's interpreter an instruction takes the statically bound path; it must
// do exactly what it does through the virtual operations, on an empty stack too.
TEST(Instructions, ChannelInterpreterExecutesAsTheBase) {
    Label label;
    label.setAddress(5);
    for (const Entry& entry : registry()) {
        for (int start : {0, 1, 2}) { // empty machine, prepared, prepared with 0 on top
            SCOPED_TRACE(std::string(entry.className) + " start " + std::to_string(start));
            Code holder(entry.make(&label));
            Cmd& cmd = *holder.node()->asItem()->asCmd();
            Stackmachine base;
            StackmachineInterpreter channel;
            const Outcome expected = executeOn(base, cmd, start);
            const Outcome actual = executeOn(channel, cmd, start);
            EXPECT_EQ(actual.state, expected.state);
            EXPECT_EQ(actual.lines, expected.lines);
            EXPECT_EQ(actual.error, expected.error);
        }
    }
}

TEST(Instructions, LabelOperandsAreRemappedByLinking) {
    for (const Entry& entry : registry()) {
        SCOPED_TRACE(entry.className);
        auto* label = new Label();
        Cmd* cmd = entry.make(label);
        auto* target = dynamic_cast<CmdWithTarget*>(cmd);
        Code code = Code(cmd).concat(Code(label));
        CodeLinked linked(code);
        if (target == nullptr) continue;
        EXPECT_FALSE(target->isResolved());
        auto* linkedCmd = dynamic_cast<CmdWithTarget*>(linked.item(0));
        ASSERT_NE(linkedCmd, nullptr);
        EXPECT_EQ(linkedCmd->target(), linked.item(1));
        EXPECT_TRUE(linkedCmd->isResolved());
    }
}

} // namespace
} // namespace Karsto
