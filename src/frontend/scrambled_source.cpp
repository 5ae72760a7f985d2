#include "frontend/scrambled_source.h"

#include <random>

namespace Karsto {

namespace {

constexpr uint32_t kMagic = 0x115EEED2;
constexpr uint32_t kVersion = 1;
constexpr size_t kWordBytes = 4;
constexpr size_t kHeaderWords = 5; // magic, version, text length, reserved, seed

enum class HeaderWord : size_t {
    magic = 0,
    version = 1,
    textLength = 2,
    reserved = 3,
    seed = 4,
};

// Marsaglia's xorshift with 128 bits of state. The four initial-state constants are the
// first 32 fraction bits of the square roots of 2, 3, 5 and 7; they are pairwise
// different, so no seed can zero the whole state (which would make every output 0 and
// leave the text in clear). Changing any constant or shift makes every scrambled file
// written so far unreadable.
class ScrambleGenerator {
public:
    explicit ScrambleGenerator(uint32_t seed)
        : state_{seed ^ 0x6A09E667u, seed ^ 0xBB67AE85u, seed ^ 0x3C6EF372u, seed ^ 0xA54FF53Au} {}

    // Mixes the oldest and the newest word, drops the oldest, appends the result.
    uint32_t next() {
        uint32_t oldest = state_[0];
        uint32_t newest = state_[3];
        oldest ^= oldest << 11;
        uint32_t result = newest ^ (newest >> 19) ^ oldest ^ (oldest >> 8);
        state_[0] = state_[1];
        state_[1] = state_[2];
        state_[2] = newest;
        state_[3] = result;
        return result;
    }

private:
    uint32_t state_[4];
};

uint32_t wordAt(std::string_view bytes, size_t index) {
    uint32_t word = 0;
    for (size_t i = 0; i < kWordBytes; ++i) {
        size_t at = index * kWordBytes + i;
        uint32_t byte = at < bytes.size() ? static_cast<unsigned char>(bytes[at]) : 0u;
        word |= byte << (8 * i);
    }
    return word;
}

uint32_t headerWord(std::string_view content, HeaderWord which) {
    return wordAt(content, static_cast<size_t>(which));
}

void appendWord(std::string& out, uint32_t word) {
    for (size_t i = 0; i < kWordBytes; ++i) out.push_back(static_cast<char>((word >> (8 * i)) & 0xFFu));
}

} // namespace

bool isScrambledSource(std::string_view content) {
    return content.size() >= 2 * kWordBytes && content.size() % kWordBytes == 0 &&
           headerWord(content, HeaderWord::magic) == kMagic;
}

std::string scrambleSource(std::string_view plain) {
    std::random_device source;
    return scrambleSource(plain, static_cast<uint32_t>(source()));
}

std::string scrambleSource(std::string_view plain, uint32_t seed) {
    size_t bodyWords = (plain.size() + kWordBytes - 1) / kWordBytes;
    std::string out;
    out.reserve((kHeaderWords + bodyWords) * kWordBytes);
    appendWord(out, kMagic);
    appendWord(out, kVersion);
    appendWord(out, static_cast<uint32_t>(plain.size()));
    appendWord(out, 0);
    appendWord(out, seed);
    ScrambleGenerator generator(seed);
    for (size_t i = 0; i < bodyWords; ++i) appendWord(out, wordAt(plain, i) ^ generator.next());
    return out;
}

namespace {

// Another version, or no seed word, leaves no text words.
bool hasTextWords(std::string_view content) {
    return headerWord(content, HeaderWord::version) == kVersion &&
           content.size() / kWordBytes >= kHeaderWords;
}

} // namespace

std::string unscrambleSource(std::string_view content) {
    if (!isScrambledSource(content)) return std::string(content);
    if (!hasTextWords(content)) return {};
    size_t words = content.size() / kWordBytes;
    std::string plain;
    plain.reserve((words - kHeaderWords) * kWordBytes);
    ScrambleGenerator generator(headerWord(content, HeaderWord::seed));
    for (size_t i = kHeaderWords; i < words; ++i) appendWord(plain, wordAt(content, i) ^ generator.next());
    plain.resize(unscrambledLength(content), '\0');
    return plain;
}

size_t unscrambledLength(std::string_view content) {
    if (!isScrambledSource(content)) return content.size();
    return hasTextWords(content) ? headerWord(content, HeaderWord::textLength) : 0;
}

bool scrambledBodyHoldsText(std::string_view content) {
    if (!isScrambledSource(content) || !hasTextWords(content)) return true;
    return unscrambledLength(content) <= (content.size() / kWordBytes - kHeaderWords) * kWordBytes;
}

} // namespace Karsto
