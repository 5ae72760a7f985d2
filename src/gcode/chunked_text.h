#pragma once
// An output stream that keeps its text in chunks of a fixed size instead of one string
// that doubles as it grows: the preview's text runs to hundreds of megabytes for a large
// program, and a doubling string holds up to twice that, three times while it moves.

#include <cstddef>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace Karsto {

class ChunkedTextBuffer final : public std::streambuf {
public:
    explicit ChunkedTextBuffer(size_t chunkBytes) : chunkBytes_(chunkBytes) {}

    // Every byte written, in order.
    std::string str() const;
    // Writes every byte written, in order, to destination.
    void writeTo(std::ostream& destination) const;
    size_t size() const;

protected:
    int_type overflow(int_type ch) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;

private:
    void addChunk();
    // Bytes used in chunk i: all but the last are full.
    size_t usedIn(size_t i) const;

    size_t chunkBytes_;
    std::vector<std::unique_ptr<char[]>> chunks_;
};

class ChunkedTextStream final : public std::ostream {
public:
    static constexpr size_t defaultChunkBytes = size_t{1} << 20;

    explicit ChunkedTextStream(size_t chunkBytes = defaultChunkBytes)
        : std::ostream(nullptr), buffer_(chunkBytes) {
        rdbuf(&buffer_);
    }

    std::string str() const { return buffer_.str(); }
    void writeTo(std::ostream& destination) const { buffer_.writeTo(destination); }
    size_t size() const { return buffer_.size(); }

private:
    ChunkedTextBuffer buffer_;
};

} // namespace Karsto
