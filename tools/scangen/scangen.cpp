// vordash_scangen: turns the token kinds, the scanner modes and the ordered lexical rules
// into the tables of the scanner's longest-match automaton and the TokenKind and
// ScannerMode enums, written as C++ source.
//
//   vordash_scangen <token_kinds.txt> <scanner_rules.txt> <output dir> <expected counts>
//
// It writes <output dir>/scanner_tables.inc (the tables, for the scanner's source only)
// and <output dir>/scanner_enums.h (the enums, for every user of tokens). The expected
// counts are "name=count" items separated by ',' for the macros and the modes; kinds
// and rules are numbered lists whose numbering is checked line by line.
//
// Every pattern becomes a nondeterministic automaton (one accepting state per rule), the
// subset construction makes it deterministic from one start state per mode, and the
// states are minimised. A state accepts the lowest-numbered rule among those it accepts,
// which is how ties between equally long matches are decided. The output depends only
// on the two inputs: ordered containers and a breadth-first numbering of the states.
//
// It refuses to write anything (and so fails the build) when an expected count differs,
// when a line does not parse, when a rule names a kind or mode that does not exist, or
// when some start state accepts the empty input.

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kMaxStates = 32767; // states are int16 in the tables
constexpr int kMaxModes = 15;     // modes are a bit set per rule

[[noreturn]] void fail(const std::string& message) {
    std::cerr << "vordash_scangen: " << message << "\n";
    std::exit(1);
}

std::vector<std::string> splitTabs(const std::string& line, size_t fields) {
    std::vector<std::string> parts;
    size_t from = 0;
    while (parts.size() + 1 < fields) {
        size_t tab = line.find('\t', from);
        if (tab == std::string::npos) break;
        parts.push_back(line.substr(from, tab - from));
        from = tab + 1;
    }
    parts.push_back(line.substr(from)); // the last field keeps any further tabs
    return parts;
}

int parseNumber(const std::string& text, const std::string& where) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 6)
        fail(where + ": '" + text + "' is no number");
    return std::stoi(text);
}

bool isCommentOrBlank(const std::string& line) { return line.empty() || line[0] == '#'; }

std::vector<std::string> readLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) fail("cannot open " + path);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// ---------------------------------------------------------------------------------------
// Inputs

bool isIdentifier(const std::string& text) {
    if (text.empty() || (text[0] >= '0' && text[0] <= '9')) return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

struct TokenKinds {
    std::vector<std::string> names;    // enumerator by id
    std::vector<std::string> displays; // display name by id

    // The id a rule's kind column names: an enumerator, or a display name that no
    // other kind shares.
    int find(const std::string& name, const std::string& where) const {
        for (size_t k = 0; k < names.size(); ++k)
            if (names[k] == name) return static_cast<int>(k);
        int found = -1;
        for (size_t k = 0; k < displays.size(); ++k) {
            if (displays[k] != name) continue;
            if (found >= 0) fail(where + ": the display name " + name + " is shared by several token kinds; use the kind's name");
            found = static_cast<int>(k);
        }
        if (found < 0) fail(where + ": no token kind is named " + name);
        return found;
    }
};

TokenKinds readTokenKinds(const std::string& path) {
    std::map<int, std::pair<std::string, std::string>> byId;
    std::set<std::string> names;
    std::vector<std::string> lines = readLines(path);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (isCommentOrBlank(lines[i])) continue;
        std::string where = path + ":" + std::to_string(i + 1);
        std::vector<std::string> fields = splitTabs(lines[i], 3);
        if (fields.size() != 3 || fields[2].empty()) fail(where + ": expected <id> TAB <name> TAB <display name>");
        int id = parseNumber(fields[0], where);
        if (!isIdentifier(fields[1])) fail(where + ": '" + fields[1] + "' is no identifier");
        if (!names.insert(fields[1]).second) fail(where + ": token kind name " + fields[1] + " twice");
        if (!byId.emplace(id, std::make_pair(fields[1], fields[2])).second)
            fail(where + ": token kind " + fields[0] + " twice");
    }
    TokenKinds kinds;
    for (const auto& [id, entry] : byId) {
        if (id != static_cast<int>(kinds.names.size())) fail(path + ": token kind ids must run from 0 without gaps");
        kinds.names.push_back(entry.first);
        kinds.displays.push_back(entry.second);
    }
    if (kinds.names.size() < 2) fail(path + ": no token kinds");
    return kinds;
}

