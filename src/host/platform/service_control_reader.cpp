#include "host/platform/service_control_reader.h"

namespace Karsto {

void ServiceControlReader::endLine(std::vector<uint32_t>& codes) {
    if (digits_ && !invalid_) codes.push_back(static_cast<uint32_t>(value_));
    value_ = 0;
    digits_ = false;
    invalid_ = false;
    carriage_ = false;
}

void ServiceControlReader::feed(std::span<const char> bytes, std::vector<uint32_t>& codes) {
    for (const char c : bytes) {
        if (c == '\n') {
            endLine(codes);
            continue;
        }
        // A '\r' counts only right before the '\n'.
        if (carriage_) invalid_ = true;
        carriage_ = false;
        if (invalid_) continue;
        if (c == '\r') {
            carriage_ = true;
        } else if (c >= '0' && c <= '9') {
            value_ = value_ * 10 + static_cast<uint64_t>(c - '0');
            digits_ = true;
            if (value_ > UINT32_MAX) invalid_ = true;
        } else {
            invalid_ = true;
        }
    }
}

} // namespace Karsto
