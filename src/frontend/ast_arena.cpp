#include "frontend/ast_arena.h"

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "core/aligned_block.h"
#include "frontend/ast_node.h"
#include "frontend/grammar_tables.h"
#include "frontend/scanner.h"
#include "frontend/scanner_input.h"

namespace Karsto {

namespace {

constexpr size_t kAlignment = alignof(Parser::AstNode);
// A reference holds the block in its high bits and the 4-byte unit within it in the
// low kUnitBits.
constexpr unsigned kUnitBits = 19;
constexpr uint32_t kUnitMask = (uint32_t{1} << kUnitBits) - 1;
constexpr size_t kMaxBlocks = size_t{1} << (32 - kUnitBits);
static_assert(AstArena::blockBytes / kAlignment == size_t{1} << kUnitBits);

constexpr size_t roundUp(size_t size) { return (size + kAlignment - 1) & ~(kAlignment - 1); }

size_t slotBytes(int32_t production) {
    const Grammar::ProductionInfo& info = Grammar::productionTable[production];
    return 4 * (info.length + size_t{Grammar::tokenCount(info.tokens)});
}

// After the child slots: the reference of the node's attribute record.
constexpr size_t kRecordSlotBytes = 4;
// Attribute records hold pointers and 64-bit values.
constexpr size_t kRecordAlignment = 8;

} // namespace

AstArena::~AstArena() {
    reset();
    for (unsigned char* block : blocks_) {
        ASAN_UNPOISON_MEMORY_REGION(block, blockBytes);
        unmapAlignedBlock(block, blockBytes);
    }
}

void AstArena::addBlock() {
    if (blocks_.size() == kMaxBlocks) throw std::bad_alloc();
    // Room in the list first: a failure to grow it must not lose a fresh block.
    if (blocks_.size() == blocks_.capacity()) blocks_.reserve(2 * blocks_.size() + 1);
    unsigned char* block = mapAlignedBlock(blockBytes);
    new (block) BlockHeader{this, static_cast<uint32_t>(blocks_.size())};
    // Under the address sanitizer only storage handed out is readable.
    ASAN_POISON_MEMORY_REGION(block + headerBytes, blockBytes - headerBytes);
    blocks_.push_back(block);
}

void* AstArena::allocate(size_t size) {
    const size_t bytes = roundUp(size);
    if (bytes > blockBytes - headerBytes) throw std::bad_alloc();
    if (blocks_.empty()) {
        addBlock();
        used_ = headerBytes;
    }
    if (used_ + bytes > blockBytes) {
        if (block_ + 1 == blocks_.size()) addBlock();
        ++block_;
        used_ = headerBytes;
    }
    unsigned char* storage = blocks_[block_] + used_;
    used_ += bytes;
    ASAN_UNPOISON_MEMORY_REGION(storage, size);
    return storage;
}

Parser::AstNode* AstArena::newNode(int32_t production, uint32_t begin, uint32_t end) {
    const size_t slots = slotBytes(production) + kRecordSlotBytes;
    void* storage = allocate(sizeof(Parser::AstNode) + slots);
    auto* node = new (storage) Parser::AstNode(production, begin, end);
    std::memset(static_cast<unsigned char*>(storage) + sizeof(Parser::AstNode), 0, slots);
    ++nodes_;
    return node;
}

uint32_t AstArena::referenceOf(const Parser::AstNode* node) {
    const auto address = reinterpret_cast<uintptr_t>(node);
    const uintptr_t block = address & ~uintptr_t{blockBytes - 1};
    const uint32_t index = reinterpret_cast<const BlockHeader*>(block)->index;
    return (index << kUnitBits) | static_cast<uint32_t>((address - block) / kAlignment);
}

Parser::AstNode* AstArena::nodeAt(uint32_t reference) const {
    return reinterpret_cast<Parser::AstNode*>(nodeUnit(reference));
}

unsigned char* AstArena::nodeUnit(uint32_t reference) const {
    return blocks_[reference >> kUnitBits] + (reference & kUnitMask) * kAlignment;
}

void AstArena::setChild(Parser::AstNode* node, size_t i, Parser::AstChild child) {
    unsigned char* slot = node->slot(i);
    Parser::AstNode* linked = child.node();
    const bool tokenSlot = (Grammar::productionTable[node->production_].tokens >> i) & 1u;
    if (tokenSlot != (linked == nullptr)) throw std::logic_error("syntax tree: a token and a node change places");
    if (tokenSlot) {
        const uint32_t ends[2] = {child.begin(), child.end()};
        std::memcpy(slot, ends, sizeof ends);
        return;
    }
    const uint32_t reference = referenceOf(linked);
    std::memcpy(slot, &reference, sizeof reference);
    linked->parent_ = referenceOf(node);
    linked->index_ = static_cast<uint8_t>(i);
}

void AstArena::addPosition(const SourcePosition& position) {
    const int32_t key = position.inputOffset - (position.column - 1);
    // Ascending as the scanner reads; anything else is put in its place.
    auto at = lines_.end();
    if (!lines_.empty() && lines_.back().key >= key) {
        at = std::lower_bound(lines_.begin(), lines_.end(), key,
                              [](const LineStart& entry, int32_t k) { return entry.key < k; });
        if (at != lines_.end() && at->key == key) return;
    }
    size_t file = files_.size();
    while (file > 0 && !(files_[file - 1] == position.file)) --file;
    if (file == 0) {
        if (files_.size() > UINT16_MAX) throw std::length_error("syntax tree: too many source files");
        files_.push_back(position.file);
        file = files_.size();
    }
    lines_.insert(at, LineStart{key, position.line, position.offset - (position.column - 1),
                                static_cast<uint16_t>(file - 1), position.scrambled});
}

void AstArena::addToken(const Token& token) {
    // A token is kept as its two offsets, so they must enclose exactly its text.
    const int64_t length = int64_t{token.span.end.inputOffset} - token.span.begin.inputOffset;
    if (token.span.begin.inputOffset < 0 || length != static_cast<int64_t>(token.text.size()))
        throw std::logic_error("scanner input: token offsets do not enclose the token's text");
    if (input_ != nullptr) return;
    addPosition(token.span.begin);
    addPosition(token.span.end);
    const auto begin = static_cast<size_t>(token.span.begin.inputOffset);
    if (token.text.empty()) return;
    if (text_.size() < begin + token.text.size()) text_.resize(begin + token.text.size());
    text_.replace(begin, token.text.size(), token.text);
}

SourcePosition AstArena::positionAt(uint32_t offset) const {
    const auto at = static_cast<int32_t>(offset);
    if (input_ != nullptr) return input_->locationAt(at);
    auto next = std::upper_bound(lines_.begin(), lines_.end(), at,
                                 [](int32_t k, const LineStart& entry) { return k < entry.key; });
    if (next == lines_.begin()) return SourcePosition{"", 1, 1 + at, at, at, false};
    const LineStart& start = *std::prev(next);
    return SourcePosition{files_[start.file], start.line, 1 + (at - start.key), start.offset + (at - start.key), at,
                          start.scrambled};
}

SourceSpan AstArena::spanOf(uint32_t begin, uint32_t end) const { return SourceSpan(positionAt(begin), positionAt(end)); }

std::string_view AstArena::textOf(uint32_t begin, uint32_t end) const {
    const std::string& text = input_ != nullptr ? input_->expandedText() : text_;
    if (end <= begin || end > text.size()) return {};
    return std::string_view(text).substr(begin, end - begin);
}

unsigned char* AstArena::recordSlot(const Parser::AstNode& node) {
    auto* base = reinterpret_cast<unsigned char*>(const_cast<Parser::AstNode*>(&node));
    return base + sizeof(Parser::AstNode) + slotBytes(node.production());
}

AstArena::RecordHeader* AstArena::headerAt(unsigned char* unit) {
    // The arena cuts 4-byte units: the header starts at the next 8-byte boundary.
    return reinterpret_cast<RecordHeader*>(unit + (reinterpret_cast<uintptr_t>(unit) % kRecordAlignment));
}

void* AstArena::attributesOf(const Parser::AstNode& node) {
    static_assert(sizeof(RecordHeader) == kRecordAlignment);
    unsigned char* slot = recordSlot(node);
    uint32_t reference = 0;
    std::memcpy(&reference, slot, sizeof reference);
    if (reference != 0) return headerAt(nodeUnit(reference)) + 1;
    const uint16_t nonterminal = node.nonterminal();
    const size_t size = astAttributesSize(nonterminal);
    if (size == 0) throw std::logic_error("syntax tree: no attribute record for nonterminal " + std::to_string(nonterminal));
    auto* unit =
        static_cast<unsigned char*>(allocate(sizeof(RecordHeader) + size + kRecordAlignment - kAlignment));
    RecordHeader* header = headerAt(unit);
    void* record = constructAstAttributes(nonterminal, header + 1);
    // Chained once made, so that every record in the chain is a whole one to destroy.
    *header = RecordHeader{0, nonterminal};
    reference = referenceOf(reinterpret_cast<const Parser::AstNode*>(unit));
    if (lastRecord_ != 0)
        headerAt(nodeUnit(lastRecord_))->next = reference;
    else
        firstRecord_ = reference;
    lastRecord_ = reference;
    std::memcpy(slot, &reference, sizeof reference);
    return record;
}

bool AstArena::rollBackTo(const Parser::AstNode* node) {
    if (blocks_.empty()) return false;
    const auto* at = reinterpret_cast<const unsigned char*>(node);
    unsigned char* block = blocks_[block_];
    if (at < block + headerBytes || at >= block + used_) return false;
    const uint32_t reference = referenceOf(node);
    if (lastRecord_ != 0 && lastRecord_ >= reference) return false;
    // Every node cut since is counted back: the storage between holds nodes only.
    int64_t taken = 0;
    for (const unsigned char* unit = at; unit < block + used_;) {
        const auto* cut = reinterpret_cast<const Parser::AstNode*>(unit);
        unit += sizeof(Parser::AstNode) + slotBytes(cut->production()) + kRecordSlotBytes;
        ++taken;
    }
    const auto kept = static_cast<size_t>(at - block);
    ASAN_POISON_MEMORY_REGION(block + kept, used_ - kept);
    used_ = kept;
    nodes_ -= taken;
    return true;
}

void AstArena::extendEnd(Parser::AstNode* node, uint32_t end) {
    if (end > node->end_) node->end_ = end;
}

void AstArena::reset() {
    for (uint32_t reference = firstRecord_; reference != 0;) {
        RecordHeader* header = headerAt(nodeUnit(reference));
        reference = header->next;
        destroyAstAttributes(header->nonterminal, header + 1);
    }
    firstRecord_ = 0;
    lastRecord_ = 0;
    for (unsigned char* block : blocks_) ASAN_POISON_MEMORY_REGION(block + headerBytes, blockBytes - headerBytes);
    block_ = 0;
    used_ = headerBytes;
    nodes_ = 0;
    lines_.clear();
    files_.clear();
    text_.clear();
    input_ = nullptr;
}

size_t AstArena::reservedBytes() const {
    return blocks_.size() * AstArena::blockBytes + lines_.capacity() * sizeof(LineStart) + text_.capacity() +
           files_.capacity() * sizeof(SharedString);
}

} // namespace Karsto
