// The kernel link of the console run against the kernel's channels: never started, yet
// running; its channels reach the kernel through the client alone.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <thread>

#include "host/controller.h"
#include "host/kernel/channel_nc2.h"
#include "host/kernel/group_nc2.h"
#include "host/kernel/kernel_interface_nc2_light.h"
#include "link_test_support.h"

namespace KernelTest {
namespace {

using Karsto::ChannelNc2;
using Karsto::GroupNc2;
using Karsto::KernelInterface;
using Karsto::KernelInterfaceNc2Light;
using Karsto::StackmachineState;

class LightLinkTest : public CompilingSimulatorFixture {
protected:
    void TearDown() override {
        if (loop_.joinable()) {
            controller_->quit();
            loop_.join();
        }
        link_.reset();
        controller_.reset();
        CompilingSimulatorFixture::TearDown();
    }

    std::unique_ptr<Karsto::Controller> controller_ = std::make_unique<Karsto::Controller>();
    std::unique_ptr<KernelInterfaceNc2Light> link_;
    std::thread loop_;
};

bool isAxisQuery(const KernelSim::Request& r) {
    return r.kind == KernelSim::Request::Kind::write && r.indexGroup == ChannelNc2::kEventGroup;
}

TEST_F(LightLinkTest, RunsWithoutStartSendsTheStartRecordsAndDropsStateChanges) {
    link_ = std::make_unique<KernelInterfaceNc2Light>(controller_.get(), dir_);
    controller_->kernel = link_.get();
    EXPECT_TRUE(link_->isRunning());
    EXPECT_EQ(link_->currentSection(), KernelInterface::kNoSection);
    EXPECT_TRUE(link_->zel.VekIsConnected()) << "the client connects at construction";
    EXPECT_FALSE(link_->server->VekIsConnected());

    auto* channel = new ChannelNc2(link_.get(), 0, "Channel 0", 0x10000, 0);
    link_->channelAdd(channel);
    channel->groupAdd(std::make_unique<GroupNc2>(9, 0, "Group 9", channel, 0));
    controller_->sharedMemoryBind();
    const std::string path = dir_ + "/p.jyx";
    std::ofstream(path) << "G1 X5 F300\n";
    channel->task->compileFile(path);
    channel->task->start();
    EXPECT_EQ(channel->task->state, StackmachineState::running);

    loop_ = std::thread([this] { controller_->run(); });
    ASSERT_TRUE(sim_->waitForRequests([](const std::vector<KernelSim::Request>& requests) {
        return std::any_of(requests.begin(), requests.end(), isAxisQuery);
    }));
    controller_->quit();
    loop_.join();

    const std::vector<KernelSim::Nc2Decoded> records = sim_->records();
    ASSERT_FALSE(records.empty());
    for (const KernelSim::Request& r : sim_->requests()) {
        if (r.kind == KernelSim::Request::Kind::readWrite) {
            EXPECT_EQ(r.indexGroup, 0x3200u + 9);
        }
        EXPECT_FALSE(r.indexGroup >= 0x2100 && r.indexGroup < 0x2200) << "no state word is sent";
    }
    // The program waits for the axis answer that no server can receive.
    EXPECT_EQ(channel->task->state, StackmachineState::running);
    EXPECT_FALSE(link_->server->VekIsConnected());
}

} // namespace
} // namespace KernelTest
