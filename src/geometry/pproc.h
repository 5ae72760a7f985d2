#pragma once
// The smoothing chain: stages between the path processor and the command queue that
// merge nearly collinear lines, turn chains of short lines into the cubic Bezier segments
// of a uniform B-spline through their vertices, join Bezier segments that continue one
// curve, and end smoothing at sharp corners and long elements. A stage that keeps an
// element back holds its block key in the queue, so nothing of that block or after it is
// delivered before the element moves on.

#include <array>
#include <cstddef>
#include <memory>

#include "geometry/geo_bezier.h"
#include "geometry/geo_line.h"
#include "geometry/point3.h"

namespace Karsto {

class NCmdQueue;

class PProc {
public:
    PProc(const PProc&) = delete;
    PProc& operator=(const PProc&) = delete;
    // Deletes what the stage still holds without releasing keys.
    virtual ~PProc() = default;

    // Takes one element.
    virtual void process(std::unique_ptr<Geo> element) = 0;
    // Hands on everything the stage holds and releases its keys.
    virtual void flush() = 0;
    // This stage's flush, then the whole rest of the chain's.
    virtual void flushAll();
    // Deletes what the stage holds without releasing keys (the queue is cleared by the
    // same processor reset) and sets the limits to 0.
    virtual void reset() = 0;

    NCmdQueue& owner() const { return owner_; }

protected:
    // The last stage: no next one.
    explicit PProc(NCmdQueue& owner) : owner_(owner) {}
    // Every other stage shares the queue of the stage it feeds.
    explicit PProc(PProc& next) : owner_(next.owner_), next_(&next) {}

    void handOn(std::unique_ptr<Geo> element) { next_->process(std::move(element)); }

    NCmdQueue& owner_;
    PProc* next_ = nullptr;
};

// Ends smoothing before an element that starts a corner and around every long element:
// the following stages hand on all they hold first.
class PProcBreakdetect final : public PProc {
public:
    explicit PProcBreakdetect(PProc& next) : PProc(next) {}

    void process(std::unique_ptr<Geo> element) override;
    // Holds no element: forgets the last tangent.
    void flush() override { previousTangent_ = Point3(); }
    void reset() override;

    // radians, mm
    void setLimits(double breakAngle, double breakLength) {
        breakAngle_ = breakAngle;
        breakLength_ = breakLength;
    }
    double breakAngle() const { return breakAngle_; }
    double breakLength() const { return breakLength_; }
    // The end tangent of the last element with one, scaled to that element's length.
    const Point3& previousTangent() const { return previousTangent_; }

private:
    double breakAngle_ = 0.0;
    double breakLength_ = 0.0;
    Point3 previousTangent_;
};

// The common course of the stages that hold one element of a kind and merge the next one
// onto it: other kinds flush and pass; a merge keeps the held element's key, feed and
// origin; otherwise the held element moves on and the new one is held.
template <class Element>
class PProcMerging : public PProc {
public:
    void process(std::unique_ptr<Geo> element) override;
    void flush() override;
    void reset() override {
        held_.reset();
        resetLimits();
    }

    const Element* held() const { return held_.get(); }

protected:
    explicit PProcMerging(PProc& next) : PProc(next) {}

    // The one element that replaces held and next, or null when they stay apart.
    virtual std::unique_ptr<Element> merged(const Element& held, const Element& next) const = 0;
    virtual void resetLimits() = 0;

private:
    std::unique_ptr<Element> held_;
};

class PProcLinemerge final : public PProcMerging<GeoLine> {
public:
    explicit PProcLinemerge(PProc& next) : PProcMerging(next) {}

    // mm, radians, mm
    void setLimits(double mergeDiff, double breakAngle, double breakLength) {
        mergeDiff_ = mergeDiff;
        breakAngle_ = breakAngle;
        breakLength_ = breakLength;
    }
    double mergeDiff() const { return mergeDiff_; }
    double breakAngle() const { return breakAngle_; }
    double breakLength() const { return breakLength_; }

private:
    std::unique_ptr<GeoLine> merged(const GeoLine& held, const GeoLine& next) const override;
    void resetLimits() override { setLimits(0.0, 0.0, 0.0); }

    double mergeDiff_ = 0.0;
    double breakAngle_ = 0.0;
    double breakLength_ = 0.0;
};

// Turns chains of lines P0 -> P1 -> ... -> Pn into cubic Bezier segments from P0 to Pn:
// the uniform cubic B-spline with the vertices as control polygon, completed by the
// phantom points 2 P0 - P1 and 2 Pn - Pn-1 so that it starts and ends at the vertices.
class PProcBezierifier final : public PProc {
public:
    explicit PProcBezierifier(PProc& next) : PProc(next) {}

    void process(std::unique_ptr<Geo> element) override;
    void flush() override;
    void reset() override;

    size_t heldLines() const { return count_; }
    // The next segment handed on is the first of a chain.
    bool atStart() const { return atStart_; }

private:
    void hold(std::unique_ptr<GeoLine> line);
    // Releases the first line's key and deletes it.
    void dropFirst();
    const GeoLine& line(size_t i) const { return *lines_[i]; }

    // At most two lines stay held between calls; the third is the one being processed.
    std::array<std::unique_ptr<GeoLine>, 3> lines_;
    size_t count_ = 0;
    bool atStart_ = true;
};

// Joins consecutive cubic segments when the new one continues the held one's curve.
class PProcBeziermerge final : public PProcMerging<GeoBezier> {
public:
    explicit PProcBeziermerge(PProc& next) : PProcMerging(next) {}

    // mm
    void setMergeDiff(double mergeDiff) { mergeDiff_ = mergeDiff; }
    double mergeDiff() const { return mergeDiff_; }

private:
    std::unique_ptr<GeoBezier> merged(const GeoBezier& held, const GeoBezier& next) const override;
    void resetLimits() override { mergeDiff_ = 0.0; }

    double mergeDiff_ = 0.0;
};

// The end of the chain: every element becomes a command in the queue.
class PProcSink final : public PProc {
public:
    explicit PProcSink(NCmdQueue& owner) : PProc(owner) {}

    void process(std::unique_ptr<Geo> element) override;
    void flush() override {}
    void reset() override {}
};

// One segment of the uniform cubic B-spline with control points p in Bezier form: a cubic
// with a, b, c = 0 at both ends and the key, feed and origin of source.
std::unique_ptr<GeoBezier> bsplineToBezier(const std::array<Point3, 4>& p, const Geo& source);

} // namespace Karsto
