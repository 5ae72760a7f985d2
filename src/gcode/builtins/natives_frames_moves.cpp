// The frame transformations, the frame queries and the spatial moves. Every built-in
// that changes state reads and checks all its arguments first and changes the stack, the
// axis factors or the rotation flag last, so a failing call leaves them as they were.

#include <array>
#include <cmath>
#include <memory>
#include <utility>

#include "core/exception.h"
#include "core/stackmachine_interpreter.h"
#include "gcode/builtins/nc_natives.h"
#include "gcode/gprocessor_nc2.h"
#include "gcode/modal_records.h"
#include "geometry/canvas6d.h"
#include "geometry/trans_list.h"

namespace Karsto {

namespace {

// The value of the rotation record each rotation built-in writes; the kernel reads the
// whole record per line.
constexpr int8_t kRotationValueX = 0; // transrotx and transrota
constexpr int8_t kRotationValueY = 1;
constexpr int8_t kRotationValueZ = 2;

constexpr int32_t kLastScalableAxis = 2; // x, y, z

void push(GProcessorNc2& processor, std::unique_ptr<TransMatrix> element) {
    processor.userTransforms().append(std::move(element)); // invalidates up to the canvas
}

// angle as the program gave it, in the angle unit in force.
void pushRotation(GProcessorNc2& processor, double angle, const Point3& axis, int8_t recordIndex,
                  const SourceSpan& span) {
    auto rotation = std::make_unique<TransMatrix>();
    rotation->setIdentity();
    rotation->setRotation(angle * radPerAngleUnit(processor), axis);
    push(processor, std::move(rotation));
    processor.path.rotation3dUsed = true;
    if (processor.recordingForBuiltins()) {
        // The records keep the angle unconverted: the kernel reads it in the program's unit.
        processor.records.recordRotation(angle, span, recordIndex);
        processor.records.recordModalRotation(angle, span);
    }
}

void pushDiagonal(GProcessorNc2& processor, const std::array<double, 3>& diagonal) {
    auto element = std::make_unique<TransMatrix>();
    element->setIdentity();
    for (size_t i = 0; i < diagonal.size(); ++i) element->m[i][i] = diagonal[i];
    push(processor, std::move(element));
}

void checkScaleFactor(double factor) { checkRuntime(factor != 0.0, "Factor for scaling must be non-zero"); }

template <class Machine, class Slot>
Point3 loadPoint(Machine& m, const FunctionNativeNc& native, int64_t base, Slot x, Slot y, Slot z, double factor) {
    return {m.loadF64(native.at(base, x)) * factor, m.loadF64(native.at(base, y)) * factor,
            m.loadF64(native.at(base, z)) * factor};
}

// The origin of a spatial move: the call's span under the block number in force.
BlockOrigin moveOrigin(const GProcessorNc2& processor, const SourceSpan& span) {
    BlockOrigin origin = processor.origin;
    origin.span = span;
    return origin;
}

} // namespace

void FunctionNativeTransRotx::execute(Stackmachine& machine, const SourceSpan& span) {
    onMachine(machine, [this, &span](auto& m) {
        pushRotation(nc(), m.loadF64(at(frameBase(m), Slot::angle)), {1.0, 0.0, 0.0}, kRotationValueX, span);
    });
}

void FunctionNativeTransRoty::execute(Stackmachine& machine, const SourceSpan& span) {
    onMachine(machine, [this, &span](auto& m) {
        pushRotation(nc(), m.loadF64(at(frameBase(m), Slot::angle)), {0.0, 1.0, 0.0}, kRotationValueY, span);
    });
}

void FunctionNativeTransRotz::execute(Stackmachine& machine, const SourceSpan& span) {
    onMachine(machine, [this, &span](auto& m) {
        pushRotation(nc(), m.loadF64(at(frameBase(m), Slot::angle)), {0.0, 0.0, 1.0}, kRotationValueZ, span);
    });
}

// The axis is a direction: never converted by the length unit.
void FunctionNativeTransRota::execute(Stackmachine& machine, const SourceSpan& span) {
    onMachine(machine, [this, &span](auto& m) {
        const int64_t base = frameBase(m);
        const Point3 axis = loadPoint(m, *this, base, Slot::x, Slot::y, Slot::z, 1.0);
        // Written so that a NaN length fails too.
        checkRuntime(axis.length() > 0.0, "Invalid rotation-axis %s in function '%s'.", axis.toString().c_str(),
                     name().c_str());
        pushRotation(nc(), m.loadF64(at(base, Slot::angle)), axis, kRotationValueX, span);
    });
}

void FunctionNativeTransMirrorX::execute(Stackmachine&, const SourceSpan&) { pushDiagonal(nc(), {-1.0, 1.0, 1.0}); }
void FunctionNativeTransMirrorY::execute(Stackmachine&, const SourceSpan&) { pushDiagonal(nc(), {1.0, -1.0, 1.0}); }
void FunctionNativeTransMirrorZ::execute(Stackmachine&, const SourceSpan&) { pushDiagonal(nc(), {1.0, 1.0, -1.0}); }

void FunctionNativeTransScale::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const double factor = m.loadF64(at(frameBase(m), Slot::factor));
        checkScaleFactor(factor);
        nc().path.axisScale = {factor, factor, factor};
        pushDiagonal(nc(), {factor, factor, factor});
    });
}

