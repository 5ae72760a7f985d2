#include "geometry/point3.h"

#include <locale>
#include <sstream>

namespace Karsto {

std::string Point3::toString() const {
    const double values[] = {x, y, z};
    return formatCoordinates(values);
}

std::string formatCoordinates(std::span<const double> values) {
    // The stream, not hand formatting: it keeps the sign of values that round to zero.
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out.setf(std::ios::fixed, std::ios::floatfield);
    out.precision(2);
    out << '[';
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out << ',';
        out << values[i];
    }
    out << ']';
    return out.str();
}

std::string formatSerial(uint64_t n) { return std::to_string(n); }

} // namespace Karsto
