// Tool radius compensation, collision elimination, smoothing, feed, interpolation and dynamics settings.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/exception.h"
#include "core/log.h"
#include "core/stackmachine_interpreter.h"
#include "gcode/block_executor.h"
#include "gcode/builtins/nc_natives.h"
#include "gcode/gprocessor_nc2.h"
#include "geometry/canvas6d.h"
#include "geometry/ncmd.h"
#include "geometry/pproc.h"

namespace Karsto {

namespace {

// A vector this short counts as zero: it switches compensation or collision elimination off.
constexpr double kZeroVectorLength = 1e-6;
// A smoothing break angle below this (in the program's own angle unit) switches the chain off.
constexpr double kSmoothingOffAngle = 0.001;
// The largest angle of the automatic accurate stop, in degrees whatever the angle unit.
constexpr double kMaxAutoAccurateStopAngle = 360.0;

// The kernel function codes and the offsets of their data in the 96-byte block.
constexpr int32_t kCodeDynOverride = 6;
constexpr int32_t kCodePathDynamics = 14;
constexpr int32_t kCodeAxisDynamics = 22;
constexpr int32_t kCodeSmoothing = 27;
constexpr int32_t kCodeFeedInterpolation = 29;
constexpr size_t kData0 = 8;
constexpr size_t kData1 = 16;
constexpr size_t kData2 = 24;
constexpr size_t kData3 = 32;
constexpr size_t kSmoothingSubtype = 12;

constexpr uint32_t kLastAxis = 7;
constexpr double kMinAccDec = 1.0;
constexpr double kMinJerk = 10.0;
constexpr int32_t kFeedInterpolationConstant = 0;
constexpr int32_t kFeedInterpolationLinear = 1;

// A dynamics limit is accepted when it is exactly 0 (no limit) or at least its minimum;
// NaN fails both tests.
bool dynamicsLimitValid(double value, double minimum) { return value == 0.0 || value >= minimum; }

// Queues the kernel function as the last command of the current block and closes it.
void sendKernelFunction(GProcessorNc2& processor, const Nc2FuncData& data) {
    processor.emitNc2Func(data);
    processor.nextBlock();
}

} // namespace

void FunctionNativeParallelPath::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t base = frameBase(m);
        const double length = mmPerLengthUnit(nc());
        const Point3 v{m.loadF64(at(base, Slot::nx)) * length, m.loadF64(at(base, Slot::ny)) * length,
                       m.loadF64(at(base, Slot::nz)) * length};
        Canvas6d& canvas = nc().canvas();
        if (v.length() <= kZeroVectorLength) {
            canvas.setParallelPath(Point3(), 0.0, 0.0, 0.0, 0.0, 0.0, 0);
            return;
        }
        const int16_t given = m.loadS16(at(base, Slot::limit));
        const uint64_t limit = given < 0 ? UINT64_MAX : static_cast<uint64_t>(given);
        const double angle = radPerAngleUnit(nc());
        canvas.setParallelPath(v, m.loadF64(at(base, Slot::offset)) * length,
                               m.loadF64(at(base, Slot::approachradius)) * length,
                               m.loadF64(at(base, Slot::approachangle)) * angle,
                               m.loadF64(at(base, Slot::departradius)) * length,
                               m.loadF64(at(base, Slot::departangle)) * angle, limit);
    });
}

// The normal is never converted: only its direction matters.
void FunctionNativeCollisionElimination::execute(Stackmachine& machine, const SourceSpan& span) {
    onMachine(machine, [this, &span](auto& m) {
        const int64_t base = frameBase(m);
        const Point3 n{m.loadF64(at(base, Slot::nx)), m.loadF64(at(base, Slot::ny)),
                       m.loadF64(at(base, Slot::nz))};
        Canvas6d& canvas = nc().canvas();
        const double length = n.length();
        const bool on = length > kZeroVectorLength;
        if (on)
            canvas.beginCollisionElimination(Point3::scale(n, 1.0 / length), m.loadU64(at(base, Slot::limit)));
        else
            canvas.endCollisionElimination();
        if (nc().recordingForBuiltins()) nc().records.recordModalCollisionElimination(on, span);
    });
}

void FunctionNativeCollisionEliminationFlush::execute(Stackmachine&, const SourceSpan&) {
    nc().canvas().flushCollisionElimination();
}

void FunctionNativeTrcApproachDepartSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t base = frameBase(m);
        const double length = mmPerLengthUnit(nc());
        const double angle = radPerAngleUnit(nc());
        TrcParameters& trc = nc().trc;
        trc.approachRadius = m.loadF64(at(base, Slot::approachradius)) * length;
        trc.approachAngle = m.loadF64(at(base, Slot::approachangle)) * angle;
        trc.departRadius = m.loadF64(at(base, Slot::departradius)) * length;
        trc.departAngle = m.loadF64(at(base, Slot::departangle)) * angle;
    });
}

void FunctionNativeTrcOffsetSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        nc().trc.offset = m.loadF64(at(frameBase(m), Slot::offset)) * mmPerLengthUnit(nc());
    });
}

void FunctionNativeTrcCeLimitSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        nc().trc.limit = static_cast<int64_t>(m.loadU64(at(frameBase(m), Slot::limit)));
    });
}

// The members of trcparamtype in order: approachradius, approachangle, departradius,
// departangle, offset (LREAL), limit (ULINT); the values are unconverted (mm, rad, count).
void FunctionNativeTrcParam::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t result = at(frameBase(m), Slot::result);
        const std::vector<int64_t>& member = structMemberOffsets();
        const TrcParameters& trc = nc().trc;
        m.storeF64(result + member.at(0), trc.approachRadius);
        m.storeF64(result + member.at(1), trc.approachAngle);
        m.storeF64(result + member.at(2), trc.departRadius);
        m.storeF64(result + member.at(3), trc.departAngle);
        m.storeF64(result + member.at(4), trc.offset);
        m.storeU64(result + member.at(5), static_cast<uint64_t>(trc.limit));
    });
}

// The result is declared but not written: a program must not rely on it.
void FunctionNativeTrcParamSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t param = at(frameBase(m), Slot::param);
        const std::vector<int64_t>& member = structMemberOffsets();
        TrcParameters& trc = nc().trc;
        trc.approachRadius = m.loadF64(param + member.at(0));
        trc.approachAngle = m.loadF64(param + member.at(1));
        trc.departRadius = m.loadF64(param + member.at(2));
        trc.departAngle = m.loadF64(param + member.at(3));
        trc.offset = m.loadF64(param + member.at(4));
        trc.limit = static_cast<int64_t>(m.loadU64(param + member.at(5)));
    });
}

void FunctionNativeFeedModeSet::execute(Stackmachine& machine, const SourceSpan& span) {
    onMachine(machine, [this, &span](auto& m) {
        const int32_t mode = loadEnum(m, frameBase(m), Slot::feedmode);
        nc().canvas().setFeedMode(static_cast<FeedMode>(mode));
        if (nc().recordingForBuiltins()) nc().records.recordModalFeedMode(mode, span);
    });
}

void FunctionNativeCenterpointCorrection::execute(Stackmachine& machine, const SourceSpan& span) {
    onMachine(machine, [this, &span](auto& m) {
        const bool on = m.loadU1(at(frameBase(m), Slot::on)) != 0;
        nc().circles.centerPointCorrection = on;
        if (nc().recordingForBuiltins()) nc().records.recordModalCenterPointCorrection(on, span);
    });
}

// The limit is taken in millimetres whatever the length unit.
void FunctionNativeRadiusprecisionLimitSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) { nc().circles.radiusLimit = m.loadF64(at(frameBase(m), Slot::limit)); });
}

void FunctionNativeCircleCenterReferenceSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int32_t reference = loadEnum(m, frameBase(m), Slot::value);
        nc().circles.centerReference = reference;
        if (globalLog.enabled(LogLevel::debugGProcessor))
            globalLog.debugGProcessor("CIRCLECENTERREFERENCE=%s", referenceName(reference).c_str());
    });
}

// The angle is in degrees whatever the angle unit; nothing switches the stop off but the
// next program start.
void FunctionNativeAutoAccurateStopSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const double angle = m.loadF64(at(frameBase(m), Slot::angle));
        checkRuntime(angle >= 0.0 && angle <= kMaxAutoAccurateStopAngle,
                     "Invalid angle =%f set in autoAccurateStopSet. Should be in range 0 to 360 degrees.",
                     angle);
        nc().enableAutoAccurateStop(angle);
    });
}

