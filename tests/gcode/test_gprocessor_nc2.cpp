#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "core/cmd_flow.h"
#include "core/exception.h"
#include "core/machine_test_support.h"
#include "core/stackmachine_interpreter.h"
#include "gcode/processor_test_support.h"
#include "gcode/wait_counter.h"
#include "geometry/canvas6d.h"
#include "geometry/ncmd_queue.h"
#include "geometry/trans_list.h"

namespace Karsto {
namespace {

using test::LogCapture;
using test::ProcessorChannel;

std::string runtimeError(const std::function<void()>& action) {
    try {
        action();
    } catch (const ExceptionRuntime& e) {
        return e.message();
    }
    return "no error";
}

std::vector<std::string> slotNames(const std::vector<SpaceSlot*>& slots) {
    std::vector<std::string> names;
    for (const SpaceSlot* s : slots) names.push_back(s->name);
    return names;
}

// Where the whole transformation stack puts the program origin.
Point3 mappedOrigin(GProcessorNc2& p) { return p.canvas().transformations().matrix().applyPoint({}); }

// The state every run starts from.
void expectStartState(GProcessorNc2& p) {
    EXPECT_EQ(p.path.motionMode, 0);
    EXPECT_EQ(p.path.planeNormal, (Point3{0.0, 0.0, 1.0}));
    EXPECT_EQ(p.path.reference, 0);
    EXPECT_EQ(p.path.axisScale, (std::array<double, 3>{1.0, 1.0, 1.0}));
    EXPECT_FALSE(p.path.rotation3dUsed);
    EXPECT_FALSE(p.path.deleteDistanceToGo);
    EXPECT_EQ(unitLengthName(p.units.length), "millimeter");
    EXPECT_EQ(unitAngleName(p.units.angle), "degree");
    EXPECT_EQ(unitTimeName(p.units.time), "second");
    EXPECT_EQ(unitLengthName(p.units.velocityLength), "millimeter");
    EXPECT_EQ(unitTimeName(p.units.velocityTime), "minute");
    EXPECT_EQ(p.circles.centerReference, 1);
    EXPECT_TRUE(p.circles.centerPointCorrection);
    EXPECT_EQ(p.circles.radiusLimit, 0.1);
    EXPECT_FALSE(p.accurateStop.modal);
    EXPECT_FALSE(p.accurateStop.autoEnabled);
    EXPECT_EQ(p.accurateStop.autoAngle, 0.0);
    EXPECT_EQ(p.velocity, DBL_MAX);
    EXPECT_EQ(p.canvas().feed().velocity, 0.0);
    EXPECT_EQ(p.canvas().feed().secondVelocity, 0.0);
    EXPECT_EQ(p.trc.limit, -1);
    EXPECT_EQ(p.trc.approachRadius + p.trc.approachAngle + p.trc.departRadius + p.trc.departAngle +
                  p.trc.offset,
              0.0);
    EXPECT_EQ(p.tool.index, 0);
    EXPECT_TRUE(p.tool.directionPositive);
    EXPECT_EQ(p.zeroOffsets().selected(), -1);
    EXPECT_EQ(p.qOffsets(), (std::array<double, 5>{}));
    EXPECT_EQ(p.userTransforms().size(), 0u);
    EXPECT_EQ(mappedOrigin(p), Point3());
    EXPECT_EQ(p.key(), (BlockKey{0, 0.0}));
    EXPECT_FALSE(p.origin.span.valid);
    EXPECT_EQ(p.origin.blockNumber, 0.0);
    EXPECT_FALSE(p.records.modalChanged);
}

TEST(GProcessorNc2, ConstructionEndsInTheStartState) {
    ProcessorChannel c;
    expectStartState(c.processor);
    EXPECT_EQ(c.processor.disableMask, 0u);
    EXPECT_EQ(c.processor.ipolRules, 0);
    EXPECT_FALSE(c.processor.blockSearch.active);
    EXPECT_EQ(c.processor.machine, nullptr);
    EXPECT_EQ(c.processor.queue().output(), &c.out);
}

TEST(GProcessorNc2, ConstructionOrderOfAxesAndTransformations) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    std::vector<SpaceSlot*> declared;
    for (const auto& slot : p.space().slots()) declared.push_back(slot.get());
    EXPECT_EQ(slotNames(declared), (std::vector<std::string>{"a", "b", "c", "x", "y", "z", "q1", "q2",
                                                              "q3", "q4", "q5"}));
    EXPECT_EQ(slotNames(p.canvas().axes()),
              (std::vector<std::string>{"x", "y", "z", "a", "b", "c"}));
    EXPECT_EQ(p.canvas().axes()[0], p.axisX());
    EXPECT_EQ(p.canvas().axes()[5], p.axisC());
    EXPECT_EQ(slotNames(p.interpolation().axes()),
              (std::vector<std::string>{"q1", "q2", "q3", "q4", "q5"}));
    EXPECT_EQ(p.interpolation().axes(), p.qAxes());
    TransList& stack = p.canvas().transformations();
    ASSERT_EQ(stack.size(), 3u);
    EXPECT_EQ(&stack.element(0), &p.zeroOffsetMatrix());
    EXPECT_EQ(&stack.element(1), &p.userTransforms());
    EXPECT_EQ(&stack.element(2), &p.toolMatrix());
    EXPECT_EQ(p.userTransforms().parent(), &stack);
    EXPECT_EQ(&p.canvas().owner(), static_cast<AProcessorOwner*>(&p));
}

TEST(GProcessorNc2, ResetLogsTheZeroOffsetStepsAndRestoresTheStartState) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    p.path.motionMode = 2;
    p.setWorkingPlane(1.0, 0.0, 0.0);
    p.path.reference = 1;
    p.path.axisScale[1] = 2.0;
    p.path.rotation3dUsed = true;
    p.units = {0, 3, 4, 5, 4};
    p.circles = {0, false, 3.0};
    p.accurateStop = {true, true, 0.5};
    p.velocity = 12.0;
    p.canvas().setVelocity(5.0);
    p.trc.limit = 3;
    p.trc.offset = 1.0;
    p.tool.directionPositive = false;
    p.origin.blockNumber = 40.0;
    p.setProgrammableZeroOffset(1, {1.0, 2.0, 3.0, {}});
    p.selectZeroOffset(0);
    p.userTransforms().append(std::make_unique<TransMatrix>());
    p.nextBlock();
    p.records.modalChanged = true;

