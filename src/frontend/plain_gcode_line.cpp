#include "frontend/plain_gcode_line.h"

namespace Karsto {

namespace {

bool isBlankOrTab(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
// A letter in lower case; anything else unchanged.
char lowerLetter(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool isLetter(char c) {
    const char lower = lowerLetter(c);
    return lower >= 'a' && lower <= 'z';
}

} // namespace

bool readPlainGcodeWords(std::string_view line, bool allowAssign, std::vector<PlainGcodeWord>& words) {
    words.clear();
    const size_t size = line.size();
    size_t at = 0;
    const auto skipBlanks = [&] {
        while (at < size && isBlankOrTab(line[at])) ++at;
    };
    skipBlanks();
    while (at < size) {
        const char letter = lowerLetter(line[at]);
        if (!isLetter(letter) || letter == 'q' || letter == 'r') return false;
        PlainGcodeWord word{at, 0, false, 0, 0};
        ++at;
        if (at < size && (isLetter(line[at]) || line[at] == '_')) return false;
        skipBlanks();
        if (allowAssign && at < size && line[at] == '=') {
            ++at;
            skipBlanks();
        }
        if (at < size && line[at] == '-') {
            word.negated = true;
            word.minus = at;
            ++at;
            skipBlanks();
        }
        word.numberBegin = at;
        bool point = false;
        bool digit = false;
        for (; at < size; ++at) {
            if (isDigit(line[at])) {
                digit = true;
            } else if (line[at] == '.' && !point) {
                point = true;
            } else {
                break;
            }
        }
        if (!digit) return false;
        if (at < size && (line[at] == '_' || line[at] == '.' || line[at] == 'e' || line[at] == 'E')) return false;
        word.numberEnd = at;
        words.push_back(word);
        skipBlanks();
    }
    return true;
}

} // namespace Karsto
