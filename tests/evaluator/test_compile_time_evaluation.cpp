// Values computed while compiling: the code of an expression run on a machine that may
// only compute with what it pushed itself.

#include <gtest/gtest.h>

#include <string>

#include "codegen/operation_emitters.h"
#include "core/code.h"
#include "core/constant_factory.h"
#include "core/emitters.h"
#include "core/exception.h"
#include "core/type.h"
#include "core/type_string.h"
#include "evaluator/compile_time_evaluation.h"
#include "support/jyx_harness.h"

namespace Karsto::test {
namespace {

class CompileTimeEvaluation : public ::testing::Test {
protected:
    void SetUp() override { prepareLanguageRuntime(); }

    static Code integer(const std::string& text) { return emitIntegerLiteral(text, 10, typeIntegerLiteral, span()); }
    static Code real(const std::string& text) { return emitRealLiteral(text, typeRealLiteral, span()); }
    // A typed value: the integer literal converted to the type.
    static Code typed(int64_t value, Type* type) { return makeIntConstant(value, type, span()); }
    static Code address(int64_t cell) { return makeIntConstant(cell, typeAddr, span()); }
    static SourceSpan span() { return SourceSpan(); }

    // The message of the ExceptionSemantic that evaluating raises, and that it has no span.
    template <class Evaluate>
    static std::string semanticError(Evaluate evaluate) {
        try {
            evaluate();
        } catch (const ExceptionSemantic& error) {
            EXPECT_FALSE(error.span().valid);
            return error.message();
        }
        ADD_FAILURE() << "no ExceptionSemantic";
        return {};
    }
};

TEST_F(CompileTimeEvaluation, IntegersAreCutToDint) {
    EXPECT_EQ(evaluateConstInt(integer("4294967301"), typeIntegerLiteral), 5);
    EXPECT_EQ(evaluateConstInt(integer("3000000000"), typeIntegerLiteral), -1294967296);
    EXPECT_EQ(evaluateConstInt(integer("3").concat(integer("4")).concat(emitAdd(typeIntegerLiteral, span())),
                               typeIntegerLiteral),
              7);
    EXPECT_EQ(evaluateConstInt(integer("5").concat(emitNeg(typeIntegerLiteral, span())), typeIntegerLiteral), -5);
    EXPECT_EQ(evaluateConstInt(typed(-3, typeSint), typeSint), -3);
    EXPECT_EQ(evaluateConstInt(typed(65535, typeUint), typeUint), 65535);
    EXPECT_EQ(evaluateConstInt(typed(-7, typeDint), typeDint), -7);
}

TEST_F(CompileTimeEvaluation, RealsAreLreal) {
    EXPECT_EQ(evaluateConstReal(real("0.25"), typeRealLiteral), 0.25);
    EXPECT_EQ(evaluateConstReal(integer("3").concat(emitNeg(typeIntegerLiteral, span())), typeIntegerLiteral), -3.0);
    EXPECT_EQ(evaluateConstReal(typed(7, typeUdint), typeUdint), 7.0);
    EXPECT_EQ(evaluateConstReal(makeRealConstant(0.5, typeReal, span()), typeReal), 0.5);
}

TEST_F(CompileTimeEvaluation, TypesThatDoNotConvertAreRefusedBeforeRunning) {
    struct Case {
        Type* type;
        bool real;
        std::string message;
    };
    const Case cases[] = {
        {typeUdint, false, "Invalid implicit conversion from type 'udint' to 'dint'."},
        {typeLint, false, "Invalid implicit conversion from type 'lint' to 'dint'."},
        {typeRealLiteral, false, "Invalid implicit conversion from type '<real literal>' to 'dint'."},
        {typeBool, false, "Invalid implicit conversion from type 'bool' to 'dint'."},
        {typeUlint, true, "Invalid implicit conversion from type 'ulint' to 'lreal'."},
        {typeLint, true, "Invalid implicit conversion from type 'lint' to 'lreal'."},
        {typeTime, true, "Invalid implicit conversion from type 'time' to 'lreal'."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        // Code that would fail if it ran: the conversion is refused first.
        const Code code = integer("1").concat(integer("0")).concat(emitDiv(typeIntegerLiteral, span()));
        EXPECT_EQ(semanticError([&] {
                      if (c.real)
                          evaluateConstReal(code, c.type);
                      else
                          evaluateConstInt(code, c.type);
                  }),
                  c.message);
    }
}

TEST_F(CompileTimeEvaluation, RunTimeErrorsAndRefusedAccessesBecomeSemanticErrors) {
    TypeString twoCells(1); // one character and the length
    struct Case {
        std::string name;
        Code code;
        std::string message;
    };
    const Case cases[] = {
        {"7 / 0", integer("7").concat(integer("0")).concat(emitDiv(typeIntegerLiteral, span())), "Division by zero"},
        {"7 MOD 0", integer("7").concat(integer("0")).concat(emitMod(typeIntegerLiteral, span())), "Modulo by zero"},
        {"label", integer("1").concat(emitCodeItem(new Label(), span())),
         "Constant expression must not contain control-flow"},
        {"global cell 3", address(3).concat(emitLd(typeIntegerLiteral, span())), "Invalid constant expression"},
        {"frame pointer", emitFp(span()).concat(emitPop(typeAddr, span())).concat(integer("1")),
         "Invalid constant expression"},
        {"shared area", address(0x80000004).concat(emitLd(typeIntegerLiteral, span())), "Invalid constant expression"},
        {"beyond the block", address(0x200000).concat(emitLd(typeIntegerLiteral, span())),
         "Invalid constant expression"},
        {"last stack cell and beyond", address(0x1FFFFF).concat(emitLd(&twoCells, span())).concat(integer("1")),
         "Invalid constant expression"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(semanticError([&] { evaluateConstInt(c.code, typeIntegerLiteral); }), c.message);
        EXPECT_EQ(semanticError([&] { evaluateConstReal(c.code, typeIntegerLiteral); }), c.message);
    }
}

TEST_F(CompileTimeEvaluation, ValuesOnTheStackMoveFreely) {
    // Dup copies within the stack.
    const Code code = integer("6").concat(emitDup(typeIntegerLiteral, span())).concat(emitMul(typeIntegerLiteral, span()));
    EXPECT_EQ(evaluateConstInt(code, typeIntegerLiteral), 36);
    // The same Code evaluates again to the same value.
    EXPECT_EQ(evaluateConstInt(code, typeIntegerLiteral), 36);
}

TEST_F(CompileTimeEvaluation, WritesNoLogLineWhateverIsSwitchedOn) {
    LogCapture capture({LogLevel::error, LogLevel::warning, LogLevel::info, LogLevel::debugCode,
                        LogLevel::debugStackmachine, LogLevel::debugStackOp, LogLevel::debugGCode,
                        LogLevel::debugGProcessor, LogLevel::debugKiState, LogLevel::debugKiIO, LogLevel::debugKiGeo,
                        LogLevel::debugController, LogLevel::debugNCmdQueue});
    EXPECT_EQ(evaluateConstInt(integer("2").concat(integer("3")).concat(emitMul(typeIntegerLiteral, span())),
                               typeIntegerLiteral),
              6);
    EXPECT_EQ(evaluateConstReal(real("1.5"), typeRealLiteral), 1.5);
    EXPECT_EQ(semanticError([&] { evaluateConstInt(address(3).concat(emitLd(typeDint, span())), typeDint); }),
              "Invalid constant expression");
    EXPECT_TRUE(capture.lines.empty()) << capture.lines.front();
}

// A 16 MiB block taken and freed per evaluation costs the sanitizers' allocator about
// 40 ms; a few hundred evaluations still show a leak per evaluation there.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kEvaluationPairs = 250;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int kEvaluationPairs = 250;
#else
constexpr int kEvaluationPairs = 10'000;
#endif
#else
constexpr int kEvaluationPairs = 10'000;
#endif

TEST_F(CompileTimeEvaluation, ManyEvaluationsInARow) {
    // Each builds and frees its own machine, half of them failing; under LeakSanitizer
    // nothing may remain.
    const Code good = integer("40").concat(integer("2")).concat(emitAdd(typeIntegerLiteral, span()));
    const Code bad = integer("1").concat(integer("0")).concat(emitDiv(typeIntegerLiteral, span()));
    int64_t sum = 0;
    int failures = 0;
    for (int i = 0; i < kEvaluationPairs; ++i) {
        sum += evaluateConstInt(good, typeIntegerLiteral);
        try {
            evaluateConstReal(bad, typeIntegerLiteral);
        } catch (const ExceptionSemantic&) {
            ++failures;
        }
    }
    EXPECT_EQ(sum, int64_t{42} * kEvaluationPairs);
    EXPECT_EQ(failures, kEvaluationPairs);
}

} // namespace
} // namespace Karsto::test
