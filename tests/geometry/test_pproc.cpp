// The smoothing stages: when the break detection flushes the chain, which lines merge,
// the B-spline segments of the Bezierifier, the joining of Bezier segments, the keys the
// stages hold in the queue, their reset, and a golden stream through the whole chain.

#include <gtest/gtest.h>

#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "geometry/canvas6d.h"
#include "geometry/geo_bezier.h"
#include "geometry/geo_helix.h"
#include "geometry/geo_line.h"
#include "geometry/geometry_test_support.h"
#include "geometry/path_test_support.h"

namespace Karsto {
namespace {

constexpr double kDegree = kPi / 180.0;

std::unique_ptr<GeoLine> lineOf(const Point3& from, const Point3& to, uint64_t counter,
                                double velocity = 10.0) {
    return std::make_unique<GeoLine>(Pose(from, {}), Pose(to, {}), FeedParams{velocity, 0.0},
                                     originAt(static_cast<int32_t>(counter), 10.0 * counter),
                                     BlockKey{counter, 0.0});
}

std::unique_ptr<GeoBezier> cubicOf(const std::vector<Point3>& polygon, uint64_t counter) {
    return std::make_unique<GeoBezier>(Pose(polygon[0], {}), Pose(polygon[3], {}),
                                       std::vector<Point3>{polygon[1], polygon[2]},
                                       FeedParams{10.0, 0.0}, originAt(1, 1.0),
                                       BlockKey{counter, 0.0});
}

class PProcTest : public ::testing::Test {
protected:
    // The keys the stages hold in the queue, in order.
    std::vector<BlockKey> heldKeys() const {
        return {channel.commands.heldKeys().begin(), channel.commands.heldKeys().end()};
    }

