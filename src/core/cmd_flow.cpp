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

void CmdJump::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) { m.setPc(target()->address()); });
}

std::string CmdJump::toString() const { return textWithTarget("Jump"); }

CodeItem* CmdJump::clone() const { return withSpanOf(new CmdJump(target())); }

void CmdJumpSub::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) { callSubroutine(m, target()->address()); });
}

std::string CmdJumpSub::toString() const { return textWithTarget("JumpSub"); }

CodeItem* CmdJumpSub::clone() const { return withSpanOf(new CmdJumpSub(target())); }

void CmdJumpSubInd::execute(Stackmachine& machine) {
    onMachine(machine, [](auto& m) {
        const int64_t entry = m.popAddr(); // the target address lies on top
        callSubroutine(m, entry);
    });
}

std::string CmdJumpSubInd::toString() const { return "JumpSubInd"; }

CodeItem* CmdJumpSubInd::clone() const { return withSpanOf(new CmdJumpSubInd()); }

void CmdBranchTrue::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) {
        if (m.popU1() != 0) m.setPc(target()->address());
    });
}

std::string CmdBranchTrue::toString() const { return textWithTarget("BranchTrue"); }

CodeItem* CmdBranchTrue::clone() const { return withSpanOf(new CmdBranchTrue(target())); }

void CmdBranchFalse::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) {
        if (m.popU1() == 0) m.setPc(target()->address());
    });
}

std::string CmdBranchFalse::toString() const { return textWithTarget("BranchFalse"); }

CodeItem* CmdBranchFalse::clone() const { return withSpanOf(new CmdBranchFalse(target())); }

void CmdReturn::execute(Stackmachine& machine) {
    onMachine(machine, [](auto& m) {
        const int64_t fp = m.getFp();
        // The return position must be read before sp drops below the frame. A wild fp
        // wraps instead of overflowing, so the machine's bounds check refuses it.
        const auto returnCell = static_cast<int64_t>(static_cast<uint64_t>(fp) + 2u);
        const int64_t returnPosition = m.loadAddr(returnCell);
        m.setSp(fp);
        m.setFp(m.loadAddr(fp));
        m.setPc(returnPosition);
    });
}

std::string CmdReturn::toString() const { return "Return"; }

CodeItem* CmdReturn::clone() const { return withSpanOf(new CmdReturn()); }

void CmdHalt::execute(Stackmachine& machine) { machine.halt(); }

std::string CmdHalt::toString() const { return "Halt"; }

CodeItem* CmdHalt::clone() const { return withSpanOf(new CmdHalt()); }

void CmdConstLabel::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) { m.pushAddr(target()->address()); });
}

std::string CmdConstLabel::toString() const { return textWithTarget("ConstLabel"); }

CodeItem* CmdConstLabel::clone() const { return withSpanOf(new CmdConstLabel(target())); }

} // namespace Karsto
