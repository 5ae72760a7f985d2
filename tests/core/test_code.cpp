#include <gtest/gtest.h>

#include <string>

#include "core/allocation_count.h"
#include "core/code.h"
#include "core/exception.h"
#include "core/machine_test_support.h"

namespace Karsto {
namespace {

using test::codeOf;
using test::eachItemText;
using test::spanAt;
using test::TestCmd;
using test::TestJump;

TEST(Code, EmptyCodeHoldsNoNode) {
    Code empty;
    EXPECT_TRUE(empty.empty());
    EXPECT_FALSE(empty.containsLabel());
    CodeLinked linked(empty);
    EXPECT_EQ(linked.size(), 0);
    EXPECT_EQ(linked.toString(), "");
}

TEST(Code, ConcatWithEmptyHoldsTheOtherNode) {
    Code x = codeOf(new TestCmd("A"));
    Code empty;
    EXPECT_EQ(empty.concat(x).node(), x.node());
    EXPECT_EQ(x.concat(empty).node(), x.node());
    EXPECT_TRUE(empty.concat(empty).empty());
    EXPECT_EQ(x.node()->refCount(), 1);
}

TEST(Code, ConcatJoinsInOrderAndLeavesInputs) {
    Code a = codeOf(new TestCmd("A"));
    Code b = codeOf(new TestCmd("B"));
    Code ab = a.concat(b);
    EXPECT_NE(ab.node(), a.node());
    EXPECT_EQ(a.node()->refCount(), 2); // the handle and the join
    EXPECT_EQ(eachItemText(ab), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(eachItemText(a), (std::vector<std::string>{"A"}));
    Code abab = ab.concat(ab);
    EXPECT_EQ(eachItemText(abab), (std::vector<std::string>{"A", "B", "A", "B"}));
}

// append gives the items concat would, in place where the handle alone holds a sequence,
// and never changes what another handle sees.
TEST(Code, AppendGivesConcatsItemsAndLeavesOtherHoldersAlone) {
    using Texts = std::vector<std::string>;
    Code empty;
    empty.append(Code());
    EXPECT_TRUE(empty.empty());
    Code a = codeOf(new TestCmd("A"));
    CodeNode* aNode = a.node();
    empty.append(a);
    EXPECT_EQ(empty.node(), aNode); // as concat: the other side's own node
    a.append(Code());
    EXPECT_EQ(a.node(), aNode);

    Code run;
    run.append(codeOf(new TestCmd("A")));
    run.append(codeOf(new TestCmd("B")));
    CodeNode* sequence = run.node();
    ASSERT_TRUE(sequence->isSequence());
    Code block; // a sequence that only its handle holds: its parts move over
    block.append(codeOf(new TestCmd("C")));
    block.append(codeOf(new TestCmd("D")).concat(codeOf(new TestCmd("E"))));
    run.append(std::move(block));
    EXPECT_EQ(run.node(), sequence);
    EXPECT_EQ(eachItemText(run), (Texts{"A", "B", "C", "D", "E"}));

    Code copy = run; // now shared: appending makes a new sequence around it
    run.append(codeOf(new TestCmd("F")));
    EXPECT_NE(run.node(), sequence);
    EXPECT_EQ(eachItemText(copy), (Texts{"A", "B", "C", "D", "E"}));
    EXPECT_EQ(eachItemText(run), (Texts{"A", "B", "C", "D", "E", "F"}));
    Code tail; // a shared sequence appended stays whole and unchanged
    tail.append(codeOf(new TestCmd("G")));
    tail.append(codeOf(new TestCmd("H")));
    const Code tailHolder = tail;
    run.append(tail);
    EXPECT_EQ(eachItemText(run), (Texts{"A", "B", "C", "D", "E", "F", "G", "H"}));
    EXPECT_EQ(eachItemText(tailHolder), (Texts{"G", "H"}));
    EXPECT_EQ(eachItemText(run.concat(copy)).size(), 13u);
}

// A long run built by append links to its own items when the handle alone holds it, and
// clones them when a sequence inside is shared; freeing it needs no recursion.
TEST(Code, AppendedRunLinksAndFrees) {
    for (bool shared : {false, true}) {
        SCOPED_TRACE(shared);
        auto* label = new Label();
        Code run = codeOf(label);
        Code inner;
        for (int i = 0; i < 100000; ++i) {
            Code block;
            block.append(codeOf(new TestCmd("A")));
            block.append(codeOf(new TestCmd("B")));
            if (i == 500 && shared) inner = block;
            run.append(std::move(block));
        }
        run.append(codeOf(new TestJump(label)));
        CodeLinked linked(std::move(run));
        ASSERT_EQ(linked.size(), 200002);
        EXPECT_EQ(linked.item(1)->toString(), "A");
        EXPECT_EQ(linked.item(200000)->toString(), "B");
        EXPECT_EQ(static_cast<TestJump*>(linked.item(200001))->target(), linked.item(0));
        EXPECT_EQ(linked.item(0) == label, !shared);
        for (int64_t i = 0; i < linked.size(); i += 997) EXPECT_EQ(linked.item(i)->refCount(), 1);
    }
}

TEST(Code, SelfAssignmentKeepsTheNode) {
    Code c = codeOf(new TestCmd("A"));
    Code& alias = c;
    c = alias;
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(c.node()->refCount(), 1);
    EXPECT_EQ(eachItemText(c), (std::vector<std::string>{"A"}));
    c = std::move(alias);
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(c.node()->refCount(), 1);
}

TEST(Code, CopiesShareAndLastReleaseFrees) {
    Code a = codeOf(new TestCmd("A"));
    {
        Code b = a;
        EXPECT_EQ(a.node()->refCount(), 2);
        Code c;
        c = b;
        EXPECT_EQ(a.node()->refCount(), 3);
    }
    EXPECT_EQ(a.node()->refCount(), 1);
}

TEST(Code, SetSpanReachesEveryItemAndContainsLabel) {
    auto* label = new Label();
    Code code = codeOf(new TestCmd("A")).concat(codeOf(label)).concat(codeOf(new TestCmd("B")));
    EXPECT_TRUE(code.containsLabel());
    EXPECT_FALSE(codeOf(new TestCmd("C")).containsLabel());
    code.setSpan(spanAt(4));
    code.forEachItem([](CodeItem* item) {
        EXPECT_TRUE(item->span().valid);
        EXPECT_EQ(item->span().begin.line, 4);
        return true;
    });
    EXPECT_EQ(label->span().begin.line, 4);
}

TEST(Code, NewItemsHaveInvalidSpanAndCountZero) {
    auto* cmd = new TestCmd("A");
    EXPECT_FALSE(cmd->span().valid);
    EXPECT_EQ(cmd->refCount(), 0);
    EXPECT_EQ(cmd->asCmd(), cmd);
    EXPECT_EQ(cmd->asLabel(), nullptr);
    EXPECT_TRUE(cmd->isResolved());
    Code holder = codeOf(cmd);
    EXPECT_EQ(cmd->refCount(), 1);
}

TEST(Label, IdsRiseAndClonesTakeNewIds) {
    Label a;
    Label b;
    EXPECT_EQ(b.id(), a.id() + 1);
    EXPECT_EQ(a.address(), -1);
    EXPECT_EQ(a.toString(), "Label " + std::to_string(a.id()));
    a.setSpan(spanAt(3));
    Code clone = codeOf(a.clone());
    auto* copy = static_cast<Label*>(clone.node());
    EXPECT_EQ(copy->id(), b.id() + 1);
    EXPECT_EQ(copy->address(), -1);
    EXPECT_EQ(copy->span().begin.line, 3);
    EXPECT_EQ(copy->asLabel(), copy);
    EXPECT_EQ(copy->asCmd(), nullptr);
}

TEST(Label, IdsKeepRisingAcrossCompilations) {
    // Two programs compiled and linked one after the other: the second one's labels and
    // their clones continue the count, none starts again at 0.
    auto compileAndLink = [] {
        auto* label = new Label();
        return CodeLinked(codeOf(label).concat(codeOf(new TestJump(label))));
    };
    CodeLinked first = compileAndLink();
    CodeLinked second = compileAndLink();
    const int32_t firstId = first.item(0)->asLabel()->id();
    const int32_t secondId = second.item(0)->asLabel()->id();
    EXPECT_GT(firstId, 0);
    EXPECT_EQ(secondId, firstId + 2); // the second source label, then its clone
}

TEST(CodeLinked, LabelPlacedOnceIsSharedByEveryReference) {
    auto* label = new Label();
    auto* jump = new TestJump(label);
    Code code = codeOf(jump)
                    .concat(codeOf(new TestCmd("A")))
                    .concat(codeOf(label))
                    .concat(codeOf(new TestJump(label)));
    CodeLinked linked(code);
    ASSERT_EQ(linked.size(), 4);
    Label* clone = linked.item(2)->asLabel();
    ASSERT_NE(clone, nullptr);
    EXPECT_NE(clone, label);
    EXPECT_EQ(clone->address(), 2);
    EXPECT_EQ(static_cast<TestJump*>(linked.item(0))->target(), clone);
    EXPECT_EQ(static_cast<TestJump*>(linked.item(3))->target(), clone);
    EXPECT_TRUE(linked.item(0)->isResolved());
    // The source stays unlinked and can be linked again.
    EXPECT_EQ(label->address(), -1);
    EXPECT_FALSE(jump->isResolved());
    EXPECT_EQ(jump->target(), label);
    CodeLinked again(code);
    EXPECT_NE(again.item(2), clone);
    EXPECT_EQ(again.item(2)->asLabel()->address(), 2);
}

TEST(CodeLinked, LabelPlacedTwiceResolvesToTheLastPosition) {
    auto* label = new Label();
    Code sub = codeOf(label).concat(codeOf(new TestCmd("A")));
    Code code = codeOf(new TestJump(label)).concat(sub).concat(sub);
    CodeLinked linked(code);
    ASSERT_EQ(linked.size(), 5);
    Label* first = linked.item(1)->asLabel();
    Label* last = linked.item(3)->asLabel();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(last, nullptr);
    EXPECT_NE(first, last);
    EXPECT_NE(first->id(), last->id());
    EXPECT_EQ(first->address(), 1);
    EXPECT_EQ(last->address(), 3);
    EXPECT_EQ(static_cast<TestJump*>(linked.item(0))->target(), last);
    EXPECT_NE(linked.item(2), linked.item(4)); // each position has its own clone
}

TEST(CodeLinked, ListingIsOneLinePerItem) {
    auto* label = new Label();
    Code code = codeOf(label).concat(codeOf(new TestCmd("Ld 1"))).concat(codeOf(new TestJump(label)));
    CodeLinked linked(code);
    const int32_t id = linked.item(0)->asLabel()->id();
    EXPECT_EQ(linked.toString(), "Label " + std::to_string(id) + "\nLd 1\nTestJump Label " +
                                     std::to_string(id) + "\n");
}

TEST(CodeLinked, UnplacedLabelIsRefused) {
    Label unplaced;
    Code code = codeOf(new TestCmd("A")).concat(codeOf(new TestJump(&unplaced)));
    try {
        CodeLinked linked(code);
        FAIL() << "no exception";
    } catch (const ExceptionSemantic& e) {
        EXPECT_EQ(e.message(), "Jump target Label " + std::to_string(unplaced.id()) +
                                   " is not placed in the linked code");
        EXPECT_FALSE(e.span().valid);
    }
}

TEST(CodeLinked, CopiesShareItemsAndAssignmentReplacesThem) {
    Code code = codeOf(new TestCmd("A")).concat(codeOf(new TestCmd("B")));
    CodeLinked linked(code);
    CodeItem* a = linked.item(0);
    EXPECT_EQ(a->refCount(), 1);
    {
        CodeLinked copy(linked);
        EXPECT_EQ(copy.item(0), a);
        EXPECT_EQ(a->refCount(), 2);
        CodeLinked assigned;
        assigned = linked;
        EXPECT_EQ(a->refCount(), 3);
        assigned = CodeLinked();
        EXPECT_EQ(assigned.size(), 0);
        EXPECT_EQ(a->refCount(), 2);
    }
    EXPECT_EQ(a->refCount(), 1);
    CodeLinked& alias = linked;
    linked = alias;
    EXPECT_EQ(a->refCount(), 1);
    EXPECT_EQ(linked.size(), 2);
}

TEST(CodeLinked, ClonesKeepSpans) {
    Code code = codeOf(new TestCmd("A"));
    code.setSpan(spanAt(9, 2));
    CodeLinked linked(code);
    EXPECT_NE(linked.item(0), code.node());
    EXPECT_EQ(linked.item(0)->span().begin.line, 9);
    EXPECT_EQ(linked.item(0)->span().begin.column, 2);
    EXPECT_EQ(linked.item(0)->refCount(), 1);
}

// Linking a handle that is the only holder of its tree takes the tree's own items; any
// other holder of any node (the root, a join, an item) makes it clone, as the copying link
// does. Either way labels resolve to the program's own items and the handle is emptied.
TEST(CodeLinked, MovedSoleTreeIsTakenElseCloned) {
    enum class Holder { none, root, join, item };
    for (Holder holder : {Holder::none, Holder::root, Holder::join, Holder::item}) {
        SCOPED_TRACE(static_cast<int>(holder));
        auto* label = new Label();
        auto* jump = new TestJump(label);
        Code inner = codeOf(new TestCmd("A")).concat(codeOf(jump));
        Code code = codeOf(label).concat(inner);
        Code other;
        if (holder == Holder::root) other = code;
        if (holder == Holder::join) other = inner;
        if (holder == Holder::item) other = Code(jump);
        inner = Code();
        CodeLinked linked(std::move(code));
        EXPECT_TRUE(code.empty());
        ASSERT_EQ(linked.size(), 3);
        EXPECT_EQ(linked.item(0)->asLabel()->address(), 0);
        EXPECT_EQ(static_cast<TestJump*>(linked.item(2))->target(), linked.item(0));
        EXPECT_EQ(linked.item(2) == jump, holder == Holder::none);
        EXPECT_EQ(linked.item(0) == label, holder == Holder::none);
        for (int64_t i = 0; i < linked.size(); ++i) EXPECT_EQ(linked.item(i)->refCount(), 1);
        if (holder == Holder::item) {
            EXPECT_EQ(jump->refCount(), 1); // held by `other` alone
        }
    }
}

TEST(CodeLinked, MovedSoleTreeWithAnUnplacedLabelIsRefused) {
    Label unplaced;
    Code code = codeOf(new TestCmd("A")).concat(codeOf(new TestJump(&unplaced)));
    try {
        CodeLinked linked(std::move(code));
        FAIL() << "no exception";
    } catch (const ExceptionSemantic& e) {
        EXPECT_EQ(e.message(), "Jump target Label " + std::to_string(unplaced.id()) +
                                   " is not placed in the linked code");
    }
}

// Deep trees: built, walked, linked and freed without recursion (run under ASan too).
TEST(CodeLimits, LeftDeepTreeOf100000Joins) {
    auto* label = new Label();
    Code code = codeOf(label);
    for (int i = 0; i < 100000; ++i) code = code.concat(codeOf(new TestCmd("A")));
    code = code.concat(codeOf(new TestJump(label)));
    EXPECT_TRUE(code.containsLabel());
    code.setSpan(spanAt(1));
    CodeLinked linked(code);
    ASSERT_EQ(linked.size(), 100002);
    EXPECT_EQ(static_cast<TestJump*>(linked.item(100001))->target(), linked.item(0));
    code = Code(); // frees the tree
    EXPECT_EQ(linked.item(1)->toString(), "A");
}

TEST(CodeLimits, RightDeepTreeOf100000Joins) {
    Code code = codeOf(new TestCmd("Z"));
    for (int i = 0; i < 100000; ++i) code = codeOf(new TestCmd("A")).concat(code);
    CodeLinked linked(code);
    ASSERT_EQ(linked.size(), 100001);
    EXPECT_EQ(linked.item(100000)->toString(), "Z");
}

// Linking formats no text on the good path: the only allocation per jump is its clone
// (plus the growth of the linker's own arrays), however many jumps the program has.
TEST(CodeLimits, LinkingOf100000JumpsFormatsNoText) {
    constexpr int kJumps = 100000;
    auto* label = new Label();
    Code code = codeOf(label);
    for (int i = 0; i < kJumps; ++i) code = code.concat(codeOf(new TestJump(label)));
    const int64_t before = test::allocationCount();
    CodeLinked linked(code);
    const int64_t allocations = test::allocationCount() - before;
    ASSERT_EQ(linked.size(), kJumps + 1);
    EXPECT_EQ(static_cast<TestJump*>(linked.item(kJumps))->target(), linked.item(0));
    // One clone per item, unless the clones come from the node pool; a formatted text per
    // jump would add one allocation per jump.
    const int64_t clones = CodeNode::isPooled(sizeof(TestJump)) ? 0 : kJumps + 1;
    EXPECT_GE(allocations, clones);
    EXPECT_LT(allocations, clones + 100) << "allocations beyond one clone per item";
}

} // namespace
} // namespace Karsto
