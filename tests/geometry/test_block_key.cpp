#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "geometry/block_key.h"
#include "geometry/geometry_test_support.h"

namespace Karsto {
namespace {

TEST(BlockKey, StartValue) {
    const BlockKey start = BlockKey::start();
    EXPECT_EQ(start.counter, 0u);
    EXPECT_EQ(start.sub, std::ldexp(1.0, -1022));
    EXPECT_EQ(BlockKey(), start);
    // Above every inserted element of block 0, below its own commands' sub-number 0 of
    // block 1.
    EXPECT_LT((BlockKey{0, -1000.0}), start);
    EXPECT_LT((BlockKey{0, 0.0}), start);
    EXPECT_LT(start, (BlockKey{1, -1000.0}));
}

TEST(BlockKey, OrderCounterFirstThenSub) {
    struct Case {
        BlockKey lower;
        BlockKey higher;
    };
    const Case cases[] = {
        {{3, -0.5}, {3, 0.0}},
        {{3, -1000.0}, {3, -0.5}},
        {{3, 1e9}, {4, -1e9}},
        {{1, 0.0}, {uint64_t{1} << 63, 0.0}}, // unsigned: the top bit is no sign
        {{UINT64_MAX - 1, 5.0}, {UINT64_MAX, -5.0}},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(c.lower < c.higher) << c.lower.counter << " " << c.lower.sub;
        EXPECT_TRUE(c.higher > c.lower);
        EXPECT_FALSE(c.higher < c.lower);
        EXPECT_FALSE(c.lower == c.higher);
    }
    EXPECT_TRUE((BlockKey{3, -0.5}) == (BlockKey{3, -0.5}));
    EXPECT_FALSE((BlockKey{3, -0.5}) < (BlockKey{3, -0.5}));
}

TEST(BlockKey, SortsAStore) {
    const std::set<BlockKey> keys{{4, 0.0}, {3, 0.0}, {3, -1000.0}, {3, -0.5}, {uint64_t{1} << 63, -1.0}};
    const BlockKey expected[] = {{3, -1000.0}, {3, -0.5}, {3, 0.0}, {4, 0.0}, {uint64_t{1} << 63, -1.0}};
    ASSERT_EQ(keys.size(), std::size(expected));
    size_t i = 0;
    for (const BlockKey& k : keys) EXPECT_EQ(k, expected[i++]);
}

TEST(BlockOrigin, CopyKeepsSpanAndNumber) {
    auto original = std::make_unique<BlockOrigin>(originAt(4, 120.0));
    const BlockOrigin copy = *original;
    original.reset();
    EXPECT_EQ(copy.span.toString(), "part.jyx: 4.1-4.12");
    EXPECT_EQ(copy.blockNumber, 120.0);
    EXPECT_FALSE(BlockOrigin().span.valid);
    EXPECT_EQ(BlockOrigin().blockNumber, 0.0);
}

} // namespace
} // namespace Karsto
