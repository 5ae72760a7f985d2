// The NC kernel link: start and stop, the section, the event pass, log forwarding and
// the interpreter initialisation, with the controller loop on a thread of the test and
// the kernel simulator on the other side.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>
#include <limits>

#include "core/stackmachine.h"
#include "gcode/wait_counter.h"
#include "core/variable.h"
#include "host/kernel/channel_nc2.h"
#include "link_test_support.h"
#include "support/kernelsim/logger_collector.h"

namespace KernelTest {
namespace {

using Karsto::ChannelNc2;
using Karsto::KernelInterface;
using Karsto::KernelInterfaceNc2;
using Karsto::StackmachineState;

using KernelLinkTest = LinkFixture;

TEST_F(KernelLinkTest, StartHoldsThePortAndStopLetsItGoKeepingTheRParameters) {
    EXPECT_FALSE(link_->isRunning());
    startLink();
    EXPECT_TRUE(log_->contains("[debugKiState] KernelInterfaceNc2::start"));
    EXPECT_TRUE(log_->contains("[debugKiState] KernelInterfaceNc2::zel::port=" +
                               std::to_string(link_->zel.VekGetPort())));
    EXPECT_NE(link_->zel.VekGetPort(), 0);
    EXPECT_EQ(link_->server->VekGetPort(), 11600);

    sim_->addChannel({4, "Kanal4", 1000, 0});
    ASSERT_EQ(initialise(), 0u);
    pause();
    EXPECT_TRUE(link_->isRunning());
    ASSERT_NE(link_->channelById(4), nullptr);
    const auto cells = link_->rParamCells;

    resume();
    controller_->kernelInterfaceStop();
    pause();
    EXPECT_TRUE(log_->contains("[debugKiState] KernelInterfaceNc2::stop"));
    EXPECT_FALSE(link_->isRunning());
    EXPECT_FALSE(link_->zel.VekIsConnected());
    EXPECT_FALSE(link_->server->VekIsConnected());
    EXPECT_EQ(link_->channelById(4), nullptr);
    EXPECT_TRUE(link_->channels.empty());
    EXPECT_TRUE(controller_->tasks.empty()) << "the channel's task goes with it";
    EXPECT_EQ(link_->rParams.size(), 1000u);
    EXPECT_EQ(link_->rParamCells, cells);
    EXPECT_TRUE(link_->initialised);

    // A new start connects both again.
    resume();
    controller_->kernelInterfaceStart();
    ASSERT_TRUE(within([&] { return serverAnswers(); }));
    pause();
    EXPECT_TRUE(link_->zel.VekIsConnected());
}

TEST_F(KernelLinkTest, TheSectionIsR0OfTheFirstChannelOnceInitialised) {
    EXPECT_EQ(link_->currentSection(), KernelInterface::kNoSection);
    startLink();
    sim_->addChannel({4, "Kanal4", 1000, 0});
    sim_->addChannel({7, "Kanal7", 1000, 0});
    ASSERT_EQ(initialise(), 0u);
    pause();
    EXPECT_EQ(link_->currentSection(), 0u) << "r0 starts at 0.0";

    constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const struct {
        double r0;
        uint64_t section;
    } cases[] = {
        {3.7, 3},
        {0.0, 0},
        {0.99, 0},
        {4294967296.5, 4294967296u},
        {1.8446744073709550e19, 18446744073709549568u}, // the largest double below 2^64
        {-0.5, 0},
        {-3.0, 0},
        {kNan, 0},
        {-kInf, 0},
        {18446744073709551616.0, KernelInterface::kNoSection - 1},
        {kInf, KernelInterface::kNoSection - 1},
    };
    for (const auto& c : cases) {
        controller_->sharedImage[0] = c.r0;
        EXPECT_EQ(link_->currentSection(), c.section) << c.r0;
    }
    // r0 of the second channel is not the section.
    controller_->sharedImage[0] = 2.0;
    controller_->sharedImage[1] = 5.0;
    EXPECT_EQ(link_->currentSection(), 2u);

    resume();
    controller_->kernelInterfaceStop();
    pause();
    EXPECT_EQ(link_->currentSection(), 2u) << "a stop keeps the R-parameters";
}

TEST_F(KernelLinkTest, InitialisationCreatesChannelsGroupsAndRParameters) {
    startLink();
    sim_->addChannel({4, "Kanal4", 1000, 1});
    sim_->addChannel({7, "Kanal7", 2000, 2});
    sim_->addChannel({9, "Kanal9", 3000, 3});
    sim_->addGroup({12, 2, 5, "Gruppe12", 7, 1});
    ASSERT_EQ(initialise(), 0u);
    // The state words are sent after the answer.
    ASSERT_TRUE(sim_->waitForRequests([](const std::vector<KernelSim::Request>& rs) {
        return std::any_of(rs.begin(), rs.end(), [](const KernelSim::Request& r) {
            return r.kind == KernelSim::Request::Kind::write && r.indexGroup == 0x2109;
        });
    }));
    pause();

    EXPECT_TRUE(log_->contains("[debugKiState] KernelInterfaceNc2::InitInterpreter"));
    EXPECT_TRUE(log_->contains("[debugKiState] KernelInterfaceNc2::InitInterpreter channelCount=3"));
    EXPECT_TRUE(log_->contains("[debugKiState] KernelInterfaceNc2::InitInterpreter groupCount=1"));
    EXPECT_TRUE(log_->contains("[debugKiState] KernelInterfaceNc2::channelAdd id=7 name=Kanal7 bufferSize=2000 itpType=2"));
    EXPECT_TRUE(log_->contains("[debugKiState] ChannelNc2::groupAdd id=12 type=5 name=Gruppe12 channelId=7"));

    ASSERT_EQ(link_->channels.size(), 3u);
    ChannelNc2* seven = link_->channelById(7);
    ASSERT_NE(seven, nullptr);
    EXPECT_EQ(link_->channels[1].get(), seven);
    EXPECT_EQ(seven->name, "Kanal7");
    EXPECT_EQ(seven->bufferSize, 2000);
    EXPECT_EQ(seven->itpType, 2);
    EXPECT_EQ(link_->channelByTask(seven->task), seven);
    ASSERT_EQ(seven->groups.size(), 1u);
    const Karsto::GroupNc2& group = *seven->groups.at(12);
    EXPECT_EQ(group.type, 5);
    EXPECT_EQ(group.name, "Gruppe12");
    EXPECT_EQ(group.channel, seven);
    EXPECT_EQ(group.numberInChannel, 1);
    EXPECT_TRUE(link_->channelById(4)->groups.empty());
    ASSERT_EQ(controller_->tasks.size(), 3u);
    EXPECT_EQ(controller_->tasks[2], link_->channelById(9)->task);

    for (int32_t id : {4, 7, 9}) EXPECT_EQ(stateWords(id), std::vector<int32_t>{1}) << id;

    EXPECT_EQ(link_->rParams.size(), 900u * 3 + 100);
    EXPECT_EQ(controller_->memoryShared.size(), 2800);
    EXPECT_EQ(link_->rParamCells.at(7005), 16);
    EXPECT_EQ(link_->rParamCells.at(4000), 0);
    EXPECT_EQ(link_->rParamCells.at(9899), 899 * 3 + 2);
    for (int32_t id : {4, 7, 9}) {
        EXPECT_EQ(link_->rParamCells.at(id * 1000 + 900), 2700);
        EXPECT_EQ(link_->rParamCells.at(id * 1000 + 999), 2799);
    }
    EXPECT_EQ(link_->rParams[0]->name(), "r0");
    EXPECT_EQ(link_->rParams[0]->flags(), 0x200);
    for (int64_t cell = 0; cell < 2800; ++cell) ASSERT_EQ(controller_->sharedImage[cell], 0.0) << cell;
    // Each machine sees its own r5 and the common r900.
    EXPECT_EQ(seven->task->machine->globalAddress("r5"), int64_t{0x80000000} + 16);
    EXPECT_EQ(link_->channelById(9)->task->machine->globalAddress("r900"), int64_t{0x80000000} + 2700);
}

TEST_F(KernelLinkTest, ZeroChannelsGiveOnlyTheCommonRParameters) {
    startLink();
    ASSERT_EQ(initialise(), 0u);
    pause();
    EXPECT_TRUE(link_->channels.empty());
    EXPECT_EQ(controller_->memoryShared.size(), 100);
    EXPECT_EQ(link_->rParams.size(), 100u);
    EXPECT_TRUE(link_->initialised);
    for (const KernelSim::Request& r : sim_->requests()) {
        EXPECT_NE(r.kind, KernelSim::Request::Kind::write) << "no state word";
        EXPECT_NE(r.indexOffset, 0x31u) << "no channel id list for a count of 0";
        EXPECT_NE(r.indexOffset, 0x32u) << "no group id list for a count of 0";
    }
}

TEST_F(KernelLinkTest, ReadsGoToPort500OnTheServersNetIdThroughAClientOfTheirOwn) {
    startLink();
    sim_->addChannel({4, "Kanal4", 1000, 1});
    sim_->addGroup({12, 2, 5, "Gruppe12", 4, 0});
    ASSERT_EQ(initialise(), 0u);
    pause();
    using Kind = KernelSim::Request::Kind;
    struct Read {
        uint32_t group, offset, length;
    };
    std::vector<Read> reads;
    for (const KernelSim::Request& r : sim_->requests())
        if (r.kind == Kind::read) reads.push_back({r.indexGroup, r.indexOffset, r.readLength});
    const std::vector<Read> expected = {
        {0x1100, 0x01, 4}, {0x1100, 0x31, 4}, {0x2004, 0x02, 100}, {0x2004, 0x05, 4}, {0x2004, 0x04, 4},
        {0x1100, 0x02, 4}, {0x1100, 0x32, 4}, {0x300C, 0x23, 4},   {0x300C, 0x03, 4}, {0x300C, 0x02, 100},
        {0x300C, 0x21, 4}, {0x300C, 0x24, 4},
    };
    ASSERT_EQ(reads.size(), expected.size());
    for (size_t i = 0; i < reads.size(); ++i) {
        EXPECT_EQ(reads[i].group, expected[i].group) << i;
        EXPECT_EQ(reads[i].offset, expected[i].offset) << i;
        EXPECT_EQ(reads[i].length, expected[i].length) << i;
    }
}

TEST_F(KernelLinkTest, AFailedReadIsLoggedAnsweredAndTheRParametersAreStillDeclared) {
    startLink();
    sim_->addChannel({4, "Kanal4", 1000, 1});
    sim_->addChannel({7, "Kanal7", 2000, 2});
    sim_->addChannel({9, "Kanal9", 3000, 3});
    sim_->failRead(0x2007, 0x05, 0x705);
    EXPECT_EQ(initialise(), 0x4000u);
    pause();
    EXPECT_TRUE(log_->contains("[error] Initialization of interpreter failed: ZelError 4000: "
                               "CNcIntpService::VekSignalInit() Cannot read channel buffsize"));
    ASSERT_EQ(link_->channels.size(), 1u);
    EXPECT_NE(link_->channelById(4), nullptr);
    EXPECT_EQ(link_->rParams.size(), 900u + 100);
    EXPECT_EQ(link_->rParamCells.at(4900), 900);
    EXPECT_TRUE(link_->initialised);
    EXPECT_EQ(stateWords(4), std::vector<int32_t>{1});
}

struct FailureCase {
    const char* what;
    std::vector<KernelSim::Channel> channels;
    std::vector<KernelSim::Group> groups;
    uint32_t answer;
    const char* line; // null: no error line
    size_t groupsOfChannel1;
};

const FailureCase kFailureCases[] = {
    {"GroupOfAnUnknownChannel",
     {{1, "K1", 10, 0}},
     {{21, 2, 1, "G21", 1, 0}, {22, 2, 1, "G22", 5, 0}, {23, 2, 1, "G23", 1, 1}},
     0x4010,
     "[error] Initialization of interpreter failed: ZelError 4010: ",
     1},
    {"ChannelIdListedTwice",
     {{1, "K1", 10, 0}, {1, "K1", 10, 0}},
     {},
     0x4000,
     "[error] Initialization of interpreter failed: ?: Channelid used more than one",
     0},
    {"NoInterpolationGroup", {{1, "K1", 10, 0}}, {{21, 3, 1, "G21", 1, 0}}, 0, nullptr, 0},
};

class InitialisationFailure : public LinkFixture, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(InitialisationFailure, KeepsWhatWasMadeBeforeAndAnswersTheCode) {
    const FailureCase& c = GetParam();
    for (const auto& channel : c.channels) sim_->addChannel(channel);
    for (const auto& group : c.groups) sim_->addGroup(group);
    startLink();
    EXPECT_EQ(initialise(), c.answer);
    pause();
    EXPECT_EQ(log_->count("[error]"), c.line ? 1u : 0u);
    if (c.line) {
        EXPECT_TRUE(log_->contains(c.line));
    }
    ASSERT_NE(link_->channelById(1), nullptr);
    EXPECT_EQ(link_->channelById(1)->groups.size(), c.groupsOfChannel1);
    EXPECT_EQ(link_->channels.size(), 1u);
    EXPECT_EQ(link_->rParams.size(), 1000u);
}

INSTANTIATE_TEST_SUITE_P(Cases, InitialisationFailure, ::testing::ValuesIn(kFailureCases),
                         [](const ::testing::TestParamInfo<FailureCase>& param) { return param.param.what; });

TEST_F(KernelLinkTest, ErrorsAndWarningsReachTheLoggerCutTo250Characters) {
    KernelSim::LoggerCollector logger;
    startLink();
    auto& log = Karsto::globalLog;
    const std::string exact = std::string(240, 'w'); // "[warning] " makes 250
    std::string longer(293, 'v'); // "[warning] " makes 303
    longer.replace(290, 3, "END");
    log.warning("%s", exact.c_str());
    log.warning("%s", longer.c_str());
    log.error("%s", "broken");
    log.info("%s", "not for the logger");
    log.debugKiState("%s", "nor this");
    log.warning("%s", "last");
    ASSERT_TRUE(logger.waitFor(4));
    const auto reports = logger.reports();
    ASSERT_EQ(reports.size(), 4u);
    EXPECT_EQ(reports[0].flags, 0x92u);
    EXPECT_EQ(reports[0].text, "[warning] " + exact);
    EXPECT_EQ(reports[0].deviceName, "Vordash");
    EXPECT_EQ(reports[1].flags, 0x92u);
    EXPECT_EQ(reports[1].text, "[warning] " + std::string(236, 'v') + " ...");
    EXPECT_EQ(reports[1].text.size(), 250u);
    EXPECT_EQ(reports[2].flags, 0x94u);
    EXPECT_EQ(reports[2].text, "[error] broken");
    EXPECT_EQ(reports[3].text, "[warning] last");
}

TEST_F(KernelLinkTest, TheListenerLeavesTheLogWithTheLink) {
    KernelSim::LoggerCollector logger;
    startLink();
    pause();
    link_.reset(); // server and listener go
    controller_->kernel = nullptr;
    Karsto::globalLog.warning("%s", "after the link");
    // A fresh port that reports to the logger proves the collector still listens.
    CZelR3 probe(0, 0, nullptr, 1);
    ASSERT_NE(probe.VekConnect(0, 4096, 80), 0);
    probe.ZelReportLog(0x92, "%s", "probe");
    ASSERT_TRUE(logger.waitFor(1));
    const auto reports = logger.reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].text, "probe");
    probe.portShutdown();
}

