#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/error_test_support.h"
#include "core/exception.h"
#include "core/namespace.h"
#include "core/scope.h"
#include "core/space.h"

namespace Karsto {
namespace {

struct Thing {
    int id;
};

using ThingScope = Scope<Thing>;

// root declares x and y; child (under root) declares x; imports declare x and z.
struct ScopeFixture : ::testing::Test {
    Thing rootX{1}, rootY{2}, childX{3}, importX{4}, importZ{5}, otherZ{6};
    ThingScope root;
    ThingScope child{&root};
    ThingScope importA;
    ThingScope importB;

    void SetUp() override {
        root.declare("x", &rootX);
        root.declare("y", &rootY);
        child.declare("x", &childX);
        importA.declare("x", &importX);
        importB.declare("z", &importZ);
    }
};

TEST_F(ScopeFixture, OwnNameHidesParentAndImports) {
    child.addImport(&importA);
    EXPECT_EQ(child.lookup("x"), &childX);
    EXPECT_EQ(root.lookup("x"), &rootX);
}

TEST_F(ScopeFixture, ParentChainAndImportTogetherAreAmbiguous) {
    ThingScope inner(&child);
    inner.addImport(&importA);
    EXPECT_EQ(test::semanticMessage([&] { inner.lookup("x"); }), "Ambiguous name x");
    // y comes only from the parent chain, z only from the second import.
    inner.addImport(&importB);
    EXPECT_EQ(inner.lookup("y"), &rootY);
    EXPECT_EQ(inner.lookup("z"), &importZ);
    EXPECT_EQ(inner.lookup("q"), nullptr);
}

TEST_F(ScopeFixture, ScopeImportedTwiceMakesItsNamesAmbiguous) {
    ThingScope s;
    s.addImport(&importB);
    s.addImport(&importB);
    EXPECT_EQ(test::semanticMessage([&] { s.lookup("z"); }), "Ambiguous name z");
    // ... unless the importing scope declares the name itself.
    s.declare("z", &otherZ);
    EXPECT_EQ(s.lookup("z"), &otherZ);
}

TEST_F(ScopeFixture, ImportsOfTheParentAreSearchedBeforeOwnImports) {
    // The parent's imports belong to the parent's search: z found there and again in an
    // own import is ambiguous; found only there it is returned.
    root.addImport(&importB);
    EXPECT_EQ(child.lookup("z"), &importZ);
    ThingScope other;
    other.declare("z", &otherZ);
    child.addImport(&other);
    EXPECT_EQ(test::semanticMessage([&] { child.lookup("z"); }), "Ambiguous name z");
}

TEST_F(ScopeFixture, ImportsAreSearchedWithTheirOwnParentsAndImports) {
    ThingScope importParent;
    importParent.declare("w", &otherZ);
    ThingScope imported(&importParent);
    imported.addImport(&importB);
    ThingScope s;
    s.addImport(&imported);
    EXPECT_EQ(s.lookup("w"), &otherZ);
    EXPECT_EQ(s.lookup("z"), &importZ);
}

TEST_F(ScopeFixture, DeclareTwiceFailsAndLeavesTheScopeUnchanged) {
    EXPECT_EQ(test::semanticMessage([&] { root.declare("x", &otherZ); }),
              "Multiple declarations of 'x' in scope.");
    EXPECT_EQ(root.lookup("x"), &rootX);
    EXPECT_EQ(root.values().size(), 2u);
    EXPECT_EQ(root.names(), (std::vector<std::string>{"x", "y"}));
}

TEST_F(ScopeFixture, LookupOrFailNamesTheIdentifier) {
    EXPECT_EQ(child.lookupOrFail("y"), &rootY);
    EXPECT_EQ(test::semanticMessage([&] { child.lookupOrFail("q"); }), "Undeclared Identifier 'q'");
}

TEST_F(ScopeFixture, CreateWithAndSetParent) {
    std::unique_ptr<ThingScope> s(ThingScope::createWith(&child, "v", &otherZ));
    EXPECT_EQ(s->lookup("v"), &otherZ);
    EXPECT_EQ(s->lookup("x"), &childX);
    s->setParent(&root);
    EXPECT_EQ(s->lookup("x"), &rootX);
}

TEST_F(ScopeFixture, ImportCycleEnds) {
    // a imports b and b imports a: each search under way contributes nothing again.
    ThingScope a, b;
    a.addImport(&b);
    b.addImport(&a);
    b.declare("n", &otherZ);
    EXPECT_EQ(a.lookup("n"), &otherZ);
    EXPECT_EQ(a.lookup("missing"), nullptr);
}

TEST(ScopeChain, TwoHundredThousandNestedScopesResolveWithoutRecursion) {
    constexpr int kDepth = 200000;
    std::vector<Thing> things(kDepth);
    std::vector<std::unique_ptr<ThingScope>> scopes;
    scopes.reserve(kDepth);
    for (int i = 0; i < kDepth; ++i) {
        ThingScope* parent = scopes.empty() ? nullptr : scopes.back().get();
        scopes.emplace_back(ThingScope::createWith(parent, std::string("n").append(std::to_string(i)), &things[i]));
    }
    ThingScope& innermost = *scopes.back();
    EXPECT_EQ(innermost.lookup("n0"), &things[0]);
    EXPECT_EQ(innermost.lookup("absent"), nullptr);

    Thing shadow{0};
    ThingScope imported;
    imported.declare("n0", &shadow);
    innermost.addImport(&imported);
    EXPECT_EQ(test::semanticMessage([&] { innermost.lookup("n0"); }), "Ambiguous name n0");
}

TEST(ScopeChain, LongImportChainResolvesWithoutRecursion) {
    constexpr int kDepth = 100000;
    std::vector<std::unique_ptr<ThingScope>> scopes;
    for (int i = 0; i < kDepth; ++i) {
        scopes.push_back(std::make_unique<ThingScope>());
        if (i > 0) scopes[static_cast<size_t>(i - 1)]->addImport(scopes.back().get());
    }
    Thing deep{7};
    scopes.back()->declare("deep", &deep);
    EXPECT_EQ(scopes.front()->lookup("deep"), &deep);
}

TEST(Namespace, FindAndFindOrCreate) {
    Namespace root;
    EXPECT_EQ(root.find(""), &root);
    Namespace* a = root.findOrCreate("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(root.find("a.b"), nullptr);
    Namespace* b = root.findOrCreate("a.b");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->parent(), a);
    EXPECT_EQ(b->name(), "b");
    EXPECT_EQ(root.findOrCreate("a.b"), b);
    EXPECT_EQ(root.find("a.b"), b);
    EXPECT_EQ(a->find("b"), b);
    // Creating from a child still hands ownership to the root (LeakSanitizer checks).
    Namespace* d = b->findOrCreate("c.d");
    EXPECT_EQ(root.find("a.b.c.d"), d);
    EXPECT_EQ(root.find("a.x.c"), nullptr);
}

TEST(Space, DeclaringTwiceLeavesTwoSlotsAndIndexesTheSecond) {
    Space space;
    SpaceSlot* first = space.declare("x");
    first->value = 5;
    space.declare("y");
    SpaceSlot* second = space.declare("x");
    EXPECT_EQ(space.slots().size(), 3u);
    EXPECT_NE(first, second);
    EXPECT_EQ(space.find("x"), second);
    EXPECT_EQ(second->value, 0);
    EXPECT_EQ(second->owner, &space);
    EXPECT_EQ(first->value, 5);
    EXPECT_EQ(space.find("q"), nullptr);
}

} // namespace
} // namespace Karsto
