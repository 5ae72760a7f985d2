#include "core/stackmachine_interpreter.h"

#include "core/cmd_const.h"
#include "core/cmd_stack.h"
#include "core/exception.h"
#include "core/wrap_arithmetic.h"

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

// A ConstLint (or another push of a fixed 64-bit integer) followed by a Ld or St of the given count that moves whole cells of the
// global area: the address is known before the run, so the pair needs no address check.
bool globalRange(CodeItem* constant, int64_t count, int64_t& address) {
    const Cmd* cmd = constant->asCmd();
    if (cmd == nullptr || cmd->runRole() != RunRole::pushS64 || count < 1 || count > Stackmachine::kStackBase)
        return false;
    address = cmd->runValue();
    return address > 0 && address <= Stackmachine::kStackBase - count;
}

// Fp; ConstLint k; an S64 add at pc: the address of a frame cell, pushed; then the Ld or
// St at pc + 3 with its count.
bool frameAddress(const CodeLinked& program, int64_t pc, int64_t& offset) {
    if (pc + 3 >= program.size() || dynamic_cast<const CmdFp*>(program.item(pc)) == nullptr) return false;
    const Cmd* constant = program.item(pc + 1)->asCmd();
    const Cmd* add = program.item(pc + 2)->asCmd();
    if (constant == nullptr || constant->runRole() != RunRole::pushS64 || add == nullptr ||
        add->runRole() != RunRole::addS64)
        return false;
    offset = constant->runValue();
    return true;
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
        if (frameAddress(program, pc, address)) {
            const CodeItem* access = program.item(pc + 3);
            if (const auto* ld = dynamic_cast<const CmdLd*>(access); ld != nullptr && ld->count() >= 1) {
                entry.action = RunAction::loadFrame;
                entry.address = address;
                entry.count = ld->count();
                continue;
            }
            if (const auto* st = dynamic_cast<const CmdSt*>(access); st != nullptr && st->count() >= 1) {
                entry.action = RunAction::storeFrame;
                entry.address = address;
                entry.count = st->count();
                continue;
            }
        }
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
        } else if (entry.action == RunAction::loadFrame || entry.action == RunAction::storeFrame) {
            end = pc + 4;
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
    static constexpr void* kActions[] = {&&step,       &&label,       &&kernel,    &&kernelPair,
                                         &&loadGlobal, &&storeGlobal, &&loadFrame, &&storeFrame};
    static_assert(sizeof kActions / sizeof kActions[0] == static_cast<size_t>(RunAction::storeFrame) + 1);
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
    pushBlockCells(entry->address, count);
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
    writeCell(block_.get() + sp_ * kCellBytes, entry->address);
    popBlockCells(entry->address, count);
    pc_ = static_cast<int64_t>(pc + 2 + static_cast<uint64_t>(entry->labels));
    stepCount += 2 + entry->labels;
    KARSTO_DISPATCH();
}
loadFrame: {
    // Fp pushes fp at sp, ConstLint k at sp + 1, the add leaves fp + k at sp, and Ld
    // pops that address and copies the cells there. Only cells of the block go this way.
    const int64_t count = entry->count;
    const int64_t address = wrapAdd(fp_, entry->address);
    if (static_cast<uint64_t>(sp_ - kStackBase) + 2 > static_cast<uint64_t>(kStackEnd - kStackBase) ||
        static_cast<uint64_t>(sp_ - kStackBase) > static_cast<uint64_t>(kStackEnd - kStackBase - count) ||
        address <= 0 || address > kBlockCells - count) [[unlikely]] {
        step(); // Fp alone; the parts then fail as they do when stepped
        KARSTO_DISPATCH();
    }
    writeFrameAddress(address, entry->address);
    pushBlockCells(address, count);
    pc_ = static_cast<int64_t>(pc + 4 + static_cast<uint64_t>(entry->labels));
    stepCount += 4 + entry->labels;
    KARSTO_DISPATCH();
}
storeFrame: {
    // As loadFrame up to the address at sp; St pops it, lowers sp by the count and
    // copies the cells from there.
    const int64_t count = entry->count;
    const int64_t address = wrapAdd(fp_, entry->address);
    if (static_cast<uint64_t>(sp_ - kStackBase) + 2 > static_cast<uint64_t>(kStackEnd - kStackBase) ||
        sp_ - count < kStackBase || address <= 0 || address > kBlockCells - count) [[unlikely]] {
        step(); // Fp alone; the parts then fail as they do when stepped
        KARSTO_DISPATCH();
    }
    writeFrameAddress(address, entry->address);
    popBlockCells(address, count);
    pc_ = static_cast<int64_t>(pc + 4 + static_cast<uint64_t>(entry->labels));
    stepCount += 4 + entry->labels;
    KARSTO_DISPATCH();
}
#undef KARSTO_DISPATCH
}

} // namespace Karsto
