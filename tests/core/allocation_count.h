#pragma once
// Counts the allocations of the test program: the global operator new is replaced for
// the whole test executable (allocation_count.cpp), so a test can prove a loop allocates
// nothing.

#include <cstdint>

namespace Karsto::test {

// Allocations through operator new and new[] (every form but the aligned ones) since the
// program started.
int64_t allocationCount();

} // namespace Karsto::test
