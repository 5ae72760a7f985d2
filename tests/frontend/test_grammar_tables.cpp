#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "frontend/grammar_tables.h"
#include "frontend/scanner.h"
#include "frontend/string_input.h"

namespace Karsto {
namespace {

using Grammar::Action;
using Grammar::actionOf;
using Grammar::actionTable;
using Grammar::gotoTable;
using Grammar::productionTable;
using Grammar::targetOf;

// The states of an LR stack driven by the tables alone, as the parser drives them.
class TableWalk {
public:
    // Reduces while ACTION says reduce for the kind, then shifts it. False, with the
    // stack as the reductions left it, when the kind cannot be shifted.
    bool feed(int k) {
        for (int steps = 0; steps < 100000; ++steps) {
            uint16_t entry = actionTable[states_.back()][k];
            switch (actionOf(entry)) {
            case Action::shift:
                states_.push_back(targetOf(entry));
                return true;
            case Action::reduce: {
                const Grammar::ProductionInfo& p = productionTable[targetOf(entry)];
                if (p.length >= states_.size()) return false;
                states_.resize(states_.size() - p.length);
                uint16_t target = gotoTable[states_.back()][p.lhs];
                if (actionOf(target) != Action::shift) return false;
                states_.push_back(targetOf(target));
                break;
            }
            case Action::error:
                return false;
            }
        }
        ADD_FAILURE() << "reductions without end on kind " << k;
        return false;
    }

    bool feedAll(const std::vector<int>& kinds) {
        for (int k : kinds) {
            if (!feed(k)) return false;
        }
        return true;
    }

    // The display names of every kind that would be shifted now, in kind order, joined
    // as the syntax error lists them.
    std::string expected() const {
        std::vector<std::string> names;
        for (int k = 0; k < Grammar::terminalCount; ++k) {
            TableWalk copy = *this;
            if (copy.feed(k)) names.push_back(Scanner::tokenName(k));
        }
        std::string text;
        for (size_t i = 0; i < names.size(); ++i) {
            if (i > 0) text += i + 1 == names.size() ? " or " : ", ";
            text += names[i];
        }
        return text;
    }

