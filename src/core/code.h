#pragma once
// The code model: every piece of compiled code is a `Code`, a value handle on an
// immutable tree of reference-counted nodes whose leaves, read left to right, are the
// instructions and jump targets in execution order. Linking turns a tree into a
// `CodeLinked`: a flat sequence of fresh clones in which every label knows its index.
//
// Trees are far deeper than the machine stack allows: every walk and every release uses
// an explicit work list, never recursion.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/source_span.h"

namespace Karsto {

class CodeJoin;
class CodeSequence;
class CodeItem;
class Label;
class Cmd;
class Stackmachine;
class StackmachineInterpreter;

// From a source label to its clone in the program being linked.
using LabelMap = std::map<const Label*, Label*>;

// A node of a code tree, shared by its holders (Code handles, parent joins and the
// item positions of linked programs) through a plain, non-atomic count.
class CodeNode {
public:
    CodeNode(const CodeNode&) = delete; // a count must never be copied
    CodeNode& operator=(const CodeNode&) = delete;
    virtual ~CodeNode() = default;

    // Code nodes come from a pool of the thread: size classes cut from large aligned
    // blocks, without a heap header each. A large program makes millions of them.
    static void* operator new(size_t bytes);
    static void operator delete(void* node, size_t bytes);
    // Whether a node of that size comes from the pool (never under the address sanitizer,
    // which then sees every node's use and release).
    static bool isPooled(size_t bytes);

    // Appends each child whose count drops to 0 to the work list; a leaf has none.
    virtual void releaseChildren(std::vector<CodeNode*>& workList);

    // Takes one reference; null is ignored.
    static void retain(CodeNode* node) {
        if (node != nullptr) ++node->refCount_;
    }
    // Drops one reference; the last one frees the node and every node only it held,
    // without recursion. Null is ignored.
    static void release(CodeNode* node);

    int32_t refCount() const { return refCount_; }
    // Non-virtual kind tests: walks ask them per node and the machine's step per item.
    bool isJoin() const { return kind_ == Kind::join; }
    bool isCmd() const { return kind_ == Kind::cmd; }
    bool isSequence() const { return kind_ == Kind::sequence; }
    bool isLabel() const { return kind_ == Kind::label; }
    // The node as a join, or null for a leaf.
    inline CodeJoin* asJoin();
    // The node as a sequence, or null.
    inline CodeSequence* asSequence();
    // The node as an item, or null for a join or a sequence.
    inline CodeItem* asItem();

protected:
    enum class Kind : uint8_t { join, label, cmd, sequence };
    explicit CodeNode(Kind kind) : kind_(kind) {}
    // Drops one reference without freeing; true when it was the last one.
    static bool dropReference(CodeNode* node) { return --node->refCount_ == 0; }

private:
    int32_t refCount_ = 0; // a new node has no holder yet
    const Kind kind_;
};

// The concatenation of left, then right; each side non-null and held once.
class CodeJoin final : public CodeNode {
public:
    CodeJoin(CodeNode* left, CodeNode* right);
    ~CodeJoin() override = default; // the children are released by releaseChildren
    void releaseChildren(std::vector<CodeNode*>& workList) override;

    CodeNode* left() const { return left_; }
    CodeNode* right() const { return right_; }

private:
    CodeNode* left_;
    CodeNode* right_;
};

// Any number of parts, concatenated in order; each held once by the sequence. Built by
// Code::append, which adds to a sequence in place while one handle alone holds it: a run
// of many small codes then costs a slot per item instead of a join per code.
class CodeSequence final : public CodeNode {
public:
    CodeSequence() : CodeNode(Kind::sequence) {}
    ~CodeSequence() override = default; // the parts are released by releaseChildren
    void releaseChildren(std::vector<CodeNode*>& workList) override;

    const std::vector<CodeNode*>& parts() const { return parts_; }

private:
    friend class Code;
    friend class CodeLinked;
    std::vector<CodeNode*> parts_;
};

// A leaf: a jump target or an instruction, with the span of its source construct.
class CodeItem : public CodeNode {
public:
    ~CodeItem() override = default;

    virtual Label* asLabel();
    virtual Cmd* asCmd();
    virtual bool isResolved() const;
    virtual void setSpan(const SourceSpan& span);
    virtual std::string toString() const = 0;
    // A new item of the same class with the same operands and span, count 0.
    virtual CodeItem* clone() const = 0;
    virtual void remapLabels(LabelMap& map);

