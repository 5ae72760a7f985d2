// Tool radius compensation: the compensated path of collected contours as golden streams
// (sides, corners, approach and depart, the loop cut by collision elimination), the
// corner kinds, the feed of compensated arcs, the Bezier polygon shift and the errors.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "core/exception.h"
#include "geometry/geo_bezier.h"
#include "geometry/geo_helix.h"
#include "geometry/geo_line.h"
#include "geometry/geometry_test_support.h"
#include "geometry/path_test_support.h"
#include "geometry/radius_compensation.h"

namespace Karsto {
namespace {


struct Compensation {
    Point3 vector;
    double offset = 0.0;
    double approachRadius = 0.0;
    double approachAngle = 0.0;
    double departRadius = 0.0;
    double departAngle = 0.0;
    uint64_t limit = 0;
};

class RadiusCompensationTest : public ::testing::Test {
protected:
    void on(const Compensation& c) {
        bench.canvas.setParallelPath(c.vector, c.offset, c.approachRadius, c.approachAngle,
                                     c.departRadius, c.departAngle, c.limit);
    }
    void off() { bench.canvas.setParallelPath({}, 0, 0, 0, 0, 0, 0); }

    // From (-5, 0, 0) the approach to (0, 0, 0), then along +x to (10, 0, 0) and on to
    // the last target, one block each, compensated.
    void compensate(const Compensation& c, const Pose& last) {
        bench.canvas.setCurrent({-5, 0, 0});
        on(c);
        bench.lines({{0, 0, 0}, {10, 0, 0}, last});
        off();
    }
    // The left turn up +y.
    void corner(const Compensation& c) { compensate(c, {10, 10, 0}); }

    // The delivered path elements, in order.
    std::vector<const Geo*> delivered() const {
        std::vector<const Geo*> result;
        for (const auto& cmd : bench.channel.out.commands) {
            result.push_back(&static_cast<const NCmdGeo&>(*cmd).geo());
        }
        return result;
    }

    // The message of the error that compensating the collected path raises.
    std::string offError() {
        try {
            off();
        } catch (const ExceptionRuntime& e) {
            return e.message();
        }
        return "no error";
    }

