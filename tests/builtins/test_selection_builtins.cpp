// sel, mux, min, max and limit through the whole language: results and evaluation
// order, the code a call compiles to, and the refusals with their exact messages.

#include <string>

#include <gtest/gtest.h>

#include "call_cases.h"
#include "support/jyx_harness.h"

namespace Karsto {
namespace {

using test::ErrorCase;
using test::OutputCase;

constexpr const char* kSelectionDeclarations =
    "VAR b : BOOL; i : INT := 2; x : DINT := 7; r : LREAL := 0.5; k : LINT; lt : LTIME;"
    " d1 : DATE; t1 : TIME := T#3s; t2 : TIME := T#1s;"
    " p : STRING[20] := 'pq'; q : STRING[4] := 'xyz'; END_VAR\n";

TEST(SelectionBuiltins, ResultsOfCalls) {
    const OutputCase cases[] = {
        {"print(sel(FALSE, 10, 20), ' ', sel(TRUE, 10, 20), ' ', sel(1, 10, 20));", "10 20 20"},
        {"b := TRUE; print(sel(b, i, 2.5), ' ', sel(b, p, q), ' ', sel(NOT b, p, q));",
         "2.500000 xyz pq"},
        {"print(mux(0, 10, 20, 30), ' ', mux(2, 10, 20, 30), ' ', mux(i, 1, 2.5, x));",
         "10 30 7.000000"},
        {"k := 1; print(mux(k, p, q, 'c'), ' ', mux(UINT#2, p, q, 'c'), ' ', mux(0, r));",
         "xyz c 0.500000"},
        {"print(min(3), ' ', min(4, 1, 3), ' ', max(4, 7), ' ', max(1, 2.5), ' ', min(3, 2.5));",
         "3 1 7 2.500000 2.500000"},
        {"print(max(i, x, -3), ' ', min(t1, t2) = t2, ' ', max(SINT#-5, SINT#-7));", "7 1 -5"},
        // Of equal values the later argument is kept: the sign of a zero tells which.
        {"r := 0.0; print(atan2(max(r, r * -1.0), -1.0) < 0.0, ' ',"
         " atan2(min(r * -1.0, r), -1.0) > 0.0, ' ', atan2(r * -1.0, -1.0) < 0.0);",
         "1 1 1"},
        {"print(limit(10, 2, 6), ' ', limit(5, 7, 3), ' ', limit(1, 9, 4), ' ', limit(0, 5, 10));",
         "6 3 4 5"},
        {"print(limit(x, i, 5), ' ', limit(i, SINT#1, 100), ' ', limit(LREAL#0.0, r, 1.0));",
         "5 2 0.500000"},
    };
    test::expectOutputs(kSelectionDeclarations, cases);
}

// Inputs first, in argument order, the selector last; every argument exactly once.
TEST(SelectionBuiltins, ArgumentsRunInputsFirst) {
    const std::string functions = "FUNCTION ps : BOOL print('s'); ps := TRUE; END_FUNCTION\n"
                                  "FUNCTION pk : INT print('k'); pk := 1; END_FUNCTION\n"
                                  "FUNCTION pa : INT print('a'); pa := 10; END_FUNCTION\n"
                                  "FUNCTION pb : INT print('b'); pb := 20; END_FUNCTION\n";
    const OutputCase cases[] = {
        {"print(sel(ps(), pa(), pb()));", "abs20"},
        {"print(mux(pk(), pa(), pb()));", "abk20"},
        {"print(min(pb(), pa()), limit(pa(), pb(), pa()));", "ba10aba10"},
    };
    test::expectOutputs(functions, cases);
}

TEST(SelectionBuiltins, RefusedCalls) {
    const ErrorCase cases[] = {
        {"print(sel());", "Call of function 'sel' must be nonformal."},
        {"print(sel(b, 1));",
         "Number of actual parameters (2) and number of formal parameters (3) do not match in "
         "non-formal function call."},
        {"print(sel(i, 1, 2));", "Invalid implicit conversion from type 'int' to 'bool'."},
        {"print(sel(b, x, d1));", "Types 'dint' and 'date' can not be combined"},
        {"print(sel(b, i, d1));", "Types 'int' and 'date' can not be combined"},
        {"print(mux());", "Call of function 'mux' must be nonformal."},
        {"print(mux(k));", "Number of actual parameters (1) must be at least 2."},
        {"print(mux(k, 1, t1));", "Types '<integer literal>' and 'time' can not be combined"},
        {"print(mux(r, 1, 2));", "Expected integer-type for selector, but 'lreal' is given."},
        {"print(mux(b, 1, 2));", "Expected integer-type for selector, but 'bool' is given."},
        {"print(mux(lt, 1, 2));", "Invalid cast from 'ltime' to '<addr>'."},
        {"print(mux(t1, 1, 2));", "Invalid cast from 'time' to '<addr>'."},
        {"print(max());", "Call of function 'max' must be nonformal."},
        {"print(min(a := 1));", "Call of function 'min' must be nonformal."},
        {"print(min(i, t1));", "Types 'int' and 'time' can not be combined"},
        {"print(limit(0, x, 10));",
         "Invalid implicit conversion from type 'dint' to '<integer literal>'."},
        {"print(limit(i, 1));",
         "Number of actual parameters (2) and number of formal parameters (3) do not match in "
         "non-formal function call."},
    };
    test::expectCompileErrors(kSelectionDeclarations, cases);
}

TEST(SelectionBuiltins, SelectorOutOfRangeStops) {
    const ErrorCase cases[] = {
        {"print(mux(-1, 10, 20));", "Out of bounds. -1 exceeds range 0..1."},
        {"print(mux(3, 10, 20, 30));", "Out of bounds. 3 exceeds range 0..2."},
        {"k := 1; print(mux(k, p));", "Out of bounds. 1 exceeds range 0..0."},
    };
    test::expectRunErrors(kSelectionDeclarations, cases);
}

// The variables' addresses are their declaration order: b 1, i 2, x 3, r 4, k 5, p 10, q 31.
TEST(SelectionBuiltins, CodeOfCalls) {
    using test::compiledInSequence;
    // The count is not printed; the run tests show the stack it leaves.
    compiledInSequence(kSelectionDeclarations, "print(max(4, 7));",
                       {"ConstLiti 4", "ConstLiti 7", "MaxLiti ", "PrintLiti "});
    // The selector converted to BOOL, then to an index: FALSE picks group 0.
    compiledInSequence(kSelectionDeclarations, "print(sel(b, x, r));",
                       {"ConstLint 3", "Ld 1", "CastDintLreal ", "ConstLint 4", "Ld 1",
                        "ConstLint 1", "Ld 1", "CastBoolLint ", "Mux 1 2", "PrintLreal "});
    // The inputs first; the check leaves the selector for Mux to pop.
    compiledInSequence(kSelectionDeclarations, "print(mux(i, p, q, 'c'));",
                       {"ConstLint 10", "Ld 21", "ConstLint 31", "Ld 5", "CastStr 4 20",
                        "ConstChar 99", "CastCharStr 20", "ConstLint 2", "Ld 1", "CastIntLint ",
                        "AssertRange 0 2", "Mux 21 3"});
    // MN as it is, IN and MX converted to its type.
    compiledInSequence(kSelectionDeclarations, "print(limit(x, i, 5));",
                       {"ConstLint 3", "Ld 1", "ConstLint 2", "Ld 1", "CastIntDint ", "MaxDint ",
                        "ConstLiti 5", "CastLitiDint ", "MinDint "});
}

} // namespace
} // namespace Karsto
