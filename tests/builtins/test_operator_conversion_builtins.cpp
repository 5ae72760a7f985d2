// The operator, mathematical and conversion built-ins, compiled and run through the
// whole language: their results, the code a call compiles to, and their refusals with
// the exact messages.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "builtins/call_cases.h"
#include "builtins/conversion_builtins.h"
#include "builtins/operator_builtins.h"
#include "builtins/register_intrinsics.h"
#include "core/symbol_tables.h"
#include "core/type.h"
#include "support/jyx_harness.h"

namespace Karsto {
namespace {

using test::ErrorCase;
using test::OutputCase;

// The declarations every case may use.
constexpr const char* kDeclarations =
    "VAR b : BOOL; t1, t2 : TIME; i : INT; u : ULINT; l : LINT; x : DINT;"
    " p, q : STRING[20]; bt : BYTE := 16#81; w : WORD; r : LREAL := 1.5; END_VAR\n";

std::string program(const std::string& statements) {
    std::string text(kDeclarations);
    text.insert(0, 1, '{');
    text.append(statements).push_back('}');
    return text;
}

TEST(OperatorConversionBuiltins, ResultsOfCalls) {
    const OutputCase cases[] = {
        {"print(mul(2, 3, 4));", "24"},
        {"x := 5; print(add(x));", "5"},
        {"print(add(1, 2.5), ' ', add(1.5, 2.5));", "3.500000 4.000000"},
        {"print(div(-9, 4), ' ', mod(-9, 4), ' ', round(-LREAL#3.5), ' ', round(REAL#2.5));",
         "-2 -1 -4.000000 3.000000"},
        {"print(sub(10, 3), ' ', expt(2.0, 3.0), ' ', abs(INT#-4), ' ', neg(SINT#5));",
         "7 8.000000 4 -5"},
        {"print(or(BYTE#16#F0, BYTE#16#0F), ' ', and(TRUE, FALSE), ' ', xor(3, 5));",
         "ff 0 6"},
        {"print(inv(BYTE#16#0F), ' ', bcdencode(BYTE#25), ' ', bcddecode(WORD#16#0421));",
         "f0 25 1a5"},
        {"t1 := T#1s; t2 := T#2s; print(eq(t1, t2), ' ', lt(t1, t2), ' ', ge(2.5, 2));",
         "0 1 1"},
        {"print(shr(bt, 1), ' ', shl(bt, r), ' ', shl(w, 70), ' ', ror(WORD#16#0003, 17));",
         "40 4 0 8001"},
        {"print(atan2(0.0, -1.0), ' ', sqrt(2.25));", "3.141593 1.500000"},
        {"print(lreal_to_dint(-LREAL#7.5), ' ', lreal_trunc_dint(-LREAL#7.5), ' ',"
         " to_dint(LREAL#7.5), ' ', real_to_int(-REAL#0.5));",
         "-8 -7 8 -1"},
        {"print(int_to_bcd_word(1234), ' ', dint_to_bcd_dword(987654), ' ',"
         " word_bcd_to_int(16#0421));",
         "1234 987654 421"},
        {"print(trunc_int(-LREAL#2.7), ' ', trunc_int(REAL#2.7), ' ', to_bcd_word(INT#1234), ' ',"
         " bcd_to_int(BYTE#16#25), ' ', byte_bcd_to_int(16#25));",
         "-2 2 1234 25 25"},
        {"i := 7; print(int_to_real(SINT#-3), ' ', real_trunc_int(REAL#9.9), ' ', to_lint(i));",
         "-3.000000 9 7"},
        {"print(ADD(1, 1), ' ', Mul(2, 2));", "2 4"},
    };
    for (const OutputCase& c : cases) {
        test::HarnessResult result = test::compileAndRun(program(c.statements));
        EXPECT_TRUE(result.ok()) << c.statements << ": " << result.errorText();
        EXPECT_EQ(result.output, c.output) << c.statements;
        EXPECT_EQ(result.sp, test::kStackBottom) << c.statements;
    }
}

TEST(OperatorConversionBuiltins, RefusedCalls) {
    const ErrorCase cases[] = {
        {"mul();", "Call of function 'mul' must be nonformal."},
        {"print(abs(x := 1));", "Call of function 'abs' must be nonformal."},
        {"print(div(1, 2, 3));",
         "Number of actual parameters (3) and number of formal parameters (2) do not match in "
         "non-formal function call."},
        {"print(mul(b));", "Function 'mul' is not overloaded for type 'bool'."},
        {"t1 := add(t1, t2);", "Function 'add' is not overloaded for type 'time'."},
        {"t1 := div(t1, t2);", "Function 'div' is not overloaded for type 'time'"},
        {"print(sqrt(i));", "Function 'sqrt' is not overloaded for type 'int'."},
        {"print(sqrt(2));", "Function 'sqrt' is not overloaded for type '<integer literal>'."},
        {"print(add(u, l));", "Types 'ulint' and 'lint' can not be combined"},
        {"print(lt(p, q));", "Function 'lt' is not overloaded for type 'string[20]'."},
        {"print(shr(4, 1));", "Function 'shr' is not overloaded for type '<integer literal>'."},
        {"print(shl(bt, 1.5));", "Invalid cast from '<real literal>' to 'int'."},
        {"print(to_dint(2.5));", "Invalid cast from '<real literal>' to 'dint'."},
        {"print(trunc_dint(2.5));",
         "Function 'trunc_dint' is not overloaded for type '<real literal>'"},
        {"print(dint_to_real(l));", "Invalid implicit conversion from type 'lint' to 'dint'."},
        {"print(to_wstring(i));", "Invalid cast from 'int' to 'wstring[255]'."},
        {"print(bcd_to_dint(16#25));",
         "Function 'bcd_to_dint' is not overloaded for type '<integer literal>'"},
        {"print(lreal_to_dword(r));", "Undeclared Identifier 'lreal_to_dword'"},
        {"print(to_int(1, 2));",
         "Number of actual parameters (2) and number of formal parameters (1) do not match in "
         "non-formal function call."},
    };
    for (const ErrorCase& c : cases) {
        test::HarnessResult result = test::compileOnly(program(c.statements));
        ASSERT_TRUE(result.compileError.has_value()) << c.statements;
        EXPECT_EQ(result.compileError->message, c.message) << c.statements;
    }
}

TEST(OperatorConversionBuiltins, RunTimeStops) {
    const ErrorCase cases[] = {
        {"print(mod(5, 0));", "Modulo by zero"},
        {"print(shr(w, -2));", "Invalid negative shift-distance (-2)."},
    };
    for (const ErrorCase& c : cases) {
        test::HarnessResult result = test::compileAndRun(program(c.statements));
        ASSERT_TRUE(result.compiled()) << c.statements << ": " << result.errorText();
        ASSERT_TRUE(result.runError.has_value()) << c.statements;
        EXPECT_EQ(result.runError->message, c.message) << c.statements;
    }
}

// The listing of a compiled program, for the instructions a call compiles to.
std::string listingOf(const std::string& statements) {
    test::HarnessResult result = test::compileOnly(program(statements));
    EXPECT_TRUE(result.compiled()) << statements << ": " << result.errorText();
    return result.listing;
}

TEST(OperatorConversionBuiltins, CodeOfCalls) {
    EXPECT_NE(listingOf("print(add(1, 2.5));").find("AddReal "), std::string::npos);
    EXPECT_NE(listingOf("print(add(1.5, 2.5));").find("AddLitr "), std::string::npos);
    EXPECT_NE(listingOf("print(eq(t1, t2));").find("EqTime "), std::string::npos);
}

// The variadic fold uses the one table entry at every step: the same object twice.
TEST(OperatorConversionBuiltins, FoldSharesTheTableEntry) {
    test::prepareLanguageRuntime();
    SymbolTables tables;
    registerIntrinsics(tables);
    auto* mul = dynamic_cast<FunctionIntrinsicArithVariadic*>(tables.functions->lookup("mul"));
    ASSERT_NE(mul, nullptr);
    Code first = mul->overloadCode(typeIntegerLiteral);
    Code second = mul->overloadCode(typeIntegerLiteral);
    EXPECT_EQ(first.node(), second.node());
    EXPECT_FALSE(first.node()->asItem()->span().valid);
}

} // namespace
} // namespace Karsto
