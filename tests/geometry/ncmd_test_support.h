#pragma once
// Builders for the tests of NC commands and the queue.

#include <memory>

#include "geometry/geo_line.h"
#include "geometry/geometry_test_support.h"
#include "geometry/interpolation_axes.h"
#include "geometry/ncmd.h"

namespace Karsto::test {

// An axis list of a fixed size.
class FixedAxes : public InterpolationAxes {
public:
    explicit FixedAxes(size_t count) : count_(count) {}
    size_t axisCount() const override { return count_; }

private:
    size_t count_;
};

// The key of a block's own commands.
inline BlockKey blockKey(uint64_t counter, double sub = 0.0) { return {counter, sub}; }

// A feed line of the given block (counter and N number) from one point to another.
inline std::unique_ptr<NCmdGeo> lineCmd(uint64_t counter, double blockNumber, const Point3& from,
                                        const Point3& to, double sub = 0.0) {
    return std::make_unique<NCmdGeo>(std::make_unique<GeoLine>(
        Pose(from, {}), Pose(to, {}), FeedParams{10.0, 0.0},
        originAt(static_cast<int32_t>(counter), blockNumber), BlockKey{counter, sub}));
}

} // namespace Karsto::test
