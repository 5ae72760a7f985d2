// Circular and helical arcs: the frame and the radius check of the constructors, points,
// tangents and length, the text, cutting, copying and reversing, and the turn-counting
// nearest parameter, degenerate inputs included.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "core/exception.h"
#include "geometry/geo_helix.h"
#include "geometry/geometry_test_support.h"
#include "geometry/trans_matrix.h"

namespace Karsto {
namespace {

const FeedParams kHelixFeed{12.5, 0.0};

GeoHelix arc(const Pose& start, const Pose& end, const Point3& centre, const Point3& normal,
             double angle, BlockKey key = {2, 0.0}) {
    return GeoHelix(start, end, centre, normal, kHelixFeed, originAt(5, 30), key, angle);
}

GeoHelix turns(const Pose& start, const Point3& centre, const Point3& normal, double angle,
               double height) {
    return GeoHelix(start, centre, normal, angle, height, kHelixFeed, originAt(6, 40), {3, 0.0});
}

// From (0, -4, 0) to (4, 0, 0) about the origin: a quarter turn left about +z.
GeoHelix quarter(double endX = 4.0) {
    return arc({0, -4, 0}, {endX, 0, 0}, {0, 0, 0}, {0, 0, 2}, kPi / 2);
}

TEST(GeoHelix, FrameTangentsLengthAndText) {
    const GeoHelix h = quarter();
    EXPECT_EQ(h.normal(), (Point3{0, 0, 1}));
    EXPECT_EQ(h.radius(), 4.0);
    expectNear(h.u(), {0, -1, 0}, 0);
    expectNear(h.v(), {1, 0, 0}, 0);
    EXPECT_EQ(h.height(), 0.0);
    EXPECT_NEAR(h.length(), 2 * kPi, 1e-12);
    expectNear(h.startTangent(), {2 * kPi, 0, 0}, 1e-12);
    expectNear(h.endTangent(), {0, 2 * kPi, 0}, 1e-12);
    expectNear(h.pointAt(0.5), {2 * std::sqrt(2.0), -2 * std::sqrt(2.0), 0}, 1e-12);
    expectNear(h.pointAt(1), {4, 0, 0}, 1e-12);
    EXPECT_EQ(h.toString(),
              "Helix time=2 from=[0.00,-4.00,0.00,0.00,0.00,0.00] to=[4.00,0.00,0.00,0.00,0.00,0.00]"
              " center=[0.00,0.00,0.00] normal=[0.00,0.00,1.00] angle=1.5708");
    EXPECT_NE(arc({10, 0, 0}, {-10, 0, 0}, {0, 0, 0}, {0, 0, 1}, -kPi).toString().find(
                  " angle=-3.14159"),
              std::string::npos);

    // The lift is not part of the tangents; it is part of the length.
    const GeoHelix lifted = turns({5, 0, 0}, {0, 0, 0}, {0, 0, 1}, 2 * kPi, 3);
    EXPECT_NEAR(lifted.startTangent().length(), 10 * kPi, 1e-12);
    EXPECT_NEAR(lifted.length(), std::hypot(3.0, 10 * kPi), 1e-12);
}

TEST(GeoHelix, RadiiMustAgreeWithinOneMicron) {
    EXPECT_NO_THROW(quarter(4.0008));
    try {
        quarter(4.0015);
        FAIL() << "an arc with inconsistent radii was built";
    } catch (const ExceptionRuntime& e) {
        EXPECT_EQ(e.message(), "Inconsistent radii (4.000000 != 4.001500) in definition of helix");
    }
    // A NaN radius fails instead of slipping through a negated comparison.
    const double nan = std::nan("");
    EXPECT_THROW(arc({0, -4, 0}, {nan, 0, 0}, {0, 0, 0}, {0, 0, 1}, kPi / 2), ExceptionRuntime);
}

TEST(GeoHelix, CentreMovesIntoThePlaneOfTheStart) {
    const GeoHelix h = arc({0, -4, 0}, {4, 0, 0}, {0, 0, -3}, {0, 0, 1}, kPi / 2);
    EXPECT_EQ(h.centre(), (Point3{0, 0, 0}));
    EXPECT_EQ(h.radius(), 4.0);
}

TEST(GeoHelix, ConstructorFromAngleAndHeightEndsAtTheLastPoint) {
    const GeoHelix h = turns({2, 0, 0, 7, 8, 9}, {0, 0, 0}, {0, 0, 1}, 6 * kPi, 30);
    expectNear(h.end().position(), h.pointAt(1), 0);
    expectNear(h.end().position(), {2, 0, 30}, 1e-12);
    EXPECT_EQ(h.end().rotary(), (Point3{7, 8, 9}));
    EXPECT_EQ(h.height(), 30.0);
}

TEST(GeoHelix, NearestParameterCountsTurnsByHeight) {
    const GeoHelix three = turns({2, 0, 0}, {0, 0, 0}, {0, 0, 1}, 6 * kPi, 30);
    EXPECT_NEAR(three.nearestParameter({2, 0, 10}), 1.0 / 3, 1e-12);
    EXPECT_EQ(three.nearestParameter({2, 0, 30}), 1.0);
    EXPECT_EQ(three.nearestParameter({2, 0, 0}), 0.0);
    EXPECT_NEAR(three.nearestParameter({0, 2, 15}), 5.0 / 12, 1e-12); // 1.25 turns of 3

    const GeoHelix two = turns({5, 0, 0}, {0, 0, 0}, {0, 0, 1}, 4 * kPi, 20);
    EXPECT_NEAR(two.nearestParameter({5, 0, 10}), 0.5, 1e-12);

    // A negative sweep measures its angle negatively and still lands in [0, 1].
    const GeoHelix right = arc({0, 5, 0}, {5, 0, 0}, {0, 0, 0}, {0, 0, 1}, -kPi / 2);
    EXPECT_NEAR(right.nearestParameter({5, 0, 0}), 1.0, 1e-12);
    EXPECT_NEAR(right.nearestParameter({5, 5, 0}), 0.5, 1e-12);
    // Beyond the end of the sweep the end answers.
    EXPECT_EQ(quarter().nearestParameter({-4, 0, 0}), 1.0);
}

TEST(GeoHelix, DegenerateNearestParameterIsFinite) {
    const GeoHelix three = turns({2, 0, 0}, {0, 0, 0}, {0, 0, 1}, 6 * kPi, 30);
    const GeoHelix still = turns({2, 0, 0}, {0, 0, 0}, {0, 0, 1}, 0.0, 0.0);
    const GeoHelix onAxis = turns({0, 0, 0}, {0, 0, 0}, {0, 0, 1}, kPi, 5);
    const Point3 probes[] = {{0, 0, 7}, {0, 0, 0}, {3, 4, 5}, {2, 0, 0}, {-1e9, 1e9, 0}};
    for (const GeoHelix* h : {&three, &still, &onAxis}) {
        for (const Point3& p : probes) {
            const double t = h->nearestParameter(p);
            EXPECT_TRUE(std::isfinite(t)) << h->toString() << " at " << p.toString();
            EXPECT_GE(t, 0.0);
            EXPECT_LE(t, 1.0);
        }
    }
    EXPECT_EQ(three.nearestParameter({0, 0, 7}), 0.5); // on the axis
    EXPECT_EQ(still.nearestParameter({3, 4, 5}), 0.5); // no sweep
}

TEST(GeoHelix, FlipNormalKeepsEveryPoint) {
    GeoHelix h = turns({2, 1, 0}, {0, 1, 0}, {0, 0.6, 0.8}, 2.5, 4);
    const GeoHelix before = h;
    h.flipNormal();
    EXPECT_NEAR(h.angle(), -2.5, 0);
    EXPECT_NEAR(h.height(), -4, 0);
    expectNear(h.normal(), {0, -0.6, -0.8}, 1e-15);
    for (const double t : {0.0, 0.3, 0.5, 1.0}) expectNear(h.pointAt(t), before.pointAt(t), 1e-12);
}

TEST(GeoHelix, CopiesCutsAndReversal) {
    GeoHelix h = arc({0, -4, 1, 1, 2, 3}, {4, 0, 1, 4, 5, 6}, {0, 0, 1}, {0, 0, 1}, kPi / 2,
                     {9, -0.5});
    h.setRestart(true);

    const std::unique_ptr<Geo> copy = h.clone();
    EXPECT_EQ(copy->toString(), h.toString());
    expectSameAttributes(*copy, h);

    const std::unique_ptr<Geo> back = h.reversed();
    const auto& r = dynamic_cast<const GeoHelix&>(*back);
    EXPECT_EQ(r.start(), h.end());
    EXPECT_EQ(r.end(), h.start());
    EXPECT_EQ(r.angle(), -h.angle());
    for (const double t : {0.0, 0.25, 1.0}) expectNear(r.pointAt(t), h.pointAt(1 - t), 1e-12);
    expectSameAttributes(r, h);

    const std::unique_ptr<Geo> half = h.subElement(0.5, 1);
    const auto& s = dynamic_cast<const GeoHelix&>(*half);
    EXPECT_NEAR(s.angle(), kPi / 4, 1e-15);
    expectNear(s.start().position(), h.pointAt(0.5), 1e-12);
    EXPECT_EQ(s.start().rotary(), (Point3{1, 2, 3}));
    EXPECT_EQ(s.end().rotary(), (Point3{4, 5, 6}));
    expectSameAttributes(s, h);
}

TEST(GeoHelix, TransformMovesTheArcAndKeepsItsSweep) {
    GeoHelix h = quarter();
    TransMatrix m;
    m.setRotation(kPi / 2, {0, 0, 1});
    m.m[2][3] = 5;
    h.transform(m);
    expectNear(h.start().position(), {4, 0, 5}, 1e-12);
    expectNear(h.centre(), {0, 0, 5}, 1e-12);
    expectNear(h.normal(), {0, 0, 1}, 1e-15);
    EXPECT_EQ(h.angle(), kPi / 2);
    expectNear(h.pointAt(1), {0, 4, 5}, 1e-12);
}

} // namespace
} // namespace Karsto
