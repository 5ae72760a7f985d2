#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <locale>
#include <numbers>

#include "geometry/pose.h"
#include "geometry/geometry_test_support.h"

namespace Karsto {
namespace {


// Bitwise equality: -0.0 and 0.0 differ, and NaN payloads would too.
bool sameBits(const Point3& a, const Point3& b) { return std::memcmp(&a, &b, sizeof(Point3)) == 0; }

TEST(Point3, TextForms) {
    struct Case {
        std::string text;
        const char* expected;
    };
    const Case cases[] = {
        {Point3{1, -2.5, 0.004}.toString(), "[1.00,-2.50,0.00]"},
        {Point3{-0.001, 0, 123.456}.toString(), "[-0.00,0.00,123.46]"},
        {Point3{-0.0, 0.005, -0.005}.toString(), "[-0.00,0.01,-0.01]"},
        {Pose().toString(), "[0.00,0.00,0.00,0.00,0.00,0.00]"},
        {Pose(1, 2, 3, -4, 5.555, -0.0).toString(), "[1.00,2.00,3.00,-4.00,5.55,-0.00]"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.text, c.expected);
}

// A global locale with a decimal comma and digit grouping must not reach the texts.
struct GroupingPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(Point3, TextFormsIgnoreTheGlobalLocale) {
    const std::locale saved = std::locale::global(std::locale(std::locale::classic(), new GroupingPunct));
    const std::string point = Point3{1234567.891, -1e6, 0.125}.toString();
    const std::string serial = formatSerial(1234567);
    std::locale::global(saved);
    EXPECT_EQ(point, "[1234567.89,-1000000.00,0.12]");
    EXPECT_EQ(serial, "1234567");
}

TEST(Point3, FormatSerial) {
    EXPECT_EQ(formatSerial(0), "0");
    EXPECT_EQ(formatSerial(7), "7");
    EXPECT_EQ(formatSerial(UINT64_MAX), "18446744073709551615");
}

TEST(Point3, ClampedAcosSnapsOnlyWithinEps) {
    EXPECT_EQ(clampedAcos(1 + 5e-9, 1e-8), 0.0);
    EXPECT_EQ(clampedAcos(-1 - 5e-9, 1e-8), kPi);
    EXPECT_EQ(clampedAcos(0.0, 1e-8), kPi / 2);
    EXPECT_TRUE(std::isnan(clampedAcos(1.1, 1e-8)));
    EXPECT_TRUE(std::isnan(clampedAcos(-1 - 2e-8, 1e-8)));
}

TEST(Point3, RotatedAbout) {
    // Right-handed about each axis.
    expectNear(Point3{0, 3, 0}.rotatedAbout({kPi / 2, 0, 0}), {0, 0, 3}, 1e-15);
    expectNear(Point3{1, 0, 0}.rotatedAbout({0, 0, kPi / 2}), {0, 1, 0}, 1e-15);
    expectNear(Point3{0, 0, 2}.rotatedAbout({0, kPi / 2, 0}), {2, 0, 0}, 1e-15);
    // A negative angle turns the other way; the axis part stays.
    expectNear(Point3{1, 0, 4}.rotatedAbout({0, 0, -kPi / 2}), {0, -1, 4}, 1e-15);
    // An oblique axis: a third of a turn about (1, 1, 1) cycles the coordinates.
    const Point3 diagonal = Point3::scale(Point3{1, 1, 1}.normalized(), 2 * kPi / 3);
    expectNear(Point3{1, 0, 0}.rotatedAbout(diagonal), {0, 1, 0}, 1e-15);

    // A vector on the axis comes back bit-identical for any rotation vector along it.
    const Point3 onAxis{0, 0, 7};
    for (const Point3& r : {Point3{0, 0, 0.3}, Point3{0, 0, -2.5}, Point3{0, 0, 1e-9},
                            Point3{0, 0, 123.456}, Point3{0, 0, 3 * kPi}})
        EXPECT_TRUE(sameBits(onAxis.rotatedAbout(r), onAxis)) << r.z;
    // So does one within 1e-6 of the axis.
    const Point3 nearAxis{1e-7, 0, 5};
    EXPECT_TRUE(sameBits(nearAxis.rotatedAbout({0, 0, 1}), nearAxis));
}

TEST(Point3, VectorOperations) {
    EXPECT_EQ((Point3{4, 5, 6}.rejectFrom({0, 3, 0})), (Point3{4, 0, 6}));
    EXPECT_EQ((Point3{1, 2, 3}.rejectFrom({0, 0, 2})), (Point3{1, 2, 0}));
    EXPECT_EQ(Point3::cross(Point3{1, 0, 0}, Point3{0, 1, 0}), (Point3{0, 0, 1}));
    EXPECT_EQ(Point3::cross(Point3{1, 2, 3}, Point3{4, 5, 6}), (Point3{-3, 6, -3}));
    EXPECT_EQ(Point3::dot(Point3{1, 2, 3}, Point3{4, -5, 6}), 12.0);
    EXPECT_EQ((Point3{1, 2, 2}).length(), 3.0);
    EXPECT_EQ((Point3{0, 3, 4}).normalized(), (Point3{0, 0.6, 0.8}));
    EXPECT_EQ(Point3::add(Point3{1, 2, 3}, Point3{4, 5, 6}), (Point3{5, 7, 9}));
    EXPECT_EQ(Point3::sub(Point3{1, 2, 3}, Point3{4, 5, 6}), (Point3{-3, -3, -3}));
    EXPECT_EQ(Point3::scale(Point3{1, -2, 3}, -2), (Point3{-2, 4, -6}));
    // No guard: callers test the length first.
    const Point3 zero = Point3().normalized();
    EXPECT_TRUE(std::isnan(zero.x) && std::isnan(zero.y) && std::isnan(zero.z));
}

TEST(Pose, PositionAndRotaryParts) {
    const Pose p(1, 2, 3, 4, 5, 6);
    EXPECT_EQ(p.position(), (Point3{1, 2, 3}));
    EXPECT_EQ(p.rotary(), (Point3{4, 5, 6}));
    EXPECT_EQ(Pose(p.position(), p.rotary()), p);
}

} // namespace
} // namespace Karsto
