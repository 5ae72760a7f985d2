#pragma once
// An affine transformation of space: a 3x3 linear block and a translation column,
// with its inverse cached until the next change.

#include <memory>

#include "geometry/pose.h"
#include "geometry/trans_base.h"

namespace Karsto {

class TransMatrix final : public TransBase {
public:
    // The identity.
    TransMatrix();
    ~TransMatrix() override;

    const TransMatrix& matrix() override { return *this; }
    void invalidate() override {
        inverseValid_ = false;
        TransBase::invalidate();
    }

    // Every mutator below ends by invalidating; entries written directly through m do not,
    // which is why writers call setIdentity first.
    void setIdentity();
    // Replaces the 3x3 block by the right-handed rotation by angle (rad) about axis (any
    // non-zero length); the translation column keeps its values.
    void setRotation(double angle, const Point3& axis);
    // this = this x other: other acts first on a point. other may be this matrix.
    void multiply(const TransMatrix& other);

    // Of the 3x3 block; not above 0 means the transformation mirrors.
    double determinant() const;
    // Makes the cached inverse valid; "Matrix can not be inverted" when the determinant
    // is exactly 0 (no tolerance: a nearly singular matrix is inverted like any other).
    // The inverse is a cache, so a product read through a const reference can be inverted.
    void updateInverse() const;
    // The inverse, updated first when stale. Read-only: its entries belong to this matrix.
    const TransMatrix& inverse() const {
        updateInverse();
        return *inverse_;
    }
    bool inverseValid() const { return inverseValid_; }

    Point3 applyPoint(const Point3& p) const {
        return {m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z + m[0][3],
                m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z + m[1][3],
                m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z + m[2][3]};
    }
    Point3 applyDirection(const Point3& d) const {
        return {m[0][0] * d.x + m[0][1] * d.y + m[0][2] * d.z,
                m[1][0] * d.x + m[1][1] * d.y + m[1][2] * d.z,
                m[2][0] * d.x + m[2][1] * d.y + m[2][2] * d.z};
    }
    // x, y, z as a point; a, b, c are copied unchanged.
    Pose applyPose(const Pose& p) const { return Pose(applyPoint(p.position()), p.rotary()); }

    // Row order: m[row][0..2] the linear block, m[row][3] the translation.
    double m[3][4] = {};

private:
    mutable std::unique_ptr<TransMatrix> inverse_; // created on first use; parent stays null
    mutable bool inverseValid_ = false;
};

} // namespace Karsto
