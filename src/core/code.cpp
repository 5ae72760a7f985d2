#include "core/code.h"

#include <array>
#include <cstddef>
#include <new>

#include "core/aligned_block.h"
#include "core/exception.h"

namespace Karsto {

namespace {

// The process-wide label counter: starts at 0, never reset. Incremented through
// uint32_t so that running past INT32_MAX wraps instead of overflowing.
int32_t nextLabelId = 0;

int32_t takeLabelId() {
    const int32_t id = nextLabelId;
    nextLabelId = static_cast<int32_t>(static_cast<uint32_t>(nextLabelId) + 1u);
    return id;
}

// Under the address sanitizer every node comes from the global heap, so that a use after
// release is still reported.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPooled = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kPooled = false;
#else
constexpr bool kPooled = true;
#endif
#else
constexpr bool kPooled = true;
#endif

// Size classes of 16 bytes up to the largest pooled node; a larger one comes from the
// global heap. Released nodes wait in their class's list for the next node of the size;
// the blocks stay with the process, so the pool holds at most the most nodes ever alive.
class NodePool {
public:
    static constexpr size_t granule = 16;
    static constexpr size_t largest = 256;
    static constexpr size_t blockBytes = size_t{1} << 21;

    static bool pooled(size_t bytes) { return kPooled && bytes <= largest; }

    void* allocate(size_t bytes) {
        const size_t sizeClass = (bytes + granule - 1) / granule;
        if (Free* node = free_[sizeClass]) {
            free_[sizeClass] = node->next;
            return node;
        }
        const size_t rounded = sizeClass * granule;
        if (left_ < rounded) {
            next_ = mapAlignedBlock(blockBytes); // the rest of the old block is not used
            left_ = blockBytes;
        }
        void* node = next_;
        next_ += rounded;
        left_ -= rounded;
        return node;
    }

    void release(void* node, size_t bytes) {
        const size_t sizeClass = (bytes + granule - 1) / granule;
        free_[sizeClass] = new (node) Free{free_[sizeClass]};
    }

private:
    struct Free {
        Free* next;
    };
    static_assert(sizeof(Free) <= granule && alignof(std::max_align_t) <= granule);

