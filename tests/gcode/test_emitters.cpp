#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <functional>
#include <string>
#include <vector>

#include "core/machine_test_support.h"
#include "core/stackmachine_interpreter.h"
#include "gcode/processor_test_support.h"
#include "geometry/canvas6d.h"
#include "geometry/ncmd.h"
#include "geometry/ncmd_queue.h"
#include "geometry/trans_list.h"
#include "geometry/trans_matrix.h"

namespace Karsto {
namespace {

using test::LogCapture;
using test::ProcessorChannel;

std::array<int32_t, Stackmachine::kWaitCounters> waitCounters(Stackmachine& machine) {
    std::array<int32_t, Stackmachine::kWaitCounters> counters{};
    for (int32_t i = 0; i < Stackmachine::kWaitCounters; ++i) counters[static_cast<size_t>(i)] = machine.getWaitCounter(i);
    return counters;
}

TEST(GProcessorNc2Emitters, QueueUnderTheCurrentKeyAndOriginUntilTheBlockEnds) {
    struct Case {
        std::function<void(GProcessorNc2&)> emit;
        std::string logLine; // empty: the emitter logs nothing
        std::string text;
    };
    const Case cases[] = {
        {[](GProcessorNc2& p) { p.emitWait(1.5); }, "SLEEP sec=1.500000", "Wait 1.5"},
        {[](GProcessorNc2& p) { p.emitMFunc(30); }, "MFUNC 30.000000", "MFunc 30"},
        {[](GProcessorNc2& p) { p.emitAccurateStop(); }, "ACCURATESTOP", "AccurateStop"},
        {[](GProcessorNc2& p) { p.emitAutoAccurateStop(0.25); },
         "AUTOACCURATESTOP SEND angle limit=0.250000", "AutoAccurateStop"},
        {[](GProcessorNc2& p) { p.emitHst('s', 800); }, "HST s=800.000000", "HST s=800"},
        {[](GProcessorNc2& p) { p.emitSync(); }, "SYNC", "Sync"},
        {[](GProcessorNc2& p) { p.emitQueryAxes(); }, "QUERYAXES", "Queryaxes"},
        {[](GProcessorNc2& p) { p.emitMsg("hi"); }, "MSG str='hi'", "Msg hi"},
        {[](GProcessorNc2& p) { p.emitNc2Func(Nc2FuncData(7)); }, "", "NCmdNc2Func"},
    };
    for (const Case& c : cases) {
        ProcessorChannel channel;
        GProcessorNc2& p = channel.processor;
        StackmachineInterpreter machine(&p);
        p.machine = &machine;
        machine.reset();
        p.nextBlock();
        p.nextBlock();
        p.origin.blockNumber = 40.0;
        p.origin.span.valid = true;
        p.origin.span.begin.line = 7;
        const auto counters = waitCounters(machine);
        const size_t delivered = channel.out.commands.size();

        LogCapture log({LogLevel::debugGProcessor});
        c.emit(p);
        EXPECT_EQ(log.lines, c.logLine.empty() ? std::vector<std::string>{}
                                               : std::vector<std::string>{"[debugGProcessor] " + c.logLine})
            << c.text;
        EXPECT_EQ(channel.out.commands.size(), delivered) << c.text;
        EXPECT_EQ(waitCounters(machine), counters) << c.text;

        p.nextBlock();
        ASSERT_EQ(channel.out.commands.size(), delivered + 1) << c.text;
        const NCmd& cmd = *channel.out.commands.back();
        EXPECT_EQ(cmd.toString(), c.text);
        EXPECT_EQ(cmd.key(), (BlockKey{2, 0.0})) << c.text;
        EXPECT_EQ(cmd.origin().blockNumber, 40.0) << c.text;
        EXPECT_TRUE(cmd.origin().span.valid) << c.text;
        EXPECT_EQ(cmd.origin().span.begin.line, 7) << c.text;
    }
}

TEST(GProcessorNc2Emitters, TheKernelFunctionCommandOwnsItsBlock) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    Nc2FuncData data(12);
    data.payload()[0] = 0x5a;
    p.emitNc2Func(data);
    data.payload()[0] = 0x11; // the caller's block is no longer the command's
    p.nextBlock();
    ASSERT_EQ(c.out.commands.size(), 1u);
    const auto& cmd = static_cast<const NCmdNc2Func&>(*c.out.commands[0]);
    EXPECT_EQ(cmd.size(), 96);
    EXPECT_EQ(cmd.data()[0], 12);
    EXPECT_EQ(cmd.data()[Nc2FuncData::kPayloadOffset], 0x5a);
}

TEST(GProcessorNc2Setters, VelocityUnitChangesOnlyTheUnitsOfLaterFeeds) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    p.velocity = 10.0;
    p.canvas().setVelocity(10.0);
    LogCapture log({LogLevel::debugGProcessor});
    p.setVelocityUnit(5, 3);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"[debugGProcessor] UNITSPEED=inch/minute"}));
    EXPECT_EQ(p.units.velocityLength, 5);
    EXPECT_EQ(p.units.velocityTime, 3);
    EXPECT_EQ(p.velocity, 10.0);
    EXPECT_EQ(p.canvas().feed().velocity, 10.0);
}

