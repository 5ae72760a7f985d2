#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/machine_test_support.h"
#include "geometry/ncmd_queue.h"
#include "geometry/ncmd_test_support.h"
#include "geometry/recording_output.h"

namespace Karsto {
namespace {

using test::blockKey;
using test::FixedAxes;
using test::lineCmd;
using test::LogCapture;
using test::RecordingOutput;

class NCmdQueueTest : public ::testing::Test {
protected:
    NCmdQueueTest() { queue.setOutput(&out); }

    // An M function that names its key in its number: counter * 10 + sub.
    void addMark(uint64_t counter, double sub = 0.0) {
        queue.insert(std::make_unique<NCmdMFunc>(static_cast<double>(counter) * 10.0 + sub,
                                                 originAt(1, 0.0), BlockKey{counter, sub}));
    }
    // The keys of the delivered commands, in delivery order.
    std::vector<BlockKey> deliveredKeys() const {
        std::vector<BlockKey> keys;
        for (const auto& cmd : out.commands) keys.push_back(cmd->key());
        return keys;
    }
    void pass() {
        queue.limitUpdate();
        queue.delivery();
    }
    const NCmdGeo& deliveredGeo(size_t i) const {
        EXPECT_EQ(out.commands.at(i)->kind(), NCmdKind::geo);
        return static_cast<const NCmdGeo&>(*out.commands.at(i));
    }