// The limits are stored on every call, also on one that switches the chain off; only the
// break angle as the program gave it decides on or off.
void FunctionNativeTransBezier::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t base = frameBase(m);
        const double length = mmPerLengthUnit(nc());
        const double angle = radPerAngleUnit(nc());
        const double breakAngle = m.loadF64(at(base, Slot::breakangle));
        Canvas6d& canvas = nc().canvas();
        canvas.breakdetect().setLimits(breakAngle * angle, m.loadF64(at(base, Slot::breaklength)) * length);
        canvas.linemerge().setLimits(m.loadF64(at(base, Slot::linemergediff)) * length,
                                     m.loadF64(at(base, Slot::linebreakangle)) * angle,
                                     m.loadF64(at(base, Slot::linebreaklength)) * length);
        canvas.beziermerge().setMergeDiff(m.loadF64(at(base, Slot::mergediff)) * length);
        if (breakAngle < kSmoothingOffAngle) {
            if (canvas.pipelineEnabled()) {
                canvas.head().flushAll();
                canvas.setPipelineEnabled(false);
            }
        } else {
            canvas.setPipelineEnabled(true);
        }
    });
}

void FunctionNativeFeedInterpolationSet::execute(Stackmachine& machine, const SourceSpan& span) {
    onMachine(machine, [this, &span](auto& m) {
        Nc2FuncData data(kCodeFeedInterpolation);
        const int32_t value = loadEnum(m, frameBase(m), Slot::feedinterpolation);
        if (value == kFeedInterpolationConstant || value == kFeedInterpolationLinear) data.putInt32(kData0, value);
        sendKernelFunction(nc(), data);
        // Read again: the record follows the closed block.
        if (nc().recordingForBuiltins())
            nc().records.recordModalFeedInterpolation(loadEnum(m, frameBase(m), Slot::feedinterpolation), span);
    });
}

void FunctionNativeVsmSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t base = frameBase(m);
        Nc2FuncData data(kCodeSmoothing);
        data.putInt32(kData0, loadEnum(m, base, Slot::maintype));
        data.putInt32(kSmoothingSubtype, loadEnum(m, base, Slot::subtype));
        data.putDouble(kData1, m.loadF64(at(base, Slot::value)));
        sendKernelFunction(nc(), data);
    });
}

void FunctionNativeDynOvrSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        Nc2FuncData data(kCodeDynOverride);
        data.putDouble(kData0, std::min(1.0, std::max(0.0, m.loadF64(at(frameBase(m), Slot::value)))));
        sendKernelFunction(nc(), data);
    });
}

void FunctionNativeAxisDynamicsSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t base = frameBase(m);
        const uint32_t axis = m.loadU32(at(base, Slot::axisno));
        const double acc = m.loadF64(at(base, Slot::acc));
        const double dec = m.loadF64(at(base, Slot::dec));
        const double jerk = m.loadF64(at(base, Slot::jerk));
        checkRuntime(axis <= kLastAxis, "Invalid axis number %d set in axisdynamicsSet. Should be in range 0 to %d.",
                     static_cast<int32_t>(axis), static_cast<int32_t>(kLastAxis));
        Nc2FuncData data(kCodeAxisDynamics);
        data.putInt32(kData0, static_cast<int32_t>(axis));
        data.putDouble(kData1, acc);
        data.putDouble(kData2, dec);
        data.putDouble(kData3, jerk);
        sendKernelFunction(nc(), data);
    });
}

void FunctionNativePathDynamicsSet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t base = frameBase(m);
        const double acc = m.loadF64(at(base, Slot::acc));
        const double dec = m.loadF64(at(base, Slot::dec));
        const double jerk = m.loadF64(at(base, Slot::jerk));
        checkRuntime(dynamicsLimitValid(acc, kMinAccDec),
                     "Invalid value of acceleration limit %4.2f in pathdynamicsset. Should be higher or equal %4.2f",
                     acc, kMinAccDec);
        checkRuntime(dynamicsLimitValid(dec, kMinAccDec),
                     "Invalid value of deceleration limit %4.2f in pathdynamicsset. Should be higher or equal %4.2f",
                     dec, kMinAccDec);
        checkRuntime(dynamicsLimitValid(jerk, kMinJerk),
                     "Invalid value of jerk limit %4.2f in pathdynamicsset. Should be higher or equal %4.2f",
                     jerk, kMinJerk);
        Nc2FuncData data(kCodePathDynamics);
        data.putDouble(kData0, acc);
        data.putDouble(kData1, dec);
        data.putDouble(kData2, jerk);
        sendKernelFunction(nc(), data);
    });
}

} // namespace Karsto
