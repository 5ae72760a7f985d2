// Collision elimination: the walk that cuts loops out of the held path (meetings across
// heights with connectors, the look-ahead window, parallel lines, Bezier curves), its
// collection levels and start index, and that degenerate input ends without cutting.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "geometry/geo_bezier.h"
#include "geometry/geo_helix.h"
#include "geometry/geo_line.h"
#include "geometry/geometry_test_support.h"
#include "geometry/path_test_support.h"

namespace Karsto {
namespace {

const FeedParams kCollisionFeed{10.0, 0.0};

std::string lineText(uint64_t counter, const Pose& from, const Pose& to) {
    return GeoLine(from, to, kCollisionFeed, {}, {counter, 0.0}).toString();
}

TEST(CollisionElimination, CrossingAtAnotherHeightIsCutAndConnected) {
    test::PathBench b;
    b.canvas.beginCollisionElimination(kUp, kNoLimit);
    b.lines({{6, 0, 0}, {6, 4, 2}, {3, -4, 2}});
    EXPECT_TRUE(b.channel.out.commands.empty());
    b.canvas.endCollisionElimination();
    EXPECT_EQ(b.channel.out.text(), test::goldenStream("collision_connector"));
    EXPECT_FALSE(b.canvas.collisionElimination().active);
    EXPECT_EQ(b.canvas.collectionDepth(), 0);
    EXPECT_TRUE(b.channel.commands.heldKeys().empty());
}

TEST(CollisionElimination, LookAheadWindowCountsOnlyBlockElementsInThePlane) {
    // The compensated inner corner: a shifted line, the corner arc (sub-number -2, not
    // counted) and the next shifted line, which crosses the first at (8, 2).
    const auto loop = [](test::PathBench& b) {
        const BlockOrigin o = b.origin();
        b.canvas.addGeo(std::make_unique<GeoLine>(Pose(0, 2, 0), Pose(10, 2, 0), kCollisionFeed, o, BlockKey{2, 0.0}));
        b.canvas.addGeo(std::make_unique<GeoHelix>(Pose(10, 2, 0), Pose(8, 0, 0), Point3{10, 0, 0}, kUp,
                                                   kCollisionFeed, o, BlockKey{3, -2.0}, kPi / 2));
        b.canvas.addGeo(std::make_unique<GeoLine>(Pose(8, 0, 0), Pose(8, 10, 0), kCollisionFeed, o, BlockKey{3, 0.0}));
    };
    // Three lines with a crossing of the first and the third.
    const auto zigzag = [](test::PathBench& b) { b.lines({{6, 0, 0}, {6, 4, 0}, {3, -4, 0}}); };
    const std::vector<std::string> loopUncut = {
        lineText(2, {0, 2, 0}, {10, 2, 0}),
        "Helix time=3 from=[10.00,2.00,0.00,0.00,0.00,0.00] to=[8.00,0.00,0.00,0.00,0.00,0.00] "
        "center=[10.00,0.00,0.00] normal=[0.00,0.00,1.00] angle=1.5708",
        lineText(3, {8, 0, 0}, {8, 10, 0})};
    const std::vector<std::string> loopCut = {lineText(2, {0, 2, 0}, {8, 2, 0}),
                                              lineText(3, {8, 2, 0}, {8, 10, 0})};
    const std::vector<std::string> zigzagUncut = {
        lineText(1, {0, 0, 0}, {6, 0, 0}), lineText(2, {6, 0, 0}, {6, 4, 0}),
        lineText(3, {6, 4, 0}, {3, -4, 0})};
    const std::vector<std::string> zigzagCut = {lineText(1, {0, 0, 0}, {4.5, 0, 0}),
                                                lineText(3, {4.5, 0, 0}, {3, -4, 0})};
    struct Case {
        const char* name;
        std::function<void(test::PathBench&)> collect;
        uint64_t limit;
        std::vector<std::string> result;
    };
    const std::vector<Case> cases = {
        {"loop, limit 0", loop, 0, loopUncut},
        {"loop, limit 1", loop, 1, loopCut},
        {"zigzag, limit 0", zigzag, 0, zigzagUncut},
        {"zigzag, limit 1", zigzag, 1, zigzagUncut},
        {"zigzag, limit 2", zigzag, 2, zigzagCut},
        {"zigzag, limit 2^32 - 1", zigzag, (uint64_t{1} << 32) - 1, zigzagCut},
        {"zigzag, limit 2^32", zigzag, uint64_t{1} << 32, zigzagCut},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::PathBench b;
        b.canvas.beginCollisionElimination(kUp, c.limit);
        c.collect(b);
        b.canvas.eliminateCollisions();
        EXPECT_EQ(b.heldTexts(), c.result);
        // Elimination alone neither ends the collection nor switches itself off.
        EXPECT_EQ(b.canvas.collectionDepth(), 1);
        EXPECT_TRUE(b.canvas.collisionElimination().active);
    }
}

TEST(CollisionElimination, ParallelLinesAreNeverCut) {
    test::PathBench b;
    b.canvas.beginCollisionElimination(kUp, kNoLimit);
    // Back over the first line one level higher: overlapping when seen along z.
    b.lines({{10, 0, 0}, {10, 0, 1}, {2, 0, 1}});
    const std::vector<std::string> before = b.heldTexts();
    b.canvas.eliminateCollisions();
    EXPECT_EQ(b.heldTexts(), before);
}

// Where the cubic curve (0,0) (1,3) (3,3) (4,0) crosses the line x = 3.4 - 0.3 y from
// (4,-2) to (2.5,3): found by bisection on the falling half of the curve.
Point3 bezierCrossing(const GeoBezier& curve) {
    const auto side = [&](double t) {
        const Point3 p = curve.pointAt(t);
        return p.x - (3.4 - 0.3 * p.y);
    };
    double lo = 0.5;
    double hi = 1.0;
    for (int i = 0; i < 80; ++i) {
        const double mid = (lo + hi) / 2.0;
        (side(mid) < 0.0 ? lo : hi) = mid;
    }
    return curve.pointAt(lo);
}

TEST(CollisionElimination, BezierCrossedByALaterLineIsCutWhereTheyCross) {
    test::PathBench b;
    b.canvas.beginCollisionElimination(kUp, kNoLimit);
    const std::vector<Point3> inner = {{1, 3, 0}, {3, 3, 0}};
    b.canvas.bezierTo({4, 0, 0}, inner, b.origin(), b.channel.key());
    b.channel.nextBlock();
    b.lines({{4, -2, 0}, {2.5, 3, 0}});
    const Point3 crossing = bezierCrossing(static_cast<const GeoBezier&>(*b.canvas.heldElements()[0]));

    b.canvas.eliminateCollisions();
    const auto& held = b.canvas.heldElements();
    ASSERT_GE(held.size(), 2u);
    const auto* piece = dynamic_cast<const GeoBezier*>(held.front().get());
    ASSERT_NE(piece, nullptr);
    EXPECT_EQ(piece->start(), Pose(0, 0, 0));
    expectNear(piece->end().position(), crossing, 0.001);
    // The walk goes on along the crossing line from the same place; the loop is gone.
    const Geo& rest = *held.back();
    EXPECT_EQ(rest.key(), (BlockKey{3, 0.0}));
    expectNear(rest.start().position(), crossing, 0.001);
    EXPECT_EQ(rest.end(), Pose(2.5, 3, 0));
    for (const auto& e : held) EXPECT_NE(e->key().counter, 2u);
}

TEST(CollisionElimination, DegenerateInputEndsWithoutCutting) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        std::function<void(test::PathBench&)> collect;
    };
    const auto element = [](test::PathBench& b, std::unique_ptr<Geo> g) { b.element(std::move(g)); };
    const std::vector<Case> cases = {
        {"NaN coordinates",
         [&](test::PathBench& b) {
             b.lines({{nan, 0, 0}, {6, nan, 0}, {nan, nan, nan}, {0, 5, 0}, {3, -4, 0}});
         }},
        {"helix with a zero normal",
         [&](test::PathBench& b) {
             b.line({6, 0, 0});
             element(b, std::make_unique<GeoHelix>(Pose(6, 0, 0), Point3{3, 0, 0}, Point3{0, 0, 0},
                                                   kPi, 0.0, kCollisionFeed, b.origin(), b.channel.key()));
             b.canvas.setCurrent({0, -1, 0});
             b.line({6, -5, 0});
         }},
        {"Bezier between lines",
         [&](test::PathBench& b) {
             b.lines({{0, 0, 2}, {0, 0, 0}});
             const std::vector<Point3> inner = {{1, 1, 0}, {2, 1, 0}};
             b.canvas.bezierTo({3, 0, 0}, inner, b.origin(), b.channel.key());
             b.channel.nextBlock();
             b.lines({{3, -2, 0}, {0, -2, 0}});
         }},
        {"Bezier with a NaN control point",
         [&](test::PathBench& b) {
             b.line({4, 0, 0});
             const std::vector<Point3> inner = {{nan, 1, 0}, {2, -1, 0}};
             b.canvas.bezierTo({0, 0, 0}, inner, b.origin(), b.channel.key());
             b.channel.nextBlock();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::PathBench b;
        b.canvas.beginCollisionElimination(kUp, kNoLimit);
        c.collect(b);
        const std::vector<std::string> before = b.heldTexts();
        b.canvas.eliminateCollisions();
        EXPECT_EQ(b.heldTexts(), before);
    }
}

TEST(CollisionElimination, StartIndexLeavesEarlierElementsAndMayLieBeyondTheEnd) {
    test::PathBench b;
    b.canvas.beginCollection();
    b.lines({{6, 0, 0}, {6, 4, 0}});
    // A second begin opens no level and moves the start to the end of what is held.
    b.canvas.beginCollisionElimination(kUp, kNoLimit);
    b.canvas.beginCollisionElimination({0, 0, 2}, 5);
    EXPECT_EQ(b.canvas.collectionDepth(), 2);
    EXPECT_EQ(b.canvas.collisionElimination().startIndex, 2);
    EXPECT_EQ(b.canvas.collisionElimination().limit, 5u);
    EXPECT_EQ(b.canvas.collisionElimination().planeNormal, (Point3{0, 0, 2}));
    b.lines({{3, -4, 0}, {3, 5, 0}});
    b.canvas.eliminateCollisions();
    // The first two are not examined; (6,4)-(3,-4) would cross (0,0)-(6,0) otherwise.
    EXPECT_EQ(b.heldTexts(), (std::vector<std::string>{
                                 lineText(1, {0, 0, 0}, {6, 0, 0}), lineText(2, {6, 0, 0}, {6, 4, 0}),
                                 lineText(3, {6, 4, 0}, {3, -4, 0}), lineText(4, {3, -4, 0}, {3, 5, 0})}));

    b.canvas.collisionElimination().startIndex = 9;
    const std::vector<std::string> before = b.heldTexts();
    b.canvas.eliminateCollisions();
    EXPECT_EQ(b.heldTexts(), before);
}

TEST(CollisionElimination, FlushHandsOnAndKeepsCollecting) {
    test::PathBench b;
    b.canvas.collisionElimination().startIndex = 0;
    b.canvas.flushCollisionElimination(); // not active: nothing
    EXPECT_EQ(b.canvas.collectionDepth(), 0);

    b.canvas.beginCollisionElimination(kUp, kNoLimit);
    b.lines({{6, 0, 0}, {6, 4, 0}, {3, -4, 0}});
    b.canvas.flushCollisionElimination();
    EXPECT_EQ(b.channel.out.texts(), (std::vector<std::string>{lineText(1, {0, 0, 0}, {4.5, 0, 0}),
                                                               lineText(3, {4.5, 0, 0}, {3, -4, 0})}));
    EXPECT_EQ(b.canvas.collectionDepth(), 1);
    EXPECT_TRUE(b.canvas.collisionElimination().active);
    EXPECT_EQ(b.canvas.heldKey(), (BlockKey{4, 0.0}));
    EXPECT_EQ(b.channel.commands.heldKeys().count({4, 0.0}), 1u);

    // Under a compensation level the flushed elements stay held.
    b.canvas.beginCollection();
    b.lines({{3, 0, 0}});
    b.canvas.flushCollisionElimination();
    EXPECT_EQ(b.canvas.collectionDepth(), 2);
    EXPECT_EQ(b.canvas.heldElements().size(), 1u);
}

// A long random path of short and long lines, arcs and cubic curves at a few heights,
// crossing itself often, with inserted elements among them.
std::vector<std::unique_ptr<Geo>> tangle(uint32_t seed, size_t count) {
    std::mt19937 random(seed);
    const auto uniform = [&](double lo, double hi) {
        return lo + (hi - lo) * static_cast<double>(random()) / static_cast<double>(std::mt19937::max());
    };
    std::vector<std::unique_ptr<Geo>> path;
    Pose at;
    for (size_t i = 0; i < count; ++i) {
        const BlockKey key{i + 1, random() % 5 == 0 ? -2.0 : 0.0};
        const double z = std::floor(uniform(0, 3));
        const double kind = uniform(0, 1);
        const double reach = kind < 0.05 ? 150.0 : kind < 0.3 ? 20.0 : 2.0;
        // The path drifts along +x, so that most crossings are with near elements; a few
        // long lines cross many.
        const double middle = 0.6 * static_cast<double>(i);
        const double side = at.y > 0.0 ? -1.0 : 1.0;
        const Point3 target =
            reach > 100.0 ? Point3{middle - 60.0 * side, 60.0 * side, z}
                          : Point3{std::clamp(at.x + uniform(-reach, reach), middle - 15.0, middle + 15.0),
                                   std::clamp(at.y + uniform(-reach, reach), -15.0, 15.0), z};
        std::unique_ptr<Geo> e;
        if (kind < 0.6) {
            e = std::make_unique<GeoLine>(at, Pose(target, {}), kCollisionFeed, BlockOrigin{}, key);
        } else if (kind < 0.85) {
            const Point3 centre = Point3::add(at.position(), {uniform(-5, 5), uniform(-5, 5), 0});
            e = std::make_unique<GeoHelix>(at, centre, kUp, uniform(-7, 7), uniform(-1, 1), kCollisionFeed,
                                           BlockOrigin{}, key);
        } else {
            std::vector<Point3> inner = {Point3::add(at.position(), {uniform(-9, 9), uniform(-9, 9), 0}),
                                         Point3::add(target, {uniform(-9, 9), uniform(-9, 9), 0})};
            e = std::make_unique<GeoBezier>(at, Pose(target, {}), std::move(inner), kCollisionFeed, BlockOrigin{}, key);
        }
        at = e->end();
        path.push_back(std::move(e));
    }
    return path;
}

TEST(CollisionElimination, SearchWithoutLimitFindsWhatTheWindowScanFinds) {
    // Without a limit the walk looks up the later elements near the current one; a limit
    // that is never reached makes it look at every one in turn. Both must agree.
    for (const uint32_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        const std::vector<std::unique_ptr<Geo>> path = tangle(seed, 400);
        const auto walk = [&](uint64_t limit) {
            test::PathBench b;
            b.canvas.collisionElimination().limit = limit;
            std::vector<std::unique_ptr<Geo>> out;
            b.canvas.trimAndConnect(kUp, path, out);
            std::vector<std::string> texts;
            for (const auto& e : out) texts.push_back(e->toString() + " " + std::to_string(e->key().sub));
            return texts;
        };
        const std::vector<std::string> looked = walk(kNoLimit);
        EXPECT_EQ(looked, walk((uint64_t{1} << 32) - 1));
        // The tangle does cross itself: something was cut out.
        EXPECT_LT(looked.size(), path.size());
    }
}

} // namespace
} // namespace Karsto
