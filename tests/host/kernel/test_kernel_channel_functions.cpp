// The kernel's channel functions (writes of 0x2200 plus the channel id), sent by the
// kernel simulator to a link initialised with channels 4 and 9.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/stackmachine.h"
#include "frontend/scanner_input.h"
#include "gcode/gprocessor_nc2.h"
#include "gcode/snapshot_file.h"
#include "gcode/wait_counter.h"
#include "geometry/ncmd_queue.h"
#include "request_test_support.h"

namespace KernelTest {
namespace {

using KernelSim::BlockSearchRequest;
using KernelSim::ChannelFunction;
using Karsto::SearchMode;
using Karsto::WaitCounter;

int32_t counterOf(ChannelNc2& channel, WaitCounter counter) {
    return channel.task->machine->getWaitCounter(Karsto::waitCounterIndex(counter));
}

class ChannelFunctionTest : public KernelRequestTest {
protected:
    void SetUp() override {
        KernelRequestTest::SetUp();
        savedDataPath_ = Karsto::defaultDataPath;
        Karsto::defaultDataPath = dir_;
    }
    void TearDown() override {
        KernelRequestTest::TearDown();
        Karsto::defaultDataPath = savedDataPath_;
    }

    std::string program(const std::string& name, const std::string& source) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path) << source;
        return path;
    }
    uint32_t function(int32_t id, ChannelFunction f, const Bytes& data = {}) {
        return sim_->channelFunction(id, f, data);
    }
    // The state words of channel 4 once they end with the tail.
    bool wordsEndWith(const std::vector<int32_t>& tail) {
        return within([&] {
            const std::vector<int32_t> words = stateWords(4);
            return words.size() >= tail.size() && std::equal(tail.rbegin(), tail.rend(), words.rbegin());
        });
    }
    // Checks the condition with the loop paused, until it holds.
    template <class Condition>
    bool pausedUntil(Condition condition) {
        return within([&] {
            pause();
            const bool holds = condition();
            resume();
            return holds;
        });
    }
    std::vector<std::string> recordTexts() {
        std::vector<std::string> out;
        for (const KernelSim::Nc2Decoded& r : sim_->records()) out.push_back(r.text());
        return out;
    }

    std::string savedDataPath_;
};

// ---- loading and starting ----------------------------------------------------------

TEST_F(ChannelFunctionTest, LoadProgTxtOpensTheMappedPathAndReportsIt) {
    ::setenv("VORDASH_DRIVE_ROOT", dir_.c_str(), 1);
    std::filesystem::create_directories(dir_ + "/jobs");
    program("jobs/part.jyx", "N10 G1 X1 F600\n");
    const std::string kernelPath = "C:\\jobs\\part.jyx";
    ASSERT_EQ(sim_->loadProgram(4, kernelPath), 0u);
    pause();
    EXPECT_TRUE(log_->contains("[debugKiIO] KernelInterfaceNc2: WRITE CHNFUNCS LOADPROGTXT strlen=17"));
    EXPECT_EQ(channel(4).task->state, StackmachineState::stopped);
    const std::vector<KernelSim::Request> requests = sim_->requests();
    ASSERT_GE(requests.size(), 3u);
    const KernelSim::Request& shown = requests.back();
    EXPECT_EQ(shown.indexGroup, 0x2104u);
    EXPECT_EQ(shown.indexOffset, 7u);
    EXPECT_EQ(shown.data, text("C:/jobs/part.jyx", 17)) << "forward slashes and the NUL";
    EXPECT_EQ(stateWords(4), (std::vector<int32_t>{1, 15, 2}));
    resume();

    // Up to 259 bytes, the path ends at its first NUL; without a NUL all of it is the path.
    EXPECT_EQ(write(0x2204, 0x04, text(kernelPath, 259)), 0u);
    EXPECT_EQ(write(0x2204, 0x04, text(kernelPath, 260)), 0x705u);
    EXPECT_EQ(write(0x2204, 0x04, Bytes(kernelPath.begin(), kernelPath.end())), 0u);
    EXPECT_EQ(write(0x2204, 0x04, text("C:\\jobs\\none.jyx", 20)), 0x4111u) << "a missing file";
    pause();
    EXPECT_TRUE(log_->contains("[debugKiIO] KernelInterfaceNc2: WRITE CHNFUNCS LOADPROGTXT strlen=260"))
        << "logged before the length check";
    ::unsetenv("VORDASH_DRIVE_ROOT");
}

