#include "geometry/trans_matrix.h"

#include <cmath>

#include "core/exception.h"

namespace Karsto {

TransMatrix::TransMatrix() { setIdentity(); }

TransMatrix::~TransMatrix() = default;

void TransMatrix::setIdentity() {
    for (auto& row : m)
        for (double& e : row) e = 0.0;
    m[0][0] = m[1][1] = m[2][2] = 1.0;
    invalidate();
}

void TransMatrix::setRotation(double angle, const Point3& axis) {
    const Point3 n = axis.normalized();
    const double x = n.x, y = n.y, z = n.z;
    const double c = std::cos(angle), s = std::sin(angle), k = 1.0 - c;
    m[0][0] = x * x * k + c;
    m[0][1] = x * y * k - z * s;
    m[0][2] = x * z * k + y * s;
    m[1][0] = x * y * k + z * s;
    m[1][1] = y * y * k + c;
    m[1][2] = y * z * k - x * s;
    m[2][0] = x * z * k - y * s;
    m[2][1] = y * z * k + x * s;
    m[2][2] = z * z * k + c;
    invalidate();
}

void TransMatrix::multiply(const TransMatrix& other) {
    // The whole product first: other may be this matrix.
    double r[3][4];
    for (int j = 0; j < 3; ++j) {
        for (int k = 0; k < 4; ++k) {
            r[j][k] = m[j][0] * other.m[0][k] + m[j][1] * other.m[1][k] + m[j][2] * other.m[2][k];
        }
        r[j][3] += m[j][3];
    }
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 4; ++k) m[j][k] = r[j][k];
    invalidate();
}

double TransMatrix::determinant() const {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
           m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

void TransMatrix::updateInverse() const {
    if (inverseValid_) return;
    if (!inverse_) inverse_ = std::make_unique<TransMatrix>();
    const double d = determinant();
    checkRuntime(d != 0.0, "Matrix can not be inverted");
    // Adjugate over determinant: entry [i][j] is the cofactor of m[j][i] divided by d.
    double (&v)[3][4] = inverse_->m;
    v[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) / d;
    v[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / d;
    v[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / d;
    v[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) / d;
    v[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / d;
    v[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / d;
    v[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) / d;
    v[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / d;
    v[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / d;
    for (int i = 0; i < 3; ++i)
        v[i][3] = -(v[i][0] * m[0][3] + v[i][1] * m[1][3] + v[i][2] * m[2][3]);
    // The inverse's entries are written directly, without its parent being told (it has
    // none); only the inverse it may have cached of itself is now stale.
    inverse_->inverseValid_ = false;
    inverseValid_ = true;
}

} // namespace Karsto
