#include "geometry/canvas6d.h"

#include <utility>

#include "geometry/geo_bezier.h"
#include "geometry/geo_helix.h"
#include "geometry/geo_line.h"
#include "geometry/ncmd.h"
#include "geometry/ncmd_queue.h"

namespace Karsto {

namespace {

// A transformation that mirrors reverses the turning sense of every arc; a determinant of
// -0.0 counts as mirroring.
double mappedAngle(const TransMatrix& m, double angle) {
    return m.determinant() > 0.0 ? angle : -angle;
}

} // namespace

Canvas6d::Canvas6d(AProcessorOwner& owner, std::vector<SpaceSlot*> axes)
    : AProcessor(owner, std::move(axes)) {
    sink_ = std::make_unique<PProcSink>(owner.queue());
    beziermerge_ = std::make_unique<PProcBeziermerge>(*sink_);
    bezierifier_ = std::make_unique<PProcBezierifier>(*beziermerge_);
    linemerge_ = std::make_unique<PProcLinemerge>(*bezierifier_);
    breakdetect_ = std::make_unique<PProcBreakdetect>(*linemerge_);
    head_ = breakdetect_.get();
    reset();
}

Canvas6d::~Canvas6d() = default;

void Canvas6d::reset() {
    current_ = Pose();
    feed_ = FeedParams();
    collision_.reset();
    held_.clear();
    depth_ = 0;
    compensation_.reset();
    pipelineEnabled_ = false;
    // Tail first, as the chain was built.
    sink_->reset();
    beziermerge_->reset();
    bezierifier_->reset();
    linemerge_->reset();
    breakdetect_->reset();
}

void Canvas6d::lineTo(const Pose& target, const FeedParams& feed, const BlockOrigin& origin,
                      const BlockKey& key) {
    const Pose t = transformations_.matrix().applyPose(target);
    addGeo(std::make_unique<GeoLine>(current_, t, feed, origin, key));
    current_ = t;
}

void Canvas6d::arcTo(const Pose& target, const Point3& centre, const Point3& normal, double angle,
                     const BlockOrigin& origin, const BlockKey& key) {
    const TransMatrix& m = transformations_.matrix();
    const Pose t = m.applyPose(target);
    addGeo(std::make_unique<GeoHelix>(current_, t, m.applyPoint(centre), m.applyDirection(normal),
                                      feed_, origin, key, mappedAngle(m, angle)));
    current_ = t;
}

void Canvas6d::arcByAngle(const Point3& centre, const Point3& normal, double angle, double height,
                          const BlockOrigin& origin, const BlockKey& key) {
    const TransMatrix& m = transformations_.matrix();
    auto helix = std::make_unique<GeoHelix>(current_, m.applyPoint(centre),
                                            m.applyDirection(normal), mappedAngle(m, angle),
                                            height, feed_, origin, key);
    const Pose end = helix->end();
    addGeo(std::move(helix));
    current_ = end;
}

void Canvas6d::bezierTo(const Point3& target, std::span<const Point3> inner,
                        const BlockOrigin& origin, const BlockKey& key) {
    const TransMatrix& m = transformations_.matrix();
    std::vector<Point3> mapped;
    mapped.reserve(inner.size());
    for (const Point3& p : inner) mapped.push_back(m.applyPoint(p));
    const Pose end(m.applyPoint(target), current_.rotary());
    addGeo(std::make_unique<GeoBezier>(current_, end, std::move(mapped), feed_, origin, key));
    current_ = end;
}

void Canvas6d::addGeo(std::unique_ptr<Geo> element) {
    if (depth_ > 0) held_.push_back(std::move(element));
    else if (pipelineEnabled_) head_->process(std::move(element));
    else owner().queue().insert(std::make_unique<NCmdGeo>(std::move(element)));
}

void Canvas6d::beginCollection() {
    if (depth_ == 0) {
        heldKey_ = owner().key();
        owner().queue().keyHold(heldKey_);
    }
    ++depth_;
}

void Canvas6d::endCollection() {
    // A close without an open would leave a negative depth that no later open repairs.
    if (depth_ == 0) return;
    if (--depth_ > 0) return;
    std::vector<std::unique_ptr<Geo>> collected = std::move(held_);
    held_.clear();
    for (std::unique_ptr<Geo>& element : collected) addGeo(std::move(element));
    owner().queue().keyRelease(heldKey_);
}

} // namespace Karsto
