// Circular and helical moves in the working plane, given by a radius or by a centre.

#include <cmath>
#include <numbers>

#include "core/exception.h"
#include "core/log.h"
#include "gcode/gprocessor_nc2.h"
#include "geometry/canvas6d.h"
#include "geometry/trans_list.h"
#include "geometry/trans_matrix.h"

namespace Karsto {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Below this the chord within the plane is no chord, and a radius may exceed half of it.
constexpr double kChordTolerance = 1e-5;
// Below this a radius vector within the plane counts as zero.
constexpr double kCentreTolerance = 1e-4;
// Radii closer than this need no correction.
constexpr double kCorrectionThreshold = 1e-9;
// Start and end closer than this within the plane make a full circle.
constexpr double kFullCircleTolerance = 1e-6;
constexpr double kCosineTolerance = 1e-8;

// The component of v within the plane of the unit normal n, as n x (v x n).
Point3 inPlane(const Point3& v, const Point3& n) { return Point3::cross(n, Point3::cross(v, n)); }

} // namespace

void GProcessorNc2::circleByRadius(const Pose& target, double radius, bool negative,
                                   bool clockwise) {
    const Point3& n = path.planeNormal;
    const TransMatrix& m = canvas_->transformations().matrix();
    const Point3 s = m.inverse().applyPoint(canvas_->current().position());
    const Point3 t = target.position();

    const Point3 d = Point3::sub(t, s);
    const Point3 w = Point3::cross(d, n);
    const double chord = w.length();
    checkRuntime(chord > kChordTolerance,
                 "Invalid circle. Startpoint (%s) and endpoint (%s) are the same with respect to "
                 "the workingplane.",
                 s.toString().c_str(), t.toString().c_str());
    checkRuntime(chord <= 2.0 * radius + kChordTolerance,
                 "Invalid definition of circle. Distance between start-point and end-point (=%f) "
                 "is larger than diameter (=%f).",
                 chord, 2.0 * radius);

    // A radius within the chord tolerance of half the chord leaves h² slightly negative
    // (far below -0.001 for a large radius): the centre then lies on the chord.
    double h2 = radius * radius - chord * chord / 4.0;
    if (h2 < 0.0) h2 = 0.0;
    Point3 off = Point3::scale(Point3::divided(w, chord), std::sqrt(h2));
    // w points to the right of the chord (seen along it, n towards the viewer), where the
    // centre of the short clockwise arc lies.
    if (clockwise == negative) off = Point3::scale(off, -1.0);
    const Point3 centre = Point3::add(Point3::add(s, Point3::scale(d, 0.5)), off);
    circleByCenter(target, centre, clockwise, false);
}

void GProcessorNc2::circleByCenter(const Pose& target, const Point3& centre, bool clockwise,
                                   bool correction) {
    const Point3& n = path.planeNormal;
    const TransMatrix& m = canvas_->transformations().matrix();
    const Point3 s = m.inverse().applyPoint(canvas_->current().position());
    const Point3 t = target.position();

    const Point3 a = inPlane(Point3::sub(s, centre), n);
    const Point3 b = inPlane(Point3::sub(t, centre), n);
    const double rs = a.length();
    const double re = b.length();
    checkRuntime(rs > kCentreTolerance,
                 "Centerpoint of circle is equivalent to startpoint with respect to workingplane.");
    checkRuntime(re > kCentreTolerance,
                 "Centerpoint of circle is equivalent to endpoint with respect to workingplane.");
    const double diff = std::fabs(rs - re);
    checkRuntime(diff < circles.radiusLimit,
                 "Difference between start-radius (%.4f) and end-radius (%.4f) exceeds limit "
                 "(%.4f).",
                 rs, re, circles.radiusLimit);

    if (correction && diff > kCorrectionThreshold) {
        // The mean radius, with the centre kept on the side of the chord it was given on.
        const bool left = Point3::dot(a, Point3::cross(Point3::sub(b, a), n)) > 0.0;
        circleByRadius(target, (rs + re) / 2.0, left == clockwise, clockwise);
        return;
    }

    double angle;
    if (Point3::sub(s, t).rejectFrom(n).length() < kFullCircleTolerance) {
        angle = clockwise ? -kTwoPi : kTwoPi;
    } else {
        const double k = Point3::dot(Point3::divided(a, rs), Point3::divided(b, re));
        double alpha = clampedAcos(k, kCosineTolerance);
        // alpha becomes the clockwise sweep from start to end, 0 to 2 pi.
        if (Point3::dot(Point3::sub(t, centre), Point3::cross(Point3::sub(s, centre), n)) < 0.0)
            alpha = kTwoPi - alpha;
        angle = clockwise ? -alpha : kTwoPi - alpha;
    }

    if (globalLog.enabled(LogLevel::debugGProcessor))
        globalLog.debugGProcessor("MOVE CIRCLE to=%s center=%s normal=%s angle=%f",
                                  target.toString().c_str(), centre.toString().c_str(),
                                  n.toString().c_str(), angle);
    canvas_->arcTo(target, centre, n, angle, origin, key_);
}

} // namespace Karsto
