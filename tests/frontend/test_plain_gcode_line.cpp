// Plain G-code lines read from their bytes: which lines count as plain, where their words
// lie, and that their numbers get exactly the value the literal parser gives.

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/literals.h"
#include "frontend/plain_gcode_line.h"

namespace Karsto {
namespace {

// The words of a plain line as "letter[-]number" texts joined by blanks, or "not plain".
std::string wordsOf(const std::string& line, bool allowAssign = false) {
    std::vector<PlainGcodeWord> words;
    if (!readPlainGcodeWords(line, allowAssign, words)) return "not plain";
    std::string text;
    for (const PlainGcodeWord& word : words) {
        if (!text.empty()) text += ' ';
        text += line[word.letter];
        if (word.negated) text += line.substr(word.minus, 1);
        text += line.substr(word.numberBegin, word.numberEnd - word.numberBegin);
    }
    return text;
}

TEST(PlainGcodeLine, TellsPlainLinesAndTheirWords) {
    const std::pair<std::string, std::string> cases[] = {
        {"G1 X5 Y0 Z-0.18 F1300", "G1 X5 Y0 Z-0.18 F1300"},
        {"  g1\tx-.5 y5.", "g1 x-.5 y5."},
        {"G1X1Y2", "G1 X1 Y2"},
        {"X - 3", "X-3"},
        {"", ""},
        {"G1 X1 R2", "not plain"},   // R and Q take digits into their name
        {"G1 Q2", "not plain"},
        {"GX1", "not plain"},        // a name, not an address
        {"G_1", "not plain"},
        {"X1e3", "not plain"},       // exponents, underscores and second points go to the scanner
        {"X1_000", "not plain"},
        {"X1.2.3", "not plain"},
        {"X.", "not plain"},
        {"X", "not plain"},
        {"X--1", "not plain"},
        {"X=1", "not plain"},
        {"G1 X1 (c)", "not plain"},
        {"G1 X1 // c", "not plain"},
        {"/ G1 X1", "not plain"},
        {"G1 X1\n", "not plain"},    // the caller cuts the line ends off
    };
    for (const auto& [line, words] : cases) EXPECT_EQ(wordsOf(line), words) << line;
    // The run-file reader also takes "=" before a value.
    EXPECT_EQ(wordsOf("G1 X=1 Y = -2", true), "G1 X1 Y-2");
}

// Every plain number up to the length limit gets the bits of the literal parser's value;
// longer ones and other texts are left to it.
TEST(PlainGcodeLine, NumbersGetTheLiteralParsersValue) {
    const auto bitsOf = [](double value) { return std::bit_cast<uint64_t>(value); };
    const auto expectSame = [&](const std::string& text) {
        double value = -1.0;
        ASSERT_TRUE(readPlainNumber(text, value)) << text;
        EXPECT_EQ(bitsOf(value), bitsOf(parseRealLiteral(text))) << text;
    };
    for (const std::string text : {"0", "007", "5.", ".5", "0.1", "0.3", "2.675", "9007199254740992", "9007199254740993",
                                   "99999999999999999", "12345678901234567", "123456789012345.7", ".0000000000000001",
                                   "0.300000000000004", "450359962737049.5", "9007199254740993."})
        expectSame(text);
    std::mt19937_64 random(20261211);
    for (int i = 0; i < 200000; ++i) {
        const size_t length = 1 + random() % kPlainNumberLengthMax;
        std::string text;
        for (size_t k = 0; k < length; ++k) text += static_cast<char>('0' + random() % 10);
        // A point in most of them, anywhere, the ends included.
        if (random() % 8 != 0) text[random() % length] = '.';
        if (text == ".") continue;
        expectSame(text);
        if (HasFailure()) break;
    }
    double value = 0.0;
    for (const std::string text : {"", ".", "1.2.3", "1e3", "-1", "1_0", "123456789012345678", "0.3000000000000000"})
        EXPECT_FALSE(readPlainNumber(text, value)) << text;
}

} // namespace
} // namespace Karsto
