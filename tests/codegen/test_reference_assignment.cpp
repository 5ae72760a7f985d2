// The value part of ":=": an object of a class assigned to an interface becomes the
// reference to its part for that interface; every other pair converts implicitly.

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "codegen/cast_emitter.h"
#include "codegen/class_fixture.h"
#include "codegen/codegen_test_support.h"
#include "codegen/operation_emitters.h"
#include "codegen/reference_assignment.h"
#include "core/composite_test_support.h"
#include "core/constant_factory.h"
#include "core/error_test_support.h"
#include "core/machine_test_support.h"
#include "core/type.h"
#include "core/stackmachine.h"
#include "core/type_class.h"
#include "core/type_pointer.h"

namespace Karsto {
namespace {

using test::itemTexts;
using test::Lines;
using test::spanAt;

class ReferenceAssignment : public test::CodegenTypesTest {};

TEST_F(ReferenceAssignment, AnObjectAssignedToAnInterfaceIsItsAddressPlusTheInterfacesOffset) {
    test::TestInterface shape("Shape");
    test::TestClass circle("Circle", nullptr, {&shape});
    circle.interfaceOffsetValue = 3;
    const Code address = makeIntConstant(40, typeAddr, spanAt(1));
    const Code value = makeIntConstant(99, typeAddr, spanAt(1));
    const Code code = emitReferenceAssignment(value, address, &circle, &shape, spanAt(7));
    // The object's value is not used; the reference is made from its place.
    EXPECT_EQ(itemTexts(code), (std::vector<std::string>{"ConstLint 40", "ConstLint 3", "AddLint "}));
    std::vector<std::string> spans;
    code.forEachItem([&spans](CodeItem* item) {
        spans.push_back(item->span().toString());
        return true;
    });
    EXPECT_EQ(spans, (std::vector<std::string>{spanAt(1).toString(), "?", "?"}));

    EXPECT_EQ(test::semanticMessage([&] { emitReferenceAssignment(value, Code(), &circle, &shape, spanAt(7)); }),
              "Object can not be referenced");
}

TEST_F(ReferenceAssignment, OtherPairsAreTheValueAndItsImplicitConversion) {
    test::TestInterface shape("Shape");
    test::TestInterface other("Other");
    test::TestClass circle("Circle", nullptr, {&shape});
    const Code value = makeIntConstant(7, typeIntegerLiteral, spanAt(1));
    const struct {
        Type* from;
        Type* to;
        std::vector<std::string> lines;
    } cases[] = {
        {typeIntegerLiteral, typeLreal, {"ConstLiti 7", "CastLitiLreal "}},
        {typeIntegerLiteral, typeIntegerLiteral, {"ConstLiti 7"}},
        {string(4), string(255), {"ConstLiti 7", "CastStr 4 255"}},
        // an interface value is another interface's only through "?="
        {&circle, &circle, {"ConstLiti 7"}},
    };
    for (const auto& c : cases) {
        const Code code = emitReferenceAssignment(value, Code(), c.from, c.to, spanAt(7));
        EXPECT_EQ(itemTexts(code), c.lines) << c.from->toString() << " to " << c.to->toString();
    }
    const Code converted = emitReferenceAssignment(value, Code(), typeIntegerLiteral, typeLreal, spanAt(7));
    converted.forEachItem([](CodeItem* item) {
        const std::string expected = item->toString() == "CastLitiLreal " ? spanAt(7).toString() : spanAt(1).toString();
        EXPECT_EQ(item->span().toString(), expected) << item->toString();
        return true;
    });
    EXPECT_EQ(test::semanticMessage([&] { emitReferenceAssignment(value, Code(), &shape, &other, spanAt(7)); }),
              "Invalid implicit conversion from type 'Interface Shape ()' to 'Interface Other ()'.");
    EXPECT_EQ(test::semanticMessage([&] { emitReferenceAssignment(value, Code(), typeRealLiteral, typeSint, spanAt(7)); }),
              "Invalid implicit conversion from type '<real literal>' to 'sint'.");
}

// r implements i, s extends r and implements j, u is unrelated; the interfaces declare
// no methods. Objects: r's holds its image and the i pointer (cell 1), s's adds the j
// pointer (cell 2).
class ClassReferences : public test::ClassFixture {
protected:
    ClassReferences() {
        i = interface("i", {});
        j = interface("j", {});
        r = define(make("r", nullptr, {i}), {}, {});
        s = define(make("s", r, {j}), {}, {});
        u = define(make("u", nullptr, {}), {}, {});
        objectR = global("objectR", r);
        objectS = global("objectS", s);
        objectU = global("objectU", u);
    }
    Code plus(Variable* object, int64_t cells) {
        return object->addressCode()
            .concat(makeIntConstant(cells, typeAddr, {}))
            .concat(emitAdd(typeAddr, {}));
    }
    Code attempt(const Code& value, Type* from, Type* to) {
        return emitReferenceAssignment(value, Code(), from, to, true, spanAt(9));
    }

