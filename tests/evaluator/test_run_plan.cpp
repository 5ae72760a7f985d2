// The run loop of a channel's interpreter against its steps: each program runs once
// through run, which carries out the common items inline and several items as one step,
// and once item by item through the base's run. Both must leave the same error text, step
// count, registers and every cell of the block, the dead stack cells included.

#include <gtest/gtest.h>

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
    for (int64_t address = 1; address < 4096; ++address)
        ASSERT_EQ(planned.loadU64(address), stepped.loadU64(address)) << "global cell " << address;
    for (int64_t address = Stackmachine::kStackBase; address < Stackmachine::kStackBase + stackCells; ++address)
        ASSERT_EQ(planned.loadU64(address), stepped.loadU64(address)) << "stack cell 0x" << std::hex << address;
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

} // namespace
} // namespace Karsto::test
