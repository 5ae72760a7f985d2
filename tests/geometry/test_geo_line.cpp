#include <gtest/gtest.h>

#include <cfloat>
#include <numbers>

#include "geometry/geo_line.h"
#include "geometry/geometry_test_support.h"
#include "geometry/trans_matrix.h"

namespace Karsto {
namespace {

const FeedParams kGeoLineFeed{25.0, 0.0};

GeoLine line(const Pose& start, const Pose& end, BlockKey key = {7, 0.0}) {
    return GeoLine(start, end, kGeoLineFeed, originAt(3, 40), key);
}

TEST(GeoLine, TextTangentsAndLength) {
    const GeoLine l = line({0, 0, 0}, {1, 2, 2});
    EXPECT_EQ(l.toString(),
              "Line time=7 from=[0.00,0.00,0.00,0.00,0.00,0.00] to=[1.00,2.00,2.00,0.00,0.00,0.00]");
    EXPECT_EQ(l.startTangent(), (Point3{1, 2, 2}));
    EXPECT_EQ(l.endTangent(), (Point3{1, 2, 2}));
    EXPECT_EQ(l.length(), 3.0);
    EXPECT_EQ(line({0, 0, 0}, {1, 2, 2}, {UINT64_MAX, -1.0}).toString().substr(0, 30),
              "Line time=18446744073709551615");

    const GeoLine still = line({4, 5, 6}, {4, 5, 6});
    EXPECT_EQ(still.length(), 0.0);
    EXPECT_EQ(still.startTangent(), Point3());
}

TEST(GeoLine, PointAtIsLinearBeyondTheEnds) {
    const GeoLine l = line({2, 0, -4, 1, 1, 1}, {6, 8, 0, 9, 9, 9});
    EXPECT_EQ(l.pointAt(0), (Point3{2, 0, -4}));
    EXPECT_EQ(l.pointAt(1), (Point3{6, 8, 0}));
    EXPECT_EQ(l.pointAt(0.25), (Point3{3, 2, -3}));
    EXPECT_EQ(l.pointAt(-0.5), (Point3{0, -4, -6}));
    EXPECT_EQ(l.pointAt(2), (Point3{10, 16, 4}));
}

TEST(GeoLine, NearestParameter) {
    struct Case {
        Point3 p;
        double t;
    };
    const GeoLine l = line({0, 0, 0}, {10, 0, 0});
    const Case cases[] = {
        {{5, 3, -2}, 0.5},  // projection
        {{2.5, 0, 0}, 0.25},
        {{-4, 1, 0}, 0.0},  // before the start
        {{13, -1, 1}, 1.0}, // beyond the end
        {{10, 100, 0}, 1.0},
    };
    for (const Case& c : cases) EXPECT_EQ(l.nearestParameter(c.p), c.t) << c.p.x;

    // Squared length below 1e-6: the middle, wherever the point is.
    for (const GeoLine& tiny : {line({0, 0, 0}, {0.0005, 0, 0}), line({1, 1, 1}, {1, 1, 1})})
        for (const Case& c : cases) EXPECT_EQ(tiny.nearestParameter(c.p), 0.5);
    // Just above the limit the projection counts again.
    EXPECT_EQ(line({0, 0, 0}, {0.002, 0, 0}).nearestParameter({0.002, 5, 0}), 1.0);
}

TEST(GeoLine, SubElementKeepsRotaryValuesOfTheEnds) {
    const GeoLine l = line({0, 0, 0, 1, 2, 3}, {8, 0, 0, 4, 5, 6});
    struct Case {
        double t0, t1;
        Pose start, end;
    };
    const Case cases[] = {
        {0.25, 1, {2, 0, 0, 1, 2, 3}, {8, 0, 0, 4, 5, 6}},
        {0, 1, {0, 0, 0, 1, 2, 3}, {8, 0, 0, 4, 5, 6}},
        {0.5, 0.75, {4, 0, 0, 1, 2, 3}, {6, 0, 0, 4, 5, 6}},
        {1, 0, {8, 0, 0, 1, 2, 3}, {0, 0, 0, 4, 5, 6}},
    };
    for (const Case& c : cases) {
        const std::unique_ptr<Geo> part = l.subElement(c.t0, c.t1);
        EXPECT_EQ(part->start(), c.start) << c.t0 << " " << c.t1;
        EXPECT_EQ(part->end(), c.end) << c.t0 << " " << c.t1;
        expectSameAttributes(*part, l);
    }
}

TEST(GeoLine, CopiesAreNewElementsWithoutRestart) {
    GeoLine l = line({1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}, {12, -0.5});
    l.setRestart(true);
    ASSERT_TRUE(l.restart());

    const std::unique_ptr<Geo> copy = l.clone();
    EXPECT_EQ(copy->start(), l.start());
    EXPECT_EQ(copy->end(), l.end());
    EXPECT_EQ(copy->toString(), l.toString());
    expectSameAttributes(*copy, l);

    const std::unique_ptr<Geo> back = l.reversed();
    EXPECT_EQ(back->start(), l.end());
    EXPECT_EQ(back->end(), l.start());
    EXPECT_EQ(back->startTangent(), Point3::scale(l.startTangent(), -1));
    expectSameAttributes(*back, l);

    expectSameAttributes(*l.subElement(0.1, 0.9), l);
    EXPECT_TRUE(l.restart());
}

TEST(GeoLine, TransformMovesPositionsOnly) {
    GeoLine l = line({1, 0, 0, 10, 20, 30}, {2, 0, 0, 40, 50, 60});
    TransMatrix m;
    m.setRotation(std::numbers::pi / 2, {0, 0, 1});
    m.m[2][3] = 5;
    l.transform(m);
    EXPECT_NEAR(l.start().x, 0, 1e-15);
    EXPECT_NEAR(l.start().y, 1, 1e-15);
    EXPECT_EQ(l.start().z, 5);
    EXPECT_NEAR(l.end().y, 2, 1e-15);
    EXPECT_EQ(l.start().rotary(), (Point3{10, 20, 30}));
    EXPECT_EQ(l.end().rotary(), (Point3{40, 50, 60}));
    EXPECT_EQ(l.length(), 1.0);
}

TEST(FeedParams, RapidRecord) {
    const FeedParams rapid = FeedParams::rapid();
    EXPECT_EQ(rapid.velocity, DBL_MAX);
    EXPECT_EQ(rapid.secondVelocity, DBL_MAX);
    EXPECT_TRUE(rapid.isRapid());
    EXPECT_TRUE(GeoLine({0, 0, 0}, {1, 0, 0}, rapid, {}, {}).feed().isRapid());
    EXPECT_FALSE((FeedParams{DBL_MAX, 0.0}).isRapid());
    EXPECT_FALSE(kGeoLineFeed.isRapid());
}

} // namespace
} // namespace Karsto