struct Rule {
    int number = 0;
    std::vector<bool> active; // by mode
    int newMode = -1; // -1 keeps the mode
    int kind = 0;     // 0: the match is skipped
    std::string pattern;
    std::string where;
};

struct Mode {
    std::string letters; // as the rules write it
    std::string name;    // the ScannerMode enumerator
    std::string comment; // the comment line above it, without '#'
};

struct RuleSet {
    std::vector<Mode> modes;  // by number; the combined mode follows them
    std::vector<Rule> rules;  // indexed by rule number
    std::map<std::string, std::string> macros;

    int modeCount() const { return static_cast<int>(modes.size()); }
    int startCount() const { return modeCount() + 1; }
};

int modeIndex(const std::vector<Mode>& modes, const std::string& letters, const std::string& where) {
    for (size_t m = 0; m < modes.size(); ++m)
        if (modes[m].letters == letters) return static_cast<int>(m);
    fail(where + ": unknown mode '" + letters + "'");
}

int keywordKind(const TokenKinds& kinds, const std::string& keyword, const std::string& where) {
    int found = -1;
    for (size_t k = 0; k < kinds.displays.size(); ++k) {
        if (kinds.displays[k] != keyword) continue;
        if (found >= 0) fail(where + ": keyword " + keyword + " names two token kinds");
        found = static_cast<int>(k);
    }
    if (found < 0) fail(where + ": no token kind is named " + keyword);
    return found;
}

// Modes come first in the file: the rules name them.
std::vector<Mode> readModes(const std::string& path, const std::vector<std::string>& lines) {
    std::map<int, Mode> byNumber;
    std::set<std::string> letters;
    std::set<std::string> names;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i].starts_with("mode\t")) continue;
        std::string where = path + ":" + std::to_string(i + 1);
        std::vector<std::string> f = splitTabs(lines[i], 4);
        if (f.size() != 4 || f[2].empty() || f[3].empty()) fail(where + ": expected mode <n> <letters> <name>");
        Mode mode{f[2], f[3], {}};
        if (!isIdentifier(mode.name) || mode.name == "combined") fail(where + ": '" + mode.name + "' is no mode name");
        if (mode.letters == "-" || mode.letters.find(',') != std::string::npos)
            fail(where + ": '" + mode.letters + "' cannot name a mode");
        if (!letters.insert(mode.letters).second) fail(where + ": mode " + mode.letters + " twice");
        if (!names.insert(mode.name).second) fail(where + ": mode " + mode.name + " twice");
        if (i > 0 && lines[i - 1].starts_with("# ")) mode.comment = lines[i - 1].substr(2);
        if (!byNumber.emplace(parseNumber(f[1], where), mode).second) fail(where + ": mode " + f[1] + " twice");
    }
    std::vector<Mode> modes;
    for (auto& [number, mode] : byNumber) {
        if (number != static_cast<int>(modes.size())) fail(path + ": mode numbers must run from 0 without gaps");
        modes.push_back(mode);
    }
    if (modes.empty() || modes.size() > kMaxModes) fail(path + ": from 1 to " + std::to_string(kMaxModes) + " modes");
    return modes;
}

