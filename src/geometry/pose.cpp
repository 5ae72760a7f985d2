#include "geometry/pose.h"

namespace Karsto {

std::string Pose::toString() const {
    const double values[] = {x, y, z, a, b, c};
    return formatCoordinates(values);
}

} // namespace Karsto
