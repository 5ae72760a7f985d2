#pragma once
// The units a program may choose for lengths, angles and times, and the unit settings of
// a channel. Internally the processor works in millimetres, radians and seconds: a value
// in a unit is multiplied by the unit's factor. The indexes are the values of the NC
// enumeration types unitlength, unitangle and unittime.

#include <cstdint>
#include <string>

namespace Karsto {

enum class UnitLength : int32_t {
    meter = 0,
    centimeter = 1,
    millimeter = 2,
    micrometer = 3,
    nanometer = 4,
    inch = 5,
    foot = 6,
};

enum class UnitAngle : int32_t {
    radian = 0,
    degree = 1,
    gon = 2,
    turn = 3,
};

enum class UnitTime : int32_t {
    second = 0,
    millisecond = 1,
    microsecond = 2,
    minute = 3,
    hour = 4,
};

// Names and factors by index. An index outside the table raises "Invalid length unit %d"
// (angle, time likewise): the enumeration values are the only valid callers' values.
std::string unitLengthName(int32_t index);
std::string unitAngleName(int32_t index);
std::string unitTimeName(int32_t index);
double unitLengthFactor(int32_t index);
double unitAngleFactor(int32_t index);
double unitTimeFactor(int32_t index);

// The units in effect: positions and radii, the angles a, b, c, dwell times, and the two
// units of F words.
struct Units {
    int32_t length = static_cast<int32_t>(UnitLength::millimeter);
    int32_t angle = static_cast<int32_t>(UnitAngle::degree);
    int32_t time = static_cast<int32_t>(UnitTime::second);
    int32_t velocityLength = static_cast<int32_t>(UnitLength::millimeter);
    int32_t velocityTime = static_cast<int32_t>(UnitTime::minute);

    // Millimetre, degree, second, feed in mm/min.
    void reset() { *this = Units(); }
};

} // namespace Karsto
