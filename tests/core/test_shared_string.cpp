#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <utility>

#include "core/shared_string.h"

namespace Karsto {
namespace {

// Equality reads bytes and lengths, whatever the two sides are made from.
TEST(SharedString, ComparesByteWiseWithLengths) {
    struct Case {
        std::string a;
        std::string b;
        bool equal;
    };
    const Case cases[] = {
        {"prog.jyx", "prog.jyx", true},   {"a.jyx", "a.jyx2", false}, {"a.jyx2", "a.jyx", false},
        {"Inc.jyx", "inc.jyx", false},    {"", "", true},             {"", "x", false},
        {std::string("a\0b", 3), std::string("a\0c", 3), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a + " / " + c.b);
        const SharedString a(c.a);
        const SharedString b(c.b);
        EXPECT_EQ(a == b, c.equal);
        EXPECT_EQ(b == a, c.equal);
        EXPECT_EQ(a == c.b, c.equal);
        EXPECT_EQ(c.b == a, c.equal);
        EXPECT_EQ(a.size(), c.a.size());
        EXPECT_EQ(a.str(), c.a);
    }
    EXPECT_TRUE(SharedString("t.jyx") == "t.jyx");
    EXPECT_FALSE(SharedString("t.jyx") == "t.jy");
    EXPECT_TRUE(SharedString() == SharedString(""));
    EXPECT_TRUE(SharedString().empty());
    EXPECT_STREQ(SharedString().c_str(), "");
}

// Copies and assignments keep the text whatever happens to the string they came from.
TEST(SharedString, CopiesOutliveAndIgnoreTheirSource) {
    auto original = std::make_unique<SharedString>(std::string("/programs/channel1/long_name.jyx"));
    SharedString copy = *original;
    SharedString assigned;
    assigned = copy;
    original.reset();
    EXPECT_EQ(copy, "/programs/channel1/long_name.jyx");
    EXPECT_EQ(assigned, copy);

    SharedString& alias = assigned;
    assigned = alias; // the last-but-one holder assigned to itself
    EXPECT_EQ(assigned, "/programs/channel1/long_name.jyx");

    SharedString moved = std::move(copy);
    EXPECT_EQ(moved, "/programs/channel1/long_name.jyx");
    copy = "other.jyx"; // a moved-from string takes a new text
    EXPECT_EQ(copy, "other.jyx");
    moved = std::move(copy);
    EXPECT_EQ(moved, "other.jyx");
    EXPECT_EQ(assigned, "/programs/channel1/long_name.jyx");
}

TEST(SharedString, ReadsAsTheStringItWasMadeFrom) {
    const SharedString name("dir/part.jyx");
    const std::string& text = name;
    EXPECT_EQ(text, "dir/part.jyx");
    std::string appended = "file '";
    appended += name.str();
    EXPECT_EQ(appended, "file 'dir/part.jyx");
    std::ostringstream out;
    out << name;
    EXPECT_EQ(out.str(), "dir/part.jyx");
}

} // namespace
} // namespace Karsto
