// The common frame of the NC built-ins: registration order and binding, the layout of
// the parameter area, the NC types, and the slot addresses a call computes.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/code.h"
#include "core/exception.h"
#include "core/stackmachine_interpreter.h"
#include "core/type_enum.h"
#include "core/variable.h"
#include "gcode/builtins/registration_support.h"
#include "support/jyx_harness.h"

namespace Karsto {
namespace {

using test::Registration;

TEST(NcRegistration, AppendsTheBuiltInsInTableOrderAndDeclaresTheTypes) {
    Registration r;
    ASSERT_EQ(r.natives.size(), 64u);
    EXPECT_EQ(r.natives[0]->name(), "unitlengthset");
    EXPECT_EQ(r.natives[3]->name(), "unitvelocityset");
    EXPECT_EQ(r.natives[43]->name(), "gsin");
    EXPECT_EQ(r.natives[53]->name(), "runfile");
    EXPECT_EQ(r.natives[59]->name(), "rget");
    EXPECT_EQ(r.natives[63]->name(), "autoaccuratestopset");
    std::set<std::string> names;
    for (FunctionNative* native : r.natives) names.insert(native->name());
    EXPECT_EQ(names.size(), 64u);
    // Nothing entered into the function scope: that is the driver's part.
    EXPECT_EQ(r.symbols.functions->lookup("gsin"), nullptr);

    for (const char* type : {"unitlength", "unitangle", "unittime", "feedmodetype", "feedinterpolationtype",
                             "tooltype", "smoothingmaintype", "smoothingsubtype", "referencetype", "trcparamtype"})
        EXPECT_NE(r.symbols.types->lookup(type), nullptr) << type;
    EXPECT_EQ(r.symbols.ownedTypes.size(), 10u);

    auto* tooltype = r.symbols.types->lookup("tooltype")->asEnum();
    EXPECT_EQ(tooltype->baseType(), typeDint);
    EXPECT_EQ(tooltype->firstValue(), tooltype->findValue("tooltypedrill"));
    EXPECT_EQ(r.byName("toolset").parameters().at("tooltype")->type(), tooltype);
    EXPECT_EQ(r.byName("trcparam").returnType(), r.symbols.types->lookup("trcparamtype"));
}

TEST(NcRegistration, TwoRegistrationsAreIndependentAndBoundToTheirOwnProcessor) {
    Registration a;
    Registration b;
    ASSERT_EQ(a.natives.size(), b.natives.size());
    for (size_t i = 0; i < a.natives.size(); ++i) {
        EXPECT_NE(a.natives[i], b.natives[i]);
        const std::string& name = a.natives[i]->name();
        if (name == "rget" || name == "rset") {
            EXPECT_EQ(a.nc(i).processor(), nullptr) << name;
            EXPECT_EQ(b.nc(i).processor(), nullptr) << name;
        } else {
            EXPECT_EQ(a.nc(i).processor(), &a.processor) << name;
            EXPECT_EQ(b.nc(i).processor(), &b.processor) << name;
        }
    }
    EXPECT_NE(a.symbols.types->lookup("unitlength"), b.symbols.types->lookup("unitlength"));
}

TEST(NcRegistration, ParametersFollowTheReturnVariableInTableOrder) {
    Registration r;
    const FunctionNativeNc& toolset = r.byName("toolset");
    Variable* result = toolset.parameters().at("toolset").get();
    EXPECT_EQ(result->offset(), 0);
    EXPECT_EQ(result->type(), typeVoid);
    EXPECT_EQ(result->flags(), flagBit(VariableFlags::IMPLICIT));
    const std::vector<std::string> order{"index",     "nr",      "tooltype", "length",  "radius",
                                         "lengthadd", "radiusadd", "offsetx", "offsety", "offsetz"};
    ASSERT_EQ(toolset.parameters().size(), order.size() + 1);
    int64_t offset = 0; // the void result has no cell
    for (const std::string& name : order) {
        Variable* parameter = toolset.parameters().at(name).get();
        EXPECT_EQ(parameter->offset(), offset) << name;
        EXPECT_EQ(parameter->flags(), flagBit(VariableFlags::VAR_INPUT)) << name;
        offset += parameter->type()->size();
    }
    EXPECT_EQ(r.byName("zerooffsetshift").parameters().at("x")->flags(), flagBit(VariableFlags::VAR_OUTPUT));
    EXPECT_EQ(r.byName("gsin").parameters().at("gsin")->type(), typeLreal);

    for (FunctionNative* native : r.natives)
        EXPECT_EQ(native->hasContextSlot(), native->name() == "runfile") << native->name();

    // trcset owns an INT of its own whose initial value is -1.
    Type* limit = r.byName("trcset").parameters().at("limit")->type();
    EXPECT_NE(limit, typeInt);
    EXPECT_EQ(limit->kind(), TypeKind::Int);
    EXPECT_TRUE(limit->hasInitializer());
    EXPECT_EQ(r.byName("trcparam").structMemberOffsets(), (std::vector<int64_t>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(r.byName("trcparamset").structMemberOffsets(), (std::vector<int64_t>{0, 1, 2, 3, 4, 5}));
    EXPECT_TRUE(r.byName("gsin").structMemberOffsets().empty());
}

// A call computes every slot's address from offsets resolved at construction; it must
// be the address paramAddress finds by name, context cell and string cells included.
TEST(NcRegistration, SlotAddressesEqualParamAddress) {
    Registration r;
    StackmachineInterpreter& machine = r.machine;
    machine.addSp(1000); // a call's cells on the stack, and more below them
    for (size_t i = 0; i < r.natives.size(); ++i) {
        const FunctionNativeNc& native = r.nc(i);
        const int64_t base = native.frameBase(machine);
        EXPECT_EQ(base + native.slotOffset(0), native.paramAddress(machine, native.name())) << native.name();
        for (size_t p = 0; p < native.row().params.size(); ++p) {
            const char* name = native.row().params[p].name;
            EXPECT_EQ(base + native.slotOffset(p + 1), native.paramAddress(machine, name))
                << native.name() << " " << name;
        }
    }
}

TEST(NcRegistration, ACallWithTooFewCellsOnTheStackIsRefused) {
    Registration r;
    r.machine.addSp(1); // toolset needs ten
    EXPECT_THROW(r.byName("toolset").frameBase(r.machine), ExceptionRuntime);
}

TEST(NcRegistration, AnEnumerationArgumentOutsideItsMembersFails) {
    struct Case {
        const char* native;
        uint32_t value;
        const char* message;
    };
    const Case cases[] = {
        {"unitlengthset", 9, "Invalid value 9 of enumeration 'unitlength' in function 'unitlengthset'."},
        {"unitangleset", 4, "Invalid value 4 of enumeration 'unitangle' in function 'unitangleset'."},
        {"unittimeset", 0xFFFFFFFFu, "Invalid value -1 of enumeration 'unittime' in function 'unittimeset'."},
    };
    for (const Case& c : cases) {
        Registration r;
        try {
            r.call(c.native, [&c](Stackmachine& m) { m.pushU32(c.value); });
            ADD_FAILURE() << c.native << " accepted " << c.value;
        } catch (const ExceptionRuntime& error) {
            EXPECT_EQ(error.message(), c.message);
        }
        EXPECT_EQ(r.processor.units.length, 2);
        EXPECT_EQ(r.processor.units.angle, 1);
        EXPECT_EQ(r.processor.units.time, 0);
    }
    // unitvelocityset reads the time first.
    Registration r;
    try {
        r.call("unitvelocityset", [](Stackmachine& m) {
            m.pushU32(7); // unitlength
            m.pushU32(5); // unittime
        });
        ADD_FAILURE() << "unitvelocityset accepted";
    } catch (const ExceptionRuntime& error) {
        EXPECT_EQ(error.message(), "Invalid value 5 of enumeration 'unittime' in function 'unitvelocityset'.");
    }
    EXPECT_EQ(r.processor.units.velocityTime, 3);
}

// The NC types through a program: a variable without initialiser holds the first member.
TEST(NcTypes, InitialValuesAreTheFirstMembers) {
    const test::HarnessResult r = test::runNcProgram(
        "{VAR sub : smoothingsubtype; tool : tooltype; len : unitlength; main : smoothingmaintype; END_VAR}\n");
    ASSERT_TRUE(r.ok()) << r.errorText();
    EXPECT_EQ(r.integer("sub"), 1);
    EXPECT_EQ(r.integer("tool"), 10);
    EXPECT_EQ(r.integer("len"), 0);
    EXPECT_EQ(r.integer("main"), 0);
}

// A formal call that leaves an input out passes the initial value of its type.
TEST(NcTypes, TheLimitOfTrcsetStartsAtMinusOne) {
    Registration r;
    EXPECT_EQ(CodeLinked(r.byName("trcset").parameters().at("limit")->type()->initialValue()).toString(), "ConstInt -1\n");
}

} // namespace
} // namespace Karsto