void FunctionNativeTransScaleAxis::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t base = frameBase(m);
        const uint32_t axisno = m.loadU32(at(base, Slot::axisno));
        const double factor = m.loadF64(at(base, Slot::factor));
        checkScaleFactor(factor); // before the axis number
        checkRuntime(axisno <= static_cast<uint32_t>(kLastScalableAxis),
                     "Invalid axis number %d set in transscaleaxis. Should be in range 0 to %d.", axisno,
                     kLastScalableAxis);
        nc().setAxisScaling(factor, static_cast<int32_t>(axisno)); // stores the factor, logs, pushes
    });
}

void FunctionNativeTransTranslate::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const Point3 t = loadPoint(m, *this, frameBase(m), Slot::x, Slot::y, Slot::z, mmPerLengthUnit(nc()));
        auto translation = std::make_unique<TransMatrix>();
        translation->setIdentity();
        translation->m[0][3] = t.x;
        translation->m[1][3] = t.y;
        translation->m[2][3] = t.z;
        push(nc(), std::move(translation));
    });
}

void FunctionNativeTransPop::execute(Stackmachine&, const SourceSpan&) {
    TransList& stack = nc().userTransforms();
    const size_t depth = stack.size();
    checkRuntime(depth != 0, "Invalid pop on empty transformation-stack in '%s'", name().c_str());
    stack.truncate(depth - 1);
}

void FunctionNativeTransDepth::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        // A stack deeper than a UINT holds is not provided for.
        m.storeU16(at(frameBase(m), Slot::result), static_cast<uint16_t>(nc().userTransforms().size()));
    });
}

void FunctionNativeTransRestore::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const uint16_t depth = m.loadU16(at(frameBase(m), Slot::depth));
        TransList& stack = nc().userTransforms();
        checkRuntime(depth <= stack.size(),
                     "The transformation-stack of depth %d can not be reduced to depth %d in function '%s'.",
                     static_cast<int32_t>(stack.size()), static_cast<int32_t>(depth), name().c_str());
        stack.truncate(depth);
    });
}

void FunctionNativeFrameGet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t base = frameBase(m);
        const Pose pose = nc().programPose(); // "Matrix can not be inverted" for a singular stack
        const double length = mmPerLengthUnit(nc());
        const double angle = radPerAngleUnit(nc());
        const std::array<std::pair<Slot, double>, 6> outputs{{{Slot::x, pose.x / length},
                                                              {Slot::y, pose.y / length},
                                                              {Slot::z, pose.z / length},
                                                              {Slot::a, pose.a / angle},
                                                              {Slot::b, pose.b / angle},
                                                              {Slot::c, pose.c / angle}}};
        for (const auto& [slot, value] : outputs) m.storeF64(at(base, slot), value);
    });
}

