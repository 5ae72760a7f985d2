#pragma once
// Ownership of everything one compile creates. The compiler hands every new object
// (scope, variable, memory area, type, function, ...) to the owner through `handle`
// and never frees anything itself; the owner deletes them all at once, in the order
// they were handed over, when it is released. Objects may then point to each other
// freely. The parser object of a compile is such an owner; scopes and variables made
// in the language core are handed to it through this base, so the core does not
// depend on the front end.

#include <memory>
#include <vector>

namespace Karsto {

class HandleOwner {
public:
    class Handle {
    public:
        Handle() = default;
        Handle(const Handle&) = delete;
        Handle& operator=(const Handle&) = delete;
        virtual ~Handle() = default;
    };

    // Deletes its object through the object's own (virtual where it has one)
    // destructor; containers of pointers free only themselves.
    template <class T>
    class HandleTyped final : public Handle {
    public:
        explicit HandleTyped(T* owned) : object(owned) {}
        ~HandleTyped() override { delete object; }
        T* object;
    };

    HandleOwner() = default;
    HandleOwner(const HandleOwner&) = delete;
    HandleOwner& operator=(const HandleOwner&) = delete;
    virtual ~HandleOwner() { releaseHandles(); }

    // Takes ownership of the object and returns it unchanged, so that a creation and
    // its registration read as one expression. Should the registration itself fail
    // for lack of memory, the object is freed before the error passes on.
    template <class T>
    T* handle(T* object) {
        std::unique_ptr<T> guard(object);
        auto h = std::make_unique<HandleTyped<T>>(nullptr);
        handles_.push_back(h.get());
        h.release()->object = guard.release();
        return object;
    }

    // Deletes every registered object, first registered first, and forgets them.
    void releaseHandles() {
        std::vector<Handle*> handles;
        handles.swap(handles_);
        for (Handle* h : handles) delete h;
    }

    size_t handleCount() const { return handles_.size(); }

private:
    std::vector<Handle*> handles_; // registration order
};

} // namespace Karsto
