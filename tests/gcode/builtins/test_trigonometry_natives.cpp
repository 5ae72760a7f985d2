// G-code trigonometry in the channel's angle unit, bit for bit where the value matters.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "gcode/builtins/registration_support.h"

namespace Karsto {
namespace {

TEST(TrigonometryNatives, ResultsInTheAngleUnit) {
    constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
    constexpr int32_t kRadian = 0, kDegree = 1, kGon = 2, kTurn = 3;
    struct Case {
        int32_t unit;
        const char* native;
        double first;
        double second; // gatan2 only: x
        double expected; // NaN: not a number expected
    };
    const Case cases[] = {
        {kDegree, "gasin", 0.5, 0, 30.000000000000004},
        {kDegree, "gacos", 0, 0, 90.0},
        {kDegree, "gatan", -1, 0, -45.0},
        {kDegree, "gatan", 1, 0, 45.0},
        {kDegree, "gatan2", -1, -1, -135.0},
        {kDegree, "gatan2", 1, -1, 135.0},
        {kDegree, "gcos", 60, 0, 0.5000000000000001},
        {kDegree, "gsin", 180, 0, 1.2246467991473532e-16},
        {kDegree, "gsin", 30, 0, 0.49999999999999994},
        {kDegree, "gtan", 45, 0, 0.9999999999999999},
        {kDegree, "gcos", 90, 0, 6.123233995736766e-17},
        {kDegree, "gasin", 1, 0, 90.0},
        {kDegree, "gacos", -1, 0, 180.0},
        // Just beyond the boundary counts as the boundary; further beyond is no number.
        {kDegree, "gasin", -1.000000005, 0, -90.0},
        {kDegree, "gasin", 1.000000005, 0, 90.0},
        {kDegree, "gacos", 1.00000002, 0, kNan},
        {kDegree, "gasin", 1.5, 0, kNan},
        {kDegree, "gtan", 90, 0, 1.633123935319537e16},
        {kTurn, "gatan2", 0, -1, 0.5},
        {kTurn, "gatan2", 1, 0, 0.25},
        {kRadian, "gasin", 1, 0, std::numbers::pi / 2},
        {kRadian, "gsin", 1, 0, std::sin(1.0)},
        {kGon, "gcos", 200, 0, -1.0},
    };
    for (const Case& c : cases) {
        test::Registration r;
        r.processor.units.angle = c.unit;
        const bool two = std::string(c.native) == "gatan2";
        const int64_t base = r.call(c.native, [&](Stackmachine& m) {
            m.pushF64(c.first);
            if (two) m.pushF64(c.second);
        });
        const double result = r.machine.loadF64(base);
        if (std::isnan(c.expected))
            EXPECT_TRUE(std::isnan(result)) << c.native << "(" << c.first << ") gave " << result;
        else
            EXPECT_EQ(result, c.expected) << c.unit << " " << c.native << "(" << c.first << ")";
    }
}

} // namespace
} // namespace Karsto
