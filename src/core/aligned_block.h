#pragma once
// Large blocks straight from the system, aligned to their size, for the allocators of
// the compile's many small records (syntax-tree nodes, code nodes): whole blocks mapped
// once instead of the heap's header per record, and an address mask that finds a
// record's block.

#include <cstddef>

namespace Karsto {

// A block of `bytes` (a power of two) aligned to `bytes`. Throws std::bad_alloc.
unsigned char* mapAlignedBlock(size_t bytes);
// Gives a block of mapAlignedBlock back.
void unmapAlignedBlock(unsigned char* block, size_t bytes);

} // namespace Karsto
