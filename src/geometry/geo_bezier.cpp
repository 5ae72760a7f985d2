#include "geometry/geo_bezier.h"

#include <cmath>
#include <string>

#include "geometry/trans_matrix.h"

namespace Karsto {

namespace {

constexpr int kLengthChords = 64;
constexpr int kSearchPasses = 3;
constexpr int kSearchSteps = 100; // 101 samples a pass
// A parameter this close to 0 or 1 counts as the end itself when cutting.
constexpr double kParameterSnap = 1e-6;

double squaredDistance(const Point3& a, const Point3& b) {
    const Point3 d = Point3::sub(a, b);
    return Point3::dot(d, d);
}

} // namespace

GeoBezier::GeoBezier(const Pose& start, const Pose& end, std::vector<Point3> inner,
                     const FeedParams& feed, const BlockOrigin& origin, const BlockKey& key)
    : Geo(feed, origin, key), inner_(std::move(inner)) {
    start_ = start;
    end_ = end;
    updateTangents();
}

void GeoBezier::updateTangents() {
    // The first leg long enough, else the last one computed; none without inner points.
    startTangent_ = Point3();
    for (const Point3& p : inner_) {
        startTangent_ = Point3::sub(p, start_.position());
        if (startTangent_.length() > kDegenerateLength) break;
    }
    endTangent_ = Point3();
    for (auto p = inner_.rbegin(); p != inner_.rend(); ++p) {
        endTangent_ = Point3::sub(end_.position(), *p);
        if (endTangent_.length() > kDegenerateLength) break;
    }
}

std::vector<Point3> GeoBezier::controlPoints() const {
    std::vector<Point3> polygon;
    polygon.reserve(inner_.size() + 2);
    polygon.push_back(start_.position());
    polygon.insert(polygon.end(), inner_.begin(), inner_.end());
    polygon.push_back(end_.position());
    return polygon;
}

std::unique_ptr<GeoBezier> GeoBezier::projected(const Point3& direction) const {
    std::vector<Point3> inner;
    inner.reserve(inner_.size());
    for (const Point3& p : inner_) inner.push_back(p.rejectFrom(direction));
    return std::make_unique<GeoBezier>(
        Pose(start_.position().rejectFrom(direction), start_.rotary()),
        Pose(end_.position().rejectFrom(direction), end_.rotary()), std::move(inner), feed_,
        origin_, key_);
}

void GeoBezier::transform(const TransMatrix& matrix) {
    start_ = matrix.applyPose(start_);
    end_ = matrix.applyPose(end_);
    for (Point3& p : inner_) p = matrix.applyPoint(p);
    // The stored tangents are legs of the control polygon: they move with it.
    updateTangents();
}

Point3 GeoBezier::pointAt(double t) const {
    const double s = 1.0 - t;
    const Point3 p0 = start_.position();
    const Point3 pn = end_.position();
    const auto sum = [](std::initializer_list<std::pair<double, Point3>> terms) {
        Point3 r;
        for (const auto& [weight, p] : terms) r = Point3::add(r, Point3::scale(p, weight));
        return r;
    };
    switch (inner_.size()) {
    case 2:
        return sum({{s * s * s, p0},
                    {3.0 * t * s * s, inner_[0]},
                    {3.0 * t * t * s, inner_[1]},
                    {t * t * t, pn}});
    case 4: {
        const double t2 = t * t;
        const double s2 = s * s;
        return sum({{s2 * s2 * s, p0},
                    {5.0 * t * s2 * s2, inner_[0]},
                    {10.0 * t2 * s2 * s, inner_[1]},
                    {10.0 * t2 * t * s2, inner_[2]},
                    {5.0 * t2 * t2 * s, inner_[3]},
                    {t2 * t2 * t, pn}});
    }
    default: return Point3();
    }
}

double GeoBezier::length() const {
    double total = 0.0;
    Point3 previous = pointAt(0.0);
    for (int i = 1; i <= kLengthChords; ++i) {
        const Point3 next = pointAt(static_cast<double>(i) / kLengthChords);
        total += Point3::sub(next, previous).length();
        previous = next;
    }
    return total;
}

std::string GeoBezier::toString() const {
    std::string text = "Bezier" + std::to_string(degree()) + " time=" +
                       formatSerial(key_.counter) + " from=" + start_.toString() +
                       " to=" + end_.toString();
    for (size_t i = 0; i < inner_.size(); ++i) {
        text += " cp" + std::to_string(i + 1) + "=" + inner_[i].toString();
    }
    return text;
}

std::pair<std::vector<Point3>, std::vector<Point3>> deCasteljauSplit(std::span<const Point3> polygon,
                                                                     double t) {
    std::vector<Point3> level(polygon.begin(), polygon.end());
    const size_t n = level.size();
    std::vector<Point3> left(n);
    std::vector<Point3> right(n);
    for (size_t k = 0; k < n; ++k) {
        // level k: n - k points; its first opens the left polygon, its last closes the right.
        left[k] = level.front();
        right[n - 1 - k] = level[n - 1 - k];
        for (size_t j = 0; j + 1 < n - k; ++j) {
            level[j] = Point3::add(Point3::scale(level[j], 1.0 - t), Point3::scale(level[j + 1], t));
        }
    }
    return {std::move(left), std::move(right)};
}

std::unique_ptr<Geo> GeoBezier::subElement(double t0, double t1) const {
    if (std::fabs(t0) <= kParameterSnap && std::fabs(t1 - 1.0) <= kParameterSnap) return clone();
    std::vector<Point3> piece;
    if (t0 >= 1.0) {
        // Nothing is left after the end: the second split would divide by 1 - t0.
        piece.assign(inner_.size() + 2, end_.position());
    } else {
        const std::vector<Point3> polygon = controlPoints();
        const std::vector<Point3> rest = deCasteljauSplit(polygon, t0).second;
        piece = deCasteljauSplit(rest, (t1 - t0) / (1.0 - t0)).first;
    }
    const Point3 first = piece.front();
    const Point3 last = piece.back();
    piece.pop_back();
    piece.erase(piece.begin());
    return std::make_unique<GeoBezier>(Pose(first, start_.rotary()), Pose(last, end_.rotary()),
                                       std::move(piece), feed_, origin_, key_);
}

double GeoBezier::nearestParameter(const Point3& p) const {
    double lo = 0.0;
    double hi = 1.0;
    double best = 0.0;
    for (int pass = 0; pass < kSearchPasses; ++pass) {
        const double step = (hi - lo) / kSearchSteps;
        int bestIndex = 0;
        double bestDistance = squaredDistance(pointAt(lo), p);
        for (int i = 1; i <= kSearchSteps; ++i) {
            const double d = squaredDistance(pointAt(lo + i * step), p);
            if (d < bestDistance) { // a later sample wins only when strictly nearer
                bestDistance = d;
                bestIndex = i;
            }
        }
        best = lo + bestIndex * step;
        lo = lo + (bestIndex - 1) * step;
        hi = lo + 2.0 * step;
    }
    return best;
}

std::unique_ptr<Geo> GeoBezier::clone() const {
    return std::make_unique<GeoBezier>(start_, end_, inner_, feed_, origin_, key_);
}

std::unique_ptr<Geo> GeoBezier::reversed() const {
    return std::make_unique<GeoBezier>(end_, start_,
                                       std::vector<Point3>(inner_.rbegin(), inner_.rend()),
                                       feed_, origin_, key_);
}

} // namespace Karsto
