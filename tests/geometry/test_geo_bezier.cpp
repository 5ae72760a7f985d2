// Bezier curves of degree 3 and 5: stored tangents, evaluation and length, the de
// Casteljau split and cuts (the very end included), the text, copies, projection and
// the sampled nearest parameter.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/geo_bezier.h"
#include "geometry/geometry_test_support.h"
#include "geometry/trans_matrix.h"

namespace Karsto {
namespace {

const FeedParams kBezierFeed{40.0, 0.0};

GeoBezier curve(const Pose& start, const Pose& end, std::vector<Point3> inner,
                BlockKey key = {11, 0.0}) {
    return GeoBezier(start, end, std::move(inner), kBezierFeed, originAt(8, 70), key);
}

// The straight cubic (0,0,0) (2,0,0) (4,0,0) (6,0,0).
GeoBezier straight() { return curve({0, 0, 0, 1, 2, 3}, {6, 0, 0, 4, 5, 6}, {{2, 0, 0}, {4, 0, 0}}); }

void expectPolygon(const std::vector<Point3>& actual, const std::vector<Point3>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) expectNear(actual[i], expected[i], 1e-12);
}

TEST(GeoBezier, StraightCubicPointsLengthAndTangents) {
    const GeoBezier b = straight();
    EXPECT_EQ(b.degree(), 3);
    expectNear(b.pointAt(0.5), {3, 0, 0}, 1e-15);
    expectNear(b.pointAt(0.25), {1.5, 0, 0}, 1e-15);
    EXPECT_NEAR(b.length(), 6.0, 1e-12);
    EXPECT_EQ(b.startTangent(), (Point3{2, 0, 0}));
    EXPECT_EQ(b.endTangent(), (Point3{2, 0, 0}));
    expectPolygon(b.controlPoints(), {{0, 0, 0}, {2, 0, 0}, {4, 0, 0}, {6, 0, 0}});
}

TEST(GeoBezier, TangentsSkipLegsShorterThanAMicron) {
    const GeoBezier b = curve({0, 0, 0}, {2, 2, 0}, {{0, 0, 0}, {0, 2, 0}});
    EXPECT_EQ(b.startTangent(), (Point3{0, 2, 0}));
    EXPECT_EQ(b.endTangent(), (Point3{2, 0, 0}));
    // Every leg degenerate: the last one computed.
    const GeoBezier dot = curve({1, 1, 1}, {1, 1, 1}, {{1, 1, 1}, {1, 1, 1.0000001}});
    expectNear(dot.startTangent(), {0, 0, 1e-7}, 1e-15);
    expectNear(dot.endTangent(), {0, 0, 0}, 1e-15);
    // No inner points: no tangent, and no point to evaluate either.
    const GeoBezier bare = curve({1, 2, 3}, {4, 5, 6}, {});
    EXPECT_EQ(bare.startTangent(), Point3());
    EXPECT_EQ(bare.pointAt(0.5), Point3());
}

TEST(GeoBezier, QuinticEvaluatesTheBernsteinForm) {
    // The quintic with equally spaced points on a line is that line, uniformly.
    const GeoBezier q = curve({0, 0, 0}, {5, 10, 0}, {{1, 2, 0}, {2, 4, 0}, {3, 6, 0}, {4, 8, 0}});
    EXPECT_EQ(q.degree(), 5);
    for (const double t : {0.0, 0.1, 0.5, 0.9, 1.0}) expectNear(q.pointAt(t), {5 * t, 10 * t, 0}, 1e-12);
    EXPECT_NEAR(q.length(), std::hypot(5.0, 10.0), 1e-12);
    const GeoBezier bent = curve({0, 0, 0}, {5, 0, 0}, {{0, 5, 0}, {0, 5, 0}, {5, 5, 0}, {5, 5, 0}});
    // At the middle the weights 1, 5, 10, 10, 5, 1 over 32.
    expectNear(bent.pointAt(0.5), {(10 + 5 + 1) * 5 / 32.0, (5 + 10 + 10 + 5) * 5 / 32.0, 0}, 1e-12);
}

TEST(GeoBezier, SplitAndCuts) {
    const GeoBezier b = straight();
    const auto [left, right] = deCasteljauSplit(b.controlPoints(), 0.5);
    expectPolygon(left, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
    expectPolygon(right, {{3, 0, 0}, {4, 0, 0}, {5, 0, 0}, {6, 0, 0}});

    const std::unique_ptr<Geo> first = b.subElement(0, 0.5);
    expectPolygon(dynamic_cast<const GeoBezier&>(*first).controlPoints(),
                  {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
    const std::unique_ptr<Geo> second = b.subElement(0.5, 1);
    expectPolygon(dynamic_cast<const GeoBezier&>(*second).controlPoints(),
                  {{3, 0, 0}, {4, 0, 0}, {5, 0, 0}, {6, 0, 0}});
    // a, b, c are never interpolated.
    EXPECT_EQ(second->start().rotary(), (Point3{1, 2, 3}));
    EXPECT_EQ(first->end().rotary(), (Point3{4, 5, 6}));
    expectSameAttributes(*second, b);

    const std::unique_ptr<Geo> middle = b.subElement(0.25, 0.75);
    expectNear(middle->start().position(), {1.5, 0, 0}, 1e-12);
    expectNear(middle->end().position(), {4.5, 0, 0}, 1e-12);
    // A curved piece follows the curve: its points lie on the original.
    const GeoBezier arch = curve({0, 0, 0}, {4, 0, 0}, {{1, 3, 0}, {3, 3, 0}});
    const std::unique_ptr<Geo> piece = arch.subElement(0.2, 0.6);
    for (const double s : {0.0, 0.5, 1.0}) expectNear(piece->pointAt(s), arch.pointAt(0.2 + 0.4 * s), 1e-12);

    const std::unique_ptr<Geo> whole = b.subElement(0, 1);
    EXPECT_EQ(whole->toString(), b.toString());
    EXPECT_EQ(b.subElement(1e-7, 1 - 1e-7)->toString(), b.toString());
}

TEST(GeoBezier, CutAtTheVeryEndIsTheEndPoint) {
    const GeoBezier b = curve({0, 0, 0}, {6, 1, 0, 7, 8, 9}, {{2, 5, 0}, {4, -5, 0}});
    const std::unique_ptr<Geo> tail = b.subElement(1, 1);
    const auto& t = dynamic_cast<const GeoBezier&>(*tail);
    for (const Point3& p : t.controlPoints()) EXPECT_EQ(p, (Point3{6, 1, 0}));
    EXPECT_EQ(t.end().rotary(), (Point3{7, 8, 9}));
    EXPECT_EQ(t.length(), 0.0);
    for (const double x : {t.pointAt(0.5).x, t.nearestParameter({1, 2, 3})}) EXPECT_TRUE(std::isfinite(x));
}

TEST(GeoBezier, TextOfCubicAndQuintic) {
    EXPECT_EQ(straight().toString(),
              "Bezier3 time=11 from=[0.00,0.00,0.00,1.00,2.00,3.00] to=[6.00,0.00,0.00,4.00,5.00,6.00]"
              " cp1=[2.00,0.00,0.00] cp2=[4.00,0.00,0.00]");
    const GeoBezier q = curve({0, 0, 0}, {5, 0, 0}, {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0.5, 0}}, {42, 0});
    EXPECT_EQ(q.toString(),
              "Bezier5 time=42 from=[0.00,0.00,0.00,0.00,0.00,0.00] to=[5.00,0.00,0.00,0.00,0.00,0.00]"
              " cp1=[1.00,0.00,0.00] cp2=[2.00,0.00,0.00] cp3=[3.00,0.00,0.00] cp4=[4.00,0.50,0.00]");
}

TEST(GeoBezier, ReversedProjectedAndTransformed) {
    GeoBezier b = curve({0, 0, 1, 1, 2, 3}, {6, 1, 2, 4, 5, 6}, {{2, 5, 3}, {4, -5, 4}});
    b.setRestart(true);
    const std::unique_ptr<Geo> back = b.reversed();
    expectPolygon(dynamic_cast<const GeoBezier&>(*back).controlPoints(),
                  {{6, 1, 2}, {4, -5, 4}, {2, 5, 3}, {0, 0, 1}});
    EXPECT_EQ(back->start(), b.end());
    expectSameAttributes(*back, b);
    const std::unique_ptr<Geo> again = back->reversed();
    expectPolygon(dynamic_cast<const GeoBezier&>(*again).controlPoints(), b.controlPoints());
    expectSameAttributes(*b.clone(), b);

    const std::unique_ptr<GeoBezier> flat = b.projected({0, 0, 1});
    expectPolygon(flat->controlPoints(), {{0, 0, 0}, {2, 5, 0}, {4, -5, 0}, {6, 1, 0}});
    EXPECT_EQ(flat->start().rotary(), (Point3{1, 2, 3}));
    EXPECT_EQ(flat->end().rotary(), (Point3{4, 5, 6}));
    expectSameAttributes(*flat, b);

    TransMatrix m;
    m.setRotation(std::numbers::pi / 2, {0, 0, 1});
    b.transform(m);
    expectPolygon(b.controlPoints(), {{0, 0, 1}, {-5, 2, 3}, {5, 4, 4}, {-1, 6, 2}});
    EXPECT_EQ(b.start().rotary(), (Point3{1, 2, 3}));
    // The tangents turn with the control polygon.
    expectNear(b.startTangent(), {-5, 2, 2}, 1e-12);
}

TEST(GeoBezier, NearestParameterBySampling) {
    const GeoBezier b = straight();
    EXPECT_NEAR(b.nearestParameter({3, 7, 0}), 0.5, 1e-6);
    EXPECT_NEAR(b.nearestParameter({1.234, -1, 2}), 1.234 / 6, 4e-6); // the last pass samples every 4e-6
    // Far outside: the search may step just beyond the ends, never further.
    const double before = b.nearestParameter({-1000, 0, 0});
    EXPECT_GE(before, -0.0102 - 1e-12);
    EXPECT_LE(before, 0.0);
    const double after = b.nearestParameter({1000, 0, 0});
    EXPECT_GE(after, 1.0);
    EXPECT_LE(after, 1.0102 + 1e-12);
}

} // namespace
} // namespace Karsto
