// The meeting points of path elements: the closed forms in the plane, the arc parameter,
// the choice among candidates and ranges, tilted and flipped planes, the subdivision
// search and its end on unusable input.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <vector>

#include "geometry/geo_bezier.h"
#include "geometry/geo_helix.h"
#include "geometry/geo_line.h"
#include "geometry/geometry_test_support.h"
#include "geometry/intersection.h"

namespace Karsto {
namespace {

const FeedParams kIntersectionFeed{10.0, 0.0};

GeoLine segment(const Point3& from, const Point3& to) {
    return GeoLine(Pose(from, {}), Pose(to, {}), kIntersectionFeed, {}, {});
}

GeoHelix helix(const Point3& from, const Point3& centre, const Point3& normal, double angle) {
    return GeoHelix(Pose(from, {}), centre, normal, angle, 0.0, kIntersectionFeed, {}, {});
}

TEST(Intersection, ArcParameter) {
    struct Case {
        Point3 x;
        PlaneArc arc;
        double t;
    };
    const PlaneArc ccw{{0, 0, 0}, {3, 0, 0}, kPi};
    const PlaneArc cw{{0, 0, 0}, {3, 0, 0}, -kPi / 2};
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<Case> cases = {
        {{3, 0, 0}, ccw, 0.0},
        {{0, 3, 0}, ccw, 0.5},
        {{-3, 0, 0}, ccw, 1.0},
        {{0, -3, 0}, ccw, 1.5},      // off the sweep, beyond its end
        {{0, -3, 0}, cw, 1.0},
        {{0, 3, 0}, cw, 3.0},        // clockwise it is three quarters away
        {{3, 1e-7, 0}, cw, 0.0},     // within 1e-6 rad after the start
        {{0, 3, 7}, ccw, 0.5},       // z plays no part
        {{0, 3, 0}, {{0, 0, 0}, {3, 0, 0}, 0.0}, inf},
        {{3, 0, 0}, {{0, 0, 0}, {3, 0, 0}, 0.0}, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x.toString() + " " + std::to_string(c.arc.angle));
        if (std::isinf(c.t)) EXPECT_EQ(arcParameter(c.x, c.arc), c.t);
        else EXPECT_NEAR(arcParameter(c.x, c.arc), c.t, 1e-12);
    }
}

TEST(Intersection, Lines) {
    const Candidates crossing = intersectLines({0, 0, 0}, {4, 0, 0}, {1, -1, 0}, {1, 3, 0});
    EXPECT_EQ(crossing.count, 1);
    EXPECT_EQ(crossing.valid, 1);
    EXPECT_DOUBLE_EQ(crossing.at[0].tA, 0.25);
    EXPECT_DOUBLE_EQ(crossing.at[0].tB, 0.25);
    expectNear(crossing.point[0], {1, 0, 0}, 1e-12);

    // Beyond the end of the second line: computed but not valid.
    const Candidates outside = intersectLines({0, 0, 0}, {4, 0, 0}, {1, 1, 0}, {1, 3, 0});
    EXPECT_EQ(outside.count, 1);
    EXPECT_EQ(outside.valid, 0);
    EXPECT_DOUBLE_EQ(outside.at[0].tB, -0.5);

    // Parallel, also when they overlap, and nearly so: no point.
    EXPECT_EQ(intersectLines({0, 0, 0}, {4, 0, 0}, {2, 0, 5}, {-2, 0, 5}).count, 0);
    EXPECT_EQ(intersectLines({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1 + 4e-6, 0}).count, 0);
    EXPECT_EQ(intersectLines({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1 + 2e-5, 0}).count, 1);
}

TEST(Intersection, LineAndArc) {
    const PlaneArc upper{{0, 0, 0}, {3, 0, 0}, kPi};
    const Candidates secant = intersectLineArc({-5, 0, 0}, {5, 0, 0}, upper);
    ASSERT_EQ(secant.count, 2);
    EXPECT_EQ(secant.valid, 2);
    // The point further along the line first.
    expectNear(secant.point[0], {3, 0, 0}, 1e-12);
    EXPECT_DOUBLE_EQ(secant.at[0].tA, 0.8);
    EXPECT_EQ(secant.at[0].tB, 0.0);
    expectNear(secant.point[1], {-3, 0, 0}, 1e-12);
    EXPECT_DOUBLE_EQ(secant.at[1].tA, 0.2);
    EXPECT_NEAR(secant.at[1].tB, 1.0, 1e-12);

    // The valid point comes first: the lower crossing is off the upper half circle.
    const Candidates oneValid = intersectLineArc({1, -5, 0}, {1, 5, 0}, upper);
    ASSERT_EQ(oneValid.count, 2);
    EXPECT_EQ(oneValid.valid, 1);
    expectNear(oneValid.point[0], {1, std::sqrt(8.0), 0}, 1e-12);

    EXPECT_EQ(intersectLineArc({-5, 4, 0}, {5, 4, 0}, upper).count, 0);          // passes by
    EXPECT_EQ(intersectLineArc({1, 1, 0}, {1, 1, 9}, upper).count, 0);          // no length in the plane
    EXPECT_EQ(intersectLineArc({-5, 0, 0}, {5, 0, 0}, {{0, 0, 0}, {3, 0, 0}, 0.0}).count, 0);
}

TEST(Intersection, Arcs) {
    const PlaneArc a{{0, 0, 0}, {5, 0, 0}, kPi};
    const PlaneArc b{{6, 0, 0}, {1, 0, 0}, -kPi};
    const Candidates two = intersectArcs(a, b);
    ASSERT_EQ(two.count, 2);
    EXPECT_EQ(two.valid, 1);
    expectNear(two.point[0], {3, 4, 0}, 1e-12);
    expectNear(two.point[1], {3, -4, 0}, 1e-12);
    const double t = std::atan2(4.0, 3.0) / kPi;
    EXPECT_NEAR(two.at[0].tA, t, 1e-12);
    EXPECT_NEAR(two.at[0].tB, t, 1e-12);

    // Every computed point lies on both circles, also with the foot behind a's centre.
    struct Pair {
        Point3 qa;
        double ra;
        Point3 qb;
        double rb;
        int count;
    };
    const std::vector<Pair> pairs = {
        {{0, 0, 0}, 3, {4, 0, 0}, 6, 2},  {{1, 2, 0}, 2, {2, 4, 0}, 3, 2},
        {{0, 0, 0}, 5, {0, 0, 0}, 5, 0},  {{0, 0, 0}, 5, {1, 0, 0}, 2, 0},
        {{0, 0, 0}, 2, {5, 0, 0}, 3, 0},  {{0, 0, 0}, 2, {9, 0, 0}, 3, 0},
    };
    for (const Pair& p : pairs) {
        SCOPED_TRACE(p.qb.toString());
        const Candidates c = intersectArcs({p.qa, Point3::add(p.qa, {p.ra, 0, 0}), 1.0},
                                           {p.qb, Point3::add(p.qb, {0, p.rb, 0}), 1.0});
        ASSERT_EQ(c.count, p.count);
        for (int i = 0; i < c.count; ++i) {
            EXPECT_NEAR(Point3::sub(c.point[i], p.qa).length(), p.ra, 1e-12);
            EXPECT_NEAR(Point3::sub(c.point[i], p.qb).length(), p.rb, 1e-12);
        }
    }
}

TEST(Intersection, ElementsTakeTheFirstAcceptedMeeting) {
    const GeoLine chord = segment({-5, 0, 0}, {5, 0, 0});
    const GeoHelix upper = helix({3, 0, 0}, {0, 0, 0}, kUp, kPi);
    struct Case {
        ParameterRange ra;
        ParameterRange rb;
        std::optional<Meeting> meeting;
    };
    const std::vector<Case> cases = {
        {{0, 1}, {0, 1}, Meeting{0.2, 1.0}},   // the smaller parameter on the line first
        {{0.5, 1}, {0, 1}, Meeting{0.8, 0.0}}, // the first is outside the range
        {{0, 1}, {0, 0.5}, Meeting{0.8, 0.0}},
        {{0.3, 0.7}, {0, 1}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ra.lo);
        const auto m = intersectElements(chord, upper, kUp, c.ra, c.rb);
        ASSERT_EQ(m.has_value(), c.meeting.has_value());
        if (!m) continue;
        EXPECT_NEAR(m->tA, c.meeting->tA, 1e-12);
        EXPECT_NEAR(m->tB, c.meeting->tB, 1e-12);
    }
    // The arc first: the parameters change places, and the first along the arc wins.
    const auto swapped = intersectElements(upper, chord, kUp, {0, 1}, {0, 1});
    ASSERT_TRUE(swapped.has_value());
    EXPECT_NEAR(swapped->tA, 0.0, 1e-12);
    EXPECT_NEAR(swapped->tB, 0.8, 1e-12);
}

TEST(Intersection, ElementsInATiltedPlaneAndAboutAFlippedNormal) {
    // The plane perpendicular to n = (0.8, 0, 0.6), spanned by e1 and e2; the second line
    // lies 3 mm above it along n.
    const Point3 n{0.8, 0, 0.6};
    const Point3 e1{0, 1, 0};
    const Point3 e2{-0.6, 0, 0.8};
    const auto at = [&](double s1, double s2, double h) {
        return Point3::add(Point3::add(Point3::scale(e1, s1), Point3::scale(e2, s2)), Point3::scale(n, h));
    };
    const GeoLine a = segment(at(-4, 0, 0), at(4, 0, 0));
    const GeoLine b = segment(at(1, -2, 3), at(1, 6, 3));
    const auto m = intersectElements(a, b, Point3::scale(n, 2.0), {0, 1}, {0, 1});
    ASSERT_TRUE(m.has_value());
    EXPECT_NEAR(m->tA, 5.0 / 8.0, 1e-12);
    EXPECT_NEAR(m->tB, 2.0 / 8.0, 1e-12);

    // An arc about -z turning the other way is the same arc.
    const GeoLine chord = segment({-5, 0, 0}, {5, 0, 0});
    GeoHelix flipped = helix({3, 0, 0}, {0, 0, 0}, kUp, kPi);
    flipped.flipNormal();
    const auto f = intersectElements(chord, flipped, kUp, {0, 1}, {0, 1});
    ASSERT_TRUE(f.has_value());
    EXPECT_NEAR(f->tA, 0.2, 1e-12);
    EXPECT_NEAR(f->tB, 1.0, 1e-12);
}

// The meeting found by subdivision lies on both elements seen along the normal, within
// the search's resolution.
void expectMeetsInPlane(const Geo& a, const Geo& b, const Point3& normal, const Point3& expected) {
    const auto m = intersectElements(a, b, normal, {0, 1}, {0, 1});
    ASSERT_TRUE(m.has_value());
    expectNear(a.pointAt(m->tA).rejectFrom(normal), expected.rejectFrom(normal), 0.001);
    expectNear(b.pointAt(m->tB).rejectFrom(normal), expected.rejectFrom(normal), 0.001);
}

TEST(Intersection, SubdivisionForCurvesAndArcsOutOfThePlane) {
    // The cubic (0,0) (0,4) (4,4) (4,0) is symmetric: it crosses x = 2 at its top, y = 3.
    const GeoBezier arch(Pose(0, 0, 0), Pose(4, 0, 0), {{0, 4, 0}, {4, 4, 0}}, kIntersectionFeed, {}, {});
    expectMeetsInPlane(arch, segment({2, -1, 5}, {2, 5, 5}), kUp, {2, 3, 0});
    expectMeetsInPlane(segment({2, -1, 5}, {2, 5, 5}), arch, kUp, {2, 3, 0});

    // A circle of radius 2 about (0,0,0) tilted by 45 degrees about x: seen along z an
    // ellipse with half axes 2 (x) and sqrt 2 (y), crossed by the line y = 1.
    const GeoHelix tilted = helix({2, 0, 0}, {0, 0, 0}, {0, -1, 1}, kPi);
    const double x = std::sqrt(4.0 - 2.0); // x^2/4 + 1/2 = 1
    expectMeetsInPlane(segment({5, 1, 0}, {0, 1, 0}), tilted, kUp, {x, 1, 0});

    // Curves that stay apart meet nowhere.
    EXPECT_FALSE(intersectElements(arch, segment({-1, 3.5, 0}, {5, 3.5, 0}), kUp, {0, 1}, {0, 1}));
}

TEST(Intersection, SubdivisionEndsOnUnusableInput) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // Crosses every curve below, the huge one at (2, 3e150).
    const GeoLine across = segment({2, -1e151, 0}, {2, 1e151, 0});
    struct Case {
        const char* name;
        GeoBezier curve;
    };
    const std::vector<Case> cases = {
        {"NaN point", GeoBezier(Pose(0, 0, 0), Pose(4, 0, 0), {{nan, 4, 0}, {4, 4, 0}}, kIntersectionFeed, {}, {})},
        {"infinite point", GeoBezier(Pose(0, 0, 0), Pose(4, 0, 0), {{0, inf, 0}, {4, 4, 0}}, kIntersectionFeed, {}, {})},
        // Finite, but far too long to reach the resolution in 200 halvings.
        {"huge", GeoBezier(Pose(-1e150, 0, 0), Pose(1e150, 0, 0), {{-1e150, 4e150, 0}, {1e150, 4e150, 0}},
                           kIntersectionFeed, {}, {})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(intersectBySubdivision(c.curve, across, kUp, {0, 1}, {0, 1}));
        EXPECT_FALSE(intersectBySubdivision(across, c.curve, kUp, {0, 1}, {0, 1}));
    }
    // A zero normal leaves nothing to project onto.
    const GeoBezier arch(Pose(0, 0, 0), Pose(4, 0, 0), {{0, 4, 0}, {4, 4, 0}}, kIntersectionFeed, {}, {});
    EXPECT_FALSE(intersectElements(arch, across, {0, 0, 0}, {0, 1}, {0, 1}));
    EXPECT_FALSE(intersectElements(across, across, {nan, 0, 1}, {0, 1}, {0, 1}));
}

TEST(Intersection, PlaneBoxHoldsClosedFormMeetingsOfSlightlyTiltedArcs) {
    // Tilted by 0.01 rad about x the arc still counts as one of the plane, and the closed
    // form meets the circle of its start radius: 0.05 mm beyond where the arc itself is
    // seen along z. The boxes must not part such a pair.
    const GeoHelix tilted = helix({1000, 0, 0}, {0, 0, 0}, {0, std::sin(0.01), std::cos(0.01)}, kPi / 2);
    const GeoLine across = segment({0, 999.99, 0}, {0, 1000.01, 0});
    const auto m = intersectElements(across, tilted, kUp, {0, 1}, {0, 1});
    ASSERT_TRUE(m.has_value());
    EXPECT_NEAR(m->tA, 0.5, 1e-6);
    EXPECT_LT(tilted.pointAt(1.0).y, 999.96);
    EXPECT_TRUE(planeBox(across, kUp).touches(planeBox(tilted, kUp), kMeetingMargin));
}

TEST(Intersection, PlaneBoxHoldsEveryPointOfTheElement) {
    // The walk skips pairs whose boxes are apart, so a point outside its box would lose a
    // meeting.
    const std::vector<Point3> normals = {{0, 0, 1}, {0, 0, -3}, {1, 0, 0}, {0.8, 0, 0.6}, {1, 2, 3}};
    std::vector<std::unique_ptr<Geo>> elements;
    elements.push_back(segment({1, -2, 3}, {-4, 5, 0.5}).clone());
    elements.push_back(std::make_unique<GeoHelix>(helix({2, 0, 0}, {0, 0, 0}, {0, -1, 1}, 1.5 * kPi)));
    elements.push_back(std::make_unique<GeoHelix>(
        GeoHelix(Pose(3, 1, 0), {1, 1, 0}, {0.2, 0.1, 1}, -5 * kPi, 12.0, kIntersectionFeed, {}, {})));
    elements.push_back(helix({2, 1, 0}, {0, 1, 0}, kUp, 0.01).clone());
    elements.push_back(helix({2, 1, 0}, {0, 1, 0}, {0, 0, -1}, 2.5).clone());
    elements.push_back(helix({2, 1, 0}, {0, 1, 0}, kUp, -4.0).clone());
    elements.push_back(std::make_unique<GeoBezier>(Pose(0, 0, 0), Pose(4, 0, 1),
                                                   std::vector<Point3>{{0, 4, 0}, {4, -4, 9}}, kIntersectionFeed,
                                                   BlockOrigin{}, BlockKey{}));
    elements.push_back(std::make_unique<GeoBezier>(
        Pose(0, 0, 0), Pose(1, 1, 1),
        std::vector<Point3>{{5, 0, 0}, {-3, 2, 1}, {0, -6, 2}, {2, 2, -4}}, kIntersectionFeed, BlockOrigin{},
        BlockKey{}));
    for (const Point3& n : normals) {
        for (const auto& e : elements) {
            SCOPED_TRACE(n.toString() + " " + e->toString());
            const PlaneBox box = planeBox(*e, n);
            for (int i = 0; i <= 200; ++i) {
                // The point's plane coordinates: the box of a line of no length there.
                const Point3 p = e->pointAt(i / 200.0);
                const PlaneBox at = planeBox(segment(p, p), n);
                ASSERT_GE(at.x0, box.x0 - 1e-9) << i;
                ASSERT_LE(at.x1, box.x1 + 1e-9) << i;
                ASSERT_GE(at.y0, box.y0 - 1e-9) << i;
                ASSERT_LE(at.y1, box.y1 + 1e-9) << i;
            }
        }
    }
    // A small sweep gives a small box.
    const PlaneBox corner = planeBox(helix({10, 2, 0}, {10, 0, 0}, kUp, 0.001), kUp);
    EXPECT_LT(std::fmax(corner.x1 - corner.x0, corner.y1 - corner.y0), 0.01);
    // NaN anywhere: the box touches nothing, not even itself.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const PlaneBox poisoned = planeBox(segment({0, 0, 0}, {nan, 1, 0}), kUp);
    EXPECT_FALSE(poisoned.touches(poisoned, 1.0));
    const PlaneBox noNormal = planeBox(segment({0, 0, 0}, {1, 1, 0}), {0, 0, 0});
    EXPECT_FALSE(noNormal.touches(noNormal, 1.0));
}

} // namespace
} // namespace Karsto
