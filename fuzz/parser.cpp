// The LR parser on any bytes, from G-code mode as every compile starts. The only ends
// are a tree (evaluated once) or a Parser::Exception whose span lies inside the input;
// either way the stack is empty and a reset frees every node. A recognizer driven by
// the same tables over the same tokens must agree on the outcome and the offending
// token.
//
// Coverage alone sees one table look-up for every state, so the recognizer also counts
// each LR state entered and each ACTION cell consulted in libFuzzer's extra counters:
// an input that reaches a new state or cell is kept. Merging into the committed corpus
// counts the states alone (VORDASH_FUZZ_STATES_ONLY set), which keeps it small.

#include <bitset>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "frontend/ast_arena.h"
#include "frontend/fuzz_input.h"
#include "frontend/grammar_tables.h"
#include "frontend/jyx_parser.h"
#include "frontend/scanner.h"
#include "fuzz_support.h"

namespace Karsto::Fuzz {
namespace {

using Grammar::Action;
using Grammar::actionOf;
using Grammar::targetOf;
using Grammar::stateCount;
using Grammar::terminalCount;

// One counter per state, then one per ACTION cell (state, token kind).
[[gnu::used, gnu::section("__libfuzzer_extra_counters")]] uint8_t lrCounters[stateCount +
                                                                             stateCount * terminalCount];
std::bitset<stateCount> statesReached;
bool countCells = true;

// Saturating, so a state entered 256 times never reads as not entered.
void count(size_t index) {
    if (lrCounters[index] != UINT8_MAX) ++lrCounters[index];
}

void enterState(uint16_t state) {
    statesReached.set(state);
    count(state);
}

class QuietParser : public JyxParser {
public:
    using JyxParser::JyxParser;
    void evaluate() override { ++evaluations; }
    int evaluations = 0;
};

struct Recognition {
    bool accepted = false;
    int32_t errorBegin = 0; // offsets of the offending token
    int32_t errorEnd = 0;
};

// The tables' own verdict over the scanner's tokens: shift, reduce by the production and
// go to the state its left-hand side leads to, accept on shifting "<end>".
Recognition recognize(const std::string& source) {
    FuzzInput input(source);
    Scanner scanner(&input);
    scanner.mode = ScannerMode::gcode;
    std::vector<uint16_t> states{0};
    enterState(0);
    while (true) {
        Token token = scanner.nextToken();
        auto kind = static_cast<int32_t>(token.kind);
        require(kind >= 0 && kind < terminalCount, "token kind %d outside the tables", kind);
        while (true) {
            uint16_t state = states.back();
            if (countCells) count(stateCount + size_t{state} * terminalCount + static_cast<size_t>(kind));
            uint16_t entry = Grammar::actionTable[state][kind];
            if (actionOf(entry) == Action::reduce) {
                const Grammar::ProductionInfo& production = Grammar::productionTable[targetOf(entry)];
                require(production.length < states.size(), "reduction by %d pops the bottom", targetOf(entry));
                states.resize(states.size() - production.length);
                uint16_t next = Grammar::gotoTable[states.back()][production.lhs];
                require(actionOf(next) == Action::shift, "no goto after reducing by %d", targetOf(entry));
                states.push_back(targetOf(next));
                enterState(states.back());
                continue;
            }
            if (actionOf(entry) == Action::shift) {
                states.push_back(targetOf(entry));
                enterState(states.back());
                if (token.is(TokenKind::end)) return {true, 0, 0};
                break;
            }
            return {false, token.span.begin.offset, token.span.end.offset};
        }
    }
}

void requireInside(const SourcePosition& position, const std::string& source, const char* which) {
    auto size = static_cast<int32_t>(source.size());
    require(position.offset >= 0 && position.offset <= size && position.inputOffset == position.offset,
            "%s offset %d outside the input of %d bytes", which, position.offset, size);
    require(position.line >= 1 && position.column >= 1, "%s at line %d, column %d", which, position.line,
            position.column);
}

} // namespace
} // namespace Karsto::Fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Karsto::Fuzz::countCells = std::getenv("VORDASH_FUZZ_STATES_ONLY") == nullptr;
    Karsto::Fuzz::reportAtExit([] {
        std::fprintf(stderr, "LR states reached: %zu of %d\n", Karsto::Fuzz::statesReached.count(),
                     int{Karsto::Grammar::stateCount});
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace Karsto;
    using namespace Karsto::Fuzz;
    const std::string source(reinterpret_cast<const char*>(data), size);
    const Recognition expected = recognize(source);

    FuzzInput input(source);
    Scanner scanner(&input);
    scanner.mode = ScannerMode::gcode;
    QuietParser parser(&scanner);
    try {
        parser.parse();
        require(expected.accepted, "the parser accepts what the tables refuse at offset %d", expected.errorBegin);
        require(parser.root != nullptr && parser.evaluations == 1, "accepted without a tree evaluated once");
    } catch (const Parser::Exception& error) {
        require(!expected.accepted, "the parser refuses what the tables accept: %s", error.what());
        require(parser.root == nullptr, "a tree after a syntax error");
        require(error.span.valid, "a syntax error without a span");
        requireInside(error.span.begin, source, "error begin");
        requireInside(error.span.end, source, "error end");
        require(error.span.begin.offset == expected.errorBegin && error.span.end.offset == expected.errorEnd,
                "error at %d-%d, the tables refuse the token at %d-%d", error.span.begin.offset,
                error.span.end.offset, expected.errorBegin, expected.errorEnd);
        require(error.message.starts_with("Unexpected '"), "message '%s'", error.message.c_str());
        require(error.text == error.span.toString() + ": " + error.message, "text '%s'", error.what());
    } catch (const std::exception& error) {
        require(false, "unexpected exception: %s", error.what());
    }
    require(parser.stack.empty(), "%zu stack entries left", parser.stack.size());
    parser.reset();
    require(parser.nodeArena->nodeCount() == 0, "%lld nodes live after a reset",
            static_cast<long long>(parser.nodeArena->nodeCount()));
    return 0;
}