    RecordingOutput out;
    NCmdQueue queue;
};

TEST_F(NCmdQueueTest, HoldKeyHoldsItsWholeBlock) {
    // Inserted out of order; block 7's inserted elements and its depart arc included.
    addMark(7, 1.0);
    addMark(3);
    addMark(7, -2.0);
    addMark(6, -1.7);
    addMark(1);
    addMark(7);
    addMark(6);
    queue.setHoldKey({7, -1000.0});
    pass();
    EXPECT_EQ(deliveredKeys(),
              (std::vector<BlockKey>{{1, 0.0}, {3, 0.0}, {6, -1.7}, {6, 0.0}}));
    EXPECT_EQ(queue.commands().size(), 3u);
    EXPECT_EQ(queue.limit(), (BlockKey{7, -1000.0}));
    EXPECT_EQ(out.keySets, (std::vector<BlockKey>{{7, -1000.0}}));
}

TEST_F(NCmdQueueTest, HeldKeyHoldsFromItsBlockOnAndTheLimitNeverMovesBack) {
    queue.setHoldKey({7, -1000.0});
    queue.keyHold({4, -1.7});
    for (uint64_t counter : {6u, 2u, 4u, 5u, 3u}) addMark(counter);
    addMark(4, -2.0);
    pass();
    EXPECT_EQ(deliveredKeys(), (std::vector<BlockKey>{{2, 0.0}, {3, 0.0}}));
    EXPECT_EQ(queue.limit(), (BlockKey{4, -1.7}));

    queue.keyRelease({4, -1.7});
    EXPECT_EQ(deliveredKeys(), (std::vector<BlockKey>{
                                   {2, 0.0}, {3, 0.0}, {4, -2.0}, {4, 0.0}, {5, 0.0}, {6, 0.0}}));
    EXPECT_TRUE(queue.heldKeys().empty());
    EXPECT_EQ(queue.limit(), (BlockKey{7, -1000.0}));

    // A stage that holds an earlier block again does not hold back what comes later.
    queue.keyHold({2, 0.0});
    addMark(5, 0.5);
    pass();
    EXPECT_EQ(deliveredKeys().back(), (BlockKey{5, 0.5}));
    EXPECT_EQ(queue.limit(), (BlockKey{7, -1000.0}));
    EXPECT_TRUE(queue.commands().empty());
}

TEST_F(NCmdQueueTest, KeyHeldTwiceStaysHeldUntilReleasedTwice) {
    queue.setHoldKey({9, -1000.0});
    queue.keyHold({3, 0.0});
    queue.keyHold({3, 0.0});
    addMark(3);
    addMark(4);
    pass();
    EXPECT_TRUE(out.commands.empty());

    queue.keyRelease({3, 0.0});
    EXPECT_TRUE(out.commands.empty());
    EXPECT_EQ(queue.heldKeys().size(), 1u);

    queue.keyRelease({3, 0.0});
    EXPECT_EQ(deliveredKeys(), (std::vector<BlockKey>{{3, 0.0}, {4, 0.0}}));
}

TEST_F(NCmdQueueTest, ReleasingAKeyThatIsNotHeldChangesNothing) {
    queue.keyHold({3, 0.0});
    addMark(1);
    addMark(3);
    queue.setHoldKey({9, -1000.0}); // would let block 1 pass at the next delivery
    const size_t keySets = out.keySets.size();

    queue.keyRelease({3, -0.5});
    queue.keyRelease({1, 0.0});
    EXPECT_TRUE(out.commands.empty());
    EXPECT_EQ(out.keySets.size(), keySets);
    EXPECT_EQ(queue.limit(), BlockKey::start());
    EXPECT_EQ(queue.heldKeys().size(), 1u);
    EXPECT_EQ(queue.commands().size(), 2u);
}

TEST_F(NCmdQueueTest, SerialsCountNumberedKindsAndEqualKeysKeepInsertionOrder) {
    LogCapture log({LogLevel::debugNCmdQueue});
    const BlockKey key = blockKey(1);
    queue.insert(std::make_unique<NCmdQueryaxes>(BlockOrigin(), key));
    queue.insert(lineCmd(1, 10.0, {0, 0, 0}, {1, 0, 0}));
    queue.insert(std::make_unique<NCmdSync>(originAt(2, 10.0), key));
    queue.insert(std::make_unique<NCmdWait>(0.5, BlockOrigin(), key));
    queue.insert(std::make_unique<NCmdMFunc>(30.0, originAt(3, 10.0), key));
    queue.setHoldKey({2, -1000.0});
    pass();

    ASSERT_EQ(out.commands.size(), 5u);
    std::vector<uint64_t> serials;
    for (const auto& cmd : out.commands) serials.push_back(cmd->serial());
    EXPECT_EQ(serials, (std::vector<uint64_t>{0, 1, 1, 2, 3}));
    EXPECT_EQ(out.texts()[0], "Queryaxes");
    EXPECT_EQ(out.texts()[4], "MFunc 30");
    EXPECT_EQ(queue.serial(), 3u);

    ASSERT_EQ(log.lines.size(), 5u);
    EXPECT_EQ(log.lines[0], "[debugNCmdQueue] NCmdQueue::delivery n=0.000000 snr=0 ? Queryaxes");
    EXPECT_EQ(log.lines[1],
              "[debugNCmdQueue] NCmdQueue::delivery n=10.000000 snr=1 part.jyx: 1.1-1.12 Line "
              "time=1 from=[0.00,0.00,0.00,0.00,0.00,0.00] to=[1.00,0.00,0.00,0.00,0.00,0.00]");
    EXPECT_EQ(log.lines[3], "[debugNCmdQueue] NCmdQueue::delivery n=0.000000 snr=2 ? Wait 0.5");
}

TEST_F(NCmdQueueTest, KeySetReceivesTheLimitAfterEveryPass) {
    queue.delivery();
    queue.setHoldKey({3, -1000.0});
    pass();
    addMark(1);
    pass();
    EXPECT_EQ(out.keySets, (std::vector<BlockKey>{BlockKey::start(), {3, -1000.0}, {3, -1000.0}}));
    EXPECT_EQ(out.commands.size(), 1u);
}

TEST_F(NCmdQueueTest, RecordingOutputWritesGoldenLines) {
    queue.insert(lineCmd(3, 30.0, {0, 0, 0}, {8, 0, 0}, -1.7));
    const double q[] = {1, 2, 0, 0, 0};
    queue.insert(std::make_unique<NCmdUpdateaxes>(Pose(), std::span<const double, 5>(q), blockKey(3)));
    queue.insert(std::make_unique<NCmdHst>('s', 1200.0, originAt(4, 30.5), blockKey(3)));
    queue.setHoldKey({4, -1000.0});
    pass();
    EXPECT_EQ(out.text(),
              "snr=1 key=3/-1.7 n=30 Line time=3 from=[0.00,0.00,0.00,0.00,0.00,0.00] "
              "to=[8.00,0.00,0.00,0.00,0.00,0.00]\n"
              "snr=1 key=3/0 n=0 Updateaxes frame=[0.00,0.00,0.00,0.00,0.00,0.00] q0=1 q1=2 q2=0 "
              "q3=0 q4=0\n"
              "snr=2 key=3/0 n=30.5 HST s=1200\n");
}

TEST_F(NCmdQueueTest, WithoutAnOutputDeliveredCommandsAreDeleted) {
    queue.setOutput(nullptr);
    addMark(1);
    queue.setHoldKey({2, -1000.0});
    pass();
    EXPECT_TRUE(queue.commands().empty());
    EXPECT_EQ(queue.serial(), 1u);
    queue.clear();
}

// A queue of its own with its output under a search, for cases run in a loop.
struct SearchRun {
    SearchRun(SearchMode mode, int64_t target, double percent) {
        queue.setOutput(&output);
        queue.search().searchMode = mode;
        queue.search().searchTarget = target;
        queue.search().searchPercent = percent;
    }
    // Delivers every block before the given counter.
    void deliverBefore(uint64_t counter) {
        queue.setHoldKey({counter, -1000.0});
        queue.limitUpdate();
        queue.delivery();
    }

