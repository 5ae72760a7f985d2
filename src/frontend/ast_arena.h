#pragma once
// Storage for the syntax-tree nodes that one parser creates. A parse makes several
// nodes per token and a reset frees them all, so nodes are cut from large blocks that
// are kept and reused from the start once every node in them has been deleted, instead
// of going to the general heap one by one.
//
// Deleting a node is unchanged: `delete` (as deleteAstTree does) runs its destructor and
// gives its storage back wherever it came from. A node may outlive the parser that made
// it: the arena then stays until its last node is deleted.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Karsto {

class AstArena {
public:
    AstArena() = default;
    AstArena(const AstArena&) = delete;
    AstArena& operator=(const AstArena&) = delete;

    // `size` bytes aligned for any node. Sizes beyond a block (no node class comes near
    // one) throw std::bad_alloc.
    void* allocate(size_t size);
    // The `size` bytes at `storage` are free again. When it was the last one, the blocks are reused
    // from the start, or the arena deletes itself if its owner has left.
    void release(void* storage, size_t size);
    // The owner is gone: deletes the arena now when no node lives, else with the last
    // node's release.
    void abandon();

    int64_t liveNodes() const { return live_; }

private:
    ~AstArena();
    void rewind();
    void addBlock();

    std::vector<unsigned char*> blocks_;
    size_t block_ = 0; // the block being cut
    size_t used_ = 0;  // bytes cut from it
    int64_t live_ = 0;
    bool abandoned_ = false;
};

// The owner's hold on an arena: abandons it when the owner goes.
class AstArenaHolder {
public:
    AstArenaHolder() : arena_(new AstArena()) {}
    AstArenaHolder(const AstArenaHolder&) = delete;
    AstArenaHolder& operator=(const AstArenaHolder&) = delete;
    ~AstArenaHolder() { arena_->abandon(); }

    AstArena* get() const { return arena_; }

private:
    AstArena* arena_;
};

} // namespace Karsto
