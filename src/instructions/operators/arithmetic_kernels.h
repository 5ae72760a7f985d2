#pragma once
// The execute kernels of the two-operand arithmetic families. Private to the operator
// library.

#include <cmath>
#include <cstdint>
#include <type_traits>

#include "core/exception.h"

namespace Karsto::operators::family {

// Integer add, subtract and multiply run in unsigned arithmetic of at least 32 bits:
// narrow operands widen (sign-extended when signed), overflow wraps instead of being
// undefined, and converting back keeps the low bits of the type's width. A UINT product
// would overflow int if the operands promoted to it.
template <class T>
using Wide = std::conditional_t<(sizeof(T) < 8), uint32_t, uint64_t>;

template <class T>
constexpr bool kIsReal = std::is_floating_point_v<T>;

// Every two-operand instruction: the right operand is on top, so it is popped first;
// the family's check sees both operands off the stack and runs before anything is
// pushed. Flattened, so that the interpreter's pops and pushes inline into it.
template <class Rule>
struct Binary {
    template <class Cell, class Machine>
    [[gnu::flatten]] static void run(Machine& machine) {
        const auto right = Cell::pop(machine);
        const auto left = Cell::pop(machine);
        Rule::check(right);
        Cell::push(machine, Rule::apply(left, right));
    }
    // Most families accept any operands.
    template <class T>
    static void check(T) {}
};

struct Add : Binary<Add> {
    template <class T>
    static T apply(T left, T right) {
        if constexpr (kIsReal<T>) {
            return left + right; // in the type's own precision: REAL rounds once, as float
        } else {
            return static_cast<T>(static_cast<Wide<T>>(left) + static_cast<Wide<T>>(right));
        }
    }
};

struct Sub : Binary<Sub> {
    template <class T>
    static T apply(T left, T right) {
        if constexpr (kIsReal<T>) {
            return left - right;
        } else {
            return static_cast<T>(static_cast<Wide<T>>(left) - static_cast<Wide<T>>(right));
        }
    }
};

struct Mul : Binary<Mul> {
    template <class T>
    static T apply(T left, T right) {
        if constexpr (kIsReal<T>) {
            return left * right;
        } else {
            return static_cast<T>(static_cast<Wide<T>>(left) * static_cast<Wide<T>>(right));
        }
    }
};

struct Div : Binary<Div> {
    // A real divisor that compares equal to zero (-0.0 too) fails; NaN and infinite
    // divisors divide. Tested here so that the common case calls nothing.
    template <class T>
    static void check(T right) {
        if (right == T{0}) [[unlikely]] failRuntime("Division by zero");
    }
    template <class T>
    static T apply(T left, T right) {
        if constexpr (kIsReal<T>) {
            return left / right;
        } else if constexpr (std::is_signed_v<T>) {
            // The most negative value by -1 overflows, and traps on x86-64 for 32 and
            // 64 bits: the negation wraps back to that value, as it does when narrow
            // types divide in 32 bits.
            if (right == T{-1}) return static_cast<T>(Wide<T>{0} - static_cast<Wide<T>>(left));
            return static_cast<T>(left / right); // truncates toward zero
        } else {
            return static_cast<T>(left / right);
        }
    }
};

struct Mod : Binary<Mod> {
    template <class T>
    static void check(T right) {
        if (right == T{0}) [[unlikely]] failRuntime("Modulo by zero");
    }
    template <class T>
    static T apply(T left, T right) {
        static_assert(!kIsReal<T>, "the remainder is defined for integers only");
        if constexpr (std::is_signed_v<T>) {
            // Every value MOD -1 is 0; computing the most negative one would trap.
            if (right == T{-1}) return T{0};
        }
        return static_cast<T>(left % right); // the sign of the left operand
    }
};

// Power and arc tangent of REAL run in double and round once to float.
struct Expt : Binary<Expt> {
    template <class T>
    static T apply(T left, T right) {
        static_assert(kIsReal<T>);
        return static_cast<T>(std::pow(static_cast<double>(left), static_cast<double>(right)));
    }
};

struct Atan2 : Binary<Atan2> {
    template <class T>
    static T apply(T left, T right) {
        static_assert(kIsReal<T>);
        return static_cast<T>(std::atan2(static_cast<double>(left), static_cast<double>(right)));
    }
};

} // namespace Karsto::operators::family