TEST(GProcessorNc2Setters, AxisScalingAlwaysAppendsAMatrix) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    LogCapture log({LogLevel::debugGProcessor});
    p.setAxisScaling(2.0, 1);
    EXPECT_EQ(log.lines, (std::vector<std::string>{
                             "[debugGProcessor] Axis with index=1 has a scaling factor of 2.000000"}));
    EXPECT_EQ(p.path.axisScale, (std::array<double, 3>{1.0, 2.0, 1.0}));
    ASSERT_EQ(p.userTransforms().size(), 1u);
    const TransMatrix& scaling = p.userTransforms().element(0).matrix();
    EXPECT_EQ(scaling.m[1][1], 2.0);
    EXPECT_EQ(scaling.m[0][0], 1.0);
    EXPECT_EQ(scaling.m[2][2], 1.0);
    // The stack was invalidated: the whole transformation scales y now.
    EXPECT_EQ(p.canvas().transformations().matrix().applyPoint({1.0, 1.0, 1.0}),
              (Point3{1.0, 2.0, 1.0}));

    // Another index appends an identity and changes no factor.
    p.setAxisScaling(3.0, 5);
    p.setAxisScaling(3.0, -1);
    ASSERT_EQ(p.userTransforms().size(), 3u);
    EXPECT_EQ(p.path.axisScale, (std::array<double, 3>{1.0, 2.0, 1.0}));
    EXPECT_EQ(p.canvas().transformations().matrix().applyPoint({1.0, 1.0, 1.0}),
              (Point3{1.0, 2.0, 1.0}));
}

