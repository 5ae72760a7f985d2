#pragma once
// A straight move: G0, G1 and the lines that compensation, collision elimination and
// line merging make.

#include "geometry/geo.h"

namespace Karsto {

class GeoLine final : public Geo {
public:
    GeoLine(const Pose& start, const Pose& end, const FeedParams& feed, const BlockOrigin& origin,
            const BlockKey& key);

    Point3 startTangent() const override { return direction(); }
    Point3 endTangent() const override { return direction(); }
    void transform(const TransMatrix& matrix) override;
    // Linear in t, also outside [0, 1].
    Point3 pointAt(double t) const override {
        return Point3::add(Point3::scale(start_.position(), 1.0 - t), Point3::scale(end_.position(), t));
    }
    double length() const override { return direction().length(); }
    // "Line time=<counter> from=<start pose> to=<end pose>".
    std::string toString() const override;
    std::unique_ptr<Geo> subElement(double t0, double t1) const override;
    // The orthogonal projection, clamped to [0, 1]; 0.5 for a line shorter than about
    // 0.001 mm (its squared length below kDegenerateLength).
    double nearestParameter(const Point3& p) const override;
    std::unique_ptr<Geo> clone() const override;
    std::unique_ptr<Geo> reversed() const override;

private:
    GeoLine(const GeoLine&) = default;

    Point3 direction() const { return Point3::sub(end_.position(), start_.position()); }
};

} // namespace Karsto
