#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/cmd_const.h"
#include "core/cmd_flow.h"
#include "core/cmd_stack.h"
#include "core/exception.h"
#include "core/machine_test_support.h"
#include "core/stackmachine.h"
#include "core/stackmachine_interpreter.h"

namespace Karsto {
namespace {

using test::codeOf;
using test::spanAt;

using test::kBase;

// The stack from the base up to sp as U64 cells, lowest first.
std::vector<uint64_t> stackOf(Stackmachine& m) {
    std::vector<uint64_t> cells;
    for (int64_t a = kBase; a < m.getSp(); ++a) cells.push_back(m.loadU64(a));
    return cells;
}

void pushAll(Stackmachine& m, const std::vector<uint64_t>& values) {
    for (uint64_t v : values) m.pushU64(v);
}

TEST(CmdLd, LoadsCellsInAddressOrder) {
    Stackmachine m;
    m.storeU64(40, 1);
    m.storeU64(41, 2);
    m.storeU64(42, 3);
    m.pushAddr(40);
    CmdLd(3).execute(m);
    EXPECT_EQ(stackOf(m), (std::vector<uint64_t>{1, 2, 3}));
}

TEST(CmdLd, NullAddressFailsInStepWithTheSpan) {
    Stackmachine m;
    auto* ld = new CmdLd(1);
    ld->setSpan(spanAt(12, 4));
    m.loadProgram(CodeLinked(codeOf(ld)));
    m.pushAddr(0);
    try {
        m.step();
        FAIL() << "no exception";
    } catch (const ExceptionRuntime& e) {
        EXPECT_EQ(e.message(), "NULL-Pointer Exception");
        EXPECT_EQ(std::string(e.what()), spanAt(12, 4).toString() + ": NULL-Pointer Exception");
        EXPECT_EQ(std::string(e.what()), "t.jyx: 12.4-12.5: NULL-Pointer Exception");
    }
    EXPECT_EQ(m.getSp(), kBase); // the address was popped, nothing else changed
}

TEST(CmdSt, StoresTheValueBelowTheAddress) {
    Stackmachine m;
    pushAll(m, {9, 7, 8});
    m.pushAddr(50);
    CmdSt(2).execute(m);
    EXPECT_EQ(m.getSp(), kBase + 1); // 3 lower
    EXPECT_EQ(m.loadU64(50), 7u);
    EXPECT_EQ(m.loadU64(51), 8u);
    EXPECT_EQ(stackOf(m), (std::vector<uint64_t>{9}));
}

TEST(CmdSt, NullAddressIsRefused) {
    Stackmachine m;
    pushAll(m, {7});
    m.pushAddr(0);
    EXPECT_THROW(CmdSt(1).execute(m), ExceptionRuntime);
    EXPECT_EQ(m.getSp(), kBase + 1); // only the address was popped
}

TEST(CmdDupAndCopy, CopiesWithinTheStack) {
    Stackmachine m;
    pushAll(m, {1, 2, 3});
    CmdCopy(-2, 1).execute(m);
    EXPECT_EQ(stackOf(m), (std::vector<uint64_t>{1, 2, 3, 2}));
    CmdDup(1).execute(m);
    EXPECT_EQ(stackOf(m), (std::vector<uint64_t>{1, 2, 3, 2, 2}));

    Stackmachine a, b;
    pushAll(a, {4, 5, 6});
    pushAll(b, {4, 5, 6});
    CmdCopy(-3, 3).execute(a);
    CmdDup(3).execute(b);
    EXPECT_EQ(stackOf(a), (std::vector<uint64_t>{4, 5, 6, 4, 5, 6}));
    EXPECT_EQ(stackOf(a), stackOf(b));
}

TEST(CmdCopyTo, OverlapBehavesAsThroughABuffer) {
    Stackmachine m;
    pushAll(m, {1, 2, 3, 4, 5});
    CmdCopyTo(-5, -4, 3).execute(m); // source 1,2,3 onto the cells of 2,3,4
    EXPECT_EQ(stackOf(m), (std::vector<uint64_t>{1, 1, 2, 3, 5}));
    CmdCopyTo(-4, -5, 3).execute(m); // and back down
    EXPECT_EQ(stackOf(m), (std::vector<uint64_t>{1, 2, 3, 3, 5}));
    CmdCopyTo(-3, -3, 2).execute(m);
    EXPECT_EQ(stackOf(m), (std::vector<uint64_t>{1, 2, 3, 3, 5}));
    EXPECT_EQ(m.getSp(), kBase + 5);
}

TEST(CmdSpAddAndFp, MoveSpAndPushFp) {
    Stackmachine m;
    CmdSpAdd(3).execute(m);
    EXPECT_EQ(m.getSp(), kBase + 3);
    CmdSpAdd(-2).execute(m);
    EXPECT_EQ(m.getSp(), kBase + 1);
    m.setFp(kBase + 1);
    CmdFp().execute(m);
    EXPECT_EQ(m.getSp(), kBase + 2);
    EXPECT_EQ(m.loadAddr(kBase + 1), kBase + 1);
}

TEST(CmdMux, SelectsOneValue) {
    for (int64_t k = 0; k < 3; ++k) {
        Stackmachine m;
        pushAll(m, {1, 2, 3, 4, 5, 6});
        m.pushAddr(k);
        CmdMux(2, 3).execute(m);
        EXPECT_EQ(stackOf(m), (std::vector<uint64_t>{uint64_t(2 * k + 1), uint64_t(2 * k + 2)}))
            << "selector " << k;
    }
    Stackmachine m;
    pushAll(m, {7, 8, 9});
    m.pushAddr(2);
    CmdMux(1, 3).execute(m);
    EXPECT_EQ(stackOf(m), (std::vector<uint64_t>{9}));
}

TEST(CmdMux, WildSelectorIsContainedByTheBoundsChecks) {
    Stackmachine m;
    pushAll(m, {1, 2});
    m.pushAddr(INT64_MAX);
    EXPECT_THROW(CmdMux(1, 2).execute(m), ExceptionRuntime);
}

// The compile-time evaluator's restrictions reach the instructions: they go through
// the machine's virtual operations.
class RestrictedMachine : public Stackmachine {
public:
    void copy(int64_t destination, int64_t source, int64_t count) override {
        checkRuntime(destination >= kStackBase && source >= kStackBase,
                     "Invalid constant expression");
        Stackmachine::copy(destination, source, count);
    }
    int64_t getFp() override {
        checkRuntime(false, "Invalid constant expression");
        return 0;
    }
};

TEST(StackInstructions, WorkThroughTheVirtualOperations) {
    RestrictedMachine m;
    EXPECT_THROW(CmdFp().execute(m), ExceptionRuntime);
    m.pushAddr(40);
    EXPECT_THROW(CmdLd(1).execute(m), ExceptionRuntime);
    pushAll(m, {1, 2});
    CmdDup(2).execute(m); // stack to stack is allowed
    EXPECT_EQ(stackOf(m), (std::vector<uint64_t>{1, 2, 1, 2}));
}

// ---- issue 73: sp-relative ranges stay inside the stack region ------------------------

// Every global cell gets a value of its own, so any write through a stack instruction
// shows up.
uint64_t patternAt(int64_t address) { return 0x9E3779B97F4A7C15ull * static_cast<uint64_t>(address); }

void fillGlobals(Stackmachine& m) {
    for (int64_t a = 1; a < kBase; ++a) m.storeU64(a, patternAt(a));
}

// The first global cell that lost its pattern, or 0.
int64_t firstChangedGlobal(Stackmachine& m) {
    for (int64_t a = 1; a < kBase; ++a)
        if (m.loadU64(a) != patternAt(a)) return a;
    return 0;
}

TEST(StackRegion, InstructionsNeverReachPastTheStack) {
    constexpr int64_t kFill = Stackmachine::kStackEnd - kBase - 1; // leaves one free cell
    struct Case {
        const char* program;
        std::vector<CodeItem*> items; // the last one fails, on line = its position
        const char* message;
    };
    auto lint = [](int64_t v) -> CodeItem* { return new CmdConstLint(v); };
    const std::vector<Case> cases = {
        // Each of these read or wrote global cell 0xFFFFF through the stack.
        {"ConstLint 1; Dup 2", {lint(1), new CmdDup(2)}, "Stack underflow"},
        {"ConstLint 99; CopyTo -1 -2 1", {lint(99), new CmdCopyTo(-1, -2, 1)}, "Stack underflow"},
        {"SpAdd -3", {new CmdSpAdd(-3)}, "Stack underflow"},
        {"ConstLint 5; ConstLint 20; St 2", {lint(5), lint(20), new CmdSt(2)}, "Stack underflow"},
        {"ConstLint 1; Copy -3 1", {lint(1), new CmdCopy(-3, 1)}, "Stack underflow"},
        {"ConstLint 99; CopyTo -2 0 1", {lint(99), new CmdCopyTo(-2, 0, 1)}, "Stack underflow"},
        {"ConstLint 7; ConstLint 8; ConstLint -5; Mux 1 2",
         {lint(7), lint(8), lint(-5), new CmdMux(1, 2)}, "Stack underflow"},
        // The same at the stack's end.
        {"SpAdd full; ConstLint 1; Dup 2", {new CmdSpAdd(kFill), lint(1), new CmdDup(2)},
         "Stack overflow"},
        {"SpAdd full; CopyTo -1 1 1", {new CmdSpAdd(kFill), new CmdCopyTo(-1, 1, 1)},
         "Stack overflow"},
        {"SpAdd full; Copy -1 2", {new CmdSpAdd(kFill), new CmdCopy(-1, 2)}, "Stack overflow"},
        {"SpAdd 0x100001", {new CmdSpAdd(0x100001)}, "Stack overflow"},
        {"SpAdd full; ConstLint 20; Ld 2", {new CmdSpAdd(kFill), lint(20), new CmdLd(2)},
         "Stack overflow"},
        {"ConstLint 7; ConstLint 8; ConstLint 0x100000; Mux 1 2",
         {lint(7), lint(8), lint(0x100000), new CmdMux(1, 2)}, "Stack overflow"},
    };
    for (const Case& c : cases) {
        Code code;
        int32_t line = 0;
        for (CodeItem* item : c.items) code = code.concat(test::codeOf(test::withSpan(item, ++line)));
        const CodeLinked program(code.concat(test::codeOf(new CmdHalt())));
        Stackmachine base;
        StackmachineInterpreter interpreter;
        for (Stackmachine* m : {&base, static_cast<Stackmachine*>(&interpreter)}) {
            const std::string context =
                std::string(m == &base ? "base: " : "interpreter: ") + c.program;
            m->trace = false;
            m->loadProgram(program);
            fillGlobals(*m);
            try {
                m->run();
                ADD_FAILURE() << context << ": no exception";
            } catch (const ExceptionRuntime& e) {
                EXPECT_EQ(e.message(), c.message) << context;
                EXPECT_EQ(e.span().begin.line, static_cast<int32_t>(c.items.size())) << context;
            }
            EXPECT_EQ(firstChangedGlobal(*m), 0) << context;
            EXPECT_GE(m->getSp(), kBase) << context;
            EXPECT_LE(m->getSp(), Stackmachine::kStackEnd) << context;
        }
    }
}

// The checks refuse only what leaves the region: ranges that touch its two ends pass.
TEST(StackRegion, RangesAtTheEdgesPass) {
    Stackmachine m;
    pushAll(m, {1, 2});
    CmdDup(2).execute(m); // source from the base itself
    CmdCopyTo(-4, -1, 1).execute(m);
    EXPECT_EQ(stackOf(m), (std::vector<uint64_t>{1, 2, 1, 1}));
    m.setSp(Stackmachine::kStackEnd - 2);
    pushAll(m, {5});
    CmdDup(1).execute(m); // destination up to the last cell
    EXPECT_EQ(m.getSp(), Stackmachine::kStackEnd);
    EXPECT_EQ(m.loadU64(Stackmachine::kStackEnd - 1), 5u);
    CmdSpAdd(-0x100000).execute(m); // all the way down
    EXPECT_EQ(m.getSp(), kBase);
    CmdDup(0).execute(m); // nothing to copy at the base
    EXPECT_EQ(m.getSp(), kBase);
}

TEST(StackInstructions, Texts) {
    EXPECT_EQ(CmdLd(3).toString(), "Ld 3");
    EXPECT_EQ(CmdSt(2).toString(), "St 2");
    EXPECT_EQ(CmdDup(1).toString(), "Dup 1");
    EXPECT_EQ(CmdCopy(-2, 1).toString(), "Copy -2 1");
    EXPECT_EQ(CmdCopyTo(0, -2, 1).toString(), "CopyTo 0 -2 1");
    EXPECT_EQ(CmdSpAdd(-81).toString(), "SpAdd -81");
    EXPECT_EQ(CmdFp().toString(), "Fp");
    EXPECT_EQ(CmdMux(1, 3).toString(), "Mux 1 3");
}

} // namespace
} // namespace Karsto