RuleSet readRules(const std::string& path, const TokenKinds& kinds) {
    RuleSet set;
    std::map<int, Rule> rules;
    std::set<int> macroNumbers;
    std::vector<std::string> lines = readLines(path);
    set.modes = readModes(path, lines);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (isCommentOrBlank(lines[i]) || lines[i].starts_with("mode\t")) continue;
        std::string where = path + ":" + std::to_string(i + 1);
        if (lines[i].starts_with("macro\t")) {
            std::vector<std::string> f = splitTabs(lines[i], 4);
            if (f.size() != 4 || f[2].empty() || f[3].empty()) fail(where + ": expected macro <n> <name> <pattern>");
            if (!macroNumbers.insert(parseNumber(f[1], where)).second) fail(where + ": macro number twice");
            if (!set.macros.emplace(f[2], f[3]).second) fail(where + ": macro " + f[2] + " twice");
            continue;
        }
        if (!lines[i].starts_with("rule\t")) fail(where + ": expected a mode, a macro or a rule");
        std::vector<std::string> f = splitTabs(lines[i], 6);
        if (f.size() != 6 || f[5].empty()) fail(where + ": expected rule <n> <modes> <then> <kind> <pattern>");
        Rule rule;
        rule.where = where;
        rule.number = parseNumber(f[1], where);
        rule.active.assign(set.modes.size(), false);
        std::stringstream modes(f[2]);
        for (std::string letters; std::getline(modes, letters, ',');)
            rule.active[static_cast<size_t>(modeIndex(set.modes, letters, where))] = true;
        if (f[3] != "-") rule.newMode = modeIndex(set.modes, f[3], where);
        rule.pattern = f[5];
        if (f[4] == "skip") {
            rule.kind = 0;
        } else if (f[4] == "keyword") {
            rule.kind = keywordKind(kinds, rule.pattern, where);
        } else {
            rule.kind = kinds.find(f[4], where);
            // Kind 0 marks a skipped match in the tables and is never returned.
            if (rule.kind == 0) fail(where + ": kind " + f[4] + " marks a skipped match; write 'skip'");
        }
        if (!rules.emplace(rule.number, rule).second) fail(where + ": rule " + f[1] + " twice");
    }
    if (rules.empty()) fail(path + ": no rules");
    for (auto& [number, rule] : rules) {
        if (number != static_cast<int>(set.rules.size())) fail(path + ": rule numbers must run from 0 without gaps");
        set.rules.push_back(rule);
    }
    return set;
}

// ---------------------------------------------------------------------------------------
// Nondeterministic automaton

using ByteSet = std::bitset<256>;

struct Nfa {
    struct State {
        std::vector<int> epsilon;
        int set = -1; // index into sets: the bytes of the one labelled edge
        int target = -1;
        int accept = -1;
    };
    std::vector<State> states;
    std::vector<ByteSet> sets;
    std::map<std::string, int> setIndex;

    int add() {
        states.emplace_back();
        return static_cast<int>(states.size()) - 1;
    }
    int internSet(const ByteSet& bytes) {
        auto [it, added] = setIndex.emplace(bytes.to_string(), static_cast<int>(sets.size()));
        if (added) sets.push_back(bytes);
        return it->second;
    }
};

struct Fragment {
    int start;
    int end;
};

