#include <gtest/gtest.h>

#include <cfloat>
#include <vector>

#include "core/exception.h"
#include "gcode/processor_test_support.h"
#include "geometry/ncmd.h"
#include "geometry/ncmd_queue.h"

namespace Karsto {
namespace {

using test::ProcessorChannel;

std::vector<double> valuesOf(std::span<const double> s) { return {s.begin(), s.end()}; }

TEST(Interpolation, MovesOfOneBlockChainFromTargetToTargetBeforeDelivery) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    Interpolation& q = p.interpolation();
    EXPECT_EQ(q.axisCount(), 5u);
    EXPECT_EQ(q.current(), std::vector<double>(5, 0.0));
    const std::vector<double> first{1.0, 2.0, 3.0, 4.0, 5.0};
    const std::vector<double> second{-1.0, 2.0, 0.5, 4.0, 9.0};
    q.moveTo(first, false, p.origin, p.key(), DBL_MAX);
    q.moveTo(second, true, p.origin, p.key(), 25.0);
    EXPECT_TRUE(c.out.lines.empty());
    ASSERT_EQ(p.queue().commands().size(), 2u);
    auto it = p.queue().commands().begin();
    const auto& a = static_cast<const NCmdInterpolate&>(**it);
    const auto& b = static_cast<const NCmdInterpolate&>(**++it);
    EXPECT_EQ(valuesOf(a.from()), std::vector<double>(5, 0.0));
    EXPECT_EQ(valuesOf(a.to()), first);
    EXPECT_EQ(valuesOf(b.from()), first);
    EXPECT_EQ(valuesOf(b.to()), second);
    EXPECT_EQ(a.speed(), DBL_MAX);
    EXPECT_FALSE(a.withPathMotion());
    EXPECT_TRUE(b.withPathMotion());
    EXPECT_EQ(b.axes(), &q);
    EXPECT_EQ(b.serial(), kSerialUndelivered);
    EXPECT_EQ(q.current(), second);

    p.reset();
    EXPECT_EQ(q.current(), second);
    // After the kernel's answer the next move starts from the reported values.
    const std::vector<double> reported{7.0, 7.0, 7.0, 7.0, 7.0};
    q.setCurrent(reported);
    q.moveTo(first, false, p.origin, p.key(), 1.0);
    const auto& c3 = static_cast<const NCmdInterpolate&>(**p.queue().commands().begin());
    EXPECT_EQ(valuesOf(c3.from()), reported);
}

TEST(Interpolation, AListOfTheWrongSizeIsRefused) {
    ProcessorChannel c;
    Interpolation& q = c.processor.interpolation();
    try {
        q.moveTo({1.0, 2.0}, false, c.processor.origin, c.processor.key(), 1.0);
        FAIL() << "no error";
    } catch (const ExceptionRuntime& e) {
        EXPECT_EQ(e.message(), "Expected 5 axis values, but 2 are given");
    }
    EXPECT_TRUE(c.processor.queue().commands().empty());
    EXPECT_EQ(q.current(), std::vector<double>(5, 0.0));
}

TEST(InterpolationLinear, ProjectParameterAndBlend) {
    ProcessorChannel c;
    const Interpolation& q = c.processor.interpolation();
    const std::vector<double> from{0.0, 0.0, 0.0, 0.0, 0.0};
    const std::vector<double> to{2.0, 0.0, 0.0, 0.0, 4.0};
    const struct {
        std::vector<double> value;
        double parameter;
    } cases[] = {
        {{1.0, 0.0, 0.0, 0.0, 2.0}, 0.5},   // the middle
        {{2.0, 9.0, 0.0, 0.0, 4.0}, 1.0},   // off the segment, nearest its end
        {{4.0, 0.0, 0.0, 0.0, 8.0}, 1.0},   // beyond the end
        {{-1.0, 0.0, 0.0, 0.0, -2.0}, 0.0}, // before the start
        {{0.4, 0.0, 0.0, 0.0, 0.8}, 0.2},
    };
    for (const auto& k : cases) EXPECT_DOUBLE_EQ(q.projectParameter(from, to, k.value), k.parameter);
    // A move shorter than the tolerance answers its middle.
    EXPECT_EQ(q.projectParameter(from, from, to), 0.5);
    const std::vector<double> tiny{0.0009, 0.0, 0.0, 0.0, 0.0};
    EXPECT_EQ(q.projectParameter(from, tiny, to), 0.5);

    EXPECT_EQ(q.blend(to, from, 0.0), from);
    EXPECT_EQ(q.blend(to, from, 1.0), to);
    EXPECT_EQ(q.blend(to, from, 0.25), (std::vector<double>{0.5, 0.0, 0.0, 0.0, 1.0}));

    const InterpolationLinear none(c.processor, {});
    EXPECT_EQ(none.projectParameter({}, {}, {}), 0.5);
    EXPECT_TRUE(none.blend({}, {}, 0.5).empty());
}

} // namespace
} // namespace Karsto
