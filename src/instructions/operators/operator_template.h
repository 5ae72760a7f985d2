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
#include <type_traits>

#include "core/code.h"
#include "core/machine_cells.h"
#include "core/stackmachine.h"
#include "core/stackmachine_interpreter.h"
#include "instructions/operators/operator_rows.h"

namespace Karsto::operators {

namespace family {
struct Add;
struct Sub;
struct Mul;
struct Lt;
struct Le;
struct Gt;
struct Ge;
struct Eq;
struct Ne;
struct BranchLtEq;
struct BranchGtEq;
struct AssertRange;
struct Len;
struct CastStrStr;
struct Concat;
} // namespace family

// The run loop's inline form of a family, and the cell formats it runs inline: a family
// or cell not named here runs through its kernel.
template <class Family>
constexpr RunOp kRunOp = RunOp::none;
template <>
inline constexpr RunOp kRunOp<family::Add> = RunOp::add;
template <>
inline constexpr RunOp kRunOp<family::Sub> = RunOp::sub;
template <>
inline constexpr RunOp kRunOp<family::Mul> = RunOp::mul;
template <>
inline constexpr RunOp kRunOp<family::Lt> = RunOp::lt;
template <>
inline constexpr RunOp kRunOp<family::Le> = RunOp::le;
template <>
inline constexpr RunOp kRunOp<family::Gt> = RunOp::gt;
template <>
inline constexpr RunOp kRunOp<family::Ge> = RunOp::ge;
template <>
inline constexpr RunOp kRunOp<family::Eq> = RunOp::eq;
template <>
inline constexpr RunOp kRunOp<family::Ne> = RunOp::ne;
template <>
inline constexpr RunOp kRunOp<family::BranchLtEq> = RunOp::branchLe;
template <>
inline constexpr RunOp kRunOp<family::BranchGtEq> = RunOp::branchGe;
template <>
inline constexpr RunOp kRunOp<family::AssertRange> = RunOp::assertRange;
template <>
inline constexpr RunOp kRunOp<family::Len> = RunOp::len;
template <>
inline constexpr RunOp kRunOp<family::CastStrStr> = RunOp::castStr;
template <>
inline constexpr RunOp kRunOp<family::Concat> = RunOp::concat;

template <class Cell>
constexpr RunCell kRunCell = RunCell::none;
template <>
inline constexpr RunCell kRunCell<cell::S16> = RunCell::s16;
template <>
inline constexpr RunCell kRunCell<cell::S32> = RunCell::s32;
template <>
inline constexpr RunCell kRunCell<cell::S64> = RunCell::s64;
template <>
inline constexpr RunCell kRunCell<cell::F32> = RunCell::f32;
template <>
inline constexpr RunCell kRunCell<cell::F64> = RunCell::f64;

// Both known, or none: the run loop has no inline body for the rest.
template <class Family, class Cell>
constexpr RunForm runFormOf() {
    if constexpr (kRunOp<Family> == RunOp::len || kRunOp<Family> == RunOp::castStr ||
                  kRunOp<Family> == RunOp::concat) {
        return {kRunOp<Family>, RunCell::none}; // the cells are the string's, whatever the suffix
    } else if constexpr (kRunOp<Family> == RunOp::none || kRunCell<Cell> == RunCell::none) {
        return {};
    } else if constexpr (kRunOp<Family> == RunOp::assertRange && kRunCell<Cell> != RunCell::s64) {
        return {}; // only the S64 range check runs inline
    } else {
        return {kRunOp<Family>, kRunCell<Cell>};
    }
}

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
    RunKernel runKernel() const final { return &quietKernel<Self>; }
    RunRole runRole() const final {
        if constexpr (std::is_same_v<Family, family::Add> && std::is_same_v<Cell, cell::S64>)
            return RunRole::addS64;
        else
            return RunRole::none;
    }
    RunForm runForm() const final { return runFormOf<Family, Cell>(); }
    template <class Machine>
    void runOn(Machine& m) const {
        Family::template run<Cell>(m);
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
    RunKernel runKernel() const final { return &quietKernel<Self>; }
    RunForm runForm() const final { return runFormOf<Family, Cell>(); }
    int64_t runValue() const final { return first_; }
    int64_t runSecond() const final { return second_; }
    template <class Machine>
    void runOn(Machine& m) const {
        Family::template run<Cell>(m, first_, second_);
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

// The String and Wstring members of a family without operands (the comparisons): the
// capacity of both values, not printed, which the kernel gets:
//   template <class Cell, class Machine> static void run(Machine& machine, int32_t capacity);
template <class Self, class Family, format::CharacterString Cell>
class None<Self, Family, Cell> : public Cmd {
public:
    static Cmd* make(const OperatorOperands& operands) { return new Self(operands.capacity); }

    explicit None(int32_t capacity) : capacity_(capacity) {}

    void execute(Stackmachine& machine) final {
        onMachine(machine, [this](auto& m) { Family::template run<Cell>(m, capacity_); });
    }
    std::string toString() const final { return std::string(Self::kText); }
    CodeItem* clone() const final { return withSpanOf(new Self(capacity_)); }

private:
    int32_t capacity_;
};

// An int64 count, not printed; the kernel gets it:
//   template <class Cell, class Machine> static void run(Machine& machine, int64_t count);
template <class Self, class Family, class Cell>
class Count : public Cmd {
public:
    static Cmd* make(const OperatorOperands& operands) { return new Self(operands.first); }

    explicit Count(int64_t count) : count_(count) {}

    void execute(Stackmachine& machine) final {
        onMachine(machine, [this](auto& m) { Family::template run<Cell>(m, count_); });
    }
    std::string toString() const final { return std::string(Self::kText); }
    CodeItem* clone() const final { return withSpanOf(new Self(count_)); }

private:
    int64_t count_;
};

// The String and Wstring members of a family with a count (Min, Max): the count and the
// capacity of every value, neither printed:
//   template <class Cell, class Machine>
//   static void run(Machine& machine, int64_t count, int32_t capacity);
template <class Self, class Family, format::CharacterString Cell>
class Count<Self, Family, Cell> : public Cmd {
public:
    static Cmd* make(const OperatorOperands& operands) {
        return new Self(operands.first, operands.capacity);
    }

    Count(int64_t count, int32_t capacity) : count_(count), capacity_(capacity) {}

    void execute(Stackmachine& machine) final {
        onMachine(machine,
                  [this](auto& m) { Family::template run<Cell>(m, count_, capacity_); });
    }
    std::string toString() const final { return std::string(Self::kText); }
    CodeItem* clone() const final { return withSpanOf(new Self(count_, capacity_)); }

private:
    int64_t count_;
    int32_t capacity_;
};

// Two int64 bounds, printed as two values are (the family sets kValues to 2).
template <class Self, class Family, class Cell>
using Bounds = Values<Self, Family, Cell>;

// A target label, held without a reference and printed after the text; isResolved and
// remapLabels are those of every label-operand instruction. The kernel gets the label,
// linked by then, and jumps to its address:
//   template <class Cell, class Machine>
//   static void run(Machine& machine, const Label& target);
template <class Self, class Family, class Cell>
class Target : public CmdWithTarget {
public:
    static Cmd* make(const OperatorOperands& operands) { return new Self(operands.target); }

    explicit Target(Label* target) : CmdWithTarget(target) {}

    void execute(Stackmachine& machine) final {
        onMachine(machine, [this](auto& m) { Family::template run<Cell>(m, *target()); });
    }
    RunKernel runKernel() const final { return &quietKernel<Self>; }
    RunForm runForm() const final { return runFormOf<Family, Cell>(); }
    template <class Machine>
    void runOn(Machine& m) const {
        Family::template run<Cell>(m, *target());
    }
    std::string toString() const final {
        // The row's text ends in the blank that textWithTarget puts before the label.
        return textWithTarget(Self::kText.substr(0, Self::kText.size() - 1));
    }
    CodeItem* clone() const final { return withSpanOf(new Self(target())); }
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
