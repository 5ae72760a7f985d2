// The operators + - * / of Structured Text: the result type of every pair that matters
// with durations, dates and times of day, the refusals with their exact texts, and the
// code of each shape: conversions, instructions, spans and what a run computes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codegen/codegen_test_support.h"
#include "codegen/time_arithmetic.h"
#include "core/error_test_support.h"
#include "core/type.h"

namespace Karsto {
namespace {

using test::semanticMessage;

class TimeArithmetic : public test::CodegenTypesTest {};

using Rule = Type* (*)(Type*, Type*);

struct ResultCase {
    Rule rule;
    Type* left;
    Type* right;
    Type* result;       // null: refused with the message
    std::string message;
};

std::string label(const ResultCase& c) {
    return c.left->toString() + ", " + c.right->toString();
}

TEST_F(TimeArithmetic, ResultTypesAndRefusals) {
    const ResultCase cases[] = {
        // add: durations with durations and points in time, the date type even beside LTIME
        {resultTypeAdd, typeLtime, typeLtime, typeLtime, ""},
        {resultTypeAdd, typeTime, typeTime, typeTime, ""},
        {resultTypeAdd, typeTime, typeLtime, typeLtime, ""},
        {resultTypeAdd, typeLtime, typeTime, typeLtime, ""},
        {resultTypeAdd, typeLdt, typeTime, typeLdt, ""},
        {resultTypeAdd, typeTime, typeDt, typeDt, ""},
        {resultTypeAdd, typeTime, typeLtod, typeLtod, ""},
        {resultTypeAdd, typeTod, typeLtime, typeTod, ""},
        {resultTypeAdd, typeInt, typeReal, typeReal, ""},
        // the messages name the lower kind first, whatever the order
        {resultTypeAdd, typeLtime, typeLdate, nullptr,
         "Operation 'add' is not overloaded for types 'ltime' and 'ldate'"},
        {resultTypeAdd, typeDate, typeTime, nullptr,
         "Operation 'add' is not overloaded for types 'time' and 'date'"},
        {resultTypeAdd, typeTod, typeTod, nullptr,
         "Operation 'add' is not overloaded for types 'tod' and 'tod'"},
        {resultTypeAdd, typeDt, typeDt, nullptr,
         "Operation 'add' is not overloaded for types 'dt' and 'dt'"},
        {resultTypeAdd, typeInt, typeTime, nullptr,
         "Operation 'add' is not overloaded for types 'int' and 'time'"},
        {resultTypeAdd, typeTime, typeInt, nullptr,
         "Operation 'add' is not overloaded for types 'int' and 'time'"},
        {resultTypeAdd, typeBool, typeReal, nullptr, "Types 'bool' and 'real' can not be combined"},
        // sub: two points in time give the duration of their length
        {resultTypeSub, typeLtod, typeTod, typeLtime, ""},
        {resultTypeSub, typeDate, typeLdate, typeLtime, ""},
        {resultTypeSub, typeDt, typeDt, typeTime, ""},
        {resultTypeSub, typeTod, typeTod, typeTime, ""},
        {resultTypeSub, typeDate, typeDate, typeTime, ""},
        {resultTypeSub, typeLdt, typeDt, typeLtime, ""},
        {resultTypeSub, typeTod, typeTime, typeTod, ""},
        {resultTypeSub, typeDt, typeTime, typeDt, ""},
        {resultTypeSub, typeLtime, typeLtime, typeLtime, ""},
        {resultTypeSub, typeTime, typeLtime, typeTime, ""},
        {resultTypeSub, typeLtime, typeTime, typeLtime, ""},
        {resultTypeSub, typeUdint, typeInt, typeLint, ""},
        // the messages name left then right
        {resultTypeSub, typeTod, typeDt, nullptr,
         "Operation 'sub' is not overloaded for types 'tod' and 'dt'"},
        {resultTypeSub, typeLdate, typeTime, nullptr,
         "Operation 'sub' is not overloaded for types 'ldate' and 'time'"},
        {resultTypeSub, typeTime, typeDt, nullptr,
         "Operation 'sub' is not overloaded for types 'time' and 'dt'"},
        {resultTypeSub, typeTime, typeInt, nullptr,
         "Operation 'sub' is not overloaded for types 'time' and 'int'"},
        // mul: a duration and a numeric type or duration, in either order
        {resultTypeMul, typeTime, typeReal, typeTime, ""},
        {resultTypeMul, typeLreal, typeLtime, typeLtime, ""},
        {resultTypeMul, typeInt, typeTime, typeTime, ""},
        {resultTypeMul, typeTime, typeTime, typeTime, ""},
        {resultTypeMul, typeTime, typeRealLiteral, nullptr,
         "Operation 'mul' is not overloaded for types '<real literal>' and 'time'"},
        {resultTypeMul, typeIntegerLiteral, typeLtime, nullptr,
         "Operation 'mul' is not overloaded for types '<integer literal>' and 'ltime'"},
        {resultTypeMul, typeDt, typeInt, nullptr,
         "Operation 'mul' is not overloaded for types 'int' and 'dt'"},
        {resultTypeMul, typeTime, typeDt, nullptr,
         "Operation 'mul' is not overloaded for types 'time' and 'dt'"},
        {resultTypeMul, typeBool, typeTime, nullptr,
         "Operation 'mul' is not overloaded for types 'bool' and 'time'"},
        // div: a duration divided by a numeric type or duration
        {resultTypeDiv, typeLtime, typeUdint, typeLtime, ""},
        {resultTypeDiv, typeTime, typeLreal, typeTime, ""},
        {resultTypeDiv, typeTime, typeLtime, typeTime, ""},
        {resultTypeDiv, typeUint, typeTime, nullptr,
         "Operation 'div' is not overloaded for types 'uint' and 'time'"},
        {resultTypeDiv, typeTime, typeIntegerLiteral, nullptr,
         "Operation 'div' is not overloaded for types 'time' and '<integer literal>'"},
        {resultTypeDiv, typeDt, typeInt, nullptr,
         "Operation 'div' is not overloaded for types 'dt' and 'int'"},
        {resultTypeDiv, typeSint, typeUsint, typeInt, ""},
    };
    for (const ResultCase& c : cases) {
        if (c.result != nullptr) {
            Type* result = nullptr;
            EXPECT_EQ(semanticMessage([&] { result = c.rule(c.left, c.right); }), "no error")
                << label(c);
            EXPECT_EQ(result, c.result) << label(c) << ": " << (result ? result->toString() : "");
        } else {
            EXPECT_EQ(semanticMessage([&] { c.rule(c.left, c.right); }), c.message) << label(c);
        }
    }
}

} // namespace
} // namespace Karsto
