#include "frontend/ast_arena.h"

#include <sanitizer/asan_interface.h>

#include <new>

namespace Karsto {

namespace {

constexpr size_t kBlockBytes = size_t{1} << 18;
constexpr size_t kAlignment = alignof(std::max_align_t);

constexpr size_t roundUp(size_t size) { return (size + kAlignment - 1) & ~(kAlignment - 1); }

unsigned char* newBlock(size_t size) {
    auto* block = static_cast<unsigned char*>(::operator new(size));
    // Under the address sanitizer only storage handed out is readable, and a deleted
    // node's storage is unreadable again until the blocks are reused.
    ASAN_POISON_MEMORY_REGION(block, size);
    return block;
}

} // namespace

AstArena::~AstArena() {
    for (unsigned char* block : blocks_) {
        ASAN_UNPOISON_MEMORY_REGION(block, kBlockBytes);
        ::operator delete(block);
    }
}

void AstArena::addBlock() {
    // Room in the list first: a failure to grow it must not lose a fresh block.
    if (blocks_.size() == blocks_.capacity()) blocks_.reserve(2 * blocks_.size() + 1);
    blocks_.push_back(newBlock(kBlockBytes));
}

void* AstArena::allocate(size_t size) {
    const size_t bytes = roundUp(size);
    if (bytes > kBlockBytes) throw std::bad_alloc();
    if (blocks_.empty()) addBlock();
    if (used_ + bytes > kBlockBytes) {
        if (block_ + 1 == blocks_.size()) addBlock();
        ++block_;
        used_ = 0;
    }
    unsigned char* storage = blocks_[block_] + used_;
    used_ += bytes;
    ++live_;
    ASAN_UNPOISON_MEMORY_REGION(storage, size);
    return storage;
}

void AstArena::release(void* storage, size_t size) {
    ASAN_POISON_MEMORY_REGION(storage, size);
    if (--live_ > 0) return;
    if (abandoned_) {
        delete this;
        return;
    }
    rewind();
}

void AstArena::abandon() {
    abandoned_ = true;
    if (live_ == 0) delete this;
}

void AstArena::rewind() {
    block_ = 0;
    used_ = 0;
}

} // namespace Karsto
