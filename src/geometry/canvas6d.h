#pragma once
// The path processor of one NC channel: it maps programmed motions through the
// transformation stack into machine coordinates, makes one path element per motion and
// routes it: into its own collection while tool radius compensation or collision
// elimination holds elements back, else into the smoothing chain when that is on, else
// straight into the channel's command queue.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "geometry/aprocessor.h"
#include "geometry/geo.h"
#include "geometry/pproc.h"
#include "geometry/trans_list.h"

namespace Karsto {

// How the feed of a compensated arc is meant (the values of the NC enumeration
// feedmodetype).
enum class FeedMode : int32_t {
    contour = 0,
    internalRadius = 1,
    toolCenterPoint = 2,
};

// The settings of collision elimination.
struct CollisionEliminationState {
    bool active = false;
    Point3 planeNormal;
    // The first held element that collision elimination examines.
    int32_t startIndex = 0;
    // Values of 2^32 and above mean no limit.
    uint64_t limit = UINT64_MAX;

    void reset() { *this = CollisionEliminationState(); }
};

// The settings of tool radius compensation.
struct RadiusCompensationState {
    bool active = false;
    Point3 offsetVector;
    double offset = 0.0; // mm: the length of the straight extensions at corners
    bool limitSet = false;
    uint64_t limit = UINT64_MAX;
    double approachRadius = 0.0; // mm
    double approachAngle = 0.0;  // rad
    double departRadius = 0.0;   // mm
    double departAngle = 0.0;    // rad
    FeedMode feedMode = FeedMode::toolCenterPoint;

    void reset() { *this = RadiusCompensationState(); }
};

class GeoHelix;

class Canvas6d final : public AProcessor {
public:
    // axes: x, y, z, a, b, c. Builds the smoothing chain, then resets.
    Canvas6d(AProcessorOwner& owner, std::vector<SpaceSlot*> axes);
    ~Canvas6d() override;

    // Position, feed, collection, compensation, collision elimination and the smoothing
    // chain back to their start; the held key and the transformation stack stay.
    void reset();

    // The feed of the following feed moves (mm/s).
    void setVelocity(double velocity) { feed_.velocity = velocity; }
    void setSecondVelocity(double velocity) { feed_.secondVelocity = velocity; }
    const FeedParams& feed() const { return feed_; }

    // Where the path stands, in machine coordinates.
    const Pose& current() const { return current_; }
    void setCurrent(const Pose& pose) { current_ = pose; }

    // Zero offset, user transformations and tool matrix, appended by the G-code processor.
    TransList& transformations() { return transformations_; }

    // Motions in program coordinates under the caller's origin and key. When the element
    // cannot be made, nothing is handed on and current stays.
    // A line with the given feed (feed moves pass the processor's own).
    void lineTo(const Pose& target, const FeedParams& feed, const BlockOrigin& origin,
                const BlockKey& key);
    // The arc from current to target about centre and normal, sweeping angle (rad).
    void arcTo(const Pose& target, const Point3& centre, const Point3& normal, double angle,
               const BlockOrigin& origin, const BlockKey& key);
    // The arc from current sweeping angle with the lift height (mm, not transformed).
    void arcByAngle(const Point3& centre, const Point3& normal, double angle, double height,
                    const BlockOrigin& origin, const BlockKey& key);
    // The Bezier curve from current to target with the inner control points; a, b, c stay.
    void bezierTo(const Point3& target, std::span<const Point3> inner, const BlockOrigin& origin,
                  const BlockKey& key);

    // Routes an element in machine coordinates. Nothing is delivered here.
    void addGeo(std::unique_ptr<Geo> element);

    // Opens a collection level: from depth 0, the owner's current key is held in the queue.
    void beginCollection();
    // Closes a level; closing the last one hands the held elements on in order and releases
    // the held key. At depth 0 nothing happens.
    void endCollection();
    int32_t collectionDepth() const { return depth_; }
    const BlockKey& heldKey() const { return heldKey_; }
    const std::vector<std::unique_ptr<Geo>>& heldElements() const { return held_; }

