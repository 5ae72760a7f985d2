// The date and time built-ins through the whole language: assembled counts, split
// fields, the weekday, the order in which outputs are stored, the empty spans of the
// instructions that cannot fail, and the refusals with their exact messages.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "builtins/register_intrinsics.h"
#include "call_cases.h"
#include "core/aparam_list.h"
#include "core/constant_factory.h"
#include "core/function.h"
#include "core/symbol_tables.h"
#include "core/type.h"
#include "support/jyx_harness.h"

namespace Karsto {
namespace {

using test::ErrorCase;
using test::OutputCase;

constexpr const char* kDateTimeDeclarations =
    "VAR dat : DATE; ld : LDATE; td : TOD; ltd : LTOD; dt1 : DT; ldt1 : LDT;"
    " yy, mo, dd, hh, mi, sc, msec : INT; big : LINT; lr : LREAL; x : REAL := 1.5; END_VAR\n";

TEST(DateTimeBuiltins, AssembledValues) {
    const OutputCase cases[] = {
        {"print(concat_date(2024, 2, 29), ' ', day_of_week(D#2024-03-06), ' ',"
         " concat_tod(23, 59, 59, 999));",
         "2024-02-29 (+0) 3 23:59:59.999000000"},
        {"print(concat_tod(25, 0, 0, 0), ' ', concat_dt(1970, 1, 1, 0, 0, 2, 250));",
         "25:00:00.000000000 1970-01-01-00:00:02.250000000"},
        {"dat := concat_date(1970, 1, 1); big := 0; print(dat = D#1970-01-01, ' ',"
         " concat_date(2000, 3, 1) = D#2000-03-01, ' ', concat_date(2021, 1, 0) = D#2020-12-31);",
         "1 1 1"},
        {"print(concat_date_tod(D#2020-01-01, TOD#12:00:00) = DT#2020-01-01-12:00:00, ' ',"
         " concat_date_ltod(LDATE#2020-01-01, LTOD#12:00:00) = LDT#2020-01-01-12:00:00);",
         "1 1"},
        {"print(concat_ltod(1, 2, 3, 4) = LTOD#01:02:03.004, ' ',"
         " concat_ldt(2024, 12, 11, 3, 5, 0, 1) = LDT#2024-12-11-03:05:00.001);",
         "1 1"},
        // Reals round half away from zero; bit strings and BOOL count as numbers.
        {"print(concat_tod(x, BYTE#16#2, TRUE, REAL#999.5) = TOD#02:02:02);", "1"},
        {"print(day_of_week(D#1970-01-01), ' ', day_of_week(D#1970-01-04), ' ',"
         " day_of_week(D#2026-12-11), ' ', day_of_week(D#2000-02-29) + INT#1);",
         "4 0 5 3"},
    };
    test::expectOutputs(kDateTimeDeclarations, cases);
}

// An impossible date is -1 s; counts before 1970 keep the calendar's truncation.
TEST(DateTimeBuiltins, ImpossibleDatesGiveMinusOneSecond) {
    for (const char* call :
         {"concat_date(2021, 13, 1)", "concat_date(1969, 12, 31)", "concat_date(2021, 0, 5)"}) {
        test::HarnessResult result = test::compileAndRun(
            test::callProgram(kDateTimeDeclarations, std::string("dat := ") + call + ";"));
        ASSERT_TRUE(result.ok()) << call << ": " << result.errorText();
        EXPECT_EQ(result.integer("dat"), -1'000'000'000) << call;
    }
    test::HarnessResult result = test::compileAndRun(
        test::callProgram(kDateTimeDeclarations, "dt1 := concat_dt(1969, 1, 1, 0, 0, 0, 500);"));
    ASSERT_TRUE(result.ok()) << result.errorText();
    EXPECT_EQ(result.integer("dt1"), -500'000'000);
}

TEST(DateTimeBuiltins, SplitFields) {
    const OutputCase cases[] = {
        {"split_date(D#2000-02-29, yy, mo, dd); print(yy, ' ', mo, ' ', dd);", "2000 2 29"},
        {"split_date(LDATE#2024-12-31, yy, mo, dd); print(yy, ' ', mo, ' ', dd);", "2024 12 31"},
        {"split_tod(TOD#08:05:03.007, hh, mi, sc, msec); print(hh, ' ', mi, ' ', sc, ' ', msec);",
         "8 5 3 7"},
        {"split_ltod(LTOD#13:45:30.250, hh, mi, sc, msec);"
         " print(hh, ' ', mi, ' ', sc, ' ', msec);",
         "13 45 30 250"},
        // The hour is taken within the day.
        {"split_tod(concat_tod(25, 0, 0, 0), hh, mi, sc, msec); print(hh, ' ', mi);", "1 0"},
        {"split_dt(DT#2024-03-06-13:45:30.999999999, yy, mo, dd, hh, mi, sc, msec);"
         " print(yy, '-', mo, '-', dd, ' ', hh, ':', mi, ':', sc, '.', msec);",
         "2024-3-6 13:45:30.999"},
        {"split_ldt(LDT#1999-12-31-23:59:58.5, yy, mo, dd, hh, mi, sc, msec);"
         " print(yy, '-', mo, '-', dd, ' ', hh, ':', mi, ':', sc, '.', msec);",
         "1999-12-31 23:59:58.500"},
        // Outputs of any type with a cast from LINT.
        {"split_date(D#2000-02-29, lr, big, x); print(lr, ' ', big, ' ', x);",
         "2000.000000 2 29.000000"},
    };
    test::expectOutputs(kDateTimeDeclarations, cases);
}

TEST(DateTimeBuiltins, RefusedCalls) {
    const ErrorCase cases[] = {
        {"dat := concat_date();", "Call of function 'concat_date' must be nonformal."},
        {"dat := concat_date(1, 2);",
         "Number of actual parameters (2) and number of formal parameters (3) do not match in "
         "non-formal function call."},
        {"split_date();", "Call of function 'split_date' must be nonformal."},
        {"split_date(D#2000-02-29, yy, mo, 5);",
         "Parameter number 3 is not a valid left hand side value"},
        {"split_tod(td, yy + 1, mo, dd, hh);",
         "Parameter number 1 is not a valid left hand side value"},
        {"print(day_of_week(ld));", "Invalid implicit conversion from type 'ldate' to 'date'."},
        {"dt1 := concat_date_tod(dat, ltd);",
         "Invalid implicit conversion from type 'ltod' to 'tod'."},
        {"ldt1 := concat_date_ltod(dt1, ltd);",
         "Invalid implicit conversion from type 'dt' to 'ldate'."},
        {"split_date(dt1, yy, mo, dd);", "Invalid implicit conversion from type 'dt' to 'ldate'."},
        {"split_tod(ltd, hh, mi, sc, msec);",
         "Invalid implicit conversion from type 'ltod' to 'tod'."},
        {"split_dt(ldt1, yy, mo, dd, hh, mi, sc, msec);",
         "Invalid implicit conversion from type 'ldt' to 'dt'."},
        {"dat := concat_date(2024.0, 1, 1);", "Invalid cast from '<real literal>' to 'lint'."},
        {"td := concat_tod(T#1h, 0, 0, 0);", "Invalid cast from 'time' to 'lint'."},
        {"dt1 := concat_dt(2024, 1, 1, 0, 0, 0, dat);", "Invalid cast from 'date' to 'lint'."},
        {"split_tod(td, hh, mi, sc, dat);", "Invalid cast from 'lint' to 'date'."},
    };
    test::expectCompileErrors(kDateTimeDeclarations, cases);
}

// Calls compiled from arguments made here: constants for the values, an address constant
// of its own for each output.
class DateTimeCode : public ::testing::Test {
protected:
    void SetUp() override {
        test::prepareLanguageRuntime();
        registerIntrinsics(tables);
        at.file = "t.jyx";
        at.line = 3;
    }

    // The text forms of the call's instructions, all or those whose span is empty.
    std::vector<std::string> texts(const char* name, AParamList& arguments, bool unspannedOnly) {
        Function* function = tables.functions->lookup(name);
        function->getReturnType(&arguments); // as the evaluator does first
        std::vector<std::string> found;
        emitCall(function, &arguments, SourceSpan(at, at)).forEachItem([&](CodeItem* item) {
            if (!unspannedOnly || !item->span().valid) found.push_back(item->toString());
            return true;
        });
        return found;
    }
    std::vector<std::string> unspanned(const char* name, AParamList& arguments) {
        return texts(name, arguments, true);
    }

    // An argument whose code carries a span; an output also has an address code.
    void add(AParamList& list, int64_t value, Type* type, int64_t address = kNoAddress) const {
        const SourceSpan span(at, at);
        list.addPositional(makeIntConstant(value, type, span), type,
                           address == kNoAddress ? Code()
                                                 : makeIntConstant(address, typeAddr, span));
    }
    static constexpr int64_t kNoAddress = -1;

    // The call with the input and outputs at 101, 102, ...: the addresses in the order
    // the stores use them.
    std::vector<int64_t> storeOrder(const char* name, Type* input, int outputs) {
        AParamList list;
        add(list, 0, input);
        for (int64_t number = 1; number <= outputs; ++number) add(list, 0, typeInt, 100 + number);
        std::vector<int64_t> order;
        for (const std::string& text : texts(name, list, false)) {
            for (int64_t number = 1; number <= outputs; ++number)
                if (text == "ConstLint " + std::to_string(100 + number))
                    order.push_back(100 + number);
        }
        return order;
    }

    SymbolTables tables;
    SourcePosition at;
};

// The instructions that cannot fail carry no span; every other one the call's.
TEST_F(DateTimeCode, OnlyTheFinalAddTheDupAndTheWeekConstantsHaveNoSpan) {
    AParamList dt;
    for (int64_t field : {1970, 1, 1, 0, 0, 1, 500}) add(dt, field, typeInt);
    EXPECT_EQ(unspanned("concat_dt", dt), std::vector<std::string>{"AddLint "});

    AParamList dateTod;
    add(dateTod, 0, typeDate);
    add(dateTod, 0, typeTod);
    EXPECT_EQ(unspanned("concat_date_tod", dateTod), std::vector<std::string>{"AddLint "});

    AParamList tod;
    add(tod, 0, typeTod);
    for (int64_t address = 1; address <= 4; ++address) add(tod, 0, typeInt, address);
    EXPECT_EQ(unspanned("split_tod", tod), std::vector<std::string>{"Dup 1"});

    AParamList date;
    add(date, 0, typeDate);
    EXPECT_EQ(unspanned("day_of_week", date),
              (std::vector<std::string>{"ConstLint 4", "ConstLint 7"}));

    AParamList todFields;
    for (int i = 0; i < 4; ++i) add(todFields, 1, typeInt);
    EXPECT_TRUE(unspanned("concat_tod", todFields).empty());
}

// Each output's address code runs at its store: split_date stores day, month, year; the
// others second first and the milliseconds last.
TEST_F(DateTimeCode, OutputsAreAddressedInStoreOrder) {
    EXPECT_EQ(storeOrder("split_date", typeDate, 3), (std::vector<int64_t>{103, 102, 101}));
    EXPECT_EQ(storeOrder("split_tod", typeTod, 4), (std::vector<int64_t>{103, 102, 101, 104}));
    EXPECT_EQ(storeOrder("split_ltod", typeLtod, 4), (std::vector<int64_t>{103, 102, 101, 104}));
    EXPECT_EQ(storeOrder("split_dt", typeDt, 7),
              (std::vector<int64_t>{106, 105, 104, 103, 102, 101, 107}));
    EXPECT_EQ(storeOrder("split_ldt", typeLdt, 7),
              (std::vector<int64_t>{106, 105, 104, 103, 102, 101, 107}));
}

} // namespace
} // namespace Karsto