TEST_F(KernelLinkTest, OtherCommandsGoToTheLibrarysDispatchAndResponsesAreDropped) {
    startLink();
    VekCmd response;
    ASSERT_EQ(sim_->command(0x4020, {}, response), 0u);
    EXPECT_EQ(response.head().errorCode, 0x7F01u);
    pause();
    EXPECT_TRUE(log_->contains("[debugKiIO] KernelInterfaceNc2::executeEventCmd: Event cmdId=16416"));

    // A queued command that is itself a response: neither answered nor logged. (The
    // port drops responses before they are queued; the pass must not rely on that.)
    log_->clear();
    VekHead head;
    sim_->client().VekMakeHead(head, 0x4021, 0, KernelSim::KernelSimulator::interpreter(),
                               static_cast<uint16_t>(VekStateFlag::response), 0, 77);
    link_->server->VekDispatch(VekCmd(head, {}));
    link_->processEvents();
    EXPECT_TRUE(log_->lines().empty());
    EXPECT_EQ(link_->server->eventPop(), nullptr);
}

TEST_F(KernelLinkTest, TheEventPassResendsParkedRecordsBeforeItAnswers) {
    sim_->addChannel({4, "Kanal4", 1000, 0});
    sim_->addGroup({12, 2, 1, "G12", 4, 0});
    sim_->setRecordCapacity(12, 0);
    startLink();
    ASSERT_EQ(initialise(), 0u);
    pause();
    ChannelNc2* channel = link_->channelById(4);
    constexpr std::array<double, 5> kZeroQ{};
    channel->lineSend({1, 2, 3}, 10.0, kZeroQ, 1);
    channel->lineSend({4, 5, 6}, 10.0, kZeroQ, 2);
    ASSERT_EQ(channel->pendingCount(), 2u);
    constexpr int32_t kRecordBufferCounter = Karsto::waitCounterIndex(Karsto::WaitCounter::recordBuffer);
    ASSERT_EQ(channel->task->machine->getWaitCounter(kRecordBufferCounter), 0);

    // Room for one: the pass sends the first, the second stays parked.
    sim_->freeRecordRoom(12, 1);
    const std::string ping = "KernelInterfaceNc2::executeEventCmd: Event cmdId=16416";
    VekHead head;
    sim_->client().VekMakeHead(head, 0x4020, 0, KernelSim::KernelSimulator::interpreter(), 0, 0, 0);
    uint32_t invoke = 0;
    ASSERT_EQ(sim_->client().VekPost(VekCmd(head, {}), invoke), 0u);
    ASSERT_TRUE(serverAnswers()); // the command is queued
    const size_t before = sim_->requests().size();
    link_->processEvents();
    EXPECT_EQ(channel->pendingCount(), 1u);
    const std::vector<KernelSim::Request> requests = sim_->requests();
    ASSERT_GE(requests.size(), before + 1);
    EXPECT_EQ(requests[before].indexGroup, 0x320Cu);
    EXPECT_EQ(requests[before].result, 0u);
    EXPECT_TRUE(log_->contains("[debugKiIO] " + ping)) << "the command of the same pass";

    sim_->freeRecordRoom(12, 1);
    link_->processEvents();
    EXPECT_EQ(channel->pendingCount(), 0u);
    EXPECT_EQ(channel->task->machine->getWaitCounter(kRecordBufferCounter), 1);
    VekCmd response;
    EXPECT_EQ(sim_->client().VekAwait(invoke, response), 0u);
}

