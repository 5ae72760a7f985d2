#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/composite_test_support.h"
#include "core/error_test_support.h"
#include "core/function.h"
#include "core/handle_owner.h"
#include "core/memory.h"
#include "core/name_resolution.h"
#include "core/struct_init.h"
#include "core/symbol_tables.h"
#include "core/type_enum.h"
#include "core/type_scif.h"
#include "core/variable.h"

namespace Karsto {
namespace {

using test::semanticMessage;

// Two enumerations with a value red: colours (red, green) and alarms (red, amber).
class NameResolution : public test::CompositeTypesTest {
protected:
    void SetUp() override {
        colours.addValue("red");
        colours.addValue("green");
        alarms.addValue("red");
        alarms.addValue("amber");
    }
    TypeEnum colours{typeDint};
    TypeEnum alarms{typeDint};
    Scope<Variable> noVariables;
};

TEST_F(NameResolution, EnumerationValuesAreFoundThroughParentsAndImports) {
    Scope<Type> outer;
    outer.declare("colour", &colours);
    Scope<Type> inner(&outer);
    inner.declare("number", typeInt);
    EXPECT_EQ(findEnumValue(&inner, "green"), colours.findValue("green"));
    EXPECT_EQ(findEnumValue(&inner, "blue"), nullptr);
    EXPECT_EQ(findEnumValue(nullptr, "green"), nullptr);

    Scope<Type> imported;
    imported.declare("alarm", &alarms);
    Scope<Type> importing;
    importing.addImport(&imported);
    EXPECT_EQ(findEnumValue(&importing, "amber"), alarms.findValue("amber"));
    EXPECT_EQ(resolveIdentifier(&noVariables, &importing, "amber"), alarms.findValue("amber"));
}

TEST_F(NameResolution, AValueFoundTwiceIsAmbiguous) {
    const std::string ambiguous = "Enumeration value 'red' is ambiguous.";
    Scope<Type> same;
    same.declare("colour", &colours);
    same.declare("alarm", &alarms);
    EXPECT_EQ(semanticMessage([&] { findEnumValue(&same, "red"); }), ambiguous);
    EXPECT_EQ(findEnumValue(&same, "green"), colours.findValue("green"));

    // A nearer declaration does not hide a farther one: the search never stops early.
    Scope<Type> outer;
    outer.declare("colour", &colours);
    Scope<Type> inner(&outer);
    inner.declare("alarm", &alarms);
    EXPECT_EQ(semanticMessage([&] { findEnumValue(&inner, "red"); }), ambiguous);

    Scope<Type> imported;
    imported.declare("alarm", &alarms);
    Scope<Type> importing(&outer);
    importing.addImport(&imported);
    EXPECT_EQ(semanticMessage([&] { findEnumValue(&importing, "red"); }), ambiguous);
    EXPECT_EQ(semanticMessage([&] { resolveIdentifier(&noVariables, &importing, "red"); }),
              ambiguous);
}

TEST_F(NameResolution, LongChainOfTypeScopesWithoutRecursion) {
    // 200,000 nested types scopes, each declaring a type; the enumeration sits at the root.
    constexpr int kDepth = 200000;
    std::vector<std::unique_ptr<Scope<Type>>> scopes;
    scopes.push_back(std::make_unique<Scope<Type>>());
    scopes.back()->declare("colour", &colours);
    for (int i = 1; i < kDepth; ++i)
        scopes.push_back(std::unique_ptr<Scope<Type>>(
            Scope<Type>::createWith(scopes.back().get(), std::string("t").append(std::to_string(i)), typeInt)));
    Scope<Type>* innermost = scopes.back().get();
    EXPECT_EQ(findEnumValue(innermost, "green"), colours.findValue("green"));
    EXPECT_EQ(resolveIdentifier(&noVariables, innermost, "green"), colours.findValue("green"));
    EXPECT_EQ(findEnumValue(innermost, "amber"), nullptr);

    Scope<Type> imported;
    imported.declare("alarm", &alarms);
    innermost->addImport(&imported);
    EXPECT_EQ(findEnumValue(innermost, "amber"), alarms.findValue("amber"));
    EXPECT_EQ(semanticMessage([&] { findEnumValue(innermost, "red"); }),
              "Enumeration value 'red' is ambiguous.");
}

TEST_F(NameResolution, IdentifiersResolveToVariablesOrValues) {
    Scope<Type> types;
    types.declare("colour", &colours);
    Variable green(nullptr, "greenish", typeInt, 0, VariableAccess::PUBLIC);
    Variable red(nullptr, "red", typeInt, 0, VariableAccess::PUBLIC);
    Scope<Variable> variables;
    variables.declare("greenish", &green);
    EXPECT_EQ(resolveIdentifier(&variables, &types, "greenish"), &green);
    EXPECT_EQ(resolveIdentifier(&variables, &types, "green"), colours.findValue("green"));
    EXPECT_EQ(semanticMessage([&] { resolveIdentifier(&variables, &types, "blue"); }),
              "Undeclared variable or enumeration value 'blue'.");
    variables.declare("red", &red);
    EXPECT_EQ(semanticMessage([&] { resolveIdentifier(&variables, &types, "red"); }),
              "Ambiguity between enumeration value and variable name for identifier 'red'.");
    EXPECT_EQ(semanticMessage([&] {
                  ProgramObject::variableOrFail(resolveIdentifier(&variables, &types, "green"));
              }),
              "Expected variable.");
}

TEST_F(NameResolution, EachDeclarationLineOpensOneScopeOwnedByTheCompile) {
    auto owner = std::make_unique<HandleOwner>();
    MemoryLocal locals;
    Scope<Variable> root;
    Scope<Variable>* first = declareVariables(&root, {"a", "b"}, &locals, typeLreal, 0,
                                              VariableAccess::PUBLIC, *owner);
    EXPECT_EQ(first->parent(), &root);
    EXPECT_EQ(first->names(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(first->lookup("b")->offset(), 1);
    EXPECT_EQ(owner->handleCount(), 3u);

    // A later line declaring a again makes a second variable that hides the first.
    Scope<Variable>* second = declareVariables(first, {"a"}, &locals, typeInt,
                                               flagBit(VariableFlags::CONSTANT),
                                               VariableAccess::PRIVATE, *owner);
    EXPECT_EQ(second->parent(), first);
    Variable* a = second->lookup("a");
    EXPECT_EQ(a->offset(), 2);
    EXPECT_EQ(a->type(), typeInt);
    EXPECT_EQ(a->flags(), flagBit(VariableFlags::CONSTANT));
    EXPECT_EQ(a->access(), VariableAccess::PRIVATE);
    EXPECT_EQ(locals.size(), 3);

    EXPECT_EQ(semanticMessage([&] {
                  declareVariables(second, {"a", "b", "a"}, &locals, typeInt, 0,
                                   VariableAccess::PUBLIC, *owner);
              }),
              "Multiple declarations of 'a' in scope.");
    // Everything made so far belongs to the owner, which frees it (LeakSanitizer).
    EXPECT_EQ(owner->handleCount(), 9u);
    owner.reset();
}

TEST_F(NameResolution, StructureInitialiserChecksItsMembers) {
    TypeStruct s;
    s.addMember("a", typeInt);
    s.addMember("b", typeLreal);
    StructInit init(&s);
    init.set("b", makeIntConstant(2, typeLreal, SourceSpan()), nullptr);
    EXPECT_EQ(semanticMessage([&] { init.set("c", Code(), nullptr); }),
              "Use of undeclared member 'c' in initialization of structure "
              "'Struct (a:int; b:lreal)'");
    EXPECT_EQ(semanticMessage([&] { init.set("b", Code(), nullptr); }),
              "Multiple definitions of member 'b' in initialization of structure "
              "'Struct (a:int; b:lreal)'");
    ASSERT_EQ(init.memberValues().size(), 1u);
    EXPECT_EQ(test::itemTexts(init.memberValues().at("b")),
              (std::vector<std::string>{"ConstLreal 2"}));
    EXPECT_EQ(test::itemTexts(s.initialValueFrom(init.memberValues())),
              (std::vector<std::string>{"ConstInt 0", "ConstLreal 2"}));
    EXPECT_EQ(init.structType(), &s);
}

// Records its destruction.
class CountedFunction final : public Function {
public:
    CountedFunction(std::string name, int& deaths) : Function(std::move(name)), deaths_(deaths) {}
    ~CountedFunction() override { ++deaths_; }
    Type* getReturnType(AParamList*) override { return typeVoid; }
    void compileCall(Code& out, AParamList*, const SourceSpan&) override { out = Code(); }

private:
    int& deaths_;
};

TEST_F(NameResolution, SymbolTablesDeleteOnlyWhatTheyOwn) {
    int deaths = 0;
    CountedFunction shared("shared", deaths);
    {
        SymbolTables tables;
        tables.addFunction(new CountedFunction("owned", deaths), true);
        tables.addFunction(&shared, false);
        tables.addType("colour", &colours, false);
        tables.addType("size", new TypeEnum(typeDint), true);
        tables.ownedVariables.push_back(
            new Variable(nullptr, "r0", typeLreal, flagBit(VariableFlags::HOST_DECLARED),
                         VariableAccess::NONE));
        EXPECT_EQ(tables.functions->lookup("shared"), &shared);
        EXPECT_EQ(tables.types->lookup("colour"), &colours);
        // The tables own a function from the call on, even when its name is taken.
        EXPECT_EQ(semanticMessage([&] {
                      tables.addFunction(new CountedFunction("shared", deaths), true);
                  }),
                  "Multiple declarations of 'shared' in scope.");
        tables.clear();
        EXPECT_EQ(deaths, 2);
        EXPECT_EQ(tables.functions, nullptr);
        EXPECT_TRUE(tables.ownedFunctions.empty());
    }
    EXPECT_EQ(deaths, 2);
}

} // namespace
} // namespace Karsto
