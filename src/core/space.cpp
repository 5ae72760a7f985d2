#include "core/space.h"

namespace Karsto {

SpaceSlot* Space::declare(const std::string& name) {
    index_[name] = static_cast<int32_t>(slots_.size());
    slots_.push_back(std::make_unique<SpaceSlot>(SpaceSlot{this, name, 0}));
    return slots_.back().get();
}

SpaceSlot* Space::find(const std::string& name) const {
    auto it = index_.find(name);
    return it == index_.end() ? nullptr : slots_[static_cast<size_t>(it->second)].get();
}

} // namespace Karsto
