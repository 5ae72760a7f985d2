#pragma once
// The tree of namespaces declared with NAMESPACE, addressed by dotted names.

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Karsto {

class Namespace {
public:
    // An empty root: no parent, empty name, no children.
    Namespace() = default;
    Namespace(const Namespace&) = delete;
    Namespace& operator=(const Namespace&) = delete;
    // A namespace refers to its children without owning them; the root frees every
    // namespace that findOrCreate made below it, so they live as long as the compile.
    ~Namespace();

    // The namespace reached from here by the dotted name ("" is this one), or null when
    // a part is missing.
    Namespace* find(const std::string& dotted);
    // The same walk, creating every missing part on the way.
    Namespace* findOrCreate(const std::string& dotted);

    Namespace* parent() const { return parent_; }
    const std::string& name() const { return name_; }
    const std::map<std::string, Namespace*>& children() const { return children_; }

private:
    Namespace(Namespace* parent, std::string name) : parent_(parent), name_(std::move(name)) {}
    Namespace* root();

    Namespace* parent_ = nullptr;
    std::string name_; // the last part of the dotted name; empty for the root
    std::map<std::string, Namespace*> children_;
    std::vector<std::unique_ptr<Namespace>> created_; // held by the root only
};

} // namespace Karsto
