#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <numbers>

#include "core/exception.h"
#include "gcode/units.h"
#include "gcode/zero_offset.h"

namespace Karsto {
namespace {

TEST(Units, FactorsAndNamesByIndex) {
    struct Row {
        int32_t index;
        const char* name;
        double factor;
    };
    const Row lengths[] = {{0, "meter", 1000.0},    {1, "centimeter", 10.0}, {2, "millimeter", 1.0},
                           {3, "micrometer", 0.001}, {4, "nanometer", 1e-6}, {5, "inch", 25.4},
                           {6, "foot", 304.79999999999995}};
    for (const Row& r : lengths) {
        EXPECT_EQ(unitLengthName(r.index), r.name);
        EXPECT_EQ(unitLengthFactor(r.index), r.factor) << r.name;
    }
    const Row angles[] = {{0, "radian", 1.0},
                          {1, "degree", std::numbers::pi / 180.0},
                          {2, "gon", std::numbers::pi / 200.0},
                          {3, "turn", 2.0 * std::numbers::pi}};
    for (const Row& r : angles) {
        EXPECT_EQ(unitAngleName(r.index), r.name);
        EXPECT_EQ(unitAngleFactor(r.index), r.factor) << r.name;
    }
    const Row times[] = {{0, "second", 1.0},
                         {1, "millisecond", 0.001},
                         {2, "microsecond", 1e-6},
                         {3, "minute", 60.0},
                         {4, "hour", 3600.0}};
    for (const Row& r : times) {
        EXPECT_EQ(unitTimeName(r.index), r.name);
        EXPECT_EQ(unitTimeFactor(r.index), r.factor) << r.name;
    }
    // The foot is the double product, one ulp below the literal 304.8.
    EXPECT_NE(unitLengthFactor(6), 304.8);
}

TEST(Units, IndexOutsideATableIsRefused) {
    const auto message = [](auto lookup, int32_t index) {
        try {
            lookup(index);
        } catch (const ExceptionRuntime& e) {
            return e.message();
        }
        return std::string("no error");
    };
    EXPECT_EQ(message(unitLengthName, 7), "Invalid length unit 7");
    EXPECT_EQ(message(unitLengthFactor, -1), "Invalid length unit -1");
    EXPECT_EQ(message(unitAngleName, 4), "Invalid angle unit 4");
    EXPECT_EQ(message(unitAngleFactor, INT32_MIN), "Invalid angle unit -2147483648");
    EXPECT_EQ(message(unitTimeName, 5), "Invalid time unit 5");
    EXPECT_EQ(message(unitTimeFactor, -3), "Invalid time unit -3");
}

TEST(Units, ResetGivesMillimetreDegreeSecondAndMillimetrePerMinute) {
    Units u;
    u.length = 5;
    u.angle = 0;
    u.time = 4;
    u.velocityLength = 0;
    u.velocityTime = 0;
    u.reset();
    EXPECT_EQ(unitLengthName(u.length), "millimeter");
    EXPECT_EQ(unitAngleName(u.angle), "degree");
    EXPECT_EQ(unitTimeName(u.time), "second");
    EXPECT_EQ(unitLengthName(u.velocityLength), "millimeter");
    EXPECT_EQ(unitTimeName(u.velocityTime), "minute");
}

TEST(NumberToString, SixDecimalsLikePrintf) {
    const struct {
        double value;
        const char* text;
    } cases[] = {{0.0, "0.000000"},        {3.0, "3.000000"},   {-20.5, "-20.500000"},
                 {1e-7, "0.000000"},       {-1e-7, "-0.000000"}, {2.0 / 3.0, "0.666667"},
                 {123456789.0, "123456789.000000"}};
    for (const auto& c : cases) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%f", c.value);
        EXPECT_EQ(numberToString(c.value), c.text);
        EXPECT_EQ(numberToString(c.value), expected);
    }
    // The largest double needs all its 309 digits.
    EXPECT_EQ(numberToString(DBL_MAX).size(), 309u + 7u);
}

TEST(ZeroOffsetText, PositionWithTwoDecimalsAndQValuesWithSix) {
    EXPECT_EQ(ZeroOffset().toString(),
              "[0.00,0.00,0.00],[0.000000,0.000000,0.000000,0.000000,0.000000]");
    ZeroOffset z{0.0, -20.0, 5.0, {3.0, 0.0, 0.0, 0.0, -0.25}};
    EXPECT_EQ(z.toString(), "[0.00,-20.00,5.00],[3.000000,0.000000,0.000000,0.000000,-0.250000]");
}

} // namespace
} // namespace Karsto
