#pragma once
// Name lookup through chains of scopes. A scope maps names to variables, types or
// functions; scopes nest through a parent link and import other scopes, which are
// searched after the parent chain. A scope owns none of what it refers to.
//
// Every declaration line opens one scope below the previous one, so parent chains get
// as long as a program: all searches walk them without native recursion.

#include <cstdint>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/exception.h"

namespace Karsto {

template <class T>
class Scope {
public:
    explicit Scope(Scope* parent = nullptr) : parent_(parent) {}
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
    virtual ~Scope() = default;

    // A new scope under parent that declares the one name; the caller owns it.
    static Scope* createWith(Scope* parent, const std::string& name, T* value) {
        Scope* scope = new Scope(parent);
        scope->declare(name, value);
        return scope;
    }

    // Declares in this scope only: a name may hide one of an enclosing scope.
    void declare(const std::string& name, T* value) {
        checkSemantic(index_.find(name) == index_.end(),
                      "Multiple declarations of '%s' in scope.", name.c_str());
        index_.emplace(name, values_.size());
        values_.push_back(value);
        names_.push_back(name);
    }

    // The scope's own names first (the search ends there), then the parent's complete
    // rule, then each import in order. A name reached in two places is ambiguous even
    // when both places hold the same object.
    T* lookup(const std::string& name) const;

    T* lookupOrFail(const std::string& name) const {
        T* value = lookup(name);
        checkSemantic(value != nullptr, "Undeclared Identifier '%s'", name.c_str());
        return value;
    }

    // The value this scope itself declares under name, or null.
    T* findOwn(const std::string& name) const {
        auto it = index_.find(name);
        return it == index_.end() ? nullptr : values_[it->second];
    }

    void setParent(Scope* parent) { parent_ = parent; }
    void addImport(Scope* scope) { imports_.push_back(scope); }

    Scope* parent() const { return parent_; }
    const std::vector<Scope*>& imports() const { return imports_; }
    const std::vector<T*>& values() const { return values_; }
    const std::vector<std::string>& names() const { return names_; }

private:
    Scope* parent_;
    std::vector<Scope*> imports_;
    std::vector<T*> values_;         // declaration order
    std::vector<std::string> names_; // parallel to values_
    std::map<std::string, size_t> index_;
};

// The search rule shared by name lookup and by the search for enumeration values,
// without native recursion. A search of scope S walks up S's parent chain until the
// policy stops at a scope (which then contributes nothing more) or the root is passed;
// then, from the highest scope still in the search down to S, it merges the full search
// of each import of that scope in order, then that scope's own contribution. This is the
// result of the rule "parent's search, then the imports, then the own part" applied
// recursively. An import whose search is already under way further up the same search
// contributes nothing: that search could never end.
//
// Policy: `bool stopAt(const Scope<T>*, R&)` (sets the result where the walk stops),
// `void own(const Scope<T>*, R&)` and `void merge(R&, R found)`.
template <class T, class R, class Policy>
R searchScopes(const Scope<T>* start, Policy& policy) {
    struct Frame {
        const Scope<T>* origin = nullptr;    // the scope this search is for
        std::vector<const Scope<T>*> chain; // origin first, upward
        int64_t level = -1;                  // index in chain being worked on, downward
        size_t nextImport = 0;
        R result{};
    };
    auto open = [&policy](Frame& frame, const Scope<T>* scope) {
        frame.origin = scope;
        frame.chain.clear();
        frame.nextImport = 0;
        frame.result = R{};
        for (const Scope<T>* s = scope; s != nullptr; s = s->parent()) {
            if (policy.stopAt(s, frame.result)) break;
            frame.chain.push_back(s);
        }
        frame.level = static_cast<int64_t>(frame.chain.size()) - 1;
    };
    std::vector<Frame> frames(1);
    size_t depth = 1; // frames above depth are kept only to reuse their storage
    open(frames[0], start);
    if (frames[0].chain.empty()) return frames[0].result;
    // The origin of every open frame; filled on the first import, so searches without
    // imports never allocate it.
    std::unordered_set<const Scope<T>*> active;

    while (true) {
        Frame* frame = &frames[depth - 1];
        bool descended = false;
        while (frame->level >= 0) {
            const Scope<T>* scope = frame->chain[static_cast<size_t>(frame->level)];
            const auto& imports = scope->imports();
            if (frame->nextImport < imports.size()) {
                const Scope<T>* import = imports[frame->nextImport++];
                if (active.empty()) active.insert(start);
                if (import == nullptr || active.count(import) != 0) continue;
                active.insert(import);
                if (frames.size() == depth) frames.emplace_back();
                open(frames[depth], import);
                ++depth;
                descended = true;
                break;
            }
            policy.own(scope, frame->result);
            --frame->level;
            frame->nextImport = 0;
        }
        if (descended) continue;
        // This frame is complete: hand its result to the frame that imported it.
        R found = frame->result;
        if (--depth == 0) return found;
        active.erase(frame->origin);
        policy.merge(frames[depth - 1].result, found);
    }
}

namespace scope_detail {

template <class T>
struct LookupPolicy {
    const std::string& name;
    bool stopAt(const Scope<T>* scope, T*& result) const {
        result = scope->findOwn(name);
        return result != nullptr;
    }
    void own(const Scope<T>*, T*&) const {}
    void merge(T*& result, T* found) const {
        if (found == nullptr) return;
        checkSemantic(result == nullptr, "Ambiguous name %s", name.c_str());
        result = found;
    }
};

} // namespace scope_detail

template <class T>
T* Scope<T>::lookup(const std::string& name) const {
    // The common case: no scope on the way to the declaring one imports anything, so
    // the first declaration met decides alone.
    for (const Scope* s = this; s != nullptr; s = s->parent_) {
        if (T* value = s->findOwn(name)) return value;
        if (!s->imports_.empty()) break;
        if (s->parent_ == nullptr) return nullptr;
    }
    scope_detail::LookupPolicy<T> policy{name};
    return searchScopes<T, T*>(this, policy);
}

} // namespace Karsto
