// The bitwise and Boolean classes.

#include <type_traits>

#include "instructions/operators/arithmetic_kernels.h"
#include "instructions/operators/operator_template.h"
#include "instructions/operators/unary_kernels.h"

namespace Karsto::operators {

namespace family {

// Bit by bit over the whole width. On BOOL the two stored bytes combine and the push
// writes 0 or 1 (any byte not 0 is TRUE); the integer literal combines as 64 bits.
struct And : Binary<And> {
    template <class T>
    static T apply(T left, T right) {
        return static_cast<T>(left & right);
    }
};

struct Or : Binary<Or> {
    template <class T>
    static T apply(T left, T right) {
        return static_cast<T>(left | right);
    }
};

struct Xor : Binary<Xor> {
    template <class T>
    static T apply(T left, T right) {
        return static_cast<T>(left ^ right);
    }
};

// The complement in the width; on BOOL a logical test of the whole byte (TRUE for 0
// alone), not a complement of its bits.
struct Inv {
    template <class Cell, class Machine>
    [[gnu::flatten]] static void run(Machine& machine) {
        const auto value = Cell::pop(machine);
        if constexpr (std::is_same_v<Cell, cell::U1>) {
            Cell::push(machine, value == 0);
        } else {
            Cell::push(machine, static_cast<typename Cell::Pushed>(~value));
        }
    }
};

} // namespace family

#define KARSTO_OPERATOR KARSTO_OPERATOR_CLASS
#include "instructions/operators/logic.def"

} // namespace Karsto::operators
