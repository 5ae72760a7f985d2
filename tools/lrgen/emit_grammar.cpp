#include <set>
#include <sstream>
#include <vector>

#include "emit.h"

namespace Karsto::Lrgen {
namespace {

const char* const kGrammarSources = "grammar_nonterminals.txt, grammar_productions.txt, token_kinds.txt";

std::string productionText(const Grammar& grammar, const Production& p) {
    return grammar.nonterminals[p.lhs] + " -> " + p.rhsText;
}

std::string entryText(uint16_t entry) {
    if (entry == 0) return "0";
    std::ostringstream out;
    out << "0x" << std::hex << entry;
    return out.str();
}

// One row per state, each headed by the state's number.
void emitMatrix(std::ostringstream& out, const char* declarator, const std::vector<uint16_t>& entries, int columns) {
    out << "const uint16_t " << declarator << " = {\n";
    for (size_t row = 0; row * columns < entries.size(); ++row) {
        out << "    /* " << row << " */ {";
        for (int c = 0; c < columns; ++c) out << (c ? "," : "") << entryText(entries[row * columns + c]);
        out << "},\n";
    }
    out << "};\n\n";
}

} // namespace

std::string generatedHeader(const std::string& sources) {
    return "// generated, do not edit: made by vordash_lrgen from " + sources + "\n";
}

std::string nonterminalEnumerator(const std::string& name) {
    // Nonterminal names that are C++ keywords get a trailing underscore.
    static const std::set<std::string> keywords = {
        "and", "asm", "auto", "bool", "break", "case", "catch", "char", "class", "const", "continue",
        "default", "delete", "do", "double", "else", "enum", "explicit", "export", "extern", "false",
        "float", "for", "friend", "goto", "if", "inline", "int", "long", "mutable", "namespace", "new",
        "not", "operator", "or", "private", "protected", "public", "register", "return", "short",
        "signed", "sizeof", "static", "struct", "switch", "template", "this", "throw", "true", "try",
        "typedef", "typeid", "typename", "union", "unsigned", "using", "virtual", "void", "volatile",
        "while", "xor"};
    return keywords.count(name) != 0 ? name + "_" : name;
}

std::string productionEnumerator(const Grammar& grammar, int production) {
    const Production& p = grammar.productions[production];
    int index = 0;
    for (int q = production - 1; q >= 0 && grammar.productions[q].lhs == p.lhs; --q) ++index;
    return grammar.nonterminals[p.lhs] + "_" + std::to_string(index);
}

std::string emitSymbolsHeader(const Grammar& grammar, const Tables& tables) {
    std::ostringstream out;
    out << generatedHeader(kGrammarSources);
    out << "#pragma once\n"
           "// Numbers of the grammar: nonterminal ids (GOTO columns, node classes) and\n"
           "// production numbers (what the tree's nodes record and the evaluator switches on).\n\n"
           "#include <cstdint>\n\n"
           "namespace Karsto {\n\n"
           "namespace Grammar {\n";
    out << "inline constexpr int terminalCount = " << grammar.terminalCount() << ";\n";
    out << "inline constexpr int nonterminalCount = " << grammar.nonterminalCount() << ";\n";
    out << "inline constexpr int productionCount = " << grammar.productions.size() << ";\n";
    out << "inline constexpr int stateCount = " << tables.stateCount << ";\n";
    out << "} // namespace Grammar\n\n";

    out << "enum class Nonterminal : uint16_t {\n";
    for (int id = 0; id < grammar.nonterminalCount(); ++id) {
        out << "    " << nonterminalEnumerator(grammar.nonterminals[id]) << " = " << id << ",\n";
    }
    out << "};\n\n";

    out << "enum class Prod : int32_t {\n";
    for (const Production& p : grammar.productions) {
        out << "    " << productionEnumerator(grammar, p.number) << " = " << p.number << ", // "
            << productionText(grammar, p) << "\n";
    }
    out << "};\n\n"
           "} // namespace Karsto\n";
    return out.str();
}

std::string emitTablesSource(const Grammar& grammar, const Tables& tables) {
    std::ostringstream out;
    out << generatedHeader(kGrammarSources);
    out << "#include \"frontend/grammar_tables.h\"\n\n"
           "namespace Karsto::Grammar {\n\n";

    emitMatrix(out, "actionTable[stateCount][terminalCount]", tables.action, tables.terminalCount);
    emitMatrix(out, "gotoTable[stateCount][nonterminalCount]", tables.gotos, tables.nonterminalCount);

    out << "const ProductionInfo productionTable[productionCount] = {\n";
    for (const Production& p : grammar.productions) {
        unsigned tokens = 0;
        for (size_t i = 0; i < p.rhs.size(); ++i) {
            if (grammar.isTerminal(p.rhs[i])) tokens |= 1u << i;
        }
        out << "    {" << p.rhs.size() << ", " << p.lhs << ", " << tokens << ", " << (p.forwards ? "true" : "false")
            << "}, // " << p.number << " " << productionText(grammar, p)
            << "\n";
    }
    out << "};\n\n"
           "} // namespace Karsto::Grammar\n";
    return out.str();
}

std::string emitAutomatonListing(const Grammar& grammar, const Automaton& automaton, const Tables& tables) {
    std::ostringstream out;
    out << "generated, do not edit: made by vordash_lrgen from " << kGrammarSources << "\n";
    out << tables.terminalCount << " terminals, " << tables.nonterminalCount << " nonterminals, "
        << grammar.productions.size() << " productions, " << tables.stateCount << " states, "
        << tables.shiftEntries << " shifts, " << tables.reduceEntries << " reduces, " << tables.gotoEntries
        << " gotos\n";
    for (int s = 0; s < tables.stateCount; ++s) {
        const LrState& state = automaton.states()[s];
        out << "\nstate " << s;
        if (state.accessSymbol >= 0) out << " (entered by " << grammar.symbolName(state.accessSymbol) << ")";
        out << "\n";
        for (size_t i = 0; i < state.kernelSize; ++i) out << "    " << automaton.itemText(state.items[i]) << "\n";
        for (int k = 0; k < tables.terminalCount; ++k) {
            uint16_t entry = tables.action[static_cast<size_t>(s) * tables.terminalCount + k];
            if (entry == 0) continue;
            out << "    " << grammar.symbolName(k) << (entry & Tables::reduceBit ? " reduce " : " shift ")
                << (entry & 0x3FFF) << "\n";
        }
        for (int n = 0; n < tables.nonterminalCount; ++n) {
            uint16_t entry = tables.gotos[static_cast<size_t>(s) * tables.nonterminalCount + n];
            if (entry != 0) out << "    " << grammar.nonterminals[n] << " goto " << (entry & 0x3FFF) << "\n";
        }
    }
    return out.str();
}

} // namespace Karsto::Lrgen
