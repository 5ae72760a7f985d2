#pragma once
// A node of the transformation tree: a matrix leaf or a list of nodes applied as one.
// A change anywhere only clears cache flags on the way up to the root; products and
// inverses are recomputed when they are next read.

namespace Karsto {

class TransMatrix;
class TransList;

class TransBase {
public:
    TransBase() = default;
    // A node is linked into one tree and owns cached nodes: never copied.
    TransBase(const TransBase&) = delete;
    TransBase& operator=(const TransBase&) = delete;
    virtual ~TransBase() = default;

    // The node's effective matrix; a list recomposes its product first when stale.
    virtual const TransMatrix& matrix() = 0;
    // Notice that this node changed: each node clears its own cache, then tells its parent.
    virtual void invalidate() {
        if (parent_ != nullptr) parent_->invalidate();
    }

    // The list that contains this node (not owning), null for a root or detached node.
    TransBase* parent() const { return parent_; }

private:
    friend class TransList; // sets the parent when it takes a node
    TransBase* parent_ = nullptr;
};

} // namespace Karsto
