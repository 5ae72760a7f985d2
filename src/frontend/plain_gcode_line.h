#pragma once
// Plain G-code lines told from their bytes alone: the lines a CAM system writes by the
// million ("G1 X5 Z-0.18 F300"), which the compile and the run-file reader take without
// the scanner. A line is plain when the scanner would split it into one-letter addresses,
// minus signs, numbers of digits with at most one point, blanks and tabs, and nothing
// else; then its words are known by their offsets.

#include <cstddef>
#include <string_view>
#include <vector>

namespace Karsto {

// One word of a plain line, as offsets into the line.
struct PlainGcodeWord {
    size_t letter;      // the address, one letter
    size_t minus;       // the minus sign, when negated
    bool negated;
    size_t numberBegin; // the number's token
    size_t numberEnd;
};

// The words of `line` (its bytes without its line ends) in order, when it is plain: each
// an address other than Q and R (which take digits) that no letter or underscore follows
// (a name), with allowAssign an optional "=", an optional minus and a number that no
// underscore, point or exponent continues. False for any other line; words is then
// unspecified.
bool readPlainGcodeWords(std::string_view line, bool allowAssign, std::vector<PlainGcodeWord>& words);
// The same for the line at the start of text, read up to its first line end (CR or LF)
// or text's end in one pass: that offset, or npos when the line is not plain.
size_t readPlainGcodeLine(std::string_view text, bool allowAssign, std::vector<PlainGcodeWord>& words);
// The same reading without "=" that only counts the words and measures the longest
// number, for a reader that needs no more to tell the line's fate.
size_t checkPlainGcodeLine(std::string_view text, size_t& words, size_t& longestNumber);

// Nearly every number of a CAM program is plain: decimal digits, for a float with one
// point among them, at most this long. Such a number is read without the copy and the C
// conversion of the literal parsers; both round the decimal text correctly, so the value
// is theirs, and at this length no range error is possible.
inline constexpr size_t kPlainNumberLengthMax = 17;
// The value of digits only, or false for any other text (the literal parsers take it).
bool readPlainInteger(std::string_view text, double& value);
// The value of digits with at most one point and at least one digit, or false.
// Digits alone give the value readPlainInteger gives.
bool readPlainFloat(std::string_view text, double& value);
// Either (readPlainFloat takes both).
bool readPlainNumber(std::string_view text, double& value);

} // namespace Karsto
