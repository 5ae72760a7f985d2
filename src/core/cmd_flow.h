#pragma once
// The instructions that steer control: jumps, conditional branches, direct and
// indirect subroutine calls, return, halt and the push of a code address.
//
// A jump sets pc to the label's own item index, so the next step passes over the label.
// Label operands hold no reference; linking remaps them to the label's clone.
//
// Call frame, relative to the new fp: below fp the caller's parameter area; fp the
// caller's fp; fp + 1 the entry address; fp + 2 the return position (the item after
// the call); from fp + 3 the callee's locals, reserved by the callee's CmdSpAdd.

#include <cstdint>
#include <string>

#include "core/code.h"

namespace Karsto {

// pc = target address.
class CmdJump final : public CmdWithTarget {
public:
    explicit CmdJump(Label* target) : CmdWithTarget(target) {}
    void execute(Stackmachine& machine) override;
    RunKernel runKernel() const override;
    template <class Machine>
    void runOn(Machine& m) const;
    std::string toString() const override; // "Jump Label " + id
    CodeItem* clone() const override;
};

// Calls the target: builds the frame (old fp, entry address, return position) at sp.
class CmdJumpSub final : public CmdWithTarget {
public:
    explicit CmdJumpSub(Label* target) : CmdWithTarget(target) {}
    void execute(Stackmachine& machine) override;
    RunKernel runKernel() const override;
    template <class Machine>
    void runOn(Machine& m) const;
    std::string toString() const override; // "JumpSub Label " + id
    CodeItem* clone() const override;
};

// Pops a code address and calls it as CmdJumpSub calls its label.
class CmdJumpSubInd final : public Cmd {
public:
    CmdJumpSubInd() = default;
    void execute(Stackmachine& machine) override;
    RunKernel runKernel() const override;
    template <class Machine>
    void runOn(Machine& m) const;
    std::string toString() const override; // "JumpSubInd"
    CodeItem* clone() const override;
};

// Pops a U1 (only the low byte decides) and jumps when it is not 0.
class CmdBranchTrue final : public CmdWithTarget {
public:
    explicit CmdBranchTrue(Label* target) : CmdWithTarget(target) {}
    void execute(Stackmachine& machine) override;
    RunKernel runKernel() const override;
    template <class Machine>
    void runOn(Machine& m) const;
    std::string toString() const override; // "BranchTrue Label " + id
    CodeItem* clone() const override;
};

// Pops a U1 (only the low byte decides) and jumps when it is 0.
class CmdBranchFalse final : public CmdWithTarget {
public:
    explicit CmdBranchFalse(Label* target) : CmdWithTarget(target) {}
    void execute(Stackmachine& machine) override;
    RunKernel runKernel() const override;
    template <class Machine>
    void runOn(Machine& m) const;
    std::string toString() const override; // "BranchFalse Label " + id
    CodeItem* clone() const override;
};

// Removes the frame: continues at the return position with the caller's fp; sp is the
// frame's start, the top of the caller's parameter area.
class CmdReturn final : public Cmd {
public:
    CmdReturn() = default;
    void execute(Stackmachine& machine) override;
    RunKernel runKernel() const override;
    template <class Machine>
    void runOn(Machine& m) const;
    std::string toString() const override; // "Return"
    CodeItem* clone() const override;
};

// Clears the machine's running flag and nothing else; the step then runs the end hook.
class CmdHalt final : public Cmd {
public:
    CmdHalt() = default;
    void execute(Stackmachine& machine) override;
    std::string toString() const override; // "Halt"
    CodeItem* clone() const override;
};

// Pushes the target's code address (its item index) as an Addr.
class CmdConstLabel final : public CmdWithTarget {
public:
    explicit CmdConstLabel(Label* target) : CmdWithTarget(target) {}
    void execute(Stackmachine& machine) override;
    RunKernel runKernel() const override;
    template <class Machine>
    void runOn(Machine& m) const;
    std::string toString() const override; // "ConstLabel Label " + id
    CodeItem* clone() const override;
};

} // namespace Karsto
