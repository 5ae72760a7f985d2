#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/composite_test_support.h"
#include "core/exception.h"
#include "core/type_class.h"
#include "core/type_pointer.h"

namespace Karsto {
namespace {

using test::TestClass;
using test::TestInterface;

// I <- J (J extends I); C1 declares I; C2 extends C1; C3 declares J; D unrelated.
class ClassRelations : public test::CompositeTypesTest {
protected:
    TestInterface i{"I"};
    TestInterface j{"J", {&i}};
    TestInterface k{"K"};
    TestClass c1{"C1", nullptr, {&i}};
    TestClass c2{"C2", &c1};
    TestClass c3{"C3", nullptr, {&j}};
    TestClass d{"D", nullptr};
};

TEST_F(ClassRelations, DerivesFromAndImplements) {
    EXPECT_TRUE(c2.derivesFrom(&c1));
    EXPECT_TRUE(c2.derivesFrom(&c2));
    EXPECT_FALSE(c1.derivesFrom(&c2));
    EXPECT_TRUE(c1.implements(&i));
    EXPECT_FALSE(c2.implements(&i)); // the base class's interfaces are not consulted
    EXPECT_TRUE(c3.implements(&i));  // through J
    EXPECT_TRUE(j.derivesFrom(&i));
    EXPECT_FALSE(i.derivesFrom(&j));
    EXPECT_EQ(c2.memberScope()->parent(), c1.memberScope());
    EXPECT_EQ(c1.memberScope()->parent(), nullptr);
    EXPECT_EQ(c1.conversionMask(), kindBit(TypeKind::Class) | kindBit(TypeKind::Interface));
}

TEST_F(ClassRelations, CommonTypes) {
    EXPECT_EQ(commonType(&c2, &c1), &c1);
    EXPECT_EQ(commonType(&c1, &c2), &c1);
    EXPECT_EQ(commonType(&c1, &i), &i);
    EXPECT_EQ(commonType(&i, &c1), &i);
    EXPECT_EQ(commonType(&c2, &i), nullptr);
    EXPECT_EQ(commonType(&c1, &d), nullptr);
    EXPECT_EQ(commonType(&j, &i), &i);
    EXPECT_EQ(commonType(&i, &j), &i);
    EXPECT_EQ(commonType(&i, &k), nullptr);
    EXPECT_EQ(commonType(&c3, &i), &i);
    EXPECT_TRUE(isImplicitlyConvertible(&c2, &c1));
    EXPECT_FALSE(isImplicitlyConvertible(&c1, &c2));
}

TEST_F(ClassRelations, ReferencesToRelatedClassesCombine) {
    EXPECT_EQ(commonType(c2.pointerTo(), c1.pointerTo()), c1.pointerTo());
    EXPECT_EQ(commonType(c1.pointerTo(), c2.pointerTo()), c1.pointerTo());
    EXPECT_EQ(commonType(c2.pointerTo()->pointerTo(), c1.pointerTo()->pointerTo()),
              c1.pointerTo()->pointerTo());
    EXPECT_EQ(commonType(c1.pointerTo(), d.pointerTo()), nullptr);
    // Interfaces are no classes: references to them do not combine.
    EXPECT_EQ(commonType(c1.pointerTo(), i.pointerTo()), nullptr);
    EXPECT_EQ(commonType(c1.pointerTo(), c1.pointerTo()->pointerTo()), nullptr);
    EXPECT_EQ(c1.pointerTo()->toString(), "ref_to Class C1 ()");
}

TEST_F(ClassRelations, InterfaceAnswersAsIfItHadNoMembers) {
    EXPECT_EQ(i.toString(), "Interface I ()");
    EXPECT_EQ(i.size(), 1);
    EXPECT_EQ(test::itemTexts(i.defaultValue()), (std::vector<std::string>{"ConstLint 0"}));
    EXPECT_EQ(i.declaredName(), "I");
    EXPECT_FALSE(i.hasMember("x"));
    EXPECT_TRUE(i.initialValueFrom({}).empty());
    try {
        i.methodOrFail("run");
        FAIL() << "no error";
    } catch (const ExceptionSemantic& e) {
        EXPECT_STREQ(e.what(), "?: Class 'I' does not declare method 'run'.");
    }
}

TEST(ClassChains, LongChainsWithoutRecursion) {
    constexpr int kDepth = 100000;
    std::vector<std::unique_ptr<test::TestClass>> classes;
    std::vector<std::unique_ptr<test::TestInterface>> interfaces;
    for (int n = 0; n < kDepth; ++n) {
        classes.push_back(std::make_unique<test::TestClass>(
            "c", classes.empty() ? nullptr : classes.back().get()));
        std::vector<TypeInterface*> extends;
        if (!interfaces.empty()) extends.push_back(interfaces.back().get());
        interfaces.push_back(std::make_unique<test::TestInterface>("i", extends));
    }
    EXPECT_TRUE(classes.back()->derivesFrom(classes.front().get()));
    EXPECT_FALSE(classes.front()->derivesFrom(classes.back().get()));
    EXPECT_TRUE(interfaces.back()->derivesFrom(interfaces.front().get()));
    EXPECT_FALSE(interfaces.front()->derivesFrom(interfaces.back().get()));
}

} // namespace
} // namespace Karsto
