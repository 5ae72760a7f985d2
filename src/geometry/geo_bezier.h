#pragma once
// A polynomial curve in Bezier form: cubic curves from the smoothing stages and the
// cubic spatial move, quintic curves from the quintic spatial move. The start and end
// poses are the first and last control points.

#include <span>
#include <utility>
#include <vector>

#include "geometry/geo.h"

namespace Karsto {

class GeoBezier final : public Geo {
public:
    // inner: the control points between start and end, two for a cubic and four for a
    // quintic curve (other counts evaluate to the origin).
    GeoBezier(const Pose& start, const Pose& end, std::vector<Point3> inner,
              const FeedParams& feed, const BlockOrigin& origin, const BlockKey& key);

    // Start point, inner points, end point.
    std::vector<Point3> controlPoints() const;
    const std::vector<Point3>& innerPoints() const { return inner_; }
    // The number of inner points plus one.
    int degree() const { return static_cast<int>(inner_.size()) + 1; }
    // Every control point replaced by its part perpendicular to direction; a, b, c, feed,
    // origin and key stay.
    std::unique_ptr<GeoBezier> projected(const Point3& direction) const;

    // The first control leg out of the start, and the last into the end, longer than
    // 1e-6; fixed when the control points are.
    Point3 startTangent() const override { return startTangent_; }
    Point3 endTangent() const override { return endTangent_; }
    void transform(const TransMatrix& matrix) override;
    // The Bernstein form of degree 3 or 5; t is not limited to [0, 1].
    Point3 pointAt(double t) const override;
    // The length of 64 chords.
    double length() const override;
    // "Bezier<degree> time=<counter> from=<pose> to=<pose> cp1=<point> cp2=<point> ..."
    std::string toString() const override;
    // By de Casteljau splits. A piece that starts at the very end (t0 >= 1) is the curve
    // degenerated to the end point.
    std::unique_ptr<Geo> subElement(double t0, double t1) const override;
    // Three passes of 101 samples, each around the best of the last; not clamped, within
    // [-0.0102, 1.0102].
    double nearestParameter(const Point3& p) const override;
    std::unique_ptr<Geo> clone() const override;
    std::unique_ptr<Geo> reversed() const override;

private:
    void updateTangents();

    std::vector<Point3> inner_;
    Point3 startTangent_;
    Point3 endTangent_;
};

// The control polygons of the pieces [0, t] and [t, 1] of the curve with this polygon.
std::pair<std::vector<Point3>, std::vector<Point3>> deCasteljauSplit(std::span<const Point3> polygon,
                                                                     double t);

} // namespace Karsto