    // Made from the compact form on each call: copy it once where it is read often.
    SourceSpan span() const { return span_.expand(); }

protected:
    explicit CodeItem(Kind kind) : CodeNode(kind) {}
    // For clone: gives a fresh copy this item's span and returns it.
    template <class T>
    T* withSpanOf(T* copy) const {
        static_cast<CodeItem*>(copy)->span_ = span_;
        return copy;
    }

private:
    CompactSpan span_; // invalid until setSpan
};

// A jump target. Ids come from one process-wide counter that is never reset, so they
// stay unique across every compilation of a process run; clones take new ids.
class Label final : public CodeItem {
public:
    Label();
    Label* asLabel() override;
    std::string toString() const override; // "Label " + id
    CodeItem* clone() const override;       // new id, address -1, same span

    int32_t id() const { return id_; }
    // -1 while not linked; in a CodeLinked the index of the label's own item.
    int64_t address() const { return address_; }
    void setAddress(int64_t address) { address_ = address; }

private:
    int32_t id_;
    int64_t address_ = -1;
};

// An instruction's body bound to a channel's interpreter, run with every trace off.
using RunKernel = void (*)(StackmachineInterpreter& machine, const Cmd& item);

// What the run loop of a channel's interpreter may know of an item beyond its kernel,
// to run a sequence of items as one.
enum class RunRole : uint8_t {
    none,
    pushS64, // pushes the fixed 64-bit integer runValue (an address or an offset)
    addS64,  // pops two 64-bit integers and pushes their wrapping sum
};

// An operation the run loop of a channel's interpreter runs inline, on the cells, instead
// of calling the item's kernel; RunCell names the cell format it works on. Order matters
// from add to branchGe: the run loop's typed actions are indexed by it.
enum class RunOp : uint8_t {
    none,
    push,        // pushes the low bytes of runValue, as many as the cell format has
    keep,        // pops a value and pushes it back with the same low bytes: the cell stays
    extendS32,   // pops an S32 and pushes it sign-extended as an S64
    assertRange, // tests the S64 on top against runValue and runSecond, without popping
    len,         // a string of the default capacity to its length, one S64 cell
    castStr,     // a string of capacity runValue to one of capacity runSecond
    concat,      // runValue strings of the default capacity to their concatenation
    add,         // [x, y] to [x + y], wrapping for integers (as sub and mul)
    sub,
    mul,
    lt, // [x, y] to [x < y] as one BOOL (as le, gt, ge, eq and ne)
    le,
    gt,
    ge,
    eq,
    ne,
    branchLe, // [x, y] to []; jumps to the item's target when x <= y
    branchGe, // [x, y] to []; jumps to the item's target when x >= y
};
// Order matters: the typed actions are indexed by it, from s16 on.
enum class RunCell : uint8_t { none, s16, s32, s64, f32, f64 };
struct RunForm {
    RunOp op = RunOp::none;
    RunCell cell = RunCell::none;
};

// Base of every stack-machine instruction. Instructions reach the machine only through
// its virtual operations.
class Cmd : public CodeItem {
public:
    Cmd* asCmd() override;
    virtual void execute(Stackmachine& machine) = 0;
    // What the run loop of a channel's interpreter calls instead of execute while every
    // trace is off: exactly what execute does on that machine, less the traces. Null for
    // an instruction that is always stepped.
    virtual RunKernel runKernel() const;
    virtual RunRole runRole() const;
    // The value of a pushS64 item or a push form (a real's bits), the lower bound of an
    // assertRange form.
    virtual int64_t runValue() const;
    // The upper bound of an assertRange form.
    virtual int64_t runSecond() const;
    // The operation that the run loop may run inline for this item; none by default.
    virtual RunForm runForm() const;

protected:
    Cmd() : CodeItem(Kind::cmd) {}
};

// Base of the instructions with a label operand (jumps, branches, calls, code-address
// constants, range branches). The target is held without a reference; linking remaps
// it to the label's clone.
class CmdWithTarget : public Cmd {
public:
    bool isResolved() const override; // true when the target has an address
    void remapLabels(LabelMap& map) override;

    Label* target() const { return target_; }

protected:
    explicit CmdWithTarget(Label* target) : target_(target) {}
    // "<operation> Label <id>": the operation's text, a blank, the target's text.
    std::string textWithTarget(std::string_view operation) const;

private:
    Label* target_;
};

// A value handle on a code tree; the empty Code holds no node. Copies share the tree.
class Code {
public:
    Code() = default;
    explicit Code(CodeNode* node) : node_(node) { CodeNode::retain(node_); }
    Code(const Code& other) : node_(other.node_) { CodeNode::retain(node_); }
    Code(Code&& other) noexcept : node_(other.node_) { other.node_ = nullptr; }
    Code& operator=(const Code& other) {
        CodeNode::retain(other.node_); // first: keeps a self-assigned node alive
        CodeNode::release(node_);
        node_ = other.node_;
        return *this;
    }
    Code& operator=(Code&& other) noexcept {
        if (this != &other) {
            CodeNode::release(node_);
            node_ = other.node_;
            other.node_ = nullptr;
        }
        return *this;
    }
    // Not virtual: nothing derives from a handle, and a vtable pointer would double the
    // size of every handle that the compile's attribute records keep.
    ~Code() { CodeNode::release(node_); }

