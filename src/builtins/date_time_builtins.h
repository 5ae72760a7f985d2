#pragma once
// The built-ins that assemble dates and times from numbers, split them back into
// numbers, and give the day of the week. Durations, dates and times of day are signed
// 64-bit nanosecond counts (dates and date-and-times since 1970-01-01, times of day
// since midnight), so every call is inline LINT arithmetic plus the two calendar
// instructions. Numeric inputs are cast to LINT explicitly (reals round); outputs are
// cast from LINT to their own types. The split kinds write through their output
// arguments and return nothing.

#include "builtins/function_intrinsic.h"

namespace Karsto {

// concat_date_tod(D, T): D + T as DT.
class FunctionIntrinsicConcatDateTod final : public FunctionIntrinsic {
public:
    FunctionIntrinsicConcatDateTod() : FunctionIntrinsic("concat_date_tod", 2) {}
    Type* getReturnType(AParamList* parameters) override;
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

// concat_date_ltod(D, T): D + T as LDT.
class FunctionIntrinsicConcatDateLtod final : public FunctionIntrinsic {
public:
    FunctionIntrinsicConcatDateLtod() : FunctionIntrinsic("concat_date_ltod", 2) {}
    Type* getReturnType(AParamList* parameters) override;
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

// concat_date(Y, M, D): midnight of the date; a year before 1970 or a month outside
// 1..12 gives -1 s.
class FunctionIntrinsicConcatDate final : public FunctionIntrinsic {
public:
    FunctionIntrinsicConcatDate() : FunctionIntrinsic("concat_date", 3) {}
    Type* getReturnType(AParamList* parameters) override;
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

// concat_tod(H, M, S, MS) and concat_ltod: ((H * 60 + M) * 60 + S) * 1000 + MS
// milliseconds, without range check or wrap at 24 hours. The result type alone tells
// the two apart.
class FunctionIntrinsicConcatTimeOfDay : public FunctionIntrinsic {
public:
    explicit FunctionIntrinsicConcatTimeOfDay(std::string name)
        : FunctionIntrinsic(std::move(name), 4) {}
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

class FunctionIntrinsicConcatTod final : public FunctionIntrinsicConcatTimeOfDay {
public:
    FunctionIntrinsicConcatTod() : FunctionIntrinsicConcatTimeOfDay("concat_tod") {}
    Type* getReturnType(AParamList* parameters) override;
};

class FunctionIntrinsicConcatLtod final : public FunctionIntrinsicConcatTimeOfDay {
public:
    FunctionIntrinsicConcatLtod() : FunctionIntrinsicConcatTimeOfDay("concat_ltod") {}
    Type* getReturnType(AParamList* parameters) override;
};

// concat_dt(Y, MO, D, H, MI, S, MS) and concat_ldt: the calendar's seconds plus the
// milliseconds.
class FunctionIntrinsicConcatDateAndTime : public FunctionIntrinsic {
public:
    explicit FunctionIntrinsicConcatDateAndTime(std::string name)
        : FunctionIntrinsic(std::move(name), 7) {}
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

class FunctionIntrinsicConcatDt final : public FunctionIntrinsicConcatDateAndTime {
public:
    FunctionIntrinsicConcatDt() : FunctionIntrinsicConcatDateAndTime("concat_dt") {}
    Type* getReturnType(AParamList* parameters) override;
};

class FunctionIntrinsicConcatLdt final : public FunctionIntrinsicConcatDateAndTime {
public:
    FunctionIntrinsicConcatLdt() : FunctionIntrinsicConcatDateAndTime("concat_ldt") {}
    Type* getReturnType(AParamList* parameters) override;
};

// The split kinds: the input first, then the outputs, which must be assignable. Their
// code relies on getReturnType having accepted the same list, as the evaluator always
// asks for the type before the code.
class FunctionIntrinsicSplit : public FunctionIntrinsic {
public:
    using FunctionIntrinsic::FunctionIntrinsic;
    Type* getReturnType(AParamList* parameters) override; // "<void>"
};

// split_date(X, Y, M, D), X converted to LDATE; stores D, M, Y in this order.
class FunctionIntrinsicSplitDate final : public FunctionIntrinsicSplit {
public:
    FunctionIntrinsicSplitDate() : FunctionIntrinsicSplit("split_date", 4) {}
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

// split_tod(X, H, M, S, MS); stores S, M, H, then MS. The hour is taken within the day.
class FunctionIntrinsicSplitTod final : public FunctionIntrinsicSplit {
public:
    FunctionIntrinsicSplitTod() : FunctionIntrinsicSplit("split_tod", 5) {}
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

class FunctionIntrinsicSplitLtod final : public FunctionIntrinsicSplit {
public:
    FunctionIntrinsicSplitLtod() : FunctionIntrinsicSplit("split_ltod", 5) {}
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

// split_dt(X, Y, MO, D, H, MI, S, MS); stores S, MI, H, D, MO, Y, then MS.
class FunctionIntrinsicSplitDt final : public FunctionIntrinsicSplit {
public:
    FunctionIntrinsicSplitDt() : FunctionIntrinsicSplit("split_dt", 8) {}
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

class FunctionIntrinsicSplitLdt final : public FunctionIntrinsicSplit {
public:
    FunctionIntrinsicSplitLdt() : FunctionIntrinsicSplit("split_ldt", 8) {}
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

// day_of_week(D): 0 for Sunday to 6 for Saturday, as an integer literal.
class FunctionIntrinsicDayOfWeek final : public FunctionIntrinsic {
public:
    FunctionIntrinsicDayOfWeek() : FunctionIntrinsic("day_of_week", 1) {}
    Type* getReturnType(AParamList* parameters) override;
    void compileCall(Code& out, AParamList* parameters, const SourceSpan& span) override;
};

} // namespace Karsto