TEST(GProcessorNc2Setters, RadiusCompensationHandsTheOffsetAndTheStoredParameters) {
    struct Case {
        int32_t rc;
        double radius;
        Point3 plane;
        bool active;
        Point3 offsetVector;
        std::string logLine;
    };
    const Case cases[] = {
        {1, 4.0, {0.0, 1.0, 0.0}, true, {0.0, 4.0, 0.0}, "RADIUSCOMPENSATION rc=1 radius=4"},
        {2, 4.7, {0.0, 0.0, 1.0}, true, {0.0, 0.0, -4.7}, "RADIUSCOMPENSATION rc=2 radius=4"},
        {3, 4.0, {0.0, 0.0, 1.0}, false, {}, "RADIUSCOMPENSATION rc=3 radius=4"},
        // A radius beyond int still logs a number (never undefined behaviour).
        {3, 1e300, {0.0, 0.0, 1.0}, false, {}, "RADIUSCOMPENSATION rc=3 radius=-2147483648"},
    };
    for (const Case& c : cases) {
        ProcessorChannel channel;
        GProcessorNc2& p = channel.processor;
        p.setWorkingPlane(c.plane.x, c.plane.y, c.plane.z);
        p.trc = {1.0, 2.0, 3.0, 4.0, 5.0, 7};
        LogCapture log({LogLevel::debugGProcessor});
        p.setRadiusCompensation(c.rc, c.radius);
        EXPECT_EQ(log.lines, (std::vector<std::string>{"[debugGProcessor] " + c.logLine}));
        const RadiusCompensationState& s = p.canvas().radiusCompensation();
        EXPECT_EQ(s.active, c.active) << c.logLine;
        EXPECT_EQ(s.offsetVector, c.offsetVector) << c.logLine;
        if (!c.active) continue;
        EXPECT_EQ(s.approachRadius, 1.0);
        EXPECT_EQ(s.approachAngle, 2.0);
        EXPECT_EQ(s.departRadius, 3.0);
        EXPECT_EQ(s.departAngle, 4.0);
        EXPECT_EQ(s.offset, 5.0);
        EXPECT_EQ(s.limit, 7u);
        EXPECT_EQ(p.canvas().collectionDepth(), 1);

        // rc 0 switches it off and hands the compensated path on.
        const Point3 along = Point3::cross(c.plane, {1.0, 1.0, 1.0});
        p.canvas().lineTo(Pose(Point3::scale(along, 10.0), {}), p.canvas().feed(), p.origin, p.key());
        p.canvas().lineTo(Pose(Point3::scale(along, 20.0), {}), p.canvas().feed(), p.origin, p.key());
        p.setRadiusCompensation(0, 0.0);
        EXPECT_FALSE(p.canvas().radiusCompensation().active);
        EXPECT_EQ(p.canvas().collectionDepth(), 0);
    }
}

TEST(GProcessorNc2Setters, AutoAccurateStopIsSwitchedOnWithItsAngle) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    LogCapture log({LogLevel::debugGProcessor});
    p.enableAutoAccurateStop(0.5);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"[debugGProcessor] AUTOACCURATESTOP ENABLE angle=0.500000"}));
    EXPECT_TRUE(p.accurateStop.autoEnabled);
    EXPECT_EQ(p.accurateStop.autoAngle, 0.5);
    EXPECT_TRUE(c.out.commands.empty());
}

TEST(GProcessorNc2Setters, UpdateAxesTakesTheKernelPositions) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    p.setZeroOffset(0, {1.0, 0.0, 0.0, {}});
    p.selectZeroOffset(0);
    p.canvas().setCurrent({9.0, 9.0, 9.0, 0.5, 0.5, 0.5});
    p.nextBlock();
    p.origin.blockNumber = 40.0;
    p.updateAxes({1.0, 2.0, 3.0, {4.0, 5.0, 6.0, 7.0, 8.0}});
    EXPECT_EQ(p.interpolation().current(), (std::vector<double>{4.0, 5.0, 6.0, 7.0, 8.0}));
    EXPECT_EQ(p.canvas().current(), (Pose{1.0, 2.0, 3.0, 0.0, 0.0, 0.0}));
    EXPECT_TRUE(c.out.commands.empty());

    p.nextBlock();
    ASSERT_EQ(c.out.commands.size(), 1u);
    const auto& cmd = static_cast<const NCmdUpdateaxes&>(*c.out.commands[0]);
    EXPECT_EQ(cmd.frame(), (Pose{0.0, 2.0, 3.0, 0.0, 0.0, 0.0}));
    EXPECT_EQ(std::vector<double>(cmd.q().begin(), cmd.q().end()),
              (std::vector<double>{4.0, 5.0, 6.0, 7.0, 8.0}));
    EXPECT_EQ(cmd.key(), (BlockKey{1, 0.0}));
    EXPECT_EQ(cmd.origin().blockNumber, 0.0); // no origin
    EXPECT_FALSE(cmd.origin().span.valid);
}

} // namespace
} // namespace Karsto