    // This code followed by other; an empty side yields the other side's own node.
    Code concat(const Code& other) const;
    // Makes this code this followed by other, the same items in the same order as concat
    // gives. Where this handle alone holds a sequence, other's items join it in place
    // (the parts of a sequence other alone holds, one by one).
    void append(Code other);
    // Sets the span of every item of the tree, in order (shared items included).
    void setSpan(const SourceSpan& span) const;
    bool containsLabel() const;

    bool empty() const { return node_ == nullptr; }
    CodeNode* node() const { return node_; }

    // Visits the items left to right (execution order) with an explicit stack; the
    // visitor returns false to stop early.
    template <class Visitor>
    void forEachItem(Visitor&& visit) const;

private:
    friend class CodeLinked;
    // Forgets the node without releasing it: its reference was taken over.
    void abandon() { node_ = nullptr; }

    CodeNode* node_ = nullptr;
};

// A linked program: fresh clones of a Code's items in order, every label's address its
// own index, every label operand remapped to the clone. Copies share the items.
class CodeLinked {
public:
    CodeLinked() = default;
    // Links the code; a label operand whose label is not placed in the code raises
    // ExceptionSemantic naming the label. The code itself is left unchanged.
    explicit CodeLinked(const Code& code);
    // Links the code as above and empties it. When the handle was the only holder of
    // every node of its tree, the tree's own items become the program (no clones: a
    // whole file's blocks would otherwise exist twice while it links); else as above.
    explicit CodeLinked(Code&& code);
    CodeLinked(const CodeLinked& other);
    CodeLinked(CodeLinked&& other) noexcept;
    CodeLinked& operator=(const CodeLinked& other);
    CodeLinked& operator=(CodeLinked&& other) noexcept;
    ~CodeLinked();

    // One line per item, each item's text followed by a newline.
    std::string toString() const;

    int64_t size() const { return static_cast<int64_t>(items_.size()); }
    bool empty() const { return items_.empty(); }
    CodeItem* item(int64_t index) const { return items_[static_cast<size_t>(index)]; }

private:
    void releaseAll();
    // The tree's items in order, each held by this program; false (nothing taken) when
    // a node of the tree has another holder.
    bool takeSoleTree(Code& code);
    // Gives every label its index and remaps every label operand through the map.
    void placeLabels(const std::vector<CodeItem*>& sources);

    std::vector<CodeItem*> items_; // each holds one reference
};

inline CodeJoin* CodeNode::asJoin() { return isJoin() ? static_cast<CodeJoin*>(this) : nullptr; }
inline CodeSequence* CodeNode::asSequence() { return isSequence() ? static_cast<CodeSequence*>(this) : nullptr; }
inline CodeItem* CodeNode::asItem() { return isJoin() || isSequence() ? nullptr : static_cast<CodeItem*>(this); }

template <class Visitor>
void Code::forEachItem(Visitor&& visit) const {
    if (node_ == nullptr) return;
    std::vector<CodeNode*> stack;
    // Descends from node along left children and first parts, leaving the rest for later
    // (in reverse, so that they come off the stack in order); the leaf that ends the
    // descent is on top. An empty sequence leaves nothing.
    auto descend = [&stack](CodeNode* node) {
        while (node != nullptr) {
            if (CodeJoin* join = node->asJoin()) {
                stack.push_back(join->right());
                node = join->left();
            } else if (CodeSequence* sequence = node->asSequence()) {
                const std::vector<CodeNode*>& parts = sequence->parts();
                for (size_t i = parts.size(); i-- > 1;) stack.push_back(parts[i]);
                node = parts.empty() ? nullptr : parts.front();
            } else {
                stack.push_back(node);
                return;
            }
        }
    };
    descend(node_);
    while (!stack.empty()) {
        CodeNode* top = stack.back();
        stack.pop_back();
        if (CodeItem* item = top->asItem()) {
            if (!visit(item)) return;
        } else {
            descend(top);
        }
    }
}

} // namespace Karsto