ByteSet bothCases(unsigned char c) {
    ByteSet bytes;
    bytes.set(c);
    if (c >= 'a' && c <= 'z') bytes.set(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') bytes.set(c - 'A' + 'a');
    return bytes;
}

// Recursive descent over one pattern; a macro reference parses the macro's text in place,
// so every use gets its own states.
class PatternParser {
public:
    PatternParser(Nfa& nfa, const std::map<std::string, std::string>& macros, std::string where)
        : nfa_(nfa), macros_(macros), where_(std::move(where)) {}

    Fragment parse(const std::string& pattern) {
        std::string savedText = text_;
        size_t savedPos = pos_;
        text_ = pattern;
        pos_ = 0;
        Fragment fragment = alternation();
        if (pos_ != text_.size()) error("unexpected '" + std::string(1, text_[pos_]) + "'");
        text_ = std::move(savedText);
        pos_ = savedPos;
        return fragment;
    }

private:
    [[noreturn]] void error(const std::string& message) const {
        fail(where_ + ": pattern " + text_ + ": " + message + " at " + std::to_string(pos_));
    }

    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return text_[pos_]; }

    Fragment edge(const ByteSet& bytes) {
        Fragment f{nfa_.add(), nfa_.add()};
        nfa_.states[static_cast<size_t>(f.start)].set = nfa_.internSet(bytes);
        nfa_.states[static_cast<size_t>(f.start)].target = f.end;
        return f;
    }
    void link(int from, int to) { nfa_.states[static_cast<size_t>(from)].epsilon.push_back(to); }

    Fragment alternation() {
        Fragment first = sequence();
        if (atEnd() || peek() != '|') return first;
        Fragment whole{nfa_.add(), nfa_.add()};
        link(whole.start, first.start);
        link(first.end, whole.end);
        while (!atEnd() && peek() == '|') {
            ++pos_;
            Fragment next = sequence();
            link(whole.start, next.start);
            link(next.end, whole.end);
        }
        return whole;
    }

    Fragment sequence() {
        Fragment whole{nfa_.add(), -1};
        whole.end = whole.start;
        while (!atEnd() && peek() != '|' && peek() != ')') {
            Fragment next = repetition();
            link(whole.end, next.start);
            whole.end = next.end;
        }
        return whole;
    }

    Fragment repetition() {
        Fragment inner = atom();
        while (!atEnd() && (peek() == '*' || peek() == '+' || peek() == '?')) {
            char op = text_[pos_++];
            Fragment outer{nfa_.add(), nfa_.add()};
            link(outer.start, inner.start);
            link(inner.end, outer.end);
            if (op != '+') link(outer.start, outer.end);
            if (op != '?') link(inner.end, inner.start);
            inner = outer;
        }
        return inner;
    }

    unsigned char escaped() {
        if (atEnd()) error("'\\' at the end");
        char c = text_[pos_++];
        switch (c) {
        case 'n': return '\n';
        case 'r': return '\r';
        case 't': return '\t';
        default: return static_cast<unsigned char>(c);
        }
    }

    Fragment atom() {
        if (atEnd()) error("missing operand");
        char c = text_[pos_++];
        switch (c) {
        case '(': {
            Fragment inner = alternation();
            if (atEnd() || peek() != ')') error("missing ')'");
            ++pos_;
            return inner;
        }
        case ')':
        case '*':
        case '+':
        case '?':
        case '|': --pos_; error("missing operand");
        case '[': return edge(charClass());
        case '.': {
            ByteSet any;
            any.set();
            any.reset('\n');
            return edge(any);
        }
        case '\\': return edge(bothCases(escaped()));
        case '{': return macro();
        default: return edge(bothCases(static_cast<unsigned char>(c)));
        }
    }

    Fragment macro() {
        size_t close = text_.find('}', pos_);
        if (close == std::string::npos) error("missing '}'");
        std::string name = text_.substr(pos_, close - pos_);
        pos_ = close + 1;
        auto it = macros_.find(name);
        if (it == macros_.end()) error("unknown macro " + name);
        if (!expanding_.insert(name).second) error("macro " + name + " refers to itself");
        Fragment expansion = parse(it->second);
        expanding_.erase(name);
        return expansion;
    }

    // Letters are folded to both cases before a complement is taken.
    ByteSet charClass() {
        bool complement = !atEnd() && peek() == '^';
        if (complement) ++pos_;
        ByteSet bytes;
        bool first = true;
        while (true) {
            if (atEnd()) error("missing ']'");
            char c = text_[pos_];
            if (c == ']' && !first) break;
            first = false;
            ++pos_;
            unsigned char low = c == '\\' ? escaped() : static_cast<unsigned char>(c);
            unsigned char high = low;
            if (!atEnd() && peek() == '-' && pos_ + 1 < text_.size() && text_[pos_ + 1] != ']') {
                ++pos_;
                char h = text_[pos_++];
                high = h == '\\' ? escaped() : static_cast<unsigned char>(h);
                if (high < low) error("reversed range");
            }
            for (int b = low; b <= high; ++b) bytes |= bothCases(static_cast<unsigned char>(b));
        }
        ++pos_;
        if (complement) bytes.flip();
        return bytes;
    }

    Nfa& nfa_;
    const std::map<std::string, std::string>& macros_;
    std::string where_;
    std::string text_;
    size_t pos_ = 0;
    std::set<std::string> expanding_;
};

// ---------------------------------------------------------------------------------------
// Deterministic automaton

struct Dfa {
    std::vector<std::array<int, 256>> next; // -1: no transition
    std::vector<int> accept;                // -1: accepts no rule
    std::vector<int> start; // by mode, the combined mode last
};

std::vector<int> closure(const Nfa& nfa, std::vector<int> seeds) {
    std::vector<char> seen(nfa.states.size(), 0);
    std::vector<int> result;
    while (!seeds.empty()) {
        int s = seeds.back();
        seeds.pop_back();
        if (seen[static_cast<size_t>(s)]) continue;
        seen[static_cast<size_t>(s)] = 1;
        result.push_back(s);
        for (int t : nfa.states[static_cast<size_t>(s)].epsilon) seeds.push_back(t);
    }
    std::sort(result.begin(), result.end());
    return result;
}

