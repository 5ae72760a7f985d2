// Collision elimination: the held path is walked in order, and wherever an element meets
// a later one seen along the plane normal, the loop between the two meeting points is cut
// out.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
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

// Below this many elements a walk without look-ahead limit scans the later elements
// one by one; from here on it asks a grid.
constexpr size_t kGridFrom = 64;

// Finds the later elements whose boxes may touch an element's box without looking at
// every later element. Each box, grown by twice the margin (so that rounding cannot lose
// a pair that touches), is entered into the cells of a square grid that it covers; a box
// that covers many cells, or lies where cells cannot be numbered, goes to a list that
// every query takes whole. Boxes with NaN touch nothing and are left out.
class BoxGrid {
public:
    explicit BoxGrid(std::span<const PlaneBox> boxes) {
        double extent = 0.0;
        size_t finite = 0;
        for (const PlaneBox& b : boxes) {
            const double e = std::fmax(b.x1 - b.x0, b.y1 - b.y0);
            if (std::isfinite(e)) {
                extent += e;
                ++finite;
            }
        }
        // About one element per cell along a path; never below the margin's scale.
        cell_ = std::fmax(finite > 0 ? extent / static_cast<double>(finite) : 0.0, 4.0 * kMeetingMargin);
        for (size_t i = 0; i < boxes.size(); ++i) {
            const PlaneBox& b = boxes[i];
            if (std::isnan(b.x0)) continue;
            const auto index = static_cast<uint32_t>(i);
            Cells c;
            if (!cellsOf(b, 2.0 * kMeetingMargin, c)) {
                wide_.push_back(index);
                continue;
            }
            for (int64_t y = c.y0; y <= c.y1; ++y) {
                for (int64_t x = c.x0; x <= c.x1; ++x) cells_[key(x, y)].push_back(index);
            }
        }
    }

    // The elements after index whose boxes may touch box, ascending, into found. False
    // when box itself covers too many cells: then every later element is a candidate.
    bool candidates(size_t index, const PlaneBox& box, std::vector<uint32_t>& found) const {
        found.clear();
        if (std::isnan(box.x0)) return true;
        Cells c;
        if (!cellsOf(box, 0.0, c)) return false;
        const auto after = [&](const std::vector<uint32_t>& list) {
            auto from = std::upper_bound(list.begin(), list.end(), static_cast<uint32_t>(index));
            found.insert(found.end(), from, list.end());
        };
        for (int64_t y = c.y0; y <= c.y1; ++y) {
            for (int64_t x = c.x0; x <= c.x1; ++x) {
                const auto cell = cells_.find(key(x, y));
                if (cell != cells_.end()) after(cell->second);
            }
        }
        after(wide_);
        std::sort(found.begin(), found.end());
        found.erase(std::unique(found.begin(), found.end()), found.end());
        return true;
    }

private:
    struct Cells {
        int64_t x0, y0, x1, y1;
    };
    // Cell numbers stay within 31 bits each, so that two make one key.
    static constexpr double kCellRange = 1073741824.0; // 2^30
    static constexpr int64_t kMaxCells = 64;

    bool cellsOf(const PlaneBox& b, double grow, Cells& c) const {
        const double v[4] = {std::floor((b.x0 - grow) / cell_), std::floor((b.y0 - grow) / cell_),
                             std::floor((b.x1 + grow) / cell_), std::floor((b.y1 + grow) / cell_)};
        for (const double d : v) {
            if (!(std::fabs(d) < kCellRange)) return false;
        }
        c = {static_cast<int64_t>(v[0]), static_cast<int64_t>(v[1]), static_cast<int64_t>(v[2]),
             static_cast<int64_t>(v[3])};
        return (c.x1 - c.x0 + 1) * (c.y1 - c.y0 + 1) <= kMaxCells;
    }
    static uint64_t key(int64_t x, int64_t y) {
        const auto bias = static_cast<int64_t>(kCellRange);
        return (static_cast<uint64_t>(x + bias) << 32) | static_cast<uint64_t>(y + bias);
    }

    double cell_ = 1.0;
    std::unordered_map<uint64_t, std::vector<uint32_t>> cells_;
    std::vector<uint32_t> wide_;
};

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
    // Without a window every later element is searched: the grid names the few that can
    // be met, in the same order.
    std::optional<BoxGrid> grid;
    if (!limited && n >= kGridFrom && n <= UINT32_MAX) grid.emplace(boxes);
    std::vector<uint32_t> found;
    size_t cur = 0;
    double t0 = 0.0;
    while (cur < n) {
        const Geo& current = *input[cur];
        double tEnd = 1.0;
        double tNext = 0.0;
        size_t next = cur + 1;
        const auto test = [&](size_t i) {
            if (!boxes[cur].touches(boxes[i], kMeetingMargin)) return;
            const auto meeting = intersectElements(current, *input[i], normal, {t0, 1.0}, {0.0, 1.0});
            // The first meeting along the current element wins; of equal ones the later
            // element, which skips the most.
            if (meeting && meeting->tA <= tEnd) {
                tEnd = meeting->tA;
                tNext = meeting->tB;
                next = i;
            }
        };
        if (grid && grid->candidates(cur, boxes[cur], found)) {
            for (const uint32_t i : found) test(i);
        } else {
            uint64_t count = 0;
            for (size_t i = cur + 1; i < n; ++i) {
                if (counted[i]) ++count;
                if (limited && count > limit) break;
                test(i);
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
