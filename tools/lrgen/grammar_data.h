#pragma once
// The grammar as read from the committed data files: terminals from the scanner's
// token-kind list, nonterminals with fixed ids, numbered productions and the attribute
// fields of the node classes. Every read error names its file and line.

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace Karsto::Lrgen {

// Raised for anything in the data files that cannot become a grammar.
class DataError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Symbols are numbered terminals first (0 .. terminalCount-1), then nonterminals
// (terminalCount + nonterminal id).
struct Production {
    int number = 0;
    int lhs = 0;                 // nonterminal id
    std::vector<int> rhs;        // symbol numbers
    std::string rhsText;         // the right-hand side as written, "(empty)" for none
    int line = 0;                // line in the productions file
    // Marked "forward": the production only hands its one nonterminal child's attributes
    // up, so the parser makes no node for it and lets the child stand in its place.
    bool forwards = false;
};

enum class Storage : int {
    code = 0,
    string = 1,
    chars = 2,
    strings = 3,
    bounds = 4,
    word = 5,
};

struct Attribute {
    Storage storage = Storage::word;
    std::string cppType;   // the member's type as written in the node class
    std::string name;      // the member's name
    bool placeholder = false; // no name given yet: called after its kind and position
};

struct Grammar {
    std::vector<std::string> terminals;     // display names by kind
    std::vector<std::string> terminalEnumerators;  // TokenKind names by kind
    std::vector<std::string> nonterminals;  // names by id
    std::vector<Production> productions;    // by number
    std::vector<std::vector<Attribute>> attributes;  // by nonterminal id
    std::vector<std::string> pointerClasses;         // classes attributes point to, sorted
    std::vector<std::string> pointerTemplates;       // class templates of one argument, sorted

    int terminalCount() const { return static_cast<int>(terminals.size()); }
    int nonterminalCount() const { return static_cast<int>(nonterminals.size()); }
    int symbolCount() const { return terminalCount() + nonterminalCount(); }
    bool isTerminal(int symbol) const { return symbol < terminalCount(); }
    // The name a symbol is written with in the productions.
    const std::string& symbolName(int symbol) const;

    // Spelling in the productions of each terminal; shared display names take the
    // spelling of the alias file.
    std::vector<std::string> terminalSpellings;
    int endKind = -1;  // the kind named "<end>"
};

struct DataFiles {
    std::string terminals;       // token kinds: id, tab, display name
    std::string terminalNames;   // spellings of terminals with shared display names
    std::string nonterminals;    // id, tab, name
    std::string productions;     // number, tab, lhs, tab, rhs[, tab, "forward"]
    std::string attributes;      // id, tab, nonterminal, tab, attribute list
};

// Reads and cross-checks all files; throws DataError on the first fault.
Grammar readGrammar(const DataFiles& files);

// Splits a right-hand side into symbol spellings: a quoted name ('<>', g'=') or one in
// angle brackets (<G-Code address letter>) is one symbol even with blanks inside.
std::vector<std::string> splitSymbols(const std::string& text);

} // namespace Karsto::Lrgen
