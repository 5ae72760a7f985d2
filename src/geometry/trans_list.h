#pragma once
// An ordered list of transformations applied as one, with their product cached until
// a change below it. The product is E0 x E1 x ... x En-1: the element appended last acts
// first on a point, element 0 last.

#include <cstddef>
#include <memory>
#include <vector>

#include "geometry/trans_matrix.h"

namespace Karsto {

class TransList final : public TransBase {
public:
    TransList() = default;
    // Deletes every element without notifying anyone: the tree above is going away too,
    // or it truncates and so invalidates itself.
    ~TransList() override;

    // The product; a valid cache costs one flag test.
    const TransMatrix& matrix() override {
        if (!productValid_) recompose();
        return *product_;
    }
    void invalidate() override {
        productValid_ = false;
        TransBase::invalidate();
    }

    // Takes the node, makes this list its parent, appends it and invalidates. Returns the
    // node so the caller can keep a (non-owning) pointer to it.
    template <class Node>
    Node* append(std::unique_ptr<Node> node) {
        Node* raw = node.get();
        raw->parent_ = this;
        elements_.push_back(std::move(node));
        invalidate();
        return raw;
    }
    // Deletes the elements from index count on and invalidates, also when nothing is
    // deleted. A count above size() deletes nothing.
    void truncate(size_t count);

    size_t size() const { return elements_.size(); }
    TransBase& element(size_t index) const { return *elements_[index]; }

private:
    void recompose();

    std::vector<std::unique_ptr<TransBase>> elements_;
    std::unique_ptr<TransMatrix> product_; // created on first read; its parent stays null
    bool productValid_ = false;
};

} // namespace Karsto