// Bytes that no edge label tells apart behave alike; the construction works per class.
struct ByteClasses {
    std::array<int, 256> classOf{};
    std::vector<int> representative;
};

ByteClasses byteClasses(const Nfa& nfa) {
    ByteClasses classes;
    std::map<std::vector<bool>, int> bySignature;
    for (int b = 0; b < 256; ++b) {
        std::vector<bool> signature;
        for (const ByteSet& set : nfa.sets) signature.push_back(set.test(static_cast<size_t>(b)));
        auto [it, added] = bySignature.emplace(signature, static_cast<int>(classes.representative.size()));
        if (added) classes.representative.push_back(b);
        classes.classOf[static_cast<size_t>(b)] = it->second;
    }
    return classes;
}

Dfa determinise(const Nfa& nfa, const std::vector<int>& nfaStarts) {
    ByteClasses classes = byteClasses(nfa);
    std::map<std::vector<int>, int> index;
    std::vector<std::vector<int>> sets;
    std::vector<std::vector<int>> classNext; // per state, per byte class
    auto intern = [&](std::vector<int> set) {
        auto [it, added] = index.emplace(set, static_cast<int>(sets.size()));
        if (added) sets.push_back(std::move(set));
        return it->second;
    };
    Dfa dfa;
    for (int start : nfaStarts) dfa.start.push_back(intern(closure(nfa, {start})));
    for (size_t d = 0; d < sets.size(); ++d) {
        if (sets.size() > 200000) fail("the automaton grows beyond 200000 states");
        std::vector<int> row(classes.representative.size(), -1);
        for (size_t c = 0; c < classes.representative.size(); ++c) {
            size_t byte = static_cast<size_t>(classes.representative[c]);
            std::vector<int> targets;
            for (int s : sets[d]) {
                const Nfa::State& state = nfa.states[static_cast<size_t>(s)];
                if (state.set >= 0 && nfa.sets[static_cast<size_t>(state.set)].test(byte)) targets.push_back(state.target);
            }
            if (!targets.empty()) row[c] = intern(closure(nfa, std::move(targets)));
        }
        classNext.push_back(std::move(row));
    }
    for (size_t d = 0; d < sets.size(); ++d) {
        std::array<int, 256> next{};
        for (size_t b = 0; b < 256; ++b) next[b] = classNext[d][static_cast<size_t>(classes.classOf[b])];
        dfa.next.push_back(next);
        int accept = -1;
        for (int s : sets[d]) {
            int rule = nfa.states[static_cast<size_t>(s)].accept;
            if (rule >= 0 && (accept < 0 || rule < accept)) accept = rule;
        }
        dfa.accept.push_back(accept);
    }
    return dfa;
}

// Moore's partition refinement, then a breadth-first renumbering from the start states
// in mode order, so the numbering follows from the rules alone.
Dfa minimise(const Dfa& dfa) {
    size_t count = dfa.next.size();
    std::vector<int> block(count);
    {
        std::map<int, int> byAccept;
        for (size_t s = 0; s < count; ++s)
            block[s] = byAccept.emplace(dfa.accept[s], static_cast<int>(byAccept.size())).first->second;
    }
    size_t blocks = 0;
    while (true) {
        std::map<std::vector<int>, int> bySignature;
        std::vector<int> refined(count);
        for (size_t s = 0; s < count; ++s) {
            std::vector<int> signature;
            signature.reserve(257);
            signature.push_back(block[s]);
            for (int t : dfa.next[s]) signature.push_back(t < 0 ? -1 : block[static_cast<size_t>(t)]);
            refined[s] = bySignature.emplace(signature, static_cast<int>(bySignature.size())).first->second;
        }
        block = std::move(refined);
        if (bySignature.size() == blocks) break;
        blocks = bySignature.size();
    }
    std::vector<int> anyMember(blocks, -1);
    for (size_t s = 0; s < count; ++s)
        if (anyMember[static_cast<size_t>(block[s])] < 0) anyMember[static_cast<size_t>(block[s])] = static_cast<int>(s);

    std::vector<int> number(blocks, -1);
    std::vector<int> order;
    auto visit = [&](int b) {
        if (number[static_cast<size_t>(b)] < 0) {
            number[static_cast<size_t>(b)] = static_cast<int>(order.size());
            order.push_back(b);
        }
    };
    for (int start : dfa.start) visit(block[static_cast<size_t>(start)]);
    for (size_t i = 0; i < order.size(); ++i) {
        const std::array<int, 256>& next = dfa.next[static_cast<size_t>(anyMember[static_cast<size_t>(order[i])])];
        for (int t : next)
            if (t >= 0) visit(block[static_cast<size_t>(t)]);
    }
    Dfa result;
    for (int b : order) {
        size_t member = static_cast<size_t>(anyMember[static_cast<size_t>(b)]);
        std::array<int, 256> next{};
        for (size_t c = 0; c < 256; ++c) {
            int t = dfa.next[member][c];
            next[c] = t < 0 ? -1 : number[static_cast<size_t>(block[static_cast<size_t>(t)])];
        }
        result.next.push_back(next);
        result.accept.push_back(dfa.accept[member]);
    }
    for (int start : dfa.start) result.start.push_back(number[static_cast<size_t>(block[static_cast<size_t>(start)])]);
    return result;
}

