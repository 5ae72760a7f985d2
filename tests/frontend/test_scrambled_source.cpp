#include <gtest/gtest.h>

#include <string>

#include "frontend/scrambled_source.h"

namespace Karsto {
namespace {

std::string bytes(std::initializer_list<unsigned char> values) {
    return std::string(values.begin(), values.end());
}

TEST(ScrambledSource, RoundTripAndSize) {
    const std::string texts[] = {"", "abcde", "{x:=1;}\r\n", std::string("\0\xff\x80 ab", 6), "12345678"};
    for (const std::string& plain : texts) {
        SCOPED_TRACE(plain.size());
        std::string scrambled = scrambleSource(plain);
        EXPECT_EQ(scrambled.size(), 20 + (plain.size() + 3) / 4 * 4);
        EXPECT_TRUE(isScrambledSource(scrambled));
        EXPECT_EQ(unscrambleSource(scrambled), plain);
    }
}

TEST(ScrambledSource, SameTextTwiceGivesDifferentFiles) {
    std::string plain = "G1 X10 Y20\n";
    std::string first = scrambleSource(plain);
    std::string second = scrambleSource(plain);
    EXPECT_NE(first, second);
    EXPECT_EQ(unscrambleSource(first), plain);
    EXPECT_EQ(unscrambleSource(second), plain);
}

// Pins the generator's constants and shifts: files written by one build must read back in
// every later one.
TEST(ScrambledSource, GoldenVectorWithFixedSeed) {
    std::string scrambled = scrambleSource("{x:=1;}\r\n", 0x12345678u);
    EXPECT_EQ(scrambled, bytes({0xD2, 0xEE, 0x5E, 0x11, 0x01, 0x00, 0x00, 0x00,  // magic, version
                                 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // length, reserved
                                 0x78, 0x56, 0x34, 0x12, 0x81, 0x38, 0x69, 0x1F,  // seed, body
                                 0x6C, 0xFB, 0x8C, 0x19, 0x36, 0x45, 0x78, 0xEF}));
    EXPECT_EQ(unscrambleSource(scrambled), "{x:=1;}\r\n");
}

TEST(ScrambledSource, RecognitionNeedsMagicLengthAndMultipleOfFour) {
    std::string magic = bytes({0xD2, 0xEE, 0x5E, 0x11});
    EXPECT_FALSE(isScrambledSource(magic));                  // shorter than 8
    EXPECT_FALSE(isScrambledSource(magic + "ab"));           // 6 bytes, not a multiple of 4
    EXPECT_TRUE(isScrambledSource(magic + "abcd"));          // 8 bytes
    EXPECT_FALSE(isScrambledSource(bytes({0xD2, 0xEE, 0x5E, 0x12}) + "abcd"));
    EXPECT_EQ(unscrambleSource(magic + "ab"), magic + "ab"); // plain content stays as it is
}

TEST(ScrambledSource, HeaderLengthCutsOrExtends) {
    std::string scrambled = scrambleSource("abcdefgh", 7);
    auto withLength = [&](unsigned char length) {
        std::string changed = scrambled;
        changed[8] = static_cast<char>(length);
        return unscrambleSource(changed);
    };
    EXPECT_EQ(withLength(3), "abc");
    EXPECT_EQ(withLength(11), std::string("abcdefgh\0\0\0", 11));

    std::string otherVersion = scrambled;
    otherVersion[4] = 2;
    EXPECT_EQ(unscrambleSource(otherVersion), "");
    // Magic and version but no seed word: no text words at all.
    EXPECT_EQ(unscrambleSource(scrambled.substr(0, 16)), "");
}

// Readers refuse a header that claims more text than the body's words hold; every file
// the writer makes holds its text, padding included.
TEST(ScrambledSource, BodyHoldsTheClaimedText) {
    for (size_t length = 0; length <= 9; ++length) {
        SCOPED_TRACE(length);
        EXPECT_TRUE(scrambledBodyHoldsText(scrambleSource(std::string(length, 'x'), 3)));
    }
    std::string scrambled = scrambleSource("abcdef", 7); // two text words
    auto claiming = [&](uint32_t length) {
        std::string changed = scrambled;
        for (size_t i = 0; i < 4; ++i) changed[8 + i] = static_cast<char>((length >> (8 * i)) & 0xFFu);
        return scrambledBodyHoldsText(changed);
    };
    EXPECT_TRUE(claiming(0));
    EXPECT_TRUE(claiming(8));
    EXPECT_FALSE(claiming(9));
    EXPECT_FALSE(claiming(2147483600u));
    EXPECT_FALSE(claiming(0xFFFFFFFFu));
    // Plain text and headers without text words claim nothing.
    EXPECT_TRUE(scrambledBodyHoldsText("plain text"));
    std::string otherVersion = scrambled;
    otherVersion[4] = 2;
    EXPECT_TRUE(scrambledBodyHoldsText(otherVersion));
}

} // namespace
} // namespace Karsto
