#pragma once
// Small builders shared by the geometry tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <numbers>

#include "geometry/block_key.h"
#include "geometry/geo.h"

namespace Karsto {

inline constexpr double kPi = std::numbers::pi;
// No limit on the number of commands a stage may hold back.
inline constexpr uint64_t kNoLimit = UINT64_MAX;
inline const Point3 kUp{0, 0, 1};

// The origin of a block on one line of "part.jyx", columns 1 to 12.
inline BlockOrigin originAt(int32_t line, double blockNumber) {
    SourcePosition from;
    from.file = "part.jyx";
    from.line = line;
    from.column = 1;
    SourcePosition to = from;
    to.column = 12;
    return {SourceSpan(from, to), blockNumber};
}

// Key, feed and origin travel into every element made from another; restart never does.
inline void expectSameAttributes(const Geo& made, const Geo& from) {
    EXPECT_EQ(made.key(), from.key());
    EXPECT_EQ(made.feed().velocity, from.feed().velocity);
    EXPECT_EQ(made.feed().secondVelocity, from.feed().secondVelocity);
    EXPECT_EQ(made.origin().span.toString(), from.origin().span.toString());
    EXPECT_EQ(made.origin().blockNumber, from.origin().blockNumber);
    EXPECT_FALSE(made.restart());
}

// Points equal within tol, component by component.
inline void expectNear(const Point3& actual, const Point3& expected, double tol = 1e-12) {
    EXPECT_NEAR(actual.x, expected.x, tol);
    EXPECT_NEAR(actual.y, expected.y, tol);
    EXPECT_NEAR(actual.z, expected.z, tol);
}

} // namespace Karsto
