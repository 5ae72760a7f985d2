#pragma once
// An immutable string whose copies share one block: a copy costs a count increment
// instead of an allocation. Source positions hold their file names this way, since a
// name is copied into every token, syntax-tree node, instruction and error. Reads and
// comparisons see exactly the bytes the string was made from.
//
// The count is not atomic: every holder lives on the thread that compiles and runs the
// channel's program.

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>

namespace Karsto {

class SharedString {
public:
    SharedString() = default;
    // Implicit, so that a std::string or a literal can stand wherever a name is expected.
    SharedString(const std::string& text) : block_(make(text)) {}
    SharedString(std::string_view text) : block_(make(text)) {}
    SharedString(const char* text) : block_(make(std::string_view(text))) {}

    SharedString(const SharedString& other) noexcept : block_(other.block_) { retain(); }
    SharedString(SharedString&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
    SharedString& operator=(const SharedString& other) noexcept {
        // Retained before the old block is released, so that assigning a string to
        // itself (or to another holder of its block) never frees the block.
        Block* kept = other.block_;
        other.retain();
        release();
        block_ = kept;
        return *this;
    }
    SharedString& operator=(SharedString&& other) noexcept {
        if (this != &other) {
            release();
            block_ = std::exchange(other.block_, nullptr);
        }
        return *this;
    }
    ~SharedString() { release(); }

    const std::string& str() const { return block_ != nullptr ? block_->text : emptyText(); }
    operator const std::string&() const { return str(); }
    operator std::string_view() const { return str(); }

    const char* c_str() const { return str().c_str(); }
    const char* data() const { return str().data(); }
    size_t size() const { return block_ != nullptr ? block_->text.size() : 0; }
    bool empty() const { return size() == 0; }

    // Byte-wise, lengths included; copies of one string compare equal without reading.
    friend bool operator==(const SharedString& a, const SharedString& b) {
        return a.block_ == b.block_ || a.str() == b.str();
    }
    friend bool operator==(const SharedString& a, const std::string& b) { return a.str() == b; }
    friend bool operator==(const SharedString& a, std::string_view b) { return a.str() == b; }
    friend bool operator==(const SharedString& a, const char* b) { return a.str() == b; }

private:
    struct Block {
        size_t count;
        std::string text;
    };

    // An empty text needs no block: the default string and every empty one look alike.
    static Block* make(std::string_view text) {
        return text.empty() ? nullptr : new Block{1, std::string(text)};
    }
    static const std::string& emptyText();
    // Out of line: the optimiser would otherwise see the delete beside other copies'
    // counts and warn about a use after free that the count rules out.
    static void destroy(Block* block);

    void retain() const {
        if (block_ != nullptr) ++block_->count;
    }
    void release() {
        if (block_ != nullptr && --block_->count == 0) destroy(block_);
        block_ = nullptr;
    }

    Block* block_ = nullptr;
};

std::ostream& operator<<(std::ostream& out, const SharedString& text);

} // namespace Karsto
