// The processor's NC command emitters and the settings the block executor shares with the
// built-ins.

#include <memory>

#include "core/log.h"
#include "core/real_truncation.h"
#include "gcode/gprocessor_nc2.h"
#include "geometry/canvas6d.h"
#include "geometry/ncmd.h"
#include "geometry/ncmd_queue.h"
#include "geometry/trans_list.h"
#include "geometry/trans_matrix.h"

namespace Karsto {

void GProcessorNc2::emitWait(double seconds) {
    globalLog.debugGProcessor("SLEEP sec=%f", seconds);
    queue_->insert(std::make_unique<NCmdWait>(seconds, origin, key_));
}

void GProcessorNc2::emitMFunc(double number) {
    globalLog.debugGProcessor("MFUNC %f", number);
    queue_->insert(std::make_unique<NCmdMFunc>(number, origin, key_));
}

void GProcessorNc2::emitAccurateStop() {
    globalLog.debugGProcessor("ACCURATESTOP");
    queue_->insert(std::make_unique<NCmdAccurateStop>(origin, key_));
}

void GProcessorNc2::emitAutoAccurateStop(double angle) {
    globalLog.debugGProcessor("AUTOACCURATESTOP SEND angle limit=%f", angle);
    queue_->insert(std::make_unique<NCmdAutoAccurateStop>(angle, origin, key_));
}

void GProcessorNc2::emitHst(char letter, double value) {
    globalLog.debugGProcessor("HST %c=%f", letter, value);
    queue_->insert(std::make_unique<NCmdHst>(letter, value, origin, key_));
}

void GProcessorNc2::emitSync() {
    globalLog.debugGProcessor("SYNC");
    queue_->insert(std::make_unique<NCmdSync>(origin, key_));
}

void GProcessorNc2::emitNc2Func(const Nc2FuncData& data) {
    queue_->insert(std::make_unique<NCmdNc2Func>(data, origin, key_));
}

void GProcessorNc2::emitMsg(const std::string& text) {
    globalLog.debugGProcessor("MSG str='%s'", text.c_str());
    queue_->insert(std::make_unique<NCmdMsg>(text, origin, key_));
}

void GProcessorNc2::setVelocityUnit(int32_t length, int32_t time) {
    // The names first: an index that is no unit fails before anything changes, whether
    // the line is logged or not.
    const std::string lengthName = unitLengthName(length);
    const std::string timeName = unitTimeName(time);
    units.velocityLength = length;
    units.velocityTime = time;
    globalLog.debugGProcessor("UNITSPEED=%s/%s", lengthName.c_str(), timeName.c_str());
}

void GProcessorNc2::setAxisScaling(double factor, int32_t index) {
    auto scaling = std::make_unique<TransMatrix>();
    // Only x, y and z have a factor; any other index must not write outside them.
    if (index >= 0 && index < static_cast<int32_t>(path.axisScale.size())) {
        path.axisScale[static_cast<size_t>(index)] = factor;
        scaling->m[index][index] = factor;
    }
    globalLog.debugGProcessor("Axis with index=%d has a scaling factor of %f", index, factor);
    userTransforms_->append(std::move(scaling)); // invalidates the stack
}

void GProcessorNc2::setRadiusCompensation(int32_t rc, double radius) {
    // %d needs an int: the radius is truncated, out-of-range values give a fixed pattern.
    globalLog.debugGProcessor("RADIUSCOMPENSATION rc=%d radius=%d", rc, truncateToS32(radius));
    Point3 offsetVector;
    switch (rc) {
    case 0:
        break;
    case 1: // left of the path
        offsetVector = Point3::scale(path.planeNormal, radius);
        break;
    case 2: // right of the path
        offsetVector = Point3::scale(path.planeNormal, -radius);
        break;
    default:
        return;
    }
    canvas_->setParallelPath(offsetVector, trc.offset, trc.approachRadius, trc.approachAngle,
                             trc.departRadius, trc.departAngle, static_cast<uint64_t>(trc.limit));
}

void GProcessorNc2::enableAutoAccurateStop(double angle) {
    globalLog.debugGProcessor("AUTOACCURATESTOP ENABLE angle=%f", angle);
    accurateStop.autoEnabled = true;
    accurateStop.autoAngle = angle;
}

void GProcessorNc2::updateAxes(const AxisPositions& positions) {
    interpolation_->setCurrent(positions.q);
    const TransMatrix& m = canvas_->transformations().matrix();
    const TransMatrix& inverse = m.inverse();
    // The round trip puts the pose where the stack maps its program image, so the next
    // move starts exactly where the program believes it stands.
    const Pose kernel(positions.x, positions.y, positions.z);
    canvas_->setCurrent(m.applyPose(inverse.applyPose(kernel)));
    queue_->insert(std::make_unique<NCmdUpdateaxes>(inverse.applyPose(canvas_->current()),
                                                    std::span<const double, 5>(positions.q), key_));
}

} // namespace Karsto
