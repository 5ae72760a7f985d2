#pragma once
// A controller with the kernel link, started against the kernel simulator, and helpers
// to make channels with groups in it.

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/type.h"
#include "core/type_pointer.h"
#include "core/type_string.h"
#include "host/controller.h"
#include "host/kernel/channel_nc2.h"
#include "host/kernel/kernel_interface_nc2.h"
#include "host/kernel/mfunc_desc.h"
#include "kernel_test_support.h"
#include "support/jyx_harness.h"

namespace KernelTest {

// The 232-byte description the kernel writes for an M function.
inline Karsto::MFuncDesc descOf(int32_t nr, int32_t hsk, int32_t fast, std::vector<int32_t> resets) {
    std::array<uint8_t, Karsto::MFuncDesc::kSize> bytes{};
    auto put = [&bytes](size_t at, int32_t v) {
        for (size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
    };
    put(0, nr);
    put(4, hsk);
    put(8, fast);
    resets.push_back(-1);
    for (size_t i = 0; i < resets.size(); ++i) put(16 + 4 * i, resets[i]);
    return Karsto::MFuncDesc(bytes);
}

class ChannelFixture : public SimulatorFixture {
protected:
    // Programs are compiled. Other suites of this program destroy the types at their
    // end, so each suite makes them afresh and destroys them in turn.
    static void SetUpTestSuite() {
        Karsto::createElementaryTypes();
        Karsto::createDefaultStringTypes();
        Karsto::createNullPointerType();
        Karsto::test::prepareLanguageRuntime(); // the code generator's seams, once
    }
    static void TearDownTestSuite() {
        Karsto::destroyElementaryTypes();
        Karsto::destroyDefaultStringTypes();
        Karsto::destroyNullPointerType();
    }

    void SetUp() override {
        SimulatorFixture::SetUp();
        controller_ = std::make_unique<Karsto::Controller>();
        kernel_ = std::make_unique<Karsto::KernelInterfaceNc2>(controller_.get(), dir_);
        controller_->kernel = kernel_.get();
        kernel_->start();
    }
    void TearDown() override {
        kernel_.reset(); // deletes the channels, which remove their tasks
        controller_.reset();
        SimulatorFixture::TearDown();
    }

    // A channel entered in the link, with the groups given (records go to the lowest).
    Karsto::ChannelNc2* channelAdd(int32_t id, const std::string& name, std::initializer_list<int32_t> groupIds) {
        auto* channel = new Karsto::ChannelNc2(kernel_.get(), id, name, 65536, 0);
        kernel_->channelAdd(channel);
        int32_t number = 0;
        for (int32_t groupId : groupIds)
            channel->groupAdd(std::make_unique<Karsto::GroupNc2>(groupId, 1, "G" + std::to_string(groupId), channel,
                                                                 number++));
        return channel;
    }

    void writeFile(const std::string& path, const std::string& text) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
    }

    std::unique_ptr<Karsto::Controller> controller_;
    std::unique_ptr<Karsto::KernelInterfaceNc2> kernel_;
};

} // namespace KernelTest
