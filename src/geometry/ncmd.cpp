#include "geometry/ncmd.h"

#include <bit>
#include <charconv>
#include <algorithm>

#include "core/exception.h"
#include "geometry/interpolation_axes.h"

namespace Karsto {

std::string formatNumber(double value) {
    // to_chars with the general format and precision 6 is printf's "%g" without its
    // locale dependence.
    char buffer[32];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return std::string(buffer, result.ptr);
}

namespace {

std::string joinValues(std::span<const double> values) {
    std::string text;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0) text += ", ";
        text += formatNumber(values[i]);
    }
    return text;
}

} // namespace

NCmdInterpolate::NCmdInterpolate(InterpolationAxes* axes, std::span<const double> from,
                                 std::span<const double> to, double speed, bool withPathMotion,
                                 const BlockOrigin& origin, const BlockKey& key, uint64_t serial)
    : NCmdOf(origin, key, serial), axes_(axes), from_(from.begin(), from.end()),
      to_(to.begin(), to.end()), speed_(speed), withPathMotion_(withPathMotion) {
    checkRuntime(axes != nullptr && from.size() == axes->axisCount() &&
                     to.size() == axes->axisCount(),
                 "auxiliary-axis move with %zu start and %zu end values for %zu axes",
                 from.size(), to.size(), axes ? axes->axisCount() : size_t{0});
}

std::string NCmdInterpolate::toString() const {
    return "Interpolate time=" + formatSerial(key().counter) + " from=[" + joinValues(from_) +
           "] to=[" + joinValues(to_) + "] speed=" + formatNumber(speed_);
}

std::unique_ptr<NCmd> NCmdInterpolate::reversedCommand() const {
    auto copy = std::make_unique<NCmdInterpolate>(*this);
    copy->from_.swap(copy->to_);
    return copy;
}

std::unique_ptr<NCmdInterpolate> NCmdInterpolate::startAt(double fraction) {
    for (size_t i = 0; i < from_.size(); ++i) from_[i] = from_[i] + (to_[i] - from_[i]) * fraction;
    return std::make_unique<NCmdInterpolate>(*this);
}

NCmdGeo::NCmdGeo(std::unique_ptr<Geo> geo, uint64_t serial)
    : NCmdOf(geo->origin(), geo->key(), serial), geo_(std::move(geo)) {}

std::unique_ptr<NCmd> NCmdGeo::reversedCommand() const {
    return std::make_unique<NCmdGeo>(geo_->reversed(), serial());
}

Nc2FuncData::Nc2FuncData(int32_t code) {
    const auto bits = static_cast<uint32_t>(code);
    for (size_t i = 0; i < 4; ++i) bytes_[i] = static_cast<uint8_t>(bits >> (8 * i));
}

int32_t Nc2FuncData::code() const {
    uint32_t bits = 0;
    for (size_t i = 0; i < 4; ++i) bits |= uint32_t{bytes_[i]} << (8 * i);
    return static_cast<int32_t>(bits);
}

void Nc2FuncData::putInt32(size_t offset, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (size_t i = 0; i < 4; ++i) bytes_.at(offset + i) = static_cast<uint8_t>(bits >> (8 * i));
}

void Nc2FuncData::putDouble(size_t offset, double value) {
    const auto bits = std::bit_cast<uint64_t>(value);
    for (size_t i = 0; i < 8; ++i) bytes_.at(offset + i) = static_cast<uint8_t>(bits >> (8 * i));
}

NCmdNc2Func::NCmdNc2Func(const Nc2FuncData& data, const BlockOrigin& origin, const BlockKey& key,
                         uint64_t serial)
    : NCmdOf(origin, key, serial), data_(data.bytes().begin(), data.bytes().end()) {}

std::string NCmdHst::toString() const {
    std::string text = "HST ";
    text += letter_;
    text += '=';
    return text + formatNumber(value_);
}

NCmdUpdateaxes::NCmdUpdateaxes(const Pose& frame, std::span<const double, kAxisCount> q,
                               const BlockKey& key, uint64_t serial)
    : NCmdOf(BlockOrigin(), key, serial), frame_(frame) {
    std::copy(q.begin(), q.end(), q_.begin());
}

std::string NCmdUpdateaxes::toString() const {
    std::string text = "Updateaxes frame=" + frame_.toString();
    for (size_t i = 0; i < kAxisCount; ++i)
        text += " q" + std::to_string(i) + "=" + formatNumber(q_[i]);
    return text + "\n";
}

} // namespace Karsto
