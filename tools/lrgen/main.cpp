// vordash_lrgen: turns the committed grammar and node-attribute files into the parser's
// LALR(1) tables, the grammar's named numbers and the syntax-tree node classes.
// Fails (exit code 1, nothing written) on any LR conflict, on any fault in the data
// files and on any count that differs from the expected one.
//
// vordash_lrgen --terminals F --terminal-names F --nonterminals F --productions F
//               --attributes F --out DIR --expect name=count,...
// Expected counts: nonterminals, productions, states, shifts, reduces, gotos.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "emit.h"
#include "grammar_data.h"
#include "lalr.h"

namespace Karsto::Lrgen {
namespace {

struct Options {
    DataFiles files;
    std::string outDir;
    std::map<std::string, int> expected;
};

Options parseOptions(int argc, char** argv) {
    Options o;
    std::map<std::string, std::string*> paths = {
        {"--terminals", &o.files.terminals},       {"--terminal-names", &o.files.terminalNames},
        {"--nonterminals", &o.files.nonterminals}, {"--productions", &o.files.productions},
        {"--attributes", &o.files.attributes},     {"--out", &o.outDir},
    };
    std::string expect;
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        if (i + 1 >= argc) throw DataError("option " + flag + " needs a value");
        std::string value = argv[++i];
        if (flag == "--expect") {
            expect = value;
        } else if (auto it = paths.find(flag); it != paths.end()) {
            *it->second = value;
        } else {
            throw DataError("unknown option " + flag);
        }
    }
    for (const auto& [flag, path] : paths) {
        if (path->empty()) throw DataError("option " + flag + " missing");
    }
    size_t start = 0;
    while (start < expect.size()) {
        size_t comma = expect.find(',', start);
        std::string item = expect.substr(start, comma == std::string::npos ? comma : comma - start);
        size_t eq = item.find('=');
        if (eq == std::string::npos) throw DataError("--expect: '" + item + "' is not name=count");
        o.expected[item.substr(0, eq)] = std::stoi(item.substr(eq + 1));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return o;
}

std::vector<std::string> checkCounts(const Options& o, const std::map<std::string, int>& actual) {
    std::vector<std::string> faults;
    for (const auto& [name, count] : o.expected) {
        auto it = actual.find(name);
        if (it == actual.end()) {
            faults.push_back("--expect: unknown count " + name);
        } else if (it->second != count) {
            faults.push_back(std::to_string(it->second) + " " + name + ", expected " + std::to_string(count));
        }
    }
    for (const auto& [name, count] : actual) {
        if (o.expected.count(name) == 0) faults.push_back("--expect: no expected count of " + name);
    }
    return faults;
}

// Enumerators must be distinct, or the generated header would not compile with a
// message that points back here.
std::vector<std::string> checkEnumerators(const Grammar& g) {
    std::vector<std::string> faults;
    std::set<std::string> seen;
    for (const std::string& name : g.nonterminals) {
        if (!seen.insert(nonterminalEnumerator(name)).second) faults.push_back("enumerator " + name + " twice");
    }
    seen.clear();
    for (const Production& p : g.productions) {
        std::string name = productionEnumerator(g, p.number);
        if (!seen.insert(name).second) faults.push_back("production enumerator " + name + " twice");
    }
    return faults;
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw DataError(path.string() + ": cannot write");
}

int run(int argc, char** argv) {
    Options o = parseOptions(argc, argv);
    Grammar grammar = readGrammar(o.files);
    Automaton automaton(grammar);
    Tables tables = buildTables(grammar, automaton);

    std::vector<std::string> faults = automaton.faults();
    faults.insert(faults.end(), tables.conflicts.begin(), tables.conflicts.end());
    std::vector<std::string> more = checkEnumerators(grammar);
    faults.insert(faults.end(), more.begin(), more.end());
    // The terminal count is the length of the numbered token-kind list, which the
    // scanner generator owns; it is not expected here.
    more = checkCounts(o, {{"nonterminals", grammar.nonterminalCount()},
                           {"productions", static_cast<int>(grammar.productions.size())},
                           {"states", tables.stateCount},
                           {"shifts", tables.shiftEntries},
                           {"reduces", tables.reduceEntries},
                           {"gotos", tables.gotoEntries}});
    faults.insert(faults.end(), more.begin(), more.end());
    if (!faults.empty()) {
        for (const std::string& fault : faults) std::cerr << "lrgen: " << fault << "\n";
        std::cerr << "lrgen: " << faults.size() << " fault(s), nothing written\n";
        return 1;
    }

    std::filesystem::path dir(o.outDir);
    std::filesystem::create_directories(dir);
    writeFile(dir / "grammar_symbols.h", emitSymbolsHeader(grammar, tables));
    writeFile(dir / "grammar_tables.cpp", emitTablesSource(grammar, tables));
    writeFile(dir / "grammar_automaton.txt", emitAutomatonListing(grammar, automaton, tables));
    writeFile(dir / "ast_nodes.h", emitAstNodesHeader(grammar));
    writeFile(dir / "ast_nodes.cpp", emitAstNodesSource(grammar));
    writeFile(dir / "ast_nodes.def", emitAstNodesDef(grammar));
    return 0;
}

} // namespace
} // namespace Karsto::Lrgen

int main(int argc, char** argv) {
    try {
        return Karsto::Lrgen::run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "lrgen: " << e.what() << "\n";
        return 1;
    }
}
