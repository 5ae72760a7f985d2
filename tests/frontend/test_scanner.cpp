#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "frontend/scanner.h"
#include "frontend/source_dir.h"
#include "frontend/string_input.h"

namespace Karsto {
namespace {

// Kinds named in the cases below, by their ids in token_kinds.txt.
enum Kind : int32_t {
    kNewline = 3,
    kInteger = 4,
    kFloat = 5,
    kGAssign = 6,
    kGPlus = 7,
    kGMinus = 8,
    kGDivide = 10,
    kAddress = 11,
    kHash = 12,
    kAmpersand = 14,
    kLeftParen = 15,
    kRightParen = 16,
    kStar = 17,
    kPlus = 19,
    kDot = 22,
    kDotDot = 23,
    kCaret = 25,
    kColon = 26,
    kAssign = 27,
    kSemicolon = 29,
    kAnd = 37,
    kAbstract = 48,
    kB = 51,
    kD = 60,
    kEndVar = 82,
    kTod = 144,
    kX = 165,
    kUnderscore = 169,
    kIdentifier = 170,
    kDecimal = 173,
    kBinary = 174,
    kHex = 176,
    kReal = 177,
    kString1 = 178,
    kString2 = 179,
    kTime = 180,
    kTimeOfDay = 181,
    kInvalid = 182,
};

struct Lexeme {
    int32_t kind;
    std::string text;
    bool operator==(const Lexeme&) const = default;
};

void PrintTo(const Lexeme& lexeme, std::ostream* out) { *out << "{" << lexeme.kind << ", \"" << lexeme.text << "\"}"; }

std::vector<Lexeme> scanAll(Scanner& scanner) {
    std::vector<Lexeme> lexemes;
    for (Token token = scanner.nextToken(); !token.is(TokenKind::end); token = scanner.nextToken())
        lexemes.push_back({token.kind, token.text});
    return lexemes;
}

TEST(Scanner, TokenNames) {
    std::ifstream kinds(VORDASH_TEST_DATA_DIR "/../src/frontend/token_kinds.txt");
    ASSERT_TRUE(kinds.is_open());
    int32_t count = 0;
    for (std::string line; std::getline(kinds, line);) {
        if (line.empty() || line[0] == '#') continue;
        size_t tab = line.find('\t');
        EXPECT_EQ(Scanner::tokenName(std::stoi(line.substr(0, tab))), line.substr(tab + 1)) << line;
        ++count;
    }
    EXPECT_EQ(count, 183);

    const std::vector<std::pair<int32_t, std::string>> names = {
        {0, "<void>"},   {1, "<invalid>"},   {182, "<invalid>"},    {14, "'&'"},   {37, "'&'"},
        {8, "'-'"},      {21, "'-'"},        {6, "'='"},            {33, "'='"},   {2, "<end>"},
        {11, "<G-Code address letter>"},     {170, "<identifier>"}, {106, "LTIME_OF_DAY"},
        {178, "<1-byte string>"},            {183, ""},             {-1, ""},
    };
    for (const auto& [kind, name] : names) EXPECT_EQ(Scanner::tokenName(kind), name) << kind;
}

struct ScanCase {
    ScannerMode mode;
    std::string input;
    std::vector<Lexeme> expected;
    ScannerMode after;
};

using M = ScannerMode;

TEST(Scanner, TokensAndModes) {
    const ScanCase cases[] = {
        // G-code words, addresses and numbers
        {M::gcode, "N10 G1 X{a+1}\n",
         {{kAddress, "N"}, {kInteger, "10"}, {kAddress, "G"}, {kInteger, "1"}, {kAddress, "X"},
          {kIdentifier, "a"}, {kPlus, "+"}, {kDecimal, "1"}, {kNewline, "\n"}},
         M::gcode},
        {M::gcode, "X=-r12", {{kAddress, "X"}, {kGAssign, "="}, {kGMinus, "-"}, {kAddress, "r12"}}, M::gcode},
        {M::gcode, "G01 abc a_b __ Q7",
         {{kAddress, "G"}, {kInteger, "01"}, {kAddress, "abc"}, {kAddress, "a_b"}, {kAddress, "__"},
          {kAddress, "Q7"}},
         M::gcode},
        {M::gcode, "G01 X-1.5 Y.5 (move)\n",
         {{kAddress, "G"}, {kInteger, "01"}, {kAddress, "X"}, {kGMinus, "-"}, {kFloat, "1.5"},
          {kAddress, "Y"}, {kFloat, ".5"}, {kNewline, "\n"}},
         M::gcode},
        {M::gcode, "1. 1e5 2E-3+4/5", {{kFloat, "1."}, {kFloat, "1e5"}, {kFloat, "2E-3"}, {kGPlus, "+"},
                                        {kInteger, "4"}, {kGDivide, "/"}, {kInteger, "5"}}, M::gcode},
        // a run of line ends is one token; comments may span lines
        {M::gcode, "G1\r\n\n\r\nG2 (a\nb) // c\n",
         {{kAddress, "G"}, {kInteger, "1"}, {kNewline, "\r\n\n\r\n"}, {kAddress, "G"}, {kInteger, "2"},
          {kNewline, "\n"}},
         M::gcode},
        {M::gcode, "(* a ) b *)G", {{kAddress, "G"}}, M::gcode},

        // mode switches, including skipped matches that switch
        {M::gcode, "{x := 1;}", {{kX, "x"}, {kAssign, ":="}, {kDecimal, "1"}, {kSemicolon, ";"}}, M::gcode},
        {M::gcode, "!x := 1;\n", {{kX, "x"}, {kAssign, ":="}, {kDecimal, "1"}, {kSemicolon, ";"}}, M::gcode},
        {M::structuredText, "! G1 X5\n",
         {{kAddress, "G"}, {kInteger, "1"}, {kAddress, "X"}, {kInteger, "5"}, {kNewline, "\n"}},
         M::structuredText},
        {M::structuredText, "!G{ab}\n", {{kAddress, "G"}, {kIdentifier, "ab"}, {kNewline, "\n"}}, M::structuredText},
        {M::structuredText, "}", {}, M::gcode},
        // braces and bangs that the mode does not list are invalid characters
        {M::gcode, "}", {{kInvalid, "}"}}, M::gcode},
        {M::structuredText, "{", {{kInvalid, "{"}}, M::structuredText},
        {M::structuredTextLine, "!", {{kInvalid, "!"}}, M::structuredTextLine},
        {M::innerStructuredText, "!\n", {{kInvalid, "!"}, {kInvalid, "\n"}}, M::innerStructuredText},

        // Structured Text keywords and identifiers
        {M::structuredText, "Abstract abstracts END_var AND &",
         {{kAbstract, "Abstract"}, {kIdentifier, "abstracts"}, {kEndVar, "END_var"}, {kAnd, "AND"},
          {kAmpersand, "&"}},
         M::structuredText},
        {M::structuredText, "a__b a_ _1", {{kIdentifier, "a"}, {kUnderscore, "_"}, {kIdentifier, "_b"},
                                           {kIdentifier, "a"}, {kUnderscore, "_"}, {kIdentifier, "_1"}},
         M::structuredText},
        // literals
        {M::structuredText, "16#ff 2#102 1_000 1.5e3",
         {{kHex, "16#ff"}, {kBinary, "2#10"}, {kDecimal, "2"}, {kDecimal, "1_000"}, {kReal, "1.5e3"}},
         M::structuredText},
        {M::structuredText, "1. 1e5 1..2",
         {{kDecimal, "1"}, {kDot, "."}, {kDecimal, "1"}, {kIdentifier, "e5"}, {kDecimal, "1"},
          {kDotDot, ".."}, {kDecimal, "2"}},
         M::structuredText},
        {M::structuredText, "TOD#12:30:15.5 T#1h1d T# TOD#12:30",
         {{kTimeOfDay, "TOD#12:30:15.5"}, {kTime, "T#1h"}, {kDecimal, "1"}, {kD, "d"}, {kTime, "T#"},
          {kTod, "TOD"}, {kHash, "#"}, {kDecimal, "12"}, {kColon, ":"}, {kDecimal, "30"}},
         M::structuredText},
        {M::structuredText, "'it$'s' \"a$\"b\" 'l\nf'",
         {{kString1, "'it$'s'"}, {kString2, "\"a$\"b\""}, {kString1, "'l\nf'"}}, M::structuredText},
        {M::structuredText, "'$0'", {{kInvalid, "'"}, {kInvalid, "$"}, {kDecimal, "0"}, {kInvalid, "'"}},
         M::structuredText},
        {M::structuredText, "^b", {{kCaret, "^"}, {kB, "b"}}, M::structuredText},

        // comments nest to a depth of three
        {M::structuredText, "(* 1 (* 2 (* 3 *) 2 *) 1 *)", {}, M::structuredText},
        {M::structuredText, "(* 1 (* 2 (* 3 (* 4 *) 3 *) 2 *) 1 *)",
         {{kDecimal, "1"}, {kStar, "*"}, {kRightParen, ")"}}, M::structuredText},
        {M::structuredText, "/* a /* b */ c */ // d", {}, M::structuredText},
        {M::structuredText, "(* abc", {{kLeftParen, "("}, {kStar, "*"}, {kIdentifier, "abc"}}, M::structuredText},

        // bytes above 127 belong to comments and strings, elsewhere they are invalid
        {M::structuredText, "(* \xe4 *)'\xe4'\xe4", {{kString1, "'\xe4'"}, {kInvalid, "\xe4"}}, M::structuredText},
        {M::structuredText, "ab\xff" "cd", {{kIdentifier, "ab"}, {kInvalid, "\xff"}, {kIdentifier, "cd"}},
         M::structuredText},
        {M::gcode, "(\xe4\r)G\xe4", {{kAddress, "G"}, {kInvalid, "\xe4"}}, M::gcode},
    };
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(c.input);
        StringInput input(c.input);
        Scanner scanner(&input);
        scanner.mode = c.mode;
        EXPECT_EQ(scanAll(scanner), c.expected);
        EXPECT_EQ(scanner.mode, c.after);
    }
}

TEST(Scanner, RuleTextAndKeywordCaseInToken) {
    StringInput input("abc ABSTRACT 16#1F + ");
    Scanner scanner(&input);
    scanner.mode = ScannerMode::structuredText;
    const std::vector<std::string> rules = {"{IDENTIFIER}", "ABSTRACT", "{LIT_INTEGER_16}", "\\+"};
    for (const std::string& rule : rules) EXPECT_EQ(scanner.nextToken().rule, rule);
    EXPECT_EQ(scanner.nextToken().rule, "");
}

// A fresh scanner runs every rule at once: the lowest-numbered rule wins a tie, so a
// letter is a G-code address, and "{" switches to Structured Text.
TEST(Scanner, CombinedModeIsTheDefault) {
    StringInput input("x{x");
    Scanner scanner(&input);
    EXPECT_EQ(scanner.mode, ScannerMode::combined);
    EXPECT_EQ(scanner.nextToken().kind, kAddress);
    EXPECT_EQ(scanner.nextToken().kind, kX);
    EXPECT_EQ(scanner.mode, ScannerMode::structuredText);
}

TEST(Scanner, EndOfInputRepeats) {
    SourceDir d;
    d.write("empty.jyx", "");
    ScannerInputFileStream input;
    input.open("empty.jyx");
    Scanner scanner(&input);
    scanner.mode = ScannerMode::gcode;
    for (int call = 0; call < 3; ++call) {
        Token token = scanner.nextToken();
        EXPECT_TRUE(token.is(TokenKind::end));
        EXPECT_EQ(token.text, "");
        EXPECT_EQ(token.rule, "");
        EXPECT_EQ(token.span.toString(), "empty.jyx: 1.1-1.1");
        EXPECT_EQ(token.span.end.offset, 0);
    }
}

TEST(Scanner, SpansFromAFile) {
    SourceDir d;
    d.write("main.jyx", "N10 G1 X{a+1}\n{ y := 'a\nb'; }\n");
    ScannerInputFile input;
    input.load("main.jyx");
    Scanner scanner(&input);
    scanner.mode = ScannerMode::gcode;
    std::vector<std::string> spans;
    for (Token token = scanner.nextToken(); !token.is(TokenKind::end); token = scanner.nextToken())
        spans.push_back(token.text + " " + token.span.toString());
    const std::vector<std::string> expected = {
        "N main.jyx: 1.1-1.2",   "10 main.jyx: 1.2-1.4", "G main.jyx: 1.5-1.6",  "1 main.jyx: 1.6-1.7",
        "X main.jyx: 1.8-1.9",   "a main.jyx: 1.10-1.11", "+ main.jyx: 1.11-1.12", "1 main.jyx: 1.12-1.13",
        "\n main.jyx: 1.14-2.1", "y main.jyx: 2.3-2.4",  ":= main.jyx: 2.5-2.7", "'a\nb' main.jyx: 2.8-3.3",
        "; main.jyx: 3.3-3.4",   "\n\n main.jyx: 3.6-3.8", // the second line feed is the appended one
    };
    EXPECT_EQ(spans, expected);
}

// The stream input must scan a file as the compiler input does; they differ only after the
// file's last line feed, where the compiler input has appended one more.
TEST(Scanner, StreamInputScansLikeFileInput) {
    SourceDir d;
    d.write("run.jyx", "N1 G1 X10 (start)\r\nN2 G2 X{r1*2} Y-.5\n\n!r1 := r1 + 1;\nM30\n");
    ScannerInputFile file;
    file.load("run.jyx");
    ScannerInputFileStream stream;
    stream.open("run.jyx");
    Scanner fromFile(&file);
    Scanner fromStream(&stream);
    fromFile.mode = fromStream.mode = ScannerMode::gcode;
    std::vector<Token> fileTokens;
    std::vector<Token> streamTokens;
    do fileTokens.push_back(fromFile.nextToken()); while (!fileTokens.back().is(TokenKind::end));
    do streamTokens.push_back(fromStream.nextToken()); while (!streamTokens.back().is(TokenKind::end));
    ASSERT_EQ(fileTokens.size(), streamTokens.size());
    ASSERT_GE(fileTokens.size(), 3u);
    size_t lastNewline = fileTokens.size() - 2;
    for (size_t i = 0; i < lastNewline; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(fileTokens[i].kind, streamTokens[i].kind);
        EXPECT_EQ(fileTokens[i].text, streamTokens[i].text);
        EXPECT_EQ(fileTokens[i].span.toString(), streamTokens[i].span.toString());
        EXPECT_EQ(fileTokens[i].span.end.offset, streamTokens[i].span.end.offset);
    }
    EXPECT_EQ(fileTokens[lastNewline].kind, kNewline);
    EXPECT_EQ(streamTokens[lastNewline].kind, kNewline);
    EXPECT_EQ(fileTokens[lastNewline].text, streamTokens[lastNewline].text + "\n");
    EXPECT_EQ(fileTokens[lastNewline].span.begin.offset, streamTokens[lastNewline].span.begin.offset);
}

} // namespace
} // namespace Karsto
