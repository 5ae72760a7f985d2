#include "geometry/trans_list.h"

namespace Karsto {

TransList::~TransList() = default;

void TransList::truncate(size_t count) {
    if (count < elements_.size())
        elements_.erase(elements_.begin() + static_cast<std::ptrdiff_t>(count), elements_.end());
    invalidate();
}

void TransList::recompose() {
    if (!product_) product_ = std::make_unique<TransMatrix>();
    product_->setIdentity();
    for (const auto& element : elements_) product_->multiply(element->matrix());
    productValid_ = true;
}

} // namespace Karsto
