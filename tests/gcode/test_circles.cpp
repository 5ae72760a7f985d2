#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/error_test_support.h"
#include "core/exception.h"
#include "core/machine_test_support.h"
#include "gcode/processor_test_support.h"
#include "geometry/canvas6d.h"
#include "geometry/geo_helix.h"
#include "geometry/ncmd.h"

namespace Karsto {
namespace {

using test::LogCapture;
using test::ProcessorChannel;

using Move = std::function<void(GProcessorNc2&)>;

Move byRadius(Pose target, double radius, bool negative, bool clockwise) {
    return [=](GProcessorNc2& p) { p.circleByRadius(target, radius, negative, clockwise); };
}

Move byCenter(Pose target, Point3 centre, bool clockwise, bool correction) {
    return [=](GProcessorNc2& p) { p.circleByCenter(target, centre, clockwise, correction); };
}

// The "MOVE CIRCLE" line of a move under G17 from (0, 0, 0).
TEST(GProcessorNc2Circles, BuildTheArcInTheWorkingPlane) {
    struct Case {
        std::string name;
        Move move;
        std::string to;
        std::string centre;
        std::string angle;
    };
    const Case cases[] = {
        {"radius, clockwise", byRadius({0, 20, 0}, 10, false, true), "[0.00,20.00,0.00,0.00,0.00,0.00]",
         "[0.00,10.00,0.00]", "-3.141593"},
        {"short arc left of the chord", byRadius({6, 0, 0}, 5, false, false),
         "[6.00,0.00,0.00,0.00,0.00,0.00]", "[3.00,4.00,0.00]", "1.287002"},
        {"negative radius: the long arc", byRadius({6, 0, 0}, 5, true, false),
         "[6.00,0.00,0.00,0.00,0.00,0.00]", "[3.00,-4.00,0.00]", "4.996183"},
        {"half circle, positive radius", byRadius({10, 0, 0}, 5, false, true),
         "[10.00,0.00,0.00,0.00,0.00,0.00]", "[5.00,0.00,0.00]", "-3.141593"},
        {"half circle, negative radius", byRadius({10, 0, 0}, 5, true, true),
         "[10.00,0.00,0.00,0.00,0.00,0.00]", "[5.00,0.00,0.00]", "-3.141593"},
        {"radius of the chord", byRadius({10, 0, 0}, 10, false, false),
         "[10.00,0.00,0.00,0.00,0.00,0.00]", "[5.00,8.66,0.00]", "1.047198"},
        {"radius short of half the chord within tolerance", byRadius({6, 0, 0}, 2.999996, false, false),
         "[6.00,0.00,0.00,0.00,0.00,0.00]", "[3.00,0.00,0.00]", "3.141593"},
        // h² = -0.005: below -0.001 it still counts as 0.
        {"large radius just short", byRadius({2000.000005, 0, 0}, 1000, false, true),
         "[2000.00,0.00,0.00,0.00,0.00,0.00]", "[1000.00,0.00,0.00]", "-3.141593"},
        {"helix by radius", byRadius({0, 20, 5}, 10, false, false), "[0.00,20.00,5.00,0.00,0.00,0.00]",
         "[0.00,10.00,2.50]", "3.141593"},
        {"full helix by centre", byCenter({0, 0, 3}, {5, 0, 0}, true, true),
         "[0.00,0.00,3.00,0.00,0.00,0.00]", "[5.00,0.00,0.00]", "-6.283185"},
        {"full helix counter-clockwise", byCenter({0, 0, 3}, {5, 0, 0}, false, true),
         "[0.00,0.00,3.00,0.00,0.00,0.00]", "[5.00,0.00,0.00]", "6.283185"},
        {"centre left of the chord, clockwise: the far side", byCenter({10, 0, 0}, {5, 0.05, 0}, true, true),
         "[10.00,0.00,0.00,0.00,0.00,0.00]", "[5.00,0.05,0.00]", "-3.161592"},
        {"centre left of the chord, counter-clockwise", byCenter({10, 0, 0}, {5, 0.05, 0}, false, true),
         "[10.00,0.00,0.00,0.00,0.00,0.00]", "[5.00,0.05,0.00]", "3.121593"},
    };
    for (const Case& c : cases) {
        ProcessorChannel channel;
        GProcessorNc2& p = channel.processor;
        LogCapture log({LogLevel::debugGProcessor});
        c.move(p);
        EXPECT_EQ(log.lines, (std::vector<std::string>{"[debugGProcessor] MOVE CIRCLE to=" + c.to + " center=" +
                                                        c.centre + " normal=[0.00,0.00,1.00] angle=" + c.angle}))
            << c.name;
        p.nextBlock();
        ASSERT_EQ(channel.out.commands.size(), 1u) << c.name;
        EXPECT_EQ(channel.out.commands[0]->kind(), NCmdKind::geo) << c.name;
    }
}

TEST(GProcessorNc2Circles, CentreCorrectionMovesTheCentreOntoTheMeanRadius) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    LogCapture log({LogLevel::debugGProcessor});
    p.circleByCenter({8, 0, 0}, {4.02, 0, 0}, true, true);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"[debugGProcessor] MOVE CIRCLE to=[8.00,0.00,0.00,0.00,0.00,0.00] "
                                                    "center=[4.00,0.00,0.00] normal=[0.00,0.00,1.00] angle=-3.141593"}));
    EXPECT_EQ(p.canvas().current(), (Pose{8, 0, 0}));

    // The corrected centre stays on the side of the chord it was given on, and so the arc
    // keeps its length class: (5.03, 0.5) lies left of the chord to (10, 0).
    for (const bool clockwise : {true, false}) {
        ProcessorChannel channel;
        LogCapture lines({LogLevel::debugGProcessor});
        channel.processor.circleByCenter({10, 0, 0}, {5.03, 0.5, 0}, clockwise, true);
        ASSERT_EQ(lines.lines.size(), 1u);
        EXPECT_NE(lines.lines[0].find(clockwise ? "angle=-3.34" : "angle=2.94"), std::string::npos)
            << lines.lines[0];
        EXPECT_NE(lines.lines[0].find("center=[5.00,0.50,0.00]"), std::string::npos) << lines.lines[0];
    }
}

