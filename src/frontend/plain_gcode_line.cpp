#include "frontend/plain_gcode_line.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>

namespace Karsto {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

constexpr int64_t kDecimal = 10;

} // namespace

bool readPlainInteger(std::string_view text, double& value) {
    if (text.empty() || text.size() > kPlainNumberLengthMax) return false;
    int64_t number = 0;
    for (const char c : text) {
        if (!isDigit(c)) return false;
        number = number * kDecimal + (c - '0');
    }
    value = static_cast<double>(number);
    return true;
}

// Digits m with k of them after the point stand for m / 10^k. While m and 10^k are both
// exact doubles (m up to 2^53, k up to 22), one division rounds that quotient correctly,
// as the literal parsers do; beyond, from_chars, which rounds correctly too.
constexpr uint64_t kExactMantissaMax = uint64_t{1} << 53;
constexpr std::array<double, 23> kExactPowersOfTen = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                      1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                      1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

bool readPlainFloat(std::string_view text, double& value) {
    if (text.size() > kPlainNumberLengthMax) return false;
    uint64_t mantissa = 0; // at most 17 digits: no overflow
    int32_t decimals = -1; // digits after the point; -1 before it
    bool digit = false;
    for (const char c : text) {
        if (isDigit(c)) {
            mantissa = mantissa * kDecimal + static_cast<uint64_t>(c - '0');
            digit = true;
            if (decimals >= 0) ++decimals;
        } else if (c == '.' && decimals < 0) {
            decimals = 0;
        } else {
            return false;
        }
    }
    if (!digit) return false;
    if (decimals <= 0) { // a whole number: the conversion rounds it correctly
        value = static_cast<double>(mantissa);
        return true;
    }
    if (mantissa <= kExactMantissaMax && static_cast<size_t>(decimals) < kExactPowersOfTen.size()) {
        value = static_cast<double>(mantissa) / kExactPowersOfTen[static_cast<size_t>(decimals)];
        return true;
    }
    const char* end = text.data() + text.size();
    const std::from_chars_result read = std::from_chars(text.data(), end, value);
    return read.ec == std::errc() && read.ptr == end;
}

bool readPlainNumber(std::string_view text, double& value) { return readPlainFloat(text, value); }

namespace {

// What a byte can be in a plain line, one table lookup per byte: the lines are read twice
// (checked when compiled, parsed when run) by the million.
enum PlainClass : uint8_t {
    kPlainOther = 0,
    kPlainBlank = 1 << 0,     // blank or tab
    kPlainDigit = 1 << 1,
    kPlainLetter = 1 << 2,    // any letter
    kPlainAddress = 1 << 3,   // a letter that is an address alone: not Q or R
    kPlainNameGoesOn = 1 << 4, // after an address letter, makes it a name: a letter or "_"
    kPlainNumberGoesOn = 1 << 5, // after a number, makes it another token: "_", ".", "e"
    kPlainLineEnd = 1 << 6,   // CR or LF
};

constexpr std::array<uint8_t, 256> plainClasses() {
    std::array<uint8_t, 256> classes{};
    classes[' '] = classes['\t'] = kPlainBlank;
    classes['\n'] = classes['\r'] = kPlainLineEnd;
    for (int c = '0'; c <= '9'; ++c) classes[static_cast<size_t>(c)] = kPlainDigit;
    for (int c = 'a'; c <= 'z'; ++c) {
        const bool address = c != 'q' && c != 'r';
        const auto bits = static_cast<uint8_t>(kPlainLetter | kPlainNameGoesOn | (address ? kPlainAddress : 0));
        classes[static_cast<size_t>(c)] = bits;
        classes[static_cast<size_t>(c - 'a' + 'A')] = bits;
    }
    classes['_'] = kPlainNameGoesOn | kPlainNumberGoesOn;
    classes['.'] = kPlainNumberGoesOn;
    classes['e'] |= kPlainNumberGoesOn;
    classes['E'] |= kPlainNumberGoesOn;
    return classes;
}

constexpr std::array<uint8_t, 256> kPlainClasses = plainClasses();

} // namespace

namespace {

// The one reading of a plain line; sink takes each word as it is read.
template <class Sink>
size_t readPlainLine(std::string_view text, bool allowAssign, Sink&& sink) {
    const size_t size = text.size();
    // Past the text's end reads as a line end.
    const auto classOf = [&text, size](size_t at) {
        return at < size ? kPlainClasses[static_cast<unsigned char>(text[at])] : uint8_t{kPlainLineEnd};
    };
    size_t at = 0;
    const auto skipBlanks = [&] {
        while ((classOf(at) & kPlainBlank) != 0) ++at;
    };
    skipBlanks();
    while ((classOf(at) & kPlainLineEnd) == 0) {
        if ((classOf(at) & kPlainAddress) == 0) return std::string_view::npos;
        PlainGcodeWord word{at, 0, false, 0, 0};
        ++at;
        if ((classOf(at) & kPlainNameGoesOn) != 0) return std::string_view::npos;
        skipBlanks();
        if (allowAssign && at < size && text[at] == '=') {
            ++at;
            skipBlanks();
        }
        if (at < size && text[at] == '-') {
            word.negated = true;
            word.minus = at;
            ++at;
            skipBlanks();
        }
        word.numberBegin = at;
        while ((classOf(at) & kPlainDigit) != 0) ++at;
        bool digit = at > word.numberBegin;
        if (at < size && text[at] == '.') {
            const size_t point = ++at;
            while ((classOf(at) & kPlainDigit) != 0) ++at;
            digit = digit || at > point;
        }
        if (!digit || (classOf(at) & kPlainNumberGoesOn) != 0) return std::string_view::npos;
        word.numberEnd = at;
        sink(word);
        skipBlanks();
    }
    return at;
}

} // namespace

size_t readPlainGcodeLine(std::string_view text, bool allowAssign, std::vector<PlainGcodeWord>& words) {
    words.clear();
    return readPlainLine(text, allowAssign, [&words](const PlainGcodeWord& word) { words.push_back(word); });
}

size_t checkPlainGcodeLine(std::string_view text, size_t& words, size_t& longestNumber) {
    words = 0;
    longestNumber = 0;
    return readPlainLine(text, false, [&words, &longestNumber](const PlainGcodeWord& word) {
        ++words;
        longestNumber = std::max(longestNumber, word.numberEnd - word.numberBegin);
    });
}

bool readPlainGcodeWords(std::string_view line, bool allowAssign, std::vector<PlainGcodeWord>& words) {
    return readPlainGcodeLine(line, allowAssign, words) == line.size();
}

} // namespace Karsto
