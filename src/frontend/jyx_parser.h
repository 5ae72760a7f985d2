#pragma once
// The parser of the Jyx language: drives the generated LALR(1) tables over the
// scanner's tokens, builds the syntax tree, reports the first syntax error with the
// tokens that would have been accepted, and hands a complete tree to the evaluator.

#include <cstdint>
#include <memory>
#include <vector>

#include "core/code.h"
#include "core/program.h"
#include "core/symbol_tables.h"
#include "frontend/parser.h"
#include "frontend/plain_gcode_line.h"
#include "frontend/scanner.h"

namespace Karsto {

class CmdPlainLines;
class ScannerInputFile;

class JyxParser : public Parser {
public:
    // The scanner is not owned; it lives beside the parser, in G-code mode.
    explicit JyxParser(Scanner* tokenSource) : scanner(tokenSource) {}
    // Resets (program, tree, then every registered object), then the symbol tables go.
    ~JyxParser() override;

    // Resets, parses the whole input into `root` and calls `evaluate` once on success.
    // Throws Parser::Exception on the first syntax error, with the stack empty and no
    // tree; exceptions of the evaluator pass unchanged and leave everything owned.
    // Over a ScannerInputFile the tree reads its spans and token texts from that input:
    // it must stay (as the compile driver keeps it beside the parser) while the tree is
    // read. Other inputs are not read again.
    void parse() override;
    // Deletes the program, if any.
    void releaseProgram() override;
    // Walks the tree of a successful parse twice, declaring and then compiling, and
    // leaves the Program; defined by the semantic evaluator (src/evaluator), whose
    // library every user of the parser links. Tests override it with steps of their own.
    virtual void evaluate();

    // Whether a token of that kind would be shifted now, after the reductions it
    // causes. Works on a view of the stack: the stack itself is left as it is.
    bool isExpected(int32_t kind) const;
    // Releases the program, frees the tree (with its attribute records) and deletes every
    // registered object, first registered first.
    void reset();

    // Whether a G-code block whose words are all numbers is compiled as soon as it is
    // reduced and its subtree then given up: the block's node stays, with the code in
    // its attribute record and no children but its line end, and where such blocks
    // follow one another in the program's statement list, the first one's node stands
    // for the whole run. CAM programs are made of such blocks, and their word nodes and
    // statement records would be most of the tree. Off by default, so that a parse
    // alone yields the whole tree.
    bool compactLiteralBlocks = false;
    // With compactLiteralBlocks, the input being parsed, shared: then the plain lines that
    // join a run are not compiled but kept as their text, which one instruction reads as
    // it runs (CmdPlainLines); the program shares the input and must not outlive what
    // the pointer's owner keeps alive. Null (the default): plain lines are compiled.
    std::shared_ptr<const ScannerInputFile> plainLineSource;

    Scanner* scanner;           // not owned
    Program* program = nullptr; // owned; set by the evaluator
    // Filled by the compile driver before `parse`; survive every reset and go after
    // everything the compile registered, whose destructors may still look names up.
    SymbolTables symbols;

private:
    // Defined by the semantic evaluator beside the other G-code actions: the code of a
    // block node whose words are all numbers, as the walks would compile it. False, with
    // code left empty, for any other block and for one whose compile fails: that one is
    // walked and fails in its turn.
    bool compileLiteralBlock(AstNode& block, Code& code);
    // What stands for a just-reduced block, given the node below it on the stack: a
    // compacted node where the block compiles, else the block itself; null where the
    // block joined the run of compacted blocks right before it in the program's
    // statement list (its code appended to theirs), so that nothing is to be pushed.
    AstNode* compactLiteralBlock(AstNode* block, AstNode* before);

    // One word of a block of numbers, as input offsets: its address, its minus sign (if
    // negated) and its number.
    struct PlainWord {
        uint32_t letter;
        uint32_t letterEnd;
        uint32_t minus;
        bool negated;
        uint32_t numberBegin;
        uint32_t numberEnd;
    };
    // With the look-ahead an address letter and a run of compacted blocks ending the
    // statement list on top of the stack: when the look-ahead's line is a plain block of
    // numbers (letters, numbers of digits and at most one point, minus signs, blanks and
    // tabs, then its line ends), its code joins the run straight from the text, as the
    // parse of its tokens would have added it, and the token after its line ends becomes
    // the look-ahead. False, with nothing read, for any other line.
    bool takePlainLine(Token& lookahead);
    // The plain line whose first word begins at offset begin, joined to the run (kept as
    // its text with plainLineSource, else compiled), with end then after its line ends;
    // false, with nothing joined, for a line that is not plain, ends within the first
    // token (which ends at tokenEnd) or fails to compile.
    bool takePlainLineAt(AstNode* run, size_t begin, size_t tokenEnd, size_t& end);
    // Defined by the semantic evaluator: the code of the block of numbers between the
    // input offsets begin and end whose words are in plainWords_, the one its nodes'
    // actions would give; for a parsed block and a plain line alike.
    Code literalBlockCode(int32_t skipLevel, uint32_t begin, uint32_t end);
    // Defined by the semantic evaluator: a new instruction for the plain line between the
    // input offsets begin and end, which becomes the open one (openLines_).
    Code plainLinesCode(uint32_t begin, uint32_t end);
    // Joins the plain line between begin and end, kept as its text, to the run: to the open
    // instruction of plain lines where only blanks part them, else as a new one.
    void keepPlainLine(AstNode* run, uint32_t begin, uint32_t end);

    // Reduces by production p on the stack; an empty right-hand side spans the empty
    // stretch at the look-ahead's begin (an offset in the expanded input).
    void reduce(uint16_t production, uint32_t lookaheadBegin);
    // The syntax error at this token: what would have been accepted instead.
    Exception syntaxError(const Token& token) const;
    void clearStack();
    // Empties the stack and frees every node made so far.
    void abandonTree();

    std::vector<AstNode*> blockWords_; // scratch of compileLiteralBlock
    std::vector<PlainWord> plainWords_; // scratch of compileLiteralBlock and takePlainLine
    std::vector<PlainGcodeWord> lineWords_; // scratch of takePlainLine
    // The instruction of plain lines that ends the code of the run openLinesRun_, while
    // the next plain line may join it; null once anything else joined a run.
    CmdPlainLines* openLines_ = nullptr;
    const AstNode* openLinesRun_ = nullptr;
    Code plainNegation_; // the LREAL negation every instruction of plain lines shares
};

} // namespace Karsto
