// The literal parsers on any text, not only the shapes the scanner delivers: each ends
// in a value or in the error its contract names (ExceptionSemantic for integers and
// durations or dates, std::invalid_argument or std::out_of_range for reals), and never
// reads past the text or overflows (the sanitizers watch).
//
// Input: the first byte chooses the parser and its argument, the rest is the text.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/exception.h"
#include "core/literals.h"
#include "core/type.h"
#include "fuzz_support.h"

namespace Karsto::Fuzz {
namespace {

enum class LiteralParser : uint8_t {
    integer2 = 0,
    integer8 = 1,
    integer10 = 2,
    integer16 = 3,
    real = 4,
    string = 5,
    wideString = 6,
    typedPrefix = 7,
    time = 8,
};
constexpr uint8_t kParsers = 9;

// Only the exception classes the contract names may leave.
template <class... Allowed, class Parse>
void parseAllowing(const std::string& text, Parse&& parse) {
    try {
        parse();
    } catch (const std::exception& error) {
        require(((dynamic_cast<const Allowed*>(&error) != nullptr) || ...),
                "'%s' raised another exception than its contract names: %s", text.c_str(), error.what());
    }
}

} // namespace
} // namespace Karsto::Fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Karsto::createElementaryTypes(); // typed literals name their elementary type
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace Karsto;
    using namespace Karsto::Fuzz;
    if (size == 0) return 0;
    const auto parser = static_cast<LiteralParser>(data[0] % kParsers);
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (parser) {
    case LiteralParser::integer2:
    case LiteralParser::integer8:
    case LiteralParser::integer10:
    case LiteralParser::integer16: {
        static constexpr int32_t kBases[] = {2, 8, 10, 16};
        const int32_t base = kBases[static_cast<uint8_t>(parser)];
        parseAllowing<ExceptionSemantic>(text, [&] { parseIntegerLiteral(text, base); });
        break;
    }
    case LiteralParser::real:
        parseAllowing<std::invalid_argument, std::out_of_range>(text, [&] { parseRealLiteral(text); });
        break;
    case LiteralParser::string:
    case LiteralParser::wideString: {
        const int32_t width = parser == LiteralParser::string ? 1 : 2;
        std::vector<uint16_t> codes = parseStringLiteral(text, width);
        // Every character comes from at least one byte between the quotes.
        require(codes.size() + 2 <= text.size() || codes.empty(), "%zu characters from %zu bytes", codes.size(),
                text.size());
        break;
    }
    case LiteralParser::typedPrefix:
        typedLiteralType(text);
        break;
    case LiteralParser::time:
        parseAllowing<ExceptionSemantic>(text, [&] { parseTimeLiteral(text); });
        break;
    }
    return 0;
}
