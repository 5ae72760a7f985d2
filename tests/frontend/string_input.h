#pragma once
// A ScannerInput over a string, for scanning exactly the given bytes (the file input
// appends a line feed). Lines count at line feeds, as in the stream input.

#include <string>

#include "frontend/scanner_input.h"

namespace Karsto {

class StringInput : public ScannerInput {
public:
    explicit StringInput(std::string text) : text_(std::move(text)) {}

    int16_t peek(int32_t n) override {
        size_t at = current_ + static_cast<size_t>(n);
        return at < text_.size() ? static_cast<unsigned char>(text_[at]) : -1;
    }
    std::string text(int32_t n) override { return text_.substr(current_, static_cast<size_t>(n)); }
    void advance(int32_t n) override { current_ += static_cast<size_t>(n); }
    SourcePosition location(int32_t n) override {
        SourcePosition position{"", 1, 1, 0, 0, false};
        size_t end = std::min(text_.size(), current_ + static_cast<size_t>(n));
        for (size_t i = 0; i < end; ++i) {
            if (text_[i] == '\n') {
                ++position.line;
                position.column = 1;
            } else {
                ++position.column;
            }
        }
        position.offset = position.inputOffset = static_cast<int32_t>(end);
        return position;
    }

private:
    std::string text_;
    size_t current_ = 0;
};

} // namespace Karsto
