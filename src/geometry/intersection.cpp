#include "geometry/intersection.h"

#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>

#include "geometry/geo_bezier.h"
#include "geometry/geo_helix.h"
#include "geometry/geo_line.h"

namespace Karsto {

namespace {

constexpr double kFullTurn = 2.0 * std::numbers::pi;
// Closer to the start than this, a point is the start of an arc.
constexpr double kStartAngle = 1e-6;
// Directions whose cross product is at most this are parallel.
constexpr double kParallel = 1e-5;
// How far an arc's normal may lean away from the plane normal and still count as an arc
// of the plane.
constexpr double kNormalTolerance = 1e-4;
// Subdivision: pieces shorter than this (mm) meet; boxes may lie this much further apart
// than the pieces reach.
constexpr double kResolution = 0.001;
constexpr double kReach = 1e-6;
// Finite input reaches the resolution in far fewer halvings; more mean the input is not
// usable, and bound the depth of the box stack.
constexpr int kMaxHalvings = 200;
constexpr int kBezierChords = 64;

double cross2(const Point3& a, const Point3& b) { return a.x * b.y - a.y * b.x; }

double angleOf(const Point3& d) { return std::atan2(d.y, d.x); }

// Orders the points of a closed form by validity and counts the valid ones.
Candidates finish(Candidates c) {
    const auto isValid = [](const Meeting& m) {
        return m.tA >= 0.0 && m.tA <= 1.0 && m.tB >= 0.0 && m.tB <= 1.0;
    };
    bool valid[2] = {false, false};
    for (int i = 0; i < c.count; ++i) valid[i] = isValid(c.at[i]);
    if (c.count == 2 && !valid[0] && valid[1]) {
        std::swap(c.point[0], c.point[1]);
        std::swap(c.at[0], c.at[1]);
        std::swap(valid[0], valid[1]);
    }
    c.valid = static_cast<int>(valid[0]) + static_cast<int>(valid[1]);
    return c;
}

// The plane perpendicular to a normal, with coordinates in which the normal is +z. The
// frame vectors are orthogonal but u and v keep the length of the normal's tilt, so plane
// lengths are scaled uniformly by one factor, which parameters do not see.
struct PlaneFrame {
    Point3 u;
    Point3 v;
    Point3 n;

    explicit PlaneFrame(const Point3& normal) {
        n = Point3::divided(normal, normal.length());
        u = std::fabs(n.z) < 0.7 ? Point3{-n.y, n.x, 0.0} : Point3{0.0, -n.z, n.y};
        v = Point3::cross(n, u);
    }

