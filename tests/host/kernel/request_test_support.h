#pragma once
// The fixture of the kernel's requests: a link initialised with channels 4 and 9 (groups
// 14 and 19), the simulator as the kernel, and helpers for request and answer bytes.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/kernel/channel_nc2.h"
#include "host/zel/zel_wire.h"
#include "link_test_support.h"

namespace KernelTest {

using Karsto::ChannelNc2;
using Karsto::StackmachineState;
using Bytes = std::vector<uint8_t>;

inline Bytes int32s(std::initializer_list<int32_t> values) {
    Bytes out;
    for (int32_t v : values) vekPut32(out, static_cast<uint32_t>(v));
    return out;
}
inline Bytes doubles(std::initializer_list<double> values) {
    Bytes out(values.size() * 8);
    size_t at = 0;
    for (double v : values) {
        std::memcpy(&out[at], &v, 8);
        at += 8;
    }
    return out;
}
inline std::vector<double> doublesOf(const Bytes& bytes) {
    std::vector<double> out(bytes.size() / 8);
    std::memcpy(out.data(), bytes.data(), out.size() * 8);
    return out;
}
inline std::vector<int16_t> int16sOf(const Bytes& bytes) {
    std::vector<int16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}
inline int32_t int32Of(const Bytes& bytes, size_t at = 0) {
    int32_t v;
    std::memcpy(&v, &bytes[at], 4);
    return v;
}
inline Bytes text(const std::string& s, size_t length) {
    Bytes out(length, 0);
    std::memcpy(out.data(), s.data(), std::min(s.size(), length));
    return out;
}

class KernelRequestTest : public LinkFixture {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        sim_->addChannel({4, "Kanal4", 1000, 0});
        sim_->addChannel({9, "Kanal9", 1000, 0});
        sim_->addGroup({14, 2, 1, "G14", 4, 0});
        sim_->addGroup({19, 2, 1, "G19", 9, 0});
        startLink();
        ASSERT_EQ(initialise(), 0u);
    }

    // Runs the body with the loop paused, so it may touch the channels.
    template <class Body>
    void paused(Body body) {
        pause();
        body();
        resume();
    }
    ChannelNc2& channel(int32_t id) { return *link_->channelById(id); }

    uint32_t read(uint32_t group, uint32_t offset, uint32_t length, Bytes& out) {
        return sim_->read(group, offset, length, out);
    }
    uint32_t write(uint32_t group, uint32_t offset, const Bytes& data) { return sim_->write(group, offset, data); }
    uint32_t readWrite(uint32_t group, uint32_t offset, uint32_t length, const Bytes& data, Bytes& out) {
        return sim_->readWrite(group, offset, length, out, data);
    }

    // A request whose answer is taken as it comes, however long; with the loop paused
    // the test thread runs the event pass itself.
    struct Answer {
        uint32_t result = 0x7FFFFFFF;
        Bytes data;
    };
    Answer raw(ZelCommandId id, uint32_t group, uint32_t offset, uint32_t readLength, const Bytes& written) {
        CZelSync& client = sim_->client();
        VekHead head;
        client.VekMakeHead(head, static_cast<uint16_t>(id), 0, KernelSim::KernelSimulator::interpreter(),
                           kZelRequestFlags, 0, 0);
        uint32_t invoke = 0;
        Answer answer;
        if (client.VekPost(VekCmd(head, zelEncodeRequest(id, group, offset, readLength, written)), invoke) != 0)
            return answer;
        if (!loop_.joinable()) {
            // Answered by the receive thread after the request before it was queued.
            if (!serverAnswers()) return answer;
            link_->processEvents();
        }
        VekCmd response;
        if (client.VekAwait(invoke, response) != 0) return answer;
        answer.result = response.head().errorCode;
        answer.data.assign(response.data().begin(), response.data().end());
        return answer;
    }
};

} // namespace KernelTest
