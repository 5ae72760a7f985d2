#pragma once
// A router in a temporary directory for each test, and a small Zel server that records
// what reaches it and answers as the test says.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/zel/vek_router.h"
#include "host/zel/zel_server.h"
#include "host/zel/zel_sync.h"

namespace ZelTest {

// Every wait in these tests ends at this deadline at the latest.
inline constexpr auto kPatience = std::chrono::seconds(10);

class RouterFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "vdzelXXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/router.sock";
        ::setenv("VORDASH_VEK_ROUTER", path_.c_str(), 1);
        ::setenv("VORDASH_ZEL_TIMEOUT_MS", "5000", 1);
        router_ = std::make_unique<VekRouter>(path_);
    }
    void TearDown() override {
        router_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::string dir_;
    std::string path_;
    std::unique_ptr<VekRouter> router_;
};

inline VekAddr localPort(std::uint16_t port) { return VekAddr{vekLocalNetId(), port}; }

// One recorded indication or command.
struct Received {
    std::string kind; // "read", "write", "readWrite", "deviceInfo", "cmd"
    VekAddr source;
    std::uint32_t invokeId = 0;
    std::uint32_t indexGroup = 0;
    std::uint32_t indexOffset = 0;
    std::uint32_t readLength = 0;
    std::vector<std::uint8_t> data;
    VekHead head; // for commands
};

// Records everything; answers through the hooks when they are set.
class RecordingServer : public CZelR3 {
public:
    explicit RecordingServer(const char* name = nullptr) : CZelR3(0, 0, name, 1) {}
    ~RecordingServer() override { portShutdown(); }

    // Answer hooks, called on the receive thread after recording; unset: no answer.
    std::function<void(RecordingServer&, const Received&)> onRequest;
    std::function<void(RecordingServer&, const VekCmd&)> onCommand;

    void ZelReadInd(const VekAddr& source, std::uint32_t invokeId, std::uint32_t group,
                    std::uint32_t offset, std::uint32_t length) override {
        record({"read", source, invokeId, group, offset, length, {}, {}});
    }
    void ZelWriteInd(const VekAddr& source, std::uint32_t invokeId, std::uint32_t group,
                     std::uint32_t offset, std::uint32_t length, const std::uint8_t* data) override {
        record({"write", source, invokeId, group, offset, 0, {data, data + length}, {}});
    }
    void ZelReadWriteInd(const VekAddr& source, std::uint32_t invokeId, std::uint32_t group,
                         std::uint32_t offset, std::uint32_t readLength, std::uint32_t writeLength,
                         const std::uint8_t* data) override {
        record({"readWrite", source, invokeId, group, offset, readLength,
                {data, data + writeLength}, {}});
    }
    void ZelReadDeviceInfoInd(const VekAddr& source, std::uint32_t invokeId) override {
        record({"deviceInfo", source, invokeId, 0, 0, 0, {}, {}});
    }
    void VekDispatch(const VekCmd& command) override {
        Received r;
        r.kind = "cmd";
        r.head = command.head();
        r.data.assign(command.data().begin(), command.data().end());
        {
            std::lock_guard lock(mutex_);
            received_.push_back(r);
        }
        changed_.notify_all();
        if (onCommand)
            onCommand(*this, command);
    }

    // Waits until n items were received; false at the deadline.
    bool waitFor(std::size_t n) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kPatience, [&] { return received_.size() >= n; });
    }
    std::vector<Received> received() {
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    void record(const Received& r) {
        {
            std::lock_guard lock(mutex_);
            received_.push_back(r);
        }
        changed_.notify_all();
        if (onRequest)
            onRequest(*this, r);
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Received> received_;
};

} // namespace ZelTest
