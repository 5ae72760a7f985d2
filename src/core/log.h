#pragma once
// The one process-wide log. Each line is "[" level name "] " text, written under one
// mutex to standard error, the log file, the event sink and every listener.
//
// The mutex is not recursive and is held across all sinks and listeners for one whole
// line: a LogListener::logLine must never write to the log itself (it would deadlock).

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

namespace Karsto {

// The levels are the rows of log_levels.def.
enum class LogLevel : int32_t {
#define KARSTO_LOG_LEVEL(name, value, eventType) name = value,
#include "core/log_levels.def"
};

inline constexpr int32_t kLogLevelCount = 0
#define KARSTO_LOG_LEVEL(name, value, eventType) +1
#include "core/log_levels.def"
    ;

// The bracketed name of a level; empty for a number that is no level.
std::string_view logLevelName(int32_t level);

// Event types of the system event log that log lines are reported as.
enum class EventType : int32_t {
    error = 1,
    warning = 2,
    information = 4,
};

// The event type a level's lines are reported as; information for a number that is
// no level.
EventType logLevelEventType(int32_t level);

// Receives the lines meant for the system event log. The host installs the platform's
// implementation; a sink that cannot deliver a line just drops it.
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void report(EventType type, const std::string& line) = 0;
};

class LogListener {
public:
    virtual ~LogListener() = default;
    // Called with the complete line (bracketed level name included) for every line
    // written at a level that is on. Must not write to the log.
    virtual void logLine(int32_t level, const std::string& line) = 0;
};

class Log {
public:
    Log() = default;
    virtual ~Log();
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    // One mask test: hot callers ask this before building any text.
    bool enabled(LogLevel level) const {
        return (levelMask_.load(std::memory_order_relaxed) >> static_cast<int32_t>(level)) & 1u;
    }

    // Every level's bit (bit n for the level of value n), for a test of several at once.
    uint64_t mask() const { return levelMask_.load(std::memory_order_relaxed); }

    // One entry point per level, named after it.
#define KARSTO_LOG_LEVEL(name, value, eventType) [[gnu::format(printf, 2, 3)]] void name(const char* format, ...);
#include "core/log_levels.def"

    // Writes one line at the given level; the text has no length limit.
    [[gnu::format(printf, 3, 0)]] void write(int32_t level, const char* format, va_list args);
    [[gnu::format(printf, 3, 4)]] void writef(int32_t level, const char* format, ...);

    // Numbers that are no level are ignored.
    void setLevel(int32_t level, bool enabled);
    void setLevel(LogLevel level, bool on) { setLevel(static_cast<int32_t>(level), on); }

    // Closes an open log file, then opens path (appending or truncating). A file that
    // cannot be opened is not reported; lines then go to no file.
    void openFile(const std::string& path, bool append);
    void closeFile();

    void setStderr(bool on) { toStderr_.store(on, std::memory_order_relaxed); }
    void setEventLog(bool on) { eventLog_.store(on, std::memory_order_relaxed); }
    bool toStderr() const { return toStderr_.load(std::memory_order_relaxed); }
    bool eventLog() const { return eventLog_.load(std::memory_order_relaxed); }
    // The sink behind the event-log switch; not owned. Null: event lines go nowhere.
    void setEventSink(EventSink* sink);

    void addListener(LogListener* listener);
    void removeListener(LogListener* listener);

private:
    std::atomic<uint64_t> levelMask_{0};
    std::atomic<bool> eventLog_{false};
    std::atomic<bool> toStderr_{false};
    std::ofstream file_;
    EventSink* eventSink_ = nullptr;
    std::mutex mutex_;
    std::set<LogListener*> listeners_;
};

extern Log globalLog;

} // namespace Karsto