    test::PathBench bench;
};

TEST_F(RadiusCompensationTest, LeftInnerCornerMakesALoopArc) {
    corner({.vector = {0, 0, 2}});
    EXPECT_EQ(bench.channel.out.text(), test::goldenStream("trc_left"));
    EXPECT_EQ(bench.canvas.current(), Pose(8, 10, 0));
    EXPECT_EQ(bench.canvas.collectionDepth(), 0);
    EXPECT_TRUE(bench.channel.commands.heldKeys().empty());
    EXPECT_FALSE(bench.canvas.radiusCompensation().active);
}

TEST_F(RadiusCompensationTest, LimitSendsThePathThroughCollisionElimination) {
    corner({.vector = {0, 0, 2}, .limit = kNoLimit});
    EXPECT_EQ(bench.channel.out.text(), test::goldenStream("trc_left_limit"));
    EXPECT_EQ(bench.canvas.current(), Pose(8, 10, 0));
    EXPECT_EQ(bench.canvas.collectionDepth(), 0);
    EXPECT_FALSE(bench.canvas.collisionElimination().active);
    EXPECT_TRUE(bench.channel.commands.heldKeys().empty());
}

TEST_F(RadiusCompensationTest, RightOuterCornerTurnsAboutTheNegativeNormal) {
    corner({.vector = {0, 0, -2}});
    EXPECT_EQ(bench.channel.out.text(), test::goldenStream("trc_right"));
    EXPECT_EQ(bench.canvas.current(), Pose(12, 10, 0));
}

TEST_F(RadiusCompensationTest, OffsetExtendsTheOuterCornerAndArcsBetween) {
    corner({.vector = {0, 0, -2}, .offset = 1});
    EXPECT_EQ(bench.channel.out.text(), test::goldenStream("trc_right_offset"));
    // The corner arc is tangent to both extensions.
    const auto* arc = dynamic_cast<const GeoHelix*>(delivered()[3]);
    ASSERT_NE(arc, nullptr);
    expectNear(arc->startTangent().normalized(), {1, 0, 0}, 1e-12);
    expectNear(arc->endTangent().normalized(), {0, 1, 0}, 1e-12);
}

TEST_F(RadiusCompensationTest, ApproachAndDepartArcsJoinTangentially) {
    corner({.vector = {0, 0, 2}, .approachRadius = 1, .approachAngle = kPi / 2,
            .departRadius = 1, .departAngle = kPi / 2});
    EXPECT_EQ(bench.channel.out.text(), test::goldenStream("trc_approach_depart"));
    const std::vector<const Geo*> path = delivered();
    ASSERT_EQ(path.size(), 6u);
    // The approach arc arrives along +x, the depart arc leaves along +y.
    expectNear(path[1]->endTangent().normalized(), {1, 0, 0}, 1e-12);
    expectNear(path[5]->startTangent().normalized(), {0, 1, 0}, 1e-12);
    expectNear(bench.canvas.current().position(), {7, 11, 0}, 1e-12);
}

TEST_F(RadiusCompensationTest, CollinearLinesGetNoCorner) {
    compensate({.vector = {0, 0, 2}}, {20, 0, 0});
    const std::vector<const Geo*> path = delivered();
    ASSERT_EQ(path.size(), 3u);
    for (const Geo* g : path) EXPECT_EQ(g->key().sub, 0.0);
    EXPECT_EQ(path[2]->start(), Pose(10, 2, 0));
    EXPECT_EQ(path[2]->end(), Pose(20, 2, 0));
}

TEST_F(RadiusCompensationTest, ReversalTurnsAroundTheEndByMinusPi) {
    compensate({.vector = {0, 0, 2}}, {0, 0, 0});
    const std::vector<const Geo*> path = delivered();
    ASSERT_EQ(path.size(), 4u);
    const auto* turn = dynamic_cast<const GeoHelix*>(path[2]);
    ASSERT_NE(turn, nullptr);
    EXPECT_EQ(turn->key(), (BlockKey{3, -2.0}));
    EXPECT_DOUBLE_EQ(turn->angle(), -kPi);
    // Around the far side of the end point.
    expectNear(turn->pointAt(0.5), {12, 0, 0}, 1e-12);
    expectNear(path[3]->start().position(), {10, -2, 0}, 1e-12);
    expectNear(path[3]->end().position(), {0, -2, 0}, 1e-12);
}

TEST_F(RadiusCompensationTest, MirrorKeepsTheProgrammedSide) {
    auto mirror = std::make_unique<TransMatrix>();
    mirror->m[1][1] = -1.0;
    mirror->invalidate();
    bench.canvas.transformations().append(std::move(mirror));
    corner({.vector = {0, 0, 2}});
    // The mirror image of the left case: left of the programmed contour.
    const std::vector<const Geo*> path = delivered();
    ASSERT_EQ(path.size(), 4u);
    EXPECT_EQ(path[0]->end(), Pose(0, -2, 0));
    EXPECT_EQ(path[1]->end(), Pose(10, -2, 0));
    const auto* arc = dynamic_cast<const GeoHelix*>(path[2]);
    ASSERT_NE(arc, nullptr);
    expectNear(arc->normal(), {0, 0, -1}, 0);
    EXPECT_DOUBLE_EQ(arc->angle(), kPi / 2);
    EXPECT_EQ(path[3]->start(), Pose(8, 0, 0));
    EXPECT_EQ(path[3]->end(), Pose(8, -10, 0));
}

TEST_F(RadiusCompensationTest, UnequalCornerDistancesJoinByLineOrApproachArc) {
    struct Case {
        double approachRadius;
        std::vector<std::string> corner; // the elements keyed in block 3 before its own
    };
    const std::vector<Case> cases = {
        {0.0, {"Line time=3 from=[10.00,2.00,0.00,0.00,0.00,0.00] to=[10.00,0.00,0.00,0.00,0.00,0.00]"}},
        {1.0,
         {"Line time=3 from=[10.00,2.00,0.00,0.00,0.00,0.00] to=[9.00,-1.00,0.00,0.00,0.00,0.00]",
          "Helix time=3 from=[9.00,-1.00,0.00,0.00,0.00,0.00] to=[10.00,0.00,0.00,0.00,0.00,0.00] "
          "center=[9.00,0.00,0.00] normal=[0.00,0.00,1.00] angle=1.5708"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.approachRadius);
        test::PathBench b;
        b.canvas.setCurrent({-5, 0, 0});
        b.canvas.setParallelPath({0, 0, 2}, 0, c.approachRadius, kPi / 2, 0, 0, 0);
        b.lines({{0, 0, 0}, {10, 0, 0}});
        // The contour jumps: the next element starts 2 mm further on.
        b.element(std::make_unique<GeoLine>(Pose(12, 0, 0), Pose(12, 10, 0), FeedParams{10, 0},
                                            b.origin(), b.channel.key()));
        b.canvas.setParallelPath({}, 0, 0, 0, 0, 0, 0);
        std::vector<std::string> inserted;
        std::vector<double> subs;
        for (const auto& cmd : b.channel.out.commands) {
            if (cmd->key().counter == 3 && cmd->key().sub < 0.0) {
                inserted.push_back(cmd->toString());
                subs.push_back(cmd->key().sub);
            }
        }
        EXPECT_EQ(inserted, c.corner);
        const std::vector<double> expectedSubs =
            c.approachRadius == 0.0 ? std::vector<double>{-2.0} : std::vector<double>{-2.0, -1.5};
        EXPECT_EQ(subs, expectedSubs);
    }
}

TEST_F(RadiusCompensationTest, LineAlongTheNormalKeepsThePreviousSide) {
    bench.canvas.setCurrent({-5, 0, 0});
    on({.vector = {0, 0, 2}});
    bench.lines({{0, 0, 0}, {10, 0, 0}, {10, 0, -5}, {10, 10, -5}});
    off();
    const std::vector<const Geo*> path = delivered();
    ASSERT_EQ(path.size(), 5u);
    EXPECT_EQ(path[2]->start(), Pose(10, 2, 0));
    EXPECT_EQ(path[2]->end(), Pose(10, 2, -5));
    // The corner after the plunge is made at its depth.
    EXPECT_EQ(path[3]->key(), (BlockKey{4, -2.0}));
    expectNear(path[3]->end().position(), {8, 0, -5}, 1e-12);
}

TEST_F(RadiusCompensationTest, SwitchingOnAgainComputesThePendingPathFirst) {
    bench.canvas.setCurrent({-5, 0, 0});
    on({.vector = {0, 0, 2}});
    bench.lines({{0, 0, 0}, {10, 0, 0}});
    on({.vector = {0, 0, -1}});
    EXPECT_EQ(bench.canvas.collectionDepth(), 1);
    EXPECT_TRUE(bench.canvas.radiusCompensation().active);
    EXPECT_TRUE(bench.canvas.heldElements().empty());
    EXPECT_EQ(bench.canvas.current(), Pose(10, 2, 0));
    // The first path went on before the new level began holding.
    EXPECT_EQ(bench.channel.out.commands.size(), 2u);
    EXPECT_EQ(bench.canvas.heldKey(), (BlockKey{3, 0.0}));
    EXPECT_EQ(bench.canvas.radiusCompensation().offsetVector, (Point3{0, 0, -1}));

    bench.lines({{20, 2, 0}, {30, 2, 0}});
    off();
    const std::vector<const Geo*> path = delivered();
    ASSERT_EQ(path.size(), 4u);
    EXPECT_EQ(path[2]->start(), Pose(10, 2, 0));
    EXPECT_EQ(path[2]->end(), Pose(20, 1, 0));
    EXPECT_EQ(path[3]->end(), Pose(30, 1, 0));
    EXPECT_EQ(bench.canvas.collectionDepth(), 0);
}

TEST_F(RadiusCompensationTest, ArcFeedFollowsTheFeedMode) {
    // A quarter circle of radius 8 about the origin, compensated to the inside (left) or
    // the outside (right) by 2 mm.
    struct Case {
        FeedMode mode;
        double side; // +1 left, -1 right
        double radius;
        double velocity;
    };
    const std::vector<Case> cases = {
        {FeedMode::contour, 1, 6, 7.5},         {FeedMode::internalRadius, 1, 6, 7.5},
        {FeedMode::toolCenterPoint, 1, 6, 10},  {FeedMode::contour, -1, 10, 12.5},
        {FeedMode::internalRadius, -1, 10, 10}, {FeedMode::toolCenterPoint, -1, 10, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode) * 10 + static_cast<int>(c.side));
        test::PathBench b;
        b.canvas.setFeedMode(c.mode);
        b.canvas.setVelocity(10.0);
        b.canvas.setCurrent({8, -5, 0});
        b.canvas.setParallelPath({0, 0, 2 * c.side}, 0, 0, 0, 0, 0, 0);
        b.line({8, 0, 0});
        b.canvas.arcTo({0, 8, 0}, {0, 0, 0}, {0, 0, 1}, kPi / 2, b.origin(), b.channel.key());
        b.channel.nextBlock();
        b.canvas.setParallelPath({}, 0, 0, 0, 0, 0, 0);
        ASSERT_EQ(b.channel.out.commands.size(), 2u);
        const auto& arc = dynamic_cast<const GeoHelix&>(
            static_cast<const NCmdGeo&>(*b.channel.out.commands[1]).geo());
        EXPECT_NEAR(arc.radius(), c.radius, 1e-12);
        EXPECT_DOUBLE_EQ(arc.angle(), kPi / 2);
        EXPECT_NEAR(arc.feed().velocity, c.velocity, 1e-12);
    }
}

TEST(BezierPolygonShift, KeepsEveryLegAtTheDistance) {
    struct Case {
        std::vector<Point3> polygon;
        std::vector<Point3> shifted;
    };
    const std::vector<Case> cases = {
        // Straight: every point moves across.
        {{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, {{0, 2, 0}, {1, 2, 0}, {2, 2, 0}, {3, 2, 0}}},
        // A right angle at the second point: its miter reaches both shifted legs.
        {{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 2, 0}},
         {{0, 2, 0}, {-1, 2, 0}, {-1, 1, 0}, {-1, 2, 0}}},
        // Short legs take the direction of the next longer one.
        {{{0, 0, 0}, {0, 0, 0}, {3, 0, 0}, {3, 0, 0}}, {{0, 2, 0}, {0, 2, 0}, {3, 2, 0}, {3, 2, 0}}},
    };
    for (const Case& c : cases) {
        std::vector<Point3> p = c.polygon;
        shiftBezierPolygon(p, {0, 0, 2});
        ASSERT_EQ(p.size(), c.shifted.size());
        for (size_t i = 0; i < p.size(); ++i) {
            SCOPED_TRACE(i);
            expectNear(p[i], c.shifted[i], 1e-12);
        }
    }
}

TEST_F(RadiusCompensationTest, BezierIsShiftedByItsPolygon) {
    bench.canvas.setCurrent({-5, 0, 0});
    on({.vector = {0, 0, 2}});
    bench.line({0, 0, 0});
    const std::vector<Point3> inner = {{2, 0, 0}, {4, 0, 0}};
    bench.canvas.bezierTo({6, 0, 0}, inner, bench.origin(), bench.channel.key());
    bench.channel.nextBlock();
    bench.line({6, 6, 0});
    off();
    EXPECT_EQ(bench.channel.out.texts(),
              (std::vector<std::string>{
                  "Line time=1 from=[-5.00,0.00,0.00,0.00,0.00,0.00] to=[0.00,2.00,0.00,0.00,0.00,0.00]",
                  "Bezier3 time=2 from=[0.00,2.00,0.00,0.00,0.00,0.00] to=[6.00,2.00,0.00,0.00,0.00,0.00] "
                  "cp1=[2.00,2.00,0.00] cp2=[4.00,2.00,0.00]",
                  "Helix time=3 from=[6.00,2.00,0.00,0.00,0.00,0.00] to=[4.00,0.00,0.00,0.00,0.00,0.00] "
                  "center=[6.00,0.00,0.00] normal=[0.00,0.00,1.00] angle=1.5708",
                  "Line time=3 from=[4.00,0.00,0.00,0.00,0.00,0.00] to=[4.00,6.00,0.00,0.00,0.00,0.00]"}));
}

TEST_F(RadiusCompensationTest, ErrorsOfTheCollectedPath) {
    struct Case {
        const char* name;
        std::function<void(test::PathBench&)> collect;
        std::string message;
    };
    const auto lineTo = [](test::PathBench& b, const Pose& target) { b.line(target); };
    const auto bezier = [](test::PathBench& b, std::vector<Point3> inner, const Point3& target) {
        b.canvas.bezierTo(target, inner, b.origin(), b.channel.key());
        b.channel.nextBlock();
    };
    const std::vector<Case> cases = {
        {"one element", [&](test::PathBench& b) { lineTo(b, {0, 0, 0}); },
         "Parallel path can not be determined."},
        {"no move in the plane",
         [&](test::PathBench& b) {
             lineTo(b, {0, 0, 0});
             lineTo(b, {0, 0, -5});
         },
         "Parallel path can not be determined."},
        {"arc across the plane",
         [&](test::PathBench& b) {
             lineTo(b, {0, 0, 0});
             b.canvas.arcTo({0, 5, 5}, {0, 0, 5}, {1, 0, 0}, kPi / 2, b.origin(), b.channel.key());
             b.channel.nextBlock();
         },
         "Circle/helix does not lie in plane for parallel transformation"},
        {"degenerated Bezier",
         [&](test::PathBench& b) {
             lineTo(b, {0, 0, 0});
             lineTo(b, {10, 0, 0});
             bezier(b, {{10, 0, 0}, {10 + 4e-7, 0, 0}}, {10 + 8e-7, 0, 0});
         },
         "Parallel transformation can not be applied to degenerated bezier-curve."},
        {"Bezier legs that cancel",
         [&](test::PathBench& b) {
             lineTo(b, {0, 0, 0});
             lineTo(b, {10, 0, 0});
             bezier(b, {{11, 0, 0}, {10, 0, 0}}, {11, 0, 0});
         },
         "Parallel transformation can not be applied to degenerated bezier-curve."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::PathBench b;
        b.canvas.setCurrent({-5, 0, 0});
        b.canvas.setParallelPath({0, 0, 2}, 0, 0, 0, 0, 0, 0);
        c.collect(b);
        try {
            b.canvas.setParallelPath({}, 0, 0, 0, 0, 0, 0);
            ADD_FAILURE() << "no error";
        } catch (const ExceptionRuntime& e) {
            EXPECT_EQ(e.message(), c.message);
        }
        // Nothing escapes to the queue: the processor stays collecting until a reset.
        EXPECT_EQ(b.canvas.collectionDepth(), 1);
        EXPECT_TRUE(b.channel.out.commands.empty());
        b.canvas.reset();
        EXPECT_EQ(b.canvas.collectionDepth(), 0);
    }
}

TEST_F(RadiusCompensationTest, OffsetCornerWithoutCentreIsRefused) {
    // The next element starts 5 mm higher above the same corner: both shifted points lie
    // on one side, the extensions cancel and the corner arc has no centre.
    bench.canvas.setCurrent({-5, 0, 0});
    on({.vector = {0, 0, 2}, .offset = 1});
    bench.lines({{0, 0, 0}, {10, 0, 0}});
    bench.element(std::make_unique<GeoLine>(Pose(10, 0, 5), Pose(20, 0, 5), FeedParams{10, 0},
                                            bench.origin(), bench.channel.key()));
    try {
        off();
        FAIL() << "an arc without a centre was made";
    } catch (const ExceptionRuntime& e) {
        EXPECT_EQ(e.message().rfind("Inconsistent radii (", 0), 0u) << e.message();
    }
}

} // namespace
} // namespace Karsto
