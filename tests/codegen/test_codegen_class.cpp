#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "codegen/cast_emitter.h"
#include "codegen/class_fixture.h"
#include "core/error_test_support.h"
#include "core/exception.h"
#include "core/function.h"
#include "core/machine_test_support.h"
#include "core/memory.h"
#include "core/type_scif.h"
#include "core/variable.h"

namespace Karsto {
namespace {

using test::compiledTexts;
using test::Lines;
using test::MethodTraits;
using test::semanticMessage;

class ClassTest : public test::ClassFixture {
public:
    // i declares m1 and m2, j declares stop; drive has x, implements j, has stop and f;
    // servo extends drive with y and z, implements i, has m1, m2 and an override of f.
    void makeDriveAndServo() {
        const MethodTraits prototype{.isAbstract = true};
        i = interface("i", {method("m1", prototype), method("m2", prototype)});
        j = interface("j", {method("stop", {.isAbstract = true})});
        driveStop = method("stop");
        driveF = method("f");
        drive = define(make("drive", nullptr, {j}), {{"x", typeDint}}, {driveStop, driveF});
        servoM1 = method("m1");
        servoM2 = method("m2");
        servoF = method("f", {.isOverride = true});
        servo = define(make("servo", drive, {i}), {{"y", typeLreal}, {"z", typeInt}},
                       {servoM1, servoM2, servoF});
    }

