#pragma once
// The interpolation of a channel's auxiliary axes (q1 to q5). They are not part of the
// path: every move of them is one command that takes all of them from their current values
// to new ones at a speed.

#include <span>
#include <vector>

#include "geometry/aprocessor.h"
#include "geometry/interpolation_axes.h"

namespace Karsto {

struct BlockKey;
struct BlockOrigin;

class Interpolation : public AProcessor, public InterpolationAxes {
public:
    // current starts with one 0.0 per axis.
    Interpolation(AProcessorOwner& owner, std::vector<SpaceSlot*> axes);

    size_t axisCount() const override { return axes().size(); }

    // Queues a move from current to targets (one value per axis) into the owner's queue
    // and makes targets current; nothing is delivered here.
    void moveTo(const std::vector<double>& targets, bool withPathMotion, const BlockOrigin& origin,
                const BlockKey& key, double speed);

    // The parameter (0 to 1) of the point of the move from -> to nearest to value.
    virtual double projectParameter(std::span<const double> from, std::span<const double> to,
                                    std::span<const double> value) const = 0;
    // The values x of the way from second to first.
    virtual std::vector<double> blend(std::span<const double> first, std::span<const double> second,
                                      double x) const = 0;

    // The target of the last queued move (not the kernel's position), or the positions the
    // kernel reported since. A processor reset keeps it.
    const std::vector<double>& current() const { return current_; }
    // values holds one value per axis.
    void setCurrent(std::span<const double> values);

protected:
    // Refuses a list whose size is not the axis count.
    void checkValues(std::span<const double> values) const;

private:
    std::vector<double> current_;
};

// Straight moves: all axes start and arrive together.
class InterpolationLinear final : public Interpolation {
public:
    using Interpolation::Interpolation;

    // 0.5 without axes or for a move shorter than 1e-3 (its squared length below 1e-6).
    double projectParameter(std::span<const double> from, std::span<const double> to,
                            std::span<const double> value) const override;
    std::vector<double> blend(std::span<const double> first, std::span<const double> second,
                              double x) const override;
};

} // namespace Karsto
