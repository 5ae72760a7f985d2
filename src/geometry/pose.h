#pragma once
// A position (x, y, z in mm) together with the values of the further axes a, b and c.
// Geometry never reads a, b, c as angles: transformations copy them and elements carry
// them from their start pose to their end pose.

#include <string>

#include "geometry/point3.h"

namespace Karsto {

struct Pose {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    double a = 0.0;
    double b = 0.0;
    double c = 0.0;

    Pose() = default;
    Pose(double px, double py, double pz, double pa = 0.0, double pb = 0.0, double pc = 0.0)
        : x(px), y(py), z(pz), a(pa), b(pb), c(pc) {}
    Pose(const Point3& position, const Point3& rotaryValues)
        : x(position.x), y(position.y), z(position.z),
          a(rotaryValues.x), b(rotaryValues.y), c(rotaryValues.z) {}

    Point3 position() const { return {x, y, z}; }
    Point3 rotary() const { return {a, b, c}; }

    // "[x,y,z,a,b,c]", two decimals each.
    std::string toString() const;

    bool operator==(const Pose&) const = default;
};

} // namespace Karsto
