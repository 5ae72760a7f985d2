#pragma once
// Recycles the nodes of a node-based container (set, multiset) whose elements come and go
// at a steady rate, like the command queue's commands and held keys: once the container
// has reached its largest size, inserting allocates nothing. Freed nodes are kept until
// the pool goes, so the memory stays at the container's high-water mark.

#include <cstddef>
#include <new>
#include <utility>

namespace Karsto {

class NodePool {
public:
    NodePool() = default;
    NodePool(const NodePool&) = delete;
    NodePool& operator=(const NodePool&) = delete;
    ~NodePool() {
        while (free_ != nullptr) ::operator delete(std::exchange(free_, free_->next));
    }

    void* take(size_t size) {
        if (size != nodeSize_ || free_ == nullptr) return ::operator new(size);
        return std::exchange(free_, free_->next);
    }
    void give(void* p, size_t size) noexcept {
        // The first size given back is the container's node size; other blocks (none for
        // the tree containers) go straight back.
        if (nodeSize_ == 0 && size >= sizeof(Free)) nodeSize_ = size;
        if (size != nodeSize_) {
            ::operator delete(p);
            return;
        }
        free_ = ::new (p) Free{free_};
    }

private:
    struct Free {
        Free* next;
    };
    Free* free_ = nullptr;
    size_t nodeSize_ = 0;
};

// The allocator a container uses to draw from a pool; the pool must outlive the container.
template <class T>
class PoolAllocator {
public:
    using value_type = T;

    explicit PoolAllocator(NodePool& pool) noexcept : pool_(&pool) {}
    template <class U>
    PoolAllocator(const PoolAllocator<U>& other) noexcept : pool_(other.pool()) {}

    T* allocate(size_t n) { return static_cast<T*>(pool_->take(n * sizeof(T))); }
    void deallocate(T* p, size_t n) noexcept { pool_->give(p, n * sizeof(T)); }

    NodePool* pool() const noexcept { return pool_; }
    template <class U>
    bool operator==(const PoolAllocator<U>& other) const noexcept {
        return pool_ == other.pool();
    }

private:
    NodePool* pool_;
};

} // namespace Karsto
