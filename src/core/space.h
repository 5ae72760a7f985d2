#pragma once
// A table of named slots, such as the axis names of a channel's G-code processor.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Karsto {

class Space;

struct SpaceSlot {
    Space* owner = nullptr;
    std::string name;
    int32_t value = 0; // belongs to the user of the space
};

class Space {
public:
    Space() = default;
    Space(const Space&) = delete;
    Space& operator=(const Space&) = delete;
    virtual ~Space() = default;

    // Appends a new slot; a name declared again leaves the old slot in place and
    // points the index at the new one.
    SpaceSlot* declare(const std::string& name);
    // The slot the name currently points to, or null.
    SpaceSlot* find(const std::string& name) const;

    const std::vector<std::unique_ptr<SpaceSlot>>& slots() const { return slots_; }

private:
    std::vector<std::unique_ptr<SpaceSlot>> slots_; // declaration order
    std::map<std::string, int32_t> index_;
};

} // namespace Karsto
