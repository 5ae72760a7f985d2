#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "codegen/codegen_interface.h"
#include "codegen/codegen_test_support.h"
#include "codegen/operation_emitters.h"
#include "codegen/scoped_code_generator.h"
#include "core/aparam_list.h"
#include "core/constant_factory.h"
#include "core/emitters.h"
#include "core/error_test_support.h"
#include "core/exception.h"
#include "core/function.h"
#include "core/machine_test_support.h"
#include "core/memory.h"
#include "core/stackmachine.h"
#include "core/type_function.h"
#include "core/type_pointer.h"
#include "core/type_scif.h"
#include "core/variable.h"

namespace Karsto {
namespace {

using test::assign;
using test::eachItemText;
using test::join;
using test::kImplicit;
using test::kInput;
using test::semanticMessage;
using test::spanAt;
using Lines = std::vector<std::string>;

// A method with the parameter area of a class or interface method: the return
// variable, the inputs, then "this".
struct Method {
    Method(const std::string& name, Type* result,
           const std::vector<std::pair<std::string, Type*>>& inputs, bool isAbstract)
        : area(std::make_unique<MemoryParam>()) {
        add(name, result, kImplicit);
        for (const auto& [inputName, type] : inputs) add(inputName, type, kInput);
        add("this", typeAddr, kThisFlags);
        method = std::make_unique<MethodUser>(name, nullptr, result, &locals, area.get(),
                                              VariableAccess::PUBLIC, false, false, isAbstract,
                                              spanAt(1));
    }
    Variable* add(const std::string& name, Type* type, int32_t flags) {
        variables.push_back(
            std::make_unique<Variable>(area.get(), name, type, flags, VariableAccess::NONE));
        return variables.back().get();
    }
    Variable* var(size_t i) const { return variables[i].get(); }

    std::unique_ptr<MemoryParam> area;
    MemoryLocal locals;
    std::vector<std::unique_ptr<Variable>> variables;
    std::unique_ptr<MethodUser> method;
};

class InterfaceTest : public test::CodegenTypesTest {
private:
    test::ScopedCodeGenerator generator_; // first in, last out

protected:
    void TearDown() override { machine.unload(); }

    MethodUser* method(const std::string& name, Type* result = typeVoid,
                       const std::vector<std::pair<std::string, Type*>>& inputs = {},
                       bool isAbstract = true) {
        methods_.push_back(std::make_unique<Method>(name, result, inputs, isAbstract));
        return methods_.back()->method.get();
    }
    Method& lastMethod() { return *methods_.back(); }
    CodegenInterface* interface(const std::string& name, std::vector<TypeInterface*> extends = {}) {
        interfaces_.push_back(std::make_unique<CodegenInterface>(name, std::move(extends)));
        return interfaces_.back().get();
    }
    CodegenInterface* defined(const std::string& name, std::vector<MethodUser*> own,
                              std::vector<TypeInterface*> extends = {}) {
        CodegenInterface* i = interface(name, std::move(extends));
        i->define(std::move(own), &globals);
        return i;
    }
    Variable* global(const std::string& name, Type* type) {
        globalVariables_.push_back(
            std::make_unique<Variable>(&globals, name, type, 0, VariableAccess::PUBLIC));
        return globalVariables_.back().get();
    }
    std::string vmt(const CodegenInterface* i) {
        return "ConstLint " + std::to_string(i->vmtVariable()->offset());
    }
    // Runs main code, a halt, then the bodies; returns the run-time error or "".
    std::string run(const Code& main, const Code& bodies) {
        return test::runProgram(machine, main.concat(emitHalt({})).concat(bodies));
    }
    int64_t stackCells() { return machine.getSp() - Stackmachine::kStackBase; }

    // j declares r and s; k extends j and declares p and q.
    void makeJk() {
        j = defined("j", {method("r", typeLreal, {{"x", typeLreal}}), method("s", typeInt)});
        k = defined("k", {method("p"), method("q")}, {j});
    }

