#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <type_traits>
#include <string>
#include <vector>

#include "core/memory.h"
#include "core/scope.h"
#include "core/variable.h"
#include "frontend/parser.h"

namespace Karsto {
namespace {

// The parser owns what the compile hands it and frees it with itself, so that objects
// of the core can be registered without the core knowing the parser.
TEST(ParserHandles, RegisteredObjectsLiveAsLongAsTheParser) {
    auto parser = std::make_unique<Parser>();
    HandleOwner& owner = *parser;
    EXPECT_EQ(owner.handle(new MemoryGlobal)->size(), 1);
    auto* scope = parser->handle(new Scope<Variable>(nullptr));
    Variable* x = parser->handle(new Variable(nullptr, "x", nullptr, 0, VariableAccess::NONE));
    scope->declare("x", x);
    parser->handle(new std::set<int>{1, 2});
    static_assert(std::is_base_of_v<Parser::Handle, Parser::HandleTyped<Variable>>);
    EXPECT_EQ(scope->lookup("x"), x);
    EXPECT_EQ(parser->handleCount(), 4u);
    parser.reset(); // LeakSanitizer: all four are gone
}

} // namespace
} // namespace Karsto
