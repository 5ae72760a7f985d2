#include "core/code.h"

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

} // namespace

// ---- CodeNode --------------------------------------------------------------------------

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

// ---- CodeItem, Label, Cmd --------------------------------------------------------------

Label* CodeItem::asLabel() { return nullptr; }
Cmd* CodeItem::asCmd() { return nullptr; }
bool CodeItem::isResolved() const { return true; }
void CodeItem::setSpan(const SourceSpan& span) { span_ = span; }
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
        LabelMap map;
        for (size_t i = 0; i < sources.size(); ++i) {
            CodeItem* copy = sources[i]->clone();
            CodeNode::retain(copy);
            items_.push_back(copy);
            if (Label* label = copy->asLabel()) {
                // A label placed twice: the last position wins for every reference.
                map[sources[i]->asLabel()] = label;
                label->setAddress(static_cast<int64_t>(i));
            }
        }
        for (CodeItem* item : items_) item->remapLabels(map);
    } catch (...) {
        releaseAll(); // no partial program remains
        throw;
    }
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
