#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/composite_test_support.h"
#include "core/error_test_support.h"
#include "core/exception.h"
#include "core/memory.h"
#include "core/stackmachine.h"
#include "core/type_array.h"
#include "core/type_enum.h"
#include "core/type_string.h"
#include "core/type_subrange.h"
#include "core/variable.h"

namespace Karsto {
namespace {

using test::itemTexts;
using Lines = std::vector<std::string>;

constexpr VariableAccess kPublic = VariableAccess::PUBLIC;

class MemoryAreas : public test::CompositeTypesTest {};

TEST_F(MemoryAreas, VariablesAreLaidOutInDeclarationOrder) {
    MemoryGlobal globals;
    TypeString ten(10);
    Variable i(&globals, "i", typeInt, 0, kPublic);
    Variable s(&globals, "s", &ten, 0, kPublic);
    Variable r(&globals, "r", typeLreal, 0, kPublic);
    EXPECT_EQ(i.offset(), 1);
    EXPECT_EQ(s.offset(), 2);
    EXPECT_EQ(r.offset(), 13);
    EXPECT_EQ(globals.size(), 14);
    EXPECT_EQ(globals.variables(), (std::vector<Variable*>{&i, &s, &r}));
    EXPECT_TRUE(i.allocated());
    EXPECT_EQ(i.memory(), &globals);

    MemoryLocal locals;
    MemoryParam params;
    MemoryObject attributes;
    MemoryShared shared;
    for (Memory* m : std::vector<Memory*>{&locals, &params, &attributes, &shared}) {
        Variable first(m, "v", typeLreal, 0, kPublic);
        EXPECT_EQ(first.offset(), 0);
        EXPECT_EQ(m->size(), 1);
    }
    EXPECT_EQ(globals.kind(), MemoryKind::Global);

    // An absurd size wraps instead of overflowing; the layout checks the limits.
    TypeArray huge(typeLreal, {{0, INT64_MAX - 1}});
    MemoryGlobal full;
    Variable h(&full, "h", &huge, 0, kPublic);
    EXPECT_EQ(h.offset(), 1);
    EXPECT_EQ(full.size(), INT64_MIN);
    EXPECT_EQ(params.kind(), MemoryKind::Param);
    EXPECT_EQ(shared.kind(), MemoryKind::Shared);
}

TEST_F(MemoryAreas, AliasesAndDirectVariablesTakeNoCells) {
    MemoryGlobal globals;
    Variable x(&globals, "x", typeInt, 0, kPublic);
    std::unique_ptr<Variable> alias(x.makeAlias("y", typeInt, 0));
    EXPECT_EQ(globals.size(), 2);
    EXPECT_EQ(globals.variables().size(), 1u);
    EXPECT_EQ(alias->offset(), 1);
    EXPECT_EQ(alias->memory(), &globals);
    EXPECT_EQ(alias->access(), VariableAccess::NONE);
    EXPECT_TRUE(alias->allocated());

    Variable direct(&globals, 'i', 'x', 0, kPublic);
    direct.addAddressPart(1);
    direct.addAddressPart(2);
    EXPECT_TRUE(direct.isDirect());
    EXPECT_EQ(direct.name(), "");
    EXPECT_EQ(direct.type(), nullptr);
    EXPECT_FALSE(direct.allocated());
    EXPECT_EQ(direct.addressParts(), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(globals.size(), 2);
    EXPECT_EQ(test::semanticMessage([&] { direct.addressCode(); }), "Variable '' has no storage.");

    Variable unplaced(nullptr, "u", typeInt, 0, kPublic);
    EXPECT_FALSE(unplaced.allocated());
    EXPECT_EQ(test::semanticMessage([&] { unplaced.valueCode(SourceSpan()); }),
              "Variable 'u' has no storage.");
}

TEST_F(MemoryAreas, AliasMustMatchTypeAndConstness) {
    MemoryGlobal globals;
    Variable x(&globals, "x", typeInt, 0, kPublic);
    Variable c(&globals, "c", typeInt, flagBit(VariableFlags::CONSTANT), kPublic);
    EXPECT_EQ(test::semanticMessage([&] { delete x.makeAlias("a", typeLreal, 0); }),
              "Type of referenced variable ('int') does not match type of alias ('lreal')");
    EXPECT_EQ(test::semanticMessage([&] { delete c.makeAlias("a", typeInt, 0); }),
              "Referenced variable is constant, but alias is not");
    // A non-constant variable may get a constant alias; a subrange has the kind of INT.
    TypeSubrange small(typeInt, 1, 10);
    std::unique_ptr<Variable> constant(x.makeAlias("k", typeInt, flagBit(VariableFlags::CONSTANT)));
    std::unique_ptr<Variable> ranged(x.makeAlias("r", &small, 0));
    EXPECT_EQ(ranged->type(), &small);

    // Enumerations are equal only to themselves.
    TypeEnum colours(typeDint), sameValues(typeDint);
    for (TypeEnum* e : {&colours, &sameValues}) {
        e->addValue("red");
        e->addValue("green");
    }
    Variable paint(&globals, "paint", &colours, 0, kPublic);
    EXPECT_EQ(test::semanticMessage([&] { delete paint.makeAlias("p", &sameValues, 0); }),
              "Type of referenced variable ('(green,red)') does not match type of alias "
              "('(green,red)')");
}

TEST_F(MemoryAreas, CodeGoesThroughTheInstalledAddressRules) {
    MemoryGlobal globals;
    TypeString two(2);
    Variable x(&globals, "x", typeInt, 0, kPublic);
    Variable s(&globals, "s", &two, 0, kPublic);
    EXPECT_EQ(test::semanticMessage([&] { x.addressCode(); }),
              "No address rules for memory areas are installed.");

    test::ScopedOffsetAddressing rules;
    EXPECT_EQ(itemTexts(x.addressCode()), (Lines{"ConstLint 1"}));
    EXPECT_EQ(itemTexts(s.valueCode(SourceSpan())), (Lines{"ConstLint 2", "Ld 3"}));
    EXPECT_EQ(itemTexts(globals.initCode()),
              (Lines{"ConstInt 0", "ConstLint 1", "St 1", "SpAdd 2", "ConstLint 0",
                     "ConstLint 2", "St 3"}));
    MemoryLocal empty;
    EXPECT_TRUE(empty.initCode().empty());
    EXPECT_EQ(x.asVariable(), &x);
    EXPECT_EQ(x.asEnumValue(), nullptr);
}

TEST_F(MemoryAreas, SharedVariablesBindToTheMachinesNames) {
    MemoryShared shared;
    std::vector<std::unique_ptr<Variable>> owned;
    std::vector<Variable*> variables;
    for (int n = 0; n < 6; ++n) {
        owned.push_back(std::make_unique<Variable>(&shared, std::string("r").append(std::to_string(n)), typeLreal,
                                                   flagBit(VariableFlags::HOST_DECLARED),
                                                   VariableAccess::NONE));
        variables.push_back(owned.back().get());
    }
    std::vector<double> cells(6);
    Stackmachine machine;
    machine.setSharedArea(cells.data(), 6, sharedNamesOf(variables));
    EXPECT_EQ(machine.globalAddress("r5"), 0x80000005);
    EXPECT_EQ(machine.globalAddress("r0"), 0x80000000);
    EXPECT_EQ(machine.globalAddress("r6"), -1);
}

TEST_F(MemoryAreas, FlagsTellParameterKindsApart) {
    EXPECT_EQ(kThisFlags, 4208);
    const struct {
        int32_t flags;
        ParameterKind kind;
    } cases[] = {
        {flagBit(VariableFlags::VAR_INPUT), ParameterKind::input},
        {flagBit(VariableFlags::VAR_INPUT) | flagBit(VariableFlags::CONSTANT), ParameterKind::input},
        {flagBit(VariableFlags::VAR_OUTPUT), ParameterKind::output},
        {flagBit(VariableFlags::VAR_IN_OUT) | flagBit(VariableFlags::RETAIN), ParameterKind::inOut},
        {kThisFlags, ParameterKind::none},
        {flagBit(VariableFlags::IMPLICIT), ParameterKind::none},
        {flagBit(VariableFlags::VAR_INPUT) | flagBit(VariableFlags::IMPLICIT), ParameterKind::none},
        {0, ParameterKind::none},
    };
    for (const auto& c : cases) EXPECT_EQ(parameterKindOf(c.flags), c.kind) << c.flags;
}

TEST_F(MemoryAreas, VariableOrFailRefusesEnumerationValues) {
    TypeEnum colours(typeDint);
    EnumValue* red = colours.addValue("red");
    Variable x(nullptr, "x", typeInt, 0, kPublic);
    EXPECT_EQ(ProgramObject::variableOrFail(&x), &x);
    EXPECT_EQ(test::semanticMessage([&] { ProgramObject::variableOrFail(red); }), "Expected variable.");
}

} // namespace
} // namespace Karsto
