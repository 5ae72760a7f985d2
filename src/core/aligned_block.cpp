#include "core/aligned_block.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace Karsto {

unsigned char* mapAlignedBlock(size_t bytes) {
    // Twice the size, then the ends cut off so that an aligned block remains.
    const size_t span = 2 * bytes;
    void* mapped = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + bytes - 1) & ~uintptr_t{bytes - 1};
    if (aligned > start) munmap(mapped, aligned - start);
    if (const uintptr_t tail = start + span - (aligned + bytes); tail > 0)
        munmap(reinterpret_cast<void*>(aligned + bytes), tail);
    // No huge-page advice: where the system has to compact memory to make huge pages, a
    // large compile waited on its faults several times longer, and no less often than
    // it gained.
    return reinterpret_cast<unsigned char*>(aligned);
}

void unmapAlignedBlock(unsigned char* block, size_t bytes) { munmap(block, bytes); }

} // namespace Karsto
