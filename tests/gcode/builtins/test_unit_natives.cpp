// The unit built-ins on a channel: the values of later words are converted, nothing is
// queued, no block starts, and a restart is back in millimetres.

#include <gtest/gtest.h>

#include <algorithm>
#include <numbers>
#include <string>

#include "gcode/builtins/registration_support.h"
#include "geometry/canvas6d.h"

namespace Karsto {
namespace {

using test::Registration;

// The unitlength, unitangle and unittime cells of a unit built-in.
auto cells(std::initializer_list<uint32_t> values) {
    return [values](Stackmachine& m) {
        for (uint32_t value : values) m.pushU32(value);
    };
}

TEST(UnitNatives, LaterWordsAreConvertedByTheCurrentUnit) {
    struct Case {
        const char* native;
        uint32_t unit;
        double x;        // the X word after it
        double expected; // where the path ends, mm
    };
    const Case cases[] = {
        {"unitlengthset", 5, 2.0, 50.8}, // inch
        // The foot's factor is 12 x 25.4 in double precision, not 304.8.
        {"unitlengthset", 6, 1.0, 304.79999999999995},
        {"unitlengthset", 0, 0.5, 500.0}, // meter
        {"unitlengthset", 2, 3.0, 3.0},   // millimeter
    };
    for (const Case& c : cases) {
        Registration r;
        r.processor.startProgram();
        r.call(c.native, cells({c.unit}));
        r.block({{"g", 1}, {"x", c.x}, {"f", 600}});
        EXPECT_EQ(r.processor.canvas().current().x, c.expected) << c.unit;
    }
}

TEST(UnitNatives, AnglesDwellsAndFeeds) {
    Registration gon;
    gon.processor.startProgram();
    gon.call("unitangleset", cells({2}));
    gon.block({{"g", 1}, {"x", 1}, {"a", 200}, {"f", 600}});
    EXPECT_NEAR(gon.processor.canvas().current().a, std::numbers::pi, 1e-12);

    Registration minute;
    minute.processor.startProgram();
    minute.call("unittimeset", cells({3}));
    minute.block({{"g", 4}, {"f", 0.5}});
    EXPECT_NE(std::find(minute.output.lines.begin(), minute.output.lines.end(), "snr=1 key=1/0 n=0 Wait 30"),
              minute.output.lines.end());

    // The feed unit is its own: positions stay in millimetres; time is read first.
    Registration feed;
    feed.processor.startProgram();
    feed.call("unitvelocityset", cells({5, 0})); // inch per second
    feed.block({{"g", 1}, {"x", 1}, {"f", 1}});
    EXPECT_EQ(feed.processor.velocity, 25.4);
    EXPECT_EQ(feed.processor.canvas().current().x, 1.0);
    EXPECT_EQ(feed.processor.units.length, 2);

    // And the length unit leaves the feed unit alone (mm/min).
    Registration length;
    length.processor.startProgram();
    length.call("unitlengthset", cells({5}));
    length.block({{"g", 1}, {"x", 1}, {"f", 600}});
    EXPECT_EQ(length.processor.velocity, 10.0);
}

TEST(UnitNatives, DebugLinesNameTheUnits) {
    Registration r;
    test::LogCapture log({LogLevel::debugGProcessor});
    r.call("unitlengthset", cells({5}));
    r.call("unitangleset", cells({2}));
    r.call("unittimeset", cells({3}));
    r.call("unitvelocityset", cells({5, 0}));
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{"[debugGProcessor] UNITLENGTH=inch", "[debugGProcessor] UNITANGLE=gon",
                                        "[debugGProcessor] UNITTIME=minute",
                                        "[debugGProcessor] UNITSPEED=inch/second"}));
}

TEST(UnitNatives, QueueNothingStartNoBlockAndEndWithTheRun) {
    Registration r;
    r.processor.startProgram();
    r.block({{"g", 1}, {"x", 1}, {"f", 600}});
    r.call("unitlengthset", cells({5}));
    r.block({{"g", 1}, {"x", 2}});
    // A restart works in millimetres from its first block on.
    r.processor.startProgram();
    r.block({{"g", 1}, {"x", 1}, {"f", 600}});
    // The second block follows the first directly: the call queued nothing and closed
    // no block.
    EXPECT_EQ(r.output.lines,
              (std::vector<std::string>{
                  "snr=0 key=0/0 n=0 Queryaxes",
                  "snr=1 key=1/0 n=0 Line time=1 from=[0.00,0.00,0.00,0.00,0.00,0.00] to=[1.00,0.00,0.00,0.00,0.00,0.00]",
                  "snr=2 key=2/0 n=0 Line time=2 from=[1.00,0.00,0.00,0.00,0.00,0.00] to=[50.80,0.00,0.00,0.00,0.00,0.00]",
                  "snr=0 key=0/0 n=0 Queryaxes",
                  "snr=1 key=1/0 n=0 Line time=1 from=[0.00,0.00,0.00,0.00,0.00,0.00] to=[1.00,0.00,0.00,0.00,0.00,0.00]",
              }));
}

} // namespace
} // namespace Karsto
