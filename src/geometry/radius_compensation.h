#pragma once
// The parts of tool radius compensation that stand apart from the path processor.

#include <span>

#include "geometry/point3.h"

namespace Karsto {

// Moves every control point of a Bezier polygon sideways towards offsetVector x leg, by
// the miter length that keeps both adjacent legs at |offsetVector| from the original.
// Short legs take the direction of the next longer one. "Parallel transformation can not
// be applied to degenerated bezier-curve." when every leg is shorter than 1e-6 or two
// successive leg directions cancel.
void shiftBezierPolygon(std::span<Point3> polygon, const Point3& offsetVector);

} // namespace Karsto
