// The preview's chunked text stream: whatever way the text arrives (single characters,
// formatted numbers, writes shorter or longer than a chunk, writes that end exactly on a
// chunk's end), it reads back byte for byte as an ostringstream fed the same way.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "gcode/chunked_text.h"

namespace Karsto {
namespace {

// Feeds both streams the same pieces: a piece of one character goes through put, the
// others through write; every tenth piece is followed by a formatted number.
void feed(std::ostream& out, const std::vector<std::string>& pieces) {
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (pieces[i].size() == 1)
            out.put(pieces[i][0]);
        else
            out.write(pieces[i].data(), static_cast<std::streamsize>(pieces[i].size()));
        if (i % 10 == 0) out << -1.25 * static_cast<double>(i) << ',';
    }
}

TEST(ChunkedText, ReadsBackAsTheTextWritten) {
    const std::string longPiece(37, 'x');
    const struct {
        const char* name;
        size_t chunkBytes;
        std::vector<std::string> pieces;
    } cases[] = {
        {"nothing written", 8, {}},
        {"single characters across chunks", 4, std::vector<std::string>(23, "c")},
        {"exactly one chunk", 8, {"01234567"}},
        {"pieces ending on chunk ends", 4, {"ab", "cd", "efgh", "ijkl"}},
        {"a piece longer than several chunks", 8, {"ab", longPiece, "c", longPiece}},
        {"the default chunk size", ChunkedTextStream::defaultChunkBytes, {"\t\t1,  2,  3,\n", longPiece}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::ostringstream expected;
        feed(expected, c.pieces);
        ChunkedTextStream text(c.chunkBytes);
        feed(text, c.pieces);
        EXPECT_TRUE(text.good());
        EXPECT_EQ(text.str(), expected.str());
        EXPECT_EQ(text.size(), expected.str().size());
        std::ostringstream written;
        text.writeTo(written);
        EXPECT_EQ(written.str(), expected.str());
    }
}

TEST(ChunkedText, KeepsItsTextAcrossAClearedErrorState) {
    ChunkedTextStream text(4);
    text << "abcdef";
    text.setstate(std::ios::badbit);
    text << "lost";
    text.clear();
    text << "gh";
    EXPECT_EQ(text.str(), "abcdefgh");
}

} // namespace
} // namespace Karsto
