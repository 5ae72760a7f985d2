// The frame transformations, the frame queries and the spatial moves, through programs.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "core/exception.h"
#include "gcode/builtins/registration_support.h"
#include "geometry/canvas6d.h"
#include "geometry/trans_list.h"

namespace Karsto {
namespace {

using test::HarnessResult;
using test::Registration;
using test::runNcProgram;

constexpr double kTight = 1e-9;

// The machine position after a program that must run to its end.
Pose endOf(const HarnessResult& r) {
    EXPECT_TRUE(r.ok()) << r.errorText();
    return r.ok() ? r.ncProcessor()->canvas().current() : Pose();
}

void expectNear(const Point3& actual, const Point3& expected) {
    EXPECT_NEAR(actual.x, expected.x, kTight);
    EXPECT_NEAR(actual.y, expected.y, kTight);
    EXPECT_NEAR(actual.z, expected.z, kTight);
}

// The run error's message (without its place); empty when the program ran to its end.
std::string failureOf(const HarnessResult& r) { return r.runError ? r.runError->message : std::string(); }

TEST(FrameTransformNatives, TheElementPushedLastActsFirstInTheUnitsOfTheCall) {
    struct Case {
        const char* program;
        Point3 end;
    };
    const double turned = 2.0 * std::cos(90.0); // 90 rad
    const Case cases[] = {
        {"!transtranslate(0, 5, 0);\n!transrotz(90);\nG1 X2 Y0 F600\n", {0.0, 7.0, 0.0}},
        {"!transrotz(90);\n!transtranslate(0, 5, 0);\nG1 X2 Y0 F600\n", {-5.0, 2.0, 0.0}},
        {"!unitlengthset(unitlengthinch);\n!transtranslate(1, 0, 0);\nG1 X0 Y0 F600\n", {25.4, 0.0, 0.0}},
        {"!unitangleset(unitangleradian);\n!transrotz(90);\nG1 X2 Y0 F600\n", {turned, 2.0 * std::sin(90.0), 0.0}},
        // The axis of transrota is a direction: its length does not count.
        {"!transrota(0, 0, 5, 90);\nG1 X2 Y0 F600\n", {0.0, 2.0, 0.0}},
        {"!transrotx(90);\nG1 Y2 F600\n", {0.0, 0.0, 2.0}},
        {"!transroty(90);\nG1 Z2 F600\n", {2.0, 0.0, 0.0}},
        {"!transmirrorx();\n!transmirrorz();\nG1 X1 Y2 Z3 F600\n", {-1.0, 2.0, -3.0}},
        {"!transmirrory();\n!transmirrory();\nG1 X1 Y2 Z3 F600\n", {1.0, 2.0, 3.0}},
        // transrestore(transdepth()) keeps everything, transrestore(0) empties the stack.
        {"!transtranslate(1, 0, 0);\n!transrestore(transdepth());\nG1 X0 F600\n", {1.0, 0.0, 0.0}},
        {"!transtranslate(1, 0, 0);\n!transscale(2);\n!transrestore(0);\nG1 X1 F600\n", {1.0, 0.0, 0.0}},
        {"!transtranslate(1, 0, 0);\n!transscale(2);\n!transpop();\nG1 X1 F600\n", {2.0, 0.0, 0.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        expectNear(endOf(runNcProgram(c.program)).position(), c.end);
    }
}

TEST(FrameTransformNatives, AxisFactorsAreTheLastGivenWhileTheStackMultiplies) {
    const HarnessResult r = runNcProgram("!transscaleaxis(1, 2);\n!transscale(4);\nG1 X1 Y1 Z1 F600\n"
                                         "{VAR depth : UINT; END_VAR}\n!depth := transdepth();\n"
                                         "!transmirrorx();\n!transpop();\n!transpop();\n");
    expectNear(endOf(r).position(), {4.0, 8.0, 4.0});
    EXPECT_EQ(r.integer("depth"), 2);
    const GProcessorNc2& nc = *r.ncProcessor();
    // Neither mirroring nor popping touches the factors.
    EXPECT_EQ(nc.path.axisScale, (std::array<double, 3>{4.0, 4.0, 4.0}));
    EXPECT_EQ(r.ncProcessor()->userTransforms().size(), 1U);
}

TEST(FrameTransformNatives, AFailingCallChangesNothing) {
    struct Case {
        const char* calls;
        const char* message;
        size_t depth; // of the stack after the failure
        bool rotated;
    };
    const Case cases[] = {
        {"!transrestore(0);\n!transrotx(10);\n!transrestore(3);\n",
         "The transformation-stack of depth 1 can not be reduced to depth 3 in function 'transrestore'.", 1, true},
        {"!transrestore(0);\n!transrotx(10);\n!transpop();\n!transpop();\n",
         "Invalid pop on empty transformation-stack in 'transpop'", 0, true},
        {"!transrota(0, 0, 0, 30);\n", "Invalid rotation-axis [0.00,0.00,0.00] in function 'transrota'.", 2, false},
        {"!transscale(0);\n", "Factor for scaling must be non-zero", 2, false},
        {"!transscaleaxis(5, 0);\n", "Factor for scaling must be non-zero", 2, false},
        {"!transscaleaxis(5, 2);\n", "Invalid axis number 5 set in transscaleaxis. Should be in range 0 to 2.", 2,
         false},
        {"!movecircle3d(0, 0, 0, 0, 0, 1, 90, 0);\n",
         "Scaling with different factors is not permitted in combination with circles", 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.calls);
        // A state to keep: two elements and unequal factors.
        const HarnessResult r =
            runNcProgram(std::string("!transtranslate(1, 0, 0);\n!transscaleaxis(0, 3);\n") + c.calls);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(failureOf(r), c.message);
        const GProcessorNc2& nc = *r.ncProcessor();
        EXPECT_EQ(nc.path.axisScale, (std::array<double, 3>{3.0, 1.0, 1.0}));
        EXPECT_EQ(nc.path.rotation3dUsed, c.rotated);
        EXPECT_EQ(r.ncProcessor()->userTransforms().size(), c.depth);
    }
}

TEST(FrameTransformNatives, ARotationForbidsUnequalCirclesEvenAfterItsPop) {
    const std::string circle = "!transscaleaxis(2, 3);\nG17 G2 X10 Y0 I5 J0 F600\n";
    EXPECT_TRUE(runNcProgram(circle).ok()) << runNcProgram(circle).errorText();
    const HarnessResult r = runNcProgram("!transroty(15);\n!transpop();\n" + circle);
    EXPECT_EQ(failureOf(r), "Scaling with different factors is not permitted in combination with 3d rotation");
}

TEST(FrameQueryNatives, FramegetReadsThePoseInTheProgramsFrameAndUnits) {
    const HarnessResult r = runNcProgram(
        "{VAR x0, y0, z0, a0, b0, c0, x1, x2, x3, a3, q2, q5 : LREAL; END_VAR}\n"
        "!frameget(x => x0, y => y0, z => z0, a => a0, b => b0, c => c0);\n"
        "G1 X10 A90 Q2=7.5 Q5=-1 F600\n"
        "!unitlengthset(unitlengthinch);\n"
        "!frameget(x => x1);\n"
        "!unitlengthset(unitlengthmillimeter);\n"
        "!transtranslate(5, 0, 0);\n"
        "!frameget(x => x2);\n"
        "!unitangleset(unitangleradian);\n"
        "!frameget(x => x3, a => a3);\n"
        "!unitlengthset(unitlengthinch);\n"
        "!qaxisget(q2 => q2, q5 => q5);\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    for (const char* name : {"x0", "y0", "z0", "a0", "b0", "c0"}) EXPECT_EQ(r.real(name), 0.0) << name;
    EXPECT_DOUBLE_EQ(r.real("x1"), 10.0 / 25.4);
    EXPECT_EQ(r.real("x2"), 5.0);
    EXPECT_EQ(r.real("x3"), 5.0);
    EXPECT_NEAR(r.real("a3"), std::numbers::pi / 2.0, kTight);
    EXPECT_EQ(r.real("q2"), 7.5);
    EXPECT_EQ(r.real("q5"), -1.0);
    // The translation did not move the machine.
    EXPECT_NEAR(r.ncProcessor()->canvas().current().x, 10.0, kTight);
}

TEST(FrameQueryNatives, ASingularStackCannotBeReadBack) {
    const HarnessResult r = runNcProgram(
        "{VAR fx : LREAL; END_VAR}\n!transscale(1.0E-120);\n!frameget(x => fx);\n");
    EXPECT_EQ(failureOf(r), "Matrix can not be inverted") << r.errorText();
}

TEST(SpatialMoveNatives, CirclesNeedEqualFactorsCurvesFollowAnyStack) {
    EXPECT_EQ(failureOf(runNcProgram("!transscaleaxis(1, 2);\n!movecircle3d(0, 0, 0, 0, 0, 1, 90, 0);\n")),
              "Scaling with different factors is not permitted in combination with circles");
    const HarnessResult curve =
        runNcProgram("!transscaleaxis(1, 2);\n!movebezier3(3, 3, 0, 1, 1, 0, 2, 2, 0);\n");
    expectNear(endOf(curve).position(), {3.0, 6.0, 0.0});
    EXPECT_NE(curve.ncText().find("Bezier3"), std::string::npos) << curve.ncText();
    EXPECT_NE(curve.ncText().find("cp1=[1.00,2.00,0.00] cp2=[2.00,4.00,0.00]"), std::string::npos)
        << curve.ncText();

    const HarnessResult quintic = runNcProgram(
        "!unitlengthset(unitlengthinch);\n!movebezier5(1, 0, 0, 0.2, 0, 0, 0.4, 0, 0, 0.6, 0, 0, 0.8, 0, 0);\n");
    expectNear(endOf(quintic).position(), {25.4, 0.0, 0.0});
    EXPECT_NE(quintic.ncText().find("Bezier5"), std::string::npos) << quintic.ncText();

    EXPECT_EQ(failureOf(runNcProgram("!movecircle3d(0, 0, 0, 0, 0, 0, 90, 0);\n")),
              "Invalid normal vector [0.00,0.00,0.00] in function 'movecircle3d'.");
}

TEST(SpatialMoveNatives, HelixEndsAlongTheNormalAndMirroringTurnsItBack) {
    expectNear(endOf(runNcProgram("G1 X10 F600\n!movecircle3d(0, 0, 0, 0, 0, 1, 360, 5);\n")).position(),
               {10.0, 0.0, 5.0});
    // A quarter turn about z: positive goes to +y, under mirroring in x to -y.
    expectNear(endOf(runNcProgram("G1 X10 F600\n!movecircle3d(0, 0, 0, 0, 0, 1, 90, 0);\n")).position(),
               {0.0, 10.0, 0.0});
    const HarnessResult mirrored =
        runNcProgram("G1 X10 F600\n!transmirrorx();\n!movecircle3d(0, 0, 0, 0, 0, 1, 90, 0);\n");
    expectNear(endOf(mirrored).position(), {0.0, -10.0, 0.0});
    EXPECT_NE(mirrored.ncText().find("angle=-1.5708"), std::string::npos) << mirrored.ncText();
    // Scaled uniformly: the radius doubles, the height does not.
    expectNear(endOf(runNcProgram("G1 X10 F600\n!transscale(2);\n!movecircle3d(0, 0, 0, 0, 0, 1, 180, 5);\n"))
                   .position(),
               {-10.0, 0.0, 5.0});
}

TEST(SpatialMoveNatives, EachCallIsABlockOfItsOwn) {
    const HarnessResult r = runNcProgram(
        "G1 X10 F600\n!movecircle3d(0, 0, 0, 0, 0, 1, 90, 0); movecircle3d(0, 0, 0, 0, 0, 1, 90, 0);\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    std::string helixKeys;
    for (const std::string& line : r.ncLines) {
        if (line.find("Helix") == std::string::npos) continue;
        helixKeys += line.substr(line.find("key="), line.find(' ', line.find("key=")) - line.find("key=")) + " ";
    }
    EXPECT_EQ(helixKeys, "key=2/0 key=3/0 ") << r.ncText();
}

// A factor that is not a number passes the zero check but makes the factors unequal.
TEST(SpatialMoveNatives, ANotANumberFactorForbidsCircles) {
    Registration r;
    r.call("transscale", [](Stackmachine& m) { m.pushF64(std::nan("")); });
    EXPECT_EQ(r.processor.userTransforms().size(), 1U);
    try {
        r.call("movecircle3d", [](Stackmachine& m) {
            for (double v : {0.0, 0.0, 0.0, 0.0, 0.0, 1.0, 90.0, 0.0}) m.pushF64(v);
        });
        ADD_FAILURE() << "movecircle3d ran";
    } catch (const ExceptionRuntime& error) {
        EXPECT_EQ(error.message(), "Scaling with different factors is not permitted in combination with circles");
    }
    EXPECT_EQ(r.processor.key().counter, 0);
}

// The per-line records, on a channel whose kernel asked for them.
TEST(FrameNativeRecords, RotationsAndCirclesRecordForTheirLine) {
    Registration r;
    r.processor.ipolRules = 1;
    auto angle = [](double value) { return [=](Stackmachine& m) { m.pushF64(value); }; };
    r.call("transrotz", angle(25));
    r.call("transrotx", angle(40));
    const ModalRecords& records = r.processor.records;
    EXPECT_EQ(records.rotationRecords().appended(), 2U);
    const RotationRecord* first = records.rotationRecords().find(-1);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->values, (std::array<double, 3>{0.0, 0.0, 25.0}));
    EXPECT_EQ(records.rotationRecord.values, (std::array<double, 3>{40.0, 0.0, 25.0}));
    EXPECT_EQ(records.modalState[ModalWord::rotation], 8206);
    // The word did not change with the second call: one modal state only.
    EXPECT_EQ(records.modalStates().appended(), 1U);

    auto circle = [](Stackmachine& m) {
        for (double v : {0.0, 0.0, 0.0, 0.0, 0.0, 1.0, 90.0, 0.0}) m.pushF64(v);
    };
    r.processor.path.rotation3dUsed = false;
    r.call("movecircle3d", circle);
    r.call("movecircle3d", circle);
    EXPECT_EQ(records.modalState.words[2], 4100);
    EXPECT_EQ(records.modalStates().appended(), 3U);
    // Curves record nothing.
    r.call("movebezier3", [](Stackmachine& m) {
        for (int i = 0; i < 9; ++i) m.pushF64(1.0);
    });
    EXPECT_EQ(records.modalStates().appended(), 3U);

    Registration quiet; // ipolRules 0: nothing recorded
    quiet.call("transrotz", angle(25));
    EXPECT_EQ(quiet.processor.records.rotationRecords().appended(), 0U);
}

} // namespace
} // namespace Karsto
