// scangen: turns the token kinds and the ordered lexical rules into the tables of the
// scanner's longest-match automaton, written as C++ source.
//
//   scangen <token_kinds.txt> <scanner_rules.txt> <output>
//
// Every pattern becomes a nondeterministic automaton (one accepting state per rule), the
// subset construction makes it deterministic from one start state per mode, and the
// states are minimised. A state accepts the lowest-numbered rule among those it accepts,
// which is how ties between equally long matches are decided. The output depends only
// on the two inputs: ordered containers and a breadth-first numbering of the states.
//
// It refuses to write anything (and so fails the build) when the counts of kinds, rules
// and macros differ from the expected ones, when a line does not parse, or when some
// start state accepts the empty input.

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

constexpr int kExpectedKinds = 183;
constexpr int kExpectedRules = 201;
constexpr int kExpectedMacros = 10;
constexpr int kMaxStates = 32767; // states are int16 in the tables

// Order matters: the tables are indexed by ScannerMode, whose values follow this list;
// the combined mode (every rule) comes after them.
const std::array<std::string, 5> kModeLetters = {"G", "S", "SL", "GL", "SG"};
constexpr int kModeCount = 5;
constexpr int kStartCount = kModeCount + 1;

[[noreturn]] void fail(const std::string& message) {
    std::cerr << "scangen: " << message << "\n";
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

std::vector<std::string> readTokenKinds(const std::string& path) {
    std::map<int, std::string> names;
    std::vector<std::string> lines = readLines(path);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (isCommentOrBlank(lines[i])) continue;
        std::string where = path + ":" + std::to_string(i + 1);
        std::vector<std::string> fields = splitTabs(lines[i], 2);
        if (fields.size() != 2 || fields[1].empty()) fail(where + ": expected <id> TAB <display name>");
        int id = parseNumber(fields[0], where);
        if (!names.emplace(id, fields[1]).second) fail(where + ": token kind " + fields[0] + " twice");
    }
    if (static_cast<int>(names.size()) != kExpectedKinds)
        fail(path + ": " + std::to_string(names.size()) + " token kinds, expected " +
             std::to_string(kExpectedKinds));
    std::vector<std::string> ordered;
    for (const auto& [id, name] : names) {
        if (id != static_cast<int>(ordered.size())) fail(path + ": token kind ids must run from 0 without gaps");
        ordered.push_back(name);
    }
    return ordered;
}

struct Rule {
    int number = 0;
    std::array<bool, kModeCount> active{};
    int newMode = -1; // -1 keeps the mode
    int kind = 0;     // 0: the match is skipped
    std::string pattern;
    std::string where;
};

struct RuleSet {
    std::vector<Rule> rules; // indexed by rule number
    std::map<std::string, std::string> macros;
};

int modeIndex(const std::string& letters, const std::string& where) {
    for (int m = 0; m < kModeCount; ++m)
        if (kModeLetters[static_cast<size_t>(m)] == letters) return m;
    fail(where + ": unknown mode '" + letters + "'");
}

int keywordKind(const std::vector<std::string>& kinds, const std::string& keyword, const std::string& where) {
    int found = -1;
    for (size_t k = 0; k < kinds.size(); ++k) {
        if (kinds[k] != keyword) continue;
        if (found >= 0) fail(where + ": keyword " + keyword + " names two token kinds");
        found = static_cast<int>(k);
    }
    if (found < 0) fail(where + ": no token kind is named " + keyword);
    return found;
}

