#pragma once
// The constant instructions: CmdConst<Type> pushes one immediate value of a one-cell
// elementary type. The family is declared once in cmd_const.def.

#include <array>
#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>

#include "core/code.h"
#include "core/real_truncation.h"
#include "core/type_kind.h"

namespace Karsto {

class Stackmachine;

// How a value of a constant's cell type is made from an integer or a real and how it
// is printed. The cell type alone decides, so these are the only conversion rules of
// the family.
// REAL from an out-of-range double must give the infinity of its sign and NaN must stay
// NaN: IEEE 754 arithmetic defines both, plain C++ leaves them open.
static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559,
              "REAL and LREAL constants need IEEE 754 floating point");

template <class Cell>
struct ConstCell {
    // Integer targets keep the low bits (two's complement for the signed ones), BOOL is
    // v != 0, and REAL rounds twice, first to double and then to float, exactly like
    // the conversion of an integer literal.
    static Cell fromInteger(int64_t v) {
        if constexpr (std::is_same_v<Cell, float>) {
            return static_cast<float>(static_cast<double>(v));
        } else {
            return static_cast<Cell>(v);
        }
    }

    // Integer targets truncate toward zero with the fixed results for values out of
    // range; BOOL is x != 0, so NaN is TRUE and -0.0 FALSE; REAL rounds to nearest and
    // overflows to the infinity of x's sign (IEEE semantics of the float conversion).
    static Cell fromReal(double x) {
        if constexpr (std::is_same_v<Cell, double>) {
            return x;
        } else if constexpr (std::is_same_v<Cell, float>) {
            return roundToFloat(x);
        } else if constexpr (std::is_same_v<Cell, bool>) {
            return x != 0.0;
        } else if constexpr (std::is_same_v<Cell, int8_t>) {
            return truncateToS8(x);
        } else if constexpr (std::is_same_v<Cell, int16_t>) {
            return truncateToS16(x);
        } else if constexpr (std::is_same_v<Cell, int32_t>) {
            return truncateToS32(x);
        } else if constexpr (std::is_same_v<Cell, int64_t>) {
            return truncateToS64(x);
        } else if constexpr (std::is_same_v<Cell, uint8_t>) {
            return truncateToU8(x);
        } else if constexpr (std::is_same_v<Cell, uint16_t>) {
            return truncateToU16(x);
        } else if constexpr (std::is_same_v<Cell, uint32_t>) {
            return truncateToU32(x);
        } else {
            static_assert(std::is_same_v<Cell, uint64_t>, "no conversion for this cell type");
            return truncateToU64(x);
        }
    }

    // The value as the signed 64-bit number its text shows: signed types sign-extend,
    // unsigned types and BOOL zero-extend, 64-bit unsigned values keep their bits (so
    // the largest prints as -1), reals truncate like a LINT conversion (no fraction).
    static int64_t asText(Cell value) {
        if constexpr (std::is_floating_point_v<Cell>) {
            return truncateToS64(static_cast<double>(value));
        } else {
            return static_cast<int64_t>(value);
        }
    }
};

// What the run loop pushes for a constant: the value's own bytes in the low end (a
// real's bits, an integer sign- or zero-extended), and how many of them (the cell
// format of that width); none for the one-byte values, which it leaves to the kernel.
template <class Value>
int64_t constBits(Value value) {
    if constexpr (std::is_same_v<Value, double>) {
        return std::bit_cast<int64_t>(value);
    } else if constexpr (std::is_same_v<Value, float>) {
        return static_cast<int64_t>(std::bit_cast<uint32_t>(value));
    } else {
        return static_cast<int64_t>(value);
    }
}
template <class Value>
constexpr RunForm constForm() {
    RunCell cell = RunCell::none;
    if constexpr (sizeof(Value) == 8)
        cell = std::is_same_v<Value, double> ? RunCell::f64 : RunCell::s64;
    else if constexpr (sizeof(Value) == 4)
        cell = std::is_same_v<Value, float> ? RunCell::f32 : RunCell::s32;
    else if constexpr (sizeof(Value) == 2)
        cell = RunCell::s16;
    if (cell == RunCell::none) return {};
    return {RunOp::push, cell};
}

#define KARSTO_CMD_CONST(suffix, typeKind, cell, push)                      \
    class CmdConst##suffix final : public Cmd {                              \
    public:                                                                  \
        using Value = cell;                                                  \
        static constexpr TypeKind kKind = TypeKind::typeKind;                \
        explicit CmdConst##suffix(Value value) : value_(value) {}            \
        void execute(Stackmachine& machine) override;                        \
        RunKernel runKernel() const override;                                \
        RunRole runRole() const override {                                   \
            return std::is_same_v<Value, int64_t> ? RunRole::pushS64 : RunRole::none; \
        }                                                                    \
        int64_t runValue() const override { return constBits(value_); }     \
        RunForm runForm() const override { return constForm<Value>(); }      \
        std::string toString() const override;                               \
        CodeItem* clone() const override;                                    \
        Value value() const { return value_; }                               \
        template <class Machine>                                             \
        void runOn(Machine& m) const {                                       \
            m.push(value_);                                                  \
        }                                                                    \
                                                                             \
    private:                                                                 \
        const Value value_;                                                  \
    };
#include "core/cmd_const.def"

// One entry per constant class, in table order: what family-wide tests and the
// factories select by.
struct CmdConstInfo {
    const char* className;
    TypeKind kind;
    // A new instruction holding the value converted to the class's cell type.
    Cmd* (*fromInteger)(int64_t value);
    Cmd* (*fromReal)(double value);
};

inline constexpr int32_t kCmdConstCount = 27;

const std::array<CmdConstInfo, kCmdConstCount>& cmdConstRegistry();
// The class that holds constants of the given kind, or null for a kind without one
// (the string kinds and every composite kind).
const CmdConstInfo* cmdConstForKind(TypeKind kind);

} // namespace Karsto