// ---------------------------------------------------------------------------------------
// Output

std::string cString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\%03o", c);
            out += buffer;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

const char* const kHeaderLine =
    "// generated, do not edit: made by vordash_scangen from token_kinds.txt, scanner_rules.txt\n";

std::string renderTables(const Dfa& dfa, const TokenKinds& kinds, const RuleSet& rules) {
    std::ostringstream out;
    out << kHeaderLine << "// Tables of the scanner's longest-match automaton.\n\n";
    out << "constexpr int32_t kStateCount = " << dfa.next.size() << ";\n";
    out << "constexpr int32_t kRuleCount = " << rules.rules.size() << ";\n\n";

    out << "// Display names by token kind.\n";
    out << "constexpr const char* kTokenNames[kTokenKindCount] = {\n";
    for (size_t k = 0; k < kinds.displays.size(); ++k) out << "    " << cString(kinds.displays[k]) << ", // " << k << "\n";
    out << "};\n\n";

    out << "// Per rule: token kind (0: skipped), mode switched to (-1: none), pattern text.\n";
    out << "constexpr int16_t kRuleKind[kRuleCount] = {";
    for (size_t r = 0; r < rules.rules.size(); ++r) out << (r % 20 == 0 ? "\n    " : " ") << rules.rules[r].kind << ",";
    out << "\n};\n";
    out << "constexpr int8_t kRuleNewMode[kRuleCount] = {";
    for (size_t r = 0; r < rules.rules.size(); ++r) out << (r % 20 == 0 ? "\n    " : " ") << rules.rules[r].newMode << ",";
    out << "\n};\n";
    out << "constexpr const char* kRulePattern[kRuleCount] = {\n";
    for (size_t r = 0; r < rules.rules.size(); ++r) out << "    " << cString(rules.rules[r].pattern) << ", // " << r << "\n";
    out << "};\n\n";

    out << "// Start state by ScannerMode.\n";
    out << "constexpr int16_t kModeStart[kScannerModeCount] = {";
    for (size_t m = 0; m < dfa.start.size(); ++m) out << (m ? ", " : "") << dfa.start[m];
    out << "};\n\n";

    out << "// Rule accepted by each state (-1: none).\n";
    out << "constexpr int16_t kAccept[kStateCount] = {";
    for (size_t s = 0; s < dfa.accept.size(); ++s) out << (s % 20 == 0 ? "\n    " : " ") << dfa.accept[s] << ",";
    out << "\n};\n\n";

    out << "// Next state by state * 256 + byte (-1: no transition).\n";
    out << "constexpr int16_t kTransitions[kStateCount * 256] = {\n";
    for (size_t s = 0; s < dfa.next.size(); ++s) {
        out << "    // " << s << "\n   ";
        for (size_t c = 0; c < 256; ++c) out << " " << dfa.next[s][c] << ",";
        out << "\n";
    }
    out << "};\n";
    return out.str();
}

