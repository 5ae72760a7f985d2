#pragma once
// A point in a source text and a stretch between two such points. Both are plain
// values: every holder (instruction, token, exception, NC command) owns its copy. The
// file name is shared between copies, since spans are copied far more often than made.

#include <cstdint>
#include <string>

#include "core/shared_string.h"

namespace Karsto {

struct SourcePosition {
    SharedString file;       // name as requested (main path, dir + quoted name, or <name>)
    int32_t line = 0;        // from 1
    int32_t column = 0;      // from 1, counts bytes; a tab is one
    int32_t offset = 0;      // byte offset in that file's (unscrambled) text
    int32_t inputOffset = 0; // byte offset in the include-expanded input text
    bool scrambled = false;  // the file was a scrambled source: never show its text
};

class SourceSpan {
public:
    SourceSpan() = default;
    SourceSpan(const SourcePosition& from, const SourcePosition& to)
        : valid(true), begin(from), end(to) {}

    // "?" when not valid; else "file: l.c-l.c", the end file named only when it differs.
    std::string toString() const;

    bool valid = false;
    SourcePosition begin;
    SourcePosition end;
};

// A SourceSpan in 40 bytes instead of 72, for holders that keep millions of them (the
// instructions of a large program): one file name, and the end as a line, a column and
// one length by which both offsets advance, as they do within one file part. Any other
// span is kept whole on the heap. expand gives back exactly the span it was made from.
class CompactSpan {
public:
    CompactSpan() : head_{} {}
    explicit CompactSpan(const SourceSpan& span);
    CompactSpan(const CompactSpan& other);
    CompactSpan& operator=(const CompactSpan& other);
    ~CompactSpan();

    SourceSpan expand() const;
    bool valid() const { return (flags_ & (kValid | kWhole)) != 0; } // a whole span is a valid one

private:
    enum : uint8_t { kValid = 1, kBeginScrambled = 2, kEndScrambled = 4, kWhole = 8 };
    // A whole span's pointer overlays the first two fields only, so that the flags fit
    // in what would otherwise be padding.
    struct Head {
        int32_t beginLine;
        int32_t beginColumn;
    };

    SharedString file_; // empty for a whole span
    union {
        Head head_;
        SourceSpan* whole_;
    };
    int32_t beginOffset_ = 0;
    int32_t beginInputOffset_ = 0;
    int32_t endLine_ = 0;
    int32_t endColumn_ = 0;
    int32_t length_ = 0;
    uint8_t flags_ = 0;
};
static_assert(sizeof(CompactSpan) <= 40);

} // namespace Karsto