    MemoryGlobal globals;
    test::HookMachine machine;
    CodegenInterface* j = nullptr;
    CodegenInterface* k = nullptr;

private:
    std::vector<std::unique_ptr<Method>> methods_;
    std::vector<std::unique_ptr<CodegenInterface>> interfaces_;
    std::vector<std::unique_ptr<Variable>> globalVariables_;
};

TEST_F(InterfaceTest, EmptyInterfaceHasHeadAndOneZeroGlobal) {
    global("before", typeLreal);
    const int64_t next = globals.size();
    CodegenInterface* e = defined("e", {});
    EXPECT_EQ(e->tableStruct()->size(), 3);
    EXPECT_EQ(e->tableOffsets(), (InterfaceOffsets{{e, 0}}));
    EXPECT_EQ(e->allInterfaces(), (InterfaceSet{e}));
    ASSERT_NE(e->vmtVariable(), nullptr);
    EXPECT_EQ(e->vmtVariable()->name(), "_VMT_e");
    EXPECT_EQ(e->vmtVariable()->offset(), next);
    EXPECT_EQ(globals.size(), next + 1);
    EXPECT_EQ(eachItemText(e->vmtAddress()), (Lines{"ConstLint " + std::to_string(next)}));

    machine.storeS64(next, 77);
    EXPECT_EQ(run(globals.initCode(), Code()), "");
    EXPECT_EQ(machine.loadS64(next), 0);
}

TEST_F(InterfaceTest, ExtendedTablesNestAfterTheNewMethods) {
    makeJk();
    EXPECT_EQ(j->tableStruct()->size(), 5);
    EXPECT_EQ(k->tableStruct()->size(), 10);
    const std::vector<std::pair<std::string, int64_t>> slots = {
        {"p", 3}, {"q", 4}, {"r", 8}, {"s", 9}};
    for (const auto& [name, offset] : slots) EXPECT_EQ(k->methodOffset(name), offset) << name;
    EXPECT_EQ(j->methodOffset("r"), 3);
    EXPECT_EQ(k->tableOffsets(), (InterfaceOffsets{{k, 0}, {j, 5}}));
    EXPECT_EQ(k->allInterfaces(), (InterfaceSet{j, k}));
    EXPECT_EQ(k->findMethod("r"), j->findMethod("r"));
    EXPECT_EQ(k->methodsByName().size(), 4u);
    EXPECT_EQ(k->newMethods().size(), 2u);
    EXPECT_EQ(k->findMethod("zz"), nullptr);
    EXPECT_TRUE(k->derivesFrom(j));
    EXPECT_FALSE(j->derivesFrom(k));
}

TEST_F(InterfaceTest, SharedAndRepeatedNamesAcrossExtendedInterfaces) {
    // z declares m; a and b extend z; c extends a and b, which both declare m.
    MethodUser* m = method("m");
    CodegenInterface* z = defined("z", {m});
    CodegenInterface* a = defined("a", {}, {z});
    CodegenInterface* b = defined("b", {}, {z});
    CodegenInterface* c = defined("c", {}, {a, b});
    EXPECT_EQ(c->tableStruct()->size(), 3 + 7 + 7);
    // The first interface's entry stays; a later table of the same interface replaces
    // the earlier one.
    EXPECT_EQ(c->methodOffset("m"), 3 + 3 + 3);
    EXPECT_EQ(c->findMethod("m"), m);
    EXPECT_EQ(c->tableOffsets(), (InterfaceOffsets{{c, 0}, {a, 3}, {b, 10}, {z, 13}}));
    EXPECT_EQ(c->allInterfaces(), (InterfaceSet{z, a, b, c}));
    std::vector<const TypeInterface*> order(c->allInterfaces().begin(), c->allInterfaces().end());
    EXPECT_EQ(order, (std::vector<const TypeInterface*>{z, a, b, c})); // creation order

    // Two unrelated interfaces declaring one name: accepted, the first one's method.
    MethodUser* first = method("n");
    CodegenInterface* x = defined("x", {first});
    CodegenInterface* y = defined("y", {method("n")});
    CodegenInterface* both = defined("both", {}, {x, y});
    EXPECT_EQ(both->findMethod("n"), first);
    EXPECT_EQ(both->methodOffset("n"), 3 + 3);
}

TEST_F(InterfaceTest, DefinitionErrors) {
    makeJk();
    CodegenInterface* undefined = interface("u");
    const struct {
        std::string name;
        std::vector<MethodUser*> methods;
        std::vector<TypeInterface*> extends;
        std::string message;
    } cases[] = {
        {"k2", {method("p"), method("r")}, {j}, "Invalid redeclaration of method 'r' in interface 'k2'."},
        {"k3", {}, {j, j}, "Member 'j' declared twice in structure"},
        {"k4", {method("p"), method("p")}, {}, "Member 'p' declared twice in structure"},
        {"k5", {}, {j, undefined}, "Interface 'k5' extends an interface that is not defined."},
        {"k6", {}, {nullptr}, "Interface 'k6' extends an interface that is not defined."},
    };
    for (const auto& c : cases) {
        const int64_t before = globals.size();
        CodegenInterface* i = interface(c.name, c.extends);
        EXPECT_EQ(semanticMessage([&] { i->define(c.methods, &globals); }), c.message);
        EXPECT_EQ(globals.size(), before) << c.message; // no global for a failed definition
    }
    // A definition runs once: a second one would leave a second global behind.
    EXPECT_EQ(semanticMessage([&] { k->define({}, &globals); }), "Interface 'k' is defined twice.");
    EXPECT_EQ(globals.variables().size(), 2u);
    // A failed definition has no table to nest.
    CodegenInterface* failed = interface("f", {j, j});
    EXPECT_NE(semanticMessage([&] { failed->define({}, &globals); }), "no error");
    EXPECT_EQ(semanticMessage([&] { defined("g", {}, {failed}); }),
              "Interface 'g' extends an interface that is not defined.");
    EXPECT_EQ(semanticMessage([&] { failed->vmtAddress(); }), "Interface 'f' is not defined.");
}

TEST_F(InterfaceTest, DiamondsThatOutgrowMemoryAreRefused) {
    // Every level doubles the table: 3 * 2^n cells after n levels.
    std::vector<TypeInterface*> previous{defined("d0", {})};
    std::string message = "no error";
    for (int level = 1; level < 40 && message == "no error"; ++level) {
        const std::string n = std::to_string(level);
        CodegenInterface* left = interface("l" + n, previous);
        CodegenInterface* right = interface("r" + n, previous);
        message = semanticMessage([&] {
            left->define({}, &globals);
            right->define({}, &globals);
            previous = {left, right};
        });
    }
    EXPECT_EQ(message.rfind("Table of interface 'l", 0), 0u) << message;
    EXPECT_NE(message.find("' does not fit into memory."), std::string::npos) << message;
}

TEST_F(InterfaceTest, TypeOperations) {
    makeJk();
    EXPECT_EQ(k->toString(), "Interface k ()");
    EXPECT_EQ(k->size(), 1);
    EXPECT_EQ(eachItemText(k->defaultValue()), (Lines{"ConstLint 0"}));
    EXPECT_EQ(semanticMessage([&] { k->methodOrFail("zz"); }),
              "Class 'k' does not declare method 'zz'.");
    EXPECT_EQ(semanticMessage([&] { k->methodOffset("zz"); }),
              "Class 'k' does not declare method 'zz'.");
    EXPECT_EQ(k->methodOrFail("s"), j->findMethod("s"));
    EXPECT_EQ(k->declaredName(), "k");
    EXPECT_FALSE(k->hasMember("p"));
    EXPECT_EQ(k->memberCount(), 0);
    EXPECT_EQ(k->memberName(0), "");
    EXPECT_EQ(k->memberType("p"), nullptr);
    EXPECT_EQ(k->memberTypeAt(0), nullptr);
    EXPECT_EQ(k->memberOffset("p"), 0);
    EXPECT_EQ(k->memberOffsetAt(0), 0);
    EXPECT_TRUE(k->initialValueFrom({{"p", makeIntConstant(1, typeAddr, {})}}).empty());
}

TEST_F(InterfaceTest, ObjectAddressIsReferenceMinusTableOffset) {
    EXPECT_EQ(eachItemText(CodegenInterface::objectAddressCode()),
              (Lines{"Dup 1", "Ld 1", "ConstLint 2", "AddLint ", "Ld 1", "SubLint "}));
}

// The implementations of a class: r(x) := x + the object's cell 1, and s, p, q.
class TableImages : public InterfaceTest {
protected:
    TableImages() {
        makeJk();
        implR = method("r", typeLreal, {{"x", typeLreal}}, false);
        Method& r = lastMethod();
        attribute = std::make_unique<Variable>(&objectArea, 1, "attr", typeLreal, 0);
        r.method->setBody(assign(*r.var(0), r.var(1)->valueCode({})
                                                .concat(attribute->valueCode({}))
                                                .concat(emitAdd(typeLreal, {}))));
        implS = method("s", typeInt, {}, false);
        implP = method("p", typeVoid, {}, false);
        implQ = method("q", typeVoid, {}, false);
        for (MethodUser* m : {implS, implP, implQ}) m->setBody(Code());
        implementations = {{"r", implR}, {"s", implS}, {"p", implP}, {"q", implQ}};
    }
    std::string label(const MethodUser* m) {
        return "ConstLabel " + m->entryLabel()->toString();
    }

