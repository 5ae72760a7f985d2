// The working plane, the settable zero offsets of G54 to G57 and the disable mask.

#include <gtest/gtest.h>

#include <string>

#include "core/exception.h"
#include "gcode/builtins/registration_support.h"
#include "geometry/canvas6d.h"

namespace Karsto {
namespace {

using test::failureOf;
using test::Registration;

auto vector3(double x, double y, double z) {
    return [=](Stackmachine& m) {
        m.pushF64(x);
        m.pushF64(y);
        m.pushF64(z);
    };
}

Point3 planeOf(Registration& r) {
    const int64_t base = r.call("workingplaneget", [](Stackmachine& m) { m.addSp(3); });
    return {r.machine.loadF64(base), r.machine.loadF64(base + 1), r.machine.loadF64(base + 2)};
}

TEST(WorkingPlaneNatives, SetNormalisesGetReadsAndAZeroVectorFails) {
    Registration r;
    r.call("workingplaneset", vector3(0, 3, 4));
    EXPECT_EQ(planeOf(r), (Point3{0.0, 0.6, 0.8}));
    EXPECT_EQ(failureOf(r, "workingplaneset", vector3(0, 0, 0)), "Invalid workingplane normal vector.");
    EXPECT_EQ(planeOf(r), (Point3{0.0, 0.6, 0.8}));

    // Only the direction counts: the length unit does not touch the vector.
    r.processor.units.length = static_cast<int32_t>(UnitLength::inch);
    r.call("workingplaneset", vector3(1, 1, 0));
    EXPECT_EQ(planeOf(r), (Point3{0.7071067811865475, 0.7071067811865475, 0.0}));
    r.call("workingplaneset", vector3(0, 0, 2));
    EXPECT_EQ(planeOf(r), (Point3{0.0, 0.0, 1.0}));
}

auto shiftQuery(uint8_t g) {
    return [g](Stackmachine& m) {
        m.pushU8(g);
        m.addSp(3);
    };
}

auto shiftSet(uint8_t g, double x, double y, double z) {
    return [=](Stackmachine& m) {
        m.pushU8(g);
        vector3(x, y, z)(m);
    };
}

TEST(ZeroOffsetNatives, OnlyG54ToG57AreAccepted) {
    Registration r;
    EXPECT_EQ(failureOf(r, "zerooffsetshift", shiftQuery(58)),
              "Invalid G-Code G58 in function 'zerooffsetshift'. The G-Code must be one of G54 to G57.");
    EXPECT_EQ(failureOf(r, "zerooffsetshift", shiftQuery(53)),
              "Invalid G-Code G53 in function 'zerooffsetshift'. The G-Code must be one of G54 to G57.");
    EXPECT_EQ(failureOf(r, "zerooffsetshiftset", shiftSet(53, 1, 0, 0)),
              "Invalid G-Code G53 in function 'zerooffsetshiftset'. The G-Code must be one of G54 to G57.");
    EXPECT_EQ(failureOf(r, "zerooffsetshiftset", shiftSet(58, 1, 0, 0)),
              "Invalid G-Code G58 in function 'zerooffsetshiftset'. The G-Code must be one of G54 to G57.");
    for (int32_t i = 0; i < ZeroOffsets::kSettable; ++i) EXPECT_EQ(r.processor.zeroOffsets().entry(i), ZeroOffset());
}

TEST(ZeroOffsetNatives, ValuesAreInTheLengthUnitAndQValuesStay) {
    Registration r;
    ZeroOffset before;
    before.q = {1.0, 2.0, 3.0, 4.0, 5.0};
    before.y = 7.0;
    r.processor.setZeroOffset(6, before);
    r.processor.units.length = static_cast<int32_t>(UnitLength::inch);
    r.call("zerooffsetshiftset", shiftSet(57, 1, 0, -2));
    ZeroOffset expected = before;
    expected.x = 25.4;
    expected.y = 0.0;
    expected.z = -50.8;
    EXPECT_EQ(r.processor.zeroOffsets().entry(6), expected);

    int64_t base = r.call("zerooffsetshift", shiftQuery(57));
    EXPECT_EQ(r.machine.loadF64(base + 1), 1.0);
    EXPECT_EQ(r.machine.loadF64(base + 3), -2.0);
    r.processor.units.length = static_cast<int32_t>(UnitLength::millimeter);
    base = r.call("zerooffsetshift", shiftQuery(57));
    EXPECT_EQ(r.machine.loadF64(base + 1), 25.4);
}

TEST(ZeroOffsetNatives, TheSelectedOffsetActsAtOnceAnotherWhenSelected) {
    Registration r;
    r.processor.startProgram();
    r.processor.units.length = static_cast<int32_t>(UnitLength::inch);
    r.block({{"g", 57}});
    r.call("zerooffsetshiftset", shiftSet(57, 1, 0, 0));
    r.block({{"g", 1}, {"x", 0}, {"f", 600}});
    EXPECT_EQ(r.processor.canvas().current().x, 25.4);

    Registration other;
    other.processor.startProgram();
    other.block({{"g", 54}});
    other.call("zerooffsetshiftset", shiftSet(55, 10, 0, 0));
    other.block({{"g", 1}, {"x", 0}, {"f", 600}});
    EXPECT_EQ(other.processor.canvas().current().x, 0.0);
    other.block({{"g", 55}});
    other.block({{"g", 1}, {"x", 0}});
    EXPECT_EQ(other.processor.canvas().current().x, 10.0);
}

TEST(DisableMaskNatives, SuppressesBlocksOfTheMaskedLevelAndSurvivesARestart) {
    Registration r;
    r.processor.startProgram();
    r.call("disablemaskset", [](Stackmachine& m) { m.pushU64(8); });
    EXPECT_EQ(r.machine.loadU64(r.call("disablemask")), 8u);
    r.block({{"g", 1}, {"x", 5}, {"f", 600}}, 3);
    EXPECT_EQ(r.processor.canvas().current().x, 0.0);
    r.block({{"g", 1}, {"x", 7}, {"f", 600}}, 2);
    EXPECT_EQ(r.processor.canvas().current().x, 7.0);
    r.block({{"g", 1}, {"y", 1}}, 4);
    EXPECT_EQ(r.processor.canvas().current().y, 1.0);

    r.processor.startProgram();
    EXPECT_EQ(r.processor.disableMask, 8u);
    r.block({{"g", 1}, {"x", 5}, {"f", 600}}, 3);
    EXPECT_NE(r.processor.canvas().current().x, 5.0);

    // All 64 bits are set and returned.
    r.call("disablemaskset", [](Stackmachine& m) { m.pushU64(0x8000000000000001u); });
    EXPECT_EQ(r.machine.loadU64(r.call("disablemask")), 0x8000000000000001u);
}

} // namespace
} // namespace Karsto
