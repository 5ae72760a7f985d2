#pragma once
// One element of the tool path (line, arc or Bezier curve) in machine coordinates. Each
// element carries its place in the order of NC commands, the feed of its motion and the
// block it came from. Elements have one owner at a time; every operation that yields an
// element yields a new one that the caller owns.

#include <cfloat>
#include <memory>
#include <string>

#include "geometry/block_key.h"
#include "geometry/pose.h"

namespace Karsto {

class TransMatrix;

// The motion attributes copied into every element. A second velocity of 0 marks a feed
// move; the rapid record has both velocities DBL_MAX.
struct FeedParams {
    double velocity = 0.0;       // path velocity, mm/s
    double secondVelocity = 0.0; // 0 for feed moves

    static constexpr FeedParams rapid() { return {DBL_MAX, DBL_MAX}; }
    // A move counts as rapid only when both velocities are DBL_MAX.
    bool isRapid() const { return velocity == DBL_MAX && secondVelocity == DBL_MAX; }
};

class Geo {
public:
    Geo(const FeedParams& feed, const BlockOrigin& origin, const BlockKey& key)
        : key_(key), feed_(feed), origin_(origin) {}
    Geo& operator=(const Geo&) = delete;
    virtual ~Geo() = default;

    // Curve parameters t run from 0 at the start to 1 at the end.
    // Tangents point in the direction of motion and are not normalised.
    virtual Point3 startTangent() const = 0;
    virtual Point3 endTangent() const = 0;
    virtual void transform(const TransMatrix& matrix) = 0;
    virtual Point3 pointAt(double t) const = 0;
    virtual double length() const = 0;
    virtual std::string toString() const = 0;
    // The part [t0, t1] with this element's key, feed and origin. a, b, c are not
    // interpolated: the new start takes this start's values, the new end this end's.
    virtual std::unique_ptr<Geo> subElement(double t0, double t1) const = 0;
    // The parameter of the point of the element nearest to p.
    virtual double nearestParameter(const Point3& p) const = 0;
    // An equal element with the restart flag clear.
    virtual std::unique_ptr<Geo> clone() const = 0;
    // The element travelled from end to start, same key, feed and origin.
    virtual std::unique_ptr<Geo> reversed() const = 0;

    const BlockKey& key() const { return key_; }
    const FeedParams& feed() const { return feed_; }
    BlockOrigin origin() const { return origin_; }
    const Pose& start() const { return start_; }
    const Pose& end() const { return end_; }
    // Set by the queue on the remainder it splits off at a block-search target, cleared by
    // the NC output once it has sent the start position.
    bool restart() const { return restart_; }
    void setRestart(bool on) { restart_ = on; }

protected:
    // Copies everything but the restart flag, which no copy inherits.
    Geo(const Geo& other)
        : key_(other.key_), feed_(other.feed_), origin_(other.origin_), start_(other.start_),
          end_(other.end_) {}

    BlockKey key_;
    FeedParams feed_;
    BlockOrigin origin_;
    bool restart_ = false;
    Pose start_; // filled by the subclass constructor
    Pose end_;
};

} // namespace Karsto
