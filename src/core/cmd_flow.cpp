#include "core/cmd_flow.h"

#include "core/stackmachine.h"

namespace Karsto {

namespace {

// The frame of a call to entry: old fp, entry address, return position (pc already
// points past the call instruction).
void callSubroutine(Stackmachine& machine, int64_t entry) {
    const int64_t oldFp = machine.getFp();
    machine.setFp(machine.getSp());
    machine.pushAddr(oldFp);
    machine.pushAddr(entry);
    machine.pushAddr(machine.getPc());
    machine.setPc(entry);
}

} // namespace

void CmdJump::execute(Stackmachine& machine) { machine.setPc(target()->address()); }

std::string CmdJump::toString() const { return textWithTarget("Jump"); }

CodeItem* CmdJump::clone() const { return withSpanOf(new CmdJump(target())); }

void CmdJumpSub::execute(Stackmachine& machine) { callSubroutine(machine, target()->address()); }

std::string CmdJumpSub::toString() const { return textWithTarget("JumpSub"); }

CodeItem* CmdJumpSub::clone() const { return withSpanOf(new CmdJumpSub(target())); }

void CmdJumpSubInd::execute(Stackmachine& machine) {
    const int64_t entry = machine.popAddr(); // the target address lies on top
    callSubroutine(machine, entry);
}

std::string CmdJumpSubInd::toString() const { return "JumpSubInd"; }

CodeItem* CmdJumpSubInd::clone() const { return withSpanOf(new CmdJumpSubInd()); }

void CmdBranchTrue::execute(Stackmachine& machine) {
    if (machine.popU1() != 0) machine.setPc(target()->address());
}

std::string CmdBranchTrue::toString() const { return textWithTarget("BranchTrue"); }

CodeItem* CmdBranchTrue::clone() const { return withSpanOf(new CmdBranchTrue(target())); }

void CmdBranchFalse::execute(Stackmachine& machine) {
    if (machine.popU1() == 0) machine.setPc(target()->address());
}

std::string CmdBranchFalse::toString() const { return textWithTarget("BranchFalse"); }

CodeItem* CmdBranchFalse::clone() const { return withSpanOf(new CmdBranchFalse(target())); }

void CmdReturn::execute(Stackmachine& machine) {
    const int64_t fp = machine.getFp();
    // The return position must be read before sp drops below the frame. A wild fp wraps
    // instead of overflowing, so the machine's bounds check refuses it.
    const auto returnCell = static_cast<int64_t>(static_cast<uint64_t>(fp) + 2u);
    const int64_t returnPosition = machine.loadAddr(returnCell);
    machine.setSp(fp);
    machine.setFp(machine.loadAddr(fp));
    machine.setPc(returnPosition);
}

std::string CmdReturn::toString() const { return "Return"; }

CodeItem* CmdReturn::clone() const { return withSpanOf(new CmdReturn()); }

void CmdHalt::execute(Stackmachine& machine) { machine.halt(); }

std::string CmdHalt::toString() const { return "Halt"; }

CodeItem* CmdHalt::clone() const { return withSpanOf(new CmdHalt()); }

void CmdConstLabel::execute(Stackmachine& machine) { machine.pushAddr(target()->address()); }

std::string CmdConstLabel::toString() const { return textWithTarget("ConstLabel"); }

CodeItem* CmdConstLabel::clone() const { return withSpanOf(new CmdConstLabel(target())); }

} // namespace Karsto
