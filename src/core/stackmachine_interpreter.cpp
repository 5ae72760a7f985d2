#include "core/stackmachine_interpreter.h"

#include "core/cmd_const.h"
#include "core/cmd_stack.h"

namespace Karsto {

StackmachineInterpreter::~StackmachineInterpreter() = default;

void StackmachineInterpreter::unload() {
    Stackmachine::unload(); // runs the base reset only: the processor is reset once, below
    if (processor != nullptr) processor->reset();
}

void StackmachineInterpreter::reset() {
    Stackmachine::reset();
    if (processor != nullptr) processor->reset();
}

void StackmachineInterpreter::executeGcode(int32_t skipLevel, const std::vector<GCodeWord>& words) {
    Stackmachine::executeGcode(skipLevel, words);
    if (processor != nullptr) processor->executeBlock(skipLevel, words, currentSpanRef());
}

void StackmachineInterpreter::onProgramStart() {
    if (processor != nullptr) processor->startProgram();
}

void StackmachineInterpreter::onProgramEnd() {
    if (processor != nullptr) processor->finishProgram();
}

// ---- the run loop ----------------------------------------------------------------------

namespace {

// A ConstLint followed by a Ld or St of the given count that moves whole cells of the
// global area: the address is known before the run, so the pair needs no address check.
bool globalRange(const CodeItem* constant, int64_t count, int64_t& address) {
    const auto* lint = dynamic_cast<const CmdConstLint*>(constant);
    if (lint == nullptr || count < 1 || count > Stackmachine::kStackBase) return false;
    address = lint->value();
    return address > 0 && address <= Stackmachine::kStackBase - count;
}

} // namespace

void StackmachineInterpreter::planRun() {
    const int64_t size = program.size();
    plan_.assign(static_cast<size_t>(size), RunEntry{});
    for (int64_t pc = 0; pc < size; ++pc) {
        RunEntry& entry = plan_[static_cast<size_t>(pc)];
        CodeItem* item = program.item(pc);
        if (!item->isCmd()) {
            entry.action = RunAction::label;
            continue;
        }
        const auto* cmd = static_cast<const Cmd*>(item);
        entry.item = cmd;
        entry.kernel = cmd->runKernel();
        if (entry.kernel != nullptr) entry.action = RunAction::kernel;
        if (pc + 1 >= size) continue;
        const CodeItem* next = program.item(pc + 1);
        int64_t address = 0;
        if (const auto* ld = dynamic_cast<const CmdLd*>(next); ld != nullptr && globalRange(item, ld->count(), address)) {
            entry.action = RunAction::loadGlobal;
            entry.address = address;
            entry.count = ld->count();
        } else if (const auto* st = dynamic_cast<const CmdSt*>(next); st != nullptr && globalRange(item, st->count(), address)) {
            entry.action = RunAction::storeGlobal;
            entry.address = address;
            entry.count = st->count();
        }
    }
    // Backwards, so that each entry sees what its successor became: a kernel followed by
    // a kernel runs both, and every action takes the labels after its items along.
    for (int64_t pc = size - 1; pc >= 0; --pc) {
        RunEntry& entry = plan_[static_cast<size_t>(pc)];
        int64_t end = pc + 1; // the first item after the action's items
        if (entry.action == RunAction::loadGlobal || entry.action == RunAction::storeGlobal) {
            end = pc + 2;
        } else if (entry.action == RunAction::kernel && end < size &&
                   plan_[static_cast<size_t>(end)].action == RunAction::kernel) {
            const RunEntry& next = plan_[static_cast<size_t>(end)];
            entry.action = RunAction::kernelPair;
            entry.secondKernel = next.kernel;
            entry.second = next.item;
            end = pc + 2;
        } else if (entry.action != RunAction::kernel && entry.action != RunAction::label) {
            continue; // a stepped item stays alone
        }
        while (end < size && plan_[static_cast<size_t>(end)].action == RunAction::label && entry.labels < INT32_MAX) {
            ++entry.labels;
            ++end;
        }
    }
}

void StackmachineInterpreter::run() {
    stepCount = 0;
    gcodeCount = 0;
    planRun();
    const int64_t items = program.size();
    while (pc_ < items) {
        // The hooks and the traces are the step's, and so is a pc below 0 (it fails there).
        if (pc_ < 0 || !runsQuiet()) [[unlikely]] {
            step();
            continue;
        }
        try {
            runPlan();
        } catch (ExceptionRuntime& e) {
            // The item being executed: a kernel moves pc only as its last act, and a
            // stepped item's error has its span already.
            if (!e.span().valid && pc_ >= 1 && pc_ <= items) e.setSpan(program.item(pc_ - 1)->span());
            throw;
        }
    }
}

// Direct dispatch: every action ends in its own jump to the next entry's action, through
// a table indexed by RunAction (so in the enum's order), until pc leaves the program or a
// stepped item (a native, say) may have turned a trace on or halted.
//
// The fused pairs first test everything their parts would refuse; where a part would
// fail, the first item is stepped alone, so the error, its span and the step count are
// those of the parts. Their cell writes are the parts' writes, the address the ConstLint
// pushed included.
void StackmachineInterpreter::runPlan() {
    static constexpr void* kActions[] = {&&step, &&label, &&kernel, &&kernelPair, &&loadGlobal, &&storeGlobal};
    static_assert(sizeof kActions / sizeof kActions[0] == static_cast<size_t>(RunAction::storeGlobal) + 1);
    // Locals: no kernel can change the program, and the optimiser could not know that.
    const RunEntry* const plan = plan_.data();
    const auto size = static_cast<uint64_t>(plan_.size());
    uint64_t pc = 0;
    const RunEntry* entry = nullptr;
#define KARSTO_DISPATCH()                                                                          \
    do {                                                                                           \
        pc = static_cast<uint64_t>(pc_);                                                           \
        if (pc >= size) return;                                                                    \
        entry = plan + pc;                                                                         \
        goto* kActions[static_cast<size_t>(entry->action)];                                        \
    } while (false)

    KARSTO_DISPATCH();
step:
    step();
    if (!runsQuiet()) return;
    KARSTO_DISPATCH();
label: // a run of labels
    pc_ = static_cast<int64_t>(pc + 1 + static_cast<uint64_t>(entry->labels));
    stepCount += 1 + entry->labels;
    KARSTO_DISPATCH();
kernel:
    pc_ = static_cast<int64_t>(pc + 1);
    ++stepCount;
    entry->kernel(*this, *entry->item);
    skipLabels(*entry, pc + 1);
    KARSTO_DISPATCH();
kernelPair:
    pc_ = static_cast<int64_t>(pc + 1);
    ++stepCount;
    entry->kernel(*this, *entry->item);
    if (pc_ == static_cast<int64_t>(pc + 1)) { // the first did not jump
        pc_ = static_cast<int64_t>(pc + 2);
        ++stepCount;
        entry->secondKernel(*this, *entry->second);
        skipLabels(*entry, pc + 2);
    }
    KARSTO_DISPATCH();
loadGlobal: {
    // ConstLint pushes the address at sp, Ld pops it and copies the cells there.
    const int64_t count = entry->count;
    if (static_cast<uint64_t>(sp_ - kStackBase) > static_cast<uint64_t>(kStackEnd - kStackBase - count))
        [[unlikely]] {
        step(); // ConstLint alone; Ld then fails as it does when stepped
        KARSTO_DISPATCH();
    }
    unsigned char* top = block_.get() + sp_ * kCellBytes;
    const unsigned char* from = block_.get() + entry->address * kCellBytes;
    if (count == 1) [[likely]]
        writeCell(top, readCell<uint64_t>(from));
    else
        std::memmove(top, from, static_cast<size_t>(count * kCellBytes));
    sp_ += count;
    pc_ = static_cast<int64_t>(pc + 2 + static_cast<uint64_t>(entry->labels));
    stepCount += 2 + entry->labels;
    KARSTO_DISPATCH();
}
storeGlobal: {
    // ConstLint pushes the address at sp, St pops it, lowers sp by the count and copies
    // the cells from there.
    const int64_t count = entry->count;
    if (sp_ - count < kStackBase || sp_ >= kStackEnd) [[unlikely]] {
        step(); // ConstLint alone; St then fails as it does when stepped
        KARSTO_DISPATCH();
    }
    unsigned char* top = block_.get() + sp_ * kCellBytes;
    writeCell(top, entry->address);
    sp_ -= count;
    const unsigned char* from = block_.get() + sp_ * kCellBytes;
    unsigned char* to = block_.get() + entry->address * kCellBytes;
    if (count == 1) [[likely]]
        writeCell(to, readCell<uint64_t>(from));
    else
        std::memmove(to, from, static_cast<size_t>(count * kCellBytes));
    pc_ = static_cast<int64_t>(pc + 2 + static_cast<uint64_t>(entry->labels));
    stepCount += 2 + entry->labels;
    KARSTO_DISPATCH();
}
#undef KARSTO_DISPATCH
}

} // namespace Karsto
