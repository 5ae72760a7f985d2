// Tool radius compensation: the held contour is replaced by the path of the tool centre
// beside it, with an approach, corner elements between the shifted elements, and a depart.

#include "geometry/radius_compensation.h"

#include <cmath>
#include <utility>
#include <vector>

#include "core/exception.h"
#include "geometry/canvas6d.h"
#include "geometry/geo_bezier.h"
#include "geometry/geo_helix.h"
#include "geometry/geo_line.h"

namespace Karsto {

namespace {

// Tangents and corner distances closer than this count as equal or as none.
constexpr double kPlaneTolerance = 1e-4;
// Snap of the cosine of a corner angle: rounding noise of unit vectors.
constexpr double kCornerCosineSnap = 1e-8;

// The sub-number offsets of the elements compensation inserts, relative to the key of the
// element they precede (approach and depart: of the first and last collected element).
constexpr double kApproachLine = -1.0;
constexpr double kFirstCorner = -2.0;
constexpr double kCornerArc = -1.7;
constexpr double kIrregularArc = -1.5;
constexpr double kSecondExtension = -1.3;
constexpr double kDepart = 1.0;

BlockKey withSubOffset(const BlockKey& key, double offset) { return {key.counter, key.sub + offset}; }

Point3 sideShift(const Point3& m, const Point3& tangent, double r) {
    return Point3::scale(Point3::cross(m, tangent).normalized(), r);
}

// The circle of the given radius in the plane of normal that touches p with the
// direction tangent, turning right-handed about normal.
struct TangentCircle {
    TangentCircle(const Point3& p, const Point3& normal, const Point3& tangent, double radius)
        : axis(normal.normalized()),
          fromCentre(Point3::scale(Point3::cross(tangent, normal).normalized(), radius)),
          centre(Point3::sub(p, fromCentre)) {}

    // The point of the circle reached from p by turning angle about the axis.
    Point3 turned(double angle) const {
        return Point3::add(centre, fromCentre.rotatedAbout(Point3::scale(axis, angle)));
    }

