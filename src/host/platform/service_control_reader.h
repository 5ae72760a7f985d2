#pragma once
// Splits the bytes the service manager writes into control codes: one decimal number per
// line, optionally ended by "\r\n". Lines that are no such number (empty, other
// characters, above 2^32 - 1) are skipped; a line never holds more than a few bytes in
// memory however long it is.

#include <cstdint>
#include <span>
#include <vector>

namespace Karsto {

class ServiceControlReader {
public:
    // Appends the code of every line the bytes complete to codes.
    void feed(std::span<const char> bytes, std::vector<uint32_t>& codes);

private:
    void endLine(std::vector<uint32_t>& codes);

    uint64_t value_ = 0;
    bool digits_ = false;    // the line has a digit so far
    bool invalid_ = false;   // the line can no longer be a code
    bool carriage_ = false;  // the last byte was '\r'
};

} // namespace Karsto