    CodegenInterface* i = nullptr;
    CodegenInterface* j = nullptr;
    CodegenClass* drive = nullptr;
    CodegenClass* servo = nullptr;
    MethodUser* driveStop = nullptr;
    MethodUser* driveF = nullptr;
    MethodUser* servoM1 = nullptr;
    MethodUser* servoM2 = nullptr;
    MethodUser* servoF = nullptr;
};

TEST_F(ClassTest, RootClassLayoutAndImage) {
    makeDriveAndServo();
    EXPECT_EQ(drive->size(), 3);
    EXPECT_EQ(drive->memberOffset("x"), 1);
    EXPECT_EQ(drive->pointerOffsets(), (InterfaceOffsets{{j, 2}}));
    EXPECT_EQ(drive->imageStruct()->size(), 7);
    EXPECT_EQ(drive->methodSlotOffsets(), (std::map<std::string, int64_t>{{"f", 2}, {"stop", 6}}));
    EXPECT_EQ(drive->tableOffsets(), (InterfaceOffsets{{j, 3}}));
    EXPECT_EQ(drive->newMethods(), (std::vector<MethodUser*>{driveF}));
    EXPECT_EQ(driveStop->owner(), drive);
    ASSERT_NE(drive->vmtVariable(), nullptr);
    EXPECT_EQ(drive->vmtVariable()->name(), "_VMT_drive");
    EXPECT_EQ(compiledTexts(drive->vmtAddress()), (Lines{vmt(drive->vmtVariable())}));
    EXPECT_EQ(compiledTexts(drive->imageStruct()->initialValue()),
              (Lines{"ConstLint 0", "ConstLint 3", label(driveF), vmt(j->vmtVariable()),
                     "ConstLint 0", "ConstLint 2", label(driveStop)}));
    EXPECT_EQ(compiledTexts(drive->defaultValue()),
              (Lines{vmt(drive->vmtVariable()), "ConstDint 0", vmt(drive->vmtVariable()),
                     "ConstLint 3", "AddLint "}));
    EXPECT_EQ(drive->interfaceOffset(j), 2);
    EXPECT_EQ(semanticMessage([&] { drive->interfaceOffset(i); }),
              "Class 'drive' does not implement interface 'i'");
}

TEST_F(ClassTest, DerivedClassLayoutImageAndChain) {
    makeDriveAndServo();
    EXPECT_EQ(servo->size(), 6);
    const std::vector<std::pair<std::string, int64_t>> offsets = {{"x", 1}, {"y", 3}, {"z", 4}};
    for (const auto& [name, offset] : offsets) EXPECT_EQ(servo->memberOffset(name), offset) << name;
    EXPECT_EQ(servo->pointerOffsets(), (InterfaceOffsets{{j, 2}, {i, 5}}));
    EXPECT_EQ(servo->imageStruct()->size(), 12);
    EXPECT_EQ(servo->methodSlotOffsets(), (std::map<std::string, int64_t>{
                                              {"f", 2}, {"stop", 6}, {"m1", 10}, {"m2", 11}}));
    EXPECT_EQ(servo->tableOffsets(), (InterfaceOffsets{{j, 3}, {i, 7}}));
    EXPECT_TRUE(servo->newMethods().empty());
    EXPECT_EQ(compiledTexts(servo->imageStruct()->initialValue()),
              (Lines{vmt(drive->vmtVariable()), "ConstLint 7", label(servoF), vmt(j->vmtVariable()),
                     "ConstLint 0", "ConstLint 2", label(driveStop), vmt(i->vmtVariable()),
                     "ConstLint 3", "ConstLint 5", label(servoM1), label(servoM2)}));
    // The base part's j pointer keeps pointing into drive's image; i into servo's.
    EXPECT_EQ(compiledTexts(servo->defaultValue()),
              (Lines{vmt(servo->vmtVariable()), "ConstDint 0", vmt(drive->vmtVariable()),
                     "ConstLint 3", "AddLint ", "ConstLreal 0", "ConstInt 0",
                     vmt(servo->vmtVariable()), "ConstLint 7", "AddLint "}));
    EXPECT_EQ(servo->interfaceOffset(j), drive->interfaceOffset(j));
    EXPECT_EQ(servo->interfaceOffset(i), 5);

    // g declares nothing: servo does not implement j itself, so g holds a j pointer.
    CodegenClass* g = define(make("g", servo, {}), {}, {});
    EXPECT_EQ(g->interfaceOffset(j), 6);
    EXPECT_EQ(g->interfaceOffset(i), 5);
    EXPECT_EQ(g->size(), 7);
}

TEST_F(ClassTest, EmptyRootClass) {
    CodegenClass* e = define(make("e", nullptr, {}), {}, {});
    EXPECT_EQ(e->size(), 1);
    EXPECT_EQ(e->imageStruct()->size(), 2);
    EXPECT_TRUE(e->vmtImageInit(e->methodsByName(), e->pointerOffsets(), {}).empty());
    EXPECT_EQ(compiledTexts(e->imageStruct()->initialValue()), (Lines{"ConstLint 0", "ConstLint 0"}));
}

TEST_F(ClassTest, MemberScopeHoldsAliasesIntoTheObject) {
    makeDriveAndServo();
    Variable* x = drive->memberScope()->findOwn("x");
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->offset(), 1);
    EXPECT_EQ(compiledTexts(x->addressCode()),
              (Lines{"Fp", "ConstLint -1", "AddLint ", "Ld 1", "ConstLint 1", "AddLint "}));
    EXPECT_EQ(servo->memberScope()->parent(), drive->memberScope());
    EXPECT_EQ(servo->memberScope()->lookup("x"), x);
    EXPECT_EQ(servo->memberScope()->findOwn("y")->offset(), 3);
}

TEST_F(ClassTest, DefinitionChecksRaiseTheirTexts) {
    // a is a root class with a public method f; each case defines b from it or a class of
    // its own.
    struct Case {
        std::function<void(ClassTest&)> build;
        std::string message;
    };
    auto withA = [](ClassTest& t, MethodTraits f, bool isFinal = false) {
        return t.define(t.make("a", nullptr, {}, isFinal), {}, {t.method("f", f)});
    };
    const MethodTraits over{.isOverride = true};
    const std::vector<Case> cases = {
        {[](ClassTest& t) {
             t.define(t.make("a", nullptr, {}), {}, {t.method("f"), t.method("f")});
         },
         "Method 'f' defined twice in 'a'"},
        {[&](ClassTest& t) { t.define(t.make("b", withA(t, {}, true), {}), {}, {}); },
         "Class 'a' id declared 'final' and can not be inherited by class 'b'."},
        {[&](ClassTest& t) { t.define(t.make("b", withA(t, {}), {}), {}, {t.method("f")}); },
         "Method 'f' in class 'b' overrides method of baseclass, but is not declared as "
         "overriding."},
        {[&](ClassTest& t) { t.define(t.make("b", withA(t, {}), {}), {}, {t.method("g", over)}); },
         "Method 'g' in class 'b' is declared to override method, which is not declared in "
         "baseclass."},
        {[&](ClassTest& t) {
             t.define(t.make("b", withA(t, {.access = VariableAccess::PRIVATE}), {}), {},
                      {t.method("f", {.access = VariableAccess::PRIVATE, .isOverride = true})});
         },
         "Can not override private method 'f' in class 'b'."},
        {[&](ClassTest& t) {
             t.define(t.make("b", withA(t, {}), {}), {},
                      {t.method("f", {.isOverride = true, .input = typeInt})});
         },
         "Signature of method 'f' in class 'b' differs from signature in baseclass."},
        {[](ClassTest& t) {
             t.define(t.make("a", nullptr, {}), {}, {t.method("f", {.isAbstract = true})});
         },
         "Method 'f' in class 'a' is abstract, but the class itself is not abstract."},
        {[&](ClassTest& t) {
             t.define(t.make("b", withA(t, {}), {}, false, true), {},
                      {t.method("f", {.isOverride = true, .isAbstract = true})});
         },
         "Method 'f' in class 'b' must not be abstract and overriding."},
        {[&](ClassTest& t) {
             t.define(t.make("b", withA(t, {}), {}), {},
                      {t.method("f", {.access = VariableAccess::PROTECTED, .isOverride = true})});
         },
         "Access specifier of method 'f' in class 'b' differs from overridden method."},
        {[&](ClassTest& t) {
             t.define(t.make("b", withA(t, {.isFinal = true}), {}), {}, {t.method("f", over)});
         },
         "Method 'f' is declared as 'final' in baseclass and can not be overridden in class "
         "'b'."},
        {[](ClassTest& t) {
             CodegenClass* a = t.define(t.make("a", nullptr, {}, false, true), {},
                                        {t.method("m", {.isAbstract = true})});
             t.define(t.make("b", a, {}), {}, {});
         },
         "Method 'm' of class 'a' is abstract, but not defined in non-abstract class 'b'."},
        {[](ClassTest& t) { t.define(t.make("a", nullptr, {}, false, true), {}, {t.method("f")}); },
         "Class 'a' is declared to be abstract, but does not contain any abstract method."},
        {[](ClassTest& t) {
             t.makeDriveAndServo();
             t.define(t.make("b", nullptr, {t.i}), {}, {t.method("m1")});
         },
         "Declaration of method 'm2' of interface 'i' is missing in cl0ass 'b'."},
        {[](ClassTest& t) {
             t.makeDriveAndServo();
             t.define(t.make("b", nullptr, {t.i}), {},
                      {t.method("m1", {.access = VariableAccess::PROTECTED}), t.method("m2")});
         },
         "Declaration of method 'm1' of interface 'i' in class 'b' must be declared 'public' or "
         "'internal'."},
        {[](ClassTest& t) {
             t.makeDriveAndServo();
             t.define(t.make("b", nullptr, {t.j}), {}, {t.method("stop", {.input = typeInt})});
         },
         "Signature of method 'stop' in class 'b' does not match declaration in interface 'j'"},
        {[](ClassTest& t) {
             t.makeDriveAndServo();
             t.define(t.make("b", nullptr, {t.i, t.i}), {}, {t.method("m1"), t.method("m2")});
         },
         "Member 'i' declared twice in structure"},
        {[](ClassTest& t) {
             t.define(t.make("a", nullptr, {}), {{"x", typeInt}, {"x", typeInt}}, {});
         },
         "Attribute 'x' already defined in class 'a'"},
        {[](ClassTest& t) {
             t.makeDriveAndServo();
             t.define(t.make("b", t.servo, {}), {{"x", typeInt}}, {});
         },
         "Attribute 'x' inherited from baseclass of 'b'"},
    };
    for (const Case& c : cases) {
        ClassTest& t = *this;
        EXPECT_EQ(semanticMessage([&] { c.build(t); }), c.message);
    }
}

TEST_F(ClassTest, AbstractClassLeavingAnInheritedAbstractMethodIsAccepted) {
    CodegenClass* a =
        define(make("a", nullptr, {}, false, true), {}, {method("m", {.isAbstract = true})});
    CodegenClass* b = define(make("b", a, {}, false, true), {}, {method("n")});
    EXPECT_TRUE(b->defined());
    // A concrete heir defines it and takes its slot.
    MethodUser* m = method("m", {.isOverride = true});
    CodegenClass* c = define(make("c", b, {}), {}, {m});
    EXPECT_EQ(c->methodSlotOffsets(), (std::map<std::string, int64_t>{{"m", 2}, {"n", 3}}));
    EXPECT_TRUE(c->newMethods().empty());
    EXPECT_EQ(c->findMethod("m"), m);
}

TEST_F(ClassTest, CopyWithInitializerSharesTheDefinition) {
    makeDriveAndServo();
    const int64_t globalCells = globals.size();
    std::unique_ptr<Type> copy(servo->cloneWithInitializer(servo->defaultValue()));
    auto* c = dynamic_cast<CodegenClass*>(copy.get());
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(typesEqual(c, servo));
    EXPECT_TRUE(typesEqual(servo, c));
    EXPECT_TRUE(c->derivesFrom(drive));
    EXPECT_TRUE(servo->derivesFrom(c));
    EXPECT_FALSE(drive->derivesFrom(c));
    EXPECT_TRUE(c->implements(i));
    EXPECT_EQ(compiledTexts(c->vmtAddress()), compiledTexts(servo->vmtAddress()));
    EXPECT_EQ(globals.size(), globalCells);
    EXPECT_EQ(c->memberScope(), servo->memberScope());
    EXPECT_EQ(c->size(), 6);
    EXPECT_EQ(c->interfaceOffset(i), 5);
    for (MethodUser* m : {servoM1, servoM2, servoF}) EXPECT_EQ(m->owner(), servo) << m->name();
    EXPECT_TRUE(emitImplicitConversion(c, servo, {}).empty());
    EXPECT_EQ(semanticMessage([&] { c->define(nullptr, nullptr, {}, &globals); }),
              "Class 'servo' is defined twice.");
    // A copy of the copy still stands for servo.
    std::unique_ptr<Type> second(c->clone());
    EXPECT_TRUE(typesEqual(second.get(), servo));
}

TEST_F(ClassTest, LongInheritanceChainsWithoutRecursion) {
    // Each class overrides f of the root: the image of the last holds its own f.
    CodegenClass* c = define(make("c0", nullptr, {}), {}, {method("f")});
    CodegenClass* root = c;
    MethodUser* last = nullptr;
    for (int k = 1; k < 1000; ++k) {
        last = method("f", {.isOverride = true});
        c = define(make("c" + std::to_string(k), c, {}), {}, {last});
    }
    EXPECT_TRUE(c->derivesFrom(root));
    EXPECT_EQ(compiledTexts(c->vmtStruct()->initialValue()), (Lines{label(last)}));
}

} // namespace
} // namespace Karsto
