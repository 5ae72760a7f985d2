// Tool radius compensation, collision elimination, smoothing, feed and dynamics built-ins.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "core/exception.h"
#include "gcode/builtins/registration_support.h"
#include "geometry/canvas6d.h"
#include "geometry/ncmd.h"
#include "geometry/pproc.h"

namespace Karsto {
namespace {

using test::failureOf;
using test::Registration;

auto doubles(std::vector<double> values) {
    return [values](Stackmachine& m) {
        for (double v : values) m.pushF64(v);
    };
}

// The kernel functions that reached the output, in order.
std::vector<const NCmdNc2Func*> kernelFunctions(const Registration& r) {
    std::vector<const NCmdNc2Func*> result;
    for (const auto& command : r.output.commands)
        if (const auto* f = dynamic_cast<const NCmdNc2Func*>(command.get())) result.push_back(f);
    return result;
}

int32_t int32At(const NCmdNc2Func& f, size_t offset) {
    uint32_t bits = 0;
    for (size_t i = 0; i < 4; ++i) bits |= uint32_t{f.data()[offset + i]} << (8 * i);
    return static_cast<int32_t>(bits);
}

double doubleAt(const NCmdNc2Func& f, size_t offset) {
    uint64_t bits = 0;
    for (size_t i = 0; i < 8; ++i) bits |= uint64_t{f.data()[offset + i]} << (8 * i);
    return std::bit_cast<double>(bits);
}

// Delivers what the current block holds.
void closeBlock(Registration& r) { r.processor.nextBlock(); }

TEST(KernelFunctionNatives, DynamicOverrideIsLimitedToZeroToOne) {
    Registration r;
    for (double v : {2.0, -1.0, 0.25}) r.call("dynoverrideset", doubles({v}));
    const auto f = kernelFunctions(r);
    ASSERT_EQ(f.size(), 3u);
    const double expected[] = {1.0, 0.0, 0.25};
    for (size_t i = 0; i < f.size(); ++i) {
        EXPECT_EQ(f[i]->size(), 96);
        EXPECT_EQ(int32At(*f[i], 0), 6);
        EXPECT_EQ(int32At(*f[i], 4), 0);
        EXPECT_EQ(doubleAt(*f[i], 8), expected[i]);
        EXPECT_EQ(doubleAt(*f[i], 16), 0.0); // bytes of no field stay zero
    }
    // Each call closes a block of its own.
    EXPECT_NE(f[0]->key(), f[1]->key());
}

TEST(KernelFunctionNatives, SmoothingEndsItsBlockAndTheNextMotionFollows) {
    Registration r;
    r.block({{"g", 1}, {"x", 1}, {"f", 60}});
    r.call("smoothingset", [](Stackmachine& m) {
        m.pushU32(2); // smoothingparabola
        m.pushU32(2); // smoothingdistance
        m.pushF64(1.5);
    });
    r.block({{"g", 1}, {"x", 2}});
    closeBlock(r);
    const auto f = kernelFunctions(r);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(int32At(*f[0], 0), 27);
    EXPECT_EQ(int32At(*f[0], 4), 0);
    EXPECT_EQ(int32At(*f[0], 8), 2);
    EXPECT_EQ(int32At(*f[0], 12), 2);
    EXPECT_EQ(doubleAt(*f[0], 16), 1.5);
    // The kernel function is the last command of its block; the next line belongs to the next one.
    const std::vector<std::string> texts = r.output.texts();
    size_t at = 0;
    while (at < r.output.commands.size() && r.output.commands[at].get() != f[0]) ++at;
    ASSERT_LT(at + 1, r.output.commands.size());
    EXPECT_LT(r.output.commands[at - 1]->key(), f[0]->key()) << texts[at - 1];
    EXPECT_LT(f[0]->key(), r.output.commands[at + 1]->key()) << texts[at + 1];
}

TEST(KernelFunctionNatives, FeedInterpolationSendsItsValueAndRecordsWithRules) {
    Registration r;
    r.processor.ipolRules = 1;
    r.call("feedinterpolationset", [](Stackmachine& m) { m.pushU32(1); });
    r.call("feedinterpolationset", [](Stackmachine& m) { m.pushU32(0); });
    const auto f = kernelFunctions(r);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(int32At(*f[0], 0), 29);
    EXPECT_EQ(int32At(*f[0], 8), 1);
    EXPECT_EQ(int32At(*f[1], 8), 0);
    EXPECT_EQ(r.processor.records.modalState[ModalWord::feedInterpolation], 8212);
}

TEST(KernelFunctionNatives, DynamicsAreCheckedAndAFailingCallQueuesNothing) {
    struct Case {
        const char* native;
        std::vector<double> values;
        const char* message; // empty: accepted
    };
    const Case cases[] = {
        {"pathdynamicsset", {0, 0, 0}, ""},
        {"pathdynamicsset", {1, 1, 10}, ""},
        {"pathdynamicsset", {0.5, 2, 20},
         "Invalid value of acceleration limit 0.50 in pathdynamicsset. Should be higher or equal 1.00"},
        {"pathdynamicsset", {1, 0.5, 0},
         "Invalid value of deceleration limit 0.50 in pathdynamicsset. Should be higher or equal 1.00"},
        {"pathdynamicsset", {1, 1, 9},
         "Invalid value of jerk limit 9.00 in pathdynamicsset. Should be higher or equal 10.00"},
        {"pathdynamicsset", {std::nan(""), 1, 10},
         "Invalid value of acceleration limit  nan in pathdynamicsset. Should be higher or equal 1.00"},
    };
    for (const Case& c : cases) {
        Registration r;
        r.block({{"g", 1}, {"x", 1}, {"f", 60}});
        const BlockKey before = r.processor.key();
        EXPECT_EQ(failureOf(r, c.native, doubles(c.values)), c.message) << c.values[0];
        if (std::string(c.message).empty()) {
            ASSERT_EQ(kernelFunctions(r).size(), 1u);
            EXPECT_EQ(int32At(*kernelFunctions(r)[0], 0), 14);
            EXPECT_EQ(doubleAt(*kernelFunctions(r)[0], 24), c.values[2]);
        } else {
            EXPECT_EQ(r.processor.key(), before);
            closeBlock(r);
            EXPECT_TRUE(kernelFunctions(r).empty());
        }
    }

    Registration r;
    auto axis = [](uint32_t n) {
        return [n](Stackmachine& m) {
            m.pushU32(n);
            m.pushF64(1);
            m.pushF64(2);
            m.pushF64(10);
        };
    };
    EXPECT_EQ(failureOf(r, "axisdynamicsset", axis(9)),
              "Invalid axis number 9 set in axisdynamicsSet. Should be in range 0 to 7.");
    EXPECT_TRUE(kernelFunctions(r).empty());
    r.call("axisdynamicsset", axis(7));
    const auto f = kernelFunctions(r);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(int32At(*f[0], 0), 22);
    EXPECT_EQ(int32At(*f[0], 8), 7);
    EXPECT_EQ(doubleAt(*f[0], 16), 1.0);
    EXPECT_EQ(doubleAt(*f[0], 24), 2.0);
    EXPECT_EQ(doubleAt(*f[0], 32), 10.0);
}

TEST(CompensationNatives, TrcsetConvertsTheVectorAndReadsTheLimitOnlyWhenOn) {
    Registration r;
    r.processor.units.length = static_cast<int32_t>(UnitLength::inch);
    const TrcParameters stored = r.processor.trc;
    auto trcset = [](std::vector<double> v, int16_t limit) {
        return [v, limit](Stackmachine& m) {
            for (double x : v) m.pushF64(x);
            m.pushS16(limit);
        };
    };
    r.call("trcset", trcset({0, 0, 0.5, 0, 0, 0, 0, 0}, -3));
    const RadiusCompensationState& state = r.processor.canvas().radiusCompensation();
    EXPECT_TRUE(state.active);
    EXPECT_DOUBLE_EQ(state.offsetVector.length(), 12.7);
    EXPECT_EQ(state.limit, UINT64_MAX);
    // A restart computes what was collected: give it a path.
    const auto corner = [&r](double to) {
        r.block({{"g", 1}, {"x", to}, {"f", 60}});
        r.block({{"g", 1}, {"y", to}});
    };
    corner(100);
    r.call("trcset", trcset({0, 0, 0.5, 0.1, 0, 0, 0, 0}, 0));
    EXPECT_EQ(r.processor.canvas().radiusCompensation().limit, 0u);
    EXPECT_DOUBLE_EQ(r.processor.canvas().radiusCompensation().offset, 2.54);
    // The zero vector switches off whatever the other arguments.
    corner(0);
    r.call("trcset", trcset({0, 0, 0, 5, 5, 5, 5, 5}, 7));
    EXPECT_FALSE(r.processor.canvas().radiusCompensation().active);
    EXPECT_EQ(r.processor.trc.limit, stored.limit);
    EXPECT_EQ(r.processor.trc.offset, stored.offset);
}

struct TrcValues {
    std::vector<double> reals; // approachradius, approachangle, departradius, departangle, offset
    uint64_t limit = 0;
};

TrcValues trcparamOf(Registration& r) {
    const FunctionNativeNc& native = r.byName("trcparam");
    const int64_t result = r.call("trcparam") + native.slotOffset(0);
    const std::vector<int64_t>& member = native.structMemberOffsets();
    TrcValues values;
    for (size_t i = 0; i < 5; ++i) values.reals.push_back(r.machine.loadF64(result + member.at(i)));
    values.limit = r.machine.loadU64(result + member.at(5));
    return values;
}

TEST(CompensationNatives, StoredParametersAreConvertedAndAResetClearsThem) {
    Registration r;
    r.processor.units.angle = static_cast<int32_t>(UnitAngle::degree);
    r.call("trcapproachdepartset", doubles({1, 45, 1, 45}));
    TrcValues values = trcparamOf(r);
    EXPECT_EQ(values.reals, (std::vector<double>{1.0, 0.7853981633974483, 1.0, 0.7853981633974483, 0.0}));

    // trcparamset stores unconverted: 45 is 45 rad.
    const FunctionNativeNc& set = r.byName("trcparamset");
    r.call("trcparamset", [&set](Stackmachine& m) {
        const int64_t param = m.getSp();
        m.addSp(set.structMemberOffsets().back() + 1);
        const double reals[] = {2.0, 45.0, 3.0, 4.0, 5.0};
        for (size_t i = 0; i < 5; ++i) m.storeF64(param + set.structMemberOffsets()[i], reals[i]);
        m.storeU64(param + set.structMemberOffsets()[5], 9);
    });
    values = trcparamOf(r);
    EXPECT_EQ(values.reals, (std::vector<double>{2.0, 45.0, 3.0, 4.0, 5.0}));
    EXPECT_EQ(values.limit, 9u);

    r.processor.units.length = static_cast<int32_t>(UnitLength::inch);
    r.call("trcoffsetset", doubles({0.1}));
    EXPECT_DOUBLE_EQ(r.processor.trc.offset, 2.54);
    r.call("trclimitset", [](Stackmachine& m) { m.pushU64(12); });
    EXPECT_EQ(r.processor.trc.limit, 12);

    r.machine.reset(); // as a program restart does
    values = trcparamOf(r);
    EXPECT_EQ(values.reals, (std::vector<double>(5, 0.0)));
    EXPECT_EQ(values.limit, UINT64_MAX);
}

auto normal(double x, double y, double z, uint64_t limit) {
    return [=](Stackmachine& m) {
        m.pushF64(x);
        m.pushF64(y);
        m.pushF64(z);
        m.pushU64(limit);
    };
}

TEST(CollisionEliminationNatives, OneLevelFlushAndRecords) {
    Registration r;
    r.processor.ipolRules = 1;
    Canvas6d& canvas = r.processor.canvas();
    // A flush without collision elimination changes nothing.
    r.call("collisioneliminationflush");
    EXPECT_EQ(canvas.collectionDepth(), 0);

    r.call("collisionelimination", normal(0, 0, 2, 10));
    EXPECT_EQ(r.processor.records.modalState[ModalWord::collisionElimination], 8204);
    r.call("collisionelimination", normal(0, 0, 1, 10));
    EXPECT_EQ(canvas.collectionDepth(), 1);
    EXPECT_EQ(canvas.collisionElimination().planeNormal, (Point3{0.0, 0.0, 1.0})); // normalised
    EXPECT_EQ(canvas.collisionElimination().limit, 10u);

    r.block({{"g", 1}, {"x", 5}, {"f", 60}});
    r.block({{"g", 1}, {"y", 5}});
    EXPECT_TRUE(r.output.commands.empty() || kernelFunctions(r).empty());
    const size_t deliveredBefore = r.output.commands.size();
    // With collision elimination alone, a flush delivers what was held and keeps collecting.
    r.call("collisioneliminationflush");
    closeBlock(r);
    EXPECT_EQ(canvas.collectionDepth(), 1);
    EXPECT_TRUE(canvas.heldElements().empty());
    EXPECT_EQ(r.output.commands.size(), deliveredBefore + 2);
    EXPECT_EQ(canvas.collisionElimination().limit, 10u);

    r.block({{"g", 1}, {"x", 0}});
    closeBlock(r);
    EXPECT_EQ(canvas.heldElements().size(), 1u);
    r.call("collisionelimination", normal(0, 0, 0, 0));
    closeBlock(r);
    EXPECT_EQ(canvas.collectionDepth(), 0);
    EXPECT_TRUE(canvas.heldElements().empty());
    EXPECT_EQ(r.output.commands.size(), deliveredBefore + 3);
    EXPECT_EQ(r.processor.records.modalState[ModalWord::collisionElimination], 8205);

    // trcset records nothing.
    r.processor.records.modalState[ModalWord::collisionElimination] = 0;
    const ModalState before = r.processor.records.modalState;
    r.call("trcset", [](Stackmachine& m) {
        for (double x : {0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0}) m.pushF64(x);
        m.pushS16(-1);
    });
    EXPECT_EQ(r.processor.records.modalState.words, before.words);
}

TEST(CollisionEliminationNatives, StillOnAtProgramEndDeliversNothingHeld) {
    const test::HarnessResult r =
        test::runNcProgram("! collisionelimination(0, 0, 1, 10);\nG1 X5 F60\nG1 Y5\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.ncText().find("Line"), std::string::npos) << r.ncText();
}

TEST(SmoothingNatives, TransbsplineSetsLimitsAndSwitchesTheChain) {
    Registration r;
    Canvas6d& canvas = r.processor.canvas();
    r.processor.units.angle = static_cast<int32_t>(UnitAngle::degree);
    r.call("transbspline", doubles({10, 50, 0.02, 10, 5, 0.02}));
    EXPECT_TRUE(canvas.pipelineEnabled());
    EXPECT_EQ(canvas.breakdetect().breakAngle(), 10 * std::numbers::pi / 180);
    EXPECT_EQ(canvas.breakdetect().breakLength(), 50.0);
    EXPECT_EQ(canvas.linemerge().mergeDiff(), 0.02);
    EXPECT_EQ(canvas.linemerge().breakAngle(), 10 * std::numbers::pi / 180);
    EXPECT_EQ(canvas.linemerge().breakLength(), 5.0);
    EXPECT_EQ(canvas.beziermerge().mergeDiff(), 0.02);

    // Held lines are delivered when the chain switches off; a second off call does nothing more.
    r.block({{"g", 1}, {"x", 1}, {"f", 60}});
    r.block({{"g", 1}, {"x", 2}});
    closeBlock(r);
    const size_t before = r.output.commands.size();
    r.call("transbspline", doubles({0, 0, 0, 0, 0, 0}));
    closeBlock(r);
    EXPECT_FALSE(canvas.pipelineEnabled());
    EXPECT_GT(r.output.commands.size(), before);
    EXPECT_EQ(canvas.breakdetect().breakLength(), 0.0); // stored also when switching off
    const size_t after = r.output.commands.size();
    r.call("transbspline", doubles({0, 0, 0, 0, 0, 0}));
    closeBlock(r);
    EXPECT_EQ(r.output.commands.size(), after);

    // The unconverted angle decides: in radians 0.002 is on, 0.0005 off in any unit.
    r.processor.units.angle = static_cast<int32_t>(UnitAngle::radian);
    r.call("transbspline", doubles({0.002, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(canvas.pipelineEnabled());
    r.processor.units.angle = static_cast<int32_t>(UnitAngle::turn);
    r.call("transbspline", doubles({0.0005, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(canvas.pipelineEnabled());
    r.processor.units.length = static_cast<int32_t>(UnitLength::inch);
    r.call("transbspline", doubles({1, 1, 0, 0, 0, 0}));
    EXPECT_DOUBLE_EQ(canvas.breakdetect().breakLength(), 25.4);
}

TEST(SettingNatives, AutoAccurateStopIsInDegreesAndFollowsEveryMove) {
    Registration r;
    EXPECT_EQ(failureOf(r, "autoaccuratestopset", doubles({-1})),
              "Invalid angle =-1.000000 set in autoAccurateStopSet. Should be in range 0 to 360 degrees.");
    EXPECT_FALSE(failureOf(r, "autoaccuratestopset", doubles({std::nan("")})).empty());
    EXPECT_FALSE(failureOf(r, "autoaccuratestopset", doubles({360.5})).empty());
    EXPECT_FALSE(r.processor.accurateStop.autoEnabled);
    EXPECT_EQ(failureOf(r, "autoaccuratestopset", doubles({360})), "");

    test::HarnessOptions options;
    options.logLevels.push_back(LogLevel::debugGProcessor);
    const test::HarnessResult run = test::runNcProgram(
        "! unitangleset(unitangleradian); autoaccuratestopset(90);\nG1 X1 F60\nM8\nG1 X2\n", options);
    ASSERT_TRUE(run.ok()) << run.errorText();
    EXPECT_EQ(run.ncProcessor()->accurateStop.autoAngle, 90.0);
    bool logged = false;
    for (const std::string& line : run.logLines)
        logged = logged || line.find("AUTOACCURATESTOP ENABLE angle=90.000000") != std::string::npos;
    EXPECT_TRUE(logged);
    size_t stops = 0;
    for (const std::string& line : run.ncLines)
        if (line.find("AutoAccurateStop") != std::string::npos) ++stops;
    EXPECT_EQ(stops, 2u) << run.ncText();
}

TEST(SettingNatives, CircleCentreReferenceAndCorrectionLimit) {
    const test::HarnessResult relative = test::runNcProgram("G1 X4 F60\nG3 X10 I3\n");
    ASSERT_TRUE(relative.ok()) << relative.errorText();

    test::HarnessOptions options;
    options.logLevels.push_back(LogLevel::debugGProcessor);
    const test::HarnessResult absolute = test::runNcProgram(
        "G1 X4 F60\n! circlecenterreferenceset(referenceabsolute);\nG3 X10 I3\n", options);
    ASSERT_FALSE(absolute.ok());
    EXPECT_NE(absolute.errorText().find("Difference between start-radius (1.0000) and end-radius (7.0000) "
                                        "exceeds limit (0.1000)."),
              std::string::npos)
        << absolute.errorText();
    bool logged = false;
    for (const std::string& line : absolute.logLines)
        logged = logged || line.find("CIRCLECENTERREFERENCE=absolute") != std::string::npos;
    EXPECT_TRUE(logged);

    // Radii 5 and 5.02: corrected by default, refused under a limit of 0.01 mm, also in inch.
    const std::string circle = "G1 X2 F60\nG2 X12.02 I5\n";
    EXPECT_TRUE(test::runNcProgram(circle).ok());
    const test::HarnessResult limited =
        test::runNcProgram("! centerpointcorrectionlimitset(0.01);\n" + circle);
    EXPECT_NE(limited.errorText().find("exceeds limit (0.0100)."), std::string::npos) << limited.errorText();
    const test::HarnessResult inch = test::runNcProgram(
        "! centerpointcorrectionlimitset(0.01); unitlengthset(unitlengthinch);\nG1 X2 F60\nG2 X2.0004 I0.1\n");
    EXPECT_NE(inch.errorText().find("exceeds limit (0.0100)."), std::string::npos) << inch.errorText();
}

TEST(SettingNatives, FeedModeAndCorrectionRecordOnlyWithRules) {
    Registration r;
    EXPECT_EQ(r.processor.canvas().feedMode(), FeedMode::toolCenterPoint);
    r.call("feedmodeset", [](Stackmachine& m) { m.pushU32(0); });
    EXPECT_EQ(r.processor.canvas().feedMode(), FeedMode::contour);
    EXPECT_EQ(r.processor.records.modalStates().lines(), 0u);
    r.call("centerpointcorrectionset", [](Stackmachine& m) { m.pushU1(false); });
    EXPECT_FALSE(r.processor.circles.centerPointCorrection);

    r.processor.ipolRules = 1;
    r.call("feedmodeset", [](Stackmachine& m) { m.pushU32(1); });
    EXPECT_EQ(r.processor.records.modalState[ModalWord::feedMode], 8198);
    r.call("feedmodeset", [](Stackmachine& m) { m.pushU32(0); });
    EXPECT_EQ(r.processor.records.modalState[ModalWord::feedMode], 8197);
    r.call("centerpointcorrectionset", [](Stackmachine& m) { m.pushU1(true); });
    EXPECT_EQ(r.processor.records.modalState[ModalWord::centerPointCorrection], 8200);
}

} // namespace
} // namespace Karsto
