// The value part of ":=": an object of a class assigned to an interface becomes the
// reference to its part for that interface; every other pair converts implicitly.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codegen/codegen_test_support.h"
#include "codegen/reference_assignment.h"
#include "core/composite_test_support.h"
#include "core/constant_factory.h"
#include "core/error_test_support.h"
#include "core/machine_test_support.h"
#include "core/type.h"
#include "core/type_class.h"

namespace Karsto {
namespace {

using test::itemTexts;
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

} // namespace
} // namespace Karsto
