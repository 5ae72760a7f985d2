// Collision elimination: the held path is walked in order, and wherever an element meets
// a later one seen along the plane normal, the loop between the two meeting points is cut
// out.

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "geometry/canvas6d.h"
#include "geometry/geo_line.h"
#include "geometry/intersection.h"

namespace Karsto {

namespace {

// Limits from this value up mean no limit.
constexpr uint64_t kNoLimit = uint64_t{1} << 32;
// An element whose start tangent crosses the normal by less than this does not move in
// the plane and is not counted in the look-ahead window.
constexpr double kInPlane = 1e-4;
// Pieces further apart than this (mm, in space) are joined by a connector line.
constexpr double kConnectorGap = 1e-5;
// The connector sorts just before the piece it leads to.
constexpr double kConnectorSub = -0.1;

} // namespace

void Canvas6d::beginCollisionElimination(const Point3& normal, uint64_t limit) {
    if (!collision_.active) beginCollection();
    collision_.planeNormal = normal;
    collision_.limit = limit;
    collision_.active = true;
    collision_.startIndex =
        static_cast<int32_t>(std::min<size_t>(held_.size(), static_cast<size_t>(INT32_MAX)));
}

void Canvas6d::eliminateCollisions() {
    // A start beyond the held elements (they were handed on in between) examines nothing.
    const size_t from =
        std::min(static_cast<size_t>(std::max(collision_.startIndex, int32_t{0})), held_.size());
    const std::span<const std::unique_ptr<Geo>> examined(held_.data() + from, held_.size() - from);
    std::vector<std::unique_ptr<Geo>> result;
    trimAndConnect(collision_.planeNormal, examined, result);
    held_.resize(from);
    for (std::unique_ptr<Geo>& element : result) held_.push_back(std::move(element));
}

void Canvas6d::endCollisionElimination() {
    eliminateCollisions();
    if (collision_.active) endCollection();
    collision_.active = false;
}

void Canvas6d::flushCollisionElimination() {
    if (!collision_.active) return;
    eliminateCollisions();
    endCollection();
    beginCollection();
}

void Canvas6d::trimAndConnect(const Point3& normal, std::span<const std::unique_ptr<Geo>> input,
                              std::vector<std::unique_ptr<Geo>>& output) const {
    const uint64_t limit = collision_.limit;
    const bool limited = limit < kNoLimit;
    const size_t n = input.size();
    // Fixed per element, looked at for every pair: whether it uses up the window, and the
    // box outside which it meets nothing.
    std::vector<PlaneBox> boxes;
    std::vector<bool> counted;
    boxes.reserve(n);
    counted.reserve(n);
    for (const std::unique_ptr<Geo>& e : input) {
        boxes.push_back(planeBox(*e, normal));
        // Only elements of blocks themselves that move in the plane use up the window;
        // inserted corners and connectors are always searched.
        counted.push_back(e->key().sub == 0.0 &&
                          Point3::cross(e->startTangent(), normal).length() > kInPlane);
    }
    size_t cur = 0;
    double t0 = 0.0;
    while (cur < n) {
        const Geo& current = *input[cur];
        double tEnd = 1.0;
        double tNext = 0.0;
        size_t next = cur + 1;
        uint64_t count = 0;
        for (size_t i = cur + 1; i < n; ++i) {
            if (counted[i]) ++count;
            if (limited && count > limit) break;
            if (!boxes[cur].touches(boxes[i], kMeetingMargin)) continue;
            const auto meeting = intersectElements(current, *input[i], normal, {t0, 1.0}, {0.0, 1.0});
            // The first meeting along the current element wins; of equal ones the later
            // element, which skips the most.
            if (meeting && meeting->tA <= tEnd) {
                tEnd = meeting->tA;
                tNext = meeting->tB;
                next = i;
            }
        }
        // An element left whole is copied as it is, which also keeps an element that no
        // arithmetic can reproduce (such as an arc without a usable normal).
        std::unique_ptr<Geo> piece =
            t0 == 0.0 && tEnd == 1.0 ? current.clone() : current.subElement(t0, tEnd);
        if (!output.empty()) {
            const Geo& last = *output.back();
            if (Point3::sub(piece->start().position(), last.end().position()).length() > kConnectorGap) {
                output.push_back(std::make_unique<GeoLine>(
                    last.end(), piece->start(), piece->feed(), piece->origin(),
                    BlockKey{piece->key().counter, piece->key().sub + kConnectorSub}));
            }
        }
        output.push_back(std::move(piece));
        cur = next;
        t0 = tNext;
    }
}

} // namespace Karsto
