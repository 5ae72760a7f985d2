#include "core/namespace.h"

#include <string_view>

namespace Karsto {

namespace {

// Calls visit with each part of a dotted name in order; stops when visit returns null.
template <class Visit>
Namespace* walkParts(Namespace* from, std::string_view dotted, Visit visit) {
    Namespace* current = from;
    if (dotted.empty()) return current;
    size_t begin = 0;
    while (current != nullptr) {
        const size_t dot = dotted.find('.', begin);
        const std::string part(dotted.substr(begin, dot - begin)); // npos: the rest
        current = visit(current, part);
        if (dot == std::string_view::npos) break;
        begin = dot + 1;
    }
    return current;
}

} // namespace

Namespace::~Namespace() = default;

Namespace* Namespace::root() {
    Namespace* n = this;
    while (n->parent_ != nullptr) n = n->parent_;
    return n;
}

Namespace* Namespace::find(const std::string& dotted) {
    return walkParts(this, dotted, [](Namespace* current, const std::string& part) {
        auto it = current->children_.find(part);
        return it == current->children_.end() ? nullptr : it->second;
    });
}

Namespace* Namespace::findOrCreate(const std::string& dotted) {
    Namespace* owner = root();
    return walkParts(this, dotted, [owner](Namespace* current, const std::string& part) {
        auto it = current->children_.find(part);
        if (it != current->children_.end()) return it->second;
        owner->created_.push_back(std::unique_ptr<Namespace>(new Namespace(current, part)));
        Namespace* child = owner->created_.back().get();
        current->children_.emplace(part, child);
        return child;
    });
}

} // namespace Karsto
