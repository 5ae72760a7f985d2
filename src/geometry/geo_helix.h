#pragma once
// A circular or helical arc in any orientation: a circle about an axis through a centre,
// swept by a signed angle, with a uniform lift along the axis. G2/G3 arcs, spatial
// circles, the corner and approach arcs of compensation and the arcs that collision
// elimination cuts.

#include "geometry/geo.h"

namespace Karsto {

class GeoHelix final : public Geo {
public:
    // The arc from start to end about the axis through centre along normal (any non-zero
    // length), sweeping angle (rad, right-handed about the normal, any magnitude). The
    // angle is not checked against the end: callers pass a consistent one. The end's
    // distance from the axis must equal the start's within 0.001 mm, else "Inconsistent
    // radii (%f != %f) in definition of helix" and no element results.
    GeoHelix(const Pose& start, const Pose& end, const Point3& centre, const Point3& normal,
             const FeedParams& feed, const BlockOrigin& origin, const BlockKey& key, double angle);
    // The arc from start sweeping angle with the lift height; the end is computed and
    // keeps the start's a, b, c.
    GeoHelix(const Pose& start, const Point3& centre, const Point3& normal, double angle,
             double height, const FeedParams& feed, const BlockOrigin& origin,
             const BlockKey& key);

    // Recomputes the projected centre, radius, u and v from start, centre and normal.
    void updateFrame();
    // The same points described about the opposite normal: normal, angle and height
    // change sign.
    void flipNormal();

    // Tangents leave out the lift: their length is |angle| x radius.
    Point3 startTangent() const override { return tangentAt(start_.position()); }
    Point3 endTangent() const override { return tangentAt(end_.position()); }
    // Start, end and centre as points, the normal as a direction; angle and height stay,
    // so the result is the transformed arc only for transformations that do not mirror
    // and keep lengths along the normal.
    void transform(const TransMatrix& matrix) override;
    Point3 pointAt(double t) const override;
    double length() const override;
    // "Helix time=<counter> from=<pose> to=<pose> center=<point> normal=<point>
    // angle=<rad>", the angle in six significant digits.
    std::string toString() const override;
    std::unique_ptr<Geo> subElement(double t0, double t1) const override;
    // The angle of p about the axis, its turn chosen by the height of p; in [0, 1].
    double nearestParameter(const Point3& p) const override;
    // An exact copy: nothing is recomputed, so even an arc that no constructor would make
    // again (a NaN frame) can be copied.
    std::unique_ptr<Geo> clone() const override;
    std::unique_ptr<Geo> reversed() const override;

    const Point3& centre() const { return centre_; }
    const Point3& normal() const { return normal_; }
    double angle() const { return angle_; }
    double height() const { return height_; }
    double radius() const { return radius_; }
    const Point3& u() const { return u_; }
    const Point3& v() const { return v_; }

private:
    Point3 tangentAt(const Point3& p) const {
        return Point3::scale(Point3::cross(normal_, Point3::sub(p, centre_)), angle_);
    }

    Point3 centre_;  // on the axis, in the plane of the start once the frame is made
    Point3 normal_;  // unit length
    double angle_ = 0.0;
    double height_ = 0.0;
    double radius_ = 0.0;
    Point3 u_;       // from the centre towards the start
    Point3 v_;       // normal x u
};

} // namespace Karsto
