#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

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

// Every field of both ends, the names byte by byte.
std::string fields(const SourceSpan& span) {
    if (!span.valid) return "invalid";
    const auto end = [](const SourcePosition& p) {
        return p.file.str() + "|" + std::to_string(p.line) + "|" + std::to_string(p.column) + "|" +
               std::to_string(p.offset) + "|" + std::to_string(p.inputOffset) + "|" + (p.scrambled ? "s" : "-");
    };
    return end(span.begin) + " / " + end(span.end);
}

SourcePosition at(const std::string& file, int32_t line, int32_t column, int32_t offset, int32_t inputOffset,
                  bool scrambled = false) {
    return SourcePosition{file, line, column, offset, inputOffset, scrambled};
}

// The compact form gives back exactly the span it was made from: the common one-file span,
// and every span it must keep whole (the end in another file, offsets that advance apart
// across an include, lengths past int32), through copies and assignments of either kind.
TEST(CompactSpan, ExpandsToTheSpanItWasMadeFrom) {
    const SourceSpan spans[] = {
        SourceSpan(),
        SourceSpan(at("prog.jyx", 12, 5, 200, 200), at("prog.jyx", 12, 9, 204, 204)),
        SourceSpan(at("prog.jyx", 3, 1, 40, 1040), at("prog.jyx", 5, 2, 90, 1090)), // an included part
        SourceSpan(at("main.jyx", 3, 1, 20, 20), at("inc.jyx", 7, 2, 50, 130)),
        SourceSpan(at("main.jyx", 3, 1, 20, 20), at("main.jyx", 9, 1, 60, 150)), // an include between
        SourceSpan(at("s.jyx", 1, 1, 0, 0, true), at("s.jyx", 1, 4, 3, 3, false)),
        SourceSpan(at("s.jyx", 1, 1, 0, 0, false), at("s.jyx", 2, 1, 7, 7, true)),
        SourceSpan(at("x", -1, 0, INT32_MIN, INT32_MIN), at("x", 100000, 12, INT32_MAX, INT32_MAX)),
        SourceSpan(at("", 1, 1, 5, 5), at("", 1, 1, 5, 5)),
    };
    for (const SourceSpan& span : spans) {
        SCOPED_TRACE(fields(span));
        const CompactSpan compact(span);
        EXPECT_EQ(compact.valid(), span.valid);
        EXPECT_EQ(fields(compact.expand()), fields(span));
        EXPECT_EQ(compact.expand().toString(), span.toString());
        const CompactSpan copy(compact);
        EXPECT_EQ(fields(copy.expand()), fields(span));
        for (const SourceSpan& other : spans) {
            CompactSpan assigned(other);
            assigned = compact;
            EXPECT_EQ(fields(assigned.expand()), fields(span));
        }
        CompactSpan self(span);
        const CompactSpan& alias = self;
        self = alias;
        EXPECT_EQ(fields(self.expand()), fields(span));
    }
    EXPECT_FALSE(CompactSpan().valid());
    EXPECT_EQ(fields(CompactSpan().expand()), "invalid");
}

} // namespace
} // namespace Karsto
