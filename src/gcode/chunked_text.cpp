#include "gcode/chunked_text.h"

#include <algorithm>
#include <cstring>

namespace Karsto {

void ChunkedTextBuffer::addChunk() {
    // Left uninitialised: a page is touched only when text reaches it.
    chunks_.push_back(std::unique_ptr<char[]>(new char[chunkBytes_]));
    char* chunk = chunks_.back().get();
    setp(chunk, chunk + chunkBytes_);
}

size_t ChunkedTextBuffer::usedIn(size_t i) const {
    return i + 1 < chunks_.size() ? chunkBytes_ : static_cast<size_t>(pptr() - pbase());
}

ChunkedTextBuffer::int_type ChunkedTextBuffer::overflow(int_type ch) {
    if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
    if (pptr() == epptr()) addChunk();
    *pptr() = traits_type::to_char_type(ch);
    pbump(1);
    return ch;
}

std::streamsize ChunkedTextBuffer::xsputn(const char* text, std::streamsize count) {
    std::streamsize left = count;
    while (left > 0) {
        if (pptr() == epptr()) addChunk();
        const auto room = static_cast<std::streamsize>(epptr() - pptr());
        const std::streamsize part = std::min(left, room);
        std::memcpy(pptr(), text, static_cast<size_t>(part));
        // pbump takes an int: a part is at most one chunk.
        pbump(static_cast<int>(part));
        text += part;
        left -= part;
    }
    return count;
}

size_t ChunkedTextBuffer::size() const {
    return chunks_.empty() ? 0 : (chunks_.size() - 1) * chunkBytes_ + usedIn(chunks_.size() - 1);
}

std::string ChunkedTextBuffer::str() const {
    std::string text;
    text.reserve(size());
    for (size_t i = 0; i < chunks_.size(); ++i) text.append(chunks_[i].get(), usedIn(i));
    return text;
}

void ChunkedTextBuffer::writeTo(std::ostream& destination) const {
    for (size_t i = 0; i < chunks_.size(); ++i)
        destination.write(chunks_[i].get(), static_cast<std::streamsize>(usedIn(i)));
}

} // namespace Karsto
