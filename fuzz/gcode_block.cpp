// The G-code block executor on any sequence of blocks: words of every address (and some
// that are none) with ordinary and extreme values, skip levels, G and M numbers valid or
// not. A block either fails with a run error or closes its block; a skipped block changes
// nothing; nothing else may leave a block (no other exception, no crash, no undefined
// behaviour under the sanitizers).
//
// Input: a flag byte (bit 0 recording on, bit 1 a milling tool in slot 1, bit 2 x scaled
// by 2, bit 3 disable mask bit 2 set), then blocks: a header byte (bits 0-2 the word
// count, bits 3-4 the skip level: none, "/", "/2", "/70"), then per word a name byte
// (index into kNames) and a value byte: below 0xF0 a small value, else eight raw bytes of
// a double follow.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/exception.h"
#include "fuzz_support.h"
#include "gcode/gprocessor_nc2.h"
#include "gcode/ninterface_null.h"

namespace Karsto::Fuzz {
namespace {

constexpr size_t kMaxBlocks = 64;

const char* const kNames[] = {"g", "x",  "y",  "z",  "a",  "b",  "c",  "f", "i",  "j",  "k",
                              "u", "m",  "d",  "p",  "n",  "h",  "s",  "t", "q1", "q2", "q3",
                              "q4", "q5", "q6", "w", "xy", "", "e"};
constexpr size_t kNameCount = sizeof kNames / sizeof kNames[0];

// The G numbers the executor knows, and a few it does not.
constexpr double kGCodes[] = {0, 1, 2, 3, 4, 9, 17, 18, 19, 31, 40, 41, 42, 53, 54, 55,
                              56, 57, 58, 59, 60, 70, 71, 74, 90, 91, 700, 710, 5, 1.0004, 1.2};
constexpr size_t kGCodeCount = sizeof kGCodes / sizeof kGCodes[0];

constexpr int32_t kSkipLevels[] = {-1, 0, 2, 70};

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool more() const { return at_ < size_; }
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    double rawDouble() {
        uint8_t bytes[8] = {};
        for (uint8_t& b : bytes) b = byte();
        double value = 0.0;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

double wordValue(const std::string& name, Reader& in) {
    const uint8_t selector = in.byte();
    if (selector >= 0xF0) return in.rawDouble();
    if (name == "g") return kGCodes[selector % kGCodeCount];
    if (name == "p") return (selector & 1) ? 1.0 : -1.0;
    return (static_cast<double>(selector) - 120.0) / 4.0;
}

} // namespace
} // namespace Karsto::Fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace Karsto;
    using namespace Karsto::Fuzz;
    Reader in(data, size);
    const uint8_t flags = in.byte();

    NInterfaceNull output;
    GProcessorNc2 processor(&output);
    processor.startProgram();
    if (flags & 1u) processor.ipolRules = 1;
    if (flags & 2u) {
        processor.tools.setToolType(1, static_cast<int32_t>(ToolType::mill));
        processor.tools.setParam(1, static_cast<int>(ToolParam::radius), 2.0);
    }
    if (flags & 4u) processor.setAxisScaling(2.0, 0);
    if (flags & 8u) processor.disableMask = uint64_t{1} << 2;

    std::vector<GCodeWord> words;
    for (size_t blocks = 0; blocks < kMaxBlocks && in.more(); ++blocks) {
        const uint8_t header = in.byte();
        const int32_t skipLevel = kSkipLevels[(header >> 3) & 3u];
        words.clear();
        for (uint8_t n = header & 7u; n > 0; --n) {
            GCodeWord word;
            word.name = kNames[in.byte() % kNameCount];
            word.value = wordValue(word.name, in);
            words.push_back(word);
        }
        const int64_t before = processor.key().counter;
        const bool skipped = skipLevel >= 0 && skipLevel < 64 && ((processor.disableMask >> skipLevel) & 1u);
        try {
            processor.executeBlock(skipLevel, words, SourceSpan());
        } catch (const ExceptionRuntime&) {
            continue; // the run would end here; the processor must still be usable
        }
        const int64_t advanced = processor.key().counter - before;
        require(skipped ? advanced == 0 : advanced == 1,
                "a block advanced the key by %lld (skipped: %d)", static_cast<long long>(advanced), skipped);
    }
    try {
        processor.finishProgram();
    } catch (const ExceptionRuntime&) {
    }
    return 0;
}