    RecordingOutput output;
    NCmdQueue queue;
};

// Block search over the program
//   N10 line, M8; N20 sync, q move, dwell 1; N30 line (0,0,0) to (8,0,0); N40 line.
class BlockSearchTest : public NCmdQueueTest {
protected:
    void addProgram() {
        queue.insert(lineCmd(1, 10.0, {-5, 0, 0}, {0, 0, 0}));
        queue.insert(std::make_unique<NCmdMFunc>(8.0, originAt(1, 10.0), blockKey(1)));
        queue.insert(std::make_unique<NCmdSync>(originAt(2, 20.0), blockKey(2)));
        const double from[] = {0.0};
        const double to[] = {10.0};
        queue.insert(std::make_unique<NCmdInterpolate>(&axes, from, to, 5.0, false,
                                                       originAt(2, 20.0), blockKey(2)));
        queue.insert(std::make_unique<NCmdWait>(1.0, originAt(2, 20.0), blockKey(2)));
        queue.insert(lineCmd(3, 30.0, {0, 0, 0}, {8, 0, 0}));
        queue.insert(lineCmd(4, 40.0, {8, 0, 0}, {8, 5, 0}));
    }
    void search(SearchMode mode, int64_t target, double percent, int16_t kind = 0) {
        queue.search().searchMode = mode;
        queue.search().searchTarget = target;
        queue.search().searchPercent = percent;
        queue.search().searchKind = kind;
    }
    void runToEnd() {
        queue.setHoldKey({9, -1000.0});
        pass();
    }

