#pragma once
// An input of exactly the given bytes (no line feed appended), with positions found by a
// search over the line starts, so that inputs of megabytes scan in linear time. Shared
// by the randomized front-end test and the fuzz targets.

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "frontend/scanner_input.h"

namespace Karsto {

// A scanner that stops finding tokens would call for positions forever; the input
// refuses once far more were asked for than any scan of its bytes needs.
struct Runaway : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class FuzzInput : public ScannerInput {
public:
    explicit FuzzInput(std::string text) : text_(std::move(text)), budget_(8 * text_.size() + 64) {
        lineStarts_.push_back(0);
        for (size_t i = 0; i < text_.size(); ++i)
            if (text_[i] == '\n') lineStarts_.push_back(i + 1);
    }

    int16_t peek(int32_t n) override {
        const size_t at = current_ + static_cast<size_t>(n);
        return at < text_.size() ? static_cast<unsigned char>(text_[at]) : -1;
    }
    std::string text(int32_t n) override { return text_.substr(current_, static_cast<size_t>(n)); }
    void advance(int32_t n) override { current_ += static_cast<size_t>(n); }
    SourcePosition location(int32_t n) override {
        if (budget_-- == 0) throw Runaway("the scanner stopped making progress");
        const size_t at = std::min(text_.size(), current_ + static_cast<size_t>(n));
        const auto line = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), at) - 1;
        return SourcePosition{file_, static_cast<int32_t>(line - lineStarts_.begin() + 1),
                              static_cast<int32_t>(at - *line + 1), static_cast<int32_t>(at),
                              static_cast<int32_t>(at), false};
    }

    const std::string& source() const { return text_; }
    int32_t lineCount() const { return static_cast<int32_t>(lineStarts_.size()); }

private:
    std::string text_;
    size_t current_ = 0;
    size_t budget_;
    std::vector<size_t> lineStarts_;
    SharedString file_ = "fuzz.jyx";
};

} // namespace Karsto
