#pragma once
// Values of literals from their source text. The scanner guarantees each literal's
// shape; these functions check what its patterns cannot: ranges, conversions, empty
// durations, fractions and dates before 1970.

#include <cstdint>
#include <string>
#include <vector>

namespace Karsto {

class Type;

// A 64-bit integer from a literal with its base prefix ("2#", "8#", "16#"; none for
// base 10). Text without "-" converts unsigned and keeps its 64 bits, so sixteen F
// digits give -1. "Invalid literal '...'" when nothing converts or the value overflows.
int64_t parseIntegerLiteral(const std::string& text, int32_t base);

// A double from a real literal. Failures are the standard library's errors, not
// ExceptionSemantic: std::invalid_argument when nothing converts, std::out_of_range on
// overflow or underflow.
double parseRealLiteral(const std::string& text);

// Character codes of a string literal given with its quotes; bytesPerCharacter is 1
// for STRING ('...') and 2 for WSTRING ("..."), the width of a "$hh" escape.
std::vector<uint16_t> parseStringLiteral(const std::string& text, int32_t bytesPerCharacter);

// The elementary type a typed duration or date literal names by the text before its
// first "#" ("t", "time", "ltod", ...), or null for any other prefix.
Type* typedLiteralType(const std::string& text);

// Nanoseconds of a typed duration, date, time-of-day or date-and-time literal given in
// lower case with its prefix and "#".
int64_t parseTimeLiteral(const std::string& text);

} // namespace Karsto
