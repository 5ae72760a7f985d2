// Control lines: what counts as a code, whatever the reads cut.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/platform/service_control_reader.h"

namespace Karsto {
namespace {

std::vector<uint32_t> codesOf(const std::vector<std::string>& reads) {
    ServiceControlReader reader;
    std::vector<uint32_t> codes;
    for (const std::string& read : reads) reader.feed(std::span<const char>(read.data(), read.size()), codes);
    return codes;
}

TEST(ServiceControlReaderTest, OneDecimalCodePerCompleteLine) {
    struct Case {
        std::vector<std::string> reads;
        std::vector<uint32_t> codes;
    };
    const Case cases[] = {
        {{"129\n131\n1\n"}, {129, 131, 1}},
        {{"12", "9\n1", "31\n"}, {129, 131}},             // cut anywhere
        {{"130"}, {}},                                     // no line end yet
        {{"4\r\n"}, {4}},                                  // CR only right before LF
        {{"4\r", "\n"}, {4}},
        {{"4\r5\n", "\r\n", "\n"}, {}},
        {{"0\n00012\n4294967295\n"}, {0, 12, 4294967295u}},
        {{"4294967296\n", "99999999999999999999999\n7\n"}, {7}}, // above 32 bits
        {{"stop\n-1\n+4\n 4\n4 \n1x\n"}, {}},
        {{std::string("1\0\n2\n", 5)}, {2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reads.front().substr(0, 20));
        EXPECT_EQ(codesOf(c.reads), c.codes);
    }
    // A long line is dropped, not kept.
    const std::string longLine(100000, '9');
    EXPECT_EQ(codesOf({longLine, longLine, "\n4\n"}), std::vector<uint32_t>{4});
}

} // namespace
} // namespace Karsto
