#include "core/log.h"

#include <array>
#include <cstdio>

#include "core/host_path.h"

namespace Karsto {

Log globalLog;

namespace {

struct LevelRow {
    LogLevel level;
    std::string_view name;
    EventType eventType;
};

constexpr std::array<LevelRow, kLogLevelCount> kLevels{{
#define KARSTO_LOG_LEVEL(name, value, eventType) {LogLevel::name, #name, EventType::eventType},
#include "core/log_levels.def"
}};

// The table is indexed by level number: prove every row sits at its own level.
constexpr bool levelTableInOrder() {
    for (size_t i = 0; i < kLevels.size(); ++i)
        if (static_cast<size_t>(kLevels[i].level) != i) return false;
    return true;
}
static_assert(levelTableInOrder(), "log levels must be listed by value from 0 without gaps");
static_assert(kLogLevelCount <= 64, "the level mask has 64 bits");

[[gnu::format(printf, 1, 0)]] std::string formatText(const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    int n = vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (n <= 0) return std::string(); // an encoding error gives an empty text
    std::string text(static_cast<size_t>(n), '\0');
    vsnprintf(text.data(), text.size() + 1, format, args);
    return text;
}

} // namespace

std::string_view logLevelName(int32_t level) {
    if (level < 0 || level >= kLogLevelCount) return {};
    return kLevels[static_cast<size_t>(level)].name;
}

EventType logLevelEventType(int32_t level) {
    if (level < 0 || level >= kLogLevelCount) return EventType::information;
    return kLevels[static_cast<size_t>(level)].eventType;
}

Log::~Log() { closeFile(); }

void Log::write(int32_t level, const char* format, va_list args) {
    if (level < 0 || level >= kLogLevelCount) return;
    if (!enabled(static_cast<LogLevel>(level))) return; // nothing formatted for an off level
    std::lock_guard<std::mutex> lock(mutex_);
    std::string line = "[";
    line += logLevelName(level);
    line += "] ";
    line += formatText(format, args);

    if (toStderr()) {
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
    if (file_.is_open()) {
        file_ << line << '\n';
        file_.flush();
    }
    if (eventLog() && eventSink_ != nullptr) eventSink_->report(logLevelEventType(level), line);
    for (LogListener* listener : listeners_) listener->logLine(level, line);
}

void Log::writef(int32_t level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    write(level, format, args);
    va_end(args);
}

#define KARSTO_LOG_LEVEL(name, value, eventType)                                                   \
    void Log::name(const char* format, ...) {                                                      \
        va_list args;                                                                              \
        va_start(args, format);                                                                    \
        write(static_cast<int32_t>(LogLevel::name), format, args);                                 \
        va_end(args);                                                                              \
    }
#include "core/log_levels.def"

void Log::setLevel(int32_t level, bool on) {
    if (level < 0 || level >= kLogLevelCount) return;
    const uint64_t bit = uint64_t{1} << level;
    if (on)
        levelMask_.fetch_or(bit, std::memory_order_relaxed);
    else
        levelMask_.fetch_and(~bit, std::memory_order_relaxed);
}

void Log::openFile(const std::string& path, bool append) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_.is_open()) file_.close();
    file_.clear();
    file_.open(hostPath(path), append ? (std::ios::out | std::ios::app) : (std::ios::out | std::ios::trunc));
}

void Log::closeFile() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_.is_open()) file_.close();
}

void Log::setEventSink(EventSink* sink) {
    std::lock_guard<std::mutex> lock(mutex_);
    eventSink_ = sink;
}

void Log::addListener(LogListener* listener) {
    std::lock_guard<std::mutex> lock(mutex_);
    listeners_.insert(listener);
}

void Log::removeListener(LogListener* listener) {
    std::lock_guard<std::mutex> lock(mutex_);
    listeners_.erase(listener);
}

} // namespace Karsto