    LogCapture log({LogLevel::debugGProcessor});
    p.reset();
    expectStartState(p);
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{
                  "[debugGProcessor] ZERO OFFSET SHIFT SELECT index=-1",
                  "[debugGProcessor] P ZERO OFFSET SHIFT index=0 "
                  "zos=[0.00,0.00,0.00],[0.000000,0.000000,0.000000,0.000000,0.000000]",
                  "[debugGProcessor] P ZERO OFFSET SHIFT index=1 "
                  "zos=[0.00,0.00,0.00],[0.000000,0.000000,0.000000,0.000000,0.000000]"}));
    EXPECT_EQ(p.zeroOffsets().programmable(1), ZeroOffset());
}

TEST(GProcessorNc2, ResetKeepsWhatOutlivesARun) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    const ZeroOffset settable{1.0, 2.0, 3.0, {4.0, 5.0, 6.0, 7.0, 8.0}};
    for (int32_t i = 0; i < 8; ++i) p.setZeroOffset(i, settable);
    p.disableMask = 0x24;
    p.ipolRules = 1;
    p.blockSearch = {true, 77, true, true};
    p.records.setWord(ModalWord::plane, modalGCode(18));
    p.records.appendModalState(test::spanAt(3));
    p.interpolation().setCurrent(std::vector<double>{1.0, 2.0, 3.0, 4.0, 5.0});

    p.reset();
    for (int32_t i = 0; i < 8; ++i) EXPECT_EQ(p.zeroOffsets().entry(i), settable) << i;
    EXPECT_EQ(p.disableMask, 0x24u);
    EXPECT_EQ(p.ipolRules, 1);
    EXPECT_TRUE(p.blockSearch.active);
    EXPECT_EQ(p.blockSearch.target, 77u);
    EXPECT_TRUE(p.blockSearch.steppedOn);
    EXPECT_TRUE(p.blockSearch.axisAnswerInSearch);
    // The current words stay, the stores are emptied.
    EXPECT_EQ(p.records.modalState[ModalWord::plane], 4114);
    EXPECT_EQ(p.records.modalStates().lines(), 0u);
    EXPECT_EQ(p.interpolation().current(), (std::vector<double>{1.0, 2.0, 3.0, 4.0, 5.0}));
}

