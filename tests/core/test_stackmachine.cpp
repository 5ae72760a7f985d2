#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/exception.h"
#include "core/machine_test_support.h"
#include "core/stackmachine.h"

namespace Karsto {
namespace {

using test::codeOf;
using test::HookMachine;
using test::LogCapture;
using test::withSpan;
using test::spanAt;
using test::TestCmd;

using test::kBase;

void load(Stackmachine& machine, const std::vector<CodeItem*>& items) {
    test::loadItems(machine, items);
}

TestCmd* haltCmd() {
    return new TestCmd("Halt", [](Stackmachine& m) { m.halt(); });
}

template <class F>
std::string runtimeMessage(F&& f) {
    try {
        f();
    } catch (const ExceptionRuntime& e) {
        return e.what();
    }
    return "no exception";
}

TEST(Stackmachine, NewMachine) {
    Stackmachine m;
    EXPECT_EQ(m.getPc(), 0);
    EXPECT_EQ(m.getSp(), kBase);
    EXPECT_EQ(m.getFp(), kBase);
    EXPECT_EQ(m.getStackBase(), kBase);
    EXPECT_TRUE(m.isRunning());
    EXPECT_FALSE(m.isBlocked());
    EXPECT_EQ(m.sectionLow, 0u);
    EXPECT_EQ(m.sectionHigh, 0u);
    EXPECT_TRUE(m.trace);
    EXPECT_FALSE(m.programLoaded);
    EXPECT_EQ(m.program.size(), 0);
    for (int32_t i = 0; i < 16; ++i) EXPECT_EQ(m.getWaitCounter(i), 1);
    EXPECT_FALSE(m.currentSpan().valid);
}

// ---- cell representation -------------------------------------------------------------

TEST(StackmachineCells, NarrowPushKeepsUpperBytes) {
    Stackmachine m;
    m.pushU64(0x1122334455667788ull);
    m.addSp(-1);
    m.pushS8(-2);
    EXPECT_EQ(m.loadU64(kBase), 0x11223344556677FEull);
    EXPECT_EQ(m.popS8(), -2);
    m.pushU16(0xBEEF);
    EXPECT_EQ(m.loadU64(kBase), 0x112233445566BEEFull);
    EXPECT_EQ(m.popU16(), 0xBEEF);
    m.pushS32(-1);
    EXPECT_EQ(m.loadU64(kBase), 0x11223344FFFFFFFFull);
    EXPECT_EQ(m.popU32(), 0xFFFFFFFFu); // zero-extended
    m.addSp(1);
    EXPECT_EQ(m.popS32(), -1);
}

TEST(StackmachineCells, SignedReadsExtendUnsignedReadsDoNot) {
    Stackmachine m;
    m.storeU64(10, 0);
    m.storeS16(10, -300);
    EXPECT_EQ(m.loadS16(10), -300);
    EXPECT_EQ(m.loadU16(10), 65236);
    EXPECT_EQ(m.loadU64(10), 65236u);
    m.storeS8(11, -128);
    EXPECT_EQ(m.loadS8(11), -128);
    EXPECT_EQ(m.loadU8(11), 128);
}

TEST(StackmachineCells, U1ReadsTheStoredByteUnchanged) {
    Stackmachine m;
    m.storeU8(12, 2);
    EXPECT_EQ(m.loadU1(12), 2);
    m.storeU1(12, true);
    EXPECT_EQ(m.loadU8(12), 1);
    m.pushU1(false);
    EXPECT_EQ(m.loadU8(kBase), 0);
    m.addSp(-1);
    m.pushU8(7);
    EXPECT_EQ(m.popU1(), 7);
}

TEST(StackmachineCells, F32StaysAFloatInTheCell) {
    Stackmachine m;
    m.storeU64(13, 0xFFFFFFFF00000000ull);
    m.storeF32(13, 1.5f);
    uint32_t bits = 0;
    const float f = 1.5f;
    std::memcpy(&bits, &f, sizeof bits);
    EXPECT_EQ(m.loadU64(13), 0xFFFFFFFF00000000ull | bits);
    EXPECT_EQ(m.loadF32(13), 1.5f);
    m.storeF64(14, -0.25);
    EXPECT_EQ(m.loadF64(14), -0.25);
}

TEST(StackmachineCells, EveryFamilyRoundTrips) {
    Stackmachine m;
    // Each row: push, pop back the same value; store, load back the same value.
#define KARSTO_MACHINE_TYPE(name, In, Out, Cell, PushTrace, PopTrace)                              \
    {                                                                                              \
        const In value = static_cast<In>(1);                                                       \
        m.push##name(value);                                                                       \
        EXPECT_EQ(m.getSp(), kBase + 1) << #name;                                                  \
        EXPECT_EQ(m.pop##name(), static_cast<Out>(value)) << #name;                                \
        EXPECT_EQ(m.getSp(), kBase) << #name;                                                      \
        m.store##name(20, value);                                                                  \
        EXPECT_EQ(m.load##name(20), static_cast<Out>(value)) << #name;                             \
    }
#include "core/machine_types.def"
}

TEST(StackmachineCells, SharedArea) {
    Stackmachine m;
    std::vector<double> shared(10, 0.0);
    m.setSharedArea(shared.data(), 10, {{"r5", 5}, {"r0", 0}});
    m.storeF64(0x80000005, 12.5);
    EXPECT_EQ(shared[5], 12.5);
    shared[0] = -3.0;
    EXPECT_EQ(m.loadF64(0x80000000), -3.0);
    EXPECT_EQ(m.globalAddress("r5"), 0x80000005);
    EXPECT_EQ(m.globalAddress("r0"), 0x80000000);
    EXPECT_EQ(m.globalAddress("r6"), -1);
    m.setSharedArea(shared.data(), 10, {{"r5", 7}});
    EXPECT_EQ(m.globalAddress("r5"), 0x80000007); // replaced
    EXPECT_EQ(m.globalAddress("r0"), 0x80000000); // kept
}

TEST(StackmachineCells, CopyIsAMemmoveAcrossAreas) {
    Stackmachine m;
    for (int64_t i = 0; i < 5; ++i) m.storeS64(100 + i, i + 1);
    m.copy(101, 100, 4); // overlapping, upward
    EXPECT_EQ(m.loadS64(100), 1);
    EXPECT_EQ(m.loadS64(101), 1);
    EXPECT_EQ(m.loadS64(102), 2);
    EXPECT_EQ(m.loadS64(104), 4);
    m.copy(100, 101, 4); // overlapping, downward
    EXPECT_EQ(m.loadS64(100), 1);
    EXPECT_EQ(m.loadS64(101), 2);
    EXPECT_EQ(m.loadS64(103), 4);
    std::vector<int64_t> shared(4, 0);
    m.setSharedArea(shared.data(), 4, {});
    m.copy(0x80000001, 100, 3);
    EXPECT_EQ(shared, (std::vector<int64_t>{0, 1, 2, 3}));
    m.copy(200, 0x80000002, 2);
    EXPECT_EQ(m.loadS64(200), 2);
    EXPECT_EQ(m.loadS64(201), 3);
    m.copy(200, 0x7FFFFFFFF, 0); // nothing copied, nothing checked
}

TEST(StackmachineCells, MemoryIsKeptAcrossResetAndUnload) {
    Stackmachine m;
    m.storeU64(1, 42);
    m.reset();
    m.unload();
    EXPECT_EQ(m.loadU64(1), 42u);
}

// ---- operation traces ----------------------------------------------------------------

TEST(StackmachineTrace, OperationLines) {
    Stackmachine m;
    LogCapture log({LogLevel::debugStackOp});
    m.pushU32(7);
    m.addSp(-1);
    m.pushU64(~0ull);
    m.popU64();
    m.pushAddr(-1);
    m.popAddr();
    m.pushS16(-3);
    m.popS16();
    m.pushF32(1.5f);
    m.popF32();
    m.pushU1(true);
    m.pushU1(false);
    m.addSp(-2);
    m.setFp(0x100004);
    m.addFp(-4);
    m.setSp(kBase);
    m.setPc(3);
    m.copy(0x100000, 5, 2);
    EXPECT_EQ(log.lines, (std::vector<std::string>{
                             "[debugStackOp] push U32 7",
                             "[debugStackOp] sp += -1",
                             "[debugStackOp] push U64 18446744073709551615",
                             "[debugStackOp] pop U64 18446744073709551615",
                             "[debugStackOp] push Addr 18446744073709551615",
                             "[debugStackOp] pop Addr -1",
                             "[debugStackOp] push S16 -3",
                             "[debugStackOp] pop S16 -3",
                             "[debugStackOp] push F32 1.500000",
                             "[debugStackOp] pop F32 1.500000",
                             "[debugStackOp] push U1 1",
                             "[debugStackOp] push U1 0",
                             "[debugStackOp] sp += -2",
                             "[debugStackOp] fp = 1048580",
                             "[debugStackOp] fp += -4",
                             "[debugStackOp] sp = 1048576",
                             "[debugStackOp] pc = 3",
                             "[debugStackOp] copy dst=0x100000 src=0x5 size=2",
                         }));
}

TEST(StackmachineTrace, LoadsStoresAndGettersLogNothing) {
    Stackmachine m;
    LogCapture log({LogLevel::debugStackOp, LogLevel::debugStackmachine, LogLevel::debugGCode});
    m.storeU64(3, 1);
    m.storeF32(3, 1.0f);
    (void)m.loadU64(3);
    (void)m.loadAddr(3);
    (void)m.getPc();
    (void)m.getSp();
    (void)m.getFp();
    (void)m.getStackBase();
    m.reset();
    m.unload();
    m.jumpToEnd();
    EXPECT_TRUE(log.lines.empty());
}

TEST(StackmachineTrace, NothingWithoutTraceOrLevel) {
    Stackmachine m;
    {
        LogCapture log({LogLevel::debugStackOp});
        m.trace = false;
        m.pushU32(7);
        m.popU32();
        m.addSp(1);
        m.copy(kBase, kBase, 1);
        EXPECT_TRUE(log.lines.empty());
        m.trace = true;
    }
    LogCapture other({LogLevel::debugStackmachine}); // debugStackOp stays off
    m.pushU32(7);
    EXPECT_TRUE(other.lines.empty());
}

// ---- step and run --------------------------------------------------------------------

TEST(StackmachineStep, StepLine) {
    Stackmachine m;
    load(m, {withSpan(new TestCmd("A", [](Stackmachine& s) { s.pushF64(2.5); }), 7),
             new TestCmd("B")});
    LogCapture log({LogLevel::debugStackmachine});
    m.step();
    m.step();
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{
                  "[debugStackmachine] P   0 S100000 F100000 L     7 [                   0         "
                  "0.000000] A",
                  "[debugStackmachine] P   1 S100001 F100000 L    -1 [ 4612811918334230528         "
                  "2.500000] B",
              }));
}

TEST(StackmachineStep, RuntimeErrorTakesTheItemSpan) {
    HookMachine m;
    load(m, {new TestCmd("A"), withSpan(new TestCmd("B"), 3),
             // Halts before it fails: the failing step must still not run the end hook.
             withSpan(new TestCmd("Fail",
                                  [](Stackmachine& s) {
                                      s.halt();
                                      checkRuntime(false, "boom %d", 1);
                                  }),
                      5),
             haltCmd()});
    m.step();
    m.step();
    try {
        m.step();
        FAIL() << "no exception";
    } catch (const ExceptionRuntime& e) {
        EXPECT_TRUE(e.span().valid);
        EXPECT_EQ(e.span().begin.line, 5);
        EXPECT_EQ(e.message(), "boom 1");
    }
    EXPECT_EQ(m.getPc(), 3);
    EXPECT_EQ(m.starts, 1);
    EXPECT_EQ(m.ends, 0);
}

TEST(StackmachineStep, RuntimeErrorWithSpanKeepsIt) {
    Stackmachine m;
    load(m, {withSpan(new TestCmd("Fail",
                                  [](Stackmachine&) {
                                      throw ExceptionRuntime("own", spanAt(11));
                                  }),
                      5)});
    try {
        m.step();
        FAIL() << "no exception";
    } catch (const ExceptionRuntime& e) {
        EXPECT_EQ(e.span().begin.line, 11);
    }
}

TEST(StackmachineStep, OtherErrorsPassUnchanged) {
    Stackmachine m;
    load(m, {withSpan(new TestCmd("Fail", [](Stackmachine&) { checkSemantic(false, "sem"); }), 5)});
    try {
        m.step();
        FAIL() << "no exception";
    } catch (const ExceptionSemantic& e) {
        EXPECT_FALSE(e.span().valid);
        EXPECT_STREQ(e.what(), "?: sem");
    }
    EXPECT_EQ(m.getPc(), 1);
}

TEST(StackmachineStep, StartHookOnceEvenWhenItemZeroIsALabel) {
    HookMachine m;
    load(m, {new Label(), new TestCmd("A"), new TestCmd("B")});
    m.step();
    EXPECT_EQ(m.starts, 1);
    m.step();
    m.step();
    EXPECT_EQ(m.starts, 1);
    EXPECT_EQ(m.getPc(), 3);
    m.reset();
    m.step();
    EXPECT_EQ(m.starts, 2);
}

TEST(StackmachineStep, HaltRunsTheEndHookInItsStepOnce) {
    HookMachine m;
    int executedAfter = 0;
    load(m, {new TestCmd("A"), haltCmd(),
             new TestCmd("B", [&executedAfter](Stackmachine&) { ++executedAfter; }), haltCmd()});
    m.step();
    EXPECT_TRUE(m.isRunning());
    m.step();
    EXPECT_FALSE(m.isRunning());
    EXPECT_EQ(m.ends, 1);
    m.step();
    m.step();
    EXPECT_EQ(m.ends, 1);
    EXPECT_EQ(executedAfter, 1);
}

TEST(StackmachineStep, RunGoesPastAnEarlyHaltAndCounts) {
    HookMachine m;
    int executedAfter = 0;
    load(m, {new TestCmd("A"), haltCmd(),
             new TestCmd("B", [&executedAfter](Stackmachine&) { ++executedAfter; }), haltCmd()});
    m.stepCount = 99;
    m.run();
    EXPECT_EQ(executedAfter, 1);
    EXPECT_EQ(m.getPc(), 4);
    EXPECT_EQ(m.stepCount, 4);
    EXPECT_EQ(m.ends, 1);
    EXPECT_FALSE(m.isRunning());
}

TEST(StackmachineStep, LoadResetUnloadAndJumpToEnd) {
    Stackmachine m;
    load(m, {new TestCmd("A", [](Stackmachine& s) { s.pushU64(1); }), haltCmd(), haltCmd()});
    EXPECT_TRUE(m.programLoaded);
    m.setWaitEnabled(false);
    m.trace = false;
    m.step();
    m.step();
    m.setSections(1, 2);
    m.decWaitCounter(3);
    m.reset();
    EXPECT_TRUE(m.programLoaded);   // kept with the program
    EXPECT_EQ(m.program.size(), 3); // kept
    EXPECT_FALSE(m.trace);          // kept
    EXPECT_FALSE(m.isBlocked());    // waitEnabled kept (off)
    EXPECT_EQ(m.getWaitCounter(3), 1);
    EXPECT_EQ(m.getPc(), 0);
    EXPECT_EQ(m.getSp(), kBase);
    EXPECT_TRUE(m.isRunning());
    EXPECT_EQ(m.sectionHigh, 0u);
    m.step();
    m.setFp(kBase + 1);
    m.jumpToEnd();
    EXPECT_EQ(m.getPc(), 2);
    EXPECT_EQ(m.getSp(), kBase);
    EXPECT_EQ(m.getFp(), kBase);
    m.unload();
    EXPECT_FALSE(m.programLoaded);
    EXPECT_EQ(m.program.size(), 0);
    EXPECT_EQ(m.getPc(), 0);
}

TEST(StackmachineStep, CurrentSpanIsTheItemBeingExecuted) {
    Stackmachine m;
    SourceSpan seen;
    load(m, {new TestCmd("A"),
             withSpan(new TestCmd("B", [&seen](Stackmachine& s) { seen = s.currentSpan(); }), 8)});
    EXPECT_FALSE(m.currentSpan().valid);
    m.step();
    m.step();
    EXPECT_EQ(seen.begin.line, 8);
}

// ---- sections and wait counters ------------------------------------------------------

TEST(StackmachineSections, RangeChecks) {
    Stackmachine m;
    EXPECT_EQ(runtimeMessage([&] { m.setSections(5, 3); }),
              "?: Invalid range of sections (5..3)");
    m.setSections(1, 7);
    EXPECT_EQ(runtimeMessage([&] { m.setSections(2, 6); }),
              "?: Upper limit of section must rise monotonic, but drops from 7 to 6");
    EXPECT_EQ(m.sectionLow, 1u);
    EXPECT_EQ(m.sectionHigh, 7u);
    m.setSections(7, 7);
    m.setSections(0, 9);
    EXPECT_EQ(m.sectionLow, 0u);
    EXPECT_EQ(m.sectionHigh, 9u);
    m.reset();
    m.setSections(2, 6);
    EXPECT_EQ(m.sectionHigh, 6u);
    EXPECT_EQ(runtimeMessage([&] { m.setSections(~0ull, 1); }),
              "?: Invalid range of sections (18446744073709551615..1)");
}

TEST(StackmachineWait, CountersBlock) {
    Stackmachine m;
    m.decWaitCounter(2);
    m.decWaitCounter(2);
    EXPECT_TRUE(m.isBlocked());
    EXPECT_EQ(m.getWaitCounter(2), -1);
    m.incWaitCounter(2);
    EXPECT_TRUE(m.isBlocked());
    m.incWaitCounter(2);
    EXPECT_FALSE(m.isBlocked());
    m.decWaitCounter(15);
    EXPECT_TRUE(m.isBlocked());
    m.setWaitEnabled(false);
    EXPECT_FALSE(m.isBlocked());
    m.setWaitEnabled(true);
    EXPECT_TRUE(m.isBlocked());
}

// ---- bounds checks -------------------------------------------------------------------

TEST(StackmachineBounds, MemoryAndStackAndPcAndCounters) {
    Stackmachine m;
    EXPECT_EQ(runtimeMessage([&] { m.loadU64(0x300000); }),
              "?: Invalid memory access at address 0x300000");
    EXPECT_EQ(runtimeMessage([&] { m.storeU64(-1, 0); }),
              "?: Invalid memory access at address 0xffffffffffffffff");
    EXPECT_EQ(runtimeMessage([&] { m.loadU64(0x7FFFFFFF); }),
              "?: Invalid memory access at address 0x7fffffff");
    EXPECT_EQ(runtimeMessage([&] { m.loadU64(0x80000000); }),
              "?: Invalid memory access at address 0x80000000"); // no shared area bound
    EXPECT_EQ(runtimeMessage([&] { m.copy(0x1FFFFF, kBase, 2); }),
              "?: Invalid memory access at address 0x200000");
    EXPECT_EQ(runtimeMessage([&] { m.copy(0x200000, -1, 1); }),
              "?: Invalid memory access at address 0x200000"); // the destination is checked first
    EXPECT_EQ(runtimeMessage([&] { m.copy(kBase, -1, 1); }),
              "?: Invalid memory access at address 0xffffffffffffffff");
    m.loadU64(0x1FFFFF);
    m.loadU64(0);

    std::vector<double> shared(3, 0.0);
    m.setSharedArea(shared.data(), 3, {});
    m.loadF64(0x80000002);
    EXPECT_EQ(runtimeMessage([&] { m.loadF64(0x80000003); }),
              "?: Invalid memory access at address 0x80000003");
    EXPECT_EQ(runtimeMessage([&] { m.copy(100, 0x80000001, 3); }),
              "?: Invalid memory access at address 0x80000003");

    EXPECT_EQ(runtimeMessage([&] { m.popU64(); }), "?: Stack underflow");
    EXPECT_EQ(m.getSp(), kBase);
    m.setSp(0x200000);
    EXPECT_EQ(runtimeMessage([&] { m.pushU64(1); }), "?: Stack overflow");
    EXPECT_EQ(m.getSp(), 0x200000);
    m.popU64(); // the last stack cell

    m.reset();
    EXPECT_EQ(runtimeMessage([&] { m.step(); }), "?: Program counter 0 outside the program");
    m.jumpToEnd();
    EXPECT_EQ(runtimeMessage([&] { m.step(); }), "?: Program counter -1 outside the program");

    EXPECT_EQ(runtimeMessage([&] { m.incWaitCounter(16); }), "?: Invalid wait counter 16");
    EXPECT_EQ(runtimeMessage([&] { m.decWaitCounter(-1); }), "?: Invalid wait counter -1");
    EXPECT_EQ(runtimeMessage([&] { m.getWaitCounter(99); }), "?: Invalid wait counter 99");
}

// sp stays in [stack base, stack end]: a move outside is refused and sp stays where it was.
TEST(StackmachineBounds, SpStaysInTheStackRegion) {
    constexpr int64_t kEnd = Stackmachine::kStackEnd;
    struct Case {
        const char* what;
        int64_t start; // sp before
        bool useSet;   // setSp(value) or addSp(value)
        int64_t value;
        const char* expected; // "" accepted
    };
    const Case cases[] = {
        {"set base", kBase + 4, true, kBase, ""},
        {"set end", kBase, true, kEnd, ""},
        {"set below", kBase + 4, true, kBase - 1, "?: Stack underflow"},
        {"set global cell", kBase, true, 20, "?: Stack underflow"},
        {"set negative", kBase, true, -5, "?: Stack underflow"},
        {"set above", kBase, true, kEnd + 1, "?: Stack overflow"},
        {"set shared area", kBase, true, 0x80000000, "?: Stack overflow"},
        {"add down to base", kBase + 3, false, -3, ""},
        {"add up to end", kEnd - 3, false, 3, ""},
        {"add below", kBase + 2, false, -3, "?: Stack underflow"},
        {"add far below", kBase, false, -0x100001, "?: Stack underflow"},
        {"add above", kEnd - 2, false, 3, "?: Stack overflow"},
        {"add far above", kBase, false, 0x7FFFFFFF, "?: Stack overflow"},
    };
    for (const Case& c : cases) {
        Stackmachine m;
        m.setSp(c.start);
        const std::string message = runtimeMessage([&] {
            if (c.useSet)
                m.setSp(c.value);
            else
                m.addSp(c.value);
        });
        if (*c.expected == 0) {
            EXPECT_EQ(message, "no exception") << c.what;
            EXPECT_EQ(m.getSp(), c.useSet ? c.value : c.start + c.value) << c.what;
        } else {
            EXPECT_EQ(message, c.expected) << c.what;
            EXPECT_EQ(m.getSp(), c.start) << c.what;
        }
    }
}

TEST(StackmachineBounds, ErrorInsideAStepGetsTheSpan) {
    Stackmachine m;
    load(m, {withSpan(new TestCmd("Pop", [](Stackmachine& s) { s.popAddr(); }), 4)});
    try {
        m.step();
        FAIL() << "no exception";
    } catch (const ExceptionRuntime& e) {
        EXPECT_EQ(e.message(), "Stack underflow");
        EXPECT_EQ(e.span().begin.line, 4);
    }
}

} // namespace
} // namespace Karsto