    // The inverse of the matrix with the columns u, v, n.
    Point3 toPlane(const Point3& p) const {
        return {Point3::dot(p, u) / Point3::dot(u, u), Point3::dot(p, v) / Point3::dot(v, v),
                Point3::dot(p, n)};
    }
};

// An element as the closed forms see it, in plane coordinates.
struct PlaneShape {
    enum class Kind : uint8_t {
        line = 0,
        arc = 1,
        other = 2, // searched by subdivision
    };
    Kind kind = Kind::other;
    Point3 p0;
    Point3 p1;
    PlaneArc arc;
};

PlaneShape shapeOf(const Geo& g, const PlaneFrame& frame) {
    PlaneShape shape;
    if (const auto* line = dynamic_cast<const GeoLine*>(&g)) {
        shape.kind = PlaneShape::Kind::line;
        shape.p0 = frame.toPlane(line->start().position());
        shape.p1 = frame.toPlane(line->end().position());
    } else if (const auto* helix = dynamic_cast<const GeoHelix*>(&g)) {
        const Point3 start = frame.toPlane(helix->start().position());
        Point3 centre = frame.toPlane(helix->centre());
        Point3 normal = frame.toPlane(helix->normal()).normalized();
        double angle = helix->angle();
        // The centre into the plane of the start, as the arc's own frame keeps it.
        centre = Point3::sub(centre, Point3::scale(normal, Point3::dot(Point3::sub(centre, start), normal) /
                                                               Point3::dot(normal, normal)));
        if (normal.z < 0.0) {
            // The same arc turning the other way about +z.
            normal = Point3::scale(normal, -1.0);
            angle = -angle;
        }
        // Written so that a NaN normal falls to the subdivision, which refuses it.
        if (std::fabs(normal.z - 1.0) <= kNormalTolerance) {
            shape.kind = PlaneShape::Kind::arc;
            shape.arc = {centre, start, angle};
        }
    }
    return shape;
}

// The length of the element seen along normal: what one parameter unit can reach at most.
double planeScale(const Geo& g, const Point3& normal) {
    if (dynamic_cast<const GeoLine*>(&g) != nullptr) {
        return Point3::sub(g.end().position(), g.start().position()).rejectFrom(normal).length();
    }
    if (const auto* helix = dynamic_cast<const GeoHelix*>(&g)) {
        return Point3::scale(helix->normal(), helix->height()).rejectFrom(normal).length() +
               std::fabs(helix->angle() * helix->radius());
    }
    double total = 0.0;
    Point3 previous = g.pointAt(0.0);
    for (int i = 1; i <= kBezierChords; ++i) {
        const Point3 next = g.pointAt(static_cast<double>(i) / kBezierChords);
        total += Point3::sub(next, previous).rejectFrom(normal).length();
        previous = next;
    }
    return total;
}

// Whether the angle theta lies on the sweep from 0 to sweep (either sense).
bool onSweep(double theta, double sweep) {
    if (std::fabs(sweep) >= kFullTurn) return true;
    double t = std::fmod(sweep >= 0.0 ? theta : -theta, kFullTurn);
    if (t < 0.0) t += kFullTurn;
    return t <= std::fabs(sweep);
}

// The smallest box around points and arcs, one coordinate interval at a time. NaN is
// tracked apart because fmin and fmax pass over it.
class BoxBuilder {
public:
    void point(double x, double y) {
        extend(0, x);
        extend(1, y);
    }
    // The curve c + a cos(phi) + b sin(phi) for phi from 0 to sweep (an arc, or its image
    // in a plane, an ellipse arc).
    void arc(const Point3& c, const Point3& a, const Point3& b, double sweep) {
        point(c.x + a.x, c.y + a.y);
        point(c.x + a.x * std::cos(sweep) + b.x * std::sin(sweep),
              c.y + a.y * std::cos(sweep) + b.y * std::sin(sweep));
        const double centre[2] = {c.x, c.y};
        const double cosPart[2] = {a.x, a.y};
        const double sinPart[2] = {b.x, b.y};
        for (int axis = 0; axis < 2; ++axis) {
            // The coordinate is centre + amplitude cos(phi - top).
            const double top = std::atan2(sinPart[axis], cosPart[axis]);
            const double amplitude = std::hypot(cosPart[axis], sinPart[axis]);
            if (onSweep(top, sweep)) extend(axis, centre[axis] + amplitude);
            if (onSweep(top + std::numbers::pi, sweep)) extend(axis, centre[axis] - amplitude);
            nan_ = nan_ || std::isnan(top);
        }
    }
    PlaneBox box() const {
        if (nan_ || !any_[0] || !any_[1]) {
            const double q = std::numeric_limits<double>::quiet_NaN();
            return {q, q, q, q};
        }
        return {lo_[0], lo_[1], hi_[0], hi_[1]};
    }

private:
    void extend(int axis, double value) {
        nan_ = nan_ || std::isnan(value);
        if (!any_[axis]) {
            lo_[axis] = hi_[axis] = value;
            any_[axis] = true;
            return;
        }
        lo_[axis] = std::fmin(lo_[axis], value);
        hi_[axis] = std::fmax(hi_[axis], value);
    }