TEST(GProcessorNc2, StartProgramQueriesTheAxesAndWaitsForThem) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    StackmachineInterpreter machine(&p);
    p.machine = &machine;
    machine.reset();
    p.nextBlock(); // a previous run's key: startProgram resets it first
    LogCapture log({LogLevel::debugGProcessor});
    p.startProgram();
    EXPECT_EQ(c.out.lines, (std::vector<std::string>{"snr=0 key=0/0 n=0 Queryaxes"}));
    EXPECT_EQ(p.key(), (BlockKey{1, 0.0}));
    EXPECT_EQ(p.queue().holdKey(), (BlockKey{1, -1000.0}));
    EXPECT_EQ(c.out.ipolRulesSends, 1);
    EXPECT_EQ(machine.getWaitCounter(waitCounterIndex(WaitCounter::axisQuery)), 0);
    EXPECT_EQ(machine.getWaitCounter(waitCounterIndex(WaitCounter::sync)), 1);
    EXPECT_EQ(log.lines.back(), "[debugGProcessor] QUERYAXES");
}

// A program of two steps: one plain instruction, then the halt.
void loadTwoStepProgram(Stackmachine& machine) {
    test::loadItems(machine, {new test::TestCmd("A"), new CmdHalt()});
}

TEST(GProcessorNc2, BoundToAMachineTheRunWaitsForTheAxisAnswer) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    StackmachineInterpreter machine(&p);
    p.machine = &machine;
    loadTwoStepProgram(machine);
    machine.step();
    EXPECT_TRUE(machine.isBlocked());
    EXPECT_EQ(p.key(), (BlockKey{1, 0.0}));
    EXPECT_EQ(c.out.finishes, 0);

    // The machine's reset is the processor's full reset.
    p.setWorkingPlane(0.0, 1.0, 0.0);
    const int outputResets = c.out.resets;
    machine.reset();
    EXPECT_FALSE(machine.isBlocked());
    EXPECT_EQ(p.key(), (BlockKey{0, 0.0}));
    EXPECT_EQ(p.path.planeNormal, (Point3{0.0, 0.0, 1.0}));
    EXPECT_EQ(c.out.resets, outputResets + 1);
}

TEST(GProcessorNc2, WithWaitingOffTheProgramRunsToItsFinish) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    StackmachineInterpreter machine(&p);
    p.machine = &machine;
    machine.setWaitEnabled(false);
    loadTwoStepProgram(machine);
    while (machine.isRunning()) machine.step();
    EXPECT_EQ(c.out.finishes, 1);
    EXPECT_EQ(c.out.lines, (std::vector<std::string>{"snr=0 key=0/0 n=0 Queryaxes"}));
}

TEST(GProcessorNc2, ZeroOffsetCompositionOfTheSelectedAndProgrammableEntries) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    LogCapture log({LogLevel::debugGProcessor});
    p.setZeroOffset(4, {0.0, -20.0, 5.0, {3.0, 0.0, 0.0, 0.0, 0.0}});
    EXPECT_EQ(log.lines.back(), "[debugGProcessor] A ZERO OFFSET SHIFT index=4 "
                                "zos=[0.00,-20.00,5.00],[3.000000,0.000000,0.000000,0.000000,0.000000]");
    p.setProgrammableZeroOffset(0, {1.0, 1.0, 1.0, {0.0, 0.5, 0.0, 0.0, 0.0}});
    p.setProgrammableZeroOffset(1, {0.0, 0.0, -2.0, {}});
    EXPECT_EQ(mappedOrigin(p), Point3()); // nothing selected: none applies

    p.selectZeroOffset(4);
    EXPECT_EQ(mappedOrigin(p), (Point3{1.0, -19.0, 4.0}));
    EXPECT_EQ(p.qOffsets(), (std::array<double, 5>{3.0, 0.5, 0.0, 0.0, 0.0}));

    // Entry 1 is stored, but nothing selects it.
    p.setZeroOffset(1, {100.0, 100.0, 100.0, {}});
    EXPECT_EQ(mappedOrigin(p), (Point3{1.0, -19.0, 4.0}));
    // A change of the selected entry applies at once.
    p.setZeroOffset(4, {10.0, 0.0, 0.0, {}});
    EXPECT_EQ(mappedOrigin(p), (Point3{11.0, 1.0, -1.0}));
    EXPECT_EQ(p.qOffsets(), (std::array<double, 5>{0.0, 0.5, 0.0, 0.0, 0.0}));

    p.selectZeroOffset(-1);
    EXPECT_EQ(mappedOrigin(p), Point3());
    EXPECT_EQ(p.qOffsets(), (std::array<double, 5>{}));
    EXPECT_EQ(p.zeroOffsets().programmable(0).position(), (Point3{1.0, 1.0, 1.0}));
    EXPECT_EQ(p.zeroOffsets().programmable(1).position(), (Point3{0.0, 0.0, -2.0}));
    EXPECT_EQ(log.lines[log.lines.size() - 1], "[debugGProcessor] ZERO OFFSET SHIFT SELECT index=-1");
}

