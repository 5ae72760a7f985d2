#include "builtins/date_time_builtins.h"

#include <initializer_list>

#include "builtins/intrinsic_arguments.h"
#include "codegen/cast_emitter.h"
#include "codegen/operation_emitters.h"
#include "codegen/special_emitters.h"
#include "core/aparam_list.h"
#include "core/constant_factory.h"
#include "core/emitters.h"
#include "core/exception.h"
#include "core/type.h"

namespace Karsto {

namespace {

constexpr int64_t kNanosecondsPerMillisecond = 1'000'000;
constexpr int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr int64_t kNanosecondsPerDay = 86'400 * kNanosecondsPerSecond;
constexpr int64_t kMinutesPerHour = 60;
constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kMillisecondsPerSecond = 1'000;
// Day 0, 1970-01-01, was a Thursday; Sunday counts 0.
constexpr int64_t kWeekdayOfDayZero = 4;
constexpr int64_t kDaysPerWeek = 7;

// The calendar fields UtcTimestamp takes and UtcDate gives: year, month, day, hour,
// minute, second.
constexpr int64_t kCalendarFields = 6;
constexpr int64_t kTimeFields = 3; // hour, minute, second

Code lint(int64_t value, const SourceSpan& span) { return makeIntConstant(value, typeLint, span); }

// The code so far multiplied by factor, then the argument's count added.
Code scaledAdd(const Code& code, int64_t factor, const AParam& argument, const SourceSpan& span) {
    return code.concat(lint(factor, span))
        .concat(emitMul(typeLint, span))
        .concat(castValue(argument, typeLint, span))
        .concat(emitAdd(typeLint, span));
}

// The arguments from first on, each cast to LINT, and zeros for the calendar fields
// they leave out, then the calendar's seconds in nanoseconds.
Code calendarNanoseconds(Arguments fields, const SourceSpan& span) {
    Code code;
    for (const auto& field : fields) code = code.concat(castValue(*field, typeLint, span));
    for (auto missing = static_cast<int64_t>(fields.size()); missing < kCalendarFields; ++missing)
        code = code.concat(lint(0, span));
    return code.concat(emitUtcTimestamp(span))
        .concat(lint(kNanosecondsPerSecond, span))
        .concat(emitMul(typeLint, span));
}

// A date and a time of day, each converted to its type, added.
Code dateTodSum(AParamList* parameters, Type* date, Type* timeOfDay, const SourceSpan& span) {
    const auto& arguments = parameters->positional();
    return convertedValue(*arguments[0], date, span)
        .concat(convertedValue(*arguments[1], timeOfDay, span))
        .concat(emitAdd(typeLint, SourceSpan())); // cannot fail
}

// The LINT on top into the output: cast to its type, its address, the store. The
// address code runs only now.
Code store(const AParam& output, const SourceSpan& span) {
    return emitCast(typeLint, output.type, span)
        .concat(output.addressCode())
        .concat(emitSt(output.type, span));
}

Code stores(Arguments arguments, std::initializer_list<size_t> order, const SourceSpan& span) {
    Code code;
    for (size_t index : order) code = code.concat(store(*arguments[index], span));
    return code;
}

Code drop(int64_t values, const SourceSpan& span) {
    Code code;
    for (int64_t i = 0; i < values; ++i) code = code.concat(emitPop(typeLint, span));
    return code;
}

// The count of the input and the calendar fields of its whole seconds; after the
// stores, what the calendar left is dropped and the milliseconds within the second go
// into the last argument.
Code splitWithMilliseconds(AParamList* parameters, Type* input,
                           std::initializer_list<size_t> fieldStores, int64_t unstored,
                           const SourceSpan& span) {
    const Arguments arguments = parameters->positional();
    return convertedValue(*arguments.front(), input, span)
        .concat(emitDup(typeLint, SourceSpan())) // cannot fail
        .concat(lint(kNanosecondsPerSecond, span))
        .concat(emitDiv(typeLint, span))
        .concat(emitUtcDate(span))
        .concat(stores(arguments, fieldStores, span))
        .concat(drop(unstored, span))
        .concat(lint(kNanosecondsPerMillisecond, span))
        .concat(emitDiv(typeLint, span))
        .concat(lint(kMillisecondsPerSecond, span))
        .concat(emitMod(typeLint, span))
        .concat(store(*arguments.back(), span));
}

// split_tod and split_ltod: the outputs hour (1), minute (2), second (3) and
// millisecond (4); day, month and year are dropped.
Code splitTimeOfDay(AParamList* parameters, Type* input, const SourceSpan& span) {
    return splitWithMilliseconds(parameters, input, {3, 2, 1}, kCalendarFields - kTimeFields, span);
}

// split_dt and split_ldt: the outputs year (1) to second (6) and millisecond (7).
Code splitDateAndTime(AParamList* parameters, Type* input, const SourceSpan& span) {
    return splitWithMilliseconds(parameters, input, {6, 5, 4, 3, 2, 1}, 0, span);
}

} // namespace

Type* FunctionIntrinsicConcatDateTod::getReturnType(AParamList* parameters) {
    return nonformalResult(*this, parameters, typeDt);
}

void FunctionIntrinsicConcatDateTod::compileCall(Code& out, AParamList* parameters,
                                                 const SourceSpan& span) {
    getReturnType(parameters);
    out = dateTodSum(parameters, typeDate, typeTod, span);
}

Type* FunctionIntrinsicConcatDateLtod::getReturnType(AParamList* parameters) {
    return nonformalResult(*this, parameters, typeLdt);
}

void FunctionIntrinsicConcatDateLtod::compileCall(Code& out, AParamList* parameters,
                                                  const SourceSpan& span) {
    getReturnType(parameters);
    out = dateTodSum(parameters, typeLdate, typeLtod, span);
}

Type* FunctionIntrinsicConcatDate::getReturnType(AParamList* parameters) {
    return nonformalResult(*this, parameters, typeDate);
}

void FunctionIntrinsicConcatDate::compileCall(Code& out, AParamList* parameters,
                                              const SourceSpan& span) {
    getReturnType(parameters);
    out = calendarNanoseconds(parameters->positional(), span);
}

void FunctionIntrinsicConcatTimeOfDay::compileCall(Code& out, AParamList* parameters,
                                                   const SourceSpan& span) {
    getReturnType(parameters);
    const auto& arguments = parameters->positional();
    Code code = castValue(*arguments[0], typeLint, span);
    code = scaledAdd(code, kMinutesPerHour, *arguments[1], span);
    code = scaledAdd(code, kSecondsPerMinute, *arguments[2], span);
    code = scaledAdd(code, kMillisecondsPerSecond, *arguments[3], span);
    out = code.concat(lint(kNanosecondsPerMillisecond, span)).concat(emitMul(typeLint, span));
}

Type* FunctionIntrinsicConcatTod::getReturnType(AParamList* parameters) {
    return nonformalResult(*this, parameters, typeTod);
}

Type* FunctionIntrinsicConcatLtod::getReturnType(AParamList* parameters) {
    return nonformalResult(*this, parameters, typeLtod);
}

void FunctionIntrinsicConcatDateAndTime::compileCall(Code& out, AParamList* parameters,
                                                     const SourceSpan& span) {
    getReturnType(parameters);
    const Arguments arguments = parameters->positional();
    out = calendarNanoseconds(arguments.first(kCalendarFields), span)
              .concat(castValue(*arguments.back(), typeLint, span))
              .concat(lint(kNanosecondsPerMillisecond, span))
              .concat(emitMul(typeLint, span))
              .concat(emitAdd(typeLint, SourceSpan())); // cannot fail
}

Type* FunctionIntrinsicConcatDt::getReturnType(AParamList* parameters) {
    return nonformalResult(*this, parameters, typeDt);
}

Type* FunctionIntrinsicConcatLdt::getReturnType(AParamList* parameters) {
    return nonformalResult(*this, parameters, typeLdt);
}

Type* FunctionIntrinsicSplit::getReturnType(AParamList* parameters) {
    checkNonformal(parameters);
    const auto& arguments = parameters->positional();
    for (size_t number = 1; number < arguments.size(); ++number)
        checkSemantic(!arguments[number]->addressCode().empty(),
                      "Parameter number %d is not a valid left hand side value",
                      static_cast<int>(number));
    return typeVoid;
}

void FunctionIntrinsicSplitDate::compileCall(Code& out, AParamList* parameters,
                                             const SourceSpan& span) {
    const Arguments arguments = parameters->positional();
    // Hour, minute and second are dropped; day (3), month (2) and year (1) stored.
    out = convertedValue(*arguments.front(), typeLdate, span)
              .concat(lint(kNanosecondsPerSecond, span))
              .concat(emitDiv(typeLint, span))
              .concat(emitUtcDate(span))
              .concat(drop(kTimeFields, span))
              .concat(stores(arguments, {3, 2, 1}, span));
}

void FunctionIntrinsicSplitTod::compileCall(Code& out, AParamList* parameters,
                                            const SourceSpan& span) {
    out = splitTimeOfDay(parameters, typeTod, span);
}

void FunctionIntrinsicSplitLtod::compileCall(Code& out, AParamList* parameters,
                                             const SourceSpan& span) {
    out = splitTimeOfDay(parameters, typeLtod, span);
}

void FunctionIntrinsicSplitDt::compileCall(Code& out, AParamList* parameters,
                                           const SourceSpan& span) {
    out = splitDateAndTime(parameters, typeDt, span);
}

void FunctionIntrinsicSplitLdt::compileCall(Code& out, AParamList* parameters,
                                            const SourceSpan& span) {
    out = splitDateAndTime(parameters, typeLdt, span);
}

Type* FunctionIntrinsicDayOfWeek::getReturnType(AParamList* parameters) {
    return nonformalResult(*this, parameters, typeIntegerLiteral);
}

void FunctionIntrinsicDayOfWeek::compileCall(Code& out, AParamList* parameters,
                                             const SourceSpan& span) {
    const SourceSpan none;
    out = convertedValue(*parameters->positional().front(), typeDate, span)
              .concat(lint(kNanosecondsPerDay, span))
              .concat(emitDiv(typeLint, span))
              .concat(lint(kWeekdayOfDayZero, none))
              .concat(emitAdd(typeLint, span))
              .concat(lint(kDaysPerWeek, none))
              .concat(emitMod(typeLint, span));
}

} // namespace Karsto
