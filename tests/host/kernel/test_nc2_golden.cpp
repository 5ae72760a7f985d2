// Golden record streams: each program under tests/programs/nc2/ runs in a kernel channel
// against the kernel simulator, and the records the kernel takes, one text line each
// (the simulator's decoding), must equal <case>.expected beside it. A run that fails
// ends the stream with a line "error: " and the error's text.
//
// Goldens change only deliberately: VORDASH_UPDATE_GOLDEN=1 writes the streams of this
// run into the .expected files, for review in the diff.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "channel_test_support.h"
#include "core/exception.h"
#include "core/stackmachine.h"
#include "gcode/gprocessor_nc2.h"
#include "gcode/wait_counter.h"
#include "host/kernel/mfunc_desc.h"

namespace KernelTest {
namespace {

using namespace Karsto;

const std::string kStreamDirectory = VORDASH_TEST_DATA_DIR "/programs/nc2";
constexpr int64_t kStepLimit = 1000000;

std::vector<std::string> streamCases() {
    std::vector<std::string> names;
    if (!std::filesystem::is_directory(kStreamDirectory)) return names;
    for (const auto& entry : std::filesystem::directory_iterator(kStreamDirectory))
        if (entry.path().extension() == ".jyx") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

class Stream : public ChannelFixture, public ::testing::WithParamInterface<std::string> {
protected:
    // The kernel's side of the waits a program takes: the axis positions, the
    // synchronisation points and the go-ahead, each answered as soon as it blocks.
    static void answerWaits(ChannelNc2& channel) {
        Stackmachine& machine = *channel.task->machine;
        const WaitCounter answered[] = {WaitCounter::sync, WaitCounter::wait, WaitCounter::axisQuery,
                                        WaitCounter::deleteDistanceToGo};
        for (WaitCounter counter : answered) {
            const int32_t index = waitCounterIndex(counter);
            if (machine.getWaitCounter(index) >= 1) continue;
            if (counter == WaitCounter::axisQuery) channel.processor->updateAxes(AxisPositions{});
            machine.incWaitCounter(index);
        }
    }

    std::vector<std::string> run(const std::string& path) {
        ChannelNc2* channel = channelAdd(3, "Kanal3", {4});
        // The descriptions every stream runs with.
        channel->mFuncDescAdd(descOf(3, 0, 0x22, {4, 5}));
        channel->mFuncDescAdd(descOf(5, 0, 0x02, {3, 4}));
        channel->mFuncDescAdd(descOf(7, 1, 0x02, {}));
        channel->mFuncDescAdd(descOf(8, 0, 0x08, {9}));
        channel->mFuncDescAdd(descOf(9, 0, 0x02, {}));
        channel->mFuncDescAdd(descOf(10, 4, 0x88, {}));
        std::vector<std::string> lines;
        try {
            channel->programLoad(path);
            channel->task->start();
            Stackmachine& machine = *channel->task->machine;
            for (int64_t steps = 0; machine.isRunning() && steps < kStepLimit; ++steps) {
                if (machine.isBlocked()) answerWaits(*channel);
                else machine.step();
            }
        } catch (const ExceptionKarsto& e) {
            for (const KernelSim::Nc2Decoded& r : sim_->records()) lines.push_back(r.text());
            // The stream names the program by its name alone, wherever the tree is.
            std::string text = e.what();
            for (size_t at; (at = text.find(kStreamDirectory + "/")) != std::string::npos;)
                text.erase(at, kStreamDirectory.size() + 1);
            lines.push_back("error: " + text);
            return lines;
        }
        for (const KernelSim::Nc2Decoded& r : sim_->records()) lines.push_back(r.text());
        return lines;
    }
};

TEST_P(Stream, RecordsMatchTheGoldenStream) {
    const std::string base = kStreamDirectory + "/" + GetParam();
    const std::vector<std::string> got = run(base + ".jyx");
    std::string text;
    for (const std::string& line : got) text += line + "\n";
    if (const char* update = std::getenv("VORDASH_UPDATE_GOLDEN"); update != nullptr && *update == '1') {
        std::ofstream(base + ".expected", std::ios::binary | std::ios::trunc) << text;
        return;
    }
    std::ifstream in(base + ".expected", std::ios::binary);
    ASSERT_TRUE(in.good()) << base << ".expected is missing";
    std::stringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(text, expected.str());
}

std::string caseName(const ::testing::TestParamInfo<std::string>& info) { return info.param; }

INSTANTIATE_TEST_SUITE_P(Nc2, Stream, ::testing::ValuesIn(streamCases()), caseName);

} // namespace
} // namespace KernelTest