// q values are never converted.
void FunctionNativeQaxisGet::execute(Stackmachine& machine, const SourceSpan&) {
    onMachine(machine, [this](auto& m) {
        const int64_t base = frameBase(m);
        const std::vector<double>& q = nc().interpolation().current();
        const std::array<Slot, 5> slots{Slot::q1, Slot::q2, Slot::q3, Slot::q4, Slot::q5};
        for (size_t i = 0; i < slots.size(); ++i) m.storeF64(at(base, slots[i]), q.at(i));
    });
}

void FunctionNativeMoveCircle3d::execute(Stackmachine& machine, const SourceSpan& span) {
    onMachine(machine, [this, &span](auto& m) {
        const std::array<double, 3>& s = nc().path.axisScale;
        // Written so that a NaN factor counts as unequal.
        checkRuntime(s[0] == s[1] && s[1] == s[2],
                     "Scaling with different factors is not permitted in combination with circles");
        const int64_t base = frameBase(m);
        const double length = mmPerLengthUnit(nc());
        const Point3 centre = loadPoint(m, *this, base, Slot::cx, Slot::cy, Slot::cz, length);
        // The normal is a direction: never converted by the length unit.
        const Point3 normal = loadPoint(m, *this, base, Slot::nx, Slot::ny, Slot::nz, 1.0);
        checkRuntime(normal.length() > 0.0, "Invalid normal vector %s in function '%s'.",
                     normal.toString().c_str(), name().c_str());
        const double angle = m.loadF64(at(base, Slot::angle)) * radPerAngleUnit(nc());
        const double height = m.loadF64(at(base, Slot::height)) * length;
        nc().canvas().arcByAngle(centre, normal, angle, height, moveOrigin(nc(), span), nc().key());
        nc().nextBlock();
        if (nc().recordingForBuiltins()) nc().records.recordModalG4(span);
    });
}

namespace {

// The curve from the current pose to the target through the inner control points, a
// block of its own. Checks nothing: the points go through whatever the stack is.
template <size_t InnerPoints, class Native, class Machine, class Slot>
void moveBezier(Native& native, GProcessorNc2& processor, Machine& m, const SourceSpan& span,
                const std::array<Slot, 3 * (InnerPoints + 1)>& slots) {
    const int64_t base = native.frameBase(m);
    const double length = mmPerLengthUnit(processor);
    const Point3 target = loadPoint(m, native, base, slots[0], slots[1], slots[2], length);
    std::array<Point3, InnerPoints> inner;
    for (size_t i = 0; i < InnerPoints; ++i)
        inner[i] = loadPoint(m, native, base, slots[3 * i + 3], slots[3 * i + 4], slots[3 * i + 5], length);
    processor.canvas().bezierTo(target, inner, moveOrigin(processor, span), processor.key());
    processor.nextBlock();
}

} // namespace

void FunctionNativeMoveBezier3::execute(Stackmachine& machine, const SourceSpan& span) {
    onMachine(machine, [this, &span](auto& m) {
        moveBezier<2>(*this, nc(), m, span,
                      std::array{Slot::x, Slot::y, Slot::z, Slot::cx1, Slot::cy1, Slot::cz1, Slot::cx2, Slot::cy2,
                                 Slot::cz2});
    });
}

void FunctionNativeMoveBezier5::execute(Stackmachine& machine, const SourceSpan& span) {
    onMachine(machine, [this, &span](auto& m) {
        moveBezier<4>(*this, nc(), m, span,
                      std::array{Slot::x, Slot::y, Slot::z, Slot::cx1, Slot::cy1, Slot::cz1, Slot::cx2, Slot::cy2,
                                 Slot::cz2, Slot::cx3, Slot::cy3, Slot::cz3, Slot::cx4, Slot::cy4, Slot::cz4});
    });
}

} // namespace Karsto
