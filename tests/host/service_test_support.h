#pragma once
// The test's side of a service run: a socket pair whose other end the dispatcher finds
// through VORDASH_SERVICE_FD, a service-record directory of its own, and a log listener
// that other threads may write to while the test waits for lines.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/machine_test_support.h"
#include "support/scoped_env.h"

namespace Karsto::test {

// Every wait in these tests ends at this deadline at the latest.
inline constexpr auto kServicePatience = std::chrono::seconds(10);

// A fresh temporary directory, removed with everything in it.
class TemporaryDirectory {
public:
    TemporaryDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vdsvcXXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
        path_ = pattern;
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Plays the service manager: holds one end of the socket pair, names the other in
// VORDASH_SERVICE_FD, reads status lines and writes control codes.
class ManagerPeer {
public:
    ManagerPeer() {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_) != 0) ADD_FAILURE() << "socketpair";
        env_ = std::make_unique<ScopedEnv>("VORDASH_SERVICE_FD", std::to_string(fds_[1]).c_str());
    }
    ~ManagerPeer() {
        ::close(fds_[0]);
        ::close(fds_[1]);
    }
    ManagerPeer(const ManagerPeer&) = delete;
    ManagerPeer& operator=(const ManagerPeer&) = delete;

    int serviceEnd() const { return fds_[1]; }

    // The next line the service wrote, without its newline; "<timeout>" when none came
    // in time, "<closed>" when the service end is gone.
    std::string readLine(std::chrono::milliseconds patience = kServicePatience) {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        for (;;) {
            const size_t end = pending_.find('\n');
            if (end != std::string::npos) {
                std::string line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return "<timeout>";
            pollfd fd{fds_[0], POLLIN, 0};
            if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
            char buffer[512];
            const ssize_t n = ::recv(fds_[0], buffer, sizeof buffer, 0);
            if (n <= 0) return "<closed>";
            pending_.append(buffer, static_cast<size_t>(n));
        }
    }

    void write(const std::string& text) {
        ASSERT_EQ(::send(fds_[0], text.data(), text.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(text.size()));
    }
    void control(uint32_t code) { write(std::to_string(code) + "\n"); }

private:
    int fds_[2] = {-1, -1};
    std::unique_ptr<ScopedEnv> env_;
    std::string pending_;
};

// The lines of the given levels, written by any thread while the test waits for them.
class LogLines : public LogCapture {
public:
    explicit LogLines(std::vector<LogLevel> levels) : LogCapture(std::move(levels)) {}
    // Leaves the log's set before the members the listener uses are gone.
    ~LogLines() override { globalLog.removeListener(this); }
    LogLines(const LogLines&) = delete;
    LogLines& operator=(const LogLines&) = delete;

    void logLine(int32_t level, const std::string& line) override {
        {
            std::lock_guard lock(mutex_);
            LogCapture::logLine(level, line);
        }
        changed_.notify_all();
    }

    std::vector<std::string> all() {
        std::lock_guard lock(mutex_);
        return lines;
    }
    // Waits until the line has been written; false at the deadline.
    bool waitFor(const std::string& line) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kServicePatience, [&] {
            return std::find(lines.begin(), lines.end(), line) != lines.end();
        });
    }
    size_t count(const std::string& line) {
        std::lock_guard lock(mutex_);
        return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
};

} // namespace Karsto::test
