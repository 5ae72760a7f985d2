#include "core/cmd_stack.h"

#include "core/exception.h"
#include "core/stackmachine_interpreter.h"

namespace Karsto {

namespace {

// Cell arithmetic on operands and popped values wraps instead of overflowing: a wild
// address is then refused by the machine's bounds checks, never undefined behaviour.
int64_t wrapAdd(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
int64_t wrapSub(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}
int64_t wrapMul(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b));
}

// Out of line: the good path of Ld and St pays one compare for the address, no call.
[[noreturn, gnu::cold]] void failNullPointer() { failRuntime("NULL-Pointer Exception"); }

} // namespace

template <class Machine>
void CmdLd::runOn(Machine& m) const {
    const int64_t address = m.popAddr();
    if (address == 0) [[unlikely]] failNullPointer();
    const int64_t sp = m.getSp();
    m.checkStackRange(sp, count_);
    m.copy(sp, address, count_);
    m.addSp(count_);
}

void CmdLd::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) { runOn(m); });
}

RunKernel CmdLd::runKernel() const { return &quietKernel<CmdLd>; }

std::string CmdLd::toString() const { return "Ld " + std::to_string(count_); }

CodeItem* CmdLd::clone() const { return withSpanOf(new CmdLd(count_)); }

template <class Machine>
void CmdSt::runOn(Machine& m) const {
    const int64_t address = m.popAddr(); // the address lies on top of the value
    if (address == 0) [[unlikely]] failNullPointer();
    m.addSp(wrapSub(0, count_)); // checked: the value's cells then lie on the stack
    m.copy(address, m.getSp(), count_);
}

void CmdSt::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) { runOn(m); });
}

RunKernel CmdSt::runKernel() const { return &quietKernel<CmdSt>; }

std::string CmdSt::toString() const { return "St " + std::to_string(count_); }

CodeItem* CmdSt::clone() const { return withSpanOf(new CmdSt(count_)); }

template <class Machine>
void CmdDup::runOn(Machine& m) const {
    const int64_t sp = m.getSp();
    // Source and destination are adjacent: one check covers both.
    m.checkStackRange(wrapSub(sp, count_), wrapMul(count_, 2));
    m.copy(sp, wrapSub(sp, count_), count_);
    m.addSp(count_);
}

void CmdDup::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) { runOn(m); });
}

RunKernel CmdDup::runKernel() const { return &quietKernel<CmdDup>; }

std::string CmdDup::toString() const { return "Dup " + std::to_string(count_); }

CodeItem* CmdDup::clone() const { return withSpanOf(new CmdDup(count_)); }

template <class Machine>
void CmdCopy::runOn(Machine& m) const {
    const int64_t sp = m.getSp();
    m.checkStackRange(sp, count_);
    m.checkStackRange(wrapAdd(sp, offset_), count_);
    m.copy(sp, wrapAdd(sp, offset_), count_);
    m.addSp(count_);
}

void CmdCopy::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) { runOn(m); });
}

RunKernel CmdCopy::runKernel() const { return &quietKernel<CmdCopy>; }

std::string CmdCopy::toString() const {
    return "Copy " + std::to_string(offset_) + " " + std::to_string(count_);
}

CodeItem* CmdCopy::clone() const { return withSpanOf(new CmdCopy(offset_, count_)); }

template <class Machine>
void CmdCopyTo::runOn(Machine& m) const {
    const int64_t sp = m.getSp();
    const int64_t destination = wrapAdd(sp, destinationOffset_);
    const int64_t source = wrapAdd(sp, sourceOffset_);
    m.checkStackRange(destination, count_);
    m.checkStackRange(source, count_);
    m.copy(destination, source, count_);
}

void CmdCopyTo::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) { runOn(m); });
}

RunKernel CmdCopyTo::runKernel() const { return &quietKernel<CmdCopyTo>; }

std::string CmdCopyTo::toString() const {
    return "CopyTo " + std::to_string(sourceOffset_) + " " + std::to_string(destinationOffset_) +
           " " + std::to_string(count_);
}

CodeItem* CmdCopyTo::clone() const {
    return withSpanOf(new CmdCopyTo(sourceOffset_, destinationOffset_, count_));
}

template <class Machine>
void CmdSpAdd::runOn(Machine& m) const {
    m.addSp(n_);
}

void CmdSpAdd::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) { runOn(m); });
}

RunKernel CmdSpAdd::runKernel() const { return &quietKernel<CmdSpAdd>; }

std::string CmdSpAdd::toString() const { return "SpAdd " + std::to_string(n_); }

CodeItem* CmdSpAdd::clone() const { return withSpanOf(new CmdSpAdd(n_)); }

template <class Machine>
void CmdFp::runOn(Machine& m) const {
    m.pushAddr(m.getFp());
}

void CmdFp::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) { runOn(m); });
}

RunKernel CmdFp::runKernel() const { return &quietKernel<CmdFp>; }

std::string CmdFp::toString() const { return "Fp"; }

CodeItem* CmdFp::clone() const { return withSpanOf(new CmdFp()); }

template <class Machine>
void CmdMux::runOn(Machine& m) const {
    const int64_t k = m.popAddr();
    if (k != 0) {
        const int64_t sp = m.getSp();
        const int64_t destination = wrapSub(sp, wrapMul(count_, size_));
        const int64_t source = wrapAdd(sp, wrapMul(wrapSub(k, count_), size_));
        m.checkStackRange(destination, size_);
        m.checkStackRange(source, size_);
        m.copy(destination, source, size_);
    }
    m.addSp(wrapMul(wrapSub(1, count_), size_));
}

void CmdMux::execute(Stackmachine& machine) {
    onMachine(machine, [this](auto& m) { runOn(m); });
}

RunKernel CmdMux::runKernel() const { return &quietKernel<CmdMux>; }

std::string CmdMux::toString() const {
    return "Mux " + std::to_string(size_) + " " + std::to_string(count_);
}

CodeItem* CmdMux::clone() const { return withSpanOf(new CmdMux(size_, count_)); }

} // namespace Karsto