TEST(GProcessorNc2, ZeroOffsetActsOutsideUserTransformations) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    p.setZeroOffset(0, {5.0, 0.0, 0.0, {}});
    p.selectZeroOffset(0);
    auto scale = std::make_unique<TransMatrix>();
    scale->m[0][0] = 2.0;
    p.userTransforms().append(std::move(scale));
    EXPECT_EQ(p.canvas().transformations().matrix().applyPoint({1.0, 0.0, 0.0}),
              (Point3{7.0, 0.0, 0.0}));
}

TEST(GProcessorNc2, ZeroOffsetIndexesOutsideTheTablesAreRefused) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    EXPECT_EQ(runtimeError([&] { p.setZeroOffset(8, {}); }), "Invalid zero offset index 8");
    EXPECT_EQ(runtimeError([&] { p.setZeroOffset(-1, {}); }), "Invalid zero offset index -1");
    EXPECT_EQ(runtimeError([&] { p.setProgrammableZeroOffset(2, {}); }),
              "Invalid programmable zero offset index 2");
    EXPECT_EQ(runtimeError([&] { p.setProgrammableZeroOffset(-1, {}); }),
              "Invalid programmable zero offset index -1");
    EXPECT_EQ(runtimeError([&] { p.selectZeroOffset(8); }), "Invalid zero offset index 8");
    EXPECT_EQ(runtimeError([&] { p.selectZeroOffset(-2); }), "Invalid zero offset index -2");
    EXPECT_EQ(runtimeError([&] { (void)p.zeroOffsets().entry(10); }), "Invalid zero offset index 10");
    EXPECT_EQ(p.zeroOffsets().selected(), -1);
}

TEST(GProcessorNc2, WorkingPlaneIsNormalisedAndAShortVectorRefused) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    p.setWorkingPlane(3.0, 0.0, 4.0);
    EXPECT_DOUBLE_EQ(p.path.planeNormal.x, 0.6);
    EXPECT_EQ(p.path.planeNormal.y, 0.0);
    EXPECT_DOUBLE_EQ(p.path.planeNormal.z, 0.8);
    const Point3 before = p.path.planeNormal;
    for (const Point3& bad : {Point3{0.0, 0.0, 1e-7}, Point3{0.0, 0.0, 0.0}, Point3{0.0, 0.0, 1e-6},
                              Point3{std::nan(""), 0.0, 1.0}}) {
        EXPECT_EQ(runtimeError([&] { p.setWorkingPlane(bad.x, bad.y, bad.z); }),
                  "Invalid workingplane normal vector.");
        EXPECT_EQ(p.path.planeNormal, before);
    }
    p.setWorkingPlane(0.0, 0.0, 2.0);
    EXPECT_EQ(p.path.planeNormal, (Point3{0.0, 0.0, 1.0}));
}

TEST(GProcessorNc2, StalledOnlyWhileASearchHoldsAtItsTarget) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    const struct {
        bool active;
        SearchMode mode;
        bool stalled;
    } cases[] = {{false, SearchMode::none, false},
                 {true, SearchMode::none, false},
                 {true, SearchMode::bySerial, false},
                 {true, SearchMode::byBlockNumber, false},
                 {false, SearchMode::targetReached, false},
                 {true, SearchMode::targetReached, true}};
    for (const auto& k : cases) {
        p.blockSearch.active = k.active;
        p.queue().search().searchMode = k.mode;
        EXPECT_EQ(p.isStalled(), k.stalled) << k.active << " " << static_cast<int>(k.mode);
    }
}

