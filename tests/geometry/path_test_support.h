#pragma once
// A small channel for the path-processor tests: it owns the command queue with a
// recording output and the current block key, and closes blocks the way the G-code
// processor does. Also a stage that records what the stage before it hands on.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/aprocessor.h"
#include "geometry/canvas6d.h"
#include "geometry/geometry_test_support.h"
#include "geometry/ncmd_queue.h"
#include "geometry/pproc.h"
#include "geometry/recording_output.h"

namespace Karsto::test {

class TestChannel : public AProcessorOwner {
public:
    TestChannel() { commands.setOutput(&out); }

    NCmdQueue& queue() override { return commands; }
    const BlockKey& key() const override { return current; }

    // The block ends: the counter goes up, and everything of the finished block and
    // before it that no stage holds is delivered.
    void nextBlock() {
        current = {current.counter + 1, 0.0};
        commands.setHoldKey({current.counter, -1000.0});
        commands.limitUpdate();
        commands.delivery();
    }

    RecordingOutput out; // outlives the queue, whose destructor resets it
    NCmdQueue commands;
    BlockKey current{1, 0.0};
};

// Records every element handed to it, and counts the chain flushes that reach it.
class CaptureStage final : public PProc {
public:
    explicit CaptureStage(NCmdQueue& queue) : PProc(queue) {}

    void process(std::unique_ptr<Geo> element) override { elements.push_back(std::move(element)); }
    void flush() override { ++flushes; }
    void reset() override { elements.clear(); }

    std::vector<std::string> texts() const {
        std::vector<std::string> result;
        for (const auto& e : elements) result.push_back(e->toString());
        return result;
    }

    std::vector<std::unique_ptr<Geo>> elements;
    int flushes = 0;
};

// A path processor on a test channel with an empty transformation stack. Each motion
// is a block of its own: its key is the channel's current one, its origin names the
// block's counter as line and N number, and the block ends after it.
struct PathBench {
    BlockOrigin origin() const {
        const auto n = static_cast<int32_t>(channel.key().counter);
        return originAt(n, n);
    }
    void line(const Pose& target, double velocity = 10.0) {
        canvas.lineTo(target, FeedParams{velocity, 0.0}, origin(), channel.key());
        channel.nextBlock();
    }
    void lines(std::initializer_list<Pose> targets) {
        for (const Pose& target : targets) line(target);
    }
    // An element made by the test, keyed and originated like a motion of the block.
    void element(std::unique_ptr<Geo> geo) {
        canvas.addGeo(std::move(geo));
        channel.nextBlock();
    }
    std::vector<std::string> heldTexts() const {
        std::vector<std::string> texts;
        for (const auto& e : canvas.heldElements()) texts.push_back(e->toString());
        return texts;
    }

    TestChannel channel;
    Canvas6d canvas{channel, {}};
};

// The golden stream tests/geometry/<name>.expected.
inline std::string goldenStream(const std::string& name) {
    const std::string path = std::string(VORDASH_TEST_DATA_DIR) + "/geometry/" + name + ".expected";
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "missing " << path;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace Karsto::test
