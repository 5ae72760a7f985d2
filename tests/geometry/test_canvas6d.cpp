// The path processor: motions under the transformation stack, the routing into the queue,
// the collection and the smoothing chain, the reset, and that a line costs the processor
// no allocation of its own.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "core/allocation_count.h"
#include "core/exception.h"
#include "geometry/canvas6d.h"
#include "geometry/geo_bezier.h"
#include "geometry/geo_helix.h"
#include "geometry/geo_line.h"
#include "geometry/geometry_test_support.h"
#include "geometry/path_test_support.h"

namespace Karsto {
namespace {

const FeedParams kLineFeed{25.0, 0.0};

class Canvas6dTest : public ::testing::Test {
protected:
    Canvas6dTest() {
        // The stack as the G-code processor builds it: zero offset, user list, tool.
        zeroOffset = canvas.transformations().append(std::make_unique<TransMatrix>());
        user = canvas.transformations().append(std::make_unique<TransList>());
        canvas.transformations().append(std::make_unique<TransMatrix>());
    }

    // A user transformation with the given diagonal.
    void userDiagonal(double x, double y, double z) {
        auto m = std::make_unique<TransMatrix>();
        m->m[0][0] = x;
        m->m[1][1] = y;
        m->m[2][2] = z;
        m->invalidate();
        user->append(std::move(m));
    }
    void zeroOffsetShift(const Point3& shift) {
        zeroOffset->setIdentity();
        zeroOffset->m[0][3] = shift.x;
        zeroOffset->m[1][3] = shift.y;
        zeroOffset->m[2][3] = shift.z;
        zeroOffset->invalidate();
    }

    void line(const Pose& target) { canvas.lineTo(target, kLineFeed, originAt(3, 30), channel.key()); }

    // The element of queued command i (in key order).
    const Geo& queued(size_t i) const {
        auto it = channel.commands.commands().begin();
        std::advance(it, static_cast<ptrdiff_t>(i));
        return static_cast<const NCmdGeo&>(**it).geo();
    }

