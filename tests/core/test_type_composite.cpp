#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/composite_test_support.h"
#include "core/emitters.h"
#include "core/error_test_support.h"
#include "core/exception.h"
#include "core/memory.h"
#include "core/type_array.h"
#include "core/type_enum.h"
#include "core/type_function.h"
#include "core/type_pointer.h"
#include "core/type_scif.h"
#include "core/type_string.h"
#include "core/type_subrange.h"
#include "core/variable.h"

namespace Karsto {
namespace {

using test::itemTexts;
using Lines = std::vector<std::string>;

class CompositeTypes : public test::CompositeTypesTest {};

TEST_F(CompositeTypes, Strings) {
    TypeWstring ten(10);
    EXPECT_EQ(ten.size(), 11);
    EXPECT_EQ(ten.toString(), "wstring[10]");
    EXPECT_EQ(itemTexts(ten.defaultValue()), (Lines{"SpAdd 10", "ConstLint 0"}));
    EXPECT_EQ(typeString->toString(), "string[255]");
    EXPECT_EQ(typeWstring->toString(), "wstring[255]");
    EXPECT_EQ(typeString->size(), 256);

    TypeString eighty(80);
    EXPECT_EQ(itemTexts(emitPop(&eighty, SourceSpan())), (Lines{"SpAdd -81"}));
    std::unique_ptr<Type> copy(eighty.clone());
    EXPECT_EQ(copy->toString(), "string[80]");
    EXPECT_TRUE(typesEqual(copy.get(), &eighty));
    EXPECT_FALSE(typesEqual(&ten, typeWstring));
    EXPECT_EQ(test::semanticWhat([&] { typeLreal->asString(); }),
              "?: Expected string-type, but 'lreal' is given.");
    EXPECT_EQ(eighty.asString(), &eighty);
}

TEST_F(CompositeTypes, StringsCombineToTheLargerCapacity) {
    TypeString ten(10), twenty(20);
    EXPECT_EQ(commonType(&ten, &twenty), &twenty);
    EXPECT_EQ(commonType(&twenty, &ten), &twenty);
    EXPECT_EQ(commonType(typeChar, &ten), &ten);
    EXPECT_EQ(commonType(typeStringLiteral, &ten), &ten);
    EXPECT_EQ(commonType(typeStringLiteral, typeChar), nullptr);
    TypeWstring wide(5);
    EXPECT_EQ(commonType(typeWchar, &wide), &wide);
    EXPECT_EQ(commonType(&ten, &wide), nullptr);
    EXPECT_TRUE(isImplicitlyConvertible(&ten, &twenty));
    EXPECT_FALSE(isImplicitlyConvertible(&twenty, &ten));
}

TEST_F(CompositeTypes, Arrays) {
    TypeArray array(typeLreal, {{0, 4}, {-1, 1}});
    EXPECT_EQ(array.elementCount(), 15);
    EXPECT_EQ(array.size(), 15);
    EXPECT_EQ(array.toString(), "Array [0..4,-1..1] of lreal");
    EXPECT_EQ(array.dimensionCount(), 2);
    EXPECT_EQ(array.dimensionLength(1), 3);
    EXPECT_EQ(array.lowerBound(1), -1);
    EXPECT_EQ(array.upperBound(0), 4);
    EXPECT_EQ(itemTexts(array.defaultValue()), Lines(15, "ConstLreal 0"));
    EXPECT_EQ(test::semanticWhat([&] { array.upperBound(5); }),
              "?: Invalid access on dimension 6 of 2-dimensional array.");
    EXPECT_EQ(test::semanticWhat([&] { array.lowerBound(-1); }),
              "?: Invalid access on dimension 0 of 2-dimensional array.");
    EXPECT_EQ(test::semanticWhat([&] { array.dimensionLength(INT32_MAX); }),
              "?: Invalid access on dimension 2147483648 of 2-dimensional array.");

    TypeArray noDimensions(typeInt, {});
    EXPECT_EQ(noDimensions.elementCount(), 1);
    EXPECT_EQ(noDimensions.toString(), "Array [] of int");

    // An array of strings repeats the element's initial value, initializer included.
    TypeString four(4);
    std::unique_ptr<Type> five(typeInt->cloneWithInitializer(makeIntConstant(5, typeInt, {})));
    TypeArray strings(&four, {{1, 2}});
    TypeArray fives(five.get(), {{1, 3}});
    EXPECT_EQ(strings.size(), 10);
    EXPECT_EQ(itemTexts(strings.defaultValue()),
              (Lines{"SpAdd 4", "ConstLint 0", "SpAdd 4", "ConstLint 0"}));
    EXPECT_EQ(itemTexts(fives.defaultValue()), Lines(3, "ConstInt 5"));
}

TEST_F(CompositeTypes, ArraysEqualByElementTypeAndBounds) {
    TypeArray a(typeInt, {{1, 3}, {0, 9}});
    TypeArray b(typeInt, {{1, 3}, {0, 9}});
    TypeArray otherBounds(typeInt, {{1, 3}, {1, 10}});
    TypeArray otherElement(typeDint, {{1, 3}, {0, 9}});
    TypeArray oneDimension(typeInt, {{1, 30}});
    EXPECT_TRUE(typesEqual(&a, &b));
    EXPECT_FALSE(typesEqual(&a, &otherBounds));
    EXPECT_FALSE(typesEqual(&a, &otherElement));
    EXPECT_FALSE(typesEqual(&a, &oneDimension));
    EXPECT_EQ(commonType(&a, &b), &a);
    EXPECT_EQ(commonType(&a, &otherBounds), nullptr);
    std::unique_ptr<Type> copy(a.clone());
    EXPECT_TRUE(typesEqual(copy.get(), &a));
    EXPECT_EQ(copy->toString(), "Array [1..3,0..9] of int");
}

TEST_F(CompositeTypes, DeeplyNestedTypesWithoutRecursion) {
    // Two separately built chains of 100,000 nested array types.
    constexpr int kDepth = 100000;
    std::vector<std::unique_ptr<TypeArray>> left, right;
    Type* l = typeInt;
    Type* r = typeInt;
    for (int i = 0; i < kDepth; ++i) {
        left.push_back(std::make_unique<TypeArray>(l, std::vector<ArrayDimension>{{0, 0}}));
        right.push_back(std::make_unique<TypeArray>(r, std::vector<ArrayDimension>{{0, 0}}));
        l = left.back().get();
        r = right.back().get();
    }
    EXPECT_TRUE(typesEqual(l, r));
    EXPECT_EQ(l->size(), 1);
    EXPECT_EQ(itemTexts(l->defaultValue()), (Lines{"ConstInt 0"}));
    const std::string text = l->toString();
    EXPECT_EQ(text.size(), kDepth * std::string("Array [0..0] of ").size() + 3);

    // A difference at the bottom is found.
    TypeArray bottom(typeDint, {{0, 0}});
    right.front() = std::make_unique<TypeArray>(&bottom, std::vector<ArrayDimension>{{0, 0}});
    std::vector<std::unique_ptr<TypeArray>> chain;
    Type* d = right.front().get();
    for (int i = 1; i < kDepth; ++i) {
        chain.push_back(std::make_unique<TypeArray>(d, std::vector<ArrayDimension>{{0, 0}}));
        d = chain.back().get();
    }
    EXPECT_FALSE(typesEqual(l, d));

    // Structures nested as deeply: size, text and default value.
    std::vector<std::unique_ptr<TypeStruct>> structs;
    Type* s = typeLreal;
    for (int i = 0; i < kDepth; ++i) {
        structs.push_back(std::make_unique<TypeStruct>());
        structs.back()->addMember("m", s);
        structs.back()->addMember("k", typeBool);
        s = structs.back().get();
    }
    EXPECT_EQ(s->size(), kDepth + 1);
    EXPECT_EQ(itemTexts(s->defaultValue()).size(), static_cast<size_t>(kDepth + 1));
    EXPECT_EQ(s->toString().substr(0, 22), "Struct (m:Struct (m:St");
}

// Structures, signatures and references nest as deeply as arrays: two separately built
// chains of each compare equal, a different innermost type is found, and the text is
// written without native recursion.
TEST_F(CompositeTypes, DeepChainsOfEveryNestingFamily) {
    constexpr int kDepth = 100000;
    struct Chain {
        std::vector<std::unique_ptr<Type>> types;
        std::vector<std::unique_ptr<Variable>> parameters;
    };
    using Wrap = std::function<Type*(Chain&, Type*)>;
    const struct {
        const char* family;
        Wrap wrap;
        std::string level; // the text one level adds in front
    } families[] = {
        {"structure",
         [](Chain& c, Type* inner) {
             auto s = std::make_unique<TypeStruct>();
             s->addMember("m", inner);
             c.types.push_back(std::move(s));
             return c.types.back().get();
         },
         "Struct (m:"},
        {"signature",
         [](Chain& c, Type* inner) {
             c.parameters.push_back(std::make_unique<Variable>(
                 nullptr, "p", inner, flagBit(VariableFlags::VAR_INPUT), VariableAccess::NONE));
             c.types.push_back(
                 std::make_unique<TypeFunction>(typeVoid, std::vector<Variable*>{c.parameters.back().get()}));
             return c.types.back().get();
         },
         "Function  (p:"},
        {"reference",
         [](Chain& c, Type* inner) {
             c.types.push_back(std::make_unique<TypePointer>(inner));
             return c.types.back().get();
         },
         "ref_to "},
    };
    for (const auto& f : families) {
        Chain left, right, different;
        Type* l = typeInt;
        Type* r = typeInt;
        Type* d = typeDint;
        for (int i = 0; i < kDepth; ++i) {
            l = f.wrap(left, l);
            r = f.wrap(right, r);
            d = f.wrap(different, d);
        }
        EXPECT_TRUE(typesEqual(l, r)) << f.family;
        EXPECT_FALSE(typesEqual(l, d)) << f.family;
        const std::string text = l->toString();
        EXPECT_EQ(text.substr(0, 2 * f.level.size()), f.level + f.level) << f.family;
        EXPECT_GT(text.size(), kDepth * f.level.size()) << f.family;
    }
}

// References to references made through pointerTo are cached, each owned by the type
// it refers to: freeing the innermost type frees the whole chain without recursion.
TEST_F(CompositeTypes, LongChainOfCachedReferencesIsFreedWithoutRecursion) {
    constexpr int kDepth = 500000;
    auto base = std::make_unique<TypeStruct>();
    Type* top = base.get();
    for (int i = 0; i < kDepth; ++i) top = top->pointerTo();
    EXPECT_EQ(top->toString().size(), kDepth * std::string("ref_to ").size() + std::string("Struct ()").size());
    base.reset(); // AddressSanitizer: no overflow, nothing leaked
}

TEST_F(CompositeTypes, SelfReferenceThroughAPointerEnds) {
    // Two structures "node" that each refer to themselves compare equal.
    TypeStruct a, b;
    a.addMember("next", a.pointerTo());
    b.addMember("next", b.pointerTo());
    EXPECT_TRUE(typesEqual(&a, &b));
    EXPECT_EQ(a.size(), 1);
}

TEST_F(CompositeTypes, Enumerations) {
    auto colours = std::make_unique<TypeEnum>(typeDint);
    EnumValue* green = colours->addValue("green");
    EnumValue* red = colours->addValue("red", 5);
    EnumValue* blue = colours->addValue("blue");
    EXPECT_EQ(green->value(), 0);
    EXPECT_EQ(red->value(), 5);
    EXPECT_EQ(blue->value(), 1);
    EXPECT_EQ(colours->nextValue(), 2);
    EXPECT_EQ(colours->toString(), "(blue,green,red)");
    EXPECT_EQ(itemTexts(colours->defaultValue()), (Lines{"ConstLint 0"}));
    EXPECT_EQ(colours->firstValue(), green);
    EXPECT_EQ(colours->size(), 1);
    EXPECT_EQ(colours->conversionMask(), typeDint->conversionMask() | kindBit(TypeKind::Enum));
    EXPECT_EQ(test::semanticWhat([&] { colours->addValue("red"); }),
              "?: Enumeration-value 'red' declared twice.");
    EXPECT_EQ(test::semanticWhat([&] { colours->addValue("red", 9); }),
              "?: Enumeration-value 'red' declared twice.");
    EXPECT_EQ(colours->valueOrFail("red"), red);
    EXPECT_EQ(colours->findValue("x"), nullptr);
    EXPECT_EQ(test::semanticWhat([&] { colours->valueOrFail("x"); }),
              "?: Undeclared enumeration-value 'x'");

    // A value pushes its number typed "<enumbase>"; its type is the enumeration.
    EXPECT_EQ(itemTexts(red->valueCode(SourceSpan())), (Lines{"ConstLint 5"}));
    EXPECT_TRUE(red->addressCode().empty());
    EXPECT_EQ(red->type(), colours.get());
    EXPECT_EQ(red->asVariable(), nullptr);
    EXPECT_EQ(red->asEnumValue(), red);

    // A clone shares the values and frees none of them (AddressSanitizer checks).
    std::unique_ptr<Type> copy(colours->clone());
    EXPECT_EQ(copy->asEnum()->findValue("red"), red);
    EXPECT_EQ(copy->toString(), "(blue,green,red)");
    // The copy is its original for comparisons (a variable with an initial value has
    // such a copy as its type and must take the enumeration's values), also a copy of
    // the copy; another enumeration with the same values is not.
    EXPECT_TRUE(typesEqual(copy.get(), colours.get()));
    std::unique_ptr<Type> copyOfCopy(copy->clone());
    EXPECT_TRUE(typesEqual(colours.get(), copyOfCopy.get()));
    EXPECT_EQ(commonType(copyOfCopy.get(), colours.get()), copyOfCopy.get());
    EXPECT_TRUE(isImplicitlyConvertible(colours.get(), copy.get()));
    TypeEnum lookalike(typeDint);
    lookalike.addValue("green");
    lookalike.addValue("red", 5);
    lookalike.addValue("blue");
    EXPECT_FALSE(typesEqual(copy.get(), &lookalike));
    EXPECT_FALSE(isImplicitlyConvertible(&lookalike, copy.get()));
    copyOfCopy.reset();
    copy.reset();
    EXPECT_EQ(red->name(), "red");
    EXPECT_EQ(colours->findValue("blue")->value(), 1);
}

TEST_F(CompositeTypes, EmptyEnumerationHasNoDefault) {
    TypeEnum empty(typeDint);
    EXPECT_EQ(empty.toString(), "()");
    EXPECT_TRUE(empty.defaultValue().empty());
}

// Issue 73: the separator belongs to every value but the first, whatever its name.
TEST_F(CompositeTypes, EnumerationTextWithAnEmptyFirstName) {
    TypeEnum withEmpty(typeDint);
    withEmpty.addValue("");
    withEmpty.addValue("a");
    withEmpty.addValue("b");
    EXPECT_EQ(withEmpty.toString(), "(,a,b)");
    TypeEnum onlyEmpty(typeDint);
    onlyEmpty.addValue("");
    EXPECT_EQ(onlyEmpty.toString(), "()");
}

TEST_F(CompositeTypes, Subranges) {
    TypeSubrange small(typeInt, 1, 10);
    EXPECT_EQ(small.toString(), "subrange int(1..10)");
    EXPECT_EQ(itemTexts(small.defaultValue()), (Lines{"ConstInt 1"}));
    EXPECT_EQ(small.kind(), TypeKind::Int);
    EXPECT_TRUE(small.isSubrange());
    EXPECT_TRUE(isImplicitlyConvertible(&small, typeInt));
    EXPECT_TRUE(typesEqual(&small, typeInt));
    std::unique_ptr<Type> copy(small.clone());
    EXPECT_EQ(copy->toString(), "subrange int(1..10)");
}

TEST_F(CompositeTypes, Structures) {
    TypeString four(4);
    TypeStruct s;
    s.addMember("x", typeDint);
    s.addMember("s", &four);
    s.addMember("y", typeLreal);
    EXPECT_EQ(s.memberOffset("x"), 0);
    EXPECT_EQ(s.memberOffset("s"), 1);
    EXPECT_EQ(s.memberOffset("y"), 6);
    EXPECT_EQ(s.size(), 7);
    EXPECT_EQ(s.toString(), "Struct (x:dint; s:string[4]; y:lreal)");
    EXPECT_EQ(s.declaredName(), "STRUCT");
    EXPECT_EQ(s.memberCount(), 3);
    EXPECT_EQ(s.memberName(1), "s");
    EXPECT_EQ(s.memberName(3), "");
    EXPECT_EQ(s.memberTypeAt(2), typeLreal);
    EXPECT_EQ(s.memberTypeAt(-1), nullptr);
    EXPECT_EQ(s.memberType("s"), &four);
    EXPECT_EQ(s.memberIndex("z"), -1);
    EXPECT_FALSE(s.hasMember("z"));
    EXPECT_EQ(test::semanticWhat([&] { s.memberType("z"); }), "?: Undeclared member 'z'.");
    EXPECT_EQ(test::semanticWhat([&] { s.addMember("x", typeInt); }),
              "?: Member 'x' declared twice in structure");
    EXPECT_EQ(s.memberCount(), 3);
    EXPECT_EQ(test::semanticWhat([&] { s.methodOrFail("m"); }), "?:  Method 'm' is not declared");
    EXPECT_EQ(s.findMethod("m"), nullptr);
    EXPECT_EQ(s.asScif(), &s);

    EXPECT_EQ(itemTexts(s.defaultValue()),
              (Lines{"ConstDint 0", "SpAdd 4", "ConstLint 0", "ConstLreal 0"}));
    MemberValues values;
    values["y"] = makeIntConstant(2, typeLreal, SourceSpan());
    values["unknown"] = makeIntConstant(9, typeLreal, SourceSpan());
    EXPECT_EQ(itemTexts(s.initialValueFrom(values)),
              (Lines{"ConstDint 0", "SpAdd 4", "ConstLint 0", "ConstLreal 2"}));
}

TEST_F(CompositeTypes, StructuresEqualMemberByMember) {
    TypeStruct a, b, renamed, retyped;
    for (TypeStruct* s : {&a, &b}) {
        s->addMember("a", typeInt);
        s->addMember("b", typeLreal);
    }
    renamed.addMember("a", typeInt);
    renamed.addMember("c", typeLreal);
    retyped.addMember("a", typeInt);
    retyped.addMember("b", typeReal);
    EXPECT_TRUE(typesEqual(&a, &b));
    EXPECT_FALSE(typesEqual(&a, &renamed));
    EXPECT_FALSE(typesEqual(&a, &retyped));
    std::unique_ptr<Type> copy(a.clone());
    EXPECT_TRUE(typesEqual(copy.get(), &a));
    EXPECT_EQ(commonType(&a, &renamed), nullptr);
}

TEST_F(CompositeTypes, Pointers) {
    TypePointer toInt(typeInt);
    TypePointer alsoToInt(typeInt);
    TypePointer toLreal(typeLreal);
    EXPECT_EQ(toInt.toString(), "ref_to int");
    EXPECT_EQ(typeNullPointer->toString(), "NullPointer");
    EXPECT_EQ(itemTexts(toInt.defaultValue()), (Lines{"ConstLint 0"}));
    EXPECT_TRUE(typesEqual(&toInt, &alsoToInt));
    EXPECT_FALSE(typesEqual(&toInt, &toLreal));
    EXPECT_FALSE(typesEqual(&toInt, typeNullPointer));
    TypePointer otherNull(nullptr);
    EXPECT_TRUE(typesEqual(&otherNull, typeNullPointer));
    EXPECT_EQ(commonType(typeNullPointer, &toInt), &toInt);
    EXPECT_EQ(commonType(&toLreal, typeNullPointer), &toLreal);
    // References to anything but related classes do not combine.
    EXPECT_EQ(commonType(&toInt, &toLreal), nullptr);
    EXPECT_TRUE(isImplicitlyConvertible(typeNullPointer, &toInt));

    EXPECT_EQ(typeInt->pointerTo(), typeInt->pointerTo());
    EXPECT_EQ(typeInt->pointerTo()->target(), typeInt);
    EXPECT_NE(typeLreal->pointerTo(), typeInt->pointerTo());
    EXPECT_EQ(typeInt->pointerTo()->pointerTo()->toString(), "ref_to ref_to int");
    std::unique_ptr<Type> copy(toInt.clone());
    EXPECT_EQ(copy->asPointer()->target(), typeInt);
}

TEST_F(CompositeTypes, FunctionSignatures) {
    Variable a(nullptr, "a", typeInt, flagBit(VariableFlags::VAR_INPUT), VariableAccess::NONE);
    Variable b(nullptr, "b", typeLreal, flagBit(VariableFlags::VAR_INPUT), VariableAccess::NONE);
    Variable bOut(nullptr, "b", typeLreal, flagBit(VariableFlags::VAR_OUTPUT),
                  VariableAccess::NONE);
    TypeFunction f(typeInt, {&a, &b});
    TypeFunction g(typeLreal, {&a, &b});
    TypeFunction h(typeInt, {&a, &bOut});
    TypeFunction none(typeVoid, {});
    EXPECT_EQ(f.toString(), "Function  (a:int x b:lreal -> int)");
    EXPECT_EQ(none.toString(), "Function  ( -> <void>)");
    EXPECT_EQ(f.size(), 1);
    EXPECT_EQ(itemTexts(f.defaultValue()), (Lines{"ConstLint -1"}));
    EXPECT_TRUE(typesEqual(&f, &g)); // the return types are not compared
    EXPECT_FALSE(typesEqual(&f, &h)); // nor are the flags ignored
    EXPECT_FALSE(typesEqual(&f, &none));
    std::unique_ptr<Type> copy(f.clone());
    EXPECT_EQ(copy->toString(), f.toString());
}

TEST_F(CompositeTypes, ClonesCarryNoInitializerAndNoPointerType) {
    TypeString s(3);
    TypePointer* cached = s.pointerTo();
    std::unique_ptr<Type> withValue(s.cloneWithInitializer(Code()));
    EXPECT_TRUE(withValue->hasInitializer());
    EXPECT_NE(withValue->pointerTo(), cached);
    std::unique_ptr<Type> plain(withValue->clone());
    EXPECT_FALSE(plain->hasInitializer());
}

} // namespace
} // namespace Karsto
