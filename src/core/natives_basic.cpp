#include "core/natives_basic.h"

#include <ctime>

#include "core/calendar_time.h"
#include "core/stackmachine.h"
#include "core/type.h"

namespace Karsto {

namespace {

constexpr int32_t kInput = flagBit(VariableFlags::VAR_INPUT);

} // namespace

FunctionNativeCurrentLdt::FunctionNativeCurrentLdt()
    : FunctionNative("currentldt", typeLdt, false) {}

void FunctionNativeCurrentLdt::execute(Stackmachine& machine, const SourceSpan&) {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    CalendarTime time;
    time.year = static_cast<int16_t>(utc.tm_year + 1900);
    time.month = static_cast<int16_t>(utc.tm_mon + 1);
    time.day = static_cast<int16_t>(utc.tm_mday);
    time.hour = static_cast<int16_t>(utc.tm_hour);
    time.minute = static_cast<int16_t>(utc.tm_min);
    time.second = static_cast<int16_t>(utc.tm_sec);
    const int64_t seconds = calendarToSeconds(time);
    machine.storeS64(paramAddress(machine, "currentldt"),
                     static_cast<int64_t>(static_cast<uint64_t>(seconds) * 1000000000u));
}

FunctionNativeSection::FunctionNativeSection() : FunctionNative("section", typeVoid, false) {
    addParam("sec", typeUlint, kInput);
}

void FunctionNativeSection::execute(Stackmachine& machine, const SourceSpan&) {
    const uint64_t sec = machine.loadU64(paramAddress(machine, "sec"));
    machine.setSections(sec, sec);
}

FunctionNativeSections::FunctionNativeSections() : FunctionNative("sections", typeVoid, false) {
    addParam("lo", typeUlint, kInput);
    addParam("hi", typeUlint, kInput);
}

void FunctionNativeSections::execute(Stackmachine& machine, const SourceSpan&) {
    const uint64_t lo = machine.loadU64(paramAddress(machine, "lo"));
    const uint64_t hi = machine.loadU64(paramAddress(machine, "hi"));
    machine.setSections(lo, hi);
}

void registerBasicNatives(std::vector<FunctionNative*>& natives) {
    natives.reserve(natives.size() + 3); // the appends below cannot fail after a new
    natives.push_back(new FunctionNativeCurrentLdt);
    natives.push_back(new FunctionNativeSection);
    natives.push_back(new FunctionNativeSections);
}

} // namespace Karsto
