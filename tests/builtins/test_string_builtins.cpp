// len, mid, left, right and concat through the whole language: results, the order in
// which right evaluates its arguments, the code of right, and the refusals with their
// exact messages.

#include <string>

#include <gtest/gtest.h>

#include "call_cases.h"
#include "support/jyx_harness.h"

namespace Karsto {
namespace {

using test::ErrorCase;
using test::OutputCase;

constexpr const char* kStringDeclarations =
    "VAR txt : STRING[8] := 'NCPROG12'; p : STRING[20] := 'abc'; w : WSTRING[10];"
    " big : STRING[300]; ch : CHAR := 'c'; wc : WCHAR; n : INT := 2; u : USINT := 1;"
    " r : LREAL; t : TIME; a150, b150 : STRING[150]; k : INT; END_VAR\n";

TEST(StringBuiltins, ResultsOfCalls) {
    const OutputCase cases[] = {
        {"print(len('hello'), ' ', len(''), ' ', len(STRING#'z'), ' ', len(txt), ' ', len(p));",
         "5 0 1 8 3"},
        {"w := \"wide\"; big := 'long'; print(len(w), ' ', len(big), ' ', len(p) + 1);", "4 4 4"},
        {"print(mid(txt, 3, 2), '/', right(txt, 3), '/', left(txt, 1), '/', len(txt));",
         "PR/G12/N/8"},
        {"print(mid('abcdef', 2, 3), '|', mid('abc', 4, 0), '|', mid(p, n, u), '|');", "bcd||b|"},
        {"print(left('abc', 2), '|', left('abc', 0), '|', left(p, n), '|');", "ab||ab|"},
        {"print(right('abcdef', 2), '|', right('abc', 3), '|', right('abc', 0), '|');", "ef|abc||"},
        {"w := \"wide\"; print(right(w, 2), ' ', left(w, 1), ' ', mid(w, 2, 2));", "de w id"},
        {"big := 'a long text'; print(right(big, 4), ' ', mid(big, 3, 4));", "text long"},
        {"print(concat('x', 'yz', 'w'), ' ', concat('ab', 'c', 'de'), ' ', concat(p));",
         "xyzw abcde abc"},
        {"wc := \"v\"; w := \"wx\"; print(concat(wc, w, \"yz\"), ' ', concat(ch, 'at'));",
         "vwxyz cat"},
        // Results are default strings: they nest.
        {"print(len(concat(txt, txt)), ' ', right(left(txt, 6), 4), ' ', len(mid(p, 1, 2)));",
         "16 PROG 2"},
    };
    test::expectOutputs(kStringDeclarations, cases);
}

// Two strings of 150 characters join to the first 255.
TEST(StringBuiltins, ConcatCutsAt255Characters) {
    const OutputCase cases[] = {
        {"FOR k := 1 TO 150 DO a150 := concat(a150, 'a'); b150 := concat(b150, 'b'); END_FOR;"
         " p := right(concat(a150, b150), 2);"
         " print(len(a150), ' ', len(concat(a150, b150)), ' ', p, ' ', len(concat(b150, 'x')));",
         "150 255 bb 151"},
    };
    test::expectOutputs(kStringDeclarations, cases);
}

TEST(StringBuiltins, RightEvaluatesTheLengthFirst) {
    const OutputCase cases[] = {
        {"print(right(f(), g()));", "gfxt"},
    };
    test::expectOutputs("FUNCTION f : STRING print('f'); f := 'text'; END_FUNCTION\n"
                        "FUNCTION g : INT print('g'); g := 2; END_FUNCTION\n",
                        cases);
}

TEST(StringBuiltins, RefusedCalls) {
    const ErrorCase cases[] = {
        {"print(len());", "Call of function 'len' must be nonformal."},
        {"print(len(p, p));",
         "Number of actual parameters (2) and number of formal parameters (1) do not match in "
         "non-formal function call."},
        {"print(len('z'));", "Invalid implicit conversion from type 'char' to 'wstring[255]'."},
        {"print(len(n));", "Invalid implicit conversion from type 'int' to 'wstring[255]'."},
        {"print(mid(p, 1));",
         "Number of actual parameters (2) and number of formal parameters (3) do not match in "
         "non-formal function call."},
        {"print(left(ch, 1));", "First parameter must be of type string or wstring."},
        {"print(right(wc, 1));", "First parameter must be of type string or wstring."},
        {"print(mid(n, 1, 1));", "First parameter must be of type string or wstring."},
        {"print(left(txt, 1.0));", "Expected integer, but '<real literal>' is given."},
        {"print(right(txt, r));", "Expected integer, but 'lreal' is given."},
        {"print(mid(txt, T#1s, 1));", "Invalid cast from 'time' to '<addr>'."},
        {"print(left(txt, t));", "Invalid cast from 'time' to '<addr>'."},
        // Both are tested before any code: the length's kind fails before the position's
        // cast.
        {"print(mid(txt, t, 1.5));", "Expected integer, but '<real literal>' is given."},
        {"print(mid(txt, 'a', 1.5));", "Expected integer, but 'char' is given."},
        {"print(concat());", "Call of function 'concat' must be nonformal."},
        {"print(concat(p, w));", "Parameters must all be of type string."},
        {"print(concat(p, wc));", "Parameters must all be of type string."},
        {"print(concat(w, p));", "Parameters must all be of type wstring."},
        {"print(concat(wc, ch));", "Parameters must all be of type wstring."},
        {"print(concat(2, 'a'));", "Parameter must be of type string or wstring char or wchar."},
        {"print(concat(big));", "Parameter must be of type string or wstring char or wchar."},
        {"print(concat(p, big));", "Parameters must all be of type string."},
    };
    test::expectCompileErrors(kStringDeclarations, cases);
}

TEST(StringBuiltins, PositionsOutsideTheStringStop) {
    const ErrorCase cases[] = {
        {"print(mid(txt, 8, 2));", "Out of bounds in function 'Mid'."},
        {"print(mid('abc', 0, 1));", "Out of bounds in function 'Mid'."},
        {"print(mid('abc', 2, -1));", "Out of bounds in function 'Mid'."},
        {"print(left('abc', 4));", "Out of bounds in function 'Mid'."},
        {"print(right('ab', 3));", "Out of bounds in function 'Mid'."},
    };
    test::expectRunErrors(kStringDeclarations, cases);
}

// right has no instruction of its own: Mid at position n - L + 1, found with copies of
// L that lie under the string, which then moves down over L.
TEST(StringBuiltins, CodeOfRight) {
    test::compiledInSequence(kStringDeclarations, "p := right(p, n);",
                             {"Ld 1", "CastIntLint ", "ConstLint 10", "Ld 21", "CastStr 20 255",
                              "Dup 256", "Len", "ConstLint 1", "AddLint ", "Copy -258 1",
                              "SubLint ", "Copy -258 1", "Mid", "CopyTo -256 -257 256", "SpAdd -1",
                              "CastStr 255 20"});
}

} // namespace
} // namespace Karsto