TEST(GProcessorNc2, NextBlockDeliversTheFinishedBlockOnly) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    p.startProgram();
    p.canvas().lineTo(Pose(1.0, 0.0, 0.0), FeedParams{10.0, 0.0}, p.origin, p.key());
    EXPECT_EQ(c.out.lines.size(), 1u);
    p.nextBlock();
    ASSERT_EQ(c.out.lines.size(), 2u);
    EXPECT_EQ(c.out.lines[1].rfind("snr=1 key=1/0 n=0 Line time=1", 0), 0u) << c.out.lines[1];
    EXPECT_EQ(p.key(), (BlockKey{2, 0.0}));
    EXPECT_EQ(p.queue().holdKey(), (BlockKey{2, -1000.0}));
}

// Radius compensation left of (-5,0,0) -> (0,0,0) -> (10,0,0) -> (10,10,0), never switched
// off by the program: the program's end completes the path before it reports the finish.
TEST(GProcessorNc2, FinishCompletesAPendingCompensationPathBeforeTheFinish) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    p.startProgram();
    p.trc.limit = 0; // no collision elimination
    p.canvas().setCurrent(Pose(-5.0, 0.0, 0.0));
    p.canvas().setVelocity(10.0);
    p.canvas().setParallelPath({0.0, 0.0, 2.0}, p.trc.offset, p.trc.approachRadius,
                               p.trc.approachAngle, p.trc.departRadius, p.trc.departAngle,
                               static_cast<uint64_t>(p.trc.limit));
    for (const Pose& target : {Pose(0.0, 0.0, 0.0), Pose(10.0, 0.0, 0.0), Pose(10.0, 10.0, 0.0)}) {
        p.canvas().lineTo(target, p.canvas().feed(), p.origin, p.key());
        p.nextBlock();
    }
    EXPECT_EQ(c.out.lines.size(), 1u); // only the axis query: the path is held

    LogCapture log({LogLevel::debugGProcessor});
    p.finishProgram();
    EXPECT_EQ(log.lines.front(), "[debugGProcessor] RADIUSCOMPENSATION rc=0 radius=0");
    EXPECT_EQ(p.canvas().collectionDepth(), 0);
    EXPECT_FALSE(p.canvas().radiusCompensation().active);
    ASSERT_EQ(c.out.linesAtFinish, (std::vector<size_t>{c.out.lines.size()}));
    const std::vector<std::string> texts = c.out.texts();
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts[1].rfind("Line time=1 from=[-5.00,0.00,0.00,0.00,0.00,0.00] "
                             "to=[0.00,2.00,0.00,0.00,0.00,0.00]", 0), 0u) << texts[1];
    EXPECT_EQ(texts[4].rfind("Line time=3 from=[8.00,0.00,0.00,0.00,0.00,0.00] "
                             "to=[8.00,10.00,0.00,0.00,0.00,0.00]", 0), 0u) << texts[4];
}

TEST(GProcessorNc2, FinishFlushesTheSmoothingChainAndSwitchesItOff) {
    ProcessorChannel c;
    GProcessorNc2& p = c.processor;
    p.startProgram();
    p.canvas().setVelocity(10.0);
    p.canvas().setPipelineEnabled(true);
    p.canvas().breakdetect().setLimits(1.0, 10.0);
    p.canvas().linemerge().setLimits(0.5, 10.0, 0.1);
    for (double x : {0.1, 0.2, 0.3}) {
        p.canvas().lineTo(Pose(x, 0.0, 0.0), p.canvas().feed(), p.origin, p.key());
        p.nextBlock();
    }
    const size_t heldBack = c.out.lines.size();
    EXPECT_EQ(heldBack, 1u); // the merged line is held in the chain
    p.finishProgram();
    EXPECT_FALSE(p.canvas().pipelineEnabled());
    EXPECT_GT(c.out.lines.size(), heldBack);
    EXPECT_EQ(c.out.linesAtFinish, (std::vector<size_t>{c.out.lines.size()}));
    EXPECT_NE(c.out.lines.back().find("to=[0.30,0.00,0.00"), std::string::npos) << c.out.lines.back();
}

} // namespace
} // namespace Karsto