TEST_F(ChannelFunctionTest, ASemanticErrorIsAnsweredAndWrittenToTheErrorWordAfterTheAnswer) {
    const std::string path = program("bad.jyx", "{ r1 := nirgends; }\n");
    ASSERT_EQ(sim_->loadProgram(4, path), 0x4112u);
    ASSERT_TRUE(sim_->waitForRequests([](const std::vector<KernelSim::Request>& r) {
        return !r.empty() && r.back().indexGroup == 0x2104u && r.back().indexOffset == 1;
    }));
    pause();
    EXPECT_EQ(sim_->requests().back().data, int32s({0x4112}));
    EXPECT_EQ(stateWords(4), (std::vector<int32_t>{1, 11, 12}));
    EXPECT_TRUE(log_->contains("[error] Kanal4: " + path +
                               ": 1.9-1.17: Undeclared variable or enumeration value 'nirgends'. in line "
                               "'{ r1 := nirgends; }\n'"));
    EXPECT_EQ(channel(4).task->state, StackmachineState::error);
}

TEST_F(ChannelFunctionTest, StartProgRunsAFinishedProgramAgainAndLeavesOthersAlone) {
    sim_->startServing();
    ASSERT_EQ(sim_->loadProgram(4, program("p.jyx", "N10 G1 X1 F600\nN20 X2\n")), 0u);
    ASSERT_EQ(sim_->startProgram(4), 0u);
    ASSERT_TRUE(wordsEndWith({3, 4, 5, 9, 2}));
    const std::vector<std::string> first = recordTexts();
    ASSERT_FALSE(first.empty());

    ASSERT_EQ(sim_->startProgram(4), 0u);
    ASSERT_TRUE(wordsEndWith({9, 2, 3, 4, 5, 9, 2}));
    std::vector<std::string> all = recordTexts();
    ASSERT_EQ(all.size(), 2 * first.size());
    EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(first.size()), all.end()), first)
        << "from its first item, start records included";

    // A running program (waiting for the go-ahead) and a failed one stay as they are.
    ASSERT_EQ(sim_->loadProgram(4, program("w.jyx", "{ wait(); }\nN10 G1 X1 F600\n")), 0u);
    ASSERT_EQ(sim_->startProgram(4), 0u);
    ASSERT_TRUE(pausedUntil([&] { return counterOf(channel(4), WaitCounter::wait) < 1; }));
    size_t words = stateWords(4).size();
    EXPECT_EQ(sim_->startProgram(4), 0u);
    pause();
    EXPECT_EQ(channel(4).task->state, StackmachineState::running);
    EXPECT_EQ(stateWords(4).size(), words);
    resume();
    ASSERT_EQ(sim_->loadProgram(4, program("bad.jyx", "{ r1 := nirgends; }\n")), 0x4112u);
    words = stateWords(4).size();
    EXPECT_EQ(sim_->startProgram(4), 0u);
    pause();
    EXPECT_EQ(channel(4).task->state, StackmachineState::error);
    EXPECT_EQ(stateWords(4).size(), words);
    EXPECT_EQ(log_->count("[debugKiIO] KernelInterfaceNc2: WRITE CHNFUNCS STARTPROG"), 5u);
}

