#pragma once
// Storage of one parser's syntax tree. Nodes are fixed-size records cut from large
// blocks, their children in place; a reset frees the whole tree at once and the blocks
// are cut again from the start. Every block begins with its arena's address, so a node
// finds its arena (and through it its spans and token texts) without a field of its own.
//
// Spans and token texts are kept as offsets into the expanded input. A compile's file
// input turns them back itself (its line map and expanded text); for any other input
// the arena keeps what is needed: the line starts as the scanner reported them (one
// entry per line and file part) and a copy of every token's bytes at its offset.
// Either way positions come out exactly as the scanner gave them, since they follow
// from the offset alone: the column counts from the line start, the file offset with it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/shared_string.h"
#include "core/source_span.h"
#include "frontend/parser.h"

namespace Karsto {

struct Token;
class ScannerInputFile;

class AstArena {
public:
    // Blocks are aligned to their size, so the block of a node (and the arena written in
    // its first bytes) is found by masking the node's address.
    static constexpr size_t blockBytes = size_t{1} << 21;
    static constexpr size_t headerBytes = 16;

    AstArena() = default;
    AstArena(const AstArena&) = delete;
    AstArena& operator=(const AstArena&) = delete;
    // Destroys every attribute record and frees the blocks.
    ~AstArena();

    // A node of that production with empty child slots and the span between the two
    // input offsets. Throws std::bad_alloc when no block can be had.
    Parser::AstNode* newNode(int32_t production, uint32_t begin, uint32_t end);
    // Sets child i of the node (a token where the production has a terminal, else a
    // node) and links a node child back to it.
    void setChild(Parser::AstNode* node, size_t i, Parser::AstChild child);

    // A node's 32-bit reference (block and 4-byte unit within it) and back; 16 GiB of
    // nodes at most.
    static uint32_t referenceOf(const Parser::AstNode* node);
    Parser::AstNode* nodeAt(uint32_t reference) const;

    // Spans and token texts of the next parse are read from this input (which must then
    // outlive the tree's readers) instead of being noted token by token; null to note them.
    void readFrom(ScannerInputFile* input) { input_ = input; }
    // The input of readFrom; null when tokens are noted.
    const ScannerInputFile* fileInput() const { return input_; }
    // Notes the two ends of a token the scanner produced, and its text.
    void addToken(const Token& token);
    SourcePosition positionAt(uint32_t offset) const;
    SourceSpan spanOf(uint32_t begin, uint32_t end) const;
    // The token text between two offsets that addToken saw; valid until the next
    // addToken or reset.
    std::string_view textOf(uint32_t begin, uint32_t end) const;

    // The attribute record of a node, made on first use in the arena's storage.
    void* attributesOf(const Parser::AstNode& node);

    // Takes back the storage of node and of everything cut after it, for a parser that
    // replaces a subtree it has just built by a smaller one: its storage is then cut
    // again at once, while still in the cache. False, and nothing taken back, when node
    // lies in an earlier block than the one being cut or an attribute record was made
    // after it.
    bool rollBackTo(const Parser::AstNode* node);
    // Moves the end of a node's span to the input offset end (not before its begin).
    static void extendEnd(Parser::AstNode* node, uint32_t end);

    // Frees every node, record, line start and token text; the blocks stay for reuse.
    void reset();

    // Nodes made since the last reset.
    int64_t nodeCount() const { return nodes_; }
    // Bytes taken from the system for nodes, line starts and token texts.
    size_t reservedBytes() const;

private:
    struct LineStart {
        int32_t key;       // input offset of the point at column 1
        int32_t line;
        int32_t offset;    // file offset at the key
        uint16_t file;     // index into files_
        bool scrambled;
    };
    // In front of every attribute record: the next record made (0: none) and the
    // record's nonterminal. The records form a chain in the order made, so the reset
    // finds every one without a list of its own.
    struct RecordHeader {
        uint32_t next;
        uint16_t nonterminal;
    };
    static RecordHeader* headerAt(unsigned char* unit);
    // Where a node keeps the reference of its attribute record (0: none made yet).
    static unsigned char* recordSlot(const Parser::AstNode& node);
    struct BlockHeader {
        AstArena* arena;
        uint32_t index;
    };

    void* allocate(size_t bytes);
    unsigned char* nodeUnit(uint32_t reference) const;
    void addBlock();
    void addPosition(const SourcePosition& position);

    std::vector<unsigned char*> blocks_;
    size_t block_ = 0; // the block being cut
    size_t used_ = 0;  // bytes cut from it
    int64_t nodes_ = 0;

    ScannerInputFile* input_ = nullptr;
    std::vector<LineStart> lines_;
    std::vector<SharedString> files_;
    std::string text_; // token bytes at their input offsets; the gaps are unused
    // The chain of every attribute record made, for their destruction at the reset. The
    // records live in the blocks beside the nodes; a node finds its own through its
    // record slot. References of the units their headers were cut from; 0: none.
    uint32_t firstRecord_ = 0;
    uint32_t lastRecord_ = 0;
};

} // namespace Karsto