    CodegenInterface* i;
    CodegenInterface* j;
    CodegenClass* r;
    CodegenClass* s;
    CodegenClass* u;
    Variable* objectR;
    Variable* objectS;
    Variable* objectU;
};

TEST_F(ClassReferences, AssignmentOfAnObjectToAnInterface) {
    const Code address = objectS->addressCode();
    const std::string objectCell = "ConstLint " + std::to_string(objectS->offset());
    EXPECT_EQ(itemTexts(emitReferenceAssignment(Code(), address, s, j, false, spanAt(9))),
              (Lines{objectCell, "ConstLint 2", "AddLint "}));
    EXPECT_EQ(itemTexts(emitReferenceAssignment(Code(), address, s, i, false, spanAt(9))),
              (Lines{objectCell, "ConstLint 1", "AddLint "}));
    const Code value = s->defaultValue();
    EXPECT_EQ(test::semanticMessage([&] { emitReferenceAssignment(value, Code(), s, j, false, {}); }),
              "Object can not be referenced");
    EXPECT_EQ(test::semanticMessage(
                  [&] { emitReferenceAssignment(Code(), objectR->addressCode(), r, j, false, {}); }),
              "Class 'r' does not implement interface 'j'");
    // A reference to an object is no object: only "?=" turns it into an interface.
    EXPECT_EQ(test::semanticMessage([&] {
                  emitReferenceAssignment(address, Code(), s->pointerTo(), j, false, {});
              }),
              "Invalid implicit conversion from type 'ref_to Class s ()' to 'Interface j ()'.");
    EXPECT_EQ(test::semanticMessage([&] { emitImplicitConversion(s, j, {}); }),
              "Invalid cast from 'Class s ()' to 'Interface j ()'.");
}

TEST_F(ClassReferences, AttemptsSearchTheClassesAndTheInterfaceTablesAtRunTime) {
    // An object declared with an initial value has a copy of its class as its type.
    Type* initialized = own(s->cloneWithInitializer(s->defaultValue()));
    Variable* objectC = global("objectC", initialized);
    const Code null = makeIntConstant(0, typeAddr, {});
    const int64_t o = objectS->offset();
    const struct {
        Code value;
        Type* from;
        Type* to;
        int64_t expected;
    } cases[] = {
        {objectS->addressCode(), r->pointerTo(), s->pointerTo(), o},
        {objectS->addressCode(), r->pointerTo(), j, o + 2},
        {objectS->addressCode(), r->pointerTo(), i, o + 1},
        {objectR->addressCode(), r->pointerTo(), r->pointerTo(), objectR->offset()},
        {objectR->addressCode(), r->pointerTo(), s->pointerTo(), 0},
        {objectR->addressCode(), r->pointerTo(), j, 0},
        {objectU->addressCode(), u->pointerTo(), r->pointerTo(), 0},
        {objectU->addressCode(), u->pointerTo(), i, 0},
        {plus(objectS, 2), j, r->pointerTo(), o},
        {plus(objectS, 1), i, j, o + 2},
        {plus(objectS, 2), j, i, o + 1},
        {plus(objectR, 1), i, j, 0},
        {null, r->pointerTo(), s->pointerTo(), 0},
        {null, j, r->pointerTo(), 0},
        {null, i, j, 0},
        {objectC->addressCode(), initialized->pointerTo(), s->pointerTo(), objectC->offset()},
        {objectC->addressCode(), initialized->pointerTo(), j, objectC->offset() + 2},
    };
    // One program: each statement has labels of its own and leaves exactly one cell.
    Code main;
    for (const auto& c : cases) main = main.concat(attempt(c.value, c.from, c.to));
    ASSERT_EQ(run(main), "");
    ASSERT_EQ(stackCells(), static_cast<int64_t>(std::size(cases)));
    for (size_t k = 0; k < std::size(cases); ++k) {
        EXPECT_EQ(machine.loadS64(Stackmachine::kStackBase + static_cast<int64_t>(k)),
                  cases[k].expected)
            << cases[k].from->toString() << " to " << cases[k].to->toString() << ", case " << k;
    }
}

TEST_F(ClassReferences, AttemptListsTheClassSearchWithoutSpans) {
    const Code code = attempt(objectR->addressCode(), r->pointerTo(), s->pointerTo());
    Lines texts = test::compiledTexts(code);
    // Labels and branches name fresh label ids: compare the instructions' names.
    for (std::string& text : texts) text = text.substr(0, text.find(' '));
    EXPECT_EQ(texts, (Lines{"ConstLint", "Dup", "ConstLint", "EqLint", "BranchTrue", "Dup",
                            "Label", "Ld", "Dup", "ConstLint", "EqLint", "BranchTrue", "Dup",
                            "ConstLint", "EqLint", "BranchFalse", "SpAdd", "SpAdd", "ConstLint",
                            "Jump", "Label", "SpAdd", "Label", "Label"}));
    // The source's value keeps its own span; the search carries none.
    const Code source = objectR->addressCode();
    source.setSpan(spanAt(2));
    attempt(source, r->pointerTo(), s->pointerTo()).forEachItem([&](CodeItem* item) {
        const bool fromSource = item->span().toString() == spanAt(2).toString();
        EXPECT_TRUE(fromSource || item->span().toString() == "?") << item->toString();
        return true;
    });
}

TEST_F(ClassReferences, AttemptsBetweenOtherTypesAreRefused) {
    const Code value = makeIntConstant(1, typeInt, {});
    const struct {
        Type* from;
        Type* to;
    } cases[] = {{typeInt, typeLreal}, {s, j}, {typeInt->pointerTo(), s->pointerTo()},
                 {s->pointerTo(), typeInt->pointerTo()}, {j, s}};
    for (const auto& c : cases) {
        EXPECT_EQ(test::semanticMessage([&] { attempt(value, c.from, c.to); }),
                  "Invalid assignment attempt from type '" + c.from->toString() + "' to '" +
                      c.to->toString() + "'.");
    }
    EXPECT_EQ(test::semanticMessage([&] { attempt(value, typeInt, typeLreal); }),
              "Invalid assignment attempt from type 'int' to 'lreal'.");
}

} // namespace
} // namespace Karsto
