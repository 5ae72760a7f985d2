#pragma once
// The execute kernels of the one-operand mathematical families. Private to the operator
// library.

#include <cmath>
#include <type_traits>

#include "instructions/operators/arithmetic_kernels.h"

namespace Karsto::operators::family {

// Every one-operand instruction: pop the value, push the result in the same format.
// None of them checks its operand. Flattened, so that the interpreter's pop and push
// inline into it.
template <class Rule>
struct Unary {
    template <class Cell, class Machine>
    [[gnu::flatten]] static void run(Machine& machine) {
        Cell::push(machine, Rule::apply(Cell::pop(machine)));
    }
};

// The two's-complement negation in the type's width, in unsigned arithmetic: the most
// negative signed value maps to itself and an unsigned v to 2^width - v, without
// undefined behaviour.
template <class T>
T negated(T value) {
    return static_cast<T>(Wide<T>{0} - static_cast<Wide<T>>(value));
}

struct Abs : Unary<Abs> {
    template <class T>
    static T apply(T value) {
        if constexpr (kIsReal<T>) {
            // Not fabs: -0.0 and NaN compare not less than zero and keep their sign.
            return value < T{0} ? T{0} - value : value;
        } else if constexpr (std::is_signed_v<T>) {
            return value < T{0} ? negated(value) : value;
        } else {
            return value;
        }
    }
};

struct Neg : Unary<Neg> {
    template <class T>
    static T apply(T value) {
        if constexpr (kIsReal<T>) {
            return T{0} - value; // not -value: NEG of +0.0 and of -0.0 is +0.0
        } else {
            return negated(value);
        }
    }
};

// The library functions run in double for every real type: a REAL operand widens
// exactly and the result rounds once to REAL; no single-precision function is used.
// Domain errors give the function's IEEE value; the error indicator is not read.
template <double (*Function)(double)>
struct Library : Unary<Library<Function>> {
    template <class T>
    static T apply(T value) {
        static_assert(kIsReal<T>);
        return static_cast<T>(Function(static_cast<double>(value)));
    }
};

// Function pointers to the double overloads of <cmath>.
inline double sqrtOf(double x) { return std::sqrt(x); }
inline double lnOf(double x) { return std::log(x); }
inline double log10Of(double x) { return std::log10(x); }
inline double expOf(double x) { return std::exp(x); }
inline double sinOf(double x) { return std::sin(x); }
inline double cosOf(double x) { return std::cos(x); }
inline double tanOf(double x) { return std::tan(x); }
inline double asinOf(double x) { return std::asin(x); }
inline double acosOf(double x) { return std::acos(x); }
inline double atanOf(double x) { return std::atan(x); }

struct Sqrt : Library<sqrtOf> {};
struct Ln : Library<lnOf> {};
struct Log : Library<log10Of> {};
struct Exp : Library<expOf> {};
struct Sin : Library<sinOf> {};
struct Cos : Library<cosOf> {};
struct Tan : Library<tanOf> {};
struct Asin : Library<asinOf> {};
struct Acos : Library<acosOf> {};
struct Atan : Library<atanOf> {};

// Rounds halves away from zero in the operand's own precision, whatever the rounding
// mode (std::round, not rint or nearbyint); NaN and infinities pass unchanged. The
// cast emitter puts it before every real-to-integer conversion.
struct Round : Unary<Round> {
    template <class T>
    static T apply(T value) {
        static_assert(kIsReal<T>);
        return std::round(value);
    }
};

} // namespace Karsto::operators::family
