// Replaces the global allocation functions with malloc and free plus a counter. Every
// plain and nothrow form of new and delete is replaced together, so that memory is never
// released by a different allocator than the one that handed it out (the sanitizer
// build checks that pairing).

#include "core/allocation_count.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace Karsto::test {
namespace {

std::atomic<int64_t> allocations{0};

void* allocate(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}

} // namespace

int64_t allocationCount() { return allocations.load(std::memory_order_relaxed); }

} // namespace Karsto::test

void* operator new(std::size_t size) {
    if (void* p = Karsto::test::allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Karsto::test::allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Karsto::test::allocate(size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