    test::TestChannel channel;
    Canvas6d canvas{channel, {}};
    TransMatrix* zeroOffset = nullptr;
    TransList* user = nullptr;
};

TEST_F(Canvas6dTest, LineIsQueuedInMachineCoordinatesAndNotDelivered) {
    line({4, 3, 0, 7, 8, 9});
    ASSERT_EQ(channel.commands.commands().size(), 1u);
    EXPECT_TRUE(channel.out.commands.empty());
    const Geo& g = queued(0);
    EXPECT_NE(dynamic_cast<const GeoLine*>(&g), nullptr);
    EXPECT_EQ(g.start(), Pose());
    EXPECT_EQ(g.end(), Pose(4, 3, 0, 7, 8, 9));
    EXPECT_EQ(g.key(), (BlockKey{1, 0.0}));
    EXPECT_EQ(g.feed().velocity, kLineFeed.velocity);
    EXPECT_EQ((*channel.commands.commands().begin())->serial(), kSerialUndelivered);
    EXPECT_EQ(canvas.current(), Pose(4, 3, 0, 7, 8, 9));

    channel.nextBlock();
    ASSERT_EQ(channel.out.lines.size(), 1u);
    EXPECT_EQ(channel.out.lines[0],
              "snr=1 key=1/0 n=30 Line time=1 from=[0.00,0.00,0.00,0.00,0.00,0.00] "
              "to=[4.00,3.00,0.00,7.00,8.00,9.00]");
}

TEST_F(Canvas6dTest, ZeroOffsetMovesTheTargetAndCurrent) {
    zeroOffsetShift({5, 0, 0});
    line({4, 3, 0, 0, 0, 0});
    EXPECT_EQ(queued(0).start(), Pose());
    EXPECT_EQ(queued(0).end(), Pose(9, 3, 0));
    EXPECT_EQ(canvas.current(), Pose(9, 3, 0));
}

TEST_F(Canvas6dTest, MirrorTurnsTheArcTheOtherWay) {
    userDiagonal(1, -1, 1);
    line({1, 0, 0});
    canvas.setVelocity(12.0);
    canvas.arcTo({0, 1, 0}, {0, 0, 0}, {0, 0, 1}, kPi / 2, originAt(4, 40), channel.key());
    const auto* h = dynamic_cast<const GeoHelix*>(&queued(1));
    ASSERT_NE(h, nullptr);
    EXPECT_DOUBLE_EQ(h->angle(), -kPi / 2);
    expectNear(h->end().position(), {0, -1, 0}, 1e-12);
    expectNear(h->pointAt(0.5), {std::sqrt(0.5), -std::sqrt(0.5), 0}, 1e-12);
    // Arcs take the processor's own feed, lines the feed passed in.
    EXPECT_EQ(h->feed().velocity, 12.0);
    EXPECT_EQ(queued(0).feed().velocity, kLineFeed.velocity);
    expectNear(canvas.current().position(), {0, -1, 0}, 0);
}

TEST_F(Canvas6dTest, DeterminantOfMinusZeroCountsAsMirroring) {
    // (x, y, z) -> (0, -y, z - x): flat, and its determinant comes out as -0.0.
    auto m = std::make_unique<TransMatrix>();
    m->m[0][0] = 0.0;
    m->m[1][1] = -1.0;
    m->m[2][0] = -1.0;
    m->invalidate();
    user->append(std::move(m));
    ASSERT_EQ(canvas.transformations().matrix().determinant(), 0.0);
    ASSERT_TRUE(std::signbit(canvas.transformations().matrix().determinant()));
    canvas.setCurrent({0, 1, 0});
    canvas.arcTo({0, -1, 0}, {0, 0, 0}, {0, 0, 1}, kPi, originAt(4, 40), channel.key());
    const auto* h = dynamic_cast<const GeoHelix*>(&queued(0));
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->angle(), -kPi);
}

TEST_F(Canvas6dTest, ScaledArcByAngleKeepsItsHeight) {
    userDiagonal(3, 3, 3);
    line({1, 0, 0});
    canvas.arcByAngle({0, 0, 0}, {0, 0, 1}, kPi / 2, 2.0, originAt(4, 40), channel.key());
    const auto* h = dynamic_cast<const GeoHelix*>(&queued(1));
    ASSERT_NE(h, nullptr);
    EXPECT_DOUBLE_EQ(h->radius(), 3.0);
    EXPECT_EQ(h->height(), 2.0);
    EXPECT_DOUBLE_EQ(h->angle(), kPi / 2);
    expectNear(canvas.current().position(), {0, 3, 2}, 1e-12);
    EXPECT_EQ(canvas.current(), h->end());
}

TEST_F(Canvas6dTest, InconsistentArcHandsNothingOnAndKeepsCurrent) {
    line({1, 0, 0, 4, 5, 6});
    try {
        canvas.arcTo({0, 2, 0}, {0, 0, 0}, {0, 0, 1}, kPi / 2, originAt(4, 40), channel.key());
        FAIL() << "an arc with inconsistent radii was made";
    } catch (const ExceptionRuntime& e) {
        EXPECT_EQ(e.message(), "Inconsistent radii (1.000000 != 2.000000) in definition of helix");
    }
    EXPECT_EQ(channel.commands.commands().size(), 1u);
    EXPECT_EQ(canvas.current(), Pose(1, 0, 0, 4, 5, 6));
}

TEST_F(Canvas6dTest, BezierKeepsTheRotaryAxesAtItsTarget) {
    zeroOffsetShift({0, 0, 10});
    canvas.setCurrent({0, 0, 10, 10, 20, 30});
    canvas.setVelocity(7.0);
    const std::vector<Point3> inner = {{1, 1, 0}, {2, 1, 0}};
    canvas.bezierTo({3, 0, 0}, inner, originAt(5, 50), channel.key());
    const auto* b = dynamic_cast<const GeoBezier*>(&queued(0));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->start(), Pose(0, 0, 10, 10, 20, 30));
    EXPECT_EQ(b->end(), Pose(3, 0, 10, 10, 20, 30));
    EXPECT_EQ(b->innerPoints(), (std::vector<Point3>{{1, 1, 10}, {2, 1, 10}}));
    EXPECT_EQ(b->feed().velocity, 7.0);
    EXPECT_EQ(canvas.current(), b->end());
}

TEST_F(Canvas6dTest, TwoCollectionLevelsHoldUntilTheLastEnds) {
    canvas.beginCollection();
    canvas.beginCollection();
    EXPECT_EQ(canvas.collectionDepth(), 2);
    EXPECT_EQ(canvas.heldKey(), (BlockKey{1, 0.0}));
    line({1, 0, 0});
    channel.nextBlock();
    line({2, 0, 0});
    channel.nextBlock();
    EXPECT_TRUE(channel.commands.commands().empty());

    canvas.endCollection();
    EXPECT_EQ(canvas.collectionDepth(), 1);
    EXPECT_EQ(canvas.heldElements().size(), 2u);
    EXPECT_EQ(channel.commands.heldKeys().count({1, 0.0}), 1u);
    EXPECT_TRUE(channel.out.commands.empty());

    canvas.endCollection();
    EXPECT_EQ(canvas.collectionDepth(), 0);
    EXPECT_TRUE(canvas.heldElements().empty());
    EXPECT_TRUE(channel.commands.heldKeys().empty());
    EXPECT_EQ(channel.out.texts(),
              (std::vector<std::string>{
                  "Line time=1 from=[0.00,0.00,0.00,0.00,0.00,0.00] to=[1.00,0.00,0.00,0.00,0.00,0.00]",
                  "Line time=2 from=[1.00,0.00,0.00,0.00,0.00,0.00] to=[2.00,0.00,0.00,0.00,0.00,0.00]"}));

    // A close without an open changes nothing.
    canvas.endCollection();
    EXPECT_EQ(canvas.collectionDepth(), 0);
    canvas.beginCollection();
    EXPECT_EQ(canvas.collectionDepth(), 1);
    EXPECT_EQ(channel.commands.heldKeys().count(channel.key()), 1u);
}

