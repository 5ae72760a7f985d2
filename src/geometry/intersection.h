#pragma once
// Where two path elements meet when seen along a plane normal. Lines and arcs that lie in
// the plane meet in closed form; every other pair (Bezier curves, arcs that turn out of
// the plane) is searched by subdividing both parameter ranges. Collision elimination
// asks for the first meeting point of an element with each later one.

#include <optional>

#include "geometry/point3.h"

namespace Karsto {

class Geo;

// A closed interval of curve parameters.
struct ParameterRange {
    double lo = 0.0;
    double hi = 1.0;

    // False for NaN.
    bool contains(double t) const { return lo <= t && t <= hi; }
};

// A meeting point given by its parameter on each of the two elements.
struct Meeting {
    double tA = 0.0;
    double tB = 0.0;
};

// The meeting points of two closed-form curves of the xy plane.
struct Candidates {
    int count = 0; // points computed, up to two
    // Points whose parameters on both curves lie in [0, 1]; when only one of two is valid
    // it is the first.
    int valid = 0;
    Point3 point[2];
    Meeting at[2];
};

// An arc of the xy plane turning right-handed about +z (clockwise for a negative angle),
// from start about centre. z values are ignored.
struct PlaneArc {
    Point3 centre;
    Point3 start;
    double angle = 0.0;
};

// The parameter of x on the arc: its angle from the start in the arc's turning sense,
// divided by the sweep. A point within 1e-6 rad after the start has 0; a point off the
// sweep lies outside [0, 1]; a sweep of 0 gives +infinity for every other point.
double arcParameter(const Point3& x, const PlaneArc& arc);

// The lines p0-p1 and q0-q1; parallel lines (cross product of the directions at most
// 1e-5) never meet, even when they overlap.
Candidates intersectLines(const Point3& p0, const Point3& p1, const Point3& q0, const Point3& q1);
// The line p0-p1 (parameter at) and the circle of the arc; the two points of a secant,
// the one further along the line first. Nothing for a sweep of 0 or a line of no length.
Candidates intersectLineArc(const Point3& p0, const Point3& p1, const PlaneArc& arc);
// The circles of two arcs; nothing when they are apart, nested or touching.
Candidates intersectArcs(const PlaneArc& a, const PlaneArc& b);

// Searches boxes of the two ranges depth first, halving the longer side, until both
// pieces are shorter than 0.001 mm in the plane perpendicular to normal; their middles
// are the meeting point. Gives nothing for input that is not finite, and after about 200
// halvings of one box.
std::optional<Meeting> intersectBySubdivision(const Geo& a, const Geo& b, const Point3& normal,
                                              ParameterRange ra, ParameterRange rb);

// The rectangle that an element covers in the plane perpendicular to a normal, in
// coordinates along two unit vectors of that plane fixed by the normal. Every point of
// the element with a parameter in [0, 1] lies inside; NaN coordinates touch nothing.
struct PlaneBox {
    double x0 = 0.0;
    double y0 = 0.0;
    double x1 = 0.0;
    double y1 = 0.0;

    bool touches(const PlaneBox& other, double margin) const {
        return x0 <= other.x1 + margin && other.x0 <= x1 + margin && y0 <= other.y1 + margin &&
               other.y0 <= y1 + margin;
    }
};
PlaneBox planeBox(const Geo& g, const Point3& normal);
// Elements whose boxes lie further apart than this (mm) have no meeting point: the
// closed forms meet on both elements, the subdivision within its resolution.
inline constexpr double kMeetingMargin = 0.01;

// The meeting point of a and b seen along normal whose parameters lie in ra and rb; of
// two, the one first along a.
std::optional<Meeting> intersectElements(const Geo& a, const Geo& b, const Point3& normal,
                                         ParameterRange ra, ParameterRange rb);

} // namespace Karsto
