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

} // namespace Karsto