    MethodUser* implR;
    MethodUser* implS;
    MethodUser* implP;
    MethodUser* implQ;
    MethodsByName implementations;
    MemoryObject objectArea;
    std::unique_ptr<Variable> attribute;
};

TEST_F(TableImages, TablesFillWithTheImplementationsAndNest) {
    // Some other table x lies at 7; j's predecessor in the chain is x.
    CodegenInterface* x = defined("x", {});
    const InterfaceChain chain{{j, {x, 12}}, {x, {nullptr, 7}}};
    const Code jTable = j->tableImageInit(implementations, {{j, 4}}, chain);
    EXPECT_EQ(eachItemText(jTable),
              (Lines{vmt(j), "ConstLint 7", "ConstLint 4", label(implR), label(implS)}));

    const Code kTable = k->tableImageInit(implementations, {{k, 2}, {j, 4}}, chain);
    const Lines kTexts = eachItemText(kTable);
    EXPECT_EQ(kTexts,
              join({{vmt(k), "ConstLint 0", "ConstLint 2", label(implP), label(implQ)},
                    eachItemText(jTable)}));
    EXPECT_EQ(static_cast<int64_t>(kTexts.size()), k->tableStruct()->size());

    // A copy of k builds the same table.
    std::unique_ptr<Type> copy(k->clone());
    EXPECT_EQ(eachItemText(static_cast<CodegenInterface*>(copy.get())
                            ->tableImageInit(implementations, {{k, 2}, {j, 4}}, chain)),
              kTexts);
}

TEST_F(TableImages, ImplementationWithOtherSignatureIsRefused) {
    MethodsByName wrong = implementations;
    wrong["r"] = method("r", typeLreal, {{"x", typeInt}}, false);
    EXPECT_EQ(semanticMessage([&] { j->tableImageInit(wrong, {{j, 4}}, {}); }),
              "Signature of method 'r' in class '<undef>' does not match type of method in "
              "interface 'j'.");
    j->findMethod("r")->setOwner(j);
    EXPECT_EQ(semanticMessage([&] { k->tableImageInit(wrong, {{k, 2}, {j, 4}}, {}); }),
              "Signature of method 'r' in class 'j' does not match type of method in "
              "interface 'j'.");
    // Missing entries are faults of the caller, reported instead of read.
    MethodsByName missing = implementations;
    missing.erase("s");
    EXPECT_EQ(semanticMessage([&] { j->tableImageInit(missing, {{j, 4}}, {}); }),
              "Internal error: no implementation of method 's' of interface 'j'");
    EXPECT_EQ(semanticMessage([&] { k->tableImageInit(implementations, {{k, 2}}, {}); }),
              "Internal error: no pointer to interface 'j'");
}

// An object of a class implementing k: cell 0 its image, cell 1 attr, cell 2 the pointer
// to k's table, cell 3 the pointer to j's table (nested in k's, at 5).
class Dispatch : public TableImages {
protected:
    Dispatch() {
        image = global("image", k->tableStruct());
        objectType.addMember("vmt", typeAddr);
        objectType.addMember("attr", typeLreal);
        objectType.addMember("pk", typeAddr);
        objectType.addMember("pj", typeAddr);
        object = global("object", &objectType);
        refK = global("refK", k);
        refJ = global("refJ", j);
        result = global("result", typeLreal);
    }
    Code address(Variable* v, int64_t plus) {
        return v->addressCode()
            .concat(makeIntConstant(plus, typeAddr, {}))
            .concat(emitAdd(typeAddr, {}));
    }
    // Stores an address into cell `cell` of the object.
    Code storeInObject(int64_t cell, const Code& value) {
        return value.concat(address(object, cell)).concat(emitSt(typeAddr, {}));
    }
    Code setUp() {
        return globals.initCode()
            .concat(k->tableImageInit(implementations, {{k, 2}, {j, 3}}, {}))
            .concat(image->addressCode())
            .concat(emitSt(k->tableStruct(), {}))
            .concat(storeInObject(0, image->addressCode()))
            .concat(makeRealConstant(0.5, typeLreal, {}))
            .concat(address(object, 1))
            .concat(emitSt(typeLreal, {}))
            .concat(storeInObject(2, image->addressCode()))
            .concat(storeInObject(3, address(image, 5)))
            .concat(assign(*refK, address(object, 2)))
            .concat(assign(*refJ, address(object, 3)));
    }
    Code bodies() {
        return implR->code().concat(implS->code()).concat(implP->code()).concat(implQ->code());
    }
    AParamList* argument(double value) {
        lists_.push_back(std::make_unique<AParamList>());
        lists_.back()->addPositional(makeRealConstant(value, typeLreal, {}), typeLreal, Code());
        return lists_.back().get();
    }

