#include "geometry/pproc.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "geometry/ncmd.h"
#include "geometry/ncmd_queue.h"

namespace Karsto {

namespace {

// Added to every limit so that a value equal to the limit within rounding counts as equal.
constexpr double kLimitTolerance = 1e-6;
// Dot products of unit vectors this far outside [-1, 1] are rounding noise.
constexpr double kAcosTolerance = 1e-8;

// The tangent pointed along itself with the element's length: the way the break test
// weighs a direction by how far the element goes. A zero tangent stays zero.
Point3 lengthTangent(const Point3& tangent, double length) {
    const double norm = tangent.length();
    const Point3 unit = norm != 0.0 ? Point3::divided(tangent, norm) : tangent;
    return Point3::scale(unit, length);
}

// The angle between two directions of non-zero length.
double angleBetween(const Point3& a, const Point3& b) {
    return clampedAcos(Point3::dot(Point3::divided(a, a.length()), Point3::divided(b, b.length())),
                       kAcosTolerance);
}

// The four control points of a cubic, without building the polygon.
std::array<Point3, 4> cubicPolygon(const GeoBezier& b) {
    return {b.start().position(), b.innerPoints()[0], b.innerPoints()[1], b.end().position()};
}

} // namespace

void PProc::flushAll() {
    flush();
    if (next_ != nullptr) next_->flushAll();
}

void PProcBreakdetect::process(std::unique_ptr<Geo> element) {
    const double length = element->length();
    const Point3 t = lengthTangent(element->startTangent(), length);
    const double tLength = t.length();
    const double previousLength = previousTangent_.length();
    const bool corner = previousLength > kDegenerateLength && tLength > kDegenerateLength &&
                        angleBetween(t, previousTangent_) + kLimitTolerance > breakAngle_;
    // The rest of the chain hands on what it holds; this stage's own tangent stays.
    if (tLength + kLimitTolerance > breakLength_ ||
        previousLength + kLimitTolerance > breakLength_ || corner)
        next_->flushAll();
    const Point3 e = lengthTangent(element->endTangent(), length);
    if (e.length() > kDegenerateLength) previousTangent_ = e;
    handOn(std::move(element));
}

void PProcBreakdetect::reset() {
    previousTangent_ = Point3();
    setLimits(0.0, 0.0);
}

template <class Element>
void PProcMerging<Element>::process(std::unique_ptr<Geo> element) {
    if (dynamic_cast<Element*>(element.get()) == nullptr) {
        flush();
        handOn(std::move(element));
        return;
    }
    std::unique_ptr<Element> next(static_cast<Element*>(element.release()));
    if (!held_) {
        owner_.keyHold(next->key());
        held_ = std::move(next);
        return;
    }
    if (std::unique_ptr<Element> joined = merged(*held_, *next)) {
        // The joined element carries the held key, which stays held.
        held_ = std::move(joined);
        return;
    }
    std::unique_ptr<Element> previous = std::exchange(held_, std::move(next));
    const BlockKey previousKey = previous->key();
    handOn(std::move(previous));
    // The new key goes in before the old one leaves, so the limit cannot pass the new block.
    owner_.keyHold(held_->key());
    owner_.keyRelease(previousKey);
}

template <class Element>
void PProcMerging<Element>::flush() {
    if (!held_) return;
    const BlockKey key = held_->key();
    handOn(std::move(held_));
    owner_.keyRelease(key);
}

template class PProcMerging<GeoLine>;
template class PProcMerging<GeoBezier>;

std::unique_ptr<GeoLine> PProcLinemerge::merged(const GeoLine& held, const GeoLine& next) const {
    bool merge = held.length() <= kDegenerateLength || next.length() <= kDegenerateLength;
    if (!merge) {
        const Point3 hs = held.start().position();
        const Point3 he = held.end().position();
        const Point3 ns = next.start().position();
        const Point3 ne = next.end().position();
        const Point3 chord = Point3::sub(ne, hs);
        // The distance of the joint from the merged line. A chord of length 0 gives NaN or
        // infinity, which the positive comparisons below turn into "no merge".
        const double deviation =
            Point3::cross(Point3::sub(he, hs), chord).length() / chord.length();
        const double angle = angleBetween(next.startTangent(), held.startTangent());
        merge = deviation <= mergeDiff_ + kLimitTolerance &&
                angle <= breakAngle_ + kLimitTolerance &&
                Point3::sub(ne, ns).length() <= breakLength_ + kLimitTolerance;
    }
    if (!merge) return nullptr;
    return std::make_unique<GeoLine>(held.start(), next.end(), held.feed(), held.origin(),
                                     held.key());
}

void PProcBezierifier::hold(std::unique_ptr<GeoLine> line) {
    owner_.keyHold(line->key());
    lines_[count_++] = std::move(line);
}

void PProcBezierifier::dropFirst() {
    const BlockKey key = lines_[0]->key();
    std::rotate(lines_.begin(), lines_.begin() + 1, lines_.begin() + static_cast<ptrdiff_t>(count_));
    lines_[--count_].reset();
    owner_.keyRelease(key);
}

void PProcBezierifier::process(std::unique_ptr<Geo> element) {
    if (dynamic_cast<GeoLine*>(element.get()) == nullptr) {
        flush();
        handOn(std::move(element));
        return;
    }
    hold(std::unique_ptr<GeoLine>(static_cast<GeoLine*>(element.release())));
    if (count_ < 3) return;
    const Point3 p0 = line(0).start().position();
    const Point3 p1 = line(0).end().position();
    const Point3 p2 = line(1).end().position();
    const Point3 p3 = line(2).end().position();
    if (atStart_) {
        handOn(bsplineToBezier({Point3::sub(Point3::scale(p0, 2.0), p1), p0, p1, p2}, line(0)));
        atStart_ = false;
    }
    handOn(bsplineToBezier({p0, p1, p2, p3}, line(1)));
    dropFirst();
}

void PProcBezierifier::flush() {
    if (count_ == 2) {
        const Point3 p0 = line(0).start().position();
        const Point3 p1 = line(0).end().position();
        const Point3 p2 = line(1).end().position();
        if (atStart_)
            handOn(bsplineToBezier({Point3::sub(Point3::scale(p0, 2.0), p1), p0, p1, p2}, line(0)));
        handOn(bsplineToBezier({p0, p1, p2, Point3::sub(Point3::scale(p2, 2.0), p1)}, line(1)));
    } else if (count_ == 1) {
        handOn(line(0).clone());
    }
    while (count_ > 0) dropFirst();
    atStart_ = true;
}

void PProcBezierifier::reset() {
    for (size_t i = 0; i < count_; ++i) lines_[i].reset();
    count_ = 0;
    atStart_ = true;
}

std::unique_ptr<GeoBezier> PProcBeziermerge::merged(const GeoBezier& held,
                                                    const GeoBezier& next) const {
    // Only two cubics can continue each other; a quintic passes unmerged.
    if (held.degree() != 3 || next.degree() != 3) return nullptr;
    const auto [h0, h1, h2, h3] = cubicPolygon(held);
    const std::array<Point3, 4> n = cubicPolygon(next);
    // The held curve's polygon continued over a parameter interval of the same length.
    const Point3 h3h2 = Point3::sub(h3, h2);
    const std::array<Point3, 4> r = {
        h3,
        Point3::sub(Point3::scale(h3, 2.0), h2),
        Point3::add(h1, Point3::scale(h3h2, 4.0)),
        Point3::sub(Point3::add(Point3::sub(Point3::scale(h3, 8.0), Point3::scale(h2, 12.0)),
                                Point3::scale(h1, 6.0)),
                    h0),
    };
    double deviation = 0.0;
    for (size_t i = 0; i < 4; ++i)
        deviation = std::max(deviation, Point3::sub(n[i], r[i]).length());
    const double legN = Point3::sub(n[1], n[0]).length();
    const double legH = h3h2.length();
    if (!(mergeDiff_ > deviation && legN > kDegenerateLength && legH > kDegenerateLength))
        return nullptr;
    const double k = legN / legH;
    std::vector<Point3> inner = {
        Point3::sub(Point3::scale(h1, k + 1.0), Point3::scale(h0, k)),
        Point3::divided(Point3::sub(Point3::scale(n[2], k + 1.0), n[3]), k),
    };
    return std::make_unique<GeoBezier>(held.start(), next.end(), std::move(inner), held.feed(),
                                       held.origin(), held.key());
}

void PProcSink::process(std::unique_ptr<Geo> element) {
    owner_.insert(std::make_unique<NCmdGeo>(std::move(element)));
}

std::unique_ptr<GeoBezier> bsplineToBezier(const std::array<Point3, 4>& p, const Geo& source) {
    // Row i gives Bezier control point i as weights of the four B-spline control points.
    static constexpr double kMatrix[4][4] = {
        {1.0 / 6.0, 2.0 / 3.0, 1.0 / 6.0, 0.0},
        {0.0, 2.0 / 3.0, 1.0 / 3.0, 0.0},
        {0.0, 1.0 / 3.0, 2.0 / 3.0, 0.0},
        {0.0, 1.0 / 6.0, 2.0 / 3.0, 1.0 / 6.0},
    };
    std::array<Point3, 4> b;
    for (size_t i = 0; i < 4; ++i)
        for (size_t j = 0; j < 4; ++j) b[i] = Point3::add(b[i], Point3::scale(p[j], kMatrix[i][j]));
    return std::make_unique<GeoBezier>(Pose(b[0], Point3()), Pose(b[3], Point3()),
                                       std::vector<Point3>{b[1], b[2]}, source.feed(),
                                       source.origin(), source.key());
}

} // namespace Karsto
