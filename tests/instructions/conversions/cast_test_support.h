#pragma once
// Helpers for the tests of the conversion instructions: which cells a conversion pops
// and pushes, and running one conversion on a machine.

#include <bit>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "core/code.h"
#include "core/machine_test_support.h"
#include "core/stackmachine.h"
#include "core/type_kind.h"
#include "instructions/cell_test_support.h"
#include "instructions/conversions/conversion_table.h"

namespace Karsto {

// The bit transfers move the whole cell: LREAL to LWORD and REAL to DWORD pop it as
// U64, and they and LWORD to LREAL push it as U64.
inline bool isBitTransfer(TypeKind from, TypeKind to) {
    return (from == TypeKind::Lreal && to == TypeKind::Lword) ||
           (from == TypeKind::Real && to == TypeKind::Dword) ||
           (from == TypeKind::Lword && to == TypeKind::Lreal);
}
inline Cell popCellOf(const ConversionEntry& entry) {
    return isBitTransfer(entry.from, entry.to) ? Cell::U64 : cellOf(entry.from);
}
inline Cell pushCellOf(const ConversionEntry& entry) {
    return isBitTransfer(entry.from, entry.to) ? Cell::U64 : cellOf(entry.to);
}

// ---- running conversions ----------------------------------------------------------------

// A new instruction of the pair, held by the returned Code (empty when there is none).
inline Code makeCast(TypeKind from, TypeKind to) {
    const ConversionFactory make = conversionFor(from, to);
    return make == nullptr ? Code() : Code(make());
}

inline Cmd& cmdOf(const Code& code) { return *code.node()->asItem()->asCmd(); }

inline std::string castText(TypeKind from, TypeKind to) {
    const Code code = makeCast(from, to);
    return code.empty() ? "<no conversion>" : cmdOf(code).toString();
}

// Executes the pair's instruction on the value on top of the machine's stack.
inline void runOn(Stackmachine& machine, TypeKind from, TypeKind to) {
    const Code code = makeCast(from, to);
    ASSERT_FALSE(code.empty()) << "no conversion for kinds " << kindIndex(from) << " to "
                               << kindIndex(to);
    cmdOf(code).execute(machine);
}

// One machine for all runs: its block is large, and a reset empties the stack.
inline Stackmachine& sharedMachine() {
    static Stackmachine machine;
    machine.reset();
    return machine;
}

// Converts a source value given as bits with the given instruction; the result's bits
// in the target's width.
inline uint64_t runInstruction(Cmd& cmd, TypeKind from, TypeKind to, uint64_t input) {
    Stackmachine& machine = sharedMachine();
    pushCell(machine, cellOf(from), input);
    cmd.execute(machine);
    return popCell(machine, cellOf(to));
}

inline uint64_t runCast(TypeKind from, TypeKind to, uint64_t input) {
    const Code code = makeCast(from, to);
    if (code.empty()) {
        ADD_FAILURE() << "no conversion for kinds " << kindIndex(from) << " to " << kindIndex(to);
        return 0;
    }
    return runInstruction(cmdOf(code), from, to, input);
}

// Executes the pair's instruction with every log level on; the lines it wrote, each
// without its bracketed level name.
inline std::vector<std::string> runTraced(Stackmachine& machine, TypeKind from, TypeKind to) {
    std::vector<LogLevel> levels;
    for (int32_t level = 0; level < kLogLevelCount; ++level) {
        levels.push_back(static_cast<LogLevel>(level));
    }
    test::LogCapture capture(levels);
    runOn(machine, from, to);
    std::vector<std::string> lines;
    for (const std::string& line : capture.lines) {
        const size_t text = line.find("] ");
        lines.push_back(text == std::string::npos ? line : line.substr(text + 2));
    }
    return lines;
}

struct CastCase {
    TypeKind from;
    TypeKind to;
    uint64_t in;  // the source value's bits
    uint64_t out; // the expected result; only the target's width is compared
};

inline void expectCases(std::span<const CastCase> cases) {
    for (const CastCase& c : cases) {
        const uint64_t result = runCast(c.from, c.to, c.in);
        EXPECT_EQ(result, c.out & widthMask(c.to))
            << castText(c.from, c.to) << "of 0x" << std::hex << c.in << " gave 0x" << result;
    }
}

// Bounds the casts' tables are written around.
inline constexpr int64_t kTwo31 = int64_t{1} << 31;
inline constexpr int64_t kInt64Min = INT64_MIN;
inline constexpr uint64_t kTwo63 = uint64_t{1} << 63;

} // namespace Karsto
