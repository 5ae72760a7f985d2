// The single-instruction emitters: one instruction with the span passed, the G-code
// block copied into its instruction, and the undefined label refused.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "codegen/codegen_test_support.h"
#include "codegen/special_emitters.h"
#include "core/code.h"
#include "core/error_test_support.h"
#include "core/gcode.h"
#include "core/machine_test_support.h"

namespace Karsto {
namespace {

using test::itemTexts;
using test::spanAt;

// The one item of the code, which holds the only reference to it.
CodeItem& onlyItem(const Code& code) {
    CodeItem* item = code.node()->asItem();
    EXPECT_NE(item, nullptr);
    EXPECT_EQ(item->refCount(), 1);
    return *item;
}

TEST(SpecialEmitters, EachGivesOneInstructionWithTheSpan) {
    const SourceSpan span = spanAt(3, 7);
    const std::pair<std::function<Code()>, std::string> cases[] = {
        {[&] { return emitCheckNonNull(span); }, "CheckNonNull "},
        {[&] { return emitUtcTimestamp(span); }, "UtcTimestamp"},
        {[&] { return emitUtcDate(span); }, "UtcDate"},
        {[&] { return emitLen(span); }, "Len"},
        {[&] { return emitMid(span); }, "Mid"},
        {[&] { return emitConcat(4, span); }, "Concat 4"},
        {[&] { return emitConcat(2, span); }, "Concat 2"},
    };
    for (const auto& [emit, text] : cases) {
        const Code code = emit();
        CodeItem& item = onlyItem(code);
        EXPECT_EQ(item.toString(), text);
        EXPECT_NE(item.asCmd(), nullptr) << text;
        EXPECT_EQ(item.span().toString(), span.toString()) << text;
    }
}

TEST(SpecialEmitters, ConstLabelNeedsALabel) {
    EXPECT_EQ(test::semanticWhat([] { emitConstLabel(nullptr, spanAt(1)); }),
              "?: Use of undefined label.");
    auto* label = new Label();
    const Code placed(label);
    const SourceSpan span = spanAt(9, 2);
    const Code code = emitConstLabel(label, span);
    CodeItem& item = onlyItem(code);
    EXPECT_EQ(item.toString(), "ConstLabel Label " + std::to_string(label->id()));
    EXPECT_EQ(item.span().toString(), span.toString());
    // Links beside its label (the linked copy names the linked label).
    const std::vector<std::string> linked = itemTexts(placed.concat(code));
    ASSERT_EQ(linked.size(), 2u);
    EXPECT_EQ(linked[1], "ConstLabel " + linked[0]);
}

TEST(SpecialEmitters, GcodeCopiesTheBlock) {
    const SourceSpan blockSpan = spanAt(5, 1, "mill.jyx");
    auto block = std::make_unique<GCode>(2, blockSpan);
    block->addWord("X");
    block->addWord("F");
    const SourceSpan span = spanAt(6, 3);
    const Code code = emitGcode(*block, span);
    const Code own = block->code();
    block.reset(); // the instructions keep their own copies
    for (const Code* c : {&code, &own}) {
        auto* cmd = dynamic_cast<CmdGcode*>(&onlyItem(*c));
        ASSERT_NE(cmd, nullptr);
        EXPECT_EQ(cmd->toString(), "Gcode 2");
        EXPECT_EQ(cmd->skipLevel(), 2);
        ASSERT_EQ(cmd->words().size(), 2u);
        EXPECT_EQ(cmd->words()[0].name, "X");
        EXPECT_EQ(cmd->words()[1].name, "F");
    }
    EXPECT_EQ(code.node()->asItem()->span().toString(), span.toString());
    // GCode::code carries the block's own span.
    EXPECT_EQ(own.node()->asItem()->span().toString(), blockSpan.toString());
    EXPECT_NE(code.node(), own.node());
}

} // namespace
} // namespace Karsto