    // Tool radius compensation. A non-zero offset vector (plane normal times the signed
    // distance; each element moves towards vector x tangent) switches it on: a path still
    // pending is computed first, then a collection level opens. Under a mirroring stack the
    // vector is negated, so the path stays on the programmed side. A limit other than 0
    // sends the compensated path through collision elimination with that look-ahead. The
    // zero vector switches compensation off and computes the path.
    void setParallelPath(const Point3& offsetVector, double offset, double approachRadius,
                         double approachAngle, double departRadius, double departAngle,
                         uint64_t limit);
    // Replaces the held elements by the compensated path (approach, shifted elements with
    // their corners, depart) and ends one collection level. The first held element only
    // gives the approach its start; current becomes the end of the compensated path.
    void computeParallelPath();
    // The arc of the given radius and sweep that arrives at end moving along tangent, in
    // the plane of normal; none when radius x angle is 0. Own feed, the key as given.
    std::unique_ptr<GeoHelix> approachArc(const Pose& end, const Point3& normal,
                                          const Point3& tangent, const BlockOrigin& origin,
                                          const BlockKey& key, double radius, double angle) const;
    // The arc that leaves start moving along tangent; none when radius x angle is 0.
    std::unique_ptr<GeoHelix> departArc(const Pose& start, const Point3& normal,
                                        const Point3& tangent, const BlockOrigin& origin,
                                        const BlockKey& key, double radius, double angle) const;
    // The elements that join the shifted end previousEnd to the shifted start nextStart
    // about the programmed corner point, keyed below key: an arc (with straight
    // extensions when the compensation's offset is set) when both lie at the same distance
    // from the corner, else a line, or a line and an arc arriving along the next element
    // when an approach arc is set. Nothing when the two coincide.
    void insertCorner(const Pose& previousEnd, const Pose& nextStart, const Point3& nextTangent,
                      const Point3& corner, const Point3& offsetVector, const FeedParams& feed,
                      const BlockOrigin& origin, const BlockKey& key);

    // Collision elimination along normal (stored as given) with a look-ahead limit. Opens
    // a collection level unless it is on already; in every case the elements held from
    // now on are the ones examined.
    void beginCollisionElimination(const Point3& normal, uint64_t limit);
    // Replaces the examined held elements by the walk of trimAndConnect. Collection level,
    // active flag and start index stay.
    void eliminateCollisions();
    // Eliminates, ends the collection level when collision elimination is on, and switches
    // it off.
    void endCollisionElimination();
    // While collision elimination is on: eliminates, hands on what was held (unless another
    // level still holds it) and opens a level again; settings and start index stay.
    void flushCollisionElimination();
    // Walks input in order: wherever an element meets a later one within the look-ahead
    // window (seen along normal), it is cut there, the elements in between are left out
    // and the walk goes on from the meeting point of the later one; a connector line
    // bridges a gap that remains in space. Every walked element appears as a new copy or
    // piece in output; input stays with the caller.
    void trimAndConnect(const Point3& normal, std::span<const std::unique_ptr<Geo>> input,
                        std::vector<std::unique_ptr<Geo>>& output) const;

    CollisionEliminationState& collisionElimination() { return collision_; }
    RadiusCompensationState& radiusCompensation() { return compensation_; }
    FeedMode feedMode() const { return compensation_.feedMode; }
    void setFeedMode(FeedMode mode) { compensation_.feedMode = mode; }

    // The smoothing chain: elements enter at the head while the pipeline is on.
    bool pipelineEnabled() const { return pipelineEnabled_; }
    void setPipelineEnabled(bool on) { pipelineEnabled_ = on; }
    PProc& head() { return *head_; }
    PProcBreakdetect& breakdetect() { return *breakdetect_; }
    PProcLinemerge& linemerge() { return *linemerge_; }
    PProcBezierifier& bezierifier() { return *bezierifier_; }
    PProcBeziermerge& beziermerge() { return *beziermerge_; }

private:
    Pose current_;
    TransList transformations_;
    FeedParams feed_;
    BlockKey heldKey_;
    int32_t depth_ = 0;
    std::vector<std::unique_ptr<Geo>> held_;
    CollisionEliminationState collision_;
    RadiusCompensationState compensation_;
    bool pipelineEnabled_ = false;
    PProc* head_ = nullptr;
    // Built tail first: each stage needs the one it feeds.
    std::unique_ptr<PProcSink> sink_;
    std::unique_ptr<PProcBeziermerge> beziermerge_;
    std::unique_ptr<PProcBezierifier> bezierifier_;
    std::unique_ptr<PProcLinemerge> linemerge_;
    std::unique_ptr<PProcBreakdetect> breakdetect_;
};

} // namespace Karsto
