// The kernel's NC command events (0x4016): sent by the kernel simulator to a link
// initialised with channels 4 and 9; each gives back the counters its wait took.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/stackmachine.h"
#include "gcode/gprocessor_nc2.h"
#include "gcode/interpolation.h"
#include "gcode/wait_counter.h"
#include "geometry/ncmd_queue.h"
#include "request_test_support.h"

namespace KernelTest {
namespace {

using KernelSim::NcEvent;
using Karsto::WaitCounter;

class NcEventTest : public KernelRequestTest {
protected:
    void SetUp() override {
        KernelRequestTest::SetUp();
        // A loaded program that is not started: nothing steps, the counters stay ours.
        const std::string path = dir_ + "/p.jyx";
        std::ofstream(path) << "N10 G1 X1 F600\n";
        ASSERT_EQ(sim_->loadProgram(4, path), 0u);
    }

    // Sends the event and expects the answer 0.
    void event(NcEvent type, int32_t channelId, uint32_t value = 0, const Bytes& payload = {}) {
        uint32_t answer = 0x7FFFFFFF;
        ASSERT_EQ(sim_->ncEvent(type, channelId, value, payload, answer), 0u);
        EXPECT_EQ(answer, 0u);
    }
    // The same for an event type with no name of its own.
    void rawEvent(int32_t type, int32_t channelId) {
        VekCmd response;
        ASSERT_EQ(sim_->command(KernelSim::kNcEventCommand, KernelSim::KernelSimulator::ncEventData(type, channelId, 0, {}),
                                response),
                  0u);
        EXPECT_EQ(response.head().errorCode, 0u);
    }

