#include "gcode/units.h"

#include <array>
#include <numbers>

#include "core/exception.h"

namespace Karsto {

namespace {

template <class Enum>
struct UnitRow {
    Enum unit;
    const char* name;
    double factor;
};

// Rows are indexed by their unit's value: the checks below prove each row sits at its
// value, so a table can be neither reordered nor left with a gap.
template <class Enum, size_t N>
constexpr bool rowsAtTheirIndex(const std::array<UnitRow<Enum>, N>& rows) {
    for (size_t i = 0; i < N; ++i)
        if (static_cast<size_t>(rows[i].unit) != i) return false;
    return true;
}

constexpr std::array<UnitRow<UnitLength>, 7> kLengthUnits{{
    {UnitLength::meter, "meter", 1000.0},
    {UnitLength::centimeter, "centimeter", 10.0},
    {UnitLength::millimeter, "millimeter", 1.0},
    {UnitLength::micrometer, "micrometer", 0.001},
    {UnitLength::nanometer, "nanometer", 1e-6},
    {UnitLength::inch, "inch", 25.4},
    // The product in double precision (304.79999999999995), not the literal 304.8.
    {UnitLength::foot, "foot", 12.0 * 25.4},
}};

constexpr std::array<UnitRow<UnitAngle>, 4> kAngleUnits{{
    {UnitAngle::radian, "radian", 1.0},
    {UnitAngle::degree, "degree", std::numbers::pi / 180.0},
    {UnitAngle::gon, "gon", std::numbers::pi / 200.0},
    {UnitAngle::turn, "turn", 2.0 * std::numbers::pi},
}};

constexpr std::array<UnitRow<UnitTime>, 5> kTimeUnits{{
    {UnitTime::second, "second", 1.0},
    {UnitTime::millisecond, "millisecond", 0.001},
    {UnitTime::microsecond, "microsecond", 1e-6},
    {UnitTime::minute, "minute", 60.0},
    {UnitTime::hour, "hour", 3600.0},
}};

static_assert(rowsAtTheirIndex(kLengthUnits));
static_assert(rowsAtTheirIndex(kAngleUnits));
static_assert(rowsAtTheirIndex(kTimeUnits));

template <class Enum, size_t N>
const UnitRow<Enum>& rowOf(const std::array<UnitRow<Enum>, N>& rows, int32_t index,
                           const char* kind) {
    // Tested inline: the factors are read for every moving block.
    if (static_cast<uint32_t>(index) >= N) [[unlikely]]
        failRuntime("Invalid %s unit %d", kind, index);
    return rows[static_cast<size_t>(index)];
}

} // namespace

std::string unitLengthName(int32_t index) { return rowOf(kLengthUnits, index, "length").name; }
std::string unitAngleName(int32_t index) { return rowOf(kAngleUnits, index, "angle").name; }
std::string unitTimeName(int32_t index) { return rowOf(kTimeUnits, index, "time").name; }
double unitLengthFactor(int32_t index) { return rowOf(kLengthUnits, index, "length").factor; }
double unitAngleFactor(int32_t index) { return rowOf(kAngleUnits, index, "angle").factor; }
double unitTimeFactor(int32_t index) { return rowOf(kTimeUnits, index, "time").factor; }

} // namespace Karsto