    TypeStruct objectType;
    Variable* image;
    Variable* object;
    Variable* refK;
    Variable* refJ;
    Variable* result;

private:
    std::vector<std::unique_ptr<AParamList>> lists_;
};

TEST_F(Dispatch, CallListsBindingCheckDispatchAndCopyBack) {
    const SourceSpan span = spanAt(5, 3);
    for (bool direct : {false, true}) {
        const Code call = k->callCode("r", argument(2.0), span, direct);
        EXPECT_EQ(eachItemText(call),
                  (Lines{"ConstLreal 0", "ConstLreal 2", "Copy -3 1", "Ld 1", "CheckNonNull ",
                         "Dup 1", "Ld 1", "ConstLint 2", "AddLint ", "Ld 1", "SubLint ",
                         "Copy -4 1", "Ld 1", "Ld 1", "ConstLint 8", "AddLint ", "Ld 1",
                         "JumpSubInd", "SpAdd -1", "SpAdd -1", "CopyTo -1 -2 1", "SpAdd -1"}))
            << direct;
        test::expectSpans(call, span);
    }
}

TEST_F(Dispatch, CallsRunTheImplementationInTheTable) {
    // Through k's pointer (slot 8 of k's table) and through j's pointer (slot 3 of the
    // nested table): both reach the same object, whose attr the method adds.
    const Code main = setUp()
                          .concat(refK->addressCode())
                          .concat(k->callCode("r", argument(1.25), spanAt(2), false))
                          .concat(refJ->addressCode())
                          .concat(j->callCode("r", argument(2.0), spanAt(3), false));
    EXPECT_EQ(run(main, bodies()), "");
    ASSERT_EQ(stackCells(), 2);
    EXPECT_EQ(machine.loadF64(Stackmachine::kStackBase), 1.75);
    EXPECT_EQ(machine.loadF64(Stackmachine::kStackBase + 1), 2.5);

    // Formal arguments bind by name; a call without parameters binds nothing.
    AParamList formal;
    formal.addFormalInput("x", makeRealConstant(4.0, typeLreal, {}), typeLreal, Code());
    const Code more = setUp()
                          .concat(assign(*result, refK->addressCode().concat(
                                                      k->callCode("r", &formal, spanAt(4), false))))
                          .concat(refJ->addressCode())
                          .concat(j->callCode("s", nullptr, spanAt(4), false))
                          .concat(emitPop(typeInt, {}));
    machine.unload();
    EXPECT_EQ(run(more, bodies()), "");
    EXPECT_EQ(machine.loadF64(result->offset()), 4.5);
    EXPECT_EQ(stackCells(), 0);
}

TEST_F(Dispatch, NullReferenceAndBindingErrors) {
    Variable* unset = global("unset", j);
    const SourceSpan span = spanAt(6, 9);
    const Code main =
        globals.initCode().concat(unset->addressCode()).concat(j->callCode("r", argument(1.0), span, false));
    EXPECT_EQ(run(main, bodies()), span.toString() + ": Null-Pointer Exception");

    AParamList two;
    two.addPositional(makeRealConstant(1.0, typeLreal, {}), typeLreal, Code());
    two.addPositional(makeRealConstant(2.0, typeLreal, {}), typeLreal, Code());
    EXPECT_EQ(semanticMessage([&] { j->callCode("r", &two, span, false); }),
              "Number of actual parameters (2) and number of formal parameters (1) do not "
              "match in non-formal function call.");
    AParamList wrongName;
    wrongName.addFormalInput("this", makeRealConstant(1.0, typeLreal, {}), typeLreal, Code());
    EXPECT_EQ(semanticMessage([&] { j->callCode("r", &wrongName, span, false); }),
              "Use of undeclared formal parameter 'this' in formal call.");
    EXPECT_EQ(semanticMessage([&] { k->callCode("zz", nullptr, span, false); }),
              "Class 'k' does not declare method 'zz'.");
}

TEST_F(InterfaceTest, CopyWithInitializerSharesTheDefinition) {
    makeJk();
    std::unique_ptr<Type> owned(k->cloneWithInitializer(makeIntConstant(0, typeAddr, {})));
    auto* copy = static_cast<CodegenInterface*>(owned.get());
    std::unique_ptr<Type> second(copy->clone());
    auto* copyOfCopy = static_cast<CodegenInterface*>(second.get());

    EXPECT_TRUE(copy->hasInitializer());
    EXPECT_FALSE(copyOfCopy->hasInitializer());
    for (CodegenInterface* c : {copy, copyOfCopy}) {
        EXPECT_EQ(c->definition(), k);
        EXPECT_TRUE(typesEqual(c, k));
        EXPECT_TRUE(typesEqual(k, c));
        EXPECT_TRUE(k->derivesFrom(c));
        EXPECT_TRUE(c->derivesFrom(j));
        EXPECT_FALSE(j->derivesFrom(c));
        EXPECT_NE(commonType(c, k), nullptr);
        EXPECT_NE(commonType(j, c), nullptr);
        EXPECT_EQ(eachItemText(c->vmtAddress()), eachItemText(k->vmtAddress()));
        EXPECT_EQ(c->tableStruct(), k->tableStruct());
        EXPECT_EQ(c->methodOffset("r"), 8);
        EXPECT_EQ(c->findMethod("p"), k->findMethod("p"));
        EXPECT_EQ(c->toString(), "Interface k ()");
        EXPECT_EQ(c->tableOffsets().at(c), 0); // the copy finds its definition's entries
    }
    EXPECT_FALSE(typesEqual(copy, j));
    // Still one global per interface.
    int named = 0;
    for (const Variable* v : globals.variables()) named += v->name() == "_VMT_k" ? 1 : 0;
    EXPECT_EQ(named, 1);
    EXPECT_EQ(globals.variables().size(), 2u);
    // A copy is never defined itself.
    EXPECT_EQ(semanticMessage([&] { copy->define({}, &globals); }),
              "Interface 'k' is defined twice.");
    // A class implementing k implements the copy, and extending the copy is extending k.
    test::TestClass implementer("c", nullptr, {k});
    EXPECT_TRUE(implementer.implements(copy));
    CodegenInterface* extender = defined("n", {}, {copy});
    EXPECT_EQ(extender->tableOffsets(), (InterfaceOffsets{{extender, 0}, {k, 3}, {j, 8}}));
}

TEST_F(InterfaceTest, LongExtensionChainsWithoutRecursion) {
    constexpr int kDepth = 1000;
    std::vector<CodegenInterface*> chain{defined("i0", {method("m0")})};
    for (int n = 1; n < kDepth; ++n) {
        const std::string s = std::to_string(n);
        chain.push_back(defined("i" + s, {method("m" + s)}, {chain.back()}));
    }
    CodegenInterface* last = chain.back();
    EXPECT_EQ(last->tableStruct()->size(), 4 * kDepth);
    EXPECT_EQ(last->methodOffset("m0"), 4 * (kDepth - 1) + 3);
    EXPECT_EQ(last->allInterfaces().size(), static_cast<size_t>(kDepth));
    EXPECT_TRUE(last->derivesFrom(chain.front()));

    MethodsByName implementations;
    InterfaceOffsets pointers;
    for (int n = 0; n < kDepth; ++n) {
        const std::string s = std::to_string(n);
        implementations["m" + s] = method("m" + s, typeVoid, {}, false);
        pointers[chain[static_cast<size_t>(n)]] = n;
    }
    const Lines texts = eachItemText(last->tableImageInit(implementations, pointers, {}));
    ASSERT_EQ(static_cast<int64_t>(texts.size()), 4 * kDepth);
    // The deepest table comes last: its head, then its one method.
    EXPECT_EQ(texts[texts.size() - 2], "ConstLint 0");
    EXPECT_EQ(texts.back(), "ConstLabel " + implementations["m0"]->entryLabel()->toString());
}

TEST_F(InterfaceTest, FunctionAndReferenceTypes) {
    MemoryParam area;
    Variable p(&area, "p", typeDint, kInput, VariableAccess::NONE);
    TypeFunction withParameter(typeLreal, {&p});
    TypeFunction empty(typeVoid, {});
    EXPECT_EQ(withParameter.toString(), "Function  (p:dint -> lreal)");
    EXPECT_EQ(empty.toString(), "Function  ( -> <void>)");
    EXPECT_EQ(typeLreal->pointerTo()->toString(), "ref_to lreal");
    EXPECT_EQ(typeInt->pointerTo()->pointerTo()->toString(), "ref_to ref_to int");
    EXPECT_EQ(typeNullPointer->toString(), "NullPointer");
    for (Type* t : std::initializer_list<Type*>{&withParameter, &empty, typeLreal->pointerTo(),
                                                typeInt->pointerTo()->pointerTo(),
                                                typeNullPointer}) {
        EXPECT_EQ(t->size(), 1) << t->toString();
    }
    EXPECT_EQ(eachItemText(withParameter.defaultValue()), (Lines{"ConstLint -1"}));
    EXPECT_EQ(eachItemText(typeLreal->pointerTo()->defaultValue()), (Lines{"ConstLint 0"}));
    EXPECT_EQ(eachItemText(typeNullPointer->defaultValue()), (Lines{"ConstLint 0"}));
}

} // namespace
} // namespace Karsto
