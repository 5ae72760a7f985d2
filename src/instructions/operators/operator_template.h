#pragma once
// The operator instruction template: one final leaf class per table row, its shape's
// base instantiated for that class alone, running its family's kernel on its suffix's
// cells. Private to the operator library; included by the source files that build
// the classes.
//
// A family is a struct in operators::family with
//   template <class Cell, class Machine> static void run(Machine& machine);
// Cell being a machine type of core/machine_cells.h. Classes of one family whose
// suffixes share a cell format share that routine; each stays a class of its own.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/code.h"
#include "core/stackmachine.h"
#include "core/stackmachine_interpreter.h"
#include "instructions/operators/operator_rows.h"

namespace Karsto::operators {

namespace shape {

// No operands: constructed without arguments; the text is the row's text alone.
template <class Self, class Family, class Cell>
class None : public Cmd {
public:
    static Cmd* make(const OperatorOperands&) { return new Self(); }

    // One virtual call; on a channel's interpreter the kernel's pops and pushes bind
    // statically and inline.
    void execute(Stackmachine& machine) final {
        onMachine(machine, [](auto& m) { Family::template run<Cell>(m); });
    }
    std::string toString() const final { return std::string(Self::kText); }
    CodeItem* clone() const final { return withSpanOf(new Self()); }
};

// One or two int64 values (Family::kValues), printed after the text in decimal and
// separated by a blank; the kernel gets both (the second is 0 for one value):
//   template <class Cell, class Machine>
//   static void run(Machine& machine, int64_t first, int64_t second);
template <class Self, class Family, class Cell>
class Values : public Cmd {
    static_assert(Family::kValues == 1 || Family::kValues == 2);

public:
    static Cmd* make(const OperatorOperands& operands) {
        return new Self(operands.first, Family::kValues == 2 ? operands.second : 0);
    }

    Values(int64_t first, int64_t second) : first_(first), second_(second) {}

    void execute(Stackmachine& machine) final {
        onMachine(machine,
                  [this](auto& m) { Family::template run<Cell>(m, first_, second_); });
    }
    std::string toString() const final {
        std::string text(Self::kText);
        text += std::to_string(first_);
        if constexpr (Family::kValues == 2) {
            text += ' ';
            text += std::to_string(second_);
        }
        return text;
    }
    CodeItem* clone() const final { return withSpanOf(new Self(first_, second_)); }

private:
    int64_t first_;
    int64_t second_;
};

} // namespace shape

// One row: the class in an unnamed namespace (no other file can name it) and its
// factory, which the registry reaches.
#define KARSTO_OPERATOR_CLASS(Family, Suffix, Shape)                                               \
    namespace {                                                                                    \
    class Cmd##Family##Suffix final                                                                \
        : public shape::Shape<Cmd##Family##Suffix, family::Family,                                \
                              KARSTO_OPERATOR_SUFFIX_TYPE(Suffix)::Cell> {                         \
    public:                                                                                        \
        using shape::Shape<Cmd##Family##Suffix, family::Family,                                    \
                           KARSTO_OPERATOR_SUFFIX_TYPE(Suffix)::Cell>::Shape;                      \
        static constexpr std::string_view kText = KARSTO_OPERATOR_TEXT(Family, Suffix);           \
    };                                                                                             \
    }                                                                                              \
    Cmd* make##Family##Suffix(const OperatorOperands& operands) {                                  \
        return Cmd##Family##Suffix::make(operands);                                                \
    }

} // namespace Karsto::operators
