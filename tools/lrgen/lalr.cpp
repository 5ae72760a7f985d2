#include "lalr.h"

#include <algorithm>
#include <deque>
#include <set>

namespace Karsto::Lrgen {

bool TerminalSet::unite(const TerminalSet& other) {
    bool grew = false;
    for (size_t i = 0; i < words_.size(); ++i) {
        uint64_t merged = words_[i] | other.words_[i];
        grew |= merged != words_[i];
        words_[i] = merged;
    }
    return grew;
}

Automaton::Automaton(const Grammar& grammar) : grammar_(grammar) {
    // The start symbol is nonterminal 0; "<end>" closes the augmented start.
    augmentedRhs_ = {grammar_.terminalCount(), grammar_.endKind};

    const int productionCount = augmentedProduction() + 1;
    for (int p = 0; p < productionCount; ++p) {
        itemBase_.push_back(static_cast<int>(itemProduction_.size()));
        itemProduction_.insert(itemProduction_.end(), rhsOf(p).size() + 1, p);
    }
    productionsOf_.assign(grammar_.nonterminals.size(), {});
    for (const Production& p : grammar_.productions) productionsOf_[p.lhs].push_back(p.number);

    computeFirstSets();
    buildStates();
    computeLookaheads();
}

const std::vector<int>& Automaton::rhsOf(int production) const {
    return production == augmentedProduction() ? augmentedRhs_ : grammar_.productions[production].rhs;
}

bool Automaton::isComplete(int item) const {
    return dotOf(item) == static_cast<int>(rhsOf(productionOf(item)).size());
}

std::string Automaton::itemText(int item) const {
    int p = productionOf(item);
    std::string text = p == augmentedProduction() ? "<start>" : grammar_.nonterminals[grammar_.productions[p].lhs];
    text += " ->";
    const std::vector<int>& rhs = rhsOf(p);
    for (size_t i = 0; i <= rhs.size(); ++i) {
        if (static_cast<int>(i) == dotOf(item)) text += " .";
        if (i < rhs.size()) text += " " + grammar_.symbolName(rhs[i]);
    }
    return text;
}

void Automaton::computeFirstSets() {
    const int n = grammar_.nonterminalCount();
    nullable_.assign(n, false);
    first_.assign(n, TerminalSet(grammar_.terminalCount()));
    bool changed = true;
    while (changed) {
        changed = false;
        for (const Production& p : grammar_.productions) {
            bool allNullable = true;
            for (int symbol : p.rhs) {
                if (grammar_.isTerminal(symbol)) {
                    TerminalSet one(grammar_.terminalCount());
                    one.insert(symbol);
                    changed |= first_[p.lhs].unite(one);
                    allNullable = false;
                    break;
                }
                int b = symbol - grammar_.terminalCount();
                changed |= first_[p.lhs].unite(first_[b]);
                if (!nullable_[b]) {
                    allNullable = false;
                    break;
                }
            }
            if (allNullable && !nullable_[p.lhs]) {
                nullable_[p.lhs] = true;
                changed = true;
            }
        }
    }
}

std::vector<int> Automaton::closure(std::vector<int> items) const {
    std::set<int> present(items.begin(), items.end());
    for (size_t i = 0; i < items.size(); ++i) {
        const std::vector<int>& rhs = rhsOf(productionOf(items[i]));
        size_t dot = static_cast<size_t>(dotOf(items[i]));
        if (dot == rhs.size() || grammar_.isTerminal(rhs[dot])) continue;
        for (int q : productionsOf_[rhs[dot] - grammar_.terminalCount()]) {
            if (present.insert(itemBase_[q]).second) items.push_back(itemBase_[q]);
        }
    }
    return items;
}

void Automaton::buildStates() {
    std::map<std::vector<int>, int> stateOfKernel;
    std::vector<int> start = {itemBase_[augmentedProduction()]};
    stateOfKernel[start] = 0;
    states_.emplace_back();
    states_[0].kernelSize = 1;
    states_[0].items = closure(start);

    for (size_t s = 0; s < states_.size(); ++s) {
        // Kernels of the successors, by the symbol read; ordered so that the state
        // numbering is the same on every run.
        std::map<int, std::vector<int>> successors;
        for (int item : states_[s].items) {
            const std::vector<int>& rhs = rhsOf(productionOf(item));
            size_t dot = static_cast<size_t>(dotOf(item));
            if (dot < rhs.size()) successors[rhs[dot]].push_back(item + 1);
        }
        for (auto& [symbol, kernel] : successors) {
            std::sort(kernel.begin(), kernel.end());
            auto [it, created] = stateOfKernel.emplace(kernel, static_cast<int>(states_.size()));
            if (created) {
                LrState next;
                next.kernelSize = kernel.size();
                next.items = closure(kernel);
                next.accessSymbol = symbol;
                states_.push_back(std::move(next));
            } else if (states_[it->second].accessSymbol != symbol) {
                faults_.push_back("state " + std::to_string(it->second) + " is entered by " +
                                  grammar_.symbolName(symbol) + " and by another symbol");
            }
            states_[s].transitions[symbol] = it->second;
        }
    }
}

void Automaton::computeLookaheads() {
    // Items of all states in one numbering: offset of the state plus local position.
    std::vector<size_t> offset;
    size_t total = 0;
    std::vector<std::map<int, size_t>> local(states_.size());
    for (size_t s = 0; s < states_.size(); ++s) {
        offset.push_back(total);
        for (size_t i = 0; i < states_[s].items.size(); ++i) local[s][states_[s].items[i]] = i;
        total += states_[s].items.size();
    }
    std::vector<TerminalSet> la(total, TerminalSet(grammar_.terminalCount()));
    std::vector<std::vector<size_t>> propagatesTo(total);

    for (size_t s = 0; s < states_.size(); ++s) {
        const LrState& state = states_[s];
        for (size_t i = 0; i < state.items.size(); ++i) {
            int item = state.items[i];
            const std::vector<int>& rhs = rhsOf(productionOf(item));
            size_t dot = static_cast<size_t>(dotOf(item));
            if (dot == rhs.size()) continue;
            // The item moves on into the successor with the same look-aheads.
            int next = state.transitions.at(rhs[dot]);
            propagatesTo[offset[s] + i].push_back(offset[next] + local[next].at(item + 1));
            if (grammar_.isTerminal(rhs[dot])) continue;
            // Each item B -> . g that the closure added for it sees FIRST of what follows
            // B here, and this item's own look-aheads when that rest can be empty.
            TerminalSet firstRest(grammar_.terminalCount());
            bool restNullable = true;
            for (size_t k = dot + 1; k < rhs.size() && restNullable; ++k) {
                if (grammar_.isTerminal(rhs[k])) {
                    firstRest.insert(rhs[k]);
                    restNullable = false;
                } else {
                    int c = rhs[k] - grammar_.terminalCount();
                    firstRest.unite(first_[c]);
                    restNullable = nullable_[c];
                }
            }
            for (int q : productionsOf_[rhs[dot] - grammar_.terminalCount()]) {
                size_t target = offset[s] + local[s].at(itemBase_[q]);
                la[target].unite(firstRest);
                if (restNullable) propagatesTo[offset[s] + i].push_back(target);
            }
        }
    }

    std::deque<size_t> work;
    std::vector<bool> queued(total, true);
    for (size_t i = 0; i < total; ++i) work.push_back(i);
    while (!work.empty()) {
        size_t from = work.front();
        work.pop_front();
        queued[from] = false;
        for (size_t to : propagatesTo[from]) {
            if (la[to].unite(la[from]) && !queued[to]) {
                queued[to] = true;
                work.push_back(to);
            }
        }
    }

    for (size_t s = 0; s < states_.size(); ++s) {
        auto first = la.begin() + static_cast<std::ptrdiff_t>(offset[s]);
        states_[s].lookaheads.assign(first, first + static_cast<std::ptrdiff_t>(states_[s].items.size()));
    }
}

Tables buildTables(const Grammar& grammar, const Automaton& automaton) {
    Tables t;
    t.stateCount = static_cast<int>(automaton.states().size());
    t.terminalCount = grammar.terminalCount();
    t.nonterminalCount = grammar.nonterminalCount();
    t.action.assign(static_cast<size_t>(t.stateCount) * t.terminalCount, 0);
    t.gotos.assign(static_cast<size_t>(t.stateCount) * t.nonterminalCount, 0);

    for (int s = 0; s < t.stateCount; ++s) {
        const LrState& state = automaton.states()[s];
        uint16_t* action = &t.action[static_cast<size_t>(s) * t.terminalCount];
        for (const auto& [symbol, target] : state.transitions) {
            uint16_t entry = static_cast<uint16_t>(Tables::shiftBit | target);
            if (grammar.isTerminal(symbol)) {
                action[symbol] = entry;
                ++t.shiftEntries;
            } else {
                t.gotos[static_cast<size_t>(s) * t.nonterminalCount + (symbol - t.terminalCount)] = entry;
                ++t.gotoEntries;
            }
        }
        for (size_t i = 0; i < state.items.size(); ++i) {
            int item = state.items[i];
            int p = automaton.productionOf(item);
            // The augmented start is never reduced: shifting "<end>" accepts.
            if (!automaton.isComplete(item) || p == automaton.augmentedProduction()) continue;
            for (int kind = 0; kind < t.terminalCount; ++kind) {
                if (!state.lookaheads[i].contains(kind)) continue;
                uint16_t& entry = action[kind];
                if (entry != 0) {
                    std::string other = (entry & Tables::reduceBit)
                                            ? "reduce by " + std::to_string(entry & 0x3FFF)
                                            : "shift to " + std::to_string(entry & 0x3FFF);
                    t.conflicts.push_back("state " + std::to_string(s) + " on " + grammar.symbolName(kind) + ": " +
                                          other + " or reduce by " + std::to_string(p) + " (" +
                                          automaton.itemText(item) + ")");
                    continue;
                }
                entry = static_cast<uint16_t>(Tables::reduceBit | p);
                ++t.reduceEntries;
            }
        }
    }
    return t;
}

} // namespace Karsto::Lrgen
