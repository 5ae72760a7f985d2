#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "frontend/ast_node.h"
#include "frontend/grammar_tables.h"
#include "frontend/probe_parser.h"
#include "frontend/source_dir.h"

namespace Karsto {
namespace {

const std::string startOfProgram =
    "<newline>, '/', <G-Code address letter>, '(', ';', '&', B, CASE, CLASS, CONTINUE, EXIT, FOR, "
    "FUNCTION, I, IF, INTERFACE, L, MOD, NAMESPACE, OR, Q, REF, REPEAT, RETURN, SUPER, THIS, TYPE, VAR, "
    "W, WHILE, X, XOR or <identifier>";

// The syntax error a parse raises; fails the test when it raises none.
template <class Compile>
Parser::Exception syntaxErrorOf(Compile& compile) {
    try {
        compile.parser.parse();
    } catch (const Parser::Exception& error) {
        return error;
    }
    ADD_FAILURE() << "the parse succeeded";
    return Parser::Exception("", SourceSpan());
}

// ---------------------------------------------------------------------------------------
// Syntax errors

TEST(JyxParser, SyntaxErrorsNameTheTokenAndWhatWasExpected) {
    struct Case {
        std::string source;
        std::string message;
        int32_t line, column, endLine, endColumn;
    };
    const Case cases[] = {
        // An empty source: "<end>" at once, with an empty span at the end.
        {"", "Unexpected ''. Expected " + startOfProgram, 1, 1, 1, 1},
        // A last G-code line needs its line end.
        {"G1 X5", "Unexpected ''. Expected <newline> or <G-Code address letter>", 1, 6, 1, 6},
        {"G1 X-r1\n", "Unexpected 'r1'. Expected <integer> or <float>", 1, 6, 1, 8},
        // "$" is an <invalid> token; the two "'&'" are the character and the keyword AND.
        {"{ a := 1 $ }",
         "Unexpected '$'. Expected '&', '*', '**', '+', '-', '/', ';', '<', '<=', '<>', '=', '>', '>=', "
         "'&', MOD, OR or XOR",
         1, 10, 1, 11},
        // The keywords D and M cannot begin a statement; X can, as an identifier.
        {"{ d := 1; }", "Unexpected 'd'. Expected " + startOfProgram, 1, 3, 1, 4},
        {"{ m := 1; }", "Unexpected 'm'. Expected " + startOfProgram, 1, 3, 1, 4},
        // A G-code line end goes into the message as the characters themselves.
        {"G1 X5\r\nG2 Y\r\n", std::string("Unexpected '\r\n'. Expected <integer>, <float>, '=', '-'"), 2,
         5, 3, 1},
        {"G1 X1 (c\n", "Unexpected '('. Expected <newline> or <G-Code address letter>", 1, 7, 1, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        StringCompile compile(c.source);
        Parser::Exception error = syntaxErrorOf(compile);
        // A message that goes on past the case's text is checked up to that text only.
        if (c.message.ends_with("'-'")) {
            EXPECT_EQ(error.message.substr(0, c.message.size()), c.message);
        } else {
            EXPECT_EQ(error.message, c.message);
        }
        EXPECT_TRUE(error.span.valid);
        EXPECT_EQ(error.span.begin.line, c.line);
        EXPECT_EQ(error.span.begin.column, c.column);
        EXPECT_EQ(error.span.end.line, c.endLine);
        EXPECT_EQ(error.span.end.column, c.endColumn);
        EXPECT_EQ(std::string(error.what()), error.span.toString() + ": " + error.message);
        EXPECT_TRUE(compile.parser.stack.empty());
        EXPECT_EQ(compile.parser.root, nullptr);
        EXPECT_EQ(compile.parser.evaluations, 0);
    }
}

TEST(JyxParser, AcceptsKeywordsAsIdentifiersAndTheDeclarationForms) {
    const char* sources[] = {
        "{ x := 1; }",
        "{ w := 1; }",
        "{ MOD := 2; }",
        "G1 X=-r1\n",
        "{ VAR v AT %I X 1 . 2 : BOOL; END_VAR }",
        "{ VAR a : ARRAY[0..3] OF INT := [1, 3(0), 2]; END_VAR }",
        "{ WHILE TRUE DO EXIT; END_WHILE }",
        "/3 N10 G1 X{r1 * 2} Y-.5\n! r1 := r1 + 1;\nM30\n",
    };
    for (const char* source : sources) {
        SCOPED_TRACE(source);
        StringCompile compile(source);
        ASSERT_NO_THROW(compile.parser.parse());
        EXPECT_EQ(compile.parser.evaluations, 1);
        ASSERT_NE(compile.parser.root, nullptr);
        EXPECT_EQ(compile.parser.root->production(), static_cast<int32_t>(Prod::root_0));
    }
}

// Through the compile's real input: its file name in the span, and the line feed it
// appends after every file.
TEST(JyxParser, FileInput) {
    struct Case {
        std::string content;
        std::string error; // empty: the parse succeeds
    };
    const Case cases[] = {
        // LALR(1): the expression is reduced on the look-ahead before the error shows,
        // so only what may follow a whole statement is listed.
        {"{ x := 1 } G1\n", "t.jyx: 1.12-1.13: Unexpected 'G'. Expected ';' or OR"},
        {"{ CLASS A",
         "t.jyx: 1.11-1.11: Unexpected ''. Expected END_CLASS, EXTENDS, IMPLEMENTS, METHOD, USING, VAR or "
         "VAR_EXTERNAL"},
        {"\n\n\n", ""},
        {"N5 G0 X1", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        SourceDir dir;
        dir.write("t.jyx", c.content);
        ProbeCompile<ScannerInputFile> compile;
        compile.input.load("t.jyx");
        if (c.error.empty()) {
            EXPECT_NO_THROW(compile.parser.parse());
            EXPECT_EQ(compile.parser.evaluations, 1);
        } else {
            EXPECT_EQ(std::string(syntaxErrorOf(compile).what()), c.error);
        }
    }
}

// The END_IF missing at the end of a file whose last line includes another belongs to
// the including file, not to a column past the end of the included one.
TEST(JyxParser, ErrorAtTheEndOfAnIncludingFileNamesThatFile) {
    SourceDir dir;
    dir.write("main.jyx", "{ IF a THEN\n#include \"a.jyx\"\n");
    dir.write("a.jyx", "y := 2;");
    ProbeCompile<ScannerInputFile> compile;
    compile.input.load("main.jyx");
    const Parser::Exception error = syntaxErrorOf(compile);
    EXPECT_EQ(error.span.toString(), "main.jyx: 2.19-2.19");
    EXPECT_TRUE(error.message.starts_with("Unexpected ''. Expected")) << error.message;
    EXPECT_NE(error.message.find("END_IF"), std::string::npos) << error.message;
}

TEST(JyxParser, ExceptionKeepsMessageAndSpanApartAndCopies) {
    SourcePosition begin{"a.jyx", 3, 4, 10, 12, false};
    SourcePosition end{"a.jyx", 3, 6, 12, 14, false};
    Parser::Exception error("Unexpected 'x'.", SourceSpan(begin, end));
    Parser::Exception copy = error;
    for (const Parser::Exception* e : {&error, &copy}) {
        EXPECT_EQ(std::string(e->what()), "a.jyx: 3.4-3.6: Unexpected 'x'.");
        EXPECT_EQ(e->message, "Unexpected 'x'.");
        EXPECT_EQ(e->span.toString(), "a.jyx: 3.4-3.6");
    }
}

// ---------------------------------------------------------------------------------------
// The tree

bool samePosition(const SourcePosition& a, const SourcePosition& b) {
    return a.file == b.file && a.line == b.line && a.column == b.column && a.offset == b.offset &&
           a.inputOffset == b.inputOffset;
}

// The block-skip node of a one-line G-code source, after checking the productions
// from the root down to the line: root, gprogram, the statement declaration, and
// gstatement_2 (the one-element list, the statement and gstatement only forward, so
// they make no node).
const Parser::AstNode* blockSkipOf(StringCompile& compile) {
    compile.parser.parse();
    const std::vector<int32_t> spine = {362, 211, 406, 214};
    std::vector<int32_t> productions;
    const Parser::AstNode* node = compile.parser.root;
    for (size_t i = 0; i < spine.size() && node != nullptr; ++i) {
        productions.push_back(node->production());
        node = node->childCount() == 0 ? nullptr : node->childNode(0);
    }
    EXPECT_EQ(productions, spine);
    return node;
}

TEST(JyxParser, GcodeLineTreeWithAndWithoutBlockSkip) {
    StringCompile skipped("/2 G1 X5\n");
    const Parser::AstNode* skip = blockSkipOf(skipped);
    ASSERT_NE(skip, nullptr);
    EXPECT_EQ(skip->production(), static_cast<int32_t>(Prod::gstatement_3_2));
    ASSERT_EQ(skip->childCount(), 2u);
    EXPECT_EQ(skip->lexeme(0), "/");
    EXPECT_EQ(skip->lexeme(1), "2");
    EXPECT_EQ(skip->span().toString(), ": 1.1-1.3");
    EXPECT_EQ(skip->childSpan(1).toString(), ": 1.2-1.3");

    StringCompile plain("G1 X5\n");
    skip = blockSkipOf(plain);
    ASSERT_NE(skip, nullptr);
    // The empty block-skip mark spans nothing, where the look-ahead "G" begins.
    EXPECT_EQ(skip->production(), static_cast<int32_t>(Prod::gstatement_3_0));
    EXPECT_EQ(skip->childCount(), 0u);
    const SourceSpan span = skip->span();
    EXPECT_TRUE(span.valid);
    EXPECT_TRUE(samePosition(span.begin, span.end));
    EXPECT_EQ(span.begin.offset, 0);
    EXPECT_EQ(span.begin.column, 1);
    EXPECT_EQ(skip->parent()->span().toString(), ": 1.1-2.1");
}

// Every node of a parse, walked through the tree's reading interface: links, spans and
// lexemes agree with the source; no forwarding production made a node.
void checkEveryNode(const Parser::AstNode* root, const std::string& source) {
    EXPECT_EQ(root->parent(), nullptr);
    std::vector<const Parser::AstNode*> pending{root};
    while (!pending.empty()) {
        const Parser::AstNode* node = pending.back();
        pending.pop_back();
        const SourceSpan span = node->span();
        EXPECT_TRUE(span.valid);
        EXPECT_GE(node->production(), 0);
        EXPECT_LT(node->production(), Grammar::productionCount);
        if (node->production() < 0 || node->production() >= Grammar::productionCount) break;
        EXPECT_FALSE(Grammar::productionTable[node->production()].forwards) << node->production();
        EXPECT_EQ(node->childCount(), Grammar::productionTable[node->production()].length);
        if (node->childCount() == 0) {
            EXPECT_TRUE(samePosition(span.begin, span.end));
            continue;
        }
        EXPECT_TRUE(samePosition(span.begin, node->childSpan(0).begin)) << node->production();
        EXPECT_TRUE(samePosition(span.end, node->childSpan(node->childCount() - 1).end)) << node->production();
        for (size_t i = node->childCount(); i-- > 0;) {
            const SourceSpan childSpan = node->childSpan(i);
            if (const Parser::AstNode* child = node->childNode(i); child != nullptr) {
                EXPECT_EQ(child->parent(), node);
                EXPECT_EQ(child->index(), static_cast<int32_t>(i));
                EXPECT_TRUE(samePosition(child->span().begin, childSpan.begin));
                pending.push_back(child);
                continue;
            }
            const SourcePosition& b = childSpan.begin;
            EXPECT_EQ(source.substr(b.offset, childSpan.end.offset - b.offset), node->lexeme(i));
        }
    }
}

const std::string mixedSource =
    "N10 G0 X0 Y0 (start)\n"
    "{ TYPE color : (red, green := 5); END_TYPE\n"
    "  VAR i : INT; txt : STRING[8] := 'ab$'c'; END_VAR\n"
    "  FOR i := 1 TO 3 BY 1 DO\n"
    "    IF i MOD 2 = 0 THEN txt := CONCAT(txt, 'x'); ELSIF i > 2 THEN EXIT; END_IF;\n"
    "  END_FOR;\n"
    "}\n"
    "G1 X{i * 2.5} F=100\n"
    "! i := i + 1;\n"
    "M30\n";

// In source order; mode switches make no tokens, G-code line ends are kept as written,
// and the "<end>" token went at the accept.
const std::string mixedLexemes =
    "N|10|G|0|X|0|Y|0|\n|TYPE|color|:|(|red|,|green|:=|5|)|;|END_TYPE|VAR|i|:|INT|;|txt|:|STRING|"
    "[|8|]|:=|'ab$'c'|;|END_VAR|FOR|i|:=|1|TO|3|BY|1|DO|IF|i|MOD|2|=|0|THEN|txt|:=|CONCAT|(|txt|,|"
    "'x'|)|;|ELSIF|i|>|2|THEN|EXIT|;|END_IF|;|END_FOR|;|\n|G|1|X|i|*|2.5|F|=|100|\n|i|:=|i|+|1|;|M|"
    "30|\n|";

// Every token of the tree, ordered by its offset.
std::string lexemesInSourceOrder(const Parser::AstNode* root) {
    std::vector<std::pair<uint32_t, std::string>> tokens;
    std::vector<const Parser::AstNode*> pending{root};
    while (!pending.empty()) {
        const Parser::AstNode* node = pending.back();
        pending.pop_back();
        for (size_t i = 0; i < node->childCount(); ++i) {
            if (const Parser::AstNode* child = node->childNode(i); child != nullptr)
                pending.push_back(child);
            else
                tokens.emplace_back(node->child(i).begin(), std::string(node->lexeme(i)));
        }
    }
    std::sort(tokens.begin(), tokens.end());
    std::string text;
    for (const auto& [offset, lexeme] : tokens) text += lexeme + "|";
    return text;
}

TEST(JyxParser, EveryNodeIsLinkedAndSpansItsChildren) {
    StringCompile compile(mixedSource);
    compile.parser.parse();
    ASSERT_NE(compile.parser.root, nullptr);
    checkEveryNode(compile.parser.root, mixedSource);
    EXPECT_EQ(lexemesInSourceOrder(compile.parser.root), mixedLexemes);
}

// The compile's file input answers for spans and texts itself; the tree reads the
// same through it, with the file's name. The line feed the input appends joins the
// last G-code line end, and its end reports the file's last line.
TEST(JyxParser, EveryNodeIsLinkedAndSpansItsChildrenThroughTheFileInput) {
    SourceDir dir;
    dir.write("mixed.jyx", mixedSource);
    ProbeCompile<ScannerInputFile> compile;
    compile.input.load("mixed.jyx");
    compile.parser.parse();
    ASSERT_NE(compile.parser.root, nullptr);
    checkEveryNode(compile.parser.root, mixedSource + "\n");
    EXPECT_EQ(lexemesInSourceOrder(compile.parser.root), mixedLexemes.substr(0, mixedLexemes.size() - 2) + "\n\n|");
    EXPECT_EQ(compile.parser.root->span().toString(), "mixed.jyx: 1.1-10.6");
}

// ---------------------------------------------------------------------------------------
// isExpected

// A string input that calls back once the scanner has moved past a given offset: the
// parser is then between two tokens, holding an unreduced stack.
class HookInput : public StringInput {
public:
    HookInput(std::string text, int32_t offset) : StringInput(std::move(text)), trigger(offset) {}
    void advance(int32_t n) override {
        StringInput::advance(n);
        position += n;
        if (!fired && position >= trigger && hook) {
            fired = true;
            hook();
        }
    }

    int32_t trigger;
    int32_t position = 0;
    bool fired = false;
    std::function<void()> hook;
};

std::vector<std::pair<uint16_t, Parser::AstChild>> snapshot(const Parser& parser) {
    std::vector<std::pair<uint16_t, Parser::AstChild>> entries;
    for (const Parser::StackEntry& entry : parser.stack) entries.emplace_back(entry.state, entry.child);
    return entries;
}

TEST(JyxParser, IsExpectedLooksAheadWithoutChangingTheStack) {
    // Hooked as the scanner passes the blank before "$": "1" is shifted, nothing reduced.
    ProbeCompile<HookInput> compile("{ a := 1 $ }", 9);
    JyxParser& parser = compile.parser;
    std::vector<int32_t> expected;
    bool unchanged = false;
    size_t depth = 0;
    compile.input.hook = [&] {
        auto before = snapshot(parser);
        depth = before.size();
        for (int32_t k = -1; k <= Grammar::terminalCount; ++k) {
            if (parser.isExpected(k)) expected.push_back(k);
        }
        unchanged = snapshot(parser) == before;
    };
    Parser::Exception error = syntaxErrorOf(compile);
    ASSERT_TRUE(compile.input.fired);
    EXPECT_TRUE(unchanged);
    // Bottom, "{" ... the constant "1" still a terminal on top.
    EXPECT_GE(depth, 4u);
    std::string names;
    for (int32_t k : expected) names += Scanner::tokenName(k) + " ";
    EXPECT_EQ(names, "'&' '*' '**' '+' '-' '/' ';' '<' '<=' '<>' '=' '>' '>=' '&' MOD OR XOR ");
    EXPECT_EQ(error.message.substr(0, 30), "Unexpected '$'. Expected '&', ");

    // No parse in progress: nothing would be shifted.
    EXPECT_TRUE(parser.stack.empty());
    EXPECT_FALSE(parser.isExpected(static_cast<int32_t>(TokenKind::newline)));
}

// ---------------------------------------------------------------------------------------
// Limits: deep trees and long inputs are built and freed without native recursion.

TEST(JyxParser, DeepNestingAndLongProgramsParseAndFree) {
    const int depth = 20000;
    std::string nested = "{ x := " + std::string(depth, '(') + "1" + std::string(depth, ')') + ";\n";
    for (int i = 0; i < depth; ++i) nested += "y := -x;\n";
    nested += "}\n";
    for (int i = 0; i < depth; ++i) nested += "G1 X" + std::to_string(i) + "\n";
    // An unclosed nesting fails deep inside; the partial trees on the stack are freed.
    const std::string unclosed = "{ x := " + std::string(depth, '(') + "1; }";

    SourceDir dir;
    dir.write("nested.jyx", nested);
    dir.write("unclosed.jyx", unclosed);
    ProbeCompile<ScannerInputFile> good;
    good.input.load("nested.jyx");
    ASSERT_NO_THROW(good.parser.parse());
    EXPECT_EQ(good.parser.evaluations, 1);

    ProbeCompile<ScannerInputFile> bad;
    bad.input.load("unclosed.jyx");
    EXPECT_EQ(syntaxErrorOf(bad).message.substr(0, 15), "Unexpected ';'.");
    EXPECT_TRUE(bad.parser.stack.empty());
}

} // namespace
} // namespace Karsto