TEST_F(KernelLinkTest, ASecondInitialisationReplacesARunningChannel) {
    startLink();
    sim_->addChannel({4, "Kanal4", 1000, 0});
    sim_->addGroup({12, 2, 1, "G12", 4, 0});
    ASSERT_EQ(initialise(), 0u);
    pause();
    const std::string loop = dir_ + "/loop.jyx";
    std::ofstream(loop) << "{ r5 := 1.5; WHILE TRUE DO r6 := r6 + 1.0; END_WHILE }\n";
    ChannelNc2* first = link_->channelById(4);
    first->programLoad(loop);
    ASSERT_EQ(first->task->state, StackmachineState::stopped) << (first->task->error ? first->task->error->what() : "");
    first->task->start();
    for (int64_t cell = 0; cell < controller_->memoryShared.size(); ++cell) controller_->sharedImage[cell] = 1.0;
    resume();
    ASSERT_TRUE(within([&] { return stateWords(4) == std::vector<int32_t>{1, 15, 2, 3, 4, 5}; })) << "it runs";
    ASSERT_EQ(initialise(), 0u);
    pause();

    ASSERT_EQ(controller_->tasks.size(), 1u);
    ChannelNc2* second = link_->channelById(4);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(controller_->tasks[0], second->task);
    EXPECT_NE(second->task->state, StackmachineState::running);
    for (int64_t cell = 0; cell < controller_->memoryShared.size(); ++cell)
        ASSERT_EQ(controller_->sharedImage[cell], 0.0) << cell;
    // The R-parameters of the new channel are declared once: the program compiles.
    second->programLoad(loop);
    EXPECT_EQ(second->task->state, StackmachineState::stopped)
        << (second->task->error ? second->task->error->what() : "");
    EXPECT_EQ(log_->count("[error]"), 0u);
}

} // namespace
} // namespace KernelTest
