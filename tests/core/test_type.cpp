#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "core/code.h"
#include "core/constant_factory.h"
#include "core/exception.h"
#include "core/type.h"
#include "core/type_test_support.h"

namespace Karsto {
namespace {

using test::ElementaryTypesTest;
using test::FakeType;
using K = TypeKind;

uint64_t maskOf(std::initializer_list<TypeKind> kinds) {
    uint64_t mask = 0;
    for (TypeKind kind : kinds) mask |= kindBit(kind);
    return mask;
}

std::string listing(const Code& code) { return CodeLinked(code).toString(); }

using TypeTable = ElementaryTypesTest;

// Each row as the language defines it; the masks are given as the list of kinds a value
// converts to, independent of the hex numbers in the type table.
TEST_F(TypeTable, EveryElementaryTypeInCreationOrder) {
    struct Row {
        TypeSimple** global;
        const char* text;
        TypeKind kind;
        int64_t size;
        uint64_t mask;
        const char* defaultListing;
    };
    const std::vector<Row> rows = {
        {&typeIntegerLiteral, "<integer literal>", K::Liti, 1,
         maskOf({K::Liti, K::Usint, K::Uint, K::Udint, K::Ulint, K::Sint, K::Int, K::Dint, K::Lint,
                 K::Real, K::Lreal, K::Bool, K::Byte, K::Word, K::Dword, K::Lword, K::Subrange}),
         "ConstLiti 0\n"},
        {&typeRealLiteral, "<real literal>", K::Litr, 1, maskOf({K::Litr, K::Real, K::Lreal}),
         "ConstLitr 0\n"},
        {&typeStringLiteral, "<string literal>", K::LitString, 1, maskOf({K::LitString, K::String}),
         ""},
        {&typeWstringLiteral, "<wstring literal>", K::LitWstring, 1,
         maskOf({K::LitWstring, K::Wstring}), ""},
        {&typeUsint, "usint", K::Usint, 1,
         maskOf({K::Usint, K::Uint, K::Udint, K::Ulint, K::Int, K::Dint, K::Lint, K::Real, K::Lreal}),
         "ConstUsint 0\n"},
        {&typeUint, "uint", K::Uint, 1,
         maskOf({K::Uint, K::Udint, K::Ulint, K::Dint, K::Lint, K::Real, K::Lreal}), "ConstUint 0\n"},
        {&typeUdint, "udint", K::Udint, 1, maskOf({K::Udint, K::Ulint, K::Lint, K::Lreal}),
         "ConstUdint 0\n"},
        {&typeUlint, "ulint", K::Ulint, 1, maskOf({K::Ulint}), "ConstUlint 0\n"},
        {&typeSint, "sint", K::Sint, 1,
         maskOf({K::Sint, K::Int, K::Dint, K::Lint, K::Real, K::Lreal}), "ConstSint 0\n"},
        {&typeInt, "int", K::Int, 1, maskOf({K::Int, K::Dint, K::Lint, K::Real, K::Lreal}),
         "ConstInt 0\n"},
        {&typeDint, "dint", K::Dint, 1, maskOf({K::Dint, K::Lint, K::Lreal}), "ConstDint 0\n"},
        {&typeLint, "lint", K::Lint, 1, maskOf({K::Lint}), "ConstLint 0\n"},
        {&typeReal, "real", K::Real, 1, maskOf({K::Real, K::Lreal}), "ConstReal 0\n"},
        {&typeLreal, "lreal", K::Lreal, 1, maskOf({K::Lreal}), "ConstLreal 0\n"},
        {&typeBool, "bool", K::Bool, 1, maskOf({K::Bool, K::Byte, K::Word, K::Dword, K::Lword}),
         "ConstBool 0\n"},
        {&typeByte, "byte", K::Byte, 1, maskOf({K::Byte, K::Word, K::Dword, K::Lword}),
         "ConstByte 0\n"},
        {&typeWord, "word", K::Word, 1, maskOf({K::Word, K::Dword, K::Lword}), "ConstWord 0\n"},
        {&typeDword, "dword", K::Dword, 1, maskOf({K::Dword, K::Lword}), "ConstDword 0\n"},
        {&typeLword, "lword", K::Lword, 1, maskOf({K::Lword}), "ConstLword 0\n"},
        {&typeTime, "time", K::Time, 1, maskOf({K::Time, K::Ltime}), "ConstTime 0\n"},
        {&typeLtime, "ltime", K::Ltime, 1, maskOf({K::Ltime}), "ConstLtime 0\n"},
        {&typeDt, "dt", K::Dt, 1, maskOf({K::Dt, K::Ldt}), "ConstDt 0\n"},
        {&typeLdt, "ldt", K::Ldt, 1, maskOf({K::Ldt}), "ConstLdt 0\n"},
        {&typeTod, "tod", K::Tod, 1, maskOf({K::Tod, K::Ltod}), "ConstTod 0\n"},
        {&typeLtod, "ltod", K::Ltod, 1, maskOf({K::Ltod}), "ConstLtod 0\n"},
        {&typeDate, "date", K::Date, 1, maskOf({K::Date, K::Ldate}), "ConstDate 0\n"},
        {&typeLdate, "ldate", K::Ldate, 1, maskOf({K::Ldate}), "ConstLdate 0\n"},
        {&typeChar, "char", K::Char, 1, maskOf({K::Char, K::String}), "ConstChar 0\n"},
        {&typeWchar, "wchar", K::Wchar, 1, maskOf({K::Wchar, K::Wstring}), "ConstWchar 0\n"},
        {&typeAddr, "<addr>", K::Lint, 1, maskOf({K::Lint}), "ConstLint 0\n"},
        {&typeEnumBase, "<enumbase>", K::Lint, 1, maskOf({K::Lint}), "ConstLint 0\n"},
        {&typeVoid, "<void>", K::Void, 0, maskOf({K::Void}), ""},
    };
    const auto created = elementaryTypes();
    ASSERT_EQ(created.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        TypeSimple* type = *row.global;
        SCOPED_TRACE(row.text);
        ASSERT_NE(type, nullptr);
        EXPECT_EQ(created[i], type) << "creation order";
        EXPECT_EQ(type->toString(), row.text);
        EXPECT_EQ(type->kind(), row.kind);
        EXPECT_EQ(type->size(), row.size);
        EXPECT_EQ(type->conversionMask(), row.mask);
        EXPECT_FALSE(type->hasInitializer());
        EXPECT_EQ(listing(type->defaultValue()), row.defaultListing);
    }
}

TEST_F(TypeTable, LintAddrAndEnumBaseAreThreeObjectsThatCompareEqual) {
    EXPECT_NE(typeLint, typeAddr);
    EXPECT_NE(typeLint, typeEnumBase);
    EXPECT_NE(typeAddr, typeEnumBase);
    for (Type* a : {typeLint, typeAddr, typeEnumBase}) {
        EXPECT_EQ(a->kind(), TypeKind::Lint);
        for (Type* b : {typeLint, typeAddr, typeEnumBase}) {
            EXPECT_TRUE(typesEqual(a, b)) << a->toString() << " " << b->toString();
        }
    }
    EXPECT_FALSE(typesEqual(typeLint, typeDint));
    EXPECT_FALSE(typesEqual(typeTime, typeLtime));
}

using CommonType = ElementaryTypesTest;

TEST_F(CommonType, OfElementaryPairs) {
    struct Case {
        TypeSimple** a;
        TypeSimple** b;
        TypeSimple** expected; // null: none
    };
    const std::vector<Case> cases = {
        {&typeAddr, &typeDint, &typeLint}, // kind 11 hands out "lint", never "<addr>"
        {&typeDint, &typeEnumBase, &typeLint},
        {&typeByte, &typeWord, &typeWord},
        {&typeUdint, &typeReal, &typeLreal},
        {&typeIntegerLiteral, &typeBool, &typeBool},
        {&typeRealLiteral, &typeDint, &typeLreal},
        {&typeLtime, &typeTime, &typeLtime},
        {&typeChar, &typeWchar, nullptr},
        {&typeUsint, &typeSint, &typeInt},
        {&typeUint, &typeInt, &typeDint},
        {&typeUdint, &typeDint, &typeLint},
        {&typeUlint, &typeLint, nullptr},
        {&typeReal, &typeDint, &typeLreal},
        {&typeIntegerLiteral, &typeReal, &typeReal},
        {&typeIntegerLiteral, &typeRealLiteral, &typeReal},
        {&typeBool, &typeByte, &typeByte},
        {&typeTime, &typeTod, nullptr},
        {&typeStringLiteral, &typeChar, nullptr},
        {&typeLreal, &typeLword, nullptr},
        {&typeVoid, &typeLint, nullptr},
    };
    for (const Case& c : cases) {
        Type* expected = c.expected ? *c.expected : nullptr;
        SCOPED_TRACE((*c.a)->toString() + ", " + (*c.b)->toString());
        EXPECT_EQ(commonType(*c.a, *c.b), expected);
        EXPECT_EQ(commonType(*c.b, *c.a), expected);
    }
}

TEST_F(CommonType, OfEqualTypesIsTheFirstOperand) {
    EXPECT_EQ(commonType(typeIntegerLiteral, typeIntegerLiteral), typeIntegerLiteral);
    EXPECT_EQ(commonType(typeAddr, typeEnumBase), typeAddr);
    EXPECT_EQ(commonType(typeEnumBase, typeLint), typeEnumBase);
    EXPECT_EQ(commonType(typeVoid, typeVoid), typeVoid);

    std::unique_ptr<Type> five(typeInt->cloneWithInitializer(Code()));
    EXPECT_EQ(commonType(five.get(), typeInt), five.get());
    EXPECT_EQ(commonType(typeInt, five.get()), typeInt);
}

TEST_F(CommonType, EnumerationsCombineThroughTheirBase) {
    // An enumeration carries its base's mask plus its own bit, and is equal only to
    // itself.
    const uint64_t mask = typeDint->conversionMask() | kindBit(TypeKind::Enum);
    FakeType colours(TypeKind::Enum, mask, "(blue,green,red)");
    FakeType sizes(TypeKind::Enum, mask, "(big,small)");
    EXPECT_EQ(commonType(&colours, typeDint), typeDint);
    EXPECT_EQ(commonType(&colours, &sizes), typeDint);
    EXPECT_EQ(commonType(&colours, &colours), &colours);
    EXPECT_TRUE(typesEqual(&colours, &colours));
    EXPECT_FALSE(typesEqual(&colours, &sizes));
}

TEST_F(CommonType, OrFailNamesBothTypes) {
    struct Case {
        TypeSimple** a;
        TypeSimple** b;
        const char* text;
    };
    const std::vector<Case> cases = {
        {&typeTime, &typeTod, "?: Types 'time' and 'tod' can not be combined"},
        {&typeUlint, &typeLint, "?: Types 'ulint' and 'lint' can not be combined"},
        {&typeVoid, &typeIntegerLiteral, "?: Types '<void>' and '<integer literal>' can not be combined"},
    };
    for (const Case& c : cases) {
        try {
            commonTypeOrFail(*c.a, *c.b);
            ADD_FAILURE() << "no exception for " << c.text;
        } catch (const ExceptionSemantic& e) {
            EXPECT_STREQ(e.what(), c.text);
        }
    }
    EXPECT_EQ(commonTypeOrFail(typeSint, typeUsint), typeInt);
}

TEST_F(CommonType, ImplicitConversion) {
    struct Case {
        TypeSimple** from;
        TypeSimple** to;
        bool expected;
    };
    const std::vector<Case> cases = {
        {&typeUdint, &typeLreal, true},  {&typeUdint, &typeReal, false},
        {&typeBool, &typeLword, true},   {&typeLword, &typeBool, false},
        {&typeInt, &typeDint, true},     {&typeDint, &typeInt, false},
        {&typeUsint, &typeSint, false},  {&typeAddr, &typeLint, true},
        {&typeIntegerLiteral, &typeUlint, true}, {&typeRealLiteral, &typeDint, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isImplicitlyConvertible(*c.from, *c.to), c.expected)
            << (*c.from)->toString() << " -> " << (*c.to)->toString();
    }

    // A subrange carries its base's kind and mask.
    FakeType subrange(TypeKind::Int, typeInt->conversionMask(), "subrange int(1..10)");
    EXPECT_TRUE(isImplicitlyConvertible(&subrange, typeInt));
    EXPECT_TRUE(isImplicitlyConvertible(typeInt, &subrange));
    EXPECT_TRUE(typesEqual(&subrange, typeInt));
}

// Among elementary types a value converts exactly when its mask holds the target's kind:
// the lowest bit of every elementary mask is its own kind, so combining with the target
// then yields the target.
TEST_F(CommonType, ImplicitConversionFollowsTheMaskForEveryPair) {
    for (TypeSimple* from : elementaryTypes()) {
        for (TypeSimple* to : elementaryTypes()) {
            const bool inMask = (from->conversionMask() & kindBit(to->kind())) != 0;
            EXPECT_EQ(isImplicitlyConvertible(from, to), inMask)
                << from->toString() << " -> " << to->toString();
        }
    }
}

using TypeCasts = ElementaryTypesTest;

TEST_F(TypeCasts, ElementaryTypesBelongToNoCompositeFamily) {
    struct Cast {
        std::function<void(Type*)> cast;
        std::function<bool(const Type*)> test;
        const char* expected; // the message up to the type's name
    };
    const std::vector<Cast> casts = {
        {[](Type* t) { t->asString(); }, [](const Type* t) { return t->isString(); },
         "Expected string-type"},
        {[](Type* t) { t->asWstring(); }, [](const Type* t) { return t->isWstring(); },
         "Expected wstring-type"},
        {[](Type* t) { t->asArray(); }, [](const Type* t) { return t->isArray(); },
         "Expected array-type"},
        {[](Type* t) { t->asEnum(); }, [](const Type* t) { return t->isEnum(); },
         "Expected enum-type"},
        {[](Type* t) { t->asSubrange(); }, [](const Type* t) { return t->isSubrange(); },
         "Expected subrange-type"},
        {[](Type* t) { t->asStruct(); }, [](const Type* t) { return t->isStruct(); },
         "Expected struct-type"},
        {[](Type* t) { t->asClass(); }, [](const Type* t) { return t->isClass(); },
         "Expected class-type"},
        {[](Type* t) { t->asInterface(); }, [](const Type* t) { return t->isInterface(); },
         "Expected interface-type"},
        {[](Type* t) { t->asFunction(); }, [](const Type* t) { return t->isFunction(); },
         "Expected function-type"},
        {[](Type* t) { t->asPointer(); }, [](const Type* t) { return t->isPointer(); },
         "Expected pointer-type"},
        {[](Type* t) { t->asScif(); }, [](const Type* t) { return t->isScif(); },
         "Expected class- or struct-type"},
    };
    for (Type* type : {static_cast<Type*>(typeInt), static_cast<Type*>(typeLreal),
                       static_cast<Type*>(typeAddr)}) {
        for (const Cast& c : casts) {
            EXPECT_FALSE(c.test(type));
            const std::string expected =
                std::string(c.expected) + ", but '" + type->toString() + "' is given.";
            try {
                c.cast(type);
                ADD_FAILURE() << "no exception: " << expected;
            } catch (const ExceptionSemantic& e) {
                EXPECT_EQ(e.message(), expected);
                EXPECT_FALSE(e.span().valid);
            }
        }
    }
}

TEST_F(TypeCasts, NamedExamples) {
    try {
        typeInt->asArray();
        FAIL() << "no exception";
    } catch (const ExceptionSemantic& e) {
        EXPECT_STREQ(e.what(), "?: Expected array-type, but 'int' is given.");
    }
    try {
        typeLreal->asScif();
        FAIL() << "no exception";
    } catch (const ExceptionSemantic& e) {
        EXPECT_STREQ(e.what(), "?: Expected class- or struct-type, but 'lreal' is given.");
    }
}

using TypeDefaults = ElementaryTypesTest;

// Each use gets its own zero-value item: a span given to one program's copy must not
// reach the next program (a shared item showed the last caller's line in every trace).
TEST_F(TypeDefaults, DefaultValueIsAFreshItemPerUse) {
    for (TypeSimple* type : elementaryTypes()) {
        const Code first = type->defaultValue();
        const Code second = type->defaultValue();
        if (first.empty()) continue; // a type without a default value
        EXPECT_NE(first.node(), second.node()) << type->toString();
        EXPECT_EQ(listing(first), listing(second)) << type->toString();
        EXPECT_EQ(listing(type->initialValue()), listing(first)) << type->toString();
        SourcePosition line7;
        line7.line = 7;
        first.setSpan(SourceSpan(line7, line7));
        EXPECT_FALSE(type->defaultValue().node()->asItem()->span().valid) << type->toString();
    }
    EXPECT_TRUE(typeVoid->defaultValue().empty());
    EXPECT_TRUE(typeStringLiteral->defaultValue().empty());
}

TEST_F(TypeDefaults, CloneWithInitializerCarriesItAndLeavesTheOriginal) {
    const Code five = makeIntConstant(5, typeInt, SourceSpan());
    std::unique_ptr<Type> clone(typeInt->cloneWithInitializer(five));
    EXPECT_TRUE(clone->hasInitializer());
    EXPECT_EQ(clone->initialValue().node(), five.node());
    EXPECT_EQ(clone->toString(), "int");
    EXPECT_EQ(clone->kind(), TypeKind::Int);
    EXPECT_EQ(clone->conversionMask(), typeInt->conversionMask());
    EXPECT_EQ(clone->size(), 1);
    EXPECT_TRUE(clone->defaultValue().empty());
    EXPECT_TRUE(typesEqual(clone.get(), typeInt));

    EXPECT_FALSE(typeInt->hasInitializer());
    EXPECT_EQ(listing(typeInt->initialValue()), "ConstInt 0\n");

    // A clone always has one cell, even of the type that occupies none.
    std::unique_ptr<Type> voidClone(typeVoid->cloneWithInitializer(five));
    EXPECT_EQ(voidClone->size(), 1);
    EXPECT_EQ(typeVoid->size(), 0);
}

TEST(ElementaryTypes, CreateKeepsExistingObjectsAndDestroyClearsEverything) {
    createElementaryTypes();
    TypeSimple* lint = typeLint;
    ASSERT_NE(lint, nullptr);
    createElementaryTypes();
    EXPECT_EQ(typeLint, lint);
    EXPECT_EQ(elementaryTypes().size(), static_cast<size_t>(kElementaryTypeCount));

    destroyElementaryTypes();
    EXPECT_EQ(typeIntegerLiteral, nullptr);
    EXPECT_EQ(typeLint, nullptr);
    EXPECT_EQ(typeVoid, nullptr);
    EXPECT_TRUE(elementaryTypes().empty());

    // Built again, commonType hands out the new objects.
    createElementaryTypes();
    EXPECT_EQ(commonType(typeAddr, typeDint), typeLint);
    destroyElementaryTypes();
}

} // namespace
} // namespace Karsto
