#include <gtest/gtest.h>

#include "core/source_span.h"

namespace Karsto {
namespace {

SourcePosition pos(const std::string& file, int32_t line, int32_t column) {
    SourcePosition p;
    p.file = file;
    p.line = line;
    p.column = column;
    return p;
}

TEST(SourceSpan, TextForms) {
    struct Case {
        SourceSpan span;
        const char* text;
    };
    const Case cases[] = {
        {SourceSpan(), "?"},
        {SourceSpan(pos("prog.jyx", 12, 5), pos("prog.jyx", 12, 9)), "prog.jyx: 12.5-12.9"},
        {SourceSpan(pos("main.jyx", 3, 1), pos("inc.jyx", 7, 2)), "main.jyx: 3.1-inc.jyx: 7.2"},
        // A name that is a prefix of the other is still another file.
        {SourceSpan(pos("a.jyx", 1, 1), pos("a.jyx2", 1, 4)), "a.jyx: 1.1-a.jyx2: 1.4"},
        {SourceSpan(pos("a.jyx", 1, 1), pos("a.jyx", 1, 4)), "a.jyx: 1.1-1.4"},
        {SourceSpan(pos("x", -1, 0), pos("x", 100000, 12)), "x: -1.0-100000.12"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.span.toString(), c.text);
}

TEST(SourceSpan, SelfAssignmentKeepsSpan) {
    SourceSpan span(pos("prog.jyx", 12, 5), pos("other.jyx", 1, 9));
    SourceSpan& alias = span;
    span = alias;
    EXPECT_TRUE(span.valid);
    EXPECT_EQ(span.toString(), "prog.jyx: 12.5-other.jyx: 1.9");
}

TEST(SourceSpan, CopiesOwnTheirNames) {
    auto original = std::make_unique<SourceSpan>(pos("a.jyx", 1, 2), pos("a.jyx", 1, 3));
    SourceSpan copy = *original;
    original.reset();
    EXPECT_EQ(copy.toString(), "a.jyx: 1.2-1.3");
}

} // namespace
} // namespace Karsto
