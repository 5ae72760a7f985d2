#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "codegen/codegen_class.h"
#include "codegen/codegen_interface.h"
#include "codegen/codegen_test_support.h"
#include "codegen/scoped_code_generator.h"
#include "core/error_test_support.h"
#include "core/exception.h"
#include "core/function.h"
#include "core/machine_test_support.h"
#include "core/memory.h"
#include "core/type_scif.h"
#include "core/variable.h"

namespace Karsto {
namespace {

using test::semanticMessage;
using test::spanAt;
using Lines = std::vector<std::string>;

constexpr int32_t kInput = flagBit(VariableFlags::VAR_INPUT);
constexpr int32_t kImplicit = flagBit(VariableFlags::IMPLICIT);

Lines itemTexts(const Code& code) {
    Lines lines;
    code.forEachItem([&lines](CodeItem* item) {
        lines.push_back(item->toString());
        return true;
    });
    return lines;
}

struct MethodTraits {
    VariableAccess access = VariableAccess::PUBLIC;
    bool isOverride = false;
    bool isFinal = false;
    bool isAbstract = false;
    Type* input = nullptr; // one input "x" of this type when given
};

// A method with the parameter area of a class method: the return variable, the inputs,
// then "this".
struct Method {
    Method(const std::string& name, const MethodTraits& traits)
        : area(std::make_unique<MemoryParam>()) {
        add(name, typeVoid, kImplicit);
        if (traits.input != nullptr) add("x", traits.input, kInput);
        add("this", typeAddr, kThisFlags);
        method = std::make_unique<MethodUser>(name, nullptr, typeVoid, &locals, area.get(),
                                              traits.access, traits.isOverride, traits.isFinal,
                                              traits.isAbstract, spanAt(1));
    }
    void add(const std::string& name, Type* type, int32_t flags) {
        variables.push_back(
            std::make_unique<Variable>(area.get(), name, type, flags, VariableAccess::NONE));
    }

    std::unique_ptr<MemoryParam> area;
    MemoryLocal locals;
    std::vector<std::unique_ptr<Variable>> variables;
    std::unique_ptr<MethodUser> method;
};

class ClassTest : public test::CodegenTypesTest {
private:
    test::ScopedCodeGenerator generator_; // first in, last out

protected:
    MethodUser* method(const std::string& name, const MethodTraits& traits = {}) {
        methods_.push_back(std::make_unique<Method>(name, traits));
        return methods_.back()->method.get();
    }
    CodegenInterface* interface(const std::string& name, std::vector<MethodUser*> own) {
        for (MethodUser* m : own) m->setBody(Code());
        interfaces_.push_back(std::make_unique<CodegenInterface>(name, std::vector<TypeInterface*>{}));
        interfaces_.back()->define(std::move(own), &globals);
        return interfaces_.back().get();
    }
    CodegenClass* make(const std::string& name, CodegenClass* base,
                       std::vector<TypeInterface*> interfaces, bool isFinal = false,
                       bool isAbstract = false) {
        classes_.push_back(std::make_unique<CodegenClass>(name, base, std::move(interfaces),
                                                          isFinal, isAbstract));
        return classes_.back().get();
    }
    // Defines the class with attributes of the given names and types.
    CodegenClass* define(CodegenClass* c, const std::vector<std::pair<std::string, Type*>>& attributes,
                         std::vector<MethodUser*> own) {
        areas_.push_back(std::make_unique<MemoryLocal>());
        for (const auto& [name, type] : attributes)
            attributes_.push_back(std::make_unique<Variable>(areas_.back().get(), name, type, 0,
                                                             VariableAccess::PUBLIC));
        for (MethodUser* m : own) m->setBody(Code());
        return c->define(nullptr, areas_.back().get(), std::move(own), &globals);
    }
    std::string vmt(const Variable* v) { return "ConstLint " + std::to_string(v->offset()); }
    std::string label(const MethodUser* m) { return "ConstLabel " + m->entryLabel()->toString(); }

    // i declares m1 and m2, j declares stop; drive has x, implements j, has stop and f;
    // servo extends drive with y and z, implements i, has m1, m2 and an override of f.
    void makeDriveAndServo() {
        i = interface("i", {method("m1", {.isAbstract = true}), method("m2", {.isAbstract = true})});
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

    MemoryGlobal globals;
    CodegenInterface* i = nullptr;
    CodegenInterface* j = nullptr;
    CodegenClass* drive = nullptr;
    CodegenClass* servo = nullptr;
    MethodUser* driveStop = nullptr;
    MethodUser* driveF = nullptr;
    MethodUser* servoM1 = nullptr;
    MethodUser* servoM2 = nullptr;
    MethodUser* servoF = nullptr;

private:
    std::vector<std::unique_ptr<Method>> methods_;
    std::vector<std::unique_ptr<CodegenInterface>> interfaces_;
    std::vector<std::unique_ptr<MemoryLocal>> areas_;
    std::vector<std::unique_ptr<Variable>> attributes_;
    std::vector<std::unique_ptr<CodegenClass>> classes_;
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
    EXPECT_EQ(itemTexts(drive->vmtAddress()), (Lines{vmt(drive->vmtVariable())}));
    EXPECT_EQ(itemTexts(drive->imageStruct()->initialValue()),
              (Lines{"ConstLint 0", "ConstLint 3", label(driveF), vmt(j->vmtVariable()),
                     "ConstLint 0", "ConstLint 2", label(driveStop)}));
    EXPECT_EQ(itemTexts(drive->defaultValue()),
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
    EXPECT_EQ(itemTexts(servo->imageStruct()->initialValue()),
              (Lines{vmt(drive->vmtVariable()), "ConstLint 7", label(servoF), vmt(j->vmtVariable()),
                     "ConstLint 0", "ConstLint 2", label(driveStop), vmt(i->vmtVariable()),
                     "ConstLint 3", "ConstLint 5", label(servoM1), label(servoM2)}));
    // The base part's j pointer keeps pointing into drive's image; i into servo's.
    EXPECT_EQ(itemTexts(servo->defaultValue()),
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
    EXPECT_EQ(itemTexts(e->imageStruct()->initialValue()), (Lines{"ConstLint 0", "ConstLint 0"}));
}

TEST_F(ClassTest, MemberScopeHoldsAliasesIntoTheObject) {
    makeDriveAndServo();
    Variable* x = drive->memberScope()->findOwn("x");
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->offset(), 1);
    EXPECT_EQ(itemTexts(x->addressCode()),
              (Lines{"Fp", "ConstLint -1", "AddLint ", "Ld 1", "ConstLint 1", "AddLint "}));
    EXPECT_EQ(servo->memberScope()->parent(), drive->memberScope());
    EXPECT_EQ(servo->memberScope()->lookup("x"), x);
    EXPECT_EQ(servo->memberScope()->findOwn("y")->offset(), 3);
}

} // namespace
} // namespace Karsto
