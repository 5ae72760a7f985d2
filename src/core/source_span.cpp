#include "core/source_span.h"

#include <cstdint>
#include <utility>

namespace Karsto {

std::string SourceSpan::toString() const {
    if (!valid) return "?";
    std::string text;
    text.reserve(begin.file.size() + end.file.size() + 32);
    text += begin.file.str();
    text += ": ";
    text += std::to_string(begin.line);
    text += '.';
    text += std::to_string(begin.column);
    text += '-';
    if (end.file != begin.file) { // byte-wise, lengths included
        text += end.file.str();
        text += ": ";
    }
    text += std::to_string(end.line);
    text += '.';
    text += std::to_string(end.column);
    return text;
}

CompactSpan::CompactSpan(const SourceSpan& span) : head_{} {
    if (!span.valid) return;
    const int64_t length = int64_t{span.end.offset} - span.begin.offset;
    const bool compact = span.end.file == span.begin.file &&
                         length == int64_t{span.end.inputOffset} - span.begin.inputOffset &&
                         length >= INT32_MIN && length <= INT32_MAX;
    if (!compact) {
        whole_ = new SourceSpan(span);
        flags_ = kWhole;
        return;
    }
    file_ = span.begin.file;
    head_ = Head{span.begin.line, span.begin.column};
    beginOffset_ = span.begin.offset;
    beginInputOffset_ = span.begin.inputOffset;
    endLine_ = span.end.line;
    endColumn_ = span.end.column;
    length_ = static_cast<int32_t>(length);
    flags_ = static_cast<uint8_t>(kValid | (span.begin.scrambled ? kBeginScrambled : 0) |
                                  (span.end.scrambled ? kEndScrambled : 0));
}

CompactSpan::CompactSpan(const CompactSpan& other)
    : file_(other.file_),
      head_{},
      beginOffset_(other.beginOffset_),
      beginInputOffset_(other.beginInputOffset_),
      endLine_(other.endLine_),
      endColumn_(other.endColumn_),
      length_(other.length_),
      flags_(other.flags_) {
    if ((flags_ & kWhole) != 0)
        whole_ = new SourceSpan(*other.whole_);
    else
        head_ = other.head_;
}

CompactSpan& CompactSpan::operator=(const CompactSpan& other) {
    if (this == &other) return *this;
    CompactSpan copy(other); // may throw; this stays as it was
    if ((flags_ & kWhole) != 0) delete whole_;
    file_ = std::move(copy.file_);
    if ((copy.flags_ & kWhole) != 0)
        whole_ = copy.whole_;
    else
        head_ = copy.head_;
    beginOffset_ = copy.beginOffset_;
    beginInputOffset_ = copy.beginInputOffset_;
    endLine_ = copy.endLine_;
    endColumn_ = copy.endColumn_;
    length_ = copy.length_;
    flags_ = copy.flags_;
    copy.flags_ = 0; // its whole span, if any, is ours now
    return *this;
}

CompactSpan::~CompactSpan() {
    if ((flags_ & kWhole) != 0) delete whole_;
}

SourceSpan CompactSpan::expand() const {
    if ((flags_ & kWhole) != 0) return *whole_;
    if ((flags_ & kValid) == 0) return SourceSpan();
    // Filled in place: no position is copied and dropped on the way.
    SourceSpan span;
    span.valid = true;
    span.begin.file = file_;
    span.begin.line = head_.beginLine;
    span.begin.column = head_.beginColumn;
    span.begin.offset = beginOffset_;
    span.begin.inputOffset = beginInputOffset_;
    span.begin.scrambled = (flags_ & kBeginScrambled) != 0;
    span.end.file = file_;
    span.end.line = endLine_;
    span.end.column = endColumn_;
    span.end.offset = beginOffset_ + length_;
    span.end.inputOffset = beginInputOffset_ + length_;
    span.end.scrambled = (flags_ & kEndScrambled) != 0;
    return span;
}

} // namespace Karsto
