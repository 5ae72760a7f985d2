#include "gcode/zero_offset.h"

#include <charconv>

#include "core/exception.h"

namespace Karsto {

std::string numberToString(double value) {
    // Room for the largest double in fixed notation (309 digits) and six decimals.
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    return std::string(buffer, result.ptr);
}

std::string ZeroOffset::toString() const {
    std::string text = position().toString() + ",[";
    for (size_t i = 0; i < q.size(); ++i) {
        if (i > 0) text += ',';
        text += numberToString(q[i]);
    }
    return text + "]";
}

const ZeroOffset& ZeroOffsets::entry(int32_t index) const {
    checkRuntime(static_cast<uint32_t>(index) < static_cast<uint32_t>(kCount),
                 "Invalid zero offset index %d", index);
    return entries_[static_cast<size_t>(index)];
}

void ZeroOffsets::setSettable(int32_t index, const ZeroOffset& zos) {
    checkRuntime(static_cast<uint32_t>(index) < static_cast<uint32_t>(kSettable),
                 "Invalid zero offset index %d", index);
    entries_[static_cast<size_t>(index)] = zos;
}

void ZeroOffsets::setProgrammable(int32_t index, const ZeroOffset& zos) {
    checkRuntime(static_cast<uint32_t>(index) < static_cast<uint32_t>(kProgrammable),
                 "Invalid programmable zero offset index %d", index);
    entries_[static_cast<size_t>(kSettable + index)] = zos;
}

void ZeroOffsets::select(int32_t index) {
    checkRuntime(index == kNone || static_cast<uint32_t>(index) < static_cast<uint32_t>(kSettable),
                 "Invalid zero offset index %d", index);
    selected_ = index;
}

bool ZeroOffsets::recompose() {
    translation_ = Point3();
    qOffsets_.fill(0.0);
    if (selected_ < 0) return false; // the programmable offsets then do not apply either
    // Summed per component in the order selected entry, G58, G59.
    for (const size_t i : {static_cast<size_t>(selected_), size_t{kSettable}, size_t{kSettable + 1}}) {
        const ZeroOffset& e = entries_[i];
        translation_ = Point3::add(translation_, e.position());
        for (size_t k = 0; k < qOffsets_.size(); ++k) qOffsets_[k] += e.q[k];
    }
    return true;
}

} // namespace Karsto