RuleSet readRules(const std::string& path, const std::vector<std::string>& kinds) {
    RuleSet set;
    std::map<int, Rule> rules;
    std::set<int> macroNumbers;
    std::vector<std::string> lines = readLines(path);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (isCommentOrBlank(lines[i])) continue;
        std::string where = path + ":" + std::to_string(i + 1);
        if (lines[i].starts_with("macro\t")) {
            std::vector<std::string> f = splitTabs(lines[i], 4);
            if (f.size() != 4 || f[2].empty() || f[3].empty()) fail(where + ": expected macro <n> <name> <pattern>");
            if (!macroNumbers.insert(parseNumber(f[1], where)).second) fail(where + ": macro number twice");
            if (!set.macros.emplace(f[2], f[3]).second) fail(where + ": macro " + f[2] + " twice");
            continue;
        }
        if (!lines[i].starts_with("rule\t")) fail(where + ": expected a macro or a rule");
        std::vector<std::string> f = splitTabs(lines[i], 6);
        if (f.size() != 6 || f[5].empty()) fail(where + ": expected rule <n> <modes> <then> <kind> <pattern>");
        Rule rule;
        rule.where = where;
        rule.number = parseNumber(f[1], where);
        std::stringstream modes(f[2]);
        for (std::string letters; std::getline(modes, letters, ',');)
            rule.active[static_cast<size_t>(modeIndex(letters, where))] = true;
        if (f[3] != "-") rule.newMode = modeIndex(f[3], where);
        rule.pattern = f[5];
        if (f[4] == "skip") {
            rule.kind = 0;
        } else if (f[4] == "keyword") {
            rule.kind = keywordKind(kinds, rule.pattern, where);
        } else {
            rule.kind = parseNumber(f[4], where);
            // Kind 0 marks a skipped match in the tables and is never returned.
            if (rule.kind < 1 || rule.kind >= static_cast<int>(kinds.size()))
                fail(where + ": token kind " + f[4] + " out of range");
        }
        if (!rules.emplace(rule.number, rule).second) fail(where + ": rule " + f[1] + " twice");
    }
    if (static_cast<int>(rules.size()) != kExpectedRules)
        fail(path + ": " + std::to_string(rules.size()) + " rules, expected " + std::to_string(kExpectedRules));
    if (static_cast<int>(set.macros.size()) != kExpectedMacros)
        fail(path + ": " + std::to_string(set.macros.size()) + " macros, expected " +
             std::to_string(kExpectedMacros));
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
    std::array<int, kStartCount> start{};
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

Dfa determinise(const Nfa& nfa, const std::array<int, kStartCount>& nfaStarts) {
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
    for (int m = 0; m < kStartCount; ++m) dfa.start[static_cast<size_t>(m)] = intern(closure(nfa, {nfaStarts[static_cast<size_t>(m)]}));
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
    for (size_t m = 0; m < kStartCount; ++m) result.start[m] = number[static_cast<size_t>(block[static_cast<size_t>(dfa.start[m])])];
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

std::string render(const Dfa& dfa, const RuleSet& rules, const std::vector<std::string>& kinds) {
    std::ostringstream out;
    out << "// generated by scangen from token_kinds.txt and scanner_rules.txt, do not edit\n"
        << "// Tables of the scanner's longest-match automaton.\n\n";
    out << "constexpr int32_t kStateCount = " << dfa.next.size() << ";\n";
    out << "constexpr int32_t kRuleCount = " << rules.rules.size() << ";\n";
    out << "constexpr int32_t kTokenKindCount = " << kinds.size() << ";\n";
    out << "constexpr int32_t kModeCount = " << kStartCount << ";\n\n";

    out << "// Display names by token kind.\n";
    out << "constexpr const char* kTokenNames[kTokenKindCount] = {\n";
    for (size_t k = 0; k < kinds.size(); ++k) out << "    " << cString(kinds[k]) << ", // " << k << "\n";
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

    out << "// Start state by mode: G-code, Structured Text, Structured Text line, G-code line,\n"
        << "// inner Structured Text, combined.\n";
    out << "constexpr int16_t kModeStart[kModeCount] = {";
    for (size_t m = 0; m < kStartCount; ++m) out << (m ? ", " : "") << dfa.start[m];
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

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) fail("usage: scangen <token_kinds.txt> <scanner_rules.txt> <output>");
    std::vector<std::string> kinds = readTokenKinds(argv[1]);
    RuleSet rules = readRules(argv[2], kinds);

    Nfa nfa;
    std::array<int, kStartCount> starts{};
    for (int& start : starts) start = nfa.add();
    for (const Rule& rule : rules.rules) {
        PatternParser parser(nfa, rules.macros, rule.where);
        Fragment fragment = parser.parse(rule.pattern);
        nfa.states[static_cast<size_t>(fragment.end)].accept = rule.number;
        for (int m = 0; m < kModeCount; ++m)
            if (rule.active[static_cast<size_t>(m)]) nfa.states[static_cast<size_t>(starts[static_cast<size_t>(m)])].epsilon.push_back(fragment.start);
        nfa.states[static_cast<size_t>(starts[kModeCount])].epsilon.push_back(fragment.start);
    }

    Dfa dfa = minimise(determinise(nfa, starts));
    for (size_t m = 0; m < kStartCount; ++m) {
        int rule = dfa.accept[static_cast<size_t>(dfa.start[m])];
        if (rule >= 0) fail("rule " + std::to_string(rule) + " matches the empty input");
    }
    if (dfa.next.size() > kMaxStates) fail("too many states for int16 tables");

    std::string output = argv[3];
    std::string temporary = output + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << render(dfa, rules, kinds);
        if (!out) fail("cannot write " + temporary);
    }
    if (std::rename(temporary.c_str(), output.c_str()) != 0) fail("cannot write " + output);
    return 0;
}
