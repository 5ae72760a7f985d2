#pragma once
// Writers of the generated files. Each returns the whole text of one file; the text
// depends on nothing but the grammar, so two runs give identical bytes.

#include <string>

#include "grammar_data.h"
#include "lalr.h"

namespace Karsto::Lrgen {

// The first line of every generated file; names only the data files' base names.
std::string generatedHeader(const std::string& sources);

// frontend/grammar_symbols.h: counts, Nonterminal and Prod enumerations.
std::string emitSymbolsHeader(const Grammar& grammar, const Tables& tables);
// frontend/grammar_tables.cpp: ACTION, GOTO and the production table.
std::string emitTablesSource(const Grammar& grammar, const Tables& tables);
// frontend/grammar_automaton.txt: the states with their items and actions, for review.
std::string emitAutomatonListing(const Grammar& grammar, const Automaton& automaton, const Tables& tables);

// frontend/ast_nodes.h, ast_nodes.cpp and ast_nodes.def: the attribute records with
// their visitors, their factory and one X-macro row per record and per attribute.
std::string emitAstNodesHeader(const Grammar& grammar);
std::string emitAstNodesSource(const Grammar& grammar);
std::string emitAstNodesDef(const Grammar& grammar);

// The enumerator of a nonterminal and of a production (lhs_<index within lhs>).
std::string nonterminalEnumerator(const std::string& name);
std::string productionEnumerator(const Grammar& grammar, int production);

} // namespace Karsto::Lrgen
