// The minimum and maximum classes.

#include <cstdint>

#include "core/type_string.h"
#include "instructions/operators/comparison_kernels.h"
#include "instructions/operators/operator_template.h"

namespace Karsto::operators {

static_assert(kOperatorDefaultCapacity == kDefaultStringCapacity);

namespace family {

// [..., a1, ..., aN] to [..., r] in a1's place. The last value (the top) is the running
// one; each value below it, popped from the top down, replaces it only where the
// relation holds strictly: of equal values the one nearest the end wins (the sign of a
// zero), a NaN on top stays, and a NaN below it never replaces it. A count of 1 or less
// pops one value and pushes it back.
template <class Relation>
struct Extreme {
    template <class Cell, class Machine>
    [[gnu::flatten]] static void run(Machine& machine, int64_t count) {
        auto running = Cell::pop(machine);
        for (int64_t i = 1; i < count; ++i) {
            const auto value = Cell::pop(machine);
            if (Relation::holds(value, running)) running = value;
        }
        Cell::push(machine, running);
    }

    // Whole string values of the capacity, by compareStrings; the winner's cells move
    // to a1's place.
    template <class Cell, class Machine>
    static void run(Machine& machine, int64_t count, int32_t capacity) {
        const int64_t cells = valueCells(capacity);
        int64_t running = machine.getSp() - cells;
        int64_t first = running;
        for (int64_t i = 1; i < count; ++i) {
            first -= cells;
            const int64_t order =
                compareStrings<typename Cell::Char>(machine, first, running, capacity);
            if (Relation::holds(order, int64_t{0})) running = first;
        }
        if (running != first) machine.copy(first, running, cells);
        machine.setSp(first + cells);
    }
};

struct Min : Extreme<Lt> {};
struct Max : Extreme<Gt> {};

} // namespace family

#define KARSTO_OPERATOR KARSTO_OPERATOR_CLASS
#include "instructions/operators/min_max.def"

} // namespace Karsto::operators
