#pragma once
// Zero offsets: the shifts of the program's origin that a channel keeps, and which of
// them is in effect.

#include <array>
#include <cstdint>
#include <string>

#include "geometry/point3.h"

namespace Karsto {

// The value in fixed notation with six decimals ("%f"), independent of the locale.
std::string numberToString(double value);

// One zero offset: a shift of x, y, z (mm) and of the auxiliary axes q1 to q5 (in their
// own units).
struct ZeroOffset {
    static constexpr size_t kQAxes = 5;

    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    std::array<double, kQAxes> q{};

    Point3 position() const { return {x, y, z}; }
    // "[x,y,z],[q1,q2,q3,q4,q5]": the position with two decimals, the q values with six.
    std::string toString() const;

    bool operator==(const ZeroOffset&) const = default;
};

// The channel's ten zero offsets: 0 to 7 settable (written by the kernel, the snapshot
// and the built-ins; G54 to G57 select 0, 2, 4 and 6), 8 and 9 the programmable offsets
// of G58 and G59. The selected settable offset plus both programmable ones make the
// offset in effect; with none selected, no offset applies at all.
class ZeroOffsets {
public:
    static constexpr int32_t kSettable = 8;
    static constexpr int32_t kProgrammable = 2;
    static constexpr int32_t kCount = kSettable + kProgrammable;
    static constexpr int32_t kNone = -1;

    // Entry 0 to 9; any other index raises "Invalid zero offset index %d".
    const ZeroOffset& entry(int32_t index) const;
    // Settable entry 0 to 7; any other index raises "Invalid zero offset index %d".
    void setSettable(int32_t index, const ZeroOffset& zos);
    // Programmable entry 0 (G58) or 1 (G59); any other index raises "Invalid programmable
    // zero offset index %d".
    void setProgrammable(int32_t index, const ZeroOffset& zos);
    const ZeroOffset& programmable(int32_t index) const { return entry(kSettable + index); }

    // -1 (none) or a settable entry; any other index raises "Invalid zero offset index %d".
    void select(int32_t index);
    int32_t selected() const { return selected_; }

    // Recomposes the offset in effect from the selection and the entries; call after every
    // change. Returns false when none is selected (translation and q offsets are then 0).
    bool recompose();
    // The offset in effect, as recomposed last.
    const Point3& translation() const { return translation_; }
    const std::array<double, ZeroOffset::kQAxes>& qOffsets() const { return qOffsets_; }

private:
    std::array<ZeroOffset, kCount> entries_{};
    int32_t selected_ = kNone;
    Point3 translation_;
    std::array<double, ZeroOffset::kQAxes> qOffsets_{};
};

} // namespace Karsto
