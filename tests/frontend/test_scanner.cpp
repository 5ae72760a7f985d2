#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "frontend/scanner.h"
#include "frontend/source_dir.h"
#include "frontend/string_input.h"

namespace Karsto {
namespace {

// Short names for the kinds the cases below use.
constexpr TokenKind kNewline = TokenKind::newline;
constexpr TokenKind kInteger = TokenKind::gcodeInteger;
constexpr TokenKind kFloat = TokenKind::gcodeFloat;
constexpr TokenKind kGAssign = TokenKind::gcodeAssign;
constexpr TokenKind kGPlus = TokenKind::gcodePlus;
constexpr TokenKind kGMinus = TokenKind::gcodeMinus;
constexpr TokenKind kGDivide = TokenKind::gcodeDivide;
constexpr TokenKind kAddress = TokenKind::gcodeAddress;
constexpr TokenKind kHash = TokenKind::hash;
constexpr TokenKind kAmpersand = TokenKind::ampersand;
constexpr TokenKind kLeftParen = TokenKind::leftParen;
constexpr TokenKind kRightParen = TokenKind::rightParen;
constexpr TokenKind kStar = TokenKind::times;
constexpr TokenKind kPlus = TokenKind::plus;
constexpr TokenKind kDot = TokenKind::dot;
constexpr TokenKind kDotDot = TokenKind::dotDot;
constexpr TokenKind kCaret = TokenKind::caret;
constexpr TokenKind kColon = TokenKind::colon;
constexpr TokenKind kAssign = TokenKind::assign;
constexpr TokenKind kSemicolon = TokenKind::semicolon;
constexpr TokenKind kAnd = TokenKind::kwAnd;
constexpr TokenKind kAbstract = TokenKind::kwAbstract;
constexpr TokenKind kB = TokenKind::kwB;
constexpr TokenKind kD = TokenKind::kwD;
constexpr TokenKind kEndVar = TokenKind::kwEndVar;
constexpr TokenKind kTod = TokenKind::kwTod;
constexpr TokenKind kX = TokenKind::kwX;
constexpr TokenKind kUnderscore = TokenKind::underscore;
constexpr TokenKind kIdentifier = TokenKind::identifier;
constexpr TokenKind kDecimal = TokenKind::decimalInteger;
constexpr TokenKind kBinary = TokenKind::binaryInteger;
constexpr TokenKind kHex = TokenKind::hexInteger;
constexpr TokenKind kReal = TokenKind::realNumber;
constexpr TokenKind kString1 = TokenKind::singleByteString;
constexpr TokenKind kString2 = TokenKind::doubleByteString;
constexpr TokenKind kTime = TokenKind::timeLiteral;
constexpr TokenKind kTimeOfDay = TokenKind::timeOfDayLiteral;
constexpr TokenKind kInvalid = TokenKind::invalid;

struct Lexeme {
    TokenKind kind;
    std::string text;
    bool operator==(const Lexeme&) const = default;
};

void PrintTo(const Lexeme& lexeme, std::ostream* out) {
    *out << "{" << Scanner::tokenName(lexeme.kind) << ", \"" << lexeme.text << "\"}";
}

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
        size_t tab = line.rfind('\t');
        EXPECT_EQ(Scanner::tokenName(std::stoi(line.substr(0, line.find('\t')))), line.substr(tab + 1)) << line;
        ++count;
    }
    EXPECT_EQ(count, kTokenKindCount);
    // The one place the kind count is written: the build takes it from the list, so a
    // kind added or lost by accident shows here.
    EXPECT_EQ(count, 183);

    using K = TokenKind;
    const std::vector<std::pair<TokenKind, std::string>> names = {
        {K::skip, "<void>"},   {K::noMatch, "<invalid>"},  {K::invalid, "<invalid>"},
        {K::ampersand, "'&'"}, {K::kwAnd, "'&'"},          {K::gcodeMinus, "'-'"},
        {K::minus, "'-'"},     {K::gcodeAssign, "'='"},    {K::equal, "'='"},
        {K::end, "<end>"},     {K::gcodeAddress, "<G-Code address letter>"},
        {K::identifier, "<identifier>"},                   {K::kwLtimeOfDay, "LTIME_OF_DAY"},
        {K::singleByteString, "<1-byte string>"},
    };
    for (const auto& [kind, name] : names) EXPECT_EQ(Scanner::tokenName(kind), name) << name;
    // Numbers that are no kind have no name.
    EXPECT_EQ(Scanner::tokenName(kTokenKindCount), "");
    EXPECT_EQ(Scanner::tokenName(-1), "");
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

// Hands on every call but ahead(), so that the scanner reads the input byte by byte.
class ByteByByte : public ScannerInput {
public:
    explicit ByteByByte(ScannerInput& inner) : inner_(inner) {}
    int16_t peek(int32_t n) override { return inner_.peek(n); }
    std::string text(int32_t n) override { return inner_.text(n); }
    void advance(int32_t n) override { inner_.advance(n); }
    SourcePosition location(int32_t n) override { return inner_.location(n); }

private:
    ScannerInput& inner_;
};

// The scanner reads straight from the bytes an input has at hand: the tokens must be those
// of reading byte by byte, also where tokens straddle the stream input's window and where
// the window ends inside a long comment.
TEST(Scanner, DirectReadsGiveTheTokensOfByteReads) {
    SourceDir d;
    std::string content;
    // Mostly long comments, so that few tokens fill more than two windows.
    for (int i = 0; content.size() < 2u * ScannerInputFileStream::windowSize + 5000; ++i) {
        content += "N" + std::to_string(i) + " G1 X" + std::to_string(i % 1000) + ".125 Y-" + std::to_string(i % 37) + "\n";
        if (i % 10 == 0) content += "(" + std::string(20000 + 7 * i, 'c') + ")\n";
    }
    d.write("big.jyx", content);
    const auto tokens = [](ScannerInput& input, bool direct) {
        ByteByByte bytes(input);
        Scanner scanner(direct ? &input : static_cast<ScannerInput*>(&bytes));
        scanner.mode = ScannerMode::gcode;
        std::vector<std::string> out;
        for (Token token = scanner.nextToken(); !token.is(TokenKind::end); token = scanner.nextToken())
            out.push_back(std::to_string(static_cast<int>(token.kind)) + " " + token.text + " " + token.span.toString());
        return out;
    };
    for (bool stream : {true, false}) {
        SCOPED_TRACE(stream);
        ScannerInputFileStream streamDirect, streamBytes;
        ScannerInputFile fileDirect, fileBytes;
        ScannerInput* direct = &fileDirect;
        ScannerInput* bytes = &fileBytes;
        if (stream) {
            streamDirect.open("big.jyx");
            streamBytes.open("big.jyx");
            direct = &streamDirect;
            bytes = &streamBytes;
        } else {
            fileDirect.load("big.jyx");
            fileBytes.load("big.jyx");
        }
        ASSERT_GE(direct->peek(0), 0); // a stream fills its first window on demand
        ASSERT_FALSE(direct->ahead().empty());
        const std::vector<std::string> read = tokens(*direct, true);
        EXPECT_GT(read.size(), 5000u);
        EXPECT_EQ(read, tokens(*bytes, false));
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