TEST_F(ChannelFunctionTest, ParkedRecordsKeepTheProgramWaitingAcrossLoadAndStart) {
    sim_->startServing();
    sim_->setRecordCapacity(14, 0);
    const std::string path = program("p.jyx", "N10 G1 X1 F600\nN20 X2\n");
    ASSERT_EQ(sim_->loadProgram(4, path), 0u);
    ASSERT_EQ(sim_->startProgram(4), 0u);
    ASSERT_TRUE(pausedUntil([&] { return channel(4).pendingCount() > 0; }));
    // A new load and start reset the machine's counters: the parked records still hold it.
    ASSERT_EQ(sim_->loadProgram(4, path), 0u);
    ASSERT_EQ(sim_->startProgram(4), 0u);
    pause();
    EXPECT_GT(channel(4).pendingCount(), 0u);
    EXPECT_EQ(counterOf(channel(4), WaitCounter::recordBuffer), 0);
    EXPECT_EQ(channel(4).task->state, StackmachineState::running);
    const std::vector<int32_t> words = stateWords(4);
    EXPECT_EQ(std::count(words.begin(), words.end(), 9), 0) << "not finished";
    resume();

    sim_->freeRecordRoom(14, 1000);
    Bytes out;
    ASSERT_EQ(read(0x2104, 3, 4, out), 0u); // an event pass resends the parked records
    ASSERT_TRUE(wordsEndWith({9, 2}));
}

// ---- operation mode, go-ahead ------------------------------------------------------

TEST_F(ChannelFunctionTest, OnlyTheSingleStepModeIsRefused) {
    const Answer single = raw(ZelCommandId::write, 0x2204, 0x05, 0, {0x00, 0x40});
    EXPECT_EQ(single.result, 0x701u);
    EXPECT_EQ(write(0x2204, 0x05, {0x01, 0x00}), 0u);
    EXPECT_EQ(write(0x2204, 0x05, {0x00}), 0x705u);
    pause();
    EXPECT_EQ(log_->count("[debugKiIO] KernelInterfaceNc2: WRITE CHNFUNCS ITPOPMODE (SINGLE STEP MODE)"), 3u);
    EXPECT_EQ(log_->count("[error] ZelError:  (1793)"), 1u);
    EXPECT_EQ(link_->server->eventPop(), nullptr) << "nothing left to answer";
}

TEST_F(ChannelFunctionTest, GoAheadReleasesOneWaitOnly) {
    ASSERT_EQ(sim_->loadProgram(4, program("w.jyx", "{ wait(); }\nN10 G1 X1 F600\n")), 0u);
    sim_->startServing();
    ASSERT_EQ(sim_->startProgram(4), 0u);
    ASSERT_TRUE(pausedUntil([&] { return counterOf(channel(4), WaitCounter::wait) < 1; }));
    EXPECT_EQ(sim_->goAhead(4), 0u);
    ASSERT_TRUE(wordsEndWith({9, 2})) << "the program goes on";
    EXPECT_EQ(sim_->goAhead(4), 0x410Au);
    pause();
    EXPECT_EQ(counterOf(channel(4), WaitCounter::wait), 1);
    EXPECT_TRUE(log_->contains("[error] ZelError:  (16650)"));
    EXPECT_EQ(log_->count("[debugKiIO] KernelInterfaceNc2: WRITE CHNFUNCS GOAHEAD"), 2u);
}

// ---- block search ------------------------------------------------------------------

