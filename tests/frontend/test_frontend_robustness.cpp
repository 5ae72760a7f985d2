// Bad input never crashes the front end: random bytes, soups of valid fragments and
// mutations of valid sources each end in a parse or a syntax error with a span inside
// the input, and deep nesting neither recurses natively nor leaks nodes. Seeds are
// fixed and counts bounded, so a failure repeats exactly.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "frontend/ast_arena.h"
#include "frontend/fuzz_input.h"
#include "frontend/jyx_parser.h"
#include "frontend/scanner.h"
#include "frontend/scanner_input.h"

namespace Karsto {
namespace {

class QuietParser : public JyxParser {
public:
    using JyxParser::JyxParser;
    void evaluate() override {}
};

enum class Outcome : int32_t { parsed = 0, syntaxError = 1 };

// A position that lies in the input and agrees with itself.
void expectInside(const SourcePosition& position, const FuzzInput& input, const char* which) {
    EXPECT_EQ(position.file, "fuzz.jyx") << which;
    EXPECT_GE(position.offset, 0) << which;
    EXPECT_LE(position.offset, static_cast<int32_t>(input.source().size())) << which;
    EXPECT_EQ(position.inputOffset, position.offset) << which;
    EXPECT_GE(position.line, 1) << which;
    EXPECT_LE(position.line, input.lineCount()) << which;
    EXPECT_GE(position.column, 1) << which;
    EXPECT_LE(position.column, position.offset + 1) << which;
}

// Parses from G-code mode, as every compile starts, and checks what any ending must
// leave: an empty stack, a tree only after success, every node freed by a reset, and a
// syntax error whose span lies inside the input and whose text is span and message.
Outcome parseChecked(const std::string& source) {
    FuzzInput input(source);
    Scanner scanner(&input);
    scanner.mode = ScannerMode::gcode;
    QuietParser parser(&scanner);
    Outcome outcome = Outcome::parsed;
    try {
        parser.parse();
        EXPECT_NE(parser.root, nullptr);
    } catch (const Parser::Exception& error) {
        outcome = Outcome::syntaxError;
        EXPECT_EQ(parser.root, nullptr);
        EXPECT_TRUE(error.span.valid);
        expectInside(error.span.begin, input, "begin");
        expectInside(error.span.end, input, "end");
        EXPECT_LE(error.span.begin.offset, error.span.end.offset);
        EXPECT_EQ(error.text, error.span.toString() + ": " + error.message);
        EXPECT_TRUE(error.message.starts_with("Unexpected '")) << error.message;
    } catch (const std::exception& error) {
        ADD_FAILURE() << "unexpected exception: " << error.what();
    }
    EXPECT_TRUE(parser.stack.empty());
    parser.reset();
    EXPECT_EQ(parser.nodeArena->nodeCount(), 0);
    return outcome;
}

// Raw 32-bit draws: unlike the standard distributions, the same on every library.
class Draw {
public:
    explicit Draw(uint32_t seed) : engine_(seed) {}
    uint32_t below(uint32_t bound) { return static_cast<uint32_t>(engine_() % bound); }
    char byte() { return static_cast<char>(below(256)); }

private:
    std::mt19937 engine_;
};

// Whether the case held; a failing one is named with its source so it can be replayed,
// and its corpus stops there.
bool holds(const std::string& label, const std::string& source) {
    parseChecked(source);
    if (!::testing::Test::HasFailure()) return true;
    ADD_FAILURE() << label << ": source was [" << source << "]";
    return false;
}

// ---------------------------------------------------------------------------------------
// Scanner alone: in every mode, tokens follow each other through the input and carry
// exactly the bytes their spans cover.

TEST(FrontendRobustness, ScannerTokensCoverTheirBytesInEveryMode) {
    const ScannerMode modes[] = {ScannerMode::gcode, ScannerMode::structuredText,
                                 ScannerMode::structuredTextLine, ScannerMode::gcodeLine,
                                 ScannerMode::innerStructuredText, ScannerMode::combined};
    Draw draw(20240611);
    for (int round = 0; round < 5000; ++round) {
        std::string source(draw.below(120), '\0');
        // Half the inputs stay printable, where most rules live.
        const bool printable = round % 2 == 0;
        for (char& c : source) c = printable ? static_cast<char>(' ' + draw.below(95)) : draw.byte();
        if (printable && draw.below(4) == 0) source += '\n';
        for (const ScannerMode mode : modes) {
            FuzzInput input(source);
            Scanner scanner(&input);
            scanner.mode = mode;
            int32_t previousEnd = 0;
            try {
                for (size_t tokens = 0;; ++tokens) {
                    ASSERT_LE(tokens, source.size()) << "more tokens than bytes";
                    const Token token = scanner.nextToken();
                    ASSERT_TRUE(token.span.valid);
                    const int32_t begin = token.span.begin.offset;
                    const int32_t end = token.span.end.offset;
                    ASSERT_GE(begin, previousEnd);
                    ASSERT_EQ(token.text, source.substr(static_cast<size_t>(begin), static_cast<size_t>(end - begin)));
                    if (token.is(TokenKind::end)) {
                        ASSERT_EQ(begin, static_cast<int32_t>(source.size()));
                        break;
                    }
                    ASSERT_FALSE(token.text.empty()) << "an empty token at " << begin;
                    ASSERT_NE(token.kind, TokenKind::noMatch);
                    ASSERT_FALSE(Scanner::tokenName(token.kind).empty()) << static_cast<int32_t>(token.kind);
                    previousEnd = end;
                }
            } catch (const std::exception& error) {
                FAIL() << "unexpected exception: " << error.what();
            }
        }
    }
}

// ---------------------------------------------------------------------------------------
// Parser over scanner

TEST(FrontendRobustness, RandomBytesEndInAParseOrASyntaxError) {
    Draw draw(7);
    for (int round = 0; round < 20000; ++round) {
        std::string source(draw.below(160), '\0');
        // A third each: any byte, printable text, printable text broken into lines.
        const uint32_t flavour = draw.below(3);
        for (char& c : source) {
            c = flavour == 0 ? draw.byte() : static_cast<char>(' ' + draw.below(95));
            if (flavour == 2 && draw.below(12) == 0) c = '\n';
        }
        if (!holds("random bytes " + std::to_string(round), source)) return;
    }
}

TEST(FrontendRobustness, SoupsOfValidFragmentsEndInAParseOrASyntaxError) {
    // G-code words and blocks, the switches between notations, Structured Text keywords,
    // operators, literals of every form and comments of both notations.
    const std::vector<std::string> fragments = {
        "G1", "G0", "X5", "Y-.5", "Z1.25", "N10", "M30", "F=100", "X=r1", "X{r1 * 2}", "/", "/2", "=",
        "\n", "\r\n", " ", "\t", "{", "}", "!", "(start)", "(* note *)", "// note\n", "#", "%IX1.2",
        "IF", "THEN", "ELSIF", "ELSE", "END_IF", "WHILE", "DO", "END_WHILE", "FOR", "TO", "BY",
        "END_FOR", "REPEAT", "UNTIL", "END_REPEAT", "CASE", "OF", "END_CASE", "EXIT", "RETURN",
        "CONTINUE", "VAR", "VAR_INPUT", "VAR_GLOBAL", "END_VAR", "AT", "CONSTANT", "TYPE", "END_TYPE",
        "STRUCT", "END_STRUCT", "ARRAY", "REF_TO", "REF", "FUNCTION", "END_FUNCTION", "CLASS",
        "END_CLASS", "METHOD", "END_METHOD", "NAMESPACE", "END_NAMESPACE", "INTERFACE", "THIS",
        "SUPER", "INT", "REAL", "LREAL", "BOOL", "STRING[8]", "WSTRING", "TIME", "x", "y", "r1", "a.b",
        "(", ")", "[", "]", ",", ";", ":", ":=", "=>", "..", "^", "+", "-", "*", "**", "/", "&", "<",
        "<=", "<>", ">", ">=", "MOD", "AND", "OR", "XOR", "NOT", "1", "0", "2.5", "1.0e-3", "16#FF",
        "2#1010", "8#17", "INT#5", "T#1s", "TIME#1h2m", "D#2024-01-31", "TOD#12:00:00",
        "'ab$'c'", "\"w$N\"", "'", "\"", "TRUE", "FALSE", "NULL",
    };
    Draw draw(99);
    for (int round = 0; round < 20000; ++round) {
        std::string source;
        const uint32_t count = 1 + draw.below(40);
        for (uint32_t i = 0; i < count; ++i) {
            source += fragments[draw.below(static_cast<uint32_t>(fragments.size()))];
            if (draw.below(3) != 0) source += ' ';
        }
        if (draw.below(2) == 0) source += '\n';
        if (!holds("soup " + std::to_string(round), source)) return;
    }
}

// Valid sources of both notations; the test first proves each parses.
const std::vector<std::string>& validSources() {
    static const std::vector<std::string> sources = {
        "/3 N10 G1 X{r1 * 2} Y-.5\n! r1 := r1 + 1;\nM30\n",
        "{ TYPE pt : STRUCT x : REAL; y : REAL := 1.5; END_STRUCT; END_TYPE\n"
        "  FUNCTION twice : INT VAR_INPUT n : INT; END_VAR twice := n * 2; END_FUNCTION\n"
        "  VAR k : INT; p : pt; END_VAR\n"
        "  CASE k OF 1, 2: k := twice(k); 3..5: p.x := 16#FF; ELSE k := 0; END_CASE;\n"
        "  REPEAT k := k + 1; UNTIL k >= 10 END_REPEAT;\n"
        "}\n"
        "N20 G2 X{p.x} Y=k I.5 J-.5 (arc)\n"
        "! IF k > 2 THEN k := -k; END_IF; // back\n"
        "M30\n",
        "{ VAR a : ARRAY[0..3] OF INT := [1, 3(0), 2]; END_VAR WHILE TRUE DO EXIT; END_WHILE }",
        "{ VAR v AT %I X 1 . 2 : BOOL; END_VAR }",
        "G1 X=-r1\n",
    };
    return sources;
}

TEST(FrontendRobustness, MutatedValidSourcesEndInAParseOrASyntaxError) {
    for (const std::string& source : validSources()) {
        ASSERT_EQ(parseChecked(source), Outcome::parsed) << source;
    }
    Draw draw(4242);
    for (size_t s = 0; s < validSources().size(); ++s) {
        const std::string& source = validSources()[s];
        const std::string label = "source " + std::to_string(s);
        // Every truncation: cut off in the middle of any token or construct.
        for (size_t length = 0; length < source.size(); ++length) {
            if (!holds(label + " cut at " + std::to_string(length), source.substr(0, length))) return;
        }
        for (int round = 0; round < 2000; ++round) {
            std::string mutated = source;
            const uint32_t edits = 1 + draw.below(4);
            for (uint32_t e = 0; e < edits && !mutated.empty(); ++e) {
                const size_t at = draw.below(static_cast<uint32_t>(mutated.size()));
                switch (draw.below(5)) {
                case 0: mutated[at] = draw.byte(); break;                                     // any byte
                case 1: mutated[at] = static_cast<char>(mutated[at] ^ (1 << draw.below(8))); break; // a bit
                case 2: mutated.erase(at, 1 + draw.below(6)); break;                          // a gap
                case 3: mutated.insert(at, 1, source[draw.below(static_cast<uint32_t>(source.size()))]); break;
                case 4: // a stretch repeated elsewhere: brackets and blocks out of balance
                    mutated.insert(at, source.substr(draw.below(static_cast<uint32_t>(source.size())), 1 + draw.below(12)));
                    break;
                }
            }
            if (!holds(label + " mutation " + std::to_string(round), mutated)) return;
        }
    }
}

// ---------------------------------------------------------------------------------------
// Deep nesting: the LR stack, the tree and its deletion hold 100,000 levels without
// native recursion; an unclosed nesting fails at its end and frees every partial tree.

struct NestingCase {
    const char* name;
    std::string source;
    Outcome outcome;
};

void expectOutcomes(const std::vector<NestingCase>& cases) {
    for (const NestingCase& c : cases) EXPECT_EQ(parseChecked(c.source), c.outcome) << c.name;
}

constexpr size_t kDepth = 100000;

TEST(FrontendRobustness, HundredThousandNestedParenthesesParseAndFail) {
    const std::string open(kDepth, '('), close(kDepth, ')');
    expectOutcomes({
        {"expression", "{ x := " + open + "1" + close + "; }", Outcome::parsed},
        {"G-code value", "G1 X{" + open + "1" + close + "}\n", Outcome::parsed},
        {"unclosed", "{ x := " + open + "1; }", Outcome::syntaxError},
    });
}

TEST(FrontendRobustness, HundredThousandNestedIfBlocksParseAndFail) {
    std::string ifs;
    for (size_t i = 0; i < kDepth; ++i) ifs += "IF TRUE THEN\n";
    ifs += "x := 1;\n";
    std::string endIfs;
    for (size_t i = 0; i < kDepth; ++i) endIfs += "END_IF;\n";
    expectOutcomes({
        {"closed", "{ " + ifs + endIfs + "}", Outcome::parsed},
        {"unclosed", "{ " + ifs + "}", Outcome::syntaxError},
        {"one END_IF short", "{ " + ifs + endIfs.substr(8) + "}", Outcome::syntaxError},
    });
}

} // namespace
} // namespace Karsto
