#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "core/exception.h"
#include "geometry/trans_list.h"
#include "geometry/geometry_test_support.h"

namespace Karsto {
namespace {


std::unique_ptr<TransMatrix> translation(const Point3& t) {
    auto matrix = std::make_unique<TransMatrix>();
    matrix->m[0][3] = t.x;
    matrix->m[1][3] = t.y;
    matrix->m[2][3] = t.z;
    return matrix;
}

std::unique_ptr<TransMatrix> rotation(double angle, const Point3& axis) {
    auto matrix = std::make_unique<TransMatrix>();
    matrix->setRotation(angle, axis);
    return matrix;
}

std::unique_ptr<TransMatrix> diagonal(double d0, double d1, double d2) {
    auto matrix = std::make_unique<TransMatrix>();
    matrix->m[0][0] = d0;
    matrix->m[1][1] = d1;
    matrix->m[2][2] = d2;
    return matrix;
}

// The path processor's stack: zero offset, the program's frame stack, tool compensation.
struct RootStack {
    TransList root;
    TransMatrix* zeroOffset = root.append(std::make_unique<TransMatrix>());
    TransList* user = root.append(std::make_unique<TransList>());
    TransMatrix* tool = root.append(std::make_unique<TransMatrix>());

    Point3 map(const Point3& p) { return root.matrix().applyPoint(p); }
};

TEST(TransList, FreshRootIsTheIdentity) {
    RootStack stack;
    EXPECT_EQ(stack.map({1, 2, 3}), (Point3{1, 2, 3}));
    EXPECT_EQ(stack.user->parent(), &stack.root);
    EXPECT_EQ(stack.root.parent(), nullptr);
}

TEST(TransList, LastAppendedActsFirst) {
    {
        RootStack stack;
        stack.user->append(translation({0, 5, 0}));
        stack.user->append(rotation(kPi / 2, {0, 0, 1}));
        expectNear(stack.map({2, 0, 0}), {0, 7, 0});
    }
    {
        RootStack stack;
        stack.user->append(rotation(kPi / 2, {0, 0, 1}));
        stack.user->append(translation({0, 5, 0}));
        expectNear(stack.map({2, 0, 0}), {-5, 2, 0});
    }
    {
        // Tool compensation first, then the user frame, then the zero offset.
        RootStack stack;
        stack.zeroOffset->m[0][3] = 10;
        stack.user->append(rotation(kPi / 2, {0, 0, 1}));
        stack.tool->m[2][3] = 100;
        expectNear(stack.map({1, 0, 0}), {10, 1, 100});
    }
}

TEST(TransList, ChangesBelowReachTheNextRead) {
    RootStack stack;
    EXPECT_EQ(stack.map({1, 0, 0}), (Point3{1, 0, 0}));

    // Appending to the user list: no call on the root.
    TransMatrix* shift = stack.user->append(translation({0, 0, 3}));
    EXPECT_EQ(stack.map({1, 0, 0}), (Point3{1, 0, 3}));

    // setIdentity marks every product above stale, so entries written right after it
    // are picked up.
    stack.zeroOffset->setIdentity();
    stack.zeroOffset->m[1][3] = 4;
    EXPECT_EQ(stack.map({1, 0, 0}), (Point3{1, 4, 3}));

    // setRotation keeps the translation column.
    shift->setRotation(kPi, {0, 0, 1});
    expectNear(stack.map({1, 0, 0}), {-1, 4, 3});

    // multiply invalidates.
    shift->multiply(*translation({2, 0, 0}));
    expectNear(stack.map({1, 0, 0}), {-3, 4, 3});

    // Truncating to the count deletes nothing but still makes the next read recompose:
    // entries written without any notice show up after it.
    shift->m[2][3] = 9;
    EXPECT_EQ(stack.user->size(), 1u);
    stack.user->truncate(1);
    ASSERT_EQ(stack.user->size(), 1u);
    EXPECT_EQ(&stack.user->element(0), shift);
    expectNear(stack.map({1, 0, 0}), {-3, 4, 9});

    stack.user->truncate(0);
    EXPECT_EQ(stack.user->size(), 0u);
    EXPECT_EQ(stack.map({1, 0, 0}), (Point3{1, 4, 0}));
}

TEST(TransList, ReadsOfAValidProductDoNotRecompose) {
    RootStack stack;
    stack.user->append(translation({1, 0, 0}));
    const TransMatrix& product = stack.root.matrix();
    // Written without notice: a valid product does not see it until something invalidates.
    stack.tool->m[0][3] = 5;
    EXPECT_EQ(stack.root.matrix().m[0][3], 1.0);
    EXPECT_EQ(&stack.root.matrix(), &product);
    stack.tool->invalidate();
    EXPECT_EQ(stack.root.matrix().m[0][3], 6.0);
}

// Counts how many nodes of this kind are alive, to see what a list deletes.
class CountedNode final : public TransBase {
public:
    explicit CountedNode(int& alive) : alive_(alive) { ++alive_; }
    ~CountedNode() override { --alive_; }
    const TransMatrix& matrix() override { return identity_; }

private:
    int& alive_;
    TransMatrix identity_;
};

TEST(TransList, OwnsItsElements) {
    int alive = 0;
    {
        TransList outer;
        TransList* inner = outer.append(std::make_unique<TransList>());
        for (int i = 0; i < 4; ++i) inner->append(std::make_unique<CountedNode>(alive));
        outer.append(std::make_unique<CountedNode>(alive));
        EXPECT_EQ(alive, 5);
        inner->truncate(4);
        EXPECT_EQ(alive, 5);
        inner->truncate(1);
        EXPECT_EQ(alive, 2);
        // A count above the size deletes nothing.
        inner->truncate(7);
        EXPECT_EQ(inner->size(), 1u);
        EXPECT_EQ(alive, 2);
    }
    EXPECT_EQ(alive, 0);
}

TEST(TransMatrix, InverseMapsBack) {
    auto matrix = rotation(0.7, {1, -2, 0.5});
    matrix->m[0][3] = 12.5;
    matrix->m[1][3] = -3;
    matrix->m[2][3] = 0.25;
    matrix->multiply(*diagonal(2, 2, 2));
    EXPECT_FALSE(matrix->inverseValid());
    const TransMatrix& inverse = matrix->inverse();
    EXPECT_TRUE(matrix->inverseValid());
    EXPECT_EQ(inverse.parent(), nullptr);
    for (const Point3& p : {Point3{0, 0, 0}, Point3{1, 2, 3}, Point3{-40, 7.5, 1e3}}) {
        expectNear(inverse.applyPoint(matrix->applyPoint(p)), p);
        expectNear(inverse.applyDirection(matrix->applyDirection(p)), p);
    }

    // A change clears the flag; the next read inverts the new entries.
    matrix->setRotation(kPi / 2, {0, 0, 1});
    EXPECT_FALSE(matrix->inverseValid());
    expectNear(matrix->inverse().applyPoint(matrix->applyPoint({3, 4, 5})), {3, 4, 5});
}

TEST(TransMatrix, InverseOfTheInverseFollowsChanges) {
    auto matrix = translation({1, 2, 3});
    const TransMatrix& inverse = matrix->inverse();
    expectNear(inverse.inverse().applyPoint({0, 0, 0}), {1, 2, 3});
    matrix->setIdentity();
    matrix->m[0][3] = 7;
    expectNear(matrix->inverse().inverse().applyPoint({0, 0, 0}), {7, 0, 0});
}

TEST(TransMatrix, RootProductInverseFollowsChanges) {
    RootStack stack;
    stack.user->append(translation({1, 0, 0}));
    expectNear(stack.root.matrix().inverse().applyPoint({0, 0, 0}), {-1, 0, 0});
    stack.user->append(translation({0, 1, 0}));
    expectNear(stack.root.matrix().inverse().applyPoint({0, 0, 0}), {-1, -1, 0});
}

TEST(TransMatrix, SingularMatrixHasNoInverse) {
    auto flat = diagonal(1, 1, 0);
    EXPECT_EQ(flat->determinant(), 0.0);
    try {
        flat->updateInverse();
        FAIL() << "no error";
    } catch (const ExceptionRuntime& e) {
        EXPECT_EQ(e.message(), "Matrix can not be inverted");
        EXPECT_FALSE(e.span().valid);
    }
    EXPECT_FALSE(flat->inverseValid());
    EXPECT_THROW(flat->inverse(), ExceptionRuntime);

    // No tolerance: a nearly singular matrix is inverted.
    auto thin = diagonal(1, 1, 1e-300);
    EXPECT_NO_THROW(thin->updateInverse());
    EXPECT_TRUE(thin->inverseValid());
}

TEST(TransMatrix, MirrorInverts) {
    auto mirror = diagonal(1, -1, 1);
    EXPECT_EQ(mirror->determinant(), -1.0);
    EXPECT_EQ(mirror->inverse().applyPoint({1, 2, 3}), (Point3{1, -2, 3}));
    EXPECT_GT(rotation(0.3, {0, 1, 0})->determinant(), 0.0);
}

TEST(TransMatrix, Determinant) {
    EXPECT_EQ(diagonal(2, 3, 4)->determinant(), 24.0);
    auto shear = std::make_unique<TransMatrix>();
    shear->m[0][1] = 5;
    shear->m[0][3] = 9; // translation does not count
    EXPECT_EQ(shear->determinant(), 1.0);
    EXPECT_NEAR(rotation(1.234, {1, 1, 1})->determinant(), 1.0, 1e-15);
}

TEST(TransMatrix, MultiplyWithItself) {
    auto matrix = rotation(kPi / 4, {0, 0, 1});
    matrix->m[0][3] = 1;
    matrix->multiply(*matrix);
    // (R, t) x (R, t) = (R R, R t + t): a quarter turn and (1 + cos 45, sin 45, 0).
    expectNear(matrix->applyPoint({1, 0, 0}), {1 + std::sqrt(0.5), 1 + std::sqrt(0.5), 0});
}

TEST(TransMatrix, ApplyPoseKeepsRotaryAxes) {
    auto matrix = rotation(0.9, {1, 2, 3});
    matrix->m[2][3] = -4;
    matrix->multiply(*diagonal(-1, 2, 0.5));
    const Pose p(1, 2, 3, 45.5, -7, 1e9);
    const Pose q = matrix->applyPose(p);
    EXPECT_EQ(q.rotary(), p.rotary());
    EXPECT_EQ(q.position(), matrix->applyPoint(p.position()));
}

TEST(TransMatrix, RotationIsRightHanded) {
    // Axis length does not matter.
    expectNear(rotation(kPi / 2, {0, 0, 5})->applyPoint({1, 0, 0}), {0, 1, 0}, 1e-15);
    expectNear(rotation(kPi / 2, {3, 0, 0})->applyPoint({0, 1, 0}), {0, 0, 1}, 1e-15);
    expectNear(rotation(kPi / 2, {0, 0.1, 0})->applyPoint({0, 0, 1}), {1, 0, 0}, 1e-15);
    // The same turn as rotating the vector about the rotation vector.
    const Point3 axis{1, -2, 0.5};
    const Point3 v{3, 1, -2};
    expectNear(rotation(0.8, axis)->applyPoint(v),
               v.rotatedAbout(Point3::scale(axis.normalized(), 0.8)), 1e-14);
}

} // namespace
} // namespace Karsto
