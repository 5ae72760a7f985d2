#include "grammar_data.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

namespace Karsto::Lrgen {
namespace {

struct Line {
    int number = 0;
    std::vector<std::string> fields;  // split at tabs
};

[[noreturn]] void fail(const std::string& file, int line, const std::string& message) {
    throw DataError(file + ":" + std::to_string(line) + ": " + message);
}

// The non-comment, non-blank lines of a file, split at tabs. A trailing carriage
// return is dropped so that a checkout with CRLF line ends reads the same.
std::vector<Line> readLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw DataError(path + ": cannot open");
    std::vector<Line> lines;
    std::string text;
    int number = 0;
    while (std::getline(in, text)) {
        ++number;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.empty() || text[0] == '#') continue;
        Line line;
        line.number = number;
        size_t start = 0;
        while (true) {
            size_t tab = text.find('\t', start);
            line.fields.push_back(text.substr(start, tab == std::string::npos ? tab : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

int parseNumber(const std::string& file, int line, const std::string& text) {
    if (text.empty() || text.size() > 6 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        fail(file, line, "'" + text + "' is not a number");
    }
    return std::stoi(text);
}

void expectFields(const std::string& file, const Line& line, size_t count) {
    if (line.fields.size() != count) {
        fail(file, line.number, "expected " + std::to_string(count) + " tab-separated fields, found " +
                                    std::to_string(line.fields.size()));
    }
}

bool isIdentifier(const std::string& text) {
    if (text.empty() || (text[0] >= '0' && text[0] <= '9')) return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

// The names of a list numbered 0, 1, 2 ... in order: token kinds (id, name, display
// name) or nonterminal ids (id, name).
std::vector<Line> readNumberedList(const std::string& file, const char* what, size_t fields) {
    std::vector<Line> lines = readLines(file);
    for (size_t i = 0; i < lines.size(); ++i) {
        expectFields(file, lines[i], fields);
        int id = parseNumber(file, lines[i].number, lines[i].fields[0]);
        if (id != static_cast<int>(i)) {
            fail(file, lines[i].number, std::string(what) + " " + std::to_string(id) + " out of order, expected " +
                                            std::to_string(i));
        }
        for (size_t f = 1; f < fields; ++f)
            if (lines[i].fields[f].empty()) fail(file, lines[i].number, "empty name");
    }
    return lines;
}

void readTerminals(const DataFiles& files, Grammar& g) {
    for (const Line& line : readNumberedList(files.terminals, "kind", 3)) {
        if (line.fields[2] == "<end>") g.endKind = g.terminalCount();
        g.terminalEnumerators.push_back(line.fields[1]);
        g.terminals.push_back(line.fields[2]);
    }
    if (g.endKind < 0) throw DataError(files.terminals + ": no kind <end>");
}

// Maps every spelling a production may use to its terminal kind.
std::map<std::string, int> terminalSpellings(const DataFiles& files, Grammar& g) {
    std::map<std::string, std::vector<int>> byDisplay;
    for (int k = 0; k < g.terminalCount(); ++k) byDisplay[g.terminals[k]].push_back(k);

    g.terminalSpellings = g.terminals;
    std::map<std::string, int> spellings;
    std::set<int> aliased;
    for (const Line& line : readLines(files.terminalNames)) {
        expectFields(files.terminalNames, line, 2);
        const std::string& spelling = line.fields[0];
        auto named = std::find(g.terminalEnumerators.begin(), g.terminalEnumerators.end(), line.fields[1]);
        if (named == g.terminalEnumerators.end()) fail(files.terminalNames, line.number, "no kind " + line.fields[1]);
        int kind = static_cast<int>(named - g.terminalEnumerators.begin());
        if (!spellings.emplace(spelling, kind).second) {
            fail(files.terminalNames, line.number, "spelling " + spelling + " given twice");
        }
        if (!aliased.insert(kind).second) {
            fail(files.terminalNames, line.number, "kind " + line.fields[1] + " spelled twice");
        }
        g.terminalSpellings[kind] = spelling;
    }
    // A display name shared by several kinds names none of them: each such kind is used
    // in the productions only through its spelling from the alias file.
    for (const auto& [display, kinds] : byDisplay) {
        if (kinds.size() != 1 || aliased.count(kinds[0]) != 0) continue;
        if (!spellings.emplace(display, kinds[0]).second) {
            throw DataError(files.terminalNames + ": spelling " + display +
                            " is also the display name of kind " + std::to_string(kinds[0]));
        }
    }
    return spellings;
}

void readNonterminals(const DataFiles& files, Grammar& g) {
    std::set<std::string> names;
    for (const Line& line : readNumberedList(files.nonterminals, "id", 2)) {
        const std::string& name = line.fields[1];
        if (!isIdentifier(name)) fail(files.nonterminals, line.number, "'" + name + "' is no identifier");
        if (!names.insert(name).second) fail(files.nonterminals, line.number, name + " given twice");
        g.nonterminals.push_back(name);
    }
}

void readProductions(const DataFiles& files, Grammar& g, const std::map<std::string, int>& terminals) {
    std::map<std::string, int> nonterminals;
    for (int id = 0; id < g.nonterminalCount(); ++id) nonterminals[g.nonterminals[id]] = id;
    for (const auto& [spelling, kind] : terminals) {
        if (nonterminals.count(spelling) != 0) {
            throw DataError(files.nonterminals + ": " + spelling + " is also the name of terminal " +
                            std::to_string(kind));
        }
    }

    for (const Line& line : readLines(files.productions)) {
        if (line.fields.size() != 4) expectFields(files.productions, line, 3);
        Production p;
        p.number = parseNumber(files.productions, line.number, line.fields[0]);
        p.line = line.number;
        if (p.number != static_cast<int>(g.productions.size())) {
            fail(files.productions, line.number, "production " + line.fields[0] + " out of order, expected " +
                                                     std::to_string(g.productions.size()));
        }
        auto lhs = nonterminals.find(line.fields[1]);
        if (lhs == nonterminals.end()) fail(files.productions, line.number, "unknown nonterminal " + line.fields[1]);
        p.lhs = lhs->second;
        // Numbers follow the left-hand names in character-code order; a line out of
        // that order would shift every later number the evaluator switches on.
        if (!g.productions.empty() && g.nonterminals[g.productions.back().lhs] > line.fields[1]) {
            fail(files.productions, line.number, line.fields[1] + " after " +
                                                     g.nonterminals[g.productions.back().lhs] +
                                                     ": left-hand sides must be in character-code order");
        }
        p.rhsText = line.fields[2];
        if (p.rhsText != "(empty)") {
            for (const std::string& spelling : splitSymbols(p.rhsText)) {
                if (auto t = terminals.find(spelling); t != terminals.end()) {
                    p.rhs.push_back(t->second);
                } else if (auto n = nonterminals.find(spelling); n != nonterminals.end()) {
                    p.rhs.push_back(g.terminalCount() + n->second);
                } else {
                    fail(files.productions, line.number, "unknown symbol " + spelling);
                }
            }
            if (p.rhs.empty()) fail(files.productions, line.number, "empty right-hand side not written (empty)");
            // A node records which of its children are tokens in 16 bits.
            if (p.rhs.size() > 16) fail(files.productions, line.number, "more than 16 symbols on the right-hand side");
        }
        if (line.fields.size() == 4) {
            if (line.fields[3] != "forward") fail(files.productions, line.number, "unknown mark '" + line.fields[3] + "'");
            // Only a node can stand for a node: a token is never entered by the evaluator.
            if (p.rhs.size() != 1 || g.isTerminal(p.rhs[0]))
                fail(files.productions, line.number, "a forwarding production needs exactly one nonterminal");
            p.forwards = true;
        }
        g.productions.push_back(std::move(p));
    }

    // The start symbol only begins the augmented start; every other nonterminal must be
    // used somewhere and defined, or the automaton would silently lose it.
    std::vector<bool> defined(g.nonterminals.size(), false), used(g.nonterminals.size(), false);
    for (const Production& p : g.productions) {
        defined[p.lhs] = true;
        for (int symbol : p.rhs) {
            if (!g.isTerminal(symbol)) used[symbol - g.terminalCount()] = true;
        }
    }
    for (int id = 0; id < g.nonterminalCount(); ++id) {
        if (!defined[id]) throw DataError(files.productions + ": no production for " + g.nonterminals[id]);
        if (used[id] != (id != 0)) {
            throw DataError(files.productions + ": " + g.nonterminals[id] +
                            (id == 0 ? " is the start symbol but occurs in a right-hand side"
                                     : " occurs in no right-hand side"));
        }
    }
}

Storage storageOfKind(const std::string& kind, bool* known) {
    static const std::map<std::string, Storage> kinds = {
        {"Code", Storage::code},       {"string", Storage::string}, {"chars", Storage::chars},
        {"strings", Storage::strings}, {"bounds", Storage::bounds}, {"word", Storage::word},
    };
    auto it = kinds.find(kind);
    *known = it != kinds.end();
    return *known ? it->second : Storage::word;
}

std::string cppTypeOf(Storage storage) {
    switch (storage) {
    case Storage::code: return "Code";
    case Storage::string: return "std::string";
    case Storage::chars: return "CharList";
    case Storage::strings: return "std::vector<std::string>";
    case Storage::bounds: return "std::vector<BoundPair>";
    case Storage::word: return "AstWord";
    }
    return {};
}

std::string placeholderName(Storage storage, size_t position) {
    std::string kind;
    switch (storage) {
    case Storage::code: kind = "code"; break;
    case Storage::string: kind = "string"; break;
    case Storage::chars: kind = "chars"; break;
    case Storage::strings: kind = "strings"; break;
    case Storage::bounds: kind = "bounds"; break;
    case Storage::word: kind = "word"; break;
    }
    return kind + std::to_string(position);
}

// "Class*" or "Template<Class>*": the classes (and the template) to forward-declare,
// false for any other spelling.
bool pointerTarget(const std::string& kind, std::set<std::string>& classes, std::set<std::string>& templates) {
    if (kind.size() < 2 || kind.back() != '*') return false;
    const std::string target = kind.substr(0, kind.size() - 1);
    if (isIdentifier(target)) {
        classes.insert(target);
        return true;
    }
    const size_t open = target.find('<');
    if (open == std::string::npos || target.back() != '>') return false;
    const std::string name = target.substr(0, open);
    const std::string argument = target.substr(open + 1, target.size() - open - 2);
    if (!isIdentifier(name) || !isIdentifier(argument)) return false;
    templates.insert(name);
    classes.insert(argument);
    return true;
}

Attribute parseAttribute(const std::string& file, int line, const std::string& text, size_t position,
                         std::set<std::string>& pointerClasses, std::set<std::string>& pointerTemplates) {
    Attribute a;
    size_t blank = text.find(' ');
    std::string kind = text.substr(0, blank);
    bool known = false;
    a.storage = storageOfKind(kind, &known);
    if (blank == std::string::npos) {
        if (!known) fail(file, line, "unknown storage kind '" + kind + "'");
        a.cppType = cppTypeOf(a.storage);
        a.name = placeholderName(a.storage, position);
        a.placeholder = true;
        return a;
    }
    a.name = text.substr(blank + 1);
    if (!isIdentifier(a.name)) fail(file, line, "'" + a.name + "' is no attribute name");
    if (known && a.storage != Storage::word) {
        a.cppType = cppTypeOf(a.storage);
    } else if (kind == "int32") {
        a.storage = Storage::word;
        a.cppType = "int32_t";
    } else if (pointerTarget(kind, pointerClasses, pointerTemplates)) {
        a.storage = Storage::word;
        a.cppType = kind;
    } else {
        fail(file, line,
             "a named attribute needs a storage kind, int32 or a pointer to a class or to a template of one "
             "class, not '" + kind + "'");
    }
    return a;
}

void readAttributes(const DataFiles& files, Grammar& g) {
    std::set<std::string> pointerClasses;
    std::set<std::string> pointerTemplates;
    // Each attribute name has one type in every record: the by-name accessors rely on it.
    std::map<std::string, std::pair<std::string, std::string>> typeOfName; // name -> type, first nonterminal
    g.attributes.assign(g.nonterminals.size(), {});
    std::vector<bool> seen(g.nonterminals.size(), false);
    for (const Line& line : readLines(files.attributes)) {
        expectFields(files.attributes, line, 3);
        int id = parseNumber(files.attributes, line.number, line.fields[0]);
        if (id >= g.nonterminalCount() || g.nonterminals[id] != line.fields[1]) {
            fail(files.attributes, line.number, "id " + line.fields[0] + " is not nonterminal " + line.fields[1]);
        }
        if (seen[id]) fail(files.attributes, line.number, line.fields[1] + " given twice");
        seen[id] = true;
        std::set<std::string> names;
        const std::string& list = line.fields[2];
        size_t start = 0;
        while (start <= list.size()) {
            size_t comma = list.find(", ", start);
            std::string item = list.substr(start, comma == std::string::npos ? comma : comma - start);
            Attribute a = parseAttribute(files.attributes, line.number, item, g.attributes[id].size(),
                                         pointerClasses, pointerTemplates);
            if (!names.insert(a.name).second) fail(files.attributes, line.number, "attribute " + a.name + " twice");
            if (!a.placeholder) {
                auto [it, fresh] = typeOfName.emplace(a.name, std::make_pair(a.cppType, line.fields[1]));
                if (!fresh && it->second.first != a.cppType) {
                    fail(files.attributes, line.number,
                         "attribute " + a.name + " is " + a.cppType + " here but " + it->second.first + " in " +
                             it->second.second);
                }
            }
            g.attributes[id].push_back(std::move(a));
            if (comma == std::string::npos) break;
            start = comma + 2;
        }
    }
    for (int id = 0; id < g.nonterminalCount(); ++id) {
        if (!seen[id]) throw DataError(files.attributes + ": no line for " + g.nonterminals[id]);
    }
    g.pointerClasses.assign(pointerClasses.begin(), pointerClasses.end());
    g.pointerTemplates.assign(pointerTemplates.begin(), pointerTemplates.end());
}

} // namespace

const std::string& Grammar::symbolName(int symbol) const {
    return isTerminal(symbol) ? terminalSpellings[symbol] : nonterminals[symbol - terminalCount()];
}

std::vector<std::string> splitSymbols(const std::string& text) {
    std::vector<std::string> symbols;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        size_t end;
        if (text[i] == '\'' || (text[i] == 'g' && i + 1 < text.size() && text[i + 1] == '\'')) {
            size_t open = text[i] == '\'' ? i : i + 1;
            end = text.find('\'', open + 1);
        } else if (text[i] == '<') {
            end = text.find('>', i + 1);
        } else {
            end = text.find(' ', i);
            end = end == std::string::npos ? text.size() - 1 : end - 1;
        }
        if (end == std::string::npos) throw DataError("unterminated symbol in '" + text + "'");
        symbols.push_back(text.substr(i, end + 1 - i));
        i = end + 1;
    }
    return symbols;
}

Grammar readGrammar(const DataFiles& files) {
    Grammar g;
    readTerminals(files, g);
    std::map<std::string, int> terminals = terminalSpellings(files, g);
    readNonterminals(files, g);
    readProductions(files, g, terminals);
    readAttributes(files, g);
    return g;
}

} // namespace Karsto::Lrgen
