#pragma once
// Large blocks straight from the system, aligned to their size, for the allocators of
// the compile's many small records (syntax-tree nodes, code nodes). Aligned to a huge
// page and advised as such, a block costs one fault where 4 KiB pages cost hundreds: a
// large program touches fresh memory by the hundreds of megabytes.

#include <cstddef>

namespace Karsto {

// A block of `bytes` (a power of two) aligned to `bytes`. Throws std::bad_alloc.
unsigned char* mapAlignedBlock(size_t bytes);
// Gives a block of mapAlignedBlock back.
void unmapAlignedBlock(unsigned char* block, size_t bytes);

} // namespace Karsto
