#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <typeinfo>
#include <vector>

#include "core/cmd_const.h"
#include "core/code.h"
#include "core/constant_factory.h"
#include "core/exception.h"
#include "core/machine_test_support.h"
#include "core/stackmachine.h"
#include "core/stackmachine_interpreter.h"
#include "core/type.h"
#include "core/type_test_support.h"

namespace Karsto {
namespace {

using test::ElementaryTypesTest;
using test::FakeType;
using test::spanAt;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr uint64_t kTwo53 = uint64_t{1} << 53;

// The 8 bytes of a cell that holds only the given value in its low bytes.
template <class T>
uint64_t cellOf(T value) {
    uint64_t cell = 0;
    std::memcpy(&cell, &value, sizeof value);
    return cell;
}

Cmd* onlyCmd(const Code& code) {
    CodeItem* item = code.node() != nullptr ? code.node()->asItem() : nullptr;
    return item != nullptr ? item->asCmd() : nullptr;
}

// Runs the instruction on a fresh machine, whose cells start as zero, and returns the one
// cell it pushed: the value's own bytes, zero above them.
uint64_t pushedCell(Cmd& cmd) {
    Stackmachine machine;
    const int64_t sp = machine.getSp();
    cmd.execute(machine);
    EXPECT_EQ(machine.getSp(), sp + 1) << cmd.toString();
    return machine.popU64();
}

// Owns the item while its text is read.
std::string textOf(CodeItem* item) {
    const Code hold(item);
    return item->toString();
}

struct Expected {
    const char* text;
    uint64_t cell;
};

void expectConstant(const Code& code, const Expected& expected, const std::string& what) {
    Cmd* cmd = onlyCmd(code);
    ASSERT_NE(cmd, nullptr) << what;
    EXPECT_EQ(cmd->toString(), expected.text) << what;
    EXPECT_EQ(pushedCell(*cmd), expected.cell) << what << " gives " << expected.text;
}

using ConstantFactory = ElementaryTypesTest;

TEST_F(ConstantFactory, IntegerConvertsToTheWidthOfTheKind) {
    struct Case {
        int64_t value;
        TypeSimple** type;
        Expected expected;
    };
    const std::vector<Case> cases = {
        {70000, &typeInt, {"ConstInt 4464", cellOf<int16_t>(4464)}},
        {-200, &typeByte, {"ConstByte 56", cellOf<uint8_t>(56)}},
        {65536, &typeWchar, {"ConstWchar 0", 0}},
        {(int64_t{1} << 32) + 5, &typeUdint, {"ConstUdint 5", cellOf<uint32_t>(5)}},
        {int64_t{1} << 32, &typeBool, {"ConstBool 1", cellOf(true)}},
        {256, &typeBool, {"ConstBool 1", cellOf(true)}},
        {0, &typeBool, {"ConstBool 0", 0}},
        {static_cast<int64_t>(kTwo53 + 3), &typeLreal,
         {"ConstLreal 9007199254740996", cellOf(9007199254740996.0)}},
        {static_cast<int64_t>(kTwo53 + 1), &typeLreal, // ties to even
         {"ConstLreal 9007199254740992", cellOf(9007199254740992.0)}},
        // Two roundings: first to the double 2^53 + 2^29, which lies halfway between two
        // floats and goes to the even one, 2^53. One rounding would give 2^53 + 2^30.
        {static_cast<int64_t>(kTwo53 + (1u << 29) + 1), &typeReal,
         {"ConstReal 9007199254740992", cellOf(9007199254740992.0f)}},
        {300, &typeUsint, {"ConstUsint 44", cellOf<uint8_t>(44)}},
        {-1, &typeUdint, {"ConstUdint 4294967295", cellOf<uint32_t>(0xFFFFFFFFu)}},
        {-1, &typeWord, {"ConstWord 65535", cellOf<uint16_t>(0xFFFF)}},
        {128, &typeSint, {"ConstSint -128", cellOf<int8_t>(-128)}},
        {-1, &typeUlint, {"ConstUlint -1", ~uint64_t{0}}},
        {-2, &typeLword, {"ConstLword -2", ~uint64_t{1}}},
        {65, &typeChar, {"ConstChar 65", 65}},
        {-3, &typeDint, {"ConstDint -3", cellOf<int32_t>(-3)}},
        {-86400000000000, &typeDate, {"ConstDate -86400000000000", cellOf<int64_t>(-86400000000000)}},
        {7, &typeRealLiteral, {"ConstLitr 7", cellOf(7.0)}},
        {std::numeric_limits<int64_t>::min(), &typeIntegerLiteral,
         {"ConstLiti -9223372036854775808", uint64_t{1} << 63}},
        {12, &typeAddr, {"ConstLint 12", 12}},
        {3, &typeEnumBase, {"ConstLint 3", 3}},
    };
    for (const Case& c : cases) {
        expectConstant(makeIntConstant(c.value, *c.type, SourceSpan()), c.expected,
                       std::to_string(c.value) + " as " + (*c.type)->toString());
    }
}

TEST_F(ConstantFactory, RealTruncatesOrRoundsToTheKind) {
    struct Case {
        double value;
        TypeSimple** type;
        Expected expected;
    };
    const std::vector<Case> cases = {
        {2.5e9, &typeDint, {"ConstDint -2147483648", cellOf(std::numeric_limits<int32_t>::min())}},
        {2.5e9, &typeUdint, {"ConstUdint 2500000000", cellOf<uint32_t>(2500000000u)}},
        {-2.5, &typeSint, {"ConstSint -2", cellOf<int8_t>(-2)}},
        {70000.9, &typeInt, {"ConstInt 4464", cellOf<int16_t>(4464)}},
        {-129.0, &typeSint, {"ConstSint 127", 127}},
        {1.0e19, &typeLint, {"ConstLint -9223372036854775808", uint64_t{1} << 63}},
        {1.0e19, &typeUlint, {"ConstUlint -8446744073709551616", 10000000000000000000ULL}},
        {-1.5, &typeUlint, {"ConstUlint -1", ~uint64_t{0}}},
        {3.0e20, &typeUlint, {"ConstUlint -9223372036854775808", uint64_t{1} << 63}},
        {kNan, &typeDint, {"ConstDint -2147483648", cellOf(std::numeric_limits<int32_t>::min())}},
        {kNan, &typeBool, {"ConstBool 1", cellOf(true)}},
        {-0.0, &typeBool, {"ConstBool 0", 0}},
        {3.4e39, &typeReal,
         {"ConstReal -9223372036854775808", cellOf(std::numeric_limits<float>::infinity())}},
        {-3.4e39, &typeReal,
         {"ConstReal -9223372036854775808", cellOf(-std::numeric_limits<float>::infinity())}},
        {0.1, &typeReal, {"ConstReal 0", cellOf(0.1f)}},
        // The bit strings convert the number; only the cast instruction copies bits.
        {1.0, &typeDword, {"ConstDword 1", 1}},
        {1.0, &typeLword, {"ConstLword 1", 1}},
        {2.9, &typeDint, {"ConstDint 2", 2}},
        {-2.9, &typeDint, {"ConstDint -2", cellOf<int32_t>(-2)}},
        {5.0e9, &typeUdint, {"ConstUdint 705032704", 705032704}},
        {1.0e20, &typeUdint, {"ConstUdint 0", 0}},
        {-1.5, &typeUsint, {"ConstUsint 255", 255}},
        {300.7, &typeUsint, {"ConstUsint 44", 44}},
        {1.0e10, &typeUsint, {"ConstUsint 0", 0}},
        {1.0e10, &typeWchar, {"ConstWchar 0", 0}},
        {2.75, &typeLreal, {"ConstLreal 2", cellOf(2.75)}},
        {-2.75, &typeRealLiteral, {"ConstLitr -2", cellOf(-2.75)}},
        {-7.9, &typeTime, {"ConstTime -7", cellOf<int64_t>(-7)}},
        {1.0e300, &typeIntegerLiteral, {"ConstLiti -9223372036854775808", uint64_t{1} << 63}},
    };
    for (const Case& c : cases) {
        expectConstant(makeRealConstant(c.value, *c.type, SourceSpan()), c.expected,
                       std::to_string(c.value) + " as " + (*c.type)->toString());
    }

    const Code nanCode = makeRealConstant(kNan, typeReal, SourceSpan());
    const Cmd* nan = onlyCmd(nanCode);
    ASSERT_NE(nan, nullptr);
    EXPECT_TRUE(std::isnan(static_cast<const CmdConstReal*>(nan)->value()));
}

TEST_F(ConstantFactory, SubrangeGetsItsBaseClassAndTheSpanIsSet) {
    FakeType subrange(TypeKind::Uint, typeUint->conversionMask(), "subrange uint(1..9)");
    const SourceSpan span = spanAt(4, 7);
    const Code fromInt = makeIntConstant(70000, &subrange, span);
    const Code fromReal = makeRealConstant(-1.0, &subrange, span);
    expectConstant(fromInt, {"ConstUint 4464", 4464}, "integer");
    expectConstant(fromReal, {"ConstUint 65535", 65535}, "real");
    EXPECT_EQ(onlyCmd(fromInt)->span().toString(), span.toString());
    EXPECT_EQ(onlyCmd(fromReal)->span().toString(), span.toString());
    EXPECT_EQ(onlyCmd(fromInt)->refCount(), 1); // held by the returned Code alone
}

TEST_F(ConstantFactory, KindsWithoutAConstantClassAreRefused) {
    FakeType stringType(TypeKind::String, kindBit(TypeKind::String), "string[10]");
    FakeType wstringType(TypeKind::Wstring, kindBit(TypeKind::Wstring), "wstring[10]");
    FakeType enumType(TypeKind::Enum, typeDint->conversionMask() | kindBit(TypeKind::Enum), "(a,b)");
    FakeType structType(TypeKind::Struct, kindBit(TypeKind::Struct), "Struct (a:int)");
    FakeType pointerType(TypeKind::Pointer, kindBit(TypeKind::Pointer), "NullPointer");
    const std::vector<const Type*> refused = {typeStringLiteral, typeWstringLiteral, typeVoid,
                                              &stringType, &wstringType, &enumType, &structType,
                                              &pointerType};
    for (const Type* type : refused) {
        try {
            makeIntConstant(1, type, spanAt(1));
            ADD_FAILURE() << "integer constant of " << type->toString();
        } catch (const ExceptionSemantic& e) {
            EXPECT_STREQ(e.what(), "?: Can not construct integer constant for given type.");
        }
        try {
            makeRealConstant(1.0, type, spanAt(1));
            ADD_FAILURE() << "float constant of " << type->toString();
        } catch (const ExceptionSemantic& e) {
            EXPECT_STREQ(e.what(), "?: Can not construct float constant for given type.");
        }
    }
}

TEST(CmdConst, TextIsTheValueAsSignedSixtyFourBitDecimal) {
    struct Case {
        CodeItem* item;
        const char* text;
    };
    const std::vector<Case> cases = {
        {new CmdConstReal(-7.9f), "ConstReal -7"},
        {new CmdConstLword(~uint64_t{1}), "ConstLword -2"},
        {new CmdConstWchar(8364), "ConstWchar 8364"},
        {new CmdConstBool(true), "ConstBool 1"},
        {new CmdConstLreal(kNan), "ConstLreal -9223372036854775808"},
        {new CmdConstLreal(2.75), "ConstLreal 2"},
        {new CmdConstLitr(-1.0e300), "ConstLitr -9223372036854775808"},
        {new CmdConstUlint(~uint64_t{0}), "ConstUlint -1"},
        {new CmdConstChar('A'), "ConstChar 65"},
        {new CmdConstUsint(255), "ConstUsint 255"},
        {new CmdConstUdint(0xFFFFFFFFu), "ConstUdint 4294967295"},
        {new CmdConstSint(-128), "ConstSint -128"},
        {new CmdConstLtod(86399999999999), "ConstLtod 86399999999999"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(textOf(c.item), c.text);
    }
}

TEST(CmdConst, RegistryCoversExactlyTheOneCellElementaryKinds) {
    const std::set<int32_t> withoutClass = {2, 3, 28, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39};
    for (int32_t k = 0; k < kTypeKindCount; ++k) {
        const CmdConstInfo* info = cmdConstForKind(static_cast<TypeKind>(k));
        if (withoutClass.count(k) != 0) {
            EXPECT_EQ(info, nullptr) << "kind " << k;
        } else {
            ASSERT_NE(info, nullptr) << "kind " << k;
            EXPECT_EQ(info->kind, static_cast<TypeKind>(k));
        }
    }
}

// Every class: one push per execution, equal cells on repeated execution, and a clone
// that is a fresh object with the same text, span and pushed cell.
TEST(CmdConst, EveryClassPushesOnceAndClonesAlike) {
    for (const CmdConstInfo& info : cmdConstRegistry()) {
        SCOPED_TRACE(info.className);
        const Code fromInteger(info.fromInteger(-5));
        const Code fromReal(info.fromReal(3.75));
        for (const Code* original : {&fromInteger, &fromReal}) {
            Cmd* made = onlyCmd(*original);
            ASSERT_NE(made, nullptr);
            made->setSpan(spanAt(9, 3));
            const Code copy(made->clone());
            Cmd* clone = onlyCmd(copy);
            ASSERT_NE(clone, nullptr);
            EXPECT_NE(clone, made);
            EXPECT_EQ(clone->refCount(), 1);
            EXPECT_EQ(clone->toString(), made->toString());
            EXPECT_EQ(clone->span().toString(), made->span().toString());
            EXPECT_EQ(typeid(*clone), typeid(*made));

            Stackmachine machine;
            const int64_t sp = machine.getSp();
            made->execute(machine);
            made->execute(machine);
            clone->execute(machine);
            ASSERT_EQ(machine.getSp(), sp + 3);
            const uint64_t fromClone = machine.popU64();
            const uint64_t second = machine.popU64();
            const uint64_t first = machine.popU64();
            EXPECT_EQ(first, second);
            EXPECT_EQ(fromClone, first);

            StackmachineInterpreter channel; // the statically bound push
            made->execute(channel);
            EXPECT_EQ(channel.popU64(), first);
        }
    }
}

} // namespace
} // namespace Karsto