TEST_F(ChannelFunctionTest, BlockSearchChecksItsDataAndSetsTheSearch) {
    BlockSearchRequest good;
    good.target = 30;
    good.percent = 25.0;
    good.kind = 2;
    good.searchKind = 2;
    good.takeAxes = true;
    Bytes longer = good.bytes();
    longer.push_back(0);
    Bytes shorter = good.bytes();
    shorter.pop_back();
    BlockSearchRequest noTarget = good;
    noTarget.target = 0;
    const struct {
        Bytes data;
        uint32_t result;
    } refused[] = {
        {longer, 0x705}, {shorter, 0x705}, {noTarget.bytes(), 0x70B},
        {[&] { auto r = good; r.kind = 0; return r.bytes(); }(), 0x70B},
        {[&] { auto r = good; r.kind = 3; return r.bytes(); }(), 0x70B},
    };
    for (const auto& c : refused) EXPECT_EQ(write(0x2204, 0x18, c.data), c.result);
    pause();
    EXPECT_FALSE(channel(4).processor->blockSearch.active) << "refused searches change nothing";
    EXPECT_EQ(channel(4).processor->queue().search().searchMode, SearchMode::none);
    EXPECT_EQ(log_->count("[debugKiIO] KernelInterfaceNc2: WRITE CHNFUNCS ENABLEBLOCKSEARCH TRACE"), 5u);
    resume();

    ASSERT_EQ(sim_->enableBlockSearch(4, good), 0u);
    pause();
    {
        const Karsto::GProcessorNc2& p = *channel(4).processor;
        const Karsto::BlockSearch& s = const_cast<Karsto::GProcessorNc2&>(p).queue().search();
        EXPECT_TRUE(p.blockSearch.active);
        EXPECT_EQ(p.blockSearch.target, 30u);
        EXPECT_TRUE(p.blockSearch.axisAnswerInSearch);
        EXPECT_EQ(s.searchMode, SearchMode::bySerial) << "kind 2 is mode 1";
        EXPECT_EQ(s.searchTarget, 30);
        EXPECT_EQ(s.searchPercent, 25.0);
        EXPECT_EQ(s.searchKind, 2);
    }
    resume();
    good.kind = 1;
    good.takeAxes = false;
    good.target = 0xFFFFFFFFu;
    ASSERT_EQ(sim_->enableBlockSearch(4, good), 0u);
    pause();
    EXPECT_EQ(channel(4).processor->queue().search().searchMode, SearchMode::byBlockNumber) << "kind 1 is mode 2";
    EXPECT_EQ(channel(4).processor->queue().search().searchTarget, 0xFFFFFFFFll) << "upper half 0";
    EXPECT_FALSE(channel(4).processor->blockSearch.axisAnswerInSearch);
    EXPECT_FALSE(channel(9).processor->blockSearch.active);
    resume();

    ASSERT_EQ(sim_->stepOnAfterBlockSearch(4), 0u);
    pause();
    EXPECT_EQ(channel(4).processor->queue().search().searchMode, SearchMode::none);
    EXPECT_FALSE(channel(4).processor->blockSearch.active);
    EXPECT_TRUE(channel(4).processor->blockSearch.steppedOn);
    EXPECT_EQ(counterOf(channel(4), WaitCounter::blockSearch), 2) << "given back without being taken";
}

TEST_F(ChannelFunctionTest, ASearchByBlockNumberHoldsAtTheTargetUntilTheStepOn) {
    sim_->startServing();
    ASSERT_EQ(sim_->loadProgram(4, program("s.jyx", "N10 G1 X10 F600\nN20 X20\nN30 X30\nN40 X40\nN50 X50\n")), 0u);
    BlockSearchRequest search;
    search.target = 30;
    search.percent = 50.0;
    search.kind = 1;
    ASSERT_EQ(sim_->enableBlockSearch(4, search), 0u);
    ASSERT_EQ(sim_->startProgram(4), 0u);
    ASSERT_TRUE(pausedUntil([&] { return counterOf(channel(4), WaitCounter::blockSearch) < 1; }))
        << "held at the target";
    auto geoOf = [&](int32_t block) {
        std::vector<KernelSim::Nc2Decoded> found;
        for (const KernelSim::Nc2Decoded& r : sim_->records())
            if (r.type == 2 && r.blockNumber == block) found.push_back(r);
        return found;
    };
    EXPECT_TRUE(geoOf(10).empty());
    EXPECT_TRUE(geoOf(20).empty());
    ASSERT_EQ(geoOf(30).size(), 1u);
    EXPECT_EQ(geoOf(30)[0].end.x, 30.0);
    EXPECT_TRUE(geoOf(40).empty()) << "delivery holds after the target";
    EXPECT_TRUE(geoOf(50).empty());

    ASSERT_EQ(sim_->stepOnAfterBlockSearch(4), 0u);
    ASSERT_TRUE(wordsEndWith({9, 2}));
    ASSERT_EQ(geoOf(40).size(), 1u);
    EXPECT_EQ(geoOf(40)[0].end.x, 40.0);
    ASSERT_EQ(geoOf(50).size(), 1u);
    EXPECT_EQ(sim_->serveFailures(), 0u);
}

