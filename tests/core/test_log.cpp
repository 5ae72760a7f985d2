#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/log.h"

namespace Karsto {
namespace {

class CapturingListener : public LogListener {
public:
    void logLine(int32_t level, const std::string& line) override {
        levels.push_back(level);
        lines.push_back(line);
    }
    std::vector<int32_t> levels;
    std::vector<std::string> lines;
};

class CapturingEventSink : public EventSink {
public:
    void report(EventType type, const std::string& line) override {
        types.push_back(static_cast<int32_t>(type));
        lines.push_back(line);
    }
    std::vector<int32_t> types;
    std::vector<std::string> lines;
};

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::filesystem::path tempFile(const char* name) {
    return std::filesystem::temp_directory_path() /
           (std::string("vordash_log_") + std::to_string(::getpid()) + "_" + name);
}

TEST(Log, FreshLogWritesNothing) {
    Log log;
    CapturingListener listener;
    CapturingEventSink sink;
    log.addListener(&listener);
    log.setEventSink(&sink);
    testing::internal::CaptureStderr();
    log.error("e");
    log.warning("w");
    log.debugNCmdQueue("q");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(listener.lines.empty());
    EXPECT_TRUE(sink.lines.empty());
}

TEST(Log, WarningGoesToStderrAndListener) {
    Log log;
    CapturingListener listener;
    log.addListener(&listener);
    log.setLevel(LogLevel::warning, true);
    log.setStderr(true);
    testing::internal::CaptureStderr();
    log.warning("text");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[warning] text\n");
    ASSERT_EQ(listener.lines.size(), 1u);
    EXPECT_EQ(listener.levels[0], 1);
    EXPECT_EQ(listener.lines[0], "[warning] text");
}

TEST(Log, LongTextArrivesWhole) {
    Log log;
    CapturingListener listener;
    log.addListener(&listener);
    log.setLevel(LogLevel::info, true);
    std::string text(5000, 'a');
    log.info("%s", text.c_str());
    ASSERT_EQ(listener.lines.size(), 1u);
    EXPECT_EQ(listener.lines[0], "[info] " + text);
}

TEST(Log, EveryLevelHasItsNameAndOnlySwitchedOnLevelsWrite) {
    Log log;
    CapturingListener listener;
    log.addListener(&listener);
    const char* names[] = {"error", "warning", "info", "debugCode", "debugStackmachine",
                           "debugStackOp", "debugGCode", "debugGProcessor", "debugKiState",
                           "debugKiIO", "debugKiGeo", "debugController", "debugNCmdQueue"};
    for (int32_t level = 0; level < kLogLevelCount; ++level) {
        log.writef(level, "off %d", level); // still off
        log.setLevel(level, true);
        log.writef(level, "on %d", level);
        log.setLevel(level, false);
    }
    ASSERT_EQ(listener.lines.size(), 13u);
    for (int32_t level = 0; level < kLogLevelCount; ++level) {
        EXPECT_EQ(listener.levels[static_cast<size_t>(level)], level);
        EXPECT_EQ(listener.lines[static_cast<size_t>(level)],
                  std::string("[") + names[level] + "] on " + std::to_string(level));
    }
}

TEST(Log, LevelsOutsideTheTableAreIgnored) {
    Log log;
    CapturingListener listener;
    log.addListener(&listener);
    log.setLevel(-1, true);
    log.setLevel(13, true);
    log.setLevel(64, true);
    log.setLevel(1000, true);
    for (int32_t level = 0; level < kLogLevelCount; ++level) log.writef(level, "x");
    log.writef(13, "x");
    log.writef(-1, "x");
    EXPECT_TRUE(listener.lines.empty());
}

TEST(Log, EventSinkGetsErrorWarningAndInformationTypes) {
    Log log;
    CapturingEventSink sink;
    log.setEventSink(&sink);
    log.setEventLog(true);
    log.setLevel(LogLevel::error, true);
    log.setLevel(LogLevel::warning, true);
    log.setLevel(LogLevel::debugKiGeo, true);
    log.error("a");
    log.warning("b");
    log.debugKiGeo("c");
    log.info("not on");
    EXPECT_EQ(sink.types, (std::vector<int32_t>{1, 2, 4}));
    EXPECT_EQ(sink.lines, (std::vector<std::string>{"[error] a", "[warning] b", "[debugKiGeo] c"}));
    log.setEventLog(false);
    log.error("d");
    EXPECT_EQ(sink.lines.size(), 3u);
}

// Every level's entry point writes at its own level, under its own name, and reaches the
// event log as its own event type.
TEST(Log, EveryEntryPointHasItsLevelNameAndEventType) {
    struct Row {
        void (Log::*entry)(const char*, ...);
        LogLevel level;
        const char* name;
        EventType type;
    };
    const Row rows[] = {
        {&Log::error, LogLevel::error, "error", EventType::error},
        {&Log::warning, LogLevel::warning, "warning", EventType::warning},
        {&Log::info, LogLevel::info, "info", EventType::information},
        {&Log::debugCode, LogLevel::debugCode, "debugCode", EventType::information},
        {&Log::debugStackmachine, LogLevel::debugStackmachine, "debugStackmachine", EventType::information},
        {&Log::debugStackOp, LogLevel::debugStackOp, "debugStackOp", EventType::information},
        {&Log::debugGCode, LogLevel::debugGCode, "debugGCode", EventType::information},
        {&Log::debugGProcessor, LogLevel::debugGProcessor, "debugGProcessor", EventType::information},
        {&Log::debugKiState, LogLevel::debugKiState, "debugKiState", EventType::information},
        {&Log::debugKiIO, LogLevel::debugKiIO, "debugKiIO", EventType::information},
        {&Log::debugKiGeo, LogLevel::debugKiGeo, "debugKiGeo", EventType::information},
        {&Log::debugController, LogLevel::debugController, "debugController", EventType::information},
        {&Log::debugNCmdQueue, LogLevel::debugNCmdQueue, "debugNCmdQueue", EventType::information},
    };
    ASSERT_EQ(std::size(rows), static_cast<size_t>(kLogLevelCount));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const int32_t level = static_cast<int32_t>(row.level);
        EXPECT_EQ(logLevelName(level), row.name);
        EXPECT_EQ(logLevelEventType(level), row.type);
        Log log;
        CapturingListener listener;
        CapturingEventSink sink;
        log.addListener(&listener);
        log.setEventSink(&sink);
        log.setEventLog(true);
        log.setLevel(row.level, true);
        (log.*row.entry)("n=%d", 7);
        EXPECT_EQ(listener.levels, std::vector<int32_t>{level});
        EXPECT_EQ(sink.lines, std::vector<std::string>{std::string("[") + row.name + "] n=7"});
        EXPECT_EQ(sink.types, std::vector<int32_t>{static_cast<int32_t>(row.type)});
    }
    EXPECT_EQ(logLevelName(kLogLevelCount), "");
    EXPECT_EQ(logLevelEventType(-1), EventType::information);
}

TEST(Log, FileTruncatesAppendsAndSwitches) {
    const auto first = tempFile("first.log");
    const auto second = tempFile("second.log");
    {
        std::ofstream(first) << "old line\n";
    }
    Log log;
    log.setLevel(LogLevel::info, true);
    log.openFile(first.string(), true);
    log.info("appended");
    EXPECT_EQ(readFile(first), "old line\n[info] appended\n");
    log.openFile(first.string(), false);
    log.info("fresh");
    EXPECT_EQ(readFile(first), "[info] fresh\n");
    log.openFile(second.string(), false);
    log.info("only second");
    EXPECT_EQ(readFile(first), "[info] fresh\n");
    EXPECT_EQ(readFile(second), "[info] only second\n");
    // A file that cannot be opened is silently skipped.
    log.openFile((first.parent_path() / "no_such_dir" / "x.log").string(), false);
    log.info("nowhere");
    EXPECT_EQ(readFile(second), "[info] only second\n");
    std::filesystem::remove(first);
    std::filesystem::remove(second);
}

TEST(Log, RemovedListenerHearsNothing) {
    Log log;
    CapturingListener a, b;
    log.addListener(&a);
    log.addListener(&a); // at most once in the set
    log.addListener(&b);
    log.setLevel(LogLevel::error, true);
    log.error("one");
    log.removeListener(&a);
    log.error("two");
    EXPECT_EQ(a.lines, (std::vector<std::string>{"[error] one"}));
    EXPECT_EQ(b.lines, (std::vector<std::string>{"[error] one", "[error] two"}));
}

TEST(Log, EnabledTestsOneBit) {
    Log log;
    EXPECT_FALSE(log.enabled(LogLevel::debugStackOp));
    log.setLevel(LogLevel::debugStackOp, true);
    EXPECT_TRUE(log.enabled(LogLevel::debugStackOp));
    EXPECT_FALSE(log.enabled(LogLevel::debugStackmachine));
}

} // namespace
} // namespace Karsto
