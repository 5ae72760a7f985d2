#pragma once
// The LALR(1) automaton of a grammar: the LR(0) item sets with the start state 0 and an
// augmented start production "<start> -> root <end>", then the LALR(1) look-ahead sets
// of every item, propagated over the LR(0) states until nothing changes.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "grammar_data.h"

namespace Karsto::Lrgen {

// A set of terminal kinds.
class TerminalSet {
public:
    explicit TerminalSet(int size = 0) : words_((size + 63) / 64, 0) {}
    void insert(int kind) { words_[kind / 64] |= uint64_t{1} << (kind % 64); }
    bool contains(int kind) const { return (words_[kind / 64] >> (kind % 64)) & 1u; }
    // Adds every member of other; tells whether this set grew.
    bool unite(const TerminalSet& other);

private:
    std::vector<uint64_t> words_;
};

struct LrState {
    std::vector<int> items;           // closure item ids; the kernel items come first, sorted
    size_t kernelSize = 0;
    int accessSymbol = -1;            // the symbol every transition into the state reads
    std::map<int, int> transitions;   // symbol -> state
    std::vector<TerminalSet> lookaheads;  // parallel to items
};

class Automaton {
public:
    explicit Automaton(const Grammar& grammar);

    const std::vector<LrState>& states() const { return states_; }
    // The production of an item (augmentedProduction() for the augmented start) and the
    // position of its dot.
    int productionOf(int item) const { return itemProduction_[item]; }
    int dotOf(int item) const { return item - itemBase_[itemProduction_[item]]; }
    bool isComplete(int item) const;
    int augmentedProduction() const { return static_cast<int>(grammar_.productions.size()); }
    // "lhs -> a . b" for listings and conflict reports.
    std::string itemText(int item) const;
    // Problems with the shape of the automaton (a state entered by two symbols).
    const std::vector<std::string>& faults() const { return faults_; }

private:
    const std::vector<int>& rhsOf(int production) const;
    void computeFirstSets();
    std::vector<int> closure(std::vector<int> kernel) const;
    void buildStates();
    void computeLookaheads();

    const Grammar& grammar_;
    std::vector<int> augmentedRhs_;
    std::vector<int> itemBase_;        // first item id of each production
    std::vector<int> itemProduction_;  // production of each item id
    std::vector<std::vector<int>> productionsOf_;  // by nonterminal id
    std::vector<bool> nullable_;                   // by nonterminal id
    std::vector<TerminalSet> first_;               // by nonterminal id
    std::vector<LrState> states_;
    std::vector<std::string> faults_;
};

// The parse tables in the parser's encoding: ACTION 0 error, 0x4000|s shift, 0x8000|p
// reduce; GOTO 0 or 0x4000|s. Reductions are entered for exactly their look-ahead
// kinds: there are no default reductions.
struct Tables {
    static constexpr uint16_t shiftBit = 0x4000;
    static constexpr uint16_t reduceBit = 0x8000;

    int stateCount = 0;
    int terminalCount = 0;
    int nonterminalCount = 0;
    std::vector<uint16_t> action;  // stateCount x terminalCount
    std::vector<uint16_t> gotos;   // stateCount x nonterminalCount
    int shiftEntries = 0;
    int reduceEntries = 0;
    int gotoEntries = 0;
    std::vector<std::string> conflicts;
};

Tables buildTables(const Grammar& grammar, const Automaton& automaton);

} // namespace Karsto::Lrgen