// ---- tool data, snapshots, zero offsets --------------------------------------------

TEST_F(ChannelFunctionTest, SnapshotsSaveAndLoadThroughTheDataDirectory) {
    const std::string file = dir_ + "/JyxSnapShot.bin";
    Bytes request(36, 0);
    request[32] = 6;
    EXPECT_EQ(write(0x2204, 0x25, request), 0x700u) << "no file to load";
    EXPECT_EQ(write(0x2204, 0x24, Bytes(5, 0)), 0x705u);
    EXPECT_EQ(write(0x2204, 0x25, Bytes(8, 0)), 0x705u);
    EXPECT_FALSE(std::filesystem::exists(file));
    paused([&] {
        Karsto::ZeroOffset zos;
        zos.x = 12.5;
        channel(4).processor->setZeroOffset(1, zos);
        channel(4).processor->tools.setNumber(3, 77);
    });
    ASSERT_EQ(write(0x2204, 0x24, request), 0u);
    ASSERT_TRUE(std::filesystem::exists(file));
    const Karsto::SnapshotFile snapshot(dir_);
    const auto zeroOffsets = snapshot.readZeroOffsets();
    ASSERT_TRUE(zeroOffsets.has_value());
    EXPECT_EQ((*zeroOffsets)[1].x, 12.5);
    const auto tools = snapshot.readTools();
    ASSERT_TRUE(tools.has_value());
    EXPECT_EQ((*tools)[2].number, 77);

    // The mask alone: loads the zero offsets and tools back.
    paused([&] {
        channel(4).processor->setZeroOffset(1, Karsto::ZeroOffset());
        channel(4).processor->tools.setNumber(3, 0);
    });
    ASSERT_EQ(write(0x2204, 0x25, int32s({6})), 0u);
    pause();
    EXPECT_EQ(channel(4).processor->zeroOffsets().entry(1).x, 12.5);
    EXPECT_EQ(channel(4).processor->tools.number(3), 77);
    EXPECT_EQ(log_->count("[debugKiIO] KernelInterfaceNc2: WRITE CHNFUNCS SAVE SNAPSHOT"), 1u)
        << "logged after the length check";
    EXPECT_EQ(log_->count("[debugKiIO] KernelInterfaceNc2: WRITE CHNFUNCS LOAD SNAPSHOT"), 2u);
}