// The enums every user of tokens names; small, so that they can sit in a widely
// included header.
std::string renderEnums(const TokenKinds& kinds, const RuleSet& rules) {
    std::ostringstream out;
    out << kHeaderLine << "#pragma once\n\n#include <cstdint>\n\nnamespace Karsto {\n\n";
    out << "// Token kinds by id; the parser tables are indexed by the same ids.\n";
    out << "enum class TokenKind : int32_t {\n";
    for (size_t k = 0; k < kinds.names.size(); ++k)
        out << "    " << kinds.names[k] << " = " << k << ", // " << kinds.displays[k] << "\n";
    out << "};\n";
    out << "inline constexpr int32_t kTokenKindCount = " << kinds.names.size() << ";\n\n";
    out << "// Notation modes of the scanner; the values index its start-state table.\n";
    out << "enum class ScannerMode : int32_t {\n";
    for (size_t m = 0; m < rules.modes.size(); ++m) {
        const Mode& mode = rules.modes[m];
        out << "    " << mode.name << " = " << m << ", // " << mode.letters;
        if (!mode.comment.empty()) out << ": " << mode.comment;
        out << "\n";
    }
    out << "    combined = " << rules.modes.size() << ", // every rule at once; only the scanner's default\n";
    out << "};\n";
    out << "inline constexpr int32_t kScannerModeCount = " << rules.startCount() << ";\n\n";
    out << "} // namespace Karsto\n";
    return out.str();
}

// Parses "name=count,name=count"; every count the generator knows must be given.
std::map<std::string, int> parseExpected(const std::string& text) {
    std::map<std::string, int> expected;
    std::stringstream items(text);
    for (std::string item; std::getline(items, item, ',');) {
        size_t eq = item.find('=');
        if (eq == std::string::npos) fail("expected counts: '" + item + "' is not name=count");
        expected[item.substr(0, eq)] = parseNumber(item.substr(eq + 1), "expected counts");
    }
    return expected;
}

void checkCounts(const std::map<std::string, int>& expected, const std::map<std::string, int>& actual) {
    std::string faults;
    for (const auto& [name, count] : actual) {
        auto it = expected.find(name);
        if (it == expected.end()) faults += "\nvordash_scangen: no expected count of " + name;
        else if (it->second != count)
            faults += "\nvordash_scangen: " + std::to_string(count) + " " + name + ", expected " + std::to_string(it->second);
    }
    for (const auto& [name, count] : expected)
        if (actual.count(name) == 0) faults += "\nvordash_scangen: unknown count " + name;
    if (!faults.empty()) fail("counts differ, nothing written" + faults);
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) fail("cannot write " + path);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) fail("usage: vordash_scangen <token_kinds.txt> <scanner_rules.txt> <output dir> <expected counts>");
    TokenKinds kinds = readTokenKinds(argv[1]);
    RuleSet rules = readRules(argv[2], kinds);
    checkCounts(parseExpected(argv[4]), {{"macros", static_cast<int>(rules.macros.size())}, {"modes", rules.modeCount()}});

    Nfa nfa;
    std::vector<int> starts;
    for (int m = 0; m < rules.startCount(); ++m) starts.push_back(nfa.add());
    const int combined = rules.modeCount();
    for (const Rule& rule : rules.rules) {
        PatternParser parser(nfa, rules.macros, rule.where);
        Fragment fragment = parser.parse(rule.pattern);
        nfa.states[static_cast<size_t>(fragment.end)].accept = rule.number;
        for (int m = 0; m <= combined; ++m)
            if (m == combined || rule.active[static_cast<size_t>(m)])
                nfa.states[static_cast<size_t>(starts[static_cast<size_t>(m)])].epsilon.push_back(fragment.start);
    }

    Dfa dfa = minimise(determinise(nfa, starts));
    for (int start : dfa.start) {
        int rule = dfa.accept[static_cast<size_t>(start)];
        if (rule >= 0) fail("rule " + std::to_string(rule) + " matches the empty input");
    }
    if (dfa.next.size() > kMaxStates) fail("too many states for int16 tables");

    // Written under temporary names and renamed only when both are complete, so a failed
    // run leaves no half of a pair behind.
    const std::string dir = argv[3];
    const std::string tables = dir + "/scanner_tables.inc";
    const std::string enums = dir + "/scanner_enums.h";
    writeFile(tables + ".tmp", renderTables(dfa, kinds, rules));
    writeFile(enums + ".tmp", renderEnums(kinds, rules));
    if (std::rename((tables + ".tmp").c_str(), tables.c_str()) != 0) fail("cannot write " + tables);
    if (std::rename((enums + ".tmp").c_str(), enums.c_str()) != 0) fail("cannot write " + enums);
    return 0;
}
