// The operators + - * / of Structured Text: the result type of every pair that matters
// with durations, dates and times of day, the refusals with their exact texts, and the
// code of each shape: conversions, instructions, spans and what a run computes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codegen/codegen_test_support.h"
#include "codegen/time_arithmetic.h"
#include "core/constant_factory.h"
#include "core/error_test_support.h"
#include "core/machine_test_support.h"
#include "core/stackmachine_interpreter.h"
#include "core/type.h"

namespace Karsto {
namespace {

using test::itemTexts;
using test::semanticMessage;
using test::spanAt;

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

using Emitter = Code (*)(Type*, Type*, const Code&, const Code&, const SourceSpan&);

struct Operands {
    Code left{new test::TestCmd("left")};
    Code right{new test::TestCmd("right")};
};

struct CodeCase {
    Emitter emit;
    Type* left;
    Type* right;
    std::vector<std::string> lines; // empty: refused with the message
    std::string message;
};

TEST_F(TimeArithmetic, EachShapeListsItsOperandsConversionsAndInstructions) {
    const CodeCase cases[] = {
        // durations, dates and times of day add and subtract as LINT, unconverted
        {emitBinaryAdd, typeLtime, typeLtime, {"left", "right", "AddLint "}, ""},
        {emitBinaryAdd, typeLdt, typeTime, {"left", "right", "AddLint "}, ""},
        {emitBinaryAdd, typeTime, typeLtod, {"left", "right", "AddLint "}, ""},
        {emitBinarySub, typeDt, typeDt, {"left", "right", "SubLint "}, ""},
        {emitBinarySub, typeLtime, typeTime, {"left", "right", "SubLint "}, ""},
        // other operands through their common type
        {emitBinaryAdd, typeDint, typeLreal, {"left", "CastDintLreal ", "right", "AddLreal "}, ""},
        {emitBinaryAdd, typeInt, typeReal, {"left", "CastIntReal ", "right", "AddReal "}, ""},
        {emitBinarySub, typeLreal, typeUsint, {"left", "right", "CastUsintLreal ", "SubLreal "}, ""},
        {emitBinaryMul, typeSint, typeSint, {"left", "right", "MulSint "}, ""},
        {emitBinaryDiv, typeUint, typeReal, {"left", "CastUintReal ", "right", "DivReal "}, ""},
        // a duration times or by an integer as LINT, the duration first
        {emitBinaryMul, typeLtime, typeDint, {"left", "right", "CastDintLint ", "MulLint "}, ""},
        {emitBinaryMul, typeTime, typeLint, {"left", "right", "MulLint "}, ""},
        {emitBinaryMul, typeInt, typeTime, {"right", "left", "CastIntLint ", "MulLint "}, ""},
        {emitBinaryDiv, typeLtime, typeUdint, {"left", "right", "CastUdintLint ", "DivLint "}, ""},
        // and by a real through LREAL, rounded back
        {emitBinaryMul,
         typeReal,
         typeTime,
         {"right", "CastLintLreal ", "left", "CastRealLreal ", "MulLreal ", "RoundLreal ",
          "CastLrealLint "},
         ""},
        {emitBinaryMul,
         typeTime,
         typeLreal,
         {"left", "CastLintLreal ", "right", "MulLreal ", "RoundLreal ", "CastLrealLint "},
         ""},
        {emitBinaryDiv,
         typeTime,
         typeLreal,
         {"left", "CastLintLreal ", "right", "DivLreal ", "RoundLreal ", "CastLrealLint "},
         ""},
        // refusals: the rules, the cast emitter, the operation emitter
        {emitBinaryMul, typeLtime, typeLtime, {}, "Invalid cast from 'ltime' to 'lint'."},
        {emitBinaryDiv, typeTime, typeLtime, {}, "Invalid cast from 'ltime' to 'lint'."},
        {emitBinaryAdd, typeString, typeString, {}, "Operation Add is not overloaded for given type."},
        {emitBinarySub, typeBool, typeBool, {}, "Operation Sub is not overloaded for given type."},
        {emitBinaryAdd, typeInt, typeTime, {},
         "Operation 'add' is not overloaded for types 'int' and 'time'"},
        {emitBinarySub, typeTod, typeDt, {},
         "Operation 'sub' is not overloaded for types 'tod' and 'dt'"},
        {emitBinaryMul, typeDt, typeInt, {},
         "Operation 'mul' is not overloaded for types 'int' and 'dt'"},
        {emitBinaryDiv, typeUint, typeTime, {},
         "Operation 'div' is not overloaded for types 'uint' and 'time'"},
        {emitBinaryAdd, typeBool, typeReal, {}, "Types 'bool' and 'real' can not be combined"},
    };
    const SourceSpan span = spanAt(8, 5);
    for (const CodeCase& c : cases) {
        const Operands operands;
        const std::string name = c.left->toString() + ", " + c.right->toString();
        if (c.lines.empty()) {
            EXPECT_EQ(semanticMessage([&] {
                          c.emit(c.left, c.right, operands.left, operands.right, span);
                      }),
                      c.message)
                << name;
            // Nothing took a reference to the operands and kept it.
            EXPECT_EQ(operands.left.node()->refCount(), 1) << name;
            EXPECT_EQ(operands.right.node()->refCount(), 1) << name;
            continue;
        }
        const Code code = c.emit(c.left, c.right, operands.left, operands.right, span);
        EXPECT_EQ(itemTexts(code), c.lines) << name;
    }
}

// In the duration shapes the operation and the final rounding cast carry the span, the
// other conversions none; elsewhere every new item carries it.
TEST_F(TimeArithmetic, SpansOfTheNewItems) {
    const SourceSpan span = spanAt(8, 5);
    const std::string none = SourceSpan().toString();
    const Operands operands;
    const Code mul = emitBinaryMul(typeReal, typeTime, operands.left, operands.right, span);
    const std::vector<std::string> mulSpans = {"operand", none, "operand", none,
                                               span.toString(), span.toString(), span.toString()};
    const Code div = emitBinaryDiv(typeLtime, typeInt, operands.left, operands.right, span);
    const std::vector<std::string> divSpans = {"operand", "operand", none, span.toString()};
    const Code add = emitBinaryAdd(typeInt, typeLreal, operands.left, operands.right, span);
    const std::vector<std::string> addSpans = {"operand", span.toString(), "operand",
                                               span.toString()};
    for (const auto& [code, expected] : {std::pair{&mul, &mulSpans}, std::pair{&div, &divSpans},
                                         std::pair{&add, &addSpans}}) {
        std::vector<std::string> spans;
        code->forEachItem([&](CodeItem* item) {
            const bool operand = item == operands.left.node() || item == operands.right.node();
            spans.push_back(operand ? "operand" : item->span().toString());
            return true;
        });
        EXPECT_EQ(spans, *expected);
    }
}

// The code runs: a real factor rounds half away from zero to whole nanoseconds.
TEST_F(TimeArithmetic, DurationTimesARealRoundsToWholeNanoseconds) {
    const struct {
        Emitter emit;
        Type* left;
        double leftValue; // as LREAL or REAL; an integer for the other types
        Type* right;
        double rightValue;
        int64_t nanoseconds;
    } cases[] = {
        {emitBinaryMul, typeReal, 0.5, typeTime, 3, 2}, // 1.5: a truncating cast gives 1
        {emitBinaryMul, typeLtime, -3, typeLreal, 0.5, -2},
        {emitBinaryMul, typeTime, 1000000007, typeLreal, 2.0, 2000000014},
        {emitBinaryDiv, typeTime, 10, typeLreal, 4.0, 3}, // 2.5
        {emitBinaryDiv, typeLtime, -10, typeReal, 4.0, -3},
        {emitBinaryMul, typeDint, -4, typeTime, 3, -12},
        {emitBinaryDiv, typeLtime, 7, typeSint, 2, 3}, // integer division truncates
        {emitBinaryAdd, typeDt, 86400000000000, typeTime, 5, 86400000000005},
        {emitBinarySub, typeTod, 100, typeLtod, 30, 70},
    };
    const auto constant = [](Type* type, double value) {
        return type->kind() == TypeKind::Real || type->kind() == TypeKind::Lreal
                   ? makeRealConstant(value, type, SourceSpan())
                   : makeIntConstant(static_cast<int64_t>(value), type, SourceSpan());
    };
    StackmachineInterpreter machine;
    for (const auto& c : cases) {
        machine.reset();
        const int64_t base = machine.getSp();
        const Code code = c.emit(c.left, c.right, constant(c.left, c.leftValue),
                                 constant(c.right, c.rightValue), spanAt(2));
        test::runStraight(machine, code);
        ASSERT_EQ(machine.getSp(), base + 1) << c.left->toString() << " " << c.right->toString();
        EXPECT_EQ(machine.popS64(), c.nanoseconds) << c.left->toString() << " " << c.leftValue;
    }
}

} // namespace
} // namespace Karsto
