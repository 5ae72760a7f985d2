#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/handle_owner.h"

namespace Karsto {
namespace {

// Records its destruction in a shared journal.
struct Tracked {
    Tracked(std::vector<std::string>& log, std::string label)
        : journal(log), name(std::move(label)) {}
    virtual ~Tracked() { journal.push_back(name); }
    std::vector<std::string>& journal;
    std::string name;
};

struct TrackedDerived : Tracked {
    using Tracked::Tracked;
    ~TrackedDerived() override { journal.push_back("derived " + name); }
};

TEST(HandleOwner, DeletesEveryObjectOnceInRegistrationOrder) {
    std::vector<std::string> journal;
    {
        HandleOwner owner;
        Tracked* a = owner.handle(new Tracked(journal, "a"));
        EXPECT_EQ(a->name, "a");
        // Registered as its base, deleted through the virtual destructor.
        owner.handle<Tracked>(new TrackedDerived(journal, "b"));
        owner.handle(new Tracked(journal, "c"));
        // A container of pointers frees only itself.
        auto* list = owner.handle(new std::vector<Tracked*>{a});
        EXPECT_EQ(list->front(), a);
        EXPECT_EQ(owner.handleCount(), 4u);
        EXPECT_TRUE(journal.empty());
        owner.releaseHandles();
        EXPECT_EQ(journal, (std::vector<std::string>{"a", "derived b", "b", "c"}));
        EXPECT_EQ(owner.handleCount(), 0u);
        owner.handle(new Tracked(journal, "d"));
    }
    EXPECT_EQ(journal.back(), "d");
    EXPECT_EQ(journal.size(), 5u);
}

TEST(HandleOwner, NullObjectIsSkipped) {
    HandleOwner owner;
    EXPECT_EQ(owner.handle<std::set<int>>(nullptr), nullptr);
    EXPECT_EQ(owner.handleCount(), 1u);
}

} // namespace
} // namespace Karsto