    Karsto::Stackmachine& machine() { return *channel(4).task->machine; }
    int32_t counter(WaitCounter c) { return machine().getWaitCounter(Karsto::waitCounterIndex(c)); }
    void take(WaitCounter c) { machine().decWaitCounter(Karsto::waitCounterIndex(c)); }
};

TEST_F(NcEventTest, SyncReachedGivesBackTheSyncAndThenTheDistanceToGoCounter) {
    const struct {
        int32_t takenSyncs;
        std::vector<std::pair<int32_t, int32_t>> after; // counters 0 and 4 after each event
    } cases[] = {
        {1, {{1, 2}}},
        {2, {{0, 1}, {1, 2}}},
    };
    for (const auto& c : cases) {
        paused([&] {
            machine().reset();
            for (int32_t i = 0; i < c.takenSyncs; ++i) take(WaitCounter::sync);
        });
        for (const auto& [sync, distanceToGo] : c.after) {
            event(NcEvent::syncReached, 4);
            pause();
            EXPECT_EQ(counter(WaitCounter::sync), sync) << c.takenSyncs;
            EXPECT_EQ(counter(WaitCounter::deleteDistanceToGo), distanceToGo) << c.takenSyncs;
            resume();
        }
    }
}

TEST_F(NcEventTest, SyncReachedAfterAStepOnEndsTheSplit) {
    auto setSplit = [&](bool steppedOn) {
        paused([&] {
            Karsto::GProcessorNc2& p = *channel(4).processor;
            p.blockSearch.steppedOn = steppedOn;
            p.queue().search().splitSerial = 17;
            p.queue().search().splitFraction = 0.25;
        });
    };
    setSplit(false);
    event(NcEvent::syncReached, 4);
    pause();
    EXPECT_EQ(channel(4).processor->queue().search().splitSerial, 17);
    resume();
    setSplit(true);
    event(NcEvent::syncReached, 4);
    pause();
    EXPECT_EQ(channel(4).processor->queue().search().splitSerial, 0);
    EXPECT_EQ(channel(4).processor->queue().search().splitFraction, 0.0);
}

TEST_F(NcEventTest, DisableMaskIsTheZeroExtendedValue) {
    paused([&] { channel(4).processor->disableMask = ~uint64_t{0}; });
    event(NcEvent::disableMask, 4, 0x80000001u);
    pause();
    EXPECT_EQ(channel(4).processor->disableMask, 0x80000001u);
    EXPECT_EQ(channel(9).processor->disableMask, 0u);
    EXPECT_TRUE(log_->contains("[debugKiIO] KernelInterfaceNc2: disablemask channel=4 mask=0x80000001"));
}

TEST_F(NcEventTest, AxisPositionsUpdateTheAxesOrZerosDuringASearch) {
    const Bytes positions = doubles({1, 2, 3, 4, 5, 6, 7, 8});
    const struct {
        bool searching, takeAxes;
        double x, q5;
    } cases[] = {
        {false, false, 1, 8},
        {true, true, 1, 8},
        {true, false, 0, 0},
    };
    for (const auto& c : cases) {
        paused([&] {
            Karsto::GProcessorNc2& p = *channel(4).processor;
            p.blockSearch.active = c.searching;
            p.blockSearch.axisAnswerInSearch = c.takeAxes;
            p.updateAxes(Karsto::AxisPositions{9, 9, 9, {9, 9, 9, 9, 9}});
            take(WaitCounter::axisQuery);
        });
        event(NcEvent::axisPositions, 4, 0, positions);
        pause();
        Karsto::GProcessorNc2& p = *channel(4).processor;
        EXPECT_EQ(p.programPose().x, c.x) << c.searching << c.takeAxes;
        EXPECT_EQ(p.programPose().z, c.x == 0 ? 0.0 : 3.0);
        EXPECT_EQ(p.interpolation().current()[4], c.q5);
        EXPECT_EQ(counter(WaitCounter::axisQuery), 1) << "given back";
        resume();
    }
}

TEST_F(NcEventTest, CurrentLineAndDistanceToGoDeleted) {
    event(NcEvent::currentLine, 4, 0, int32s({17}));
    const size_t before = sim_->requests().size();
    event(NcEvent::distanceToGoDeleted, 4);
    pause();
    EXPECT_EQ(channel(4).currentLine, 17);
    EXPECT_EQ(counter(WaitCounter::axisQuery), 0) << "waits for the positions";
    EXPECT_EQ(counter(WaitCounter::deleteDistanceToGo), 2);
    const std::vector<KernelSim::Request> requests = sim_->requests();
    ASSERT_EQ(requests.size(), before + 2);
    EXPECT_EQ(requests[before].indexGroup, 0x1408u) << "the axis query";
    EXPECT_EQ(requests[before].data, int32s({6, 4, 0}));
    const std::vector<KernelSim::Nc2Decoded> records = sim_->records();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().type, 16);
    EXPECT_EQ(records.back().value, 0);
}

TEST_F(NcEventTest, OtherTypesUnknownChannelsAndShortCommandsChangeNothing) {
    paused([&] { channel(4).currentLine = 5; });
    const size_t before = sim_->requests().size();
    for (int32_t type : {2, 5, 6, 8, 9, 10, -1}) rawEvent(type, 4);
    event(NcEvent::syncReached, 99);
    event(NcEvent::distanceToGoDeleted, 99);
    pause();
    EXPECT_EQ(sim_->requests().size(), before);
    for (WaitCounter c : {WaitCounter::sync, WaitCounter::axisQuery, WaitCounter::deleteDistanceToGo})
        EXPECT_EQ(counter(c), 1);
    EXPECT_EQ(channel(4).currentLine, 5);
    resume();

    // Twelve bytes: type 4 for channel 4; the line is read as the padding's zero.
    VekCmd response;
    ASSERT_EQ(sim_->command(KernelSim::kNcEventCommand, int32s({4, 0, 4}), response), 0u);
    EXPECT_EQ(response.head().errorCode, 0u);
    ASSERT_EQ(sim_->command(KernelSim::kNcEventCommand, {}, response), 0u);
    EXPECT_EQ(response.head().errorCode, 0u);
    pause();
    EXPECT_EQ(channel(4).currentLine, 0);
    EXPECT_EQ(log_->count("[debugKiState] KernelInterfaceNc2::nccmdEvent eventType="), 11u);
}

// The kernel's side played by the simulator: the program's axis query at its start and
// its synchronisation point are answered only through the events it sends.
TEST_F(NcEventTest, AProgramBlockedOnSyncRunsOnWhenTheKernelEchoesTheSyncRecord) {
    const std::string path = dir_ + "/sync.jyx";
    std::ofstream(path) << "N10 G1 X1 F600\n{ sync(); }\nN20 G1 X2\n";
    ASSERT_EQ(sim_->loadProgram(4, path), 0u);
    sim_->setAxisPositions(4, {0, 0, 0, 0, 0, 0, 0, 0});
    ASSERT_EQ(sim_->startProgram(4), 0u);
    ASSERT_TRUE(within([&] {
        sim_->serveEvents();
        const std::vector<int32_t> words = stateWords(4);
        return words.size() >= 2 && words[words.size() - 2] == 9 && words.back() == 2;
    }));
    EXPECT_EQ(sim_->servedCount(), 2u) << "the axis answer and the sync point";
    EXPECT_EQ(sim_->serveFailures(), 0u);
    pause();
    EXPECT_EQ(counter(WaitCounter::deleteDistanceToGo), 2) << "raised with the sync";
}

} // namespace
} // namespace KernelTest