TEST(GProcessorNc2Circles, ProgramCoordinatesAreTheFrameOfTheCircle) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    p.setZeroOffset(0, {10.0, 0.0, 0.0, {}});
    p.selectZeroOffset(0);
    p.canvas().setCurrent({10, 0, 0});
    LogCapture log({LogLevel::debugGProcessor});
    p.circleByRadius({0, 20, 0}, 10, false, true);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_NE(log.lines[0].find("center=[0.00,10.00,0.00]"), std::string::npos) << log.lines[0];
    EXPECT_EQ(p.canvas().current(), (Pose{10, 20, 0}));
}

TEST(GProcessorNc2Circles, AFailingCircleQueuesNothingAndStays) {
    struct Case {
        Move move;
        std::string error;
        double radiusLimit = 0.1;
    };
    const Case cases[] = {
        {byRadius({6, 0, 0}, 2.99, false, true),
         "Invalid definition of circle. Distance between start-point and end-point (=6.000000) is "
         "larger than diameter (=5.980000)."},
        {byRadius({0, 0, 3}, 5, false, true),
         "Invalid circle. Startpoint ([0.00,0.00,0.00]) and endpoint ([0.00,0.00,3.00]) are the same "
         "with respect to the workingplane."},
        {byCenter({8, 0, 0}, {4.02, 0, 0}, true, false),
         "Inconsistent radii (4.020000 != 3.980000) in definition of helix"},
        {byCenter({8, 0, 0}, {4.06, 0, 0}, true, true),
         "Difference between start-radius (4.0600) and end-radius (3.9400) exceeds limit (0.1000)."},
        // A difference equal to the limit fails.
        {byCenter({11, 0, 0}, {5, 0, 0}, false, true),
         "Difference between start-radius (5.0000) and end-radius (6.0000) exceeds limit (1.0000).", 1.0},
        {byCenter({8, 0, 0}, {0, 0, 4}, true, true),
         "Centerpoint of circle is equivalent to startpoint with respect to workingplane."},
        {byCenter({8, 0, 0}, {8, 0, -2}, true, true),
         "Centerpoint of circle is equivalent to endpoint with respect to workingplane."},
    };
    for (const Case& c : cases) {
        ProcessorChannel channel;
        GProcessorNc2& p = channel.processor;
        p.circles.radiusLimit = c.radiusLimit;
        EXPECT_EQ(test::runtimeMessage([&] { c.move(p); }), c.error);
        EXPECT_EQ(p.canvas().current(), Pose()) << c.error;
        p.nextBlock();
        EXPECT_TRUE(channel.out.commands.empty()) << c.error;
    }
}

} // namespace
} // namespace Karsto
