#pragma once
// The conversion instruction template: one final class per table row, in an unnamed
// namespace of the source file that builds its table, and its factory, which the
// registry reaches. Private to the conversion library.

#include <string>
#include <string_view>
#include <type_traits>

#include "core/code.h"
#include "core/machine_cells.h"
#include "core/stackmachine.h"
#include "core/stackmachine_interpreter.h"
#include "instructions/conversions/cast_factories.h"
#include "instructions/conversions/cast_rules.h"

namespace Karsto::conversions {

// What a conversion does: one pop, the row's rule, one push. Rows that name the same
// three share this routine, whatever their class names. Flattened: with dozens of such
// routines in one file the optimiser's growth limit for the file would otherwise leave
// the interpreter's pop and push as calls.
template <class Pop, class Push, class Rule>
struct CastStep {
    // The run loop's inline form. An integer wrapped to a type no wider than its own
    // pushes the low bytes it popped, and a double stays itself: the cell does not
    // change. A DINT wrapped to LINT is sign-extended.
    static constexpr RunForm runForm() {
        using From = typename Pop::Popped;
        using To = typename Push::Pushed;
        if constexpr (std::is_same_v<Rule, castrule::Wrap> && std::is_integral_v<From> &&
                      std::is_integral_v<To> && !std::is_same_v<To, bool> && sizeof(To) <= sizeof(From)) {
            return {RunOp::keep, RunCell::none};
        } else if constexpr (std::is_same_v<Rule, castrule::Nearest> && std::is_same_v<From, double> &&
                             std::is_same_v<To, double>) {
            return {RunOp::keep, RunCell::none};
        } else if constexpr (std::is_same_v<Rule, castrule::Wrap> && std::is_same_v<From, int32_t> &&
                             std::is_same_v<To, int64_t>) {
            return {RunOp::extendS32, RunCell::s64};
        } else {
            return {};
        }
    }
    template <class Machine>
    [[gnu::flatten]] static void run(Machine& machine) {
        Push::push(machine, Rule::template apply<typename Push::Pushed>(Pop::pop(machine)));
    }
};

// Everything a conversion class has but its name. Self is the class itself, so that a
// clone is of the same class; the span is all it carries.
template <class Self, class Step>
class CastInstruction : public Cmd {
public:
    void execute(Stackmachine& machine) final {
        onMachine(machine, [](auto& m) { Step::run(m); });
    }
    RunKernel runKernel() const final { return &quietKernel<Self>; }
    RunForm runForm() const final { return Step::runForm(); }
    template <class Machine>
    void runOn(Machine& m) const {
        Step::run(m);
    }
    std::string toString() const final { return std::string(Self::kText); }
    CodeItem* clone() const final {
        auto* copy = new Self();
        copy->setSpan(span());
        return copy;
    }
};

} // namespace Karsto::conversions

// One row of a table: KARSTO_CAST(From, To, Pop, Push, Rule), expanded inside
// namespace Karsto::conversions.
#define KARSTO_CAST_CLASS(From, To, Pop, Push, Rule)                                               \
    namespace {                                                                                    \
    class CmdCast##From##To final                                                                  \
        : public CastInstruction<CmdCast##From##To,                                                \
                                 CastStep<cell::Pop, cell::Push, castrule::Rule>> {                \
    public:                                                                                        \
        static constexpr std::string_view kText = "Cast" #From #To " ";                            \
    };                                                                                             \
    }                                                                                              \
    Cmd* makeCast##From##To() { return new CmdCast##From##To(); }
