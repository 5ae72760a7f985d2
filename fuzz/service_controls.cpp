// The service manager's control lines on any bytes: every code comes from a line of
// decimal digits (a "\r" right before its end allowed) whose value fits 32 bits, there
// is never more than one code per line, and however the bytes are cut into reads the
// codes are the same (the sanitizers watch for overruns).
//
// Input: the bytes the manager writes; the first byte picks where the rest is cut.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "host/platform/service_control_reader.h"

namespace {

using namespace Karsto;

// The codes a plain line-by-line reading gives.
std::vector<uint32_t> expectedCodes(std::string_view text) {
    std::vector<uint32_t> codes;
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n', start)) {
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.find_first_not_of("0123456789") != std::string_view::npos) continue;
        const size_t first = line.find_first_not_of('0');
        const std::string_view digits = first == std::string_view::npos ? "0" : line.substr(first);
        if (digits.size() > 10 || (digits.size() == 10 && digits > "4294967295")) continue;
        codes.push_back(static_cast<uint32_t>(std::stoull(std::string(digits))));
    }
    return codes;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t cut = size > 1 ? data[0] % size : 0;

    ServiceControlReader whole;
    std::vector<uint32_t> wholeCodes;
    whole.feed(std::span<const char>(text.data(), text.size()), wholeCodes);

    ServiceControlReader pieces;
    std::vector<uint32_t> pieceCodes;
    pieces.feed(std::span<const char>(text.data(), cut), pieceCodes);
    pieces.feed(std::span<const char>(text.data() + cut, text.size() - cut), pieceCodes);

    Fuzz::require(wholeCodes == pieceCodes, "cutting at %zu changes the codes", cut);
    Fuzz::require(wholeCodes == expectedCodes(text), "codes differ from a line-by-line reading");
    return 0;
}