    double lo_[2] = {0.0, 0.0};
    double hi_[2] = {0.0, 0.0};
    bool any_[2] = {false, false};
    bool nan_ = false;
};

} // namespace

PlaneBox planeBox(const Geo& g, const Point3& normal) {
    const Point3 n = normal.normalized();
    const Point3 u =
        (std::fabs(n.z) < 0.7 ? Point3{-n.y, n.x, 0.0} : Point3{0.0, -n.z, n.y}).normalized();
    const Point3 v = Point3::cross(n, u);
    const auto image = [&](const Point3& p) { return Point3{Point3::dot(p, u), Point3::dot(p, v), 0.0}; };
    BoxBuilder box;
    const auto point = [&](const Point3& p) {
        const Point3 i = image(p);
        box.point(i.x, i.y);
    };
    point(g.start().position());
    point(g.end().position());
    if (const auto* helix = dynamic_cast<const GeoHelix*>(&g)) {
        // The swept circle, shifted along the whole lift: the helix lies in between.
        const Point3 a = Point3::scale(image(helix->u()), helix->radius());
        const Point3 b = Point3::scale(image(helix->v()), helix->radius());
        const Point3 lift = Point3::scale(helix->normal(), helix->height());
        box.arc(image(helix->centre()), a, b, helix->angle());
        box.arc(image(Point3::add(helix->centre(), lift)), a, b, helix->angle());
        // And the arc as the closed forms take it: a circle in the plane through the start.
        // Plane coordinates are these divided by |u| of the plane frame.
        const PlaneFrame frame(normal);
        const PlaneShape shape = shapeOf(*helix, frame);
        if (shape.kind == PlaneShape::Kind::arc) {
            const double k = frame.u.length();
            const Point3 c{shape.arc.centre.x * k, shape.arc.centre.y * k, 0.0};
            const Point3 r{shape.arc.start.x * k - c.x, shape.arc.start.y * k - c.y, 0.0};
            box.arc(c, r, {-r.y, r.x, 0.0}, shape.arc.angle);
        }
    } else if (const auto* bezier = dynamic_cast<const GeoBezier*>(&g)) {
        // The curve stays within its control polygon.
        for (const Point3& p : bezier->innerPoints()) point(p);
    }
    if (std::isnan(n.x + n.y + n.z)) point({std::numeric_limits<double>::quiet_NaN(), 0.0, 0.0});
    return box.box();
}

double arcParameter(const Point3& x, const PlaneArc& arc) {
    double phi = angleOf(Point3::sub(x, arc.centre)) - angleOf(Point3::sub(arc.start, arc.centre));
    if (phi < 0.0) phi += kFullTurn;
    if (phi < kStartAngle) return 0.0;
    if (arc.angle == 0.0) return std::numeric_limits<double>::infinity();
    if (arc.angle < 0.0) phi -= kFullTurn;
    return phi / arc.angle;
}

Candidates intersectLines(const Point3& p0, const Point3& p1, const Point3& q0, const Point3& q1) {
    Candidates c;
    const Point3 dp = Point3::sub(p1, p0);
    const Point3 dq = Point3::sub(q0, q1);
    const double d = cross2(dp, dq);
    if (!(std::fabs(d) > kParallel)) return c;
    const Point3 w = Point3::sub(q0, p0);
    const double r = cross2(w, dq) / d;
    const double s = cross2(dp, w) / d;
    c.count = 1;
    c.at[0] = {r, s};
    c.point[0] = Point3::add(p0, Point3::scale(dp, r));
    c.point[0].z = 0.0;
    return finish(c);
}

Candidates intersectLineArc(const Point3& p0, const Point3& p1, const PlaneArc& arc) {
    Candidates c;
    const Point3 d{p1.x - p0.x, p1.y - p0.y, 0.0};
    const double dd = Point3::dot(d, d);
    if (arc.angle == 0.0 || dd == 0.0) return c;
    const Point3 toStart = Point3::sub(arc.start, arc.centre);
    const double radiusSquared = toStart.x * toStart.x + toStart.y * toStart.y;
    const double across = cross2(d, Point3::sub(p0, arc.centre));
    const double w = radiusSquared * dd - across * across;
    if (!(w >= 0.0)) return c;
    const double root = std::sqrt(w);
    const Point3 foot{-d.y * across, d.x * across, 0.0};
    c.count = 2;
    for (int i = 0; i < 2; ++i) {
        const double sign = i == 0 ? 1.0 : -1.0;
        const Point3 x = Point3::add(
            Point3{arc.centre.x, arc.centre.y, 0.0},
            Point3::divided(Point3::add(foot, Point3::scale(d, sign * root)), dd));
        c.point[i] = x;
        const Point3 fromP0{x.x - p0.x, x.y - p0.y, 0.0};
        c.at[i] = {Point3::dot(fromP0, d) / dd, arcParameter(x, arc)};
    }
    return finish(c);
}

Candidates intersectArcs(const PlaneArc& a, const PlaneArc& b) {
    Candidates c;
    const auto planeLength = [](const Point3& p) { return std::sqrt(p.x * p.x + p.y * p.y); };
    const double ra = planeLength(Point3::sub(a.start, a.centre));
    const double rb = planeLength(Point3::sub(b.start, b.centre));
    const Point3 between{b.centre.x - a.centre.x, b.centre.y - a.centre.y, 0.0};
    const double g = planeLength(between);
    const double h = (ra + g + rb) / 2.0;
    // Heron's product: the squared area of the triangle of both centres and a meeting point.
    const double product = (h - ra) * h * (h - rb) * (h - g);
    if (!(product > 0.0)) return c;
    const double k = 2.0 * std::sqrt(product) / g;
    const Point3 e = Point3::divided(between, g);
    double along = std::sqrt(std::fmax(ra * ra - k * k, 0.0));
    // An obtuse angle at a's centre puts the foot behind it.
    if (rb * rb > g * g + ra * ra) along = -along;
    const Point3 foot{a.centre.x + e.x * along, a.centre.y + e.y * along, 0.0};
    const Point3 turned{-e.y, e.x, 0.0};
    c.count = 2;
    for (int i = 0; i < 2; ++i) {
        const Point3 x = Point3::add(foot, Point3::scale(turned, i == 0 ? k : -k));
        c.point[i] = x;
        c.at[i] = {arcParameter(x, a), arcParameter(x, b)};
    }
    return finish(c);
}

std::optional<Meeting> intersectBySubdivision(const Geo& a, const Geo& b, const Point3& normal,
                                              ParameterRange ra, ParameterRange rb) {
    struct Box {
        double a0, a1, b0, b1;
        int halvings;
    };
    const double scaleA = planeScale(a, normal);
    const double scaleB = planeScale(b, normal);
    if (!std::isfinite(scaleA) || !std::isfinite(scaleB)) return std::nullopt;
    // Depth first, the lower half next: one pending box per depth at most.
    std::array<Box, kMaxHalvings + 2> stack;
    size_t top = 0;
    stack[top++] = {ra.lo, ra.hi, rb.lo, rb.hi, 0};
    while (top > 0) {
        const Box box = stack[--top];
        const double am = (box.a0 + box.a1) / 2.0;
        const double bm = (box.b0 + box.b1) / 2.0;
        const Point3 pa = a.pointAt(am).rejectFrom(normal);
        const Point3 pb = b.pointAt(bm).rejectFrom(normal);
        const double reachA = (box.a1 - box.a0) * scaleA;
        const double reachB = (box.b1 - box.b0) * scaleB;
        // Kept only when the pieces can reach each other; NaN drops the box.
        if (!(Point3::sub(pa, pb).length() <= (reachA + reachB) / 2.0 + kReach)) continue;
        const bool splitA = reachA > reachB;
        if ((splitA ? reachA : reachB) < kResolution) return Meeting{am, bm};
        if (box.halvings >= kMaxHalvings) return std::nullopt;
        const int halvings = box.halvings + 1;
        if (splitA) {
            stack[top++] = {am, box.a1, box.b0, box.b1, halvings};
            stack[top++] = {box.a0, am, box.b0, box.b1, halvings};
        } else {
            stack[top++] = {box.a0, box.a1, bm, box.b1, halvings};
            stack[top++] = {box.a0, box.a1, box.b0, bm, halvings};
        }
    }
    return std::nullopt;
}

std::optional<Meeting> intersectElements(const Geo& a, const Geo& b, const Point3& normal,
                                         ParameterRange ra, ParameterRange rb) {
    using Kind = PlaneShape::Kind;
    const PlaneFrame frame(normal);
    const PlaneShape sa = shapeOf(a, frame);
    const PlaneShape sb = shapeOf(b, frame);
    Candidates c;
    if (sa.kind == Kind::line && sb.kind == Kind::line) {
        c = intersectLines(sa.p0, sa.p1, sb.p0, sb.p1);
    } else if (sa.kind == Kind::line && sb.kind == Kind::arc) {
        c = intersectLineArc(sa.p0, sa.p1, sb.arc);
    } else if (sa.kind == Kind::arc && sb.kind == Kind::line) {
        // The closed form takes the line first.
        c = intersectLineArc(sb.p0, sb.p1, sa.arc);
        for (Meeting& m : c.at) std::swap(m.tA, m.tB);
    } else if (sa.kind == Kind::arc && sb.kind == Kind::arc) {
        c = intersectArcs(sa.arc, sb.arc);
    } else {
        // On the elements themselves: the search projects along the normal.
        return intersectBySubdivision(a, b, normal, ra, rb);
    }
    if (c.valid == 0) return std::nullopt;
    if (c.valid == 2 && c.at[1].tA < c.at[0].tA) std::swap(c.at[0], c.at[1]);
    for (int i = 0; i < c.valid; ++i) {
        if (ra.contains(c.at[i].tA) && rb.contains(c.at[i].tB)) return c.at[i];
    }
    return std::nullopt;
}

} // namespace Karsto