    FixedAxes axes{1};
};

TEST_F(BlockSearchTest, ByBlockNumberDropsSkippedBlocksAndResumesInsideTheTarget) {
    LogCapture log({LogLevel::debugNCmdQueue});
    addProgram();
    search(SearchMode::byBlockNumber, 30, 25.0);
    runToEnd();

    EXPECT_EQ(out.texts(),
              (std::vector<std::string>{
                  "Sync", "Interpolate time=2 from=[0] to=[10] speed=5",
                  "Line time=3 from=[2.00,0.00,0.00,0.00,0.00,0.00] "
                  "to=[8.00,0.00,0.00,0.00,0.00,0.00]"}));
    const NCmdGeo& resumed = deliveredGeo(2);
    EXPECT_TRUE(resumed.geo().restart());
    EXPECT_EQ(resumed.serial(), 5u);
    EXPECT_EQ(resumed.origin().blockNumber, 30.0);
    EXPECT_FALSE(axes.restart()); // the q move was delivered whole

    ASSERT_FALSE(log.lines.empty());
    EXPECT_EQ(log.lines.back(),
              "[debugNCmdQueue] NCmdQueue::delivery n=30.000000 snr=5 part.jyx: 3.1-3.12 Line "
              "time=3 from=[2.00,0.00,0.00,0.00,0.00,0.00] to=[8.00,0.00,0.00,0.00,0.00,0.00] "
              "fraction=0.250000");
    EXPECT_EQ(log.lines.size(), 3u); // dropped commands leave no line

    const BlockSearch& s = queue.search();
    EXPECT_EQ(s.searchMode, SearchMode::targetReached);
    EXPECT_TRUE(s.targetReached);
    EXPECT_EQ(s.splitSerial, 30);
    EXPECT_EQ(s.splitStart, Pose(2, 0, 0));
    EXPECT_EQ(s.splitFraction, 0.25);
    ASSERT_EQ(queue.commands().size(), 1u);
    EXPECT_EQ((*queue.commands().begin())->key(), blockKey(4));

    // Held until the kernel link ends the hold; the limit still reaches the output.
    pass();
    EXPECT_EQ(out.commands.size(), 3u);
    EXPECT_EQ(out.keySets.size(), 2u);
    queue.search().searchMode = SearchMode::none;
    pass();
    ASSERT_EQ(out.commands.size(), 4u);
    EXPECT_EQ(out.commands[3]->serial(), 6u);
    EXPECT_FALSE(deliveredGeo(3).geo().restart());
}

TEST_F(BlockSearchTest, SearchKindTwoKeepsFunctionsAndDwellsOfSkippedBlocks) {
    addProgram();
    search(SearchMode::byBlockNumber, 30, 25.0, kSearchKindKeepFunctions);
    runToEnd();
    EXPECT_EQ(out.texts(),
              (std::vector<std::string>{
                  "MFunc 8", "Sync", "Interpolate time=2 from=[0] to=[10] speed=5", "Wait 1",
                  "Line time=3 from=[2.00,0.00,0.00,0.00,0.00,0.00] "
                  "to=[8.00,0.00,0.00,0.00,0.00,0.00]"}));
    std::vector<uint64_t> serials;
    for (const auto& cmd : out.commands) serials.push_back(cmd->serial());
    EXPECT_EQ(serials, (std::vector<uint64_t>{2, 2, 3, 4, 5}));
}

TEST_F(BlockSearchTest, PercentAtAGeometryTarget) {
    struct Case {
        double percent;
        Point3 from;
    };
    const Case cases[] = {{0.0, {0, 0, 0}}, {50.0, {4, 0, 0}}, {100.0, {8, 0, 0}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.percent);
        SearchRun run(SearchMode::bySerial, 1, c.percent);
        NCmdQueue& q = run.queue;
        const RecordingOutput& output = run.output;
        q.insert(lineCmd(1, 10.0, {0, 0, 0}, {8, 0, 0}));
        q.insert(lineCmd(2, 20.0, {8, 0, 0}, {8, 8, 0}));
        run.deliverBefore(3);
        ASSERT_EQ(output.commands.size(), 1u);
        const Geo& geo = static_cast<const NCmdGeo&>(*output.commands[0]).geo();
        EXPECT_EQ(geo.start(), Pose(c.from, {}));
        EXPECT_EQ(geo.end(), Pose(8, 0, 0));
        EXPECT_TRUE(geo.restart());
        EXPECT_EQ(q.search().searchMode, SearchMode::targetReached);
        EXPECT_EQ(q.search().splitSerial, 1);
        EXPECT_EQ(q.commands().size(), 1u);
    }
}

TEST_F(BlockSearchTest, SearchingTheLastSplitAgainResumesOnItsRemainder) {
    addProgram();
    search(SearchMode::bySerial, 5, 50.0);
    runToEnd();
    EXPECT_EQ(deliveredGeo(out.commands.size() - 1).geo().start(), Pose(4, 0, 0));

    // The program runs again from its start under a new search of the same target: 25 %
    // now lie a quarter of the way along the remainder from (4,0,0).
    queue.clear();
    out.commands.clear();
    search(SearchMode::bySerial, 5, 25.0);
    addProgram();
    runToEnd();
    const Geo& geo = deliveredGeo(out.commands.size() - 1).geo();
    EXPECT_EQ(geo.start(), Pose(5, 0, 0));
    EXPECT_EQ(queue.search().splitFraction, 0.625);
    EXPECT_EQ(queue.search().splitStart, Pose(5, 0, 0));

    // At the very start pose of the last remainder the percentage is taken as it is.
    queue.clear();
    out.commands.clear();
    search(SearchMode::bySerial, 5, 62.5);
    addProgram();
    runToEnd();
    EXPECT_EQ(deliveredGeo(out.commands.size() - 1).geo().start(), Pose(5, 0, 0));
}

TEST_F(BlockSearchTest, MFunctionAtTheTargetHolds) {
    addProgram();
    search(SearchMode::bySerial, 2, 40.0);
    runToEnd();
    EXPECT_EQ(out.texts(), (std::vector<std::string>{"MFunc 8"}));
    EXPECT_EQ(queue.search().searchMode, SearchMode::targetReached);
    EXPECT_TRUE(queue.search().targetReached);
    EXPECT_EQ(queue.commands().size(), 5u);
}

TEST_F(BlockSearchTest, HstAtTheTargetResumesTheNextCommandWhole) {
    queue.insert(lineCmd(1, 10.0, {-5, 0, 0}, {0, 0, 0}));
    queue.insert(std::make_unique<NCmdHst>('t', 7.0, originAt(2, 30.0), blockKey(2)));
    queue.insert(std::make_unique<NCmdWait>(2.0, originAt(2, 30.0), blockKey(2)));
    queue.insert(lineCmd(3, 40.0, {0, 0, 0}, {8, 0, 0}));
    queue.insert(lineCmd(4, 50.0, {8, 0, 0}, {8, 8, 0}));
    search(SearchMode::byBlockNumber, 30, 50.0);
    runToEnd();

    EXPECT_EQ(out.texts(), (std::vector<std::string>{
                               "HST t=7", "Wait 2",
                               "Line time=3 from=[0.00,0.00,0.00,0.00,0.00,0.00] "
                               "to=[8.00,0.00,0.00,0.00,0.00,0.00]",
                               "Line time=4 from=[8.00,0.00,0.00,0.00,0.00,0.00] "
                               "to=[8.00,8.00,0.00,0.00,0.00,0.00]"}));
    EXPECT_TRUE(deliveredGeo(2).geo().restart());
    EXPECT_FALSE(deliveredGeo(3).geo().restart()); // the search ended with the one before
    EXPECT_EQ(queue.search().searchMode, SearchMode::none);
    EXPECT_TRUE(queue.search().resumeAfterHst);
}

TEST_F(BlockSearchTest, HstTargetBySerialResumesTheNextNumberedCommand) {
    queue.insert(std::make_unique<NCmdHst>('s', 900.0, originAt(1, 10.0), blockKey(1)));
    queue.insert(lineCmd(2, 20.0, {0, 0, 0}, {8, 0, 0}));
    search(SearchMode::bySerial, 1, 50.0);
    runToEnd();
    ASSERT_EQ(out.commands.size(), 2u);
    EXPECT_EQ(deliveredGeo(1).geo().start(), Pose(0, 0, 0));
    EXPECT_TRUE(deliveredGeo(1).geo().restart());
    EXPECT_EQ(queue.search().searchMode, SearchMode::none);
}

TEST_F(BlockSearchTest, AuxiliaryMoveAtTheTarget) {
    struct Case {
        bool withPathMotion;
        double percent;
        std::vector<std::string> texts;
        bool axesRestart;
        SearchMode modeAfter;
    };
    const std::string line = "Line time=3 from=[4.00,0.00,0.00,0.00,0.00,0.00] "
                             "to=[8.00,0.00,0.00,0.00,0.00,0.00]";
    const Case cases[] = {
        // With a path motion the search goes on to the block's path element.
        {true, 50.0, {"Interpolate time=3 from=[5] to=[10] speed=2", line}, true,
         SearchMode::targetReached},
        {true, 100.0,
         {"Interpolate time=3 from=[0] to=[10] speed=2",
          "Line time=3 from=[8.00,0.00,0.00,0.00,0.00,0.00] to=[8.00,0.00,0.00,0.00,0.00,0.00]"},
         false, SearchMode::targetReached},
        {true, 0.0,
         {"Line time=3 from=[0.00,0.00,0.00,0.00,0.00,0.00] to=[8.00,0.00,0.00,0.00,0.00,0.00]"},
         false, SearchMode::targetReached},
        // Alone it is the target element itself.
        {false, 50.0, {"Interpolate time=3 from=[5] to=[10] speed=2"}, true,
         SearchMode::targetReached},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.withPathMotion << " " << c.percent);
        LogCapture log({LogLevel::debugNCmdQueue});
        FixedAxes q1(1);
        SearchRun run(SearchMode::byBlockNumber, 30, c.percent);
        NCmdQueue& q = run.queue;
        const RecordingOutput& output = run.output;
        const double from[] = {0.0};
        const double to[] = {10.0};
        q.insert(std::make_unique<NCmdInterpolate>(&q1, from, to, 2.0, c.withPathMotion,
                                                   originAt(3, 30.0), blockKey(3)));
        q.insert(lineCmd(3, 30.0, {0, 0, 0}, {8, 0, 0}));
        run.deliverBefore(4);
        EXPECT_EQ(output.texts(), c.texts);
        EXPECT_EQ(q1.restart(), c.axesRestart);
        EXPECT_EQ(q.search().searchMode, c.modeAfter);
        EXPECT_TRUE(q.search().targetReached);
        if (c.axesRestart) {
            ASSERT_FALSE(log.lines.empty());
            EXPECT_EQ(log.lines[0], "[debugNCmdQueue] NCmdQueue::delivery n=30.000000 snr=1 "
                                    "part.jyx: 3.1-3.12 " +
                                        c.texts[0]);
        }
    }
}

TEST_F(BlockSearchTest, ClearKeepsTheSearchAndResetsTheOutput) {
    addProgram();
    queue.insert(std::make_unique<NCmdWait>(1.0, originAt(3, 25.0), blockKey(3)));
    queue.keyHold({4, 0.0});
    search(SearchMode::byBlockNumber, 25, 25.0);
    runToEnd();
    ASSERT_TRUE(queue.search().targetReached);
    ASSERT_FALSE(queue.commands().empty());

    queue.clear();
    const BlockSearch& s = queue.search();
    EXPECT_EQ(s.searchMode, SearchMode::byBlockNumber);
    EXPECT_EQ(s.searchTarget, 25);
    EXPECT_EQ(s.searchPercent, 25.0);
    EXPECT_FALSE(s.targetReached);
    EXPECT_EQ(out.resets, 1);
    EXPECT_TRUE(queue.commands().empty());
    EXPECT_TRUE(queue.heldKeys().empty());
    EXPECT_EQ(queue.serial(), 0u);
    EXPECT_EQ(queue.limit(), BlockKey::start());
    EXPECT_EQ(queue.holdKey(), BlockKey::start());
}

} // namespace
} // namespace Karsto