    size_t depth() const { return states_.size(); }

private:
    std::vector<uint16_t> states_{0};
};

TEST(GrammarTables, EntryCountsMatchTheReferenceComputation) {
    int shifts = 0, reduces = 0, gotos = 0;
    for (int s = 0; s < Grammar::stateCount; ++s) {
        for (int k = 0; k < Grammar::terminalCount; ++k) {
            uint16_t e = actionTable[s][k];
            ASSERT_NE(e & Grammar::actionMask, Grammar::actionMask) << "state " << s << " kind " << k;
            if (actionOf(e) == Action::shift) {
                ++shifts;
                ASSERT_LT(targetOf(e), Grammar::stateCount);
            } else if (actionOf(e) == Action::reduce) {
                ++reduces;
                ASSERT_LT(targetOf(e), Grammar::productionCount);
            } else {
                ASSERT_EQ(e, 0);
            }
        }
        for (int n = 0; n < Grammar::nonterminalCount; ++n) {
            uint16_t e = gotoTable[s][n];
            if (e == 0) continue;
            ASSERT_EQ(actionOf(e), Action::shift) << "state " << s << " nonterminal " << n;
            ASSERT_LT(targetOf(e), Grammar::stateCount);
            ++gotos;
        }
    }
    EXPECT_EQ(shifts, 5477);
    EXPECT_EQ(reduces, 9245);
    EXPECT_EQ(gotos, 3862);
}

TEST(GrammarTables, EveryStateButTheStartIsEnteredByExactlyOneSymbol) {
    // Symbols numbered as kinds, then nonterminal ids after the last kind.
    std::map<int, std::set<int>> enteredBy;
    for (int s = 0; s < Grammar::stateCount; ++s) {
        for (int k = 0; k < Grammar::terminalCount; ++k) {
            if (actionOf(actionTable[s][k]) == Action::shift) enteredBy[targetOf(actionTable[s][k])].insert(k);
        }
        for (int n = 0; n < Grammar::nonterminalCount; ++n) {
            if (gotoTable[s][n] != 0) enteredBy[targetOf(gotoTable[s][n])].insert(Grammar::terminalCount + n);
        }
    }
    EXPECT_EQ(enteredBy.count(0), 0u);
    for (int s = 1; s < Grammar::stateCount; ++s) {
        EXPECT_EQ(enteredBy[s].size(), 1u) << "state " << s;
    }
}

TEST(GrammarTables, ProductionsHaveTheirLengthAndLeftHandSide) {
    struct Case {
        Prod production;
        int number;
        int length;
        Nonterminal lhs;
        int lhsId;
    };
    const Case cases[] = {
        {Prod::classdecl_0, 44, 9, Nonterminal::classdecl, 101},
        {Prod::gstatement_2_0, 214, 3, Nonterminal::gstatement_2, 6},
        {Prod::gstatement_3_2, 217, 2, Nonterminal::gstatement_3, 7},
        {Prod::incompl_location_0, 249, 4, Nonterminal::incompl_location, 95},
        {Prod::root_0, 362, 1, Nonterminal::root, 0},
        {Prod::spec_enum_4_0, 396, 0, Nonterminal::spec_enum_4, 59},
        {Prod::access_spec_0, 0, 1, Nonterminal::access_spec, 116},
        {Prod::identifier_9, 242, 1, Nonterminal::identifier, 17},
        {Prod::using_0, 442, 3, Nonterminal::using_, 124},
        {Prod::while_statement_0, 448, 5, Nonterminal::while_statement, 188},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        EXPECT_EQ(static_cast<int>(c.production), c.number);
        EXPECT_EQ(static_cast<int>(c.lhs), c.lhsId);
        EXPECT_EQ(productionTable[c.number].length, c.length);
        EXPECT_EQ(productionTable[c.number].lhs, c.lhsId);
    }
    // Ids come from the fixed table, not from sorting the names.
    EXPECT_EQ(static_cast<int>(Nonterminal::classdecl_8), 107);
    EXPECT_EQ(static_cast<int>(Nonterminal::classdecl_7), 108);
    EXPECT_EQ(static_cast<int>(Nonterminal::continue_statement), 191);
}

TEST(GrammarTables, TerminalsOfNoProductionAreNeverAccepted) {
    std::multiset<std::string> neverAccepted;
    for (int k = 0; k < Grammar::terminalCount; ++k) {
        bool used = false;
        for (int s = 0; s < Grammar::stateCount && !used; ++s) used = actionTable[s][k] != 0;
        if (!used) neverAccepted.insert(Scanner::tokenName(k));
    }
    const std::multiset<std::string> expected = {
        "<void>", "<invalid>", "<invalid>", "<any>", "<any_bit>", "<any_date>", "<any_derived>",
        "<any_elementary>", "<any_int>", "<any_magnitude>", "<any_num>", "<any_real>", "<any_string>",
        "END_FUNCTION_BLOCK", "END_PROGRAM", "FUNCTION_BLOCK", "H", "MS", "PROGRAM", "READ_ONLY",
        "READ_WRITE", "S", "VAR_GLOBAL", "'_'"};
    EXPECT_EQ(neverAccepted, expected);
}

// Drives the tables with the tokens of a source, scanned from G-code mode as a compile
// scans it, up to the first token that cannot be shifted or the shift of "<end>".
struct Walked {
    TableWalk walk;
    bool accepted = false;
    std::string offending;  // the text of the token that could not be shifted
};

Walked walkSource(const std::string& source) {
    StringInput input(source);
    Scanner scanner(&input);
    scanner.mode = ScannerMode::gcode;
    Walked result;
    while (true) {
        Token token = scanner.nextToken();
        if (!result.walk.feed(static_cast<int>(token.kind))) {
            result.offending = token.text;
            return result;
        }
        if (token.is(TokenKind::end)) {
            result.accepted = true;
            return result;
        }
    }
}

TEST(GrammarTables, WalkAcceptsAGcodeExpressionWordAndStopsAtAMissingNumber) {
    // The shift of "<end>" accepts, with the root in the second stack entry.
    Walked accepted = walkSource("G1 X=-r1\n");
    EXPECT_TRUE(accepted.accepted);
    EXPECT_EQ(accepted.walk.depth(), 3u);

    // After a plain '-' only a number may follow.
    Walked rejected = walkSource("G1 X-r1\n");
    EXPECT_FALSE(rejected.accepted);
    EXPECT_EQ(rejected.offending, "r1");
    EXPECT_EQ(rejected.walk.expected(), "<integer> or <float>");
}

// Corners of the grammar the tables must accept, from both notations: keywords that are
// admitted as identifiers, statements without their own ';', typed literals, string
// lengths, repeated array elements and located variables written in separate tokens.
TEST(GrammarTables, WalkAcceptsTheGrammarsCorners) {
    const char* const sources[] = {
        "{ VAR x : INT; END_VAR }",
        "G1 X5\n/ N10 G0 Y1\n/3 M3\n\n",
        "{ OR := 2; x := 1; XOR := AND MOD 3; }",
        "{ WHILE TRUE DO EXIT CONTINUE ; END_WHILE }",
        "{ VAR txt : STRING[80]; wide : WSTRING[80]; END_VAR }",
        "{ a := INT#-5 + BYTE#16#FF; b := BOOL#1; c := REAL#1.5; dd := WSTRING#'abc'; e := Color#red; }",
        "{ VAR a : ARRAY[1..5] OF INT := [1, 3(0), 2]; END_VAR }",
        "{ VAR x AT %I X 1 . 2 : BOOL; END_VAR }",
        "G1 X{a + 1} Y={b} Z=-r1 *2\n",
        "{ a := -(-b); }",
    };
    for (const char* source : sources) {
        SCOPED_TRACE(source);
        Walked walked = walkSource(source);
        EXPECT_TRUE(walked.accepted) << "stopped at '" << walked.offending << "', expected "
                                     << walked.walk.expected();
    }
    // A unary operator applies to a secondary only, and a located variable's parts must
    // be separate tokens ("IX1" is one identifier).
    const std::pair<const char*, const char*> rejected[] = {
        {"{ a := - -b; }", "-"},
        {"{ VAR x AT %IX1 : BOOL; END_VAR }", "IX1"},
    };
    for (const auto& [source, offending] : rejected) {
        SCOPED_TRACE(source);
        Walked walked = walkSource(source);
        EXPECT_FALSE(walked.accepted);
        EXPECT_EQ(walked.offending, offending);
    }
}

// The look-ahead sets decide which kinds a syntax error lists: exact LALR(1) sets, no
// default reductions (which would list too few) and no canonical LR(1) split states
// (which would list every operator where the short list is expected).
TEST(GrammarTables, ExpectedKindsAreTheLalrLookaheads) {
    const std::string startOfProgram =
        "<newline>, '/', <G-Code address letter>, '(', ';', '&', B, CASE, CLASS, CONTINUE, EXIT, FOR, "
        "FUNCTION, I, IF, INTERFACE, L, MOD, NAMESPACE, OR, Q, REF, REPEAT, RETURN, SUPER, THIS, TYPE, VAR, "
        "W, WHILE, X, XOR or <identifier>";
    struct Case {
        const char* source;
        const char* offending;
        std::string expected;
    };
    const Case cases[] = {
        {"", "", startOfProgram},
        {"{ d := 1; }", "d", startOfProgram},  // the keywords D and M are no identifiers
        {"{ m := 1; }", "m", startOfProgram},
        {"G1 X5", "", "<newline> or <G-Code address letter>"},
        {"{ a := 1 $ }", "$",
         "'&', '*', '**', '+', '-', '/', ';', '<', '<=', '<>', '=', '>', '>=', '&', MOD, OR or XOR"},
        {"{ x := 1 } G1\n", "G", "';' or OR"},
        {"{ CLASS A", "", "END_CLASS, EXTENDS, IMPLEMENTS, METHOD, USING, VAR or VAR_EXTERNAL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        Walked walked = walkSource(c.source);
        EXPECT_FALSE(walked.accepted);
        EXPECT_EQ(walked.offending, c.offending);
        EXPECT_EQ(walked.walk.expected(), c.expected);
    }
}

} // namespace
} // namespace Karsto