    std::array<Free*, largest / granule + 1> free_{};
    unsigned char* next_ = nullptr;
    size_t left_ = 0;
};

thread_local NodePool nodePool;

} // namespace

// ---- CodeNode --------------------------------------------------------------------------

void* CodeNode::operator new(size_t bytes) {
    return NodePool::pooled(bytes) ? nodePool.allocate(bytes) : ::operator new(bytes);
}

void CodeNode::operator delete(void* node, size_t bytes) {
    if (NodePool::pooled(bytes))
        nodePool.release(node, bytes);
    else
        ::operator delete(node);
}

bool CodeNode::isPooled(size_t bytes) { return NodePool::pooled(bytes); }

void CodeNode::releaseChildren(std::vector<CodeNode*>&) {}

void CodeNode::release(CodeNode* node) {
    if (node == nullptr) return;
    if (!dropReference(node)) return;
    std::vector<CodeNode*> workList;
    workList.push_back(node);
    while (!workList.empty()) {
        CodeNode* last = workList.back();
        workList.pop_back();
        last->releaseChildren(workList); // appends the children it held last
        delete last;
    }
}

CodeJoin::CodeJoin(CodeNode* left, CodeNode* right) : CodeNode(Kind::join), left_(left), right_(right) {
    retain(left_);
    retain(right_);
}

void CodeJoin::releaseChildren(std::vector<CodeNode*>& workList) {
    // Left first, then right; a child is freed by the caller's loop, not here.
    if (dropReference(left_)) workList.push_back(left_);
    if (dropReference(right_)) workList.push_back(right_);
}

void CodeSequence::releaseChildren(std::vector<CodeNode*>& workList) {
    for (CodeNode* part : parts_)
        if (dropReference(part)) workList.push_back(part);
    parts_.clear();
}

// ---- CodeItem, Label, Cmd --------------------------------------------------------------

Label* CodeItem::asLabel() { return nullptr; }
Cmd* CodeItem::asCmd() { return nullptr; }
bool CodeItem::isResolved() const { return true; }
void CodeItem::setSpan(const SourceSpan& span) { span_ = CompactSpan(span); }
void CodeItem::remapLabels(LabelMap&) {}

Label::Label() : CodeItem(Kind::label), id_(takeLabelId()) {}

Label* Label::asLabel() { return this; }

std::string Label::toString() const { return "Label " + std::to_string(id_); }

CodeItem* Label::clone() const {
    auto* copy = new Label();
    copy->setSpan(span());
    return copy;
}

Cmd* Cmd::asCmd() { return this; }

RunKernel Cmd::runKernel() const { return nullptr; }

RunRole Cmd::runRole() const { return RunRole::none; }

int64_t Cmd::runValue() const { return 0; }

int64_t Cmd::runSecond() const { return 0; }

RunForm Cmd::runForm() const { return {}; }

bool CmdWithTarget::isResolved() const { return target_ != nullptr && target_->address() != -1; }

void CmdWithTarget::remapLabels(LabelMap& map) {
    // Tested here, not by checkSemantic: the text form is built only for the error.
    if (target_ == nullptr) failSemantic("Jump target missing in '%s'", toString().c_str());
    auto found = map.find(target_);
    // A target that is not placed in the linked code would leave the instruction with
    // no target at all: refuse the program instead.
    checkSemantic(found != map.end() && found->second != nullptr,
                  "Jump target Label %d is not placed in the linked code", target_->id());
    target_ = found->second;
}

std::string CmdWithTarget::textWithTarget(std::string_view operation) const {
    std::string text(operation);
    text += ' ';
    text += target_ != nullptr ? target_->toString() : std::string("Label ?");
    return text;
}

// ---- Code ------------------------------------------------------------------------------

Code Code::concat(const Code& other) const {
    if (node_ == nullptr) return other;
    if (other.node_ == nullptr) return *this;
    return Code(new CodeJoin(node_, other.node_));
}

void Code::append(Code other) {
    if (other.node_ == nullptr) return;
    if (node_ == nullptr) {
        *this = std::move(other);
        return;
    }
    CodeSequence* sequence = node_->asSequence();
    if (sequence == nullptr || node_->refCount() != 1) {
        // A fresh sequence takes over this handle's reference to the node.
        auto* fresh = new CodeSequence();
        Code held(fresh); // frees it should the reservation fail
        fresh->parts_.reserve(2);
        fresh->parts_.push_back(node_);
        node_ = fresh;
        held.abandon();
        sequence = fresh;
    }
    CodeSequence* theirs = other.node_->asSequence();
    if (theirs != nullptr && other.node_->refCount() == 1) {
        // Their parts move over with their references; the emptied sequence goes with other.
        sequence->parts_.insert(sequence->parts_.end(), theirs->parts_.begin(), theirs->parts_.end());
        theirs->parts_.clear();
        return;
    }
    sequence->parts_.push_back(other.node_);
    other.node_ = nullptr; // its reference moves to the sequence
}

void Code::setSpan(const SourceSpan& span) const {
    forEachItem([&span](CodeItem* item) {
        item->setSpan(span);
        return true;
    });
}

bool Code::containsLabel() const {
    bool found = false;
    forEachItem([&found](CodeItem* item) {
        found = item->asLabel() != nullptr;
        return !found;
    });
    return found;
}

// ---- CodeLinked ------------------------------------------------------------------------

CodeLinked::CodeLinked(const Code& code) {
    std::vector<CodeItem*> sources;
    code.forEachItem([&sources](CodeItem* item) {
        sources.push_back(item);
        return true;
    });
    try {
        items_.reserve(sources.size());
        for (CodeItem* source : sources) {
            CodeItem* copy = source->clone();
            CodeNode::retain(copy);
            items_.push_back(copy);
        }
        placeLabels(sources);
    } catch (...) {
        releaseAll(); // no partial program remains
        throw;
    }
}

CodeLinked::CodeLinked(Code&& code) {
    if (!takeSoleTree(code)) {
        *this = CodeLinked(static_cast<const Code&>(code));
        code = Code();
        return;
    }
    try {
        placeLabels(items_);
    } catch (...) {
        releaseAll();
        throw;
    }
}

namespace {

// One step of a walk over a code tree in program order: a node, and for a sequence the
// index of its next part. A sequence stays one frame while its parts are walked, so that
// a run of a million items never has a million entries on the stack.
struct TreeFrame {
    CodeNode* node;
    size_t next;
};

} // namespace

bool CodeLinked::takeSoleTree(Code& code) {
    CodeNode* root = code.node();
    if (root == nullptr) return true;
    // Every node must be held once: by the handle (the root) or by its one parent.
    std::vector<TreeFrame> stack{{root, 0}};
    size_t items = 0;
    while (!stack.empty()) {
        TreeFrame& frame = stack.back();
        CodeNode* node = frame.node;
        if (frame.next == 0 && node->refCount() != 1) return false;
        if (CodeSequence* sequence = node->asSequence()) {
            // Items in a row are taken here; a frame only for a part with parts of its own.
            const std::vector<CodeNode*>& parts = sequence->parts();
            for (; frame.next < parts.size() && parts[frame.next]->asItem() != nullptr; ++frame.next) {
                if (parts[frame.next]->refCount() != 1) return false;
                ++items;
            }
            if (frame.next < parts.size())
                stack.push_back({parts[frame.next++], 0});
            else
                stack.pop_back();
            continue;
        }
        stack.pop_back();
        if (CodeJoin* join = node->asJoin()) {
            stack.push_back({join->right(), 0});
            stack.push_back({join->left(), 0});
        } else {
            ++items;
        }
    }
    // The items left to right, each join freed as soon as its children are on the stack
    // and each sequence once its parts are walked: without releasing the children, since
    // the program takes the references they held.
    items_.reserve(items);
    stack.push_back({root, 0});
    while (!stack.empty()) {
        TreeFrame& frame = stack.back();
        CodeNode* node = frame.node;
        if (CodeSequence* sequence = node->asSequence()) {
            const std::vector<CodeNode*>& parts = sequence->parts();
            for (; frame.next < parts.size(); ++frame.next) {
                CodeItem* item = parts[frame.next]->asItem();
                if (item == nullptr) break;
                items_.push_back(item);
            }
            if (frame.next < parts.size()) {
                stack.push_back({parts[frame.next++], 0});
            } else {
                stack.pop_back();
                sequence->parts_.clear();
                delete sequence;
            }
            continue;
        }
        stack.pop_back();
        if (CodeJoin* join = node->asJoin()) {
            stack.push_back({join->right(), 0});
            stack.push_back({join->left(), 0});
            delete join;
        } else {
            items_.push_back(node->asItem());
        }
    }
    code.abandon();
    return true;
}

void CodeLinked::placeLabels(const std::vector<CodeItem*>& sources) {
    LabelMap map;
    for (size_t i = 0; i < items_.size(); ++i) {
        if (!items_[i]->isLabel()) continue; // without a virtual call for every instruction
        if (Label* label = items_[i]->asLabel()) {
            // A label placed twice: the last position wins for every reference.
            map[sources[i]->asLabel()] = label;
            label->setAddress(static_cast<int64_t>(i));
        }
    }
    for (CodeItem* item : items_) item->remapLabels(map);
}

CodeLinked::CodeLinked(const CodeLinked& other) : items_(other.items_) {
    for (CodeItem* item : items_) CodeNode::retain(item);
}

CodeLinked::CodeLinked(CodeLinked&& other) noexcept : items_(std::move(other.items_)) {
    other.items_.clear();
}

CodeLinked& CodeLinked::operator=(const CodeLinked& other) {
    if (this == &other) return *this;
    for (CodeItem* item : other.items_) CodeNode::retain(item); // before releasing ours
    releaseAll();
    items_ = other.items_;
    return *this;
}

CodeLinked& CodeLinked::operator=(CodeLinked&& other) noexcept {
    if (this == &other) return *this;
    releaseAll();
    items_ = std::move(other.items_);
    other.items_.clear();
    return *this;
}

CodeLinked::~CodeLinked() { releaseAll(); }

void CodeLinked::releaseAll() {
    for (CodeItem* item : items_) CodeNode::release(item);
    items_.clear();
}

std::string CodeLinked::toString() const {
    std::string text;
    for (const CodeItem* item : items_) {
        text += item->toString();
        text += '\n';
    }
    return text;
}

} // namespace Karsto
