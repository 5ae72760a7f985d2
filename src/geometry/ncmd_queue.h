#pragma once
// The channel's NC command queue: everything that makes NC commands inserts them under
// their block key; the queue hands them to the NC output in key order, once no stage
// holds their block any more, numbers them with delivery serials, and carries out the
// kernel's block search (skip everything before a target, resume part of the way along
// the target element, then hold).

#include <cstdint>
#include <memory>
#include <set>

#include "geometry/block_key.h"
#include "geometry/ncmd.h"
#include "geometry/node_pool.h"
#include "geometry/pose.h"

namespace Karsto {

class NInterface;

enum class SearchMode : int32_t {
    none = 0,
    bySerial = 1,
    byBlockNumber = 2,
    targetReached = 5, // hold: nothing is delivered until the kernel link ends it
};

// The search kind under which kernel functions, M functions and dwells of skipped blocks
// are still delivered; under every other kind they are dropped too.
inline constexpr int16_t kSearchKindKeepFunctions = 2;

// Set by the kernel link, and by the queue as the search advances.
struct BlockSearch {
    SearchMode searchMode = SearchMode::none;
    int16_t searchKind = 0;
    // The serial or block number to find.
    int64_t searchTarget = 0;
    // Where to resume inside the target element, in percent of it.
    double searchPercent = 0.0;
    // The target at which the last path element was split (0: none), the start pose of
    // the remainder made there and the element parameter of that split.
    int64_t splitSerial = 0;
    Pose splitStart;
    double splitFraction = 0.0;
    bool targetReached = false;
    // The target was an H, S or T function: the next command resumes as a split at 0.
    bool resumeAfterHst = false;
};

class NCmdQueue {
public:
    struct KeyOrder {
        bool operator()(const std::unique_ptr<NCmd>& l, const std::unique_ptr<NCmd>& r) const {
            return l->key() < r->key();
        }
    };
    // Ordered by key; a command goes after every queued command with an equal key. The
    // nodes of both sets are recycled, so a steady stream of blocks allocates none.
    using Store = std::multiset<std::unique_ptr<NCmd>, KeyOrder, PoolAllocator<std::unique_ptr<NCmd>>>;
    using KeySet = std::multiset<BlockKey, std::less<BlockKey>, PoolAllocator<BlockKey>>;

    NCmdQueue() = default;
    // Clears the queue, which resets the output: an attached output must outlive it.
    ~NCmdQueue();
    NCmdQueue(const NCmdQueue&) = delete;
    NCmdQueue& operator=(const NCmdQueue&) = delete;

    // The output that delivered commands go to; not owned. Without one, delivered
    // commands are deleted.
    void setOutput(NInterface* output) { output_ = output; }
    NInterface* output() const { return output_; }

    // Takes the command; nothing is delivered here.
    void insert(std::unique_ptr<NCmd> cmd) { commands_.insert(std::move(cmd)); }

    // A stage begins to hold elements of the key's block; one entry per stage and block.
    void keyHold(const BlockKey& key) { heldKeys_.insert(key); }
    // Gives back one entry of the key, then moves the limit and delivers. A key that is
    // not held is ignored.
    void keyRelease(const BlockKey& key);

    // The processor holds the block being executed until the next one begins.
    void setHoldKey(const BlockKey& key) { holdKey_ = key; }
    const BlockKey& holdKey() const { return holdKey_; }

    // limit = max(limit, min(holdKey, smallest held key)): the limit never moves back.
    void limitUpdate();
    const BlockKey& limit() const { return limit_; }

    // Hands every command whose counter lies below the limit's to the output, in key
    // order, then tells the output the limit.
    void delivery();

    // Deletes every queued command and held key, sets the keys and the serial back and
    // resets the output. The search settings stay: the kernel sets a search before it
    // starts the program, and program start clears the queue.
    void clear();

    // The last delivery serial handed out.
    uint64_t serial() const { return serial_; }
    const Store& commands() const { return commands_; }
    const KeySet& heldKeys() const { return heldKeys_; }
    BlockSearch& search() { return search_; }
    const BlockSearch& search() const { return search_; }

private:
    void deliver(std::unique_ptr<NCmd> cmd);
    void searchStep(std::unique_ptr<NCmd> cmd);
    void splitOrDrop(std::unique_ptr<NCmd> cmd);
    void split(std::unique_ptr<NCmd> cmd, double fraction);
    void logDelivery(const NCmd& cmd) const;
    void add(std::unique_ptr<NCmd> cmd);

    // Declared before the sets, which return their nodes to them when they go.
    NodePool keyNodes_;
    NodePool commandNodes_;
    KeySet heldKeys_{PoolAllocator<BlockKey>(keyNodes_)};
    BlockKey holdKey_ = BlockKey::start();
    BlockKey limit_ = BlockKey::start();
    Store commands_{KeyOrder(), PoolAllocator<std::unique_ptr<NCmd>>(commandNodes_)};
    NInterface* output_ = nullptr;
    uint64_t serial_ = 0;
    BlockSearch search_;
};

} // namespace Karsto