TEST_F(Canvas6dTest, PipelineTakesTheElementInsteadOfTheQueue) {
    canvas.setPipelineEnabled(true);
    canvas.breakdetect().setLimits(1.0, 100.0);
    canvas.linemerge().setLimits(0.01, 0.1, 100.0);
    line({1, 0, 0});
    EXPECT_TRUE(channel.commands.commands().empty());
    EXPECT_EQ(channel.commands.heldKeys().count({1, 0.0}), 1u);
}

TEST_F(Canvas6dTest, ChainWithLimitsZeroPassesElementsUnchangedInOrder) {
    canvas.setPipelineEnabled(true);
    std::vector<std::string> made;
    const std::vector<Pose> targets = {{2, 0, 0}, {2, 2, 0}, {4, 2, 0}, {4, 2, 1}};
    for (const Pose& target : targets) {
        made.push_back(GeoLine(canvas.current(), target, kLineFeed, {}, channel.key()).toString());
        line(target);
        channel.nextBlock();
    }
    canvas.setVelocity(5.0);
    made.push_back(GeoHelix(canvas.current(), {4, 0, 1}, {0, 0, 1}, kPi, 0.0, FeedParams{5.0, 0.0},
                            {}, channel.key())
                       .toString());
    canvas.arcByAngle({4, 0, 1}, {0, 0, 1}, kPi, 0.0, originAt(9, 90), channel.key());
    channel.nextBlock();
    canvas.head().flushAll();
    EXPECT_EQ(channel.out.texts(), made);
    EXPECT_TRUE(channel.commands.heldKeys().empty());
}

TEST_F(Canvas6dTest, ResetClearsMotionAndRoutingStateButNotKeyOrStack) {
    userDiagonal(2, 2, 2);
    line({1, 2, 3, 4, 5, 6});
    canvas.setVelocity(9.0);
    canvas.setSecondVelocity(3.0);
    canvas.setFeedMode(FeedMode::contour);
    canvas.setPipelineEnabled(true);
    canvas.breakdetect().setLimits(1.0, 2.0);
    canvas.beziermerge().setMergeDiff(0.5);
    canvas.collisionElimination().active = true;
    canvas.radiusCompensation().active = true;
    canvas.beginCollection();
    canvas.beginCollection();
    line({3, 3, 3});

    canvas.reset();
    EXPECT_EQ(canvas.current(), Pose());
    EXPECT_EQ(canvas.feed().velocity, 0.0);
    EXPECT_EQ(canvas.feed().secondVelocity, 0.0);
    EXPECT_EQ(canvas.feedMode(), FeedMode::toolCenterPoint);
    EXPECT_FALSE(canvas.pipelineEnabled());
    EXPECT_EQ(canvas.collectionDepth(), 0);
    EXPECT_TRUE(canvas.heldElements().empty());
    EXPECT_FALSE(canvas.collisionElimination().active);
    EXPECT_EQ(canvas.collisionElimination().limit, UINT64_MAX);
    EXPECT_FALSE(canvas.radiusCompensation().active);
    EXPECT_EQ(canvas.radiusCompensation().limit, UINT64_MAX);
    EXPECT_EQ(canvas.breakdetect().breakLength(), 0.0);
    EXPECT_EQ(canvas.beziermerge().mergeDiff(), 0.0);
    // The held key and the stack stay; the G-code processor clears the queue itself.
    EXPECT_EQ(canvas.heldKey(), (BlockKey{1, 0.0}));
    EXPECT_EQ(user->size(), 1u);
    EXPECT_EQ(channel.commands.heldKeys().count({1, 0.0}), 1u);
}

// Drops every delivered command.
class DiscardingOutput final : public NInterface {
public:
    void keyReset() override {}
    void cmdAdd(std::unique_ptr<NCmd>) override {}
    void ipolRulesSend() override {}
    void finish() override {}
    void keySet(const BlockKey&) override {}
};

TEST_F(Canvas6dTest, LineCostsOnlyItsElementAndItsCommand) {
    DiscardingOutput discard;
    channel.commands.setOutput(&discard);
    userDiagonal(2, 2, 2);
    const auto lines = [this](int n) {
        for (int i = 0; i < n; ++i) {
            canvas.lineTo({static_cast<double>(i), 0, 0}, kLineFeed, BlockOrigin{}, channel.key());
            channel.nextBlock();
        }
    };
    lines(10); // the queue's nodes and the cached product are made here
    const int64_t before = test::allocationCount();
    lines(500);
    EXPECT_EQ(test::allocationCount() - before, 2 * 500);
    channel.commands.clear();
    channel.commands.setOutput(&channel.out);
}

} // namespace
} // namespace Karsto
