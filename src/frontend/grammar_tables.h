#pragma once
// The LALR(1) tables of the Jyx grammar, generated at build time from the grammar
// data files (the definitions live in one generated source). Rows are states, state 0
// is the start; ACTION columns are token kinds, GOTO columns nonterminal ids.
// Reductions are entered only for their look-ahead kinds: no default reductions, so a
// syntax error is found in the state the look-ahead really reaches.

#include <cstdint>

#include "frontend/grammar_symbols.h"

namespace Karsto::Grammar {

// The two high bits of a table entry; the low 14 bits are a state or a production.
enum class Action : uint16_t {
    error = 0x0000,
    shift = 0x4000,   // ACTION: shift and go to the state; GOTO: go to the state
    reduce = 0x8000,  // ACTION: reduce by the production
};

inline constexpr uint16_t actionMask = 0xC000;
inline constexpr uint16_t targetMask = 0x3FFF;

inline Action actionOf(uint16_t entry) { return static_cast<Action>(entry & actionMask); }
inline uint16_t targetOf(uint16_t entry) { return entry & targetMask; }

struct ProductionInfo {
    uint16_t length;  // symbols on the right-hand side, 0 to 9
    uint16_t lhs;     // nonterminal id of the left-hand side
    uint16_t tokens;  // bit i set: symbol i of the right-hand side is a terminal
    // Marked "forward" in grammar_productions.txt: the reduction makes no node, the one
    // child stands for it, and the evaluator never meets the production.
    bool forwards;
};

// Terminals among the first symbols of a right-hand side whose tokens mask is given: a
// 16-bit population count in plain arithmetic, which the node accessors need at every
// child and which would otherwise be a library call on a baseline x86-64 build.
constexpr unsigned tokenCount(uint32_t tokens) {
    uint32_t v = tokens & 0xFFFFu;
    v = v - ((v >> 1) & 0x5555u);
    v = (v & 0x3333u) + ((v >> 2) & 0x3333u);
    v = (v + (v >> 4)) & 0x0F0Fu;
    return (v + (v >> 8)) & 0x1Fu;
}
static_assert(tokenCount(0) == 0 && tokenCount(0xFFFF) == 16 && tokenCount(0x8421) == 4);

extern const uint16_t actionTable[stateCount][terminalCount];
extern const uint16_t gotoTable[stateCount][nonterminalCount];
extern const ProductionInfo productionTable[productionCount];

} // namespace Karsto::Grammar
