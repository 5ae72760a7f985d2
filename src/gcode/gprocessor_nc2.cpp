#include "gcode/gprocessor_nc2.h"

#include <cfloat>
#include <cmath>

#include "core/exception.h"
#include "core/log.h"
#include "core/stackmachine.h"
#include "gcode/block_executor.h"
#include "gcode/builtins/runfile_reader.h"
#include "gcode/wait_counter.h"
#include "geometry/canvas6d.h"
#include "geometry/ncmd.h"
#include "geometry/ncmd_queue.h"
#include "geometry/ninterface.h"
#include "geometry/trans_list.h"
#include "geometry/trans_matrix.h"

namespace Karsto {

namespace {

// The sub-number of the queue's hold key: below every command of the block it belongs to,
// inserted path elements included.
constexpr double kHoldSub = -1000.0;

} // namespace

GProcessorNc2::GProcessorNc2(NInterface* output)
    : queue_(std::make_unique<NCmdQueue>()), executor_(std::make_unique<BlockExecutor>(*this)) {
    queue_->setOutput(output);

    space_ = std::make_unique<Space>();
    axisA_ = space_->declare("a");
    axisB_ = space_->declare("b");
    axisC_ = space_->declare("c");
    axisX_ = space_->declare("x");
    axisY_ = space_->declare("y");
    axisZ_ = space_->declare("z");
    for (const char* name : {"q1", "q2", "q3", "q4", "q5"}) qAxes_.push_back(space_->declare(name));

    // The canvas takes its axes in path order, not in declaration order.
    canvas_ = std::make_unique<Canvas6d>(
        *this, std::vector<SpaceSlot*>{axisX_, axisY_, axisZ_, axisA_, axisB_, axisC_});
    // Order matters: element 0 acts last on a point, so user transformations and tool
    // compensation act inside the zero-offset frame.
    TransList& stack = canvas_->transformations();
    zeroOffsetMatrix_ = stack.append(std::make_unique<TransMatrix>());
    userTransforms_ = stack.append(std::make_unique<TransList>());
    toolMatrix_ = stack.append(std::make_unique<TransMatrix>());

    canvas_->setVelocity(0.0);
    canvas_->setSecondVelocity(0.0);

    interpolation_ = std::make_unique<InterpolationLinear>(*this, qAxes_);
    runfiles_ = std::make_unique<RunfileContexts>();

    reset();
}

// The canvas, interpolation and space go before the queue (members in reverse order).
GProcessorNc2::~GProcessorNc2() {
    if (toolDataFile_.empty()) return;
    // A destructor must not throw, and nobody is left to report a failed save to.
    try {
        saveToolDataAs(toolDataFile_);
    } catch (...) {
    }
}

void GProcessorNc2::executeBlock(int32_t skipLevel, const std::vector<GCodeWord>& words,
                                 const SourceSpan& span) {
    executor_->execute(skipLevel, words, span);
}

Pose GProcessorNc2::programPose() {
    return canvas_->transformations().matrix().inverse().applyPose(canvas_->current());
}

void GProcessorNc2::reset() {
    canvas_->reset();

    key_ = {0, 0.0}; // not the queue's start value
    queue_->clear();
    // A runfile call that was pending when its task failed or stopped never finishes.
    runfiles_->clear();
    programEndRequested_ = false;

    velocity = DBL_MAX;
    origin = BlockOrigin();
    addressAliases.clear();

    units.reset();
    path.reset();
    circles.reset();
    accurateStop.reset();
    tool.reset();
    trc.reset();
    records.reset();

    selectZeroOffset(ZeroOffsets::kNone);
    for (int32_t i = 0; i < ZeroOffsets::kProgrammable; ++i) setProgrammableZeroOffset(i, ZeroOffset());

    userTransforms_->truncate(0);
    updateToolCompensation(); // of D0: tool.reset() deselected the tool
}

void GProcessorNc2::startProgram() {
    reset(); // through the virtual slot, as the machine's reset would
    emitQueryAxes();
    if (NInterface* output = queue_->output()) output->ipolRulesSend();
    nextBlock();
    // The run waits until the kernel's answer to the axis query gives the counter back;
    // without a machine nothing paces the run.
    if (machine != nullptr) machine->decWaitCounter(waitCounterIndex(WaitCounter::axisQuery));
}

void GProcessorNc2::finishProgram() {
    globalLog.debugGProcessor("RADIUSCOMPENSATION rc=%d radius=%d", 0, 0);
    // The zero vector switches compensation off and hands on the path collected so far.
    canvas_->setParallelPath(Point3(), trc.offset, trc.approachRadius, trc.approachAngle,
                             trc.departRadius, trc.departAngle, static_cast<uint64_t>(trc.limit));
    if (canvas_->pipelineEnabled()) {
        canvas_->head().flushAll();
        canvas_->setPipelineEnabled(false);
    }
    if (NInterface* output = queue_->output()) output->finish();
}

bool GProcessorNc2::isStalled() {
    return blockSearch.active && queue_->search().searchMode == SearchMode::targetReached;
}

void GProcessorNc2::nextBlock() {
    key_ = {key_.counter + 1, 0.0};
    queue_->setHoldKey({key_.counter, kHoldSub});
    queue_->limitUpdate();
    queue_->delivery();
}

void GProcessorNc2::setWorkingPlane(double x, double y, double z) {
    const double length = std::sqrt(x * x + y * y + z * z);
    checkRuntime(length > 1e-6, "Invalid workingplane normal vector.");
    path.planeNormal = {x / length, y / length, z / length};
}

void GProcessorNc2::setZeroOffset(int32_t index, const ZeroOffset& zos) {
    if (globalLog.enabled(LogLevel::debugGProcessor))
        globalLog.debugGProcessor("A ZERO OFFSET SHIFT index=%d zos=%s", index, zos.toString().c_str());
    zeroOffsets_.setSettable(index, zos);
    updateZeroOffset();
}

void GProcessorNc2::setProgrammableZeroOffset(int32_t index, const ZeroOffset& zos) {
    if (globalLog.enabled(LogLevel::debugGProcessor))
        globalLog.debugGProcessor("P ZERO OFFSET SHIFT index=%d zos=%s", index, zos.toString().c_str());
    zeroOffsets_.setProgrammable(index, zos);
    updateZeroOffset();
}

void GProcessorNc2::selectZeroOffset(int32_t index) {
    globalLog.debugGProcessor("ZERO OFFSET SHIFT SELECT index=%d", index);
    zeroOffsets_.select(index);
    updateZeroOffset();
}

void GProcessorNc2::updateZeroOffset() {
    TransMatrix& m = *zeroOffsetMatrix_;
    m.setIdentity();
    if (!zeroOffsets_.recompose()) return;
    const Point3& t = zeroOffsets_.translation();
    m.m[0][3] = t.x;
    m.m[1][3] = t.y;
    m.m[2][3] = t.z;
    m.invalidate(); // direct entry writes do not invalidate by themselves
}

void GProcessorNc2::emitQueryAxes() {
    globalLog.debugGProcessor("QUERYAXES");
    queue_->insert(std::make_unique<NCmdQueryaxes>(origin, key_));
}

} // namespace Karsto
