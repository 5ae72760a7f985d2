// The block executor driven directly with word lists: what a compiled program cannot
// express (skip levels against a disable mask, values no literal gives, a block without
// words, states set up by the kernel link) and the exact command streams of its steps.

#include <gtest/gtest.h>

#include <bit>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "core/allocation_count.h"
#include "core/cmd_flow.h"
#include "core/exception.h"
#include "core/machine_test_support.h"
#include "core/stackmachine_interpreter.h"
#include "gcode/block_executor.h"
#include "gcode/ninterface_null.h"
#include "gcode/processor_test_support.h"
#include "gcode/wait_counter.h"
#include "geometry/canvas6d.h"
#include "geometry/ncmd.h"
#include "geometry/ncmd_queue.h"

namespace Karsto {
namespace {

using test::LogCapture;

// "G1 X5 Q1=5" as the parser hands it on: lower-case names, values in source order. A
// name is the leading letters of a word, or everything before its "=".
std::vector<GCodeWord> wordsOf(const std::string& block) {
    std::vector<GCodeWord> words;
    size_t at = 0;
    while (at < block.size()) {
        const size_t end = std::min(block.find(' ', at), block.size());
        const std::string word = block.substr(at, end - at);
        at = end + 1;
        if (word.empty()) continue;
        const size_t equals = word.find('=');
        size_t split = equals;
        if (split == std::string::npos) {
            split = 0;
            while (split < word.size() && std::isalpha(static_cast<unsigned char>(word[split]))) ++split;
        }
        GCodeWord w;
        for (size_t i = 0; i < split; ++i)
            w.name += static_cast<char>(std::tolower(static_cast<unsigned char>(word[i])));
        w.value = std::strtod(word.c_str() + split + (equals == std::string::npos ? 0 : 1), nullptr);
        words.push_back(w);
    }
    return words;
}

SourceSpan lineSpan(int32_t line) {
    SourceSpan span;
    span.valid = true;
    span.begin.line = line;
    span.end.line = line;
    span.begin.column = 1;
    span.end.column = 10;
    return span;
}

// A started channel whose output keeps the commands delivered after the program start.
struct Channel : test::ProcessorChannel {
    Channel() {
        processor.startProgram();
        out.lines.clear();
        out.commands.clear();
    }
    void run(const std::string& block, int32_t skipLevel = -1, const SourceSpan& span = {}) {
        processor.executeBlock(skipLevel, wordsOf(block), span);
    }
    // The error text of a block that must fail.
    std::string error(const std::string& block) {
        try {
            run(block);
        } catch (const ExceptionRuntime& e) {
            return e.message();
        }
        return "no error";
    }
    // The feed of the last delivered path element.
    FeedParams lastFeed() const {
        for (auto it = out.commands.rbegin(); it != out.commands.rend(); ++it)
            if (const auto* geo = dynamic_cast<const NCmdGeo*>(it->get())) return geo->geo().feed();
        return {};
    }
    // The text forms delivered since the last call.
    std::vector<std::string> take() {
        std::vector<std::string> texts = out.texts();
        out.lines.clear();
        out.commands.clear();
        return texts;
    }
};

// A started channel bound to a machine, for the wait counters; the program start's
// command is dropped.
struct MachineChannel : test::ProcessorChannel {
    MachineChannel() {
        processor.machine = &machine;
        machine.reset();
        processor.startProgram();
        out.commands.clear();
    }
    StackmachineInterpreter machine{&processor};
};

const char* const kStart = "Line time=1 from=[0.00,0.00,0.00,0.00,0.00,0.00] to=[5.00,0.00,0.00,0.00,0.00,0.00]";

TEST(BlockExecutor, OneBlockDeliversItsFunctionsThenItsMoveUnderOneKey) {
    test::FinishRecordingOutput out;
    GProcessorNc2 p(&out);
    p.startProgram();
    p.executeBlock(-1, wordsOf("N20 G1 X5 F300 T4 S800 M8"), lineSpan(1));
    EXPECT_EQ(out.text(),
              "snr=0 key=0/0 n=0 Queryaxes\n"
              "snr=1 key=1/0 n=20 HST s=800\n"
              "snr=2 key=1/0 n=20 HST t=4\n"
              "snr=3 key=1/0 n=20 MFunc 8\n"
              "snr=4 key=1/0 n=20 " + std::string(kStart) + "\n");
    EXPECT_EQ(p.key(), (BlockKey{2, 0.0}));
    EXPECT_EQ(p.origin.blockNumber, 20.0);
    EXPECT_EQ(p.velocity, 5.0); // 300 mm/min
}

TEST(BlockExecutor, BlockNumberStaysUntilTheNextNWord) {
    Channel c;
    c.run("N7 M8");
    c.run("M9");
    EXPECT_EQ(c.out.lines.back(), "snr=2 key=2/0 n=7 MFunc 9");
    c.run("N8.5 M10");
    EXPECT_EQ(c.out.lines.back(), "snr=3 key=3/0 n=8.5 MFunc 10");
}

TEST(BlockExecutor, SkipLevelsAgainstTheDisableMask) {
    struct Case {
        int32_t skipLevel;
        uint64_t mask;
        bool executes;
    };
    const Case cases[] = {
        {-1, ~uint64_t{0}, true}, // no skip mark
        {0, 1, false},            // "/" is level 0
        {2, 1u << 2, false},
        {2, 1u << 3, true},
        {63, uint64_t{1} << 63, false},
        {64, ~uint64_t{0}, true}, // levels of 64 and above never match
        {70, ~uint64_t{0}, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.skipLevel);
        Channel c;
        c.processor.disableMask = k.mask;
        LogCapture log({LogLevel::debugGCode});
        c.run("G1 X5 F300", k.skipLevel);
        EXPECT_EQ(c.processor.key().counter, k.executes ? 2 : 1);
        EXPECT_EQ(c.out.lines.size(), k.executes ? 1u : 0u);
        EXPECT_EQ(c.processor.path.motionMode, k.executes ? 1 : 0);
        const std::vector<std::string> suppressed{"[debugGCode] Execution supressed by disablebit"};
        EXPECT_EQ(log.lines == suppressed, !k.executes);
    }
}

TEST(BlockExecutor, WordAndCodeErrors) {
    struct Case {
        const char* block;
        const char* message;
    };
    const Case cases[] = {
        {"W1", "Invalid address letter 'w'"},
        {"E1", "Invalid address letter 'e'"},
        {"Q6=1", "Invalid address letter 'q6'"},
        {"Q0=1", "Invalid address letter 'q0'"},
        {"XY=1", "Invalid address letter 'xy'"},
        {"G90 G91", "G91 and G90 are mutually exclusive"},
        {"G1 G0", "G1 and G0 are mutually exclusive"},
        {"G4 G59 X1 Y1 Z1", "G59 and G4 are mutually exclusive"},
        {"G71 G700", "G700 and G71 are mutually exclusive"},
        {"G54 G53", "G54 and G53 are mutually exclusive"},
        {"G40 G42", "G42 and G40 are mutually exclusive"},
        {"G19 G17", "G19 and G17 are mutually exclusive"},
        {"G1 G1", "G-Code G1 defined twice."},
        {"G1.2", "G-Code 1.200 is not an integer."},
        {"M5 M5", "M-Code M5 defined twice."},
        {"M3.5", "M-Code 3.500 is not an integer."},
        {"D1 D2", "Parameter d defined twice."},
        {"F1 F2", "Parameter f defined twice."},
        {"I1 I2", "Parameter i defined twice."},
        {"J1 J2", "Parameter j defined twice."},
        {"K1 K2", "Parameter k defined twice."},
        {"N1 N2", "Parameter n defined twice."},
        {"H1 H2", "H-Parameter defined twice"},
        {"S1 S2", "S-Parameter defined twice"},
        {"T1 T2", "T-Parameter defined twice"},
        {"D1.5", "Tool-Number D1.500 is not an integer."},
        {"G5", "Invalid G-Code 'G5'."},
        {"G74 G75", "Invalid G-Code 'G75'."},
        {"P2", "Invalid G-Code P2.000000. Must be either P-1 or P+1."},
        {"P0.5", "Invalid G-Code P0.500000. Must be either P-1 or P+1."},
        {"G42 X1", "Radius correction turned on, but no tool selected."},
        {"D1 G41", "Selected tool has invalid type 0. Should be 20."},
        {"G59 Y1 Z1", "Expected parameters 'x' 'y' and 'z'."},
        {"G4 F1 X1", "Either 'f' or 'x' must be defined."},
        {"G4", "Either 'f' or 'x' must be defined."},
    };
    for (const Case& k : cases) {
        Channel c;
        EXPECT_EQ(c.error(k.block), k.message) << k.block;
    }
}

TEST(BlockExecutor, CodesOutsideTheIntegersAreRefusedNotConverted) {
    struct Case {
        const char* name;
        double value;
        const char* message;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {"g", nan, "G-Code nan is not an integer."},
        {"g", 3e9, "G-Code 3000000000.000 is not an integer."},
        {"g", -2147483648.6, "G-Code -2147483648.600 is not an integer."},
        {"m", -inf, "M-Code -inf is not an integer."},
        {"m", 2147483647.7, "M-Code 2147483647.700 is not an integer."},
        {"d", inf, "Tool-Number Dinf is not an integer."},
    };
    for (const Case& k : cases) {
        Channel c;
        const std::vector<GCodeWord> words{{k.name, k.value}};
        try {
            c.processor.executeBlock(-1, words, {});
            ADD_FAILURE() << k.message;
        } catch (const ExceptionRuntime& e) {
            EXPECT_EQ(e.message(), k.message);
        }
    }
}

TEST(BlockExecutor, CodesWithinTheToleranceRoundHalvesAwayFromZero) {
    Channel c;
    c.run("G1.0004 X1 F60");
    EXPECT_EQ(c.processor.path.motionMode, 1);
    c.run("G2.9996 I1");
    EXPECT_EQ(c.processor.path.motionMode, 3);
    EXPECT_EQ(c.error("G1.5"), "G-Code 1.500 is not an integer.");
    c.run("M7.9995");
    EXPECT_EQ(c.take().back(), "MFunc 8");
    EXPECT_EQ(c.error("M-0.5"), "M-Code -0.500 is not an integer.");
}

TEST(BlockExecutor, EffectsBeforeAFailingStepRemain) {
    Channel c;
    // Step 5 takes the block number before the D word's tool check fails.
    EXPECT_EQ(c.error("N5 D300"), "Tool Number D300 does not lie in range D0..D255.");
    EXPECT_EQ(c.processor.origin.blockNumber, 5.0);
    // The first pass changes the plane before the second pass refuses G41.
    EXPECT_EQ(c.error("G18 G41"), "Radius correction turned on, but no tool selected.");
    EXPECT_EQ(c.processor.path.planeNormal, (Point3{0.0, 1.0, 0.0}));
}

TEST(BlockExecutor, AccurateStopOfOneBlockAndTheModalStop) {
    Channel c;
    c.run("G9 G1 X1 F60");
    EXPECT_EQ(c.take(), (std::vector<std::string>{
                            "Line time=1 from=[0.00,0.00,0.00,0.00,0.00,0.00] to=[1.00,0.00,0.00,0.00,0.00,0.00]",
                            "AccurateStop"}));
    c.run("G1 X2");
    EXPECT_EQ(c.take().size(), 1u);

    c.run("G60 G1 X1");
    EXPECT_EQ(c.take().back(), "AccurateStop");
    c.run("M8"); // the modal stop also follows a block without a move
    EXPECT_EQ(c.take(), (std::vector<std::string>{"MFunc 8", "AccurateStop"}));
    c.run("G0 X2"); // ends the modal stop, and its own block has none
    EXPECT_TRUE(c.lastFeed().isRapid());
    EXPECT_EQ(c.take(), (std::vector<std::string>{
                            "Line time=5 from=[1.00,0.00,0.00,0.00,0.00,0.00] to=[2.00,0.00,0.00,0.00,0.00,0.00]"}));
    EXPECT_FALSE(c.processor.accurateStop.modal);
    c.run("G1 X3");
    EXPECT_EQ(c.take().size(), 1u);
    c.run("G0 G9 X4"); // G9 still stops the block that ends the modal stop
    EXPECT_EQ(c.take().back(), "AccurateStop");
}

TEST(BlockExecutor, AutomaticAccurateStopNeedsAMoveAndTheSettingAtTheBlockStart) {
    Channel c;
    c.processor.enableAutoAccurateStop(0.5);
    c.run("M8");
    EXPECT_EQ(c.take(), (std::vector<std::string>{"MFunc 8"}));
    c.run("G1 X1 F60");
    const std::vector<std::string> moved = c.take();
    ASSERT_EQ(moved.size(), 2u);
    EXPECT_EQ(moved[1], "AutoAccurateStop");
}

TEST(BlockExecutor, DwellTakesItsTimeFromFOrXAndLeavesTheFeed) {
    Channel c;
    c.run("G1 F600");
    c.run("G4 X1.5");
    c.run("G4 F0.25");
    EXPECT_EQ(c.take(), (std::vector<std::string>{"Wait 1.5", "Wait 0.25"}));
    EXPECT_EQ(c.processor.velocity, 10.0);
    EXPECT_EQ(c.processor.canvas().feed().velocity, 10.0);
    // x is a time here: neither a move nor a position; the motion mode stays.
    EXPECT_EQ(c.processor.programPose(), Pose());
    c.processor.units.time = static_cast<int32_t>(UnitTime::millisecond);
    c.run("G4 F250");
    EXPECT_EQ(c.take(), (std::vector<std::string>{"Wait 0.25"}));
}

TEST(BlockExecutor, RelativeTargetsMoveXYZButRotaryAxesStayAbsolute) {
    Channel c;
    c.run("G1 X3 A20 F60");
    c.run("G91 G1 X10 A5");
    const Pose at = c.processor.programPose();
    EXPECT_DOUBLE_EQ(at.x, 13.0);
    EXPECT_DOUBLE_EQ(at.a, 5.0 * std::numbers::pi / 180.0);
    EXPECT_EQ(c.processor.path.reference, 1);
    c.run("Y2"); // modal: relative, feed line
    EXPECT_DOUBLE_EQ(c.processor.programPose().y, 2.0);
    EXPECT_DOUBLE_EQ(c.processor.programPose().x, 13.0);
}

TEST(BlockExecutor, TargetsAreProgramCoordinatesThroughTheZeroOffset) {
    Channel c;
    c.processor.setZeroOffset(2, {100.0, 0.0, 0.0, {}});
    c.run("G55 G0 X5");
    EXPECT_TRUE(c.lastFeed().isRapid());
    EXPECT_EQ(c.take(), (std::vector<std::string>{
                            "Line time=1 from=[0.00,0.00,0.00,0.00,0.00,0.00] to=[105.00,0.00,0.00,0.00,0.00,0.00]"}));
    // Unspecified coordinates keep their program values: y and z of the machine's 0 here.
    c.run("G53 G0 Y1");
    EXPECT_EQ(c.take(), (std::vector<std::string>{
                            "Line time=2 from=[105.00,0.00,0.00,0.00,0.00,0.00] to=[105.00,1.00,0.00,0.00,0.00,0.00]"}));
}

TEST(BlockExecutor, LengthUnitsOfPositionsAndFeed) {
    Channel c;
    c.run("G70 G1 X1 F60");
    EXPECT_DOUBLE_EQ(c.processor.programPose().x, 25.4);
    EXPECT_EQ(c.processor.velocity, 1.0); // F stays in mm/min under G70
    c.run("G700 F60");
    EXPECT_DOUBLE_EQ(c.processor.velocity, 25.4);
    c.run("G710 X1");
    EXPECT_DOUBLE_EQ(c.processor.programPose().x, 1.0);
    c.run("F60");
    EXPECT_DOUBLE_EQ(c.processor.velocity, 1.0);
}

TEST(BlockExecutor, CircleWordsMoveOnlyInCircleModes) {
    Channel c;
    c.run("G1 I5 F60");
    EXPECT_TRUE(c.take().empty());
    c.run("G2 I5"); // no target: a full circle about the start + (5, 0, 0)
    EXPECT_EQ(c.take(), (std::vector<std::string>{
                            "Helix time=2 from=[0.00,0.00,0.00,0.00,0.00,0.00] to=[0.00,0.00,0.00,0.00,0.00,0.00] "
                            "center=[5.00,0.00,0.00] normal=[0.00,0.00,1.00] angle=-6.28319"}));
    c.run("G3 X10 U5"); // by radius: the half circle to (10, 0, 0)
    const std::vector<std::string> half = c.take();
    ASSERT_EQ(half.size(), 1u);
    EXPECT_NE(half[0].find("center=[5.00,0.00,0.00]"), std::string::npos) << half[0];
    EXPECT_NE(half[0].find("angle=3.14159"), std::string::npos) << half[0];
}

TEST(BlockExecutor, AbsoluteCentresTakeTheStartForMissingWords) {
    Channel c;
    c.run("G1 X10 Y10 F60");
    c.take();
    c.processor.circles.centerReference = 0;
    c.run("G2 X20 Y10 I15"); // centre (15, 10): y of the start
    const std::vector<std::string> arc = c.take();
    ASSERT_EQ(arc.size(), 1u);
    EXPECT_NE(arc[0].find("center=[15.00,10.00,0.00]"), std::string::npos) << arc[0];
}

TEST(BlockExecutor, CirclesRequireTheScalingOfTheirPlaneToBeEqual) {
    Channel c;
    c.processor.setAxisScaling(2.0, 0);
    EXPECT_EQ(c.error("G18 G2 X10 I5"),
              "Scaling with different factors is not permitted in combination with 2d circles");
    EXPECT_EQ(c.error("G17 G2 X10 I5"),
              "Scaling with different factors is not permitted in combination with 2d circles");
    c.run("G19 G2 Y10 J5 F60"); // y and z are scaled alike
    EXPECT_EQ(c.take().size(), 1u);
    c.processor.path.rotation3dUsed = true;
    EXPECT_EQ(c.error("G19 G2 Y0 J-5"),
              "Scaling with different factors is not permitted in combination with 3d rotation");
    // Lines do not care.
    c.run("G1 X1");
    EXPECT_EQ(c.take().size(), 1u);
}

TEST(BlockExecutor, ProgramEndSynchronisesAndJumpsToTheHalt) {
    test::ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    StackmachineInterpreter machine(&p);
    p.machine = &machine;
    test::loadItems(machine, {new test::TestCmd("A"), new test::TestCmd("B"), new CmdHalt()});
    machine.setWaitEnabled(false);
    machine.step(); // starts the program and runs A
    p.executeBlock(-1, wordsOf("M2 X10 F60"), {});
    EXPECT_EQ(machine.getWaitCounter(waitCounterIndex(WaitCounter::sync)), 0);
    machine.step(); // the halt, not B
    EXPECT_FALSE(machine.isRunning());
    EXPECT_EQ(c.out.texts(), (std::vector<std::string>{
                                 "Queryaxes", "MFunc 2", "Sync",
                                 "Line time=1 from=[0.00,0.00,0.00,0.00,0.00,0.00] to=[10.00,0.00,0.00,0.00,0.00,0.00]"}));
    for (size_t i = 1; i < c.out.commands.size(); ++i)
        EXPECT_EQ(c.out.commands[i]->key(), (BlockKey{1, 0.0}));
}

TEST(BlockExecutor, DeleteDistanceToGoFollowsAMoveOnly) {
    MachineChannel c;
    GProcessorNc2& p = c.processor;
    StackmachineInterpreter& machine = c.machine;
    const int32_t sync = waitCounterIndex(WaitCounter::sync);
    const int32_t deleteDtg = waitCounterIndex(WaitCounter::deleteDistanceToGo);

    p.executeBlock(-1, wordsOf("G31 M8"), {}); // no move: nothing, and G31 is gone
    EXPECT_FALSE(p.path.deleteDistanceToGo);
    EXPECT_EQ(machine.getWaitCounter(sync), 1);
    p.executeBlock(-1, wordsOf("G31 G1 X5 F60"), {});
    EXPECT_EQ(c.out.texts(), (std::vector<std::string>{
                                 "MFunc 8",
                                 "Line time=2 from=[0.00,0.00,0.00,0.00,0.00,0.00] to=[5.00,0.00,0.00,0.00,0.00,0.00]",
                                 "Sync", "DelDtg"}));
    EXPECT_EQ(machine.getWaitCounter(sync), 0);
    EXPECT_EQ(machine.getWaitCounter(deleteDtg), 0);
    p.executeBlock(-1, wordsOf("G31 Q1=2"), {}); // a q move counts too
    EXPECT_EQ(c.out.texts().back(), "DelDtg");
    EXPECT_EQ(machine.getWaitCounter(deleteDtg), -1);
}

// The q moves delivered so far, as commands.
std::vector<const NCmdInterpolate*> interpolations(const test::RecordingOutput& out) {
    std::vector<const NCmdInterpolate*> found;
    for (const auto& cmd : out.commands)
        if (const auto* move = dynamic_cast<const NCmdInterpolate*>(cmd.get())) found.push_back(move);
    return found;
}

TEST(BlockExecutor, AuxiliaryAxesMoveFromTheirCurrentValuesOrTheZeroOffset) {
    Channel c;
    c.run("G91 Q1=5");
    c.run("Q1=5");
    EXPECT_EQ(c.processor.interpolation().current()[0], 10.0);
    c.processor.setZeroOffset(2, {0.0, 0.0, 0.0, {0.0, 3.0, 0.0, 0.0, 0.0}});
    c.run("G90 G55 Q2=1");
    EXPECT_EQ(c.processor.interpolation().current(), (std::vector<double>{10.0, 4.0, 0.0, 0.0, 0.0}));
    const auto moves = interpolations(c.out);
    ASSERT_EQ(moves.size(), 3u);
    EXPECT_EQ(moves[1]->from()[0], 5.0);
    for (const NCmdInterpolate* move : moves) {
        EXPECT_FALSE(move->withPathMotion());
        EXPECT_EQ(move->speed(), DBL_MAX); // G0 is the motion mode
    }
    c.run("G1 Q3=1 F120");
    EXPECT_EQ(interpolations(c.out).back()->speed(), 2.0);
}

TEST(BlockExecutor, ProgrammableZeroOffsetTakesTheBlocksPositionAndQWords) {
    Channel c;
    c.run("G58 X1 Y2 Z3 Q1=4");
    const ZeroOffset& g58 = c.processor.zeroOffsets().programmable(0);
    EXPECT_EQ(g58.position(), (Point3{1.0, 2.0, 3.0}));
    EXPECT_EQ(g58.q[0], 4.0);
    // No path move; the q word still moves q1, measured from the new offset (none is
    // selected, so the q offsets stay 0).
    EXPECT_EQ(c.take(), (std::vector<std::string>{"Interpolate time=1 from=[0, 0, 0, 0, 0] to=[4, 0, 0, 0, 0] speed=1.79769e+308"}));
    c.processor.setZeroOffset(0, {});
    c.run("G54 G59 X1 Y1 Z1 Q2=1");
    EXPECT_EQ(c.processor.interpolation().current()[1], 2.0);
    EXPECT_EQ(c.processor.programPose(), (Pose{-2.0, -3.0, -4.0}));
}

TEST(BlockExecutor, ToolDirectionAndRadiusCompensationFromTheToolTable) {
    Channel c;
    GProcessorNc2& p = c.processor;
    p.tools.setToolType(3, static_cast<int32_t>(ToolType::mill));
    p.tools.setParam(3, static_cast<int>(ToolParam::radius), 4.0);
    p.tools.setParam(3, static_cast<int>(ToolParam::radiusAdd), 0.5);
    p.tools.setParam(3, static_cast<int>(ToolParam::length), 10.0);
    c.run("D3 P-1");
    EXPECT_FALSE(p.tool.directionPositive);
    EXPECT_EQ(p.tool.index, 3);
    // The second pass sees the plane of the first: G18 puts the offset along y.
    c.run("G18 G41");
    EXPECT_EQ(p.canvas().radiusCompensation().offsetVector, (Point3{0.0, 4.5, 0.0}));
    c.run("G1 X10 F60");
    c.run("Z30"); // the tool length (10, negative with P-1) lies along z
    c.run("G40");
    EXPECT_FALSE(p.canvas().radiusCompensation().active);
}

TEST(BlockExecutor, LogsItsSettingsAndMovesAtDebugGProcessor) {
    Channel c;
    LogCapture log({LogLevel::debugGProcessor});
    c.run("G0 G91 G70 G60 G31 X1");
    c.run("G90 G1 G710 Y2 F60");
    EXPECT_EQ(log.lines, (std::vector<std::string>{
                             "[debugGProcessor] ACCURATESTOP=0",
                             "[debugGProcessor] DELDTG",
                             "[debugGProcessor] ACCURATESTOP=1",
                             "[debugGProcessor] UNITLENGTH=inch",
                             "[debugGProcessor] REFERENCE=relative",
                             "[debugGProcessor] MOVE LINE to=[25.40,0.00,0.00,0.00,0.00,0.00] speed=rapid",
                             "[debugGProcessor] ACCURATESTOP",
                             "[debugGProcessor] SYNC",
                             "[debugGProcessor] REFERENCE=absolute", // G90 before G710
                             "[debugGProcessor] UNITLENGTH=millimeter",
                             "[debugGProcessor] UNITSPEED=millimeter/minute",
                             "[debugGProcessor] MOVE LINE to=[25.40,2.00,0.00,0.00,0.00,0.00]",
                             "[debugGProcessor] ACCURATESTOP",
                         }));
    EXPECT_EQ(referenceName(2), "");
}

TEST(BlockExecutor, ABlockAllocatesNothingButItsCommands) {
    NInterfaceNull out; // drops the commands, records nothing
    GProcessorNc2 p(&out);
    p.startProgram();
    const std::vector<GCodeWord> settings = wordsOf("N5 G90 G17 G54 G71 G40 P1 G4 F0.5 G9 Q1=2");
    const std::vector<GCodeWord> line = wordsOf("G1 X10 Y5 Z1 F600");
    const std::vector<GCodeWord> back = wordsOf("X0 Y0 Z0");
    for (int i = 0; i < 3; ++i) { // warm up: the word storage and the queue grow once
        p.executeBlock(-1, settings, {});
        p.executeBlock(-1, line, {});
        p.executeBlock(-1, back, {});
    }
    const std::vector<GCodeWord> quiet = wordsOf("N6 G90 G17 G54 G71 G40 P1 F600 A0");
    int64_t before = test::allocationCount();
    for (int i = 0; i < 100; ++i) p.executeBlock(-1, quiet, {});
    EXPECT_EQ(test::allocationCount() - before, 0);
    // A line costs the same every time: its element and command, nothing per word.
    before = test::allocationCount();
    p.executeBlock(-1, line, {});
    const int64_t perLine = test::allocationCount() - before;
    before = test::allocationCount();
    for (int i = 0; i < 50; ++i) {
        p.executeBlock(-1, back, {});
        p.executeBlock(-1, line, {});
    }
    EXPECT_EQ(test::allocationCount() - before, 100 * perLine);
    EXPECT_LE(perLine, 3);
}

TEST(BlockExecutor, ABlockWithoutWordsStillClosesItsBlock) {
    Channel c;
    c.processor.executeBlock(-1, {}, {});
    EXPECT_EQ(c.processor.key(), (BlockKey{2, 0.0}));
    EXPECT_TRUE(c.out.lines.empty());
}

TEST(BlockExecutor, AliasesRenameAddressesBeforeTheyAreDecided) {
    Channel c;
    c.processor.addressAliases["e"] = "x";
    c.processor.addressAliases["w"] = "q2";
    c.run("G0 E7 W3");
    EXPECT_EQ(c.processor.programPose().x, 7.0);
    EXPECT_EQ(c.processor.interpolation().current()[1], 3.0);
}

TEST(BlockExecutor, RecordsTheModalStateOfChangedBlocksByLine) {
    Channel c;
    GProcessorNc2& p = c.processor;
    p.ipolRules = 1;
    p.executeBlock(-1, wordsOf("M8"), lineSpan(2)); // nothing changed: no record
    p.executeBlock(-1, wordsOf("G18"), lineSpan(3));
    EXPECT_EQ(p.records.modalStates().appended(), 1u);
    EXPECT_EQ(p.records.modalStateAt(3)[ModalWord::plane], 4114);
    EXPECT_EQ(p.records.modalStateAt(3)[ModalWord::line], 3);
    EXPECT_FALSE(p.records.modalChanged);

    p.executeBlock(-1, wordsOf("G1 X1 F60"), lineSpan(4));
    EXPECT_TRUE(p.records.modalChanged);
    EXPECT_EQ(p.records.modalStateAt(4)[ModalWord::motion], 4097);
    p.executeBlock(-1, wordsOf("M9"), lineSpan(5)); // from now on every block records
    EXPECT_EQ(p.records.modalStates().appended(), 3u);
    EXPECT_EQ(p.records.modalStateAt(5)[ModalWord::motion], 4097);

    // The words of one block are cleared at the next.
    p.executeBlock(-1, wordsOf("G9 G4 F1 P-1"), lineSpan(6));
    const ModalState at6 = p.records.modalStateAt(6);
    EXPECT_EQ(at6[ModalWord::exactStop], 4105);
    EXPECT_EQ(at6[ModalWord::dwell], 4100);
    EXPECT_EQ(at6[ModalWord::toolDirection], 8195);
    p.executeBlock(-1, wordsOf("G91 G70"), lineSpan(7));
    const ModalState at7 = p.records.modalStateAt(7);
    EXPECT_EQ(at7[ModalWord::exactStop], 0);
    EXPECT_EQ(at7[ModalWord::dwell], 0);
    EXPECT_EQ(at7[ModalWord::reference], 4187);
    EXPECT_EQ(at7[ModalWord::units], 4166);
}

TEST(BlockExecutor, RecordsTheZeroOffsetsOfG54ToG59) {
    Channel c;
    GProcessorNc2& p = c.processor;
    p.ipolRules = 2; // blocks record for any value but 0
    p.setZeroOffset(0, {5.0, 6.0, 7.0, {}});
    p.executeBlock(-1, wordsOf("G54"), lineSpan(2));
    EXPECT_EQ(p.records.zeroOffsetsAt(2), (ZeroOffsetRecord{2, {5.0, 6.0, 7.0}, {}, {}}));
    EXPECT_EQ(p.records.modalStateAt(2)[ModalWord::zeroOffset], 4150);
    p.executeBlock(-1, wordsOf("G54"), lineSpan(3)); // same word, yet the offsets record
    EXPECT_EQ(p.records.zeroOffsetsAt(3).line, 3);
    EXPECT_EQ(p.records.modalStateAt(3), ModalState());
    p.executeBlock(-1, wordsOf("G59 X1 Y2 Z3"), lineSpan(4));
    EXPECT_EQ(p.records.zeroOffsetsAt(4).g59, (Point3{1.0, 2.0, 3.0}));
    p.executeBlock(-1, wordsOf("G53"), lineSpan(5));
    EXPECT_EQ(p.records.zeroOffsetsAt(5), ZeroOffsetRecord());
    EXPECT_EQ(p.records.modalStateAt(5)[ModalWord::zeroOffset], 4149);
}

TEST(BlockExecutor, WithoutReportingNothingIsRecorded) {
    Channel c;
    c.run("G18 G1 X1 F60 G54");
    EXPECT_EQ(c.processor.records.modalStates().appended(), 0u);
    EXPECT_EQ(c.processor.records.zeroOffsetRecords().appended(), 0u);
    EXPECT_FALSE(c.processor.records.modalChanged);
}

TEST(BlockExecutor, BlockSearchHoldReportsThePositionAndTakesCounter6) {
    MachineChannel c;
    GProcessorNc2& p = c.processor;
    StackmachineInterpreter& machine = c.machine;
    p.executeBlock(-1, wordsOf("G1 X3 Y4 F60"), {});
    c.out.commands.clear();
    p.blockSearch.active = true;
    p.blockSearch.target = 7;
    p.queue().search().searchMode = SearchMode::targetReached;

    p.executeBlock(-1, wordsOf("G1 X5 Q2=1.5"), {});
    const int32_t hold = waitCounterIndex(WaitCounter::blockSearch);
    EXPECT_EQ(machine.getWaitCounter(hold), 0);
    p.executeBlock(-1, wordsOf("M8"), {}); // already held: the counter is taken once
    EXPECT_EQ(machine.getWaitCounter(hold), 0);

    // Nothing is delivered while the search holds; the queue keeps it in key order.
    p.queue().search().searchMode = SearchMode::none;
    p.nextBlock();
    const auto* move = interpolations(c.out).empty() ? nullptr : interpolations(c.out)[0];
    ASSERT_NE(move, nullptr);
    EXPECT_TRUE(move->withPathMotion());
    const NCmdNc2Func* report = nullptr;
    for (const auto& cmd : c.out.commands)
        if (!report) report = dynamic_cast<const NCmdNc2Func*>(cmd.get());
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->key(), (BlockKey{2, 0.0}));
    const auto data = report->data();
    ASSERT_EQ(data.size(), 96u);
    const auto readDouble = [&](size_t at) {
        uint64_t bits = 0;
        for (size_t i = 0; i < 8; ++i) bits |= uint64_t{data[at + i]} << (8 * i);
        return std::bit_cast<double>(bits);
    };
    EXPECT_EQ(data[0], 44);
    EXPECT_EQ(readDouble(8), 3.0); // the position before the block's move
    EXPECT_EQ(readDouble(16), 4.0);
    EXPECT_EQ(readDouble(40), 1.5); // q2: the target of the block's q move
    EXPECT_EQ(data[72], 0);
    // The move itself went under the next key.
    for (const auto& cmd : c.out.commands)
        if (cmd->toString().rfind("Line", 0) == 0) {
            EXPECT_EQ(cmd->key(), (BlockKey{3, 0.0}));
        }
}

} // namespace
} // namespace Karsto
