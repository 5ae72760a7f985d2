#include "core/cmd_flow.h"

#include "core/stackmachine_interpreter.h"

namespace Karsto {

namespace {

// The frame of a call to entry: old fp, entry address, return position (pc already
// points past the call instruction).
template <class Machine>
void callSubroutine(Machine& machine, int64_t entry) {
    const int64_t oldFp = machine.getFp();
    machine.setFp(machine.getSp());
    machine.pushAddr(oldFp);
    machine.pushAddr(entry);
    machine.pushAddr(machine.getPc());
    machine.setPc(entry);
}

} // namespace

template <class Machine>
void CmdJump::runOn(Machine& m) const {
    m.setPc(target()->address());
}

void CmdJump::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) { runOn(m); });
}

RunKernel CmdJump::runKernel() const { return &quietKernel<CmdJump>; }

std::string CmdJump::toString() const { return textWithTarget("Jump"); }

CodeItem* CmdJump::clone() const { return withSpanOf(new CmdJump(target())); }

template <class Machine>
void CmdJumpSub::runOn(Machine& m) const {
    callSubroutine(m, target()->address());
}

void CmdJumpSub::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) { runOn(m); });
}

RunKernel CmdJumpSub::runKernel() const { return &quietKernel<CmdJumpSub>; }

std::string CmdJumpSub::toString() const { return textWithTarget("JumpSub"); }

CodeItem* CmdJumpSub::clone() const { return withSpanOf(new CmdJumpSub(target())); }

template <class Machine>
void CmdJumpSubInd::runOn(Machine& m) const {
    const int64_t entry = m.popAddr(); // the target address lies on top
    callSubroutine(m, entry);
}

void CmdJumpSubInd::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) { runOn(m); });
}

RunKernel CmdJumpSubInd::runKernel() const { return &quietKernel<CmdJumpSubInd>; }

std::string CmdJumpSubInd::toString() const { return "JumpSubInd"; }

CodeItem* CmdJumpSubInd::clone() const { return withSpanOf(new CmdJumpSubInd()); }

template <class Machine>
void CmdBranchTrue::runOn(Machine& m) const {
    if (m.popU1() != 0) m.setPc(target()->address());
}

void CmdBranchTrue::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) { runOn(m); });
}

RunKernel CmdBranchTrue::runKernel() const { return &quietKernel<CmdBranchTrue>; }

std::string CmdBranchTrue::toString() const { return textWithTarget("BranchTrue"); }

CodeItem* CmdBranchTrue::clone() const { return withSpanOf(new CmdBranchTrue(target())); }

template <class Machine>
void CmdBranchFalse::runOn(Machine& m) const {
    if (m.popU1() == 0) m.setPc(target()->address());
}

void CmdBranchFalse::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) { runOn(m); });
}

RunKernel CmdBranchFalse::runKernel() const { return &quietKernel<CmdBranchFalse>; }

std::string CmdBranchFalse::toString() const { return textWithTarget("BranchFalse"); }

CodeItem* CmdBranchFalse::clone() const { return withSpanOf(new CmdBranchFalse(target())); }

template <class Machine>
void CmdReturn::runOn(Machine& m) const {
    const int64_t fp = m.getFp();
    // The return position must be read before sp drops below the frame. A wild fp
    // wraps instead of overflowing, so the machine's bounds check refuses it.
    const auto returnCell = static_cast<int64_t>(static_cast<uint64_t>(fp) + 2u);
    const int64_t returnPosition = m.loadAddr(returnCell);
    m.setSp(fp);
    m.setFp(m.loadAddr(fp));
    m.setPc(returnPosition);
}

void CmdReturn::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) { runOn(m); });
}

RunKernel CmdReturn::runKernel() const { return &quietKernel<CmdReturn>; }

std::string CmdReturn::toString() const { return "Return"; }

CodeItem* CmdReturn::clone() const { return withSpanOf(new CmdReturn()); }

void CmdHalt::execute(Stackmachine& machine) { machine.halt(); }

std::string CmdHalt::toString() const { return "Halt"; }

CodeItem* CmdHalt::clone() const { return withSpanOf(new CmdHalt()); }

template <class Machine>
void CmdConstLabel::runOn(Machine& m) const {
    m.pushAddr(target()->address());
}

void CmdConstLabel::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) { runOn(m); });
}

RunKernel CmdConstLabel::runKernel() const { return &quietKernel<CmdConstLabel>; }

std::string CmdConstLabel::toString() const { return textWithTarget("ConstLabel"); }

CodeItem* CmdConstLabel::clone() const { return withSpanOf(new CmdConstLabel(target())); }

} // namespace Karsto
