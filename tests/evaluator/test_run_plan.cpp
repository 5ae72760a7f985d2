// The run loop of a channel's interpreter against its steps: each program runs once
// through run, which carries out the common items inline and several items as one step,
// and once item by item through the base's run. Both must leave the same error text, step
// count, registers and every cell of the block, the dead stack cells included. The
// bounded runs (runSteps) go the same way in pieces, each piece compared with the steps
// of a lone task's cycle taken one at a time.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "core/cmd_flow.h"
#include "core/cmd_stack.h"
#include "core/code.h"
#include "core/exception.h"
#include "core/stackmachine_interpreter.h"
#include "support/jyx_harness.h"

namespace Karsto::test {
namespace {

struct PlanCase {
    std::string name;
    std::string source;
    const char* error = nullptr; // part of the run-time error's text, or null
};

// gtest prints a failing case by its name.
void PrintTo(const PlanCase& c, std::ostream* out) { *out << c.name; }

// The error text of a run, empty when it ran to its end.
template <class Run>
std::string planErrorOf(Run&& run) {
    try {
        run();
    } catch (const ExceptionKarsto& error) {
        return error.what();
    }
    return "";
}

// The global cells the programs use and the stack cells up to stackCells above the base.
void expectSameCells(StackmachineInterpreter& planned, StackmachineInterpreter& stepped, int64_t stackCells) {
    for (int64_t address = 1; address < 4096; ++address)
        ASSERT_EQ(planned.loadU64(address), stepped.loadU64(address)) << "global cell " << address;
    for (int64_t address = Stackmachine::kStackBase; address < Stackmachine::kStackBase + stackCells; ++address)
        ASSERT_EQ(planned.loadU64(address), stepped.loadU64(address)) << "stack cell 0x" << std::hex << address;
}

// Loads the same program into both machines, runs one through run and the other item by
// item, and compares what they leave.
// The global cells the programs use and the stack cells up to stackCells above the base
// are compared.
template <class Load>
void expectSameAsSteps(Load&& load, const char* error, int64_t stackCells = 4096) {
    FakeProcessor processor;
    StackmachineInterpreter stepped(&processor);
    load(stepped);
    const std::string steppedError = planErrorOf([&] { stepped.Stackmachine::run(); });
    StackmachineInterpreter planned(&processor);
    load(planned);
    const std::string plannedError = planErrorOf([&] { planned.run(); });

    if (error != nullptr) {
        EXPECT_NE(steppedError.find(error), std::string::npos) << steppedError;
    } else {
        EXPECT_EQ(steppedError, "");
    }
    EXPECT_EQ(plannedError, steppedError);
    EXPECT_EQ(planned.stepCount, stepped.stepCount);
    EXPECT_EQ(planned.getPc(), stepped.getPc());
    EXPECT_EQ(planned.getSp(), stepped.getSp());
    EXPECT_EQ(planned.getFp(), stepped.getFp());
    expectSameCells(planned, stepped, stackCells);
}

class RunPlan : public ::testing::TestWithParam<PlanCase> {};

TEST_P(RunPlan, LeavesWhatTheStepsLeave) {
    const PlanCase& c = GetParam();
    const HarnessResult compiled = compileOnly(c.source);
    ASSERT_TRUE(compiled.compiled()) << compiled.errorText();
    expectSameAsSteps([&](Stackmachine& machine) { machine.loadProgram(compiled.linked()); }, c.error);
}

// A subroutine that calls itself until the stack is full: the call that no longer fits
// fails with "Stack overflow" after as many steps as stepped.
TEST(RunPlanCalls, EndlessRecursionOverflowsTheStack) {
    expectSameAsSteps(
        [](Stackmachine& machine) {
            auto* entry = new Label();
            loadItems(machine, {new CmdJumpSub(entry), new CmdHalt(), entry, new CmdSpAdd(1), new CmdJumpSub(entry),
                                new CmdReturn()});
        },
        "Stack overflow", Stackmachine::kStackEnd - Stackmachine::kStackBase);
}

const PlanCase kPlanCases[] = {
    // Wrapping integer arithmetic in each width, with constants, globals and stack
    // values as the right operand, stored and kept on the stack.
    {"integers",
     "{VAR ia, ib, ic : INT; da, db, dc : DINT; la, lb, lc : LINT; ii : DINT; END_VAR\n"
     "ia := 32000; ib := 1000; da := 2147483000; db := 1000; la := 9223372036854775000; lb := 1000;\n"
     "WHILE ii < 5 DO\n"
     "  ic := ia + ib; ic := ia - ib * 3; ic := (ia - ib) * (ib + 7);\n"
     "  dc := da + db; dc := da - db * 3; dc := (da - db) * (db + 7);\n"
     "  lc := la + lb; lc := la - lb * 3; lc := (la - lb) * (lb + 7);\n"
     "  ia := ia + 7; da := da * 3; la := la - 7;\n"
     "  ii := ii + 1;\n"
     "END_WHILE}",
     nullptr},
    // REAL and LREAL arithmetic and every relation, stored and as conditions.
    {"reals",
     "{VAR ra, rb : REAL; xa, xb : LREAL; b1, b2, b3, b4, b5, b6 : BOOL; ii : INT; nn : DINT; END_VAR\n"
     "ra := 1.5; rb := 0.1; xa := 1.5; xb := 0.1;\n"
     "FOR ii := 1 TO 4 DO\n"
     "  ra := ra * rb + 0.25; xa := xa * xb + 0.25; rb := rb - ra; xb := xb - xa;\n"
     "  b1 := ra < rb; b2 := ra <= rb; b3 := xa > xb; b4 := xa >= xb; b5 := ra = rb; b6 := xa <> xb;\n"
     "  IF xa < xb THEN nn := nn + 1; END_IF\n"
     "  IF ra >= rb THEN nn := nn + 10; END_IF\n"
     "  IF ra > rb AND xa <= xb THEN nn := nn + 20; END_IF\n"
     "  IF ii = 2 THEN nn := nn + 100; END_IF\n"
     "  IF ii <> 3 THEN nn := nn + 1000; END_IF\n"
     "END_FOR}",
     nullptr},
    // Integer relations of each width, counting loops up and down.
    {"loops",
     "{VAR ii : INT; jj : LINT; kk : DINT; ss : LINT; bb : BOOL; END_VAR\n"
     "FOR ii := 10 TO 1 BY -3 DO ss := ss + ii; bb := ii > 4; END_FOR\n"
     "FOR jj := 5 TO 1 BY -1 DO ss := ss * 2 + jj; IF jj <= 2 THEN ss := ss + 1; END_IF END_FOR\n"
     "FOR kk := -3 TO 3 DO ss := ss - kk; IF kk <> 0 AND kk >= -1 THEN ss := ss + 100; END_IF END_FOR\n"
     "WHILE ss > 0 DO ss := ss - 1000; END_WHILE}",
     nullptr},
    // Elements indexed by a global, by an expression, in two dimensions, read and written.
    {"arrays",
     "{VAR aa : ARRAY [1..5] OF LREAL; bb : ARRAY [-2..2] OF DINT; mm : ARRAY [1..3, 1..2] OF DINT;\n"
     "  ii, jj : DINT; ss : LREAL; tt : DINT; END_VAR\n"
     "FOR ii := 1 TO 5 DO aa[ii] := ii * 0.5; bb[ii - 3] := ii * ii; END_FOR\n"
     "FOR ii := 1 TO 3 DO FOR jj := 1 TO 2 DO mm[ii, jj] := ii * 10 + jj; END_FOR END_FOR\n"
     "FOR ii := 1 TO 5 DO\n"
     "  ss := ss + aa[ii] + aa[6 - ii]; tt := tt + bb[ii - 3] + mm[(ii + 1) / 2, 1];\n"
     "END_FOR}",
     nullptr},
    // Calls with inputs and locals, one inside another.
    {"calls",
     "{FUNCTION twice : DINT\nVAR_INPUT nn : DINT; END_VAR\n  twice := nn + nn;\nEND_FUNCTION\n"
     "FUNCTION mix : LREAL\nVAR_INPUT ia : INT; xa : LREAL; END_VAR\nVAR kk : INT; END_VAR\n"
     "  kk := ia * 2; mix := xa * kk + twice(ia);\n"
     "END_FUNCTION\n"
     "VAR rr : DINT; yy : LREAL; ii : INT; END_VAR\n"
     "rr := twice(twice(12));\n"
     "FOR ii := 1 TO 6 DO yy := yy + mix(ii, 0.5); END_FOR}",
     nullptr},
    // A store, then a load of the same cells: one cell and a whole string.
    {"storeReload",
     "{VAR aa, bb : DINT; ss, tt : STRING; nn : DINT; END_VAR\n"
     "aa := 5; aa := aa + 1; bb := aa * 2; aa := bb; bb := aa;\n"
     "ss := 'abc'; nn := LEN(ss); tt := ss; ss := CONCAT(ss, tt); nn := LEN(ss) + nn;}",
     nullptr},
    // Strings cut to a smaller capacity and widened back, their lengths.
    {"strings",
     "{VAR sh : STRING[2]; ss : STRING; nn : DINT; END_VAR\n"
     "ss := 'abcdef'; sh := ss; ss := sh; nn := LEN(ss); sh := '';}",
     nullptr},
    // Concatenations of two and three strings that grow past the capacity and are cut.
    {"concat",
     "{VAR sa, sb : STRING; ii, nn : DINT; END_VAR\n"
     "sa := 'abc';\n"
     "FOR ii := 1 TO 12 DO sb := CONCAT(sa, 'xy'); sa := CONCAT(sb, sa, sb); nn := nn + LEN(sa); END_FOR}",
     nullptr},
    // Narrow constants pushed onto cells whose high bytes an LREAL left set: only the
    // constants' own bytes change.
    {"narrowPushes",
     "{VAR xa : LREAL; sa : STRING; nn : DINT; END_VAR\n"
     "xa := 3.0; IF xa * 2.5 > 100.0 THEN nn := 1; END_IF\nsa := 'ab';}",
     nullptr},
    // Loops whose first statement is a loop: a jump back lands on several labels, more
    // steps than the way on past the loop's end takes.
    {"nestedRepeats",
     "{VAR ii : INT; kk : LINT; dd : DINT; xx : LREAL; aa, bb : INT; END_VAR\n"
     "FOR ii := 1 TO 2 DO\n"
     "  REPEAT REPEAT REPEAT kk := kk + 1; UNTIL kk MOD 2 = 0 END_REPEAT; dd := dd + 1;\n"
     "    UNTIL kk MOD 3 = 0 END_REPEAT; UNTIL kk > 20 END_REPEAT;\n"
     "  REPEAT REPEAT REPEAT dd := dd + 1; UNTIL dd >= kk END_REPEAT; dd := dd + 2;\n"
     "    UNTIL dd > kk + 5 END_REPEAT; UNTIL dd > 50 END_REPEAT;\n"
     "  REPEAT REPEAT REPEAT xx := xx + 0.5; UNTIL xx > 1.0 * dd END_REPEAT; dd := dd + 1;\n"
     "    UNTIL xx >= 9.0 END_REPEAT; UNTIL xx > 99.0 END_REPEAT;\n"
     "  FOR aa := 1 TO 2 DO FOR bb := 3 TO 1 BY -1 DO kk := kk + aa * bb; END_FOR; END_FOR;\n"
     "  WHILE kk > 30 DO WHILE kk MOD 4 <> 0 DO kk := kk - 1; END_WHILE; kk := kk - 4; END_WHILE;\n"
     "END_FOR}",
     nullptr},
    // The errors of fused steps: each is the error of the item that fails.
    {"indexByGlobal",
     "{VAR aa : ARRAY [1..3] OF LREAL; ii : DINT; xx : LREAL; END_VAR\n"
     "FOR ii := 1 TO 4 DO\n  xx := xx + aa[ii];\nEND_FOR}",
     "Out of"},
    {"indexByExpression",
     "{VAR aa : ARRAY [1..3] OF DINT; ii, kk : DINT; END_VAR\n"
     "FOR ii := 1 TO 4 DO\n  aa[ii] := 5;\n  kk := kk + aa[ii + 1];\nEND_FOR}",
     "Out of"},
};

// Short programs that end right after one operation, so that the stack cells it wrote
// last are still there to compare: each width and format with each arithmetic operation
// and relation, its right operand a constant, a global or an expression, its result
// stored or branched on.
std::vector<PlanCase> tailCases() {
    const char* types[] = {"INT", "DINT", "LINT", "REAL", "LREAL"};
    const std::pair<const char*, const char*> operations[] = {{"add", "+"}, {"sub", "-"}, {"mul", "*"},
                                                              {"lt", "<"},  {"le", "<="}, {"gt", ">"},
                                                              {"ge", ">="}, {"eq", "="},  {"ne", "<>"}};
    const std::pair<const char*, const char*> operands[] = {
        {"Constant", "5"}, {"Global", "zz"}, {"Expression", "(zz - ww)"}};
    std::vector<PlanCase> cases;
    for (const char* type : types) {
        for (const auto& [operation, symbol] : operations) {
            const bool relation = std::string(operation).size() == 2;
            for (const auto& [operand, right] : operands) {
                const std::string head = std::string("{VAR xx, yy, zz, ww : ") + type +
                                         "; bb : BOOL; END_VAR\nyy := 7; zz := 3; ww := 2;\n";
                const std::string expression = std::string("yy ") + symbol + " " + right;
                const std::string name = std::string(type) + "_" + operation + "_" + operand;
                cases.push_back({name + "_Stored", head + (relation ? "bb := " : "xx := ") + expression + ";}"});
                if (relation)
                    cases.push_back({name + "_Branched", head + "IF " + expression + " THEN xx := 1; END_IF}"});
            }
        }
    }
    for (const PlanCase& c : kPlanCases) cases.push_back(c);
    return cases;
}

std::string planCaseName(const ::testing::TestParamInfo<PlanCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Programs, RunPlan, ::testing::ValuesIn(tailCases()), planCaseName);

// ---- bounded runs ------------------------------------------------------------------------

// The steps of a lone task's cycle taken one at a time: each while the machine runs, is
// not blocked and stop is clear, none after a step that moved the section bounds.
int64_t stepsOneByOne(StackmachineInterpreter& machine, int64_t limit, const std::atomic<bool>& stop) {
    const uint64_t low = machine.sectionLow;
    const uint64_t high = machine.sectionHigh;
    const int64_t first = machine.stepCount;
    while (machine.stepCount - first < limit && machine.isRunning() && !machine.isBlocked() && !stop.load()) {
        machine.step();
        if (machine.sectionLow != low || machine.sectionHigh != high) break;
    }
    return machine.stepCount - first;
}

// What one bounded call returned and left.
struct BoundedCall {
    int64_t steps = -1; // -1: it threw
    std::string error;
    int64_t stepCount = 0;
    int64_t gcodeCount = 0;
    int64_t pc = 0;
    int64_t sp = 0;
    int64_t fp = 0;
    uint64_t low = 0;
    uint64_t high = 0;
    bool running = false;
    bool blocked = false;
    bool operator==(const BoundedCall&) const = default;
};

std::ostream& operator<<(std::ostream& out, const BoundedCall& c) {
    return out << "steps " << c.steps << " error '" << c.error << "' count " << c.stepCount << " gcode "
               << c.gcodeCount << " pc " << c.pc << " sp 0x" << std::hex << c.sp << " fp 0x" << c.fp << std::dec
               << " sections " << c.low << ".." << c.high << (c.running ? " running" : "")
               << (c.blocked ? " blocked" : "");
}

// Calls advance with the limits in turn, the last one again and again, until the machine
// halts or fails; between two calls, as the cycle does, the requests are drained (stop
// cleared) and a blocked wait counter is released.
template <class Advance>
std::vector<BoundedCall> boundedCalls(StackmachineInterpreter& machine, std::atomic<bool>& stop,
                                      const std::vector<int64_t>& limits, Advance&& advance) {
    constexpr size_t kMaxCalls = 100'000;
    std::vector<BoundedCall> calls;
    for (size_t i = 0; i < kMaxCalls && machine.isRunning(); ++i) {
        BoundedCall call;
        call.error = planErrorOf([&] { call.steps = advance(limits[std::min(i, limits.size() - 1)]); });
        call.stepCount = machine.stepCount;
        call.gcodeCount = machine.gcodeCount;
        call.pc = machine.getPc();
        call.sp = machine.getSp();
        call.fp = machine.getFp();
        call.low = machine.sectionLow;
        call.high = machine.sectionHigh;
        call.running = machine.isRunning();
        call.blocked = machine.isBlocked();
        calls.push_back(call);
        if (!call.error.empty()) break;
        stop = false;
        for (int32_t counter = 0; counter < Stackmachine::kWaitCounters; ++counter)
            while (machine.getWaitCounter(counter) < 1) machine.incWaitCounter(counter);
    }
    return calls;
}

// What the processor of a machine does after recording its block of the given number
// (from 1): block the machine, set stop, move the sections, halt, fail.
using BlockHook = std::function<void(StackmachineInterpreter& machine, std::atomic<bool>& stop, int block)>;

// A machine with its own processor, whose blocks call the hook.
struct HookedMachine {
    explicit HookedMachine(const BlockHook& hook) {
        if (hook) processor.failWith = [this, hook] { hook(machine, stop, ++blocks); };
    }
    FakeProcessor processor;
    StackmachineInterpreter machine{&processor};
    std::atomic<bool> stop = false;
    int blocks = 0;
};

// Loads the same program into two machines and runs it in pieces of the given limits:
// one through runSteps (the plan built after planAfter steps), the other one step at a
// time. Every piece must end at the same step with the same state, and both must hand on
// the same blocks and leave the same cells.
template <class Load>
void expectBoundedSameAsSteps(Load&& load, const std::vector<int64_t>& limits, int64_t planAfter,
                              const BlockHook& hook = {}, int64_t stackCells = 4096) {
    HookedMachine planned(hook);
    HookedMachine stepped(hook);
    load(planned.machine);
    load(stepped.machine);
    planned.machine.planAfterSteps = planAfter;
    const std::vector<BoundedCall> plannedCalls =
        boundedCalls(planned.machine, planned.stop, limits,
                     [&](int64_t limit) { return planned.machine.runSteps(limit, planned.stop); });
    const std::vector<BoundedCall> steppedCalls =
        boundedCalls(stepped.machine, stepped.stop, limits,
                     [&](int64_t limit) { return stepsOneByOne(stepped.machine, limit, stepped.stop); });
    ASSERT_FALSE(steppedCalls.empty());
    for (size_t i = 0; i < std::min(plannedCalls.size(), steppedCalls.size()); ++i)
        ASSERT_EQ(plannedCalls[i], steppedCalls[i]) << "call " << i;
    ASSERT_EQ(plannedCalls.size(), steppedCalls.size());
    ASSERT_EQ(planned.processor.blocks.size(), stepped.processor.blocks.size());
    for (size_t i = 0; i < planned.processor.blocks.size(); ++i) {
        const FakeProcessor::Block& a = planned.processor.blocks[i];
        const FakeProcessor::Block& b = stepped.processor.blocks[i];
        ASSERT_EQ(blockText(a), blockText(b)) << "block " << i;
        ASSERT_EQ(a.span.toString(), b.span.toString()) << "block " << i;
    }
    EXPECT_EQ(planned.processor.starts, stepped.processor.starts);
    EXPECT_EQ(planned.processor.finishes, stepped.processor.finishes);
    expectSameCells(planned.machine, stepped.machine, stackCells);
}

// Limits that end pieces anywhere, inside fused steps too, and one as large as a cycle's.
const std::vector<int64_t> kShortLimits = {3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5, 8, 9, 7};
const std::vector<int64_t> kCycleLimits = {(1 << 14) - 1};

// Pieces of one length after a first piece of each length up to it: the pieces end at
// every step of every action (each takes fewer steps than that), where it may go on or
// jump, so an action that would run past the end is caught wherever it is.
TEST_P(RunPlan, BoundedRunsTakeTheSameSteps) {
    const PlanCase& c = GetParam();
    const HarnessResult compiled = compileOnly(c.source);
    ASSERT_TRUE(compiled.compiled()) << compiled.errorText();
    const auto load = [&](Stackmachine& machine) { machine.loadProgram(compiled.linked()); };
    constexpr int64_t kPiece = 13;
    for (int64_t first = 1; first <= kPiece; ++first) {
        SCOPED_TRACE("first piece " + std::to_string(first));
        expectBoundedSameAsSteps(load, {first, kPiece}, 0);
    }
    expectBoundedSameAsSteps(load, kCycleLimits, 7);
}

TEST(RunPlanBounded, EndlessRecursionOverflowsTheStack) {
    expectBoundedSameAsSteps(
        [](Stackmachine& machine) {
            auto* entry = new Label();
            loadItems(machine, {new CmdJumpSub(entry), new CmdHalt(), entry, new CmdSpAdd(1), new CmdJumpSub(entry),
                                new CmdReturn()});
        },
        {1000, 1, 77}, 0, {}, Stackmachine::kStackEnd - Stackmachine::kStackBase);
}

// Nested loops that emit about a hundred blocks with computed words, and call the native
// that sets the sections now and then.
const char* const kPocket = "{VAR layer, row, seg : DINT; x, y, z, stepX : LREAL; END_VAR\n"
                            "stepX := 50.0 / 4.0;}\n"
                            "G90 G17 G0 Z5\n"
                            "{FOR layer := 1 TO 3 DO\n"
                            "  z := -0.2 * DINT_TO_LREAL(layer); y := 0.0; }\n"
                            "G0 X0 Y0\n"
                            "G1 Z=z F300\n"
                            "{ FOR row := 0 TO 5 DO\n"
                            "    FOR seg := 1 TO 4 DO\n"
                            "      IF row MOD 2 = 0 THEN x := stepX * DINT_TO_LREAL(seg);\n"
                            "      ELSE x := 50.0 - stepX * DINT_TO_LREAL(seg); END_IF; }\n"
                            "G1 X=x Y=y F1200\n"
                            "{   END_FOR;\n"
                            "    IF row = 3 THEN section(DINT_TO_ULINT(layer * 10)); END_IF;\n"
                            "    IF row MOD 2 = 0 THEN }\n"
                            "G3 X=x Y=y+0.5 I0 J=0.25\n"
                            "{   ELSE }\n"
                            "G2 X=x Y=y+0.5 I0 J=0.25\n"
                            "{   END_IF;\n"
                            "    y := y + 0.5;\n"
                            "  END_FOR; }\n"
                            "G0 Z5\n"
                            "{END_FOR;}\n"
                            "M30\n";

TEST(RunPlanBounded, BlocksEndTheRunWhereTheyWouldEndTheSteps) {
    const HarnessResult compiled = compileOnly(kPocket);
    ASSERT_TRUE(compiled.compiled()) << compiled.errorText();
    const auto load = [&](Stackmachine& machine) { machine.loadProgram(compiled.linked()); };
    const struct {
        const char* name;
        BlockHook hook;
    } hooks[] = {
        {"plain", {}},
        {"blocks", [](StackmachineInterpreter& m, std::atomic<bool>&, int block) {
             if (block % 7 == 5) m.decWaitCounter(3);
         }},
        {"sets stop", [](StackmachineInterpreter&, std::atomic<bool>& stop, int block) {
             if (block % 5 == 2) stop = true;
         }},
        {"moves the sections", [](StackmachineInterpreter& m, std::atomic<bool>&, int block) {
             if (block == 9) m.setSections(3, 4);
             if (block == 12) m.setSections(3, 6);
             if (block == 13) m.setSections(6, 6);
         }},
        {"halts", [](StackmachineInterpreter& m, std::atomic<bool>&, int block) {
             if (block == 40) m.halt();
         }},
        {"fails", [](StackmachineInterpreter&, std::atomic<bool>&, int block) {
             checkRuntime(block != 33, "refused");
         }},
    };
    for (const auto& h : hooks) {
        for (const int64_t planAfter : {int64_t{0}, int64_t{40}, int64_t{-1}}) {
            SCOPED_TRACE(std::string(h.name) + ", plan after " + std::to_string(planAfter));
            expectBoundedSameAsSteps(load, kShortLimits, planAfter, h.hook);
            expectBoundedSameAsSteps(load, {100, 1, 2, 1000}, planAfter, h.hook);
            expectBoundedSameAsSteps(load, kCycleLimits, planAfter, h.hook);
        }
    }
}

// Traces switched on and off by a block: the lines are those of the steps, in order.
TEST(RunPlanBounded, TracesStepOneAtATime) {
    const HarnessResult compiled = compileOnly(kPocket);
    ASSERT_TRUE(compiled.compiled()) << compiled.errorText();
    const auto load = [&](Stackmachine& machine) { machine.loadProgram(compiled.linked()); };
    const BlockHook toggle = [](StackmachineInterpreter&, std::atomic<bool>&, int block) {
        if (block == 10 || block == 30) globalLog.setLevel(LogLevel::debugStackmachine, true);
        if (block == 20) globalLog.setLevel(LogLevel::debugStackmachine, false);
        if (block == 25) globalLog.setLevel(LogLevel::debugStackOp, true);
    };
    std::vector<std::string> lines[2];
    for (int run = 0; run < 2; ++run) {
        HookedMachine side(toggle);
        load(side.machine);
        side.machine.planAfterSteps = 0;
        LogCapture log({LogLevel::debugStackmachine, LogLevel::debugStackOp});
        globalLog.setLevel(LogLevel::debugStackmachine, false);
        globalLog.setLevel(LogLevel::debugStackOp, false);
        boundedCalls(side.machine, side.stop, {50, 7}, [&](int64_t limit) {
            return run == 0 ? side.machine.runSteps(limit, side.stop) : stepsOneByOne(side.machine, limit, side.stop);
        });
        lines[run] = log.lines;
    }
    EXPECT_GT(lines[1].size(), 100u);
    EXPECT_EQ(lines[0], lines[1]);
}

// The plan is built once the steps pay for it, kept across calls and dropped with the
// program; runs and bounded runs share it, each with its own handlers.
TEST(RunPlanBounded, PlanIsKeptForTheProgram) {
    const HarnessResult pocket = compileOnly(kPocket);
    ASSERT_TRUE(pocket.compiled()) << pocket.errorText();
    std::string plain;
    for (int i = 0; i < 300; ++i) plain += "G1 X" + std::to_string(i) + " Y2\n";
    const HarnessResult straight = compileOnly(plain);
    ASSERT_TRUE(straight.compiled()) << straight.errorText();

    FakeProcessor processor;
    const std::atomic<bool> stop = false;
    StackmachineInterpreter machine(&processor);
    machine.loadProgram(straight.linked());
    EXPECT_GT(machine.runSteps(1 << 20, stop), 1000);
    EXPECT_FALSE(machine.isRunning());
    EXPECT_FALSE(machine.hasPlan()); // every item ran once: not worth one

    machine.loadProgram(pocket.linked());
    machine.runSteps(100, stop);
    EXPECT_FALSE(machine.hasPlan());
    machine.runSteps(5000, stop);
    EXPECT_TRUE(machine.hasPlan());
    machine.reset();
    EXPECT_FALSE(machine.hasPlan());

    // A run, then bounded runs of the same plan, a bounded run, then a run.
    const auto runThenSteps = [&](Stackmachine& m) {
        m.loadProgram(pocket.linked());
        auto& interpreter = static_cast<StackmachineInterpreter&>(m);
        interpreter.run();
        const auto steps = interpreter.stepCount;
        interpreter.Stackmachine::reset();
        EXPECT_GT(steps, 1000);
    };
    expectBoundedSameAsSteps(runThenSteps, kShortLimits, 0);
    HookedMachine first({});
    HookedMachine second({});
    for (HookedMachine* side : {&first, &second}) side->machine.loadProgram(pocket.linked());
    first.machine.planAfterSteps = 0;
    first.machine.runSteps(3000, first.stop);
    EXPECT_TRUE(first.machine.hasPlan());
    const size_t blocksBefore = first.processor.blocks.size();
    first.machine.reset();
    first.machine.run();
    second.machine.Stackmachine::run();
    EXPECT_EQ(first.machine.stepCount, second.machine.stepCount);
    EXPECT_EQ(first.processor.blocks.size(), blocksBefore + second.processor.blocks.size());
    expectSameCells(first.machine, second.machine, 4096);

    // Another program of the same size after an unload: planned anew.
    machine.loadProgram(pocket.linked());
    machine.planAfterSteps = 0;
    machine.runSteps(500, stop);
    ASSERT_TRUE(machine.hasPlan());
    const HarnessResult other = compileOnly(std::string(kPocket).replace(std::string(kPocket).find("50.0 / 4.0"), 10, "60.0 / 3.0"));
    ASSERT_TRUE(other.compiled()) << other.errorText();
    expectBoundedSameAsSteps(
        [&](Stackmachine& m) {
            auto& interpreter = static_cast<StackmachineInterpreter&>(m);
            interpreter.loadProgram(pocket.linked());
            interpreter.planAfterSteps = 0;
            const std::atomic<bool> none = false;
            interpreter.runSteps(700, none);
            interpreter.loadProgram(other.linked());
            interpreter.stepCount = 0;
            interpreter.gcodeCount = 0;
        },
        kShortLimits, 0);
}

} // namespace
} // namespace Karsto::test
