// The range-check and range-branch classes.

#include <cstdint>

#include "core/exception.h"
#include "instructions/operators/comparison_kernels.h"
#include "instructions/operators/operator_template.h"

namespace Karsto::operators {

namespace {

// The message shows 32-bit numbers: the value sign- or zero-extended from 8 or 16 bits,
// or the low 32 bits of a wider one, and the bounds' low 32 bits.
[[gnu::cold]] void outOfBounds(int32_t value, int32_t lower, int32_t upper) {
    checkRuntime(false, "Out of bounds. %d exceeds range %d..%d.", static_cast<int>(value),
                 static_cast<int>(lower), static_cast<int>(upper));
}

} // namespace

namespace family {

// Tests the value on top of the stack in place, without popping it, against the bounds
// narrowed to the member's width and signedness (a Sint upper bound of 200 is -56).
struct AssertRange {
    static constexpr int32_t kValues = 2;
    template <class Cell, class Machine>
    [[gnu::flatten]] static void run(Machine& machine, int64_t lower, int64_t upper) {
        using T = typename Cell::Popped;
        const T value = Cell::load(machine, machine.getSp() - 1);
        if (static_cast<T>(lower) <= value && value <= static_cast<T>(upper)) [[likely]]
            return;
        outOfBounds(static_cast<int32_t>(value), static_cast<int32_t>(lower),
                    static_cast<int32_t>(upper));
    }
};

// [..., v, lo, hi] to [...]; jumps when lo <= v <= hi (never for a NaN anywhere).
struct BranchInRange {
    template <class Cell, class Machine>
    [[gnu::flatten]] static void run(Machine& machine, const Label& target) {
        const auto upper = Cell::pop(machine);
        const auto lower = Cell::pop(machine);
        const auto value = Cell::pop(machine);
        if (lower <= value && value <= upper) machine.setPc(target.address());
    }
};

// [..., x, y] to [...]; jumps when x relation y holds.
template <class Relation>
struct BranchWhen {
    template <class Cell, class Machine>
    [[gnu::flatten]] static void run(Machine& machine, const Label& target) {
        const auto y = Cell::pop(machine); // pushed last
        const auto x = Cell::pop(machine);
        if (Relation::holds(x, y)) machine.setPc(target.address());
    }
};

struct BranchLtEq : BranchWhen<Le> {};
struct BranchGtEq : BranchWhen<Ge> {};

} // namespace family

#define KARSTO_OPERATOR KARSTO_OPERATOR_CLASS
#include "instructions/operators/range.def"

} // namespace Karsto::operators
