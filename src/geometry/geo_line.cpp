#include "geometry/geo_line.h"

#include <algorithm>

#include "geometry/trans_matrix.h"

namespace Karsto {

GeoLine::GeoLine(const Pose& start, const Pose& end, const FeedParams& feed,
                 const BlockOrigin& origin, const BlockKey& key)
    : Geo(feed, origin, key) {
    start_ = start;
    end_ = end;
}

void GeoLine::transform(const TransMatrix& matrix) {
    start_ = matrix.applyPose(start_);
    end_ = matrix.applyPose(end_);
}

std::string GeoLine::toString() const {
    return "Line time=" + formatSerial(key_.counter) + " from=" + start_.toString() +
           " to=" + end_.toString();
}

std::unique_ptr<Geo> GeoLine::subElement(double t0, double t1) const {
    return std::make_unique<GeoLine>(Pose(pointAt(t0), start_.rotary()),
                                     Pose(pointAt(t1), end_.rotary()), feed_, origin_, key_);
}

double GeoLine::nearestParameter(const Point3& p) const {
    const Point3 d = direction();
    const double q = Point3::dot(d, d);
    if (q < kDegenerateLength) return 0.5;
    return std::clamp(Point3::dot(Point3::sub(p, start_.position()), d) / q, 0.0, 1.0);
}

std::unique_ptr<Geo> GeoLine::clone() const { return std::unique_ptr<Geo>(new GeoLine(*this)); }

std::unique_ptr<Geo> GeoLine::reversed() const {
    return std::make_unique<GeoLine>(end_, start_, feed_, origin_, key_);
}

} // namespace Karsto