TEST_F(ChannelFunctionTest, ZeroingToolsAndZeroOffsets) {
    SharedLogCapture shifts({Karsto::LogLevel::debugGProcessor});
    paused([&] {
        Karsto::GProcessorNc2& p = *channel(4).processor;
        Karsto::ZeroOffset zos;
        zos.x = 1;
        zos.y = 2;
        zos.z = 3;
        zos.q = {4, 5, 6, 7, 8};
        for (int32_t i = 0; i < 8; ++i) p.setZeroOffset(i, zos);
        p.setProgrammableZeroOffset(0, zos);
        p.setProgrammableZeroOffset(1, zos);
        for (int t : {1, 128, 255}) {
            p.tools.setNumber(t, t);
            p.tools.setToolType(t, 2);
            p.tools.setParam(t, 14, 1.5);
        }
        shifts.clear();
    });
    ASSERT_EQ(write(0x2204, 0x27, {}), 0u);
    ASSERT_EQ(write(0x2204, 0x26, {}), 0u);
    pause();
    Karsto::GProcessorNc2& p = *channel(4).processor;
    for (int32_t i = 0; i < 8; ++i) {
        const Karsto::ZeroOffset zos = p.zeroOffsets().entry(i);
        EXPECT_EQ(zos.x, 0.0);
        EXPECT_EQ(zos.q[4], 0.0) << i;
    }
    EXPECT_EQ(p.zeroOffsets().entry(8).x, 1.0) << "programmable offsets stay";
    EXPECT_EQ(p.zeroOffsets().entry(9).q[4], 8.0);
    EXPECT_EQ(shifts.count("[debugGProcessor] A ZERO OFFSET SHIFT"), 64u);
    for (int t : {1, 128, 255}) {
        EXPECT_EQ(p.tools.number(t), 0);
        EXPECT_EQ(p.tools.toolType(t), 0);
        EXPECT_EQ(p.tools.param(t, 14), 0.0);
    }
    EXPECT_EQ(channel(9).processor->zeroOffsets().entry(0).x, 0.0);
}

TEST_F(ChannelFunctionTest, ToolDataFilesAndRefusedAccess) {
    paused([&] { channel(4).processor->tools.setNumber(2, 42); });
    ASSERT_EQ(write(0x2204, 0x22, {}), 0u);
    const std::string file = dir_ + "/4.WZ";
    ASSERT_TRUE(std::filesystem::exists(file));
    paused([&] { channel(4).processor->tools.setNumber(2, 0); });
    ASSERT_EQ(write(0x2204, 0x23, {}), 0u);
    paused([&] { EXPECT_EQ(channel(4).processor->tools.number(2), 42); });

    std::ofstream(file, std::ios::trunc) << "nonsense\n";
    EXPECT_EQ(write(0x2204, 0x23, {}), 0x700u);
    Bytes out;
    EXPECT_EQ(write(0x2204, 0x99, {}), 0x703u);
    EXPECT_EQ(read(0x2204, 0x02, 4, out), 0x704u);
    EXPECT_EQ(readWrite(0x2204, 0x02, 4, int32s({0}), out), 0x704u);
    EXPECT_EQ(write(0x2207, 0x02, {}), 0x702u);
    pause();
    bool logged = false;
    for (const std::string& line : log_->lines())
        logged |= line.rfind("[error] Kanal4: ", 0) == 0 && line.find("in line ''") != std::string::npos;
    EXPECT_TRUE(logged);
    // Written back as loaded when the channel goes: keep the file well-formed for it.
    std::filesystem::remove(file);
}

TEST_F(ChannelFunctionTest, ResetAndStopUnloadTheChannel) {
    ASSERT_EQ(sim_->loadProgram(4, program("p.jyx", "N10 G1 X1 F600\n")), 0u);
    ASSERT_EQ(function(4, ChannelFunction::stop), 0u);
    ASSERT_TRUE(wordsEndWith({15, 2, 1}));
    ASSERT_EQ(sim_->loadProgram(4, program("p.jyx", "N10 G1 X1 F600\n")), 0u);
    ASSERT_EQ(function(4, ChannelFunction::reset), 0u);
    ASSERT_TRUE(wordsEndWith({15, 2, 1}));
    pause();
    EXPECT_EQ(channel(4).task->state, StackmachineState::undefined);
    EXPECT_EQ(sim_->groupFunctions(14).size(), 2u) << "stop, then reset";
    EXPECT_TRUE(log_->contains("[debugKiIO] KernelInterfaceNc2: WRITE CHNFUNCS RESET"));
    EXPECT_TRUE(log_->contains("[debugKiIO] KernelInterfaceNc2: WRITE CHNFUNCS STOP"));
}

} // namespace
} // namespace KernelTest