    Point3 axis;
    Point3 fromCentre;
    Point3 centre;
};

void checkBezierLeg(bool ok) {
    checkRuntime(ok, "Parallel transformation can not be applied to degenerated bezier-curve.");
}

} // namespace

void shiftBezierPolygon(std::span<Point3> polygon, const Point3& offsetVector) {
    checkBezierLeg(polygon.size() >= 2);
    const double r = offsetVector.length();
    const size_t k = polygon.size() - 1;
    // One leg per point: the last leg serves the end point too.
    std::vector<Point3> legs(k + 1);
    for (size_t j = 0; j < k; ++j) legs[j] = Point3::sub(polygon[j + 1], polygon[j]);
    legs[k] = legs[k - 1];
    for (size_t j = k; j-- > 0;) {
        if (legs[j].length() < kDegenerateLength) legs[j] = legs[j + 1];
    }
    checkBezierLeg(legs[0].length() > kDegenerateLength);
    Point3 prev = legs[0].normalized();
    for (size_t j = 0; j <= k; ++j) {
        const Point3 u = legs[j].length() < kDegenerateLength ? prev : legs[j].normalized();
        Point3 b = Point3::add(prev, u);
        checkBezierLeg(b.length() > kDegenerateLength);
        b = b.normalized();
        // The miter: both legs at the corner end up r away.
        const double miter = r / Point3::dot(b, prev);
        polygon[j] = Point3::add(polygon[j], Point3::scale(Point3::cross(offsetVector, b).normalized(), miter));
        prev = u;
    }
}

void Canvas6d::setParallelPath(const Point3& offsetVector, double offset, double approachRadius,
                               double approachAngle, double departRadius, double departAngle,
                               uint64_t limit) {
    RadiusCompensationState& c = compensation_;
    if (!(offsetVector.length() > 0.0)) {
        if (c.active) computeParallelPath();
        return;
    }
    if (c.active) computeParallelPath();
    beginCollection();
    c.active = true;
    // A mirroring stack swaps left and right; a determinant of -0.0 counts as mirroring.
    const bool mirrors = std::signbit(transformations_.matrix().determinant());
    c.offsetVector = mirrors ? Point3::scale(offsetVector, -1.0) : offsetVector;
    c.offset = offset;
    c.approachRadius = approachRadius;
    c.approachAngle = approachAngle;
    c.departRadius = departRadius;
    c.departAngle = departAngle;
    c.limitSet = limit != 0;
    c.limit = limit;
}

std::unique_ptr<GeoHelix> Canvas6d::approachArc(const Pose& end, const Point3& normal,
                                                const Point3& tangent, const BlockOrigin& origin,
                                                const BlockKey& key, double radius,
                                                double angle) const {
    if (radius * angle == 0.0) return nullptr;
    const TangentCircle circle(end.position(), normal, tangent, radius);
    return std::make_unique<GeoHelix>(Pose(circle.turned(-angle), end.rotary()), end, circle.centre,
                                      normal, feed_, origin, key, angle);
}

std::unique_ptr<GeoHelix> Canvas6d::departArc(const Pose& start, const Point3& normal,
                                              const Point3& tangent, const BlockOrigin& origin,
                                              const BlockKey& key, double radius,
                                              double angle) const {
    if (radius * angle == 0.0) return nullptr;
    const TangentCircle circle(start.position(), normal, tangent, radius);
    return std::make_unique<GeoHelix>(start, Pose(circle.turned(angle), start.rotary()),
                                      circle.centre, normal, feed_, origin, key, angle);
}

void Canvas6d::insertCorner(const Pose& previousEnd, const Pose& nextStart,
                            const Point3& nextTangent, const Point3& corner,
                            const Point3& offsetVector, const FeedParams& feed,
                            const BlockOrigin& origin, const BlockKey& key) {
    const Point3& m = offsetVector;
    const Point3 pb = previousEnd.position();
    const Point3 pf = nextStart.position();
    if (Point3::sub(pb, pf).length() < kDegenerateLength) return;
    const Point3 b = Point3::sub(pb, corner);
    const Point3 f = Point3::sub(pf, corner);
    const double rb = b.rejectFrom(m).length();
    const double rf = f.rejectFrom(m).length();
    if (std::fabs(rf - rb) < kPlaneTolerance) {
        // Both shifted points on one circle about the corner. A U-turn (b x f = 0) turns
        // by -pi.
        double angle = clampedAcos(Point3::dot(f.normalized(), b.normalized()), kCornerCosineSnap);
        if (!(Point3::dot(Point3::cross(b, f), m) > kPlaneTolerance)) angle = -angle;
        const double offset = compensation_.offset;
        if (offset == 0.0) {
            addGeo(std::make_unique<GeoHelix>(previousEnd, nextStart, corner, m, feed, origin,
                                              withSubOffset(key, kFirstCorner), angle));
            return;
        }
        // Straight extensions along both directions of motion, joined by an arc tangent to
        // both. Parallel b and f give no centre (NaN), which the arc refuses.
        const Point3 e1 = Point3::scale(Point3::cross(b, m).normalized(), offset);
        const Point3 e2 = Point3::scale(Point3::cross(m, f).normalized(), offset);
        const Point3 s = Point3::add(e1, e2);
        const Point3 q = Point3::sub(e1, e2);
        const Point3 centre = Point3::add(
            corner, Point3::scale(s, (Point3::dot(q, q) / Point3::dot(s, s) + 1.0) / 2.0));
        const Pose p1(Point3::add(pb, e1), previousEnd.rotary());
        const Pose p2(Point3::add(pf, e2), nextStart.rotary());
        auto arc = std::make_unique<GeoHelix>(p1, p2, centre, m, feed, origin,
                                              withSubOffset(key, kCornerArc), angle);
        addGeo(std::make_unique<GeoLine>(previousEnd, p1, feed, origin, withSubOffset(key, kFirstCorner)));
        addGeo(std::move(arc));
        addGeo(std::make_unique<GeoLine>(p2, nextStart, feed, origin, withSubOffset(key, kSecondExtension)));
        return;
    }
    const double radius = compensation_.approachRadius;
    double angle = compensation_.approachAngle;
    if (radius * angle < kDegenerateLength) {
        addGeo(std::make_unique<GeoLine>(previousEnd, nextStart, feed, origin,
                                         withSubOffset(key, kFirstCorner)));
        return;
    }
    // An arc of the approach radius that arrives at the shifted start from beyond it.
    if (Point3::dot(Point3::cross(m, f), nextTangent) > 0.0) angle = -angle;
    const Point3 w = Point3::scale(f.normalized(), -radius);
    const Point3 centre = Point3::sub(pf, w);
    const Pose arcStart(Point3::add(centre, w.rotatedAbout(Point3::scale(m.normalized(), -angle))),
                        previousEnd.rotary());
    auto arc = std::make_unique<GeoHelix>(arcStart, nextStart, centre, m, feed, origin,
                                          withSubOffset(key, kIrregularArc), angle);
    addGeo(std::make_unique<GeoLine>(previousEnd, arcStart, feed, origin, withSubOffset(key, kFirstCorner)));
    addGeo(std::move(arc));
}

void Canvas6d::computeParallelPath() {
    RadiusCompensationState& c = compensation_;
    c.active = false;
    const std::vector<std::unique_ptr<Geo>> collected = std::move(held_);
    held_.clear();
    const Point3 m = c.offsetVector;
    const double r = m.length();
    const size_t n = collected.size();

    // The first direction that moves in the plane; the first element only leads to it.
    Point3 tangent;
    bool found = false;
    for (size_t i = 1; i < n && !found; ++i) {
        tangent = collected[i]->startTangent().rejectFrom(m);
        found = tangent.length() > kPlaneTolerance;
    }
    checkRuntime(found, "Parallel path can not be determined.");

    const Geo& first = *collected.front();
    Point3 previousShift = sideShift(m, tangent, r);
    const Pose begin(Point3::add(first.end().position(), previousShift), first.end().rotary());
    if (auto arc = approachArc(begin, m, tangent, first.origin(), first.key(), c.approachRadius,
                               c.approachAngle)) {
        addGeo(std::make_unique<GeoLine>(first.start(), arc->start(), feed_, first.origin(),
                                         withSubOffset(first.key(), kApproachLine)));
        addGeo(std::move(arc));
    } else {
        addGeo(std::make_unique<GeoLine>(first.start(), begin, feed_, first.origin(), first.key()));
    }
    // The approach stays out of the examined elements.
    if (c.limitSet) beginCollisionElimination(m, c.limit);

    Point3 previousEnd = begin.position();
    Point3 previousTangent = tangent;
    for (size_t i = 1; i < n; ++i) {
        const Geo& e = *collected[i];
        const Point3 corner = e.start().position();
        const Pose cornerStart(previousEnd, e.start().rotary());
        if (dynamic_cast<const GeoLine*>(&e) != nullptr) {
            Point3 t = e.startTangent();
            Point3 shift;
            // A line along the offset vector keeps the side of the element before it.
            if (Point3::cross(m, t).length() > kDegenerateLength) {
                shift = sideShift(m, t, r);
            } else {
                t = previousTangent;
                shift = previousShift;
            }
            const Pose from(Point3::add(e.start().position(), shift), e.start().rotary());
            const Pose to(Point3::add(e.end().position(), shift), e.end().rotary());
            insertCorner(cornerStart, from, t, corner, m, e.feed(), e.origin(), e.key());
            addGeo(std::make_unique<GeoLine>(from, to, e.feed(), e.origin(), e.key()));
            previousTangent = t;
            previousShift = shift;
            previousEnd = to.position();
        } else if (const auto* h = dynamic_cast<const GeoHelix*>(&e)) {
            checkRuntime(std::fabs(std::fabs(Point3::dot(m.normalized(), h->normal())) - 1.0) <
                             kPlaneTolerance,
                         "Circle/helix does not lie in plane for parallel transformation");
            const Point3 ts = h->startTangent();
            const Point3 te = h->endTangent();
            const Point3 s0 = sideShift(m, ts, r);
            const Point3 s1 = sideShift(m, te, r);
            const Pose from(Point3::add(e.start().position(), s0), e.start().rotary());
            const Pose to(Point3::add(e.end().position(), s1), e.end().rotary());
            // The programmed feed is meant on the contour: scale it to the tool centre's
            // radius (always, or only where that is smaller).
            FeedParams feed = e.feed();
            const double radius = h->radius();
            const double rho = Point3::sub(from.position(), h->centre()).length();
            const FeedMode mode = c.feedMode;
            if ((radius > 0.0 && mode == FeedMode::contour) ||
                (mode == FeedMode::internalRadius && rho < radius)) {
                feed.velocity *= rho / radius;
            }
            insertCorner(cornerStart, from, ts, corner, m, e.feed(), e.origin(), e.key());
            addGeo(std::make_unique<GeoHelix>(from, to, h->centre(), h->normal(), feed, e.origin(),
                                              e.key(), h->angle()));
            previousTangent = te;
            previousShift = s1;
            previousEnd = to.position();
        } else {
            const auto& bezier = static_cast<const GeoBezier&>(e);
            std::vector<Point3> polygon = bezier.controlPoints();
            shiftBezierPolygon(polygon, m);
            const Pose from(polygon.front(), e.start().rotary());
            const Pose to(polygon.back(), e.end().rotary());
            insertCorner(cornerStart, from, e.startTangent(), corner, m, e.feed(), e.origin(),
                         e.key());
            std::vector<Point3> inner(polygon.begin() + 1, polygon.end() - 1);
            addGeo(std::make_unique<GeoBezier>(from, to, std::move(inner), e.feed(), e.origin(),
                                               e.key()));
            previousTangent = e.endTangent();
            previousShift = sideShift(m, previousTangent, r);
            previousEnd = to.position();
        }
    }

    if (c.limitSet) endCollisionElimination();

    const Geo& last = *collected.back();
    const Pose finalEnd(previousEnd, last.end().rotary());
    if (auto depart = departArc(finalEnd, m, previousTangent, last.origin(),
                                withSubOffset(last.key(), kDepart), c.departRadius, c.departAngle)) {
        current_ = depart->end();
        addGeo(std::move(depart));
    } else {
        current_ = finalEnd;
    }
    endCollection();
}

} // namespace Karsto