    test::TestChannel channel;
    test::CaptureStage capture{channel.commands};
};

TEST_F(PProcTest, BreakdetectFlushesAtCornersAndAroundLongElements) {
    struct Case {
        const char* name;
        double breakAngle;
        double breakLength;
        std::vector<Point3> path; // the vertices of consecutive lines
        std::vector<int> flushesAfter; // flushes seen by the next stage after each line
    };
    const std::vector<Case> cases = {
        {"limits 0 flush before every element", 0.0, 0.0, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {1, 2}},
        {"short straight lines pass", 1.0, 10.0, {{0, 0, 0}, {2, 0, 0}, {4, 0, 0}, {6, 0, 0}}, {0, 0, 0}},
        {"before and after a long line", 1.0, 10.0, {{0, 0, 0}, {2, 0, 0}, {14, 0, 0}, {16, 0, 0}}, {0, 1, 2}},
        {"a right angle breaks", 1.0, 10.0, {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}}, {0, 1}},
        {"45 degrees stays under 1 rad", 1.0, 10.0, {{0, 0, 0}, {2, 0, 0}, {3, 1, 0}}, {0, 0}},
        {"a zero line keeps the last tangent", 1.0, 10.0, {{0, 0, 0}, {2, 0, 0}, {2, 0, 0}, {2, 2, 0}}, {0, 0, 1}},
        // Only the following stages flush: the long line's tangent still counts after the zero line.
        {"a long line followed by a zero line", 1.0, 10.0, {{0, 0, 0}, {12, 0, 0}, {12, 0, 0}, {14, 0, 0}}, {1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::CaptureStage next(channel.commands);
        PProcBreakdetect stage(next);
        stage.setLimits(c.breakAngle, c.breakLength);
        std::vector<int> seen;
        for (size_t i = 1; i < c.path.size(); ++i) {
            stage.process(lineOf(c.path[i - 1], c.path[i], i));
            seen.push_back(next.flushes);
        }
        EXPECT_EQ(seen, c.flushesAfter);
        EXPECT_EQ(next.elements.size(), c.path.size() - 1);
    }
}

TEST_F(PProcTest, BreakdetectFlushForgetsTheCorner) {
    PProcBreakdetect stage(capture);
    stage.setLimits(1.0, 10.0);
    stage.process(lineOf({0, 0, 0}, {2, 0, 0}, 1));
    expectNear(stage.previousTangent(), {2, 0, 0}, 0);
    stage.flushAll();
    EXPECT_EQ(stage.previousTangent(), Point3());
    EXPECT_EQ(capture.flushes, 1);
    stage.process(lineOf({2, 0, 0}, {2, 2, 0}, 2));
    EXPECT_EQ(capture.flushes, 1);
}

TEST_F(PProcTest, LinemergeJoinsCollinearShortLines) {
    PProcLinemerge stage(capture);
    stage.setLimits(0.01, 5 * kDegree, 10.0);
    stage.process(lineOf({0, 0, 0}, {2, 0, 0}, 1, 11.0));
    stage.process(lineOf({2, 0, 0}, {4, 0, 0}, 2, 22.0));
    stage.process(lineOf({4, 0, 0}, {6, 0, 0}, 3, 33.0));
    EXPECT_TRUE(capture.elements.empty());
    ASSERT_NE(stage.held(), nullptr);
    EXPECT_EQ(stage.held()->start(), Pose(0, 0, 0));
    EXPECT_EQ(stage.held()->end(), Pose(6, 0, 0));
    const auto first = lineOf({0, 0, 0}, {2, 0, 0}, 1, 11.0);
    expectSameAttributes(*stage.held(), *first);
    EXPECT_EQ(heldKeys(), (std::vector<BlockKey>{{1, 0.0}}));

    // Longer than the break length: the held line goes on first, the new one is held.
    stage.process(lineOf({6, 0, 0}, {18, 0, 0}, 4));
    ASSERT_EQ(capture.elements.size(), 1u);
    EXPECT_EQ(capture.elements[0]->end(), Pose(6, 0, 0));
    EXPECT_EQ(capture.elements[0]->key(), (BlockKey{1, 0.0}));
    EXPECT_EQ(heldKeys(), (std::vector<BlockKey>{{4, 0.0}}));

    stage.flushAll();
    EXPECT_EQ(capture.elements.size(), 2u);
    EXPECT_TRUE(heldKeys().empty());
}

TEST_F(PProcTest, LinemergeHoldsTheNewBlockBeforeReleasingTheOld) {
    // Lines of earlier blocks arrive while the processor is already at block 6, as when a
    // collection ends: the M function of block 2 must wait for block 2's line.
    PProcSink sink(channel.commands);
    PProcLinemerge stage(sink);
    channel.commands.insert(std::make_unique<NCmdMFunc>(8.0, originAt(2, 20), BlockKey{2, 0.0}));
    channel.commands.setHoldKey({6, -1000.0});
    stage.process(lineOf({0, 0, 0}, {2, 0, 0}, 1));
    stage.process(lineOf({2, 0, 0}, {2, 2, 0}, 2));
    EXPECT_EQ(channel.out.texts(),
              (std::vector<std::string>{
                  "Line time=1 from=[0.00,0.00,0.00,0.00,0.00,0.00] to=[2.00,0.00,0.00,0.00,0.00,0.00]"}));
    // Queued after the M function under the same key, the line follows it.
    stage.flushAll();
    ASSERT_EQ(channel.out.commands.size(), 3u);
    EXPECT_EQ(channel.out.commands[1]->kind(), NCmdKind::mFunc);
    EXPECT_EQ(channel.out.commands[2]->kind(), NCmdKind::geo);
}

TEST_F(PProcTest, LinemergeLimits) {
    struct Case {
        const char* name;
        Point3 newEnd; // the new line starts at (2, 0, 0), the held one runs (0,0,0)-(2,0,0)
        double breakAngle;
        bool merged;
    };
    const std::vector<Case> cases = {
        {"collinear", {4, 0, 0}, 5 * kDegree, true},
        {"joint 0.025 off the merged line", {4, 0.05, 0}, 5 * kDegree, false},
        {"right angle on a tiny line", {2, 0.01, 0}, 5 * kDegree, false},
        {"a zero line always merges", {2, 0, 0}, 5 * kDegree, true},
        {"longer than the break length", {12.5, 0, 0}, 5 * kDegree, false},
        // Back to the held start: the deviation is 0 / 0, which must not count as within.
        {"a U-turn under a wide angle limit", {0, 0, 0}, 4.0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::CaptureStage next(channel.commands);
        PProcLinemerge stage(next);
        stage.setLimits(0.01, c.breakAngle, 10.0);
        stage.process(lineOf({0, 0, 0}, {2, 0, 0}, 1));
        stage.process(lineOf({2, 0, 0}, c.newEnd, 2));
        EXPECT_EQ(next.elements.size(), c.merged ? 0u : 1u);
        const Point3 heldStart = c.merged ? Point3{0, 0, 0} : Point3{2, 0, 0};
        EXPECT_EQ(stage.held()->start().position(), heldStart);
        EXPECT_EQ(stage.held()->end().position(), c.newEnd);
        stage.flush();
        EXPECT_TRUE(heldKeys().empty());
    }
}

TEST_F(PProcTest, BezierifierTurnsALineChainIntoSegmentsFromFirstToLastVertex) {
    PProcBezierifier stage(capture);
    const std::vector<Point3> p = {{0, 0, 0}, {2, 0, 0}, {3, 1, 0}, {3, 3, 0}, {5, 4, 0}};
    const std::vector<size_t> handedOn = {0, 0, 2, 3};
    for (size_t i = 1; i < p.size(); ++i) {
        stage.process(lineOf(p[i - 1], p[i], i));
        EXPECT_EQ(capture.elements.size(), handedOn[i - 1]);
        EXPECT_LE(stage.heldLines(), 2u);
        EXPECT_EQ(heldKeys().size(), stage.heldLines());
    }
    stage.flush();
    ASSERT_EQ(capture.elements.size(), 4u);
    EXPECT_TRUE(heldKeys().empty());
    EXPECT_TRUE(stage.atStart());
    expectNear(capture.elements.front()->start().position(), p.front(), 1e-12);
    expectNear(capture.elements.back()->end().position(), p.back(), 1e-12);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(capture.elements[i]->key(), (BlockKey{i + 1, 0.0}));
        if (i > 0) {
            EXPECT_EQ(capture.elements[i]->start(), capture.elements[i - 1]->end());
        }
    }
    // The inner segment between lines 1 and 2: the B-spline of P0 .. P3.
    expectNear(capture.elements[1]->start().position(), {(4 * 2 + 3) / 6.0, 1 / 6.0, 0}, 1e-12);
}

TEST_F(PProcTest, BezierifierFlushOfTwoLinesOneLineAndAnArc) {
    PProcBezierifier stage(capture);
    stage.process(lineOf({0, 0, 0}, {2, 0, 0}, 1));
    stage.process(lineOf({2, 0, 0}, {2, 2, 0}, 2));
    stage.flush();
    ASSERT_EQ(capture.elements.size(), 2u);
    EXPECT_EQ(capture.elements[0]->start().position(), (Point3{0, 0, 0}));
    expectNear(capture.elements[1]->end().position(), {2, 2, 0}, 1e-12);

    const auto single = lineOf({2, 2, 0}, {5, 2, 0}, 3);
    const std::string singleText = single->toString();
    stage.process(lineOf({2, 2, 0}, {5, 2, 0}, 3));
    stage.flush();
    ASSERT_EQ(capture.elements.size(), 3u);
    EXPECT_EQ(capture.elements[2]->toString(), singleText);

    // An arc flushes the held lines first, then passes.
    stage.process(lineOf({5, 2, 0}, {6, 2, 0}, 4));
    stage.process(lineOf({6, 2, 0}, {7, 2, 0}, 5));
    stage.process(std::make_unique<GeoHelix>(Pose(7, 2, 0), Point3{7, 3, 0}, Point3{0, 0, 1}, kPi,
                                             0.0, FeedParams{}, BlockOrigin{}, BlockKey{6, 0.0}));
    ASSERT_EQ(capture.elements.size(), 6u);
    EXPECT_NE(dynamic_cast<const GeoBezier*>(capture.elements[4].get()), nullptr);
    EXPECT_NE(dynamic_cast<const GeoHelix*>(capture.elements[5].get()), nullptr);
    EXPECT_TRUE(heldKeys().empty());
}

TEST_F(PProcTest, BsplineSegmentTakesTheSourceAttributesAndZeroRotaries) {
    const auto source = std::make_unique<GeoLine>(Pose(0, 0, 0, 1, 2, 3), Pose(6, 0, 0, 4, 5, 6),
                                                  FeedParams{3.0, 0.0}, originAt(2, 20),
                                                  BlockKey{9, 0.0});
    const auto b = bsplineToBezier({Point3{0, 0, 0}, {6, 0, 0}, {6, 6, 0}, {12, 6, 0}}, *source);
    EXPECT_EQ(b->degree(), 3);
    EXPECT_EQ(b->start(), Pose(5, 1, 0));
    EXPECT_EQ(b->innerPoints(), (std::vector<Point3>{{6, 2, 0}, {6, 4, 0}}));
    EXPECT_EQ(b->end(), Pose(7, 5, 0));
    expectSameAttributes(*b, *source);
}

TEST_F(PProcTest, BeziermergeJoinsTheHalvesOfOneCubic) {
    const std::vector<Point3> whole = {{0, 0, 0}, {1, 3, 0}, {4, 3, 1}, {6, 0, 2}};
    const auto [left, right] = deCasteljauSplit(whole, 0.5);
    PProcBeziermerge stage(capture);
    stage.setMergeDiff(0.01);
    stage.process(cubicOf(left, 1));
    stage.process(cubicOf(right, 2));
    EXPECT_TRUE(capture.elements.empty());
    EXPECT_EQ(heldKeys(), (std::vector<BlockKey>{{1, 0.0}}));
    stage.flushAll();
    ASSERT_EQ(capture.elements.size(), 1u);
    const auto& joined = static_cast<const GeoBezier&>(*capture.elements[0]);
    const std::vector<Point3> polygon = joined.controlPoints();
    for (size_t i = 0; i < 4; ++i) expectNear(polygon[i], whole[i], 1e-12);
    EXPECT_EQ(joined.key(), (BlockKey{1, 0.0}));
    EXPECT_TRUE(heldKeys().empty());
}

TEST_F(PProcTest, BeziermergeKeepsSegmentsApart) {
    const std::vector<Point3> whole = {{0, 0, 0}, {1, 3, 0}, {4, 3, 1}, {6, 0, 2}};
    const auto [left, right] = deCasteljauSplit(whole, 0.5);
    struct Case {
        const char* name;
        double mergeDiff;
        std::unique_ptr<GeoBezier> held;
        std::unique_ptr<GeoBezier> next;
    };
    // A quintic continuing the held cubic exactly still passes unmerged: only cubics join.
    std::vector<Point3> quinticInner = {right[1], right[1], right[2], right[2]};
    std::vector<Case> cases;
    cases.push_back({"a deviation of 0 is not below a limit of 0", 0.0, cubicOf(left, 1), cubicOf(right, 2)});
    cases.push_back({"a kink", 0.01, cubicOf(left, 1),
                     cubicOf({right[0], {right[1].x, right[1].y + 0.1, right[1].z}, right[2], right[3]}, 2)});
    cases.push_back({"a quintic", 1e9, cubicOf(left, 1),
                     std::make_unique<GeoBezier>(Pose(right[0], {}), Pose(right[3], {}), quinticInner,
                                                 FeedParams{}, BlockOrigin{}, BlockKey{2, 0.0})});
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::CaptureStage next(channel.commands);
        PProcBeziermerge stage(next);
        stage.setMergeDiff(c.mergeDiff);
        stage.process(std::move(c.held));
        stage.process(std::move(c.next));
        ASSERT_EQ(next.elements.size(), 1u);
        EXPECT_EQ(next.elements[0]->key(), (BlockKey{1, 0.0}));
        EXPECT_EQ(heldKeys(), (std::vector<BlockKey>{{2, 0.0}}));
        stage.flush();
        EXPECT_TRUE(heldKeys().empty());
    }
}

TEST_F(PProcTest, ResetDeletesWhatIsHeldAndZeroesTheLimits) {
    PProcBeziermerge bm(capture);
    PProcBezierifier bf(bm);
    PProcLinemerge lm(bf);
    PProcBreakdetect bd(lm);
    bd.setLimits(1.0, 10.0);
    lm.setLimits(0.01, 0.1, 10.0);
    bm.setMergeDiff(0.01);
    bd.process(lineOf({0, 0, 0}, {1, 0, 0}, 1));
    bd.process(lineOf({1, 0, 0}, {2, 0.5, 0}, 2));
    bd.process(lineOf({2, 0.5, 0}, {3, 1.5, 0}, 3));
    ASSERT_NE(lm.held(), nullptr);
    ASSERT_EQ(bf.heldLines(), 2u);
    for (PProc* stage : std::vector<PProc*>{&capture, &bm, &bf, &lm, &bd}) stage->reset();
    EXPECT_EQ(lm.held(), nullptr);
    EXPECT_EQ(bf.heldLines(), 0u);
    EXPECT_TRUE(bf.atStart());
    EXPECT_EQ(bm.held(), nullptr);
    EXPECT_EQ(bd.previousTangent(), Point3());
    EXPECT_EQ(bd.breakAngle(), 0.0);
    EXPECT_EQ(bd.breakLength(), 0.0);
    EXPECT_EQ(lm.mergeDiff(), 0.0);
    EXPECT_EQ(lm.breakAngle(), 0.0);
    EXPECT_EQ(lm.breakLength(), 0.0);
    EXPECT_EQ(bm.mergeDiff(), 0.0);
    // Keys are not released by a reset: the processor clears the queue.
    EXPECT_EQ(heldKeys().size(), 3u);
}

// Three lines with a corner in blocks 1 to 3, smoothed into one B-spline from the first
// vertex to the last.
TEST(PProcGolden, CornerBecomesThreeBezierSegments) {
    test::TestChannel channel;
    Canvas6d canvas(channel, {});
    canvas.setPipelineEnabled(true);
    canvas.breakdetect().setLimits(2.0, 10.0);
    for (const Pose& target : {Pose(3, 0, 0), Pose(3, 3, 0), Pose(6, 3, 0)}) {
        canvas.lineTo(target, FeedParams{10.0, 0.0},
                      originAt(static_cast<int32_t>(channel.key().counter),
                               static_cast<double>(channel.key().counter)),
                      channel.key());
        channel.nextBlock();
    }
    EXPECT_TRUE(channel.out.lines.empty());
    canvas.head().flushAll();
    EXPECT_TRUE(channel.commands.heldKeys().empty());
    EXPECT_EQ(channel.out.text(), test::goldenStream("smoothing_corner"));
}

} // namespace
} // namespace Karsto
