#include "gcode/interpolation.h"

#include <algorithm>
#include <memory>

#include "core/exception.h"
#include "geometry/ncmd.h"
#include "geometry/ncmd_queue.h"

namespace Karsto {

Interpolation::Interpolation(AProcessorOwner& owner, std::vector<SpaceSlot*> axes)
    : AProcessor(owner, std::move(axes)), current_(this->axes().size(), 0.0) {}

void Interpolation::checkValues(std::span<const double> values) const {
    checkRuntime(values.size() == axisCount(), "Expected %zu axis values, but %zu are given",
                 axisCount(), values.size());
}

void Interpolation::moveTo(const std::vector<double>& targets, bool withPathMotion,
                           const BlockOrigin& origin, const BlockKey& key, double speed) {
    checkValues(targets);
    owner().queue().insert(std::make_unique<NCmdInterpolate>(this, current_, targets, speed,
                                                             withPathMotion, origin, key));
    std::copy(targets.begin(), targets.end(), current_.begin());
}

void Interpolation::setCurrent(std::span<const double> values) {
    checkValues(values);
    std::copy(values.begin(), values.end(), current_.begin());
}

double InterpolationLinear::projectParameter(std::span<const double> from,
                                             std::span<const double> to,
                                             std::span<const double> value) const {
    const size_t n = axisCount();
    if (n == 0) return 0.5;
    checkValues(from);
    checkValues(to);
    checkValues(value);
    double d = 0.0;
    double s = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double along = to[i] - from[i];
        d += along * along;
        s += (value[i] - from[i]) * along;
    }
    if (d < 1e-6) return 0.5;
    return std::clamp(s / d, 0.0, 1.0);
}

std::vector<double> InterpolationLinear::blend(std::span<const double> first,
                                               std::span<const double> second, double x) const {
    const size_t n = axisCount();
    if (n == 0) return {};
    checkValues(first);
    checkValues(second);
    std::vector<double> result(n);
    for (size_t i = 0; i < n; ++i) result[i] = second[i] * (1.0 - x) + first[i] * x;
    return result;
}

} // namespace Karsto
