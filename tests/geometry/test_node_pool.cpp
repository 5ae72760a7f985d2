// The node pool behind the queue's sets: freed nodes are handed out again, so a set that
// refills to its earlier size allocates nothing; the pool frees them when it goes.

#include <gtest/gtest.h>

#include <set>

#include "core/allocation_count.h"
#include "geometry/node_pool.h"

namespace Karsto {
namespace {

TEST(NodePool, RefillingASetReusesItsNodes) {
    NodePool pool;
    std::multiset<int, std::less<int>, PoolAllocator<int>> set{PoolAllocator<int>(pool)};
    const auto fill = [&set] {
        for (int i = 0; i < 100; ++i) set.insert(i % 7);
    };
    const int64_t first = test::allocationCount();
    fill();
    EXPECT_EQ(test::allocationCount() - first, 100);
    set.clear();
    const int64_t again = test::allocationCount();
    fill();
    set.erase(set.begin());
    set.insert(3);
    set.extract(set.begin());
    set.insert(4);
    EXPECT_EQ(test::allocationCount() - again, 0);
    EXPECT_EQ(set.size(), 100u);
}

} // namespace
} // namespace Karsto
