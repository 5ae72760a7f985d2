#include "geometry/geo_helix.h"

#include <algorithm>
#include <cmath>
#include <locale>
#include <numbers>
#include <sstream>

#include "core/exception.h"
#include "geometry/trans_matrix.h"

namespace Karsto {

namespace {

// The largest difference of start and end radius that still makes one circle, mm.
constexpr double kRadiusTolerance = 0.001;
// Snap of the cosine in the nearest-point search: rounding noise of unit vectors.
constexpr double kCosineSnap = 1e-8;
// Below this a distance from the axis or a sweep counts as none in the nearest-point
// search, whose formulas divide by both.
constexpr double kNoSweep = 1e-12;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

} // namespace

GeoHelix::GeoHelix(const Pose& start, const Pose& end, const Point3& centre, const Point3& normal,
                   const FeedParams& feed, const BlockOrigin& origin, const BlockKey& key,
                   double angle)
    : Geo(feed, origin, key), centre_(centre), normal_(normal.normalized()), angle_(angle) {
    start_ = start;
    end_ = end;
    height_ = Point3::dot(Point3::sub(end_.position(), start_.position()), normal_);
    updateFrame();
    const double endRadius = Point3::sub(end_.position(), centre_).rejectFrom(normal_).length();
    // Written so that a NaN radius fails too.
    checkRuntime(std::fabs(radius_ - endRadius) < kRadiusTolerance,
                 "Inconsistent radii (%f != %f) in definition of helix", radius_, endRadius);
}

GeoHelix::GeoHelix(const Pose& start, const Point3& centre, const Point3& normal, double angle,
                   double height, const FeedParams& feed, const BlockOrigin& origin,
                   const BlockKey& key)
    : Geo(feed, origin, key), centre_(centre), normal_(normal.normalized()), angle_(angle),
      height_(height) {
    start_ = start;
    updateFrame();
    end_ = Pose(pointAt(1.0), start_.rotary());
}

void GeoHelix::updateFrame() {
    const Point3 s = start_.position();
    const Point3& n = normal_;
    centre_ = Point3::sub(centre_,
                          Point3::scale(n, Point3::dot(Point3::sub(centre_, s), n) / Point3::dot(n, n)));
    const Point3 w = Point3::sub(s, centre_).rejectFrom(n);
    radius_ = w.length();
    if (radius_ < kDegenerateLength) {
        // The start lies on the axis: any vector across the normal will do.
        u_ = std::fabs(n.x - 1.0) > 0.1 ? Point3{0.0, -n.z, n.y} : Point3{n.z, 0.0, -n.x};
    } else {
        u_ = Point3::divided(w, radius_);
    }
    v_ = Point3::cross(n, u_);
}

void GeoHelix::flipNormal() {
    normal_ = Point3::scale(normal_, -1.0);
    angle_ = -angle_;
    height_ = -height_;
    updateFrame();
}

void GeoHelix::transform(const TransMatrix& matrix) {
    start_ = matrix.applyPose(start_);
    end_ = matrix.applyPose(end_);
    centre_ = matrix.applyPoint(centre_);
    normal_ = matrix.applyDirection(normal_).normalized();
    updateFrame();
}

Point3 GeoHelix::pointAt(double t) const {
    const double phi = angle_ * t;
    const Point3 across =
        Point3::add(Point3::scale(u_, std::cos(phi)), Point3::scale(v_, std::sin(phi)));
    return Point3::add(Point3::add(centre_, Point3::scale(across, radius_)),
                       Point3::scale(normal_, height_ * t));
}

double GeoHelix::length() const {
    const double around = radius_ * angle_;
    return std::sqrt(height_ * height_ + around * around);
}

std::string GeoHelix::toString() const {
    std::ostringstream angle;
    angle.imbue(std::locale::classic());
    angle << angle_;
    return "Helix time=" + formatSerial(key_.counter) + " from=" + start_.toString() +
           " to=" + end_.toString() + " center=" + centre_.toString() +
           " normal=" + normal_.toString() + " angle=" + angle.str();
}

std::unique_ptr<Geo> GeoHelix::subElement(double t0, double t1) const {
    return std::make_unique<GeoHelix>(Pose(pointAt(t0), start_.rotary()),
                                      Pose(pointAt(t1), end_.rotary()), centre_, normal_, feed_,
                                      origin_, key_, (t1 - t0) * angle_);
}

double GeoHelix::nearestParameter(const Point3& p) const {
    const Point3 w = Point3::sub(p, centre_).rejectFrom(normal_);
    const double across = w.length();
    // A point on the axis has no angle, and a sweep of zero has no parameter to give.
    if (across <= kNoSweep || std::fabs(angle_) <= kNoSweep) return 0.5;
    const double q = Point3::dot(Point3::divided(w, across), Point3::divided(u_, u_.length()));
    double phi = clampedAcos(q, kCosineSnap);
    if (Point3::dot(v_, w) < 0.0) phi = kTwoPi - phi;
    if (angle_ < 0.0) phi -= kTwoPi;
    const double h =
        height_ > kDegenerateLength
            ? std::clamp(Point3::dot(Point3::sub(p, centre_), normal_) / height_, 0.0, 1.0)
            : 0.5;
    // The turn, kept as doubles: a NaN must not reach an integer conversion.
    const double estimate = std::round((angle_ * h - phi) / kTwoPi);
    const double limit = std::trunc((angle_ - phi + 1e-6) / kTwoPi);
    const double k = angle_ >= 0.0 ? std::min(std::max(estimate, 0.0), limit)
                                   : std::max(std::min(estimate, 0.0), limit);
    const double t = (kTwoPi * k + phi) / angle_;
    if (std::isnan(t)) return 0.5;
    return std::clamp(t, 0.0, 1.0);
}

std::unique_ptr<Geo> GeoHelix::clone() const { return std::unique_ptr<Geo>(new GeoHelix(*this)); }

std::unique_ptr<Geo> GeoHelix::reversed() const {
    return std::make_unique<GeoHelix>(end_, start_, centre_, normal_, feed_, origin_, key_,
                                      -angle_);
}

} // namespace Karsto
