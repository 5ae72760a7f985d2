#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/exception.h"
#include "core/log.h"
#include "core/machine_test_support.h"

namespace Karsto {
namespace {

SourceSpan spanIn(const std::string& file, int32_t line, int32_t c1, int32_t c2) {
    SourcePosition b, e;
    b.file = e.file = file;
    b.line = e.line = line;
    b.column = c1;
    e.column = c2;
    return SourceSpan(b, e);
}

TEST(Exception, CheckSemanticThrowsWithoutSpanThenTakesOne) {
    try {
        checkSemantic(false, "Undeclared Identifier '%s'", "q");
        FAIL() << "no exception";
    } catch (ExceptionSemantic& e) {
        EXPECT_STREQ(e.what(), "?: Undeclared Identifier 'q'");
        EXPECT_EQ(e.message(), "Undeclared Identifier 'q'");
        e.setSpan(spanIn("b.jyx", 2, 3, 7));
        EXPECT_STREQ(e.what(), "b.jyx: 2.3-2.7: Undeclared Identifier 'q'");
        EXPECT_EQ(e.message(), "Undeclared Identifier 'q'");
        e.setSpan(SourceSpan());
        EXPECT_STREQ(e.what(), "?: Undeclared Identifier 'q'");
    }
}

TEST(Exception, EachHelperThrowsItsClass) {
    EXPECT_THROW(checkSyntax(false, "x"), ExceptionSyntax);
    EXPECT_THROW(checkSemantic(false, "x"), ExceptionSemantic);
    EXPECT_THROW(checkRuntime(false, "x"), ExceptionRuntime);
    EXPECT_THROW(failSyntax("x"), ExceptionSyntax);
    EXPECT_THROW(failSemantic("x"), ExceptionSemantic);
    EXPECT_THROW(failRuntime("x"), ExceptionRuntime);
}

// The fail helpers format as the checks do: the message alone, no span, cut alike.
TEST(Exception, FailHelpersFormatLikeTheChecks) {
    std::string big(2000, 'y');
    try {
        failSemantic("Class '%s' does not declare method '%s'.", "C", "m");
        FAIL() << "no exception";
    } catch (const ExceptionSemantic& e) {
        EXPECT_STREQ(e.what(), "?: Class 'C' does not declare method 'm'.");
    }
    try {
        failRuntime("%s", big.c_str());
        FAIL() << "no exception";
    } catch (const ExceptionRuntime& e) {
        EXPECT_EQ(e.message(), std::string(1023, 'y'));
    }
}

TEST(Exception, TrueConditionHasNoEffect) {
    // The arguments would not even fit the format if they were used.
    EXPECT_NO_THROW(checkSyntax(true, "%s %d", "a", 1));
    EXPECT_NO_THROW(checkSemantic(true, "%d %s", 1, "a"));
    EXPECT_NO_THROW(checkRuntime(true, "%lld", 5LL));
}

TEST(Exception, LongMessageIsCutTo1023Characters) {
    std::string big(2000, 'x');
    try {
        checkRuntime(false, "%s", big.c_str());
        FAIL() << "no exception";
    } catch (const ExceptionRuntime& e) {
        EXPECT_EQ(e.message().size(), 1023u);
        EXPECT_EQ(e.message(), std::string(1023, 'x'));
    }
}

TEST(Exception, CloneKeepsClassSpanMessageAndText) {
    try {
        checkRuntime(false, "Stack overflow at %d", 7);
    } catch (ExceptionKarsto& e) {
        e.setSpan(spanIn("m.jyx", 4, 1, 9));
        std::unique_ptr<ExceptionKarsto> copy(e.clone());
        EXPECT_NE(dynamic_cast<ExceptionRuntime*>(copy.get()), nullptr);
        EXPECT_EQ(copy->message(), e.message());
        EXPECT_EQ(copy->span().toString(), "m.jyx: 4.1-4.9");
        EXPECT_STREQ(copy->what(), e.what());
    }
}

TEST(Exception, DirectConstructionComposesText) {
    ExceptionSyntax e("Unexpected 'G'.", spanIn("t.jyx", 1, 12, 13));
    EXPECT_STREQ(e.what(), "t.jyx: 1.12-1.13: Unexpected 'G'.");
}

TEST(Exception, CheckWarningLogsOneLineAndReturns) {
    test::LogCapture capture({LogLevel::warning});
    EXPECT_NO_THROW(checkWarning(false, "Size of array does not match initialization"));
    checkWarning(true, "never %s", "written");
    EXPECT_EQ(capture.lines,
              (std::vector<std::string>{"[warning] Size of array does not match initialization"}));
}

} // namespace
} // namespace Karsto
