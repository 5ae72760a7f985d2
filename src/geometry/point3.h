#pragma once
// A point or a direction in the machine's Cartesian space (mm), with the small vector
// operations every geometry computation uses. Plain values: nothing here allocates
// except the text forms, and the value operations stay inline because the path
// processing runs them for every element, corner and intersection test.

#include <cmath>
#include <cstdint>
#include <span>
#include <string>

namespace Karsto {

// Below this a length (or a squared length, where stated) counts as zero.
inline constexpr double kDegenerateLength = 1e-6;

struct Point3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    static Point3 add(const Point3& a, const Point3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
    static Point3 sub(const Point3& a, const Point3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
    static Point3 scale(const Point3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
    static Point3 divided(const Point3& a, double d) { return {a.x / d, a.y / d, a.z / d}; }
    static double dot(const Point3& a, const Point3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
    static Point3 cross(const Point3& a, const Point3& b) {
        return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    }

    double length() const { return std::sqrt(dot(*this, *this)); }
    // No guard: a zero vector gives NaN components, so callers test the length first.
    Point3 normalized() const { return divided(*this, length()); }
    // The part of this vector perpendicular to d; d need not have unit length.
    Point3 rejectFrom(const Point3& d) const { return sub(*this, scale(d, dot(*this, d) / dot(d, d))); }
    // Right-handed rotation about r/|r| by the angle |r| (radians); r must not be zero.
    // A vector on the axis (or nearly zero) comes back bit-identical.
    Point3 rotatedAbout(const Point3& r) const {
        const double angle = r.length();
        const Point3 n = divided(r, angle);
        const Point3 along = scale(n, dot(*this, n));
        const Point3 across = sub(*this, along);
        const double rho = across.length();
        if (rho < kDegenerateLength) return *this;
        const Point3 u = divided(across, rho);
        const Point3 turned =
            add(scale(u, std::cos(angle)), scale(cross(n, u), std::sin(angle)));
        return add(along, scale(turned, rho));
    }

    // "[x,y,z]", two decimals each.
    std::string toString() const;

    bool operator==(const Point3&) const = default;
};

// The arc cosine of x, with values at most eps outside [-1, 1] snapped onto the range
// (rounding noise of a dot product of unit vectors); values further out give NaN.
inline double clampedAcos(double x, double eps) {
    if (x > 1.0 && x <= 1.0 + eps) x = 1.0;
    else if (x < -1.0 && x >= -1.0 - eps) x = -1.0;
    return std::acos(x);
}

// The one text format of coordinates: "[v0,v1,...]", each value in fixed notation with
// two decimals in the classic locale (so -0.001 and -0.0 print as "-0.00").
std::string formatCoordinates(std::span<const double> values);

// The decimal digits of a block counter or serial number.
std::string formatSerial(uint64_t n);

} // namespace Karsto
