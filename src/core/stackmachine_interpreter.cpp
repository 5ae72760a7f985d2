#include "core/stackmachine_interpreter.h"

#include <algorithm>
#include <type_traits>

#include "core/cmd_const.h"
#include "core/cmd_flow.h"
#include "core/cmd_stack.h"
#include "core/exception.h"
#include "core/type_string.h"
#include "core/wrap_arithmetic.h"

namespace Karsto {

StackmachineInterpreter::~StackmachineInterpreter() = default;

void StackmachineInterpreter::unload() {
    Stackmachine::unload(); // runs the base reset only: the processor is reset once, below
    planDrop();
    plan_.shrink_to_fit(); // a large program's plan must not outlive it
    if (processor != nullptr) processor->reset();
}

void StackmachineInterpreter::reset() {
    Stackmachine::reset();
    planDrop();
    if (processor != nullptr) processor->reset();
}

void StackmachineInterpreter::executeGcode(int32_t skipLevel, const std::vector<GCodeWord>& words) {
    Stackmachine::executeGcode(skipLevel, words);
    if (processor != nullptr) processor->executeBlock(skipLevel, words, currentSpan());
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

// The labels from pc on, up to the next item that is not one.
int64_t labelsFrom(const CodeLinked& program, int64_t pc) {
    int64_t labels = 0;
    while (pc + labels < program.size() && !program.item(pc + labels)->isCmd()) ++labels;
    return labels;
}

// The inline bodies of the typed actions: exactly the operator families' arithmetic and
// relations. Integers add, subtract and multiply in unsigned arithmetic of at least 32
// bits, so that overflow wraps.
template <class T>
using RunWide = std::conditional_t<(sizeof(T) < 8), uint32_t, uint64_t>;

template <class T>
T runAdd(T x, T y) {
    if constexpr (std::is_floating_point_v<T>)
        return x + y;
    else
        return static_cast<T>(static_cast<RunWide<T>>(x) + static_cast<RunWide<T>>(y));
}
template <class T>
T runSub(T x, T y) {
    if constexpr (std::is_floating_point_v<T>)
        return x - y;
    else
        return static_cast<T>(static_cast<RunWide<T>>(x) - static_cast<RunWide<T>>(y));
}
template <class T>
T runMul(T x, T y) {
    if constexpr (std::is_floating_point_v<T>)
        return x * y;
    else
        return static_cast<T>(static_cast<RunWide<T>>(x) * static_cast<RunWide<T>>(y));
}
template <class T>
bool runLt(T x, T y) {
    return x < y;
}
template <class T>
bool runLe(T x, T y) {
    return x <= y;
}
template <class T>
bool runGt(T x, T y) {
    return x > y;
}
template <class T>
bool runGe(T x, T y) {
    return x >= y;
}
template <class T>
bool runEq(T x, T y) {
    return x == y;
}
template <class T>
bool runNe(T x, T y) {
    return x != y;
}

// A typed write into a whole cell held in a register: the value's bytes at the low end,
// the cell's other bytes as they were. The actions write whole cells this way, so that a
// later read of the whole cell (a store) is served from that write at once.
template <class T>
uint64_t runMerge(uint64_t cell, T value) {
    uint64_t low = 0;
    std::memcpy(&low, &value, sizeof value);
    if constexpr (sizeof(T) == sizeof(uint64_t)) {
        return low;
    } else {
        constexpr uint64_t kMask = (uint64_t{1} << (8 * sizeof(T))) - 1;
        return (cell & ~kMask) | low;
    }
}
// The typed read of a whole cell held in a register.
template <class T>
T runLow(uint64_t cell) {
    T value;
    std::memcpy(&value, &cell, sizeof value);
    return value;
}

// The jump of an item with a target inside the program: the target's index, else -1.
int64_t targetOf(const CodeItem* item, int64_t size) {
    const auto* jumping = dynamic_cast<const CmdWithTarget*>(item);
    if (jumping == nullptr || jumping->target() == nullptr) return -1;
    const int64_t address = jumping->target()->address();
    return address >= 0 && address < size ? address : -1;
}

} // namespace

void StackmachineInterpreter::planRun() {
    const int64_t size = program.size();
    // One more: the end, where the actions that run off the last item arrive.
    plan_.assign(static_cast<size_t>(size) + 1, RunEntry{});
    plan_[static_cast<size_t>(size)].action = RunAction::leave;
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
        if (entry.kernel == nullptr) continue; // stepped: no kernel, no inline form
        entry.action = RunAction::kernel;
        int64_t address = 0;
        if (frameAddress(program, pc, address)) {
            const CodeItem* access = program.item(pc + 3);
            if (const auto* ld = dynamic_cast<const CmdLd*>(access); ld != nullptr && ld->count() >= 1) {
                entry.action = RunAction::loadFrame;
                entry.advance = 4;
                entry.address = address;
                entry.count = ld->count();
                continue;
            }
            if (const auto* st = dynamic_cast<const CmdSt*>(access); st != nullptr && st->count() >= 1) {
                entry.action = RunAction::storeFrame;
                entry.advance = 4;
                entry.address = address;
                entry.count = st->count();
                continue;
            }
        }
        const CodeItem* next = pc + 1 < size ? program.item(pc + 1) : nullptr;
        if (const auto* ld = dynamic_cast<const CmdLd*>(next); ld != nullptr && globalRange(item, ld->count(), address)) {
            entry.action = RunAction::loadGlobal;
            entry.advance = 2;
            entry.address = address;
            entry.count = ld->count();
            continue;
        }
        if (const auto* st = dynamic_cast<const CmdSt*>(next); st != nullptr && globalRange(item, st->count(), address)) {
            entry.action = RunAction::storeGlobal;
            entry.advance = 2;
            entry.address = address;
            entry.count = st->count();
            continue;
        }
        // One item inline.
        if (dynamic_cast<const CmdFp*>(cmd) != nullptr) {
            entry.action = RunAction::pushFp;
        } else if (const auto* ld = dynamic_cast<const CmdLd*>(cmd); ld != nullptr && ld->count() == 1) {
            entry.action = RunAction::load;
        } else if (const auto* st = dynamic_cast<const CmdSt*>(cmd); st != nullptr && st->count() == 1) {
            entry.action = RunAction::store;
        } else if (const auto* spAdd = dynamic_cast<const CmdSpAdd*>(cmd); spAdd != nullptr) {
            entry.action = RunAction::spAdd;
            entry.address = spAdd->n();
        } else if (const int64_t callee = targetOf(cmd, size);
                   callee >= 0 && dynamic_cast<const CmdJumpSub*>(cmd) != nullptr) {
            const int64_t labels = labelsFrom(program, callee);
            entry.action = RunAction::call;
            entry.operand = callee;
            entry.address = callee + labels;
            entry.count = 1 + labels;
        } else if (dynamic_cast<const CmdReturn*>(cmd) != nullptr) {
            entry.action = RunAction::ret;
        } else if (const int64_t target = targetOf(cmd, size);
                   target >= 0 && (dynamic_cast<const CmdJump*>(cmd) != nullptr ||
                                   dynamic_cast<const CmdBranchTrue*>(cmd) != nullptr ||
                                   dynamic_cast<const CmdBranchFalse*>(cmd) != nullptr)) {
            entry.action = dynamic_cast<const CmdJump*>(cmd) != nullptr         ? RunAction::jump
                           : dynamic_cast<const CmdBranchTrue*>(cmd) != nullptr ? RunAction::branchTrue
                                                                                : RunAction::branchFalse;
            const int64_t labels = labelsFrom(program, target);
            entry.address = target + labels;
            entry.count = 1 + labels;
        } else if (const RunForm form = cmd->runForm(); form.op != RunOp::none) {
            switch (form.op) {
            case RunOp::none:
                break;
            case RunOp::push:
                entry.address = cmd->runValue();
                if (form.cell == RunCell::s16) entry.action = RunAction::push2;
                if (form.cell == RunCell::s32 || form.cell == RunCell::f32) entry.action = RunAction::push4;
                if (form.cell == RunCell::s64 || form.cell == RunCell::f64) entry.action = RunAction::push8;
                break;
            case RunOp::keep:
                entry.action = RunAction::keep;
                break;
            case RunOp::extendS32:
                entry.action = RunAction::extendS32;
                break;
            case RunOp::len:
                entry.action = RunAction::len;
                break;
            case RunOp::concat:
                if (cmd->runValue() < 1 || cmd->runValue() > 64) break; // the kernel's, any count
                entry.action = RunAction::concat;
                entry.address = cmd->runValue();
                break;
            case RunOp::castStr:
                entry.action = RunAction::castStr;
                entry.address = cmd->runValue();
                entry.count = cmd->runSecond();
                break;
            case RunOp::assertRange:
                entry.action = RunAction::assertRangeS64;
                entry.address = cmd->runValue();
                entry.count = cmd->runSecond();
                break;
            case RunOp::add:
            case RunOp::sub:
            case RunOp::mul:
            case RunOp::lt:
            case RunOp::le:
            case RunOp::gt:
            case RunOp::ge:
            case RunOp::eq:
            case RunOp::ne:
            case RunOp::branchLe:
            case RunOp::branchGe: {
                if (form.cell == RunCell::none) break;
                if (form.op == RunOp::branchLe || form.op == RunOp::branchGe) {
                    const int64_t branchTarget = targetOf(cmd, size);
                    if (branchTarget < 0) break;
                    const int64_t labels = labelsFrom(program, branchTarget);
                    entry.address = branchTarget + labels;
                    entry.count = 1 + labels;
                }
                constexpr int kCells = static_cast<int>(RunCell::f64) - static_cast<int>(RunCell::s16) + 1;
                entry.action = static_cast<RunAction>(
                    static_cast<int>(RunAction::addS16) +
                    (static_cast<int>(form.op) - static_cast<int>(RunOp::add)) * kCells +
                    (static_cast<int>(form.cell) - static_cast<int>(RunCell::s16)));
                break;
            }
            }
        }
    }
    // Backwards, so that each entry sees what its successor became: a kernel followed by
    // a kernel runs both, a cast that keeps the cell goes with the action before it, a
    // relation with the branch after it, and every action takes the labels after its
    // items along.
    constexpr int kCells = static_cast<int>(RunCell::f64) - static_cast<int>(RunCell::s16) + 1;
    const auto typed = [](RunAction action, RunAction first) {
        return static_cast<int>(action) >= static_cast<int>(first) &&
               static_cast<int>(action) < static_cast<int>(first) + kCells;
    };
    // Actions after which the stack holds at least one cell: a keep's pop cannot fail.
    const auto leavesValue = [&typed](RunAction action) {
        switch (action) {
        case RunAction::loadGlobal:
        case RunAction::loadFrame:
        case RunAction::pushFp:
        case RunAction::push2:
        case RunAction::push4:
        case RunAction::push8:
        case RunAction::load:
        case RunAction::keep:
        case RunAction::extendS32:
        case RunAction::len:
        case RunAction::castStr:
            return true;
        default:
            break;
        }
        for (RunAction first : {RunAction::addS16, RunAction::subS16, RunAction::mulS16, RunAction::ltS16,
                                RunAction::leS16, RunAction::gtS16, RunAction::geS16, RunAction::eqS16,
                                RunAction::neS16})
            if (typed(action, first)) return true;
        return false;
    };
    for (int64_t pc = size - 1; pc >= 0; --pc) {
        RunEntry& entry = plan_[static_cast<size_t>(pc)];
        if (entry.action == RunAction::step) continue; // a stepped item stays alone
        if (entry.action == RunAction::kernel && plan_[static_cast<size_t>(pc + 1)].action == RunAction::kernel) {
            const RunEntry& next = plan_[static_cast<size_t>(pc + 1)];
            entry.action = RunAction::kernelPair;
            entry.secondKernel = next.kernel;
            entry.second = next.item;
            entry.advance = 2;
        }
        int64_t end = pc + entry.advance; // the first item after the action's items
        while (end < size && plan_[static_cast<size_t>(end)].action == RunAction::label) ++end;
        entry.advance = end - pc;
        if (leavesValue(entry.action) && plan_[static_cast<size_t>(end)].action == RunAction::keep) {
            entry.advance += plan_[static_cast<size_t>(end)].advance; // the keep and its labels
            end = pc + entry.advance;
        }
        // A store to global cells, then a load of the same cells.
        if (entry.action == RunAction::storeGlobal && plan_[static_cast<size_t>(end)].action == RunAction::loadGlobal &&
            plan_[static_cast<size_t>(end)].address == entry.address &&
            plan_[static_cast<size_t>(end)].count == entry.count) {
            entry.action = RunAction::storeReload;
            entry.advance += plan_[static_cast<size_t>(end)].advance;
            continue;
        }
        // SpAdds of one sign: the first refuses what the sum would, and the others then
        // nothing (each SpAdd 0 passes anywhere).
        if (entry.action == RunAction::spAdd && plan_[static_cast<size_t>(end)].action == RunAction::spAdd) {
            const RunEntry& more = plan_[static_cast<size_t>(end)];
            constexpr int64_t kSmall = INT32_MAX;
            if (entry.address >= -kSmall && entry.address <= kSmall && more.address >= -kSmall &&
                more.address <= kSmall && (entry.address >= 0) == (more.address >= 0)) {
                entry.address += more.address;
                entry.advance += more.advance;
                continue;
            }
        }
        // A binary operation, then its result stored to a global cell.
        const RunEntry& stored = plan_[static_cast<size_t>(end)];
        const int binaryIndex = static_cast<int>(entry.action) - static_cast<int>(RunAction::addS16);
        if (binaryIndex >= 0 && binaryIndex < 3 * kCells &&
            (stored.action == RunAction::storeGlobal || stored.action == RunAction::storeReload) &&
            stored.count == 1) {
            entry.action = static_cast<RunAction>(static_cast<int>(RunAction::addStoreS16) + binaryIndex);
            entry.store = stored.address;
            entry.reload = stored.action == RunAction::storeReload ? 1 : 0;
            entry.advance += stored.advance;
            end = pc + entry.advance;
        }
        // A whole cell pushed, and an operation that takes it as its right operand.
        const bool pushesCell = entry.action == RunAction::push8 ||
                                (entry.action == RunAction::loadGlobal && entry.count == 1);
        const RunEntry& after = plan_[static_cast<size_t>(end)];
        const auto pushed = [this, &entry]() -> const unsigned char* {
            if (entry.action == RunAction::push8) {
                entry.operand = entry.address;
                return reinterpret_cast<const unsigned char*>(&entry.operand);
            }
            return block_.get() + entry.address * kCellBytes;
        };
        // A whole cell pushed before the right operand of a With action: its left operand.
        // Each run of With families and its Both counterpart lie in the same order.
        static_assert(static_cast<int>(RunAction::mulWithF64) - static_cast<int>(RunAction::addWithS16) ==
                      static_cast<int>(RunAction::mulBothF64) - static_cast<int>(RunAction::addBothS16));
        static_assert(static_cast<int>(RunAction::mulWithStoreF64) - static_cast<int>(RunAction::addWithStoreS16) ==
                      static_cast<int>(RunAction::mulBothStoreF64) - static_cast<int>(RunAction::addBothStoreS16));
        static_assert(static_cast<int>(RunAction::branchGeWithF64) - static_cast<int>(RunAction::ltIfWithS16) ==
                      static_cast<int>(RunAction::branchGeBothF64) - static_cast<int>(RunAction::ltIfBothS16));
        const auto counterpart = [&after](RunAction withFirst, RunAction bothFirst) {
            return static_cast<RunAction>(static_cast<int>(bothFirst) + static_cast<int>(after.action) -
                                          static_cast<int>(withFirst));
        };
        const bool withFamily = after.action >= RunAction::addWithS16 && after.action <= RunAction::branchGeWithF64;
        const bool withStoreFamily =
            after.action >= RunAction::addWithStoreS16 && after.action <= RunAction::mulWithStoreF64;
        if (pushesCell && (withFamily || withStoreFamily)) {
            RunAction both = RunAction::step;
            if (withStoreFamily)
                both = counterpart(RunAction::addWithStoreS16, RunAction::addBothStoreS16);
            else if (after.action <= RunAction::mulWithF64)
                both = counterpart(RunAction::addWithS16, RunAction::addBothS16);
            else // the relations with their branch, and the branches
                both = counterpart(RunAction::ltIfWithS16, RunAction::ltIfBothS16);
            entry.left = pushed();
            entry.action = both;
            entry.source = after.source;
            entry.jumpWhenFalse = after.jumpWhenFalse;
            entry.address = after.address;
            entry.count = entry.advance + after.count;
            entry.store = after.store;
            entry.reload = after.reload;
            entry.advance += after.advance;
            continue;
        }
        const int withIndex = static_cast<int>(after.action) - static_cast<int>(RunAction::addS16);
        const int relationIf = static_cast<int>(after.action) - static_cast<int>(RunAction::ltIfS16);
        const int branchIndex = static_cast<int>(after.action) - static_cast<int>(RunAction::branchLeS16);
        const int storeIndex = static_cast<int>(after.action) - static_cast<int>(RunAction::addStoreS16);
        if (pushesCell && ((withIndex >= 0 && withIndex < 3 * kCells) || (relationIf >= 0 && relationIf < 6 * kCells) ||
                           (branchIndex >= 0 && branchIndex < 2 * kCells) || (storeIndex >= 0 && storeIndex < 3 * kCells))) {
            int with = 0;
            if (withIndex >= 0 && withIndex < 3 * kCells)
                with = static_cast<int>(RunAction::addWithS16) + withIndex;
            else if (storeIndex >= 0 && storeIndex < 3 * kCells)
                with = static_cast<int>(RunAction::addWithStoreS16) + storeIndex;
            else if (relationIf >= 0 && relationIf < 6 * kCells)
                with = static_cast<int>(RunAction::ltIfWithS16) + relationIf;
            else
                with = static_cast<int>(RunAction::branchLeWithS16) + branchIndex;
            entry.source = pushed();
            entry.action = static_cast<RunAction>(with);
            entry.jumpWhenFalse = after.jumpWhenFalse;
            entry.address = after.address;
            entry.count = entry.advance + after.count;
            entry.store = after.store;
            entry.reload = after.reload;
            entry.advance += after.advance;
            continue;
        }
        // A global cell pushed as the index of an element.
        if (entry.action == RunAction::loadGlobal && entry.count == 1 &&
            (after.action == RunAction::index || after.action == RunAction::element)) {
            entry.action = after.action == RunAction::index ? RunAction::indexWith : RunAction::elementWith;
            entry.source = block_.get() + entry.address * kCellBytes;
            entry.address = after.address;
            entry.count = after.count;
            entry.operand = after.operand;
            entry.factor = after.factor;
            entry.advance += after.advance;
            continue;
        }
        // CastDintLint; AssertRange; subtraction and multiplication with constants; AddLint.
        if (entry.action == RunAction::extendS32 && after.action == RunAction::assertRangeS64) {
            const RunEntry& sub = plan_[static_cast<size_t>(end + after.advance)];
            if (sub.action == RunAction::subWithS64 && sub.source == reinterpret_cast<const unsigned char*>(&sub.operand)) {
                const RunEntry& mul = plan_[static_cast<size_t>(end + after.advance + sub.advance)];
                if (mul.action == RunAction::mulWithS64 &&
                    mul.source == reinterpret_cast<const unsigned char*>(&mul.operand)) {
                    const int64_t addAt = end + after.advance + sub.advance + mul.advance;
                    const RunEntry& add = plan_[static_cast<size_t>(addAt)];
                    if (add.action == RunAction::addS64) {
                        entry.action = RunAction::index;
                        entry.address = after.address;
                        entry.count = after.count;
                        entry.operand = sub.operand;
                        entry.factor = mul.operand;
                        entry.advance = addAt + add.advance - pc;
                        if (plan_[static_cast<size_t>(addAt + add.advance)].action == RunAction::load) {
                            entry.action = RunAction::element;
                            entry.advance += plan_[static_cast<size_t>(addAt + add.advance)].advance;
                        }
                        continue;
                    }
                }
            }
        }
        const RunAction next = plan_[static_cast<size_t>(end)].action;
        const int relation = static_cast<int>(entry.action) - static_cast<int>(RunAction::ltS16);
        if ((next == RunAction::branchTrue || next == RunAction::branchFalse) && relation >= 0 &&
            relation < 6 * kCells) {
            const RunEntry& branch = plan_[static_cast<size_t>(end)];
            entry.action = static_cast<RunAction>(static_cast<int>(RunAction::ltIfS16) + relation);
            entry.jumpWhenFalse = next == RunAction::branchFalse;
            entry.address = branch.address;
            entry.count = entry.advance + branch.count;
            entry.advance += branch.advance;
            continue;
        }
        // Two loads of global cells, and two constants.
        const RunEntry& second = plan_[static_cast<size_t>(end)];
        if (entry.action == RunAction::loadGlobal && second.action == RunAction::loadGlobal) {
            entry.action = RunAction::loadTwo;
            entry.operand = second.address;
            entry.factor = second.count;
            entry.advance += second.advance;
            continue;
        }
        const auto width = [](RunAction action) -> int64_t {
            return action == RunAction::push2 ? 2 : action == RunAction::push4 ? 4 : action == RunAction::push8 ? 8 : 0;
        };
        if (width(entry.action) != 0 && width(second.action) != 0) {
            entry.count = width(entry.action) | width(second.action) << 4;
            entry.action = RunAction::pushTwo;
            entry.operand = second.address;
            entry.advance += second.advance;
        }
    }
    // The actions that may go on at their address after count steps; all others take
    // at most the steps to where they fall through.
    const auto jumps = [](RunAction action) {
        const auto within = [action](RunAction first, RunAction last) { return action >= first && action <= last; };
        return action == RunAction::call || action == RunAction::jump || action == RunAction::branchTrue ||
               action == RunAction::branchFalse || within(RunAction::branchLeS16, RunAction::neIfF64) ||
               within(RunAction::ltIfWithS16, RunAction::branchGeWithF64) ||
               within(RunAction::ltIfBothS16, RunAction::branchGeBothF64);
    };
    // Where each action goes on when it does not jump: a Jump there is taken at once.
    planReach_ = 0;
    for (int64_t pc = 0; pc < size; ++pc) {
        RunEntry& entry = plan_[static_cast<size_t>(pc)];
        entry.fall = pc + entry.advance;
        entry.fallSteps = entry.advance;
        const RunEntry& after = plan_[static_cast<size_t>(entry.fall)];
        if (after.action == RunAction::jump) {
            entry.fall = after.address;
            entry.fallSteps += after.count;
        }
        entry.reach = std::max(entry.fallSteps, jumps(entry.action) ? entry.count : 0);
        planReach_ = std::max(planReach_, entry.reach);
    }
}

template <bool kBounded>
void StackmachineInterpreter::planReady() {
    // The size too: a program assigned without an unload must not run an old plan.
    if (plan_.size() != static_cast<size_t>(program.size()) + 1) {
        planRun();
        planHandlers_ = PlanHandlers::none;
    }
    const PlanHandlers wanted = kBounded ? PlanHandlers::bounded : PlanHandlers::unbounded;
    if (planHandlers_ != wanted) {
        runPlan<kBounded>(true, nullptr);
        planHandlers_ = wanted;
    }
}

// The typed actions and the order their table needs.
static_assert(static_cast<int>(RunOp::branchGe) - static_cast<int>(RunOp::add) == 10);
static_assert(static_cast<int>(RunCell::f64) - static_cast<int>(RunCell::s16) == 4);

void StackmachineInterpreter::run() {
    stepCount = 0;
    gcodeCount = 0;
    planReady<false>();
    const int64_t items = program.size();
    while (pc_ < items) {
        // The hooks and the traces are the step's, and so is a pc below 0 (it fails there).
        if (pc_ < 0 || !runsQuiet()) [[unlikely]] {
            step();
            continue;
        }
        try {
            runPlan<false>(false, nullptr);
        } catch (ExceptionRuntime& e) {
            // The item being executed: a kernel moves pc only as its last act, and a
            // stepped item's error has its span already.
            if (!e.span().valid && pc_ >= 1 && pc_ <= items) e.setSpan(program.item(pc_ - 1)->span());
            throw;
        }
    }
}

int64_t StackmachineInterpreter::runSteps(int64_t limit, const std::atomic<bool>& stop) {
    const int64_t first = stepCount;
    RunBound bound;
    bound.end = first + std::max<int64_t>(limit, 0);
    bound.low = sectionLow;
    bound.high = sectionHigh;
    bound.stop = &stop;
    // The base's waits: the interpreter does not override isBlocked.
    const auto mayStep = [this, &bound, &stop] {
        return stepCount < bound.end && running_ && !Stackmachine::isBlocked() &&
               !stop.load(std::memory_order_relaxed);
    };
    const auto movedSections = [this, &bound] { return sectionLow != bound.low || sectionHigh != bound.high; };
    const int64_t items = program.size();
    // Building the plan costs about as much as stepping each item a few times: until the
    // steps pay for it, one at a time.
    constexpr int64_t kPlanAfterItems = 2;
    constexpr int64_t kPlanAfterMin = 256;
    const int64_t planAfter = planAfterSteps >= 0 ? planAfterSteps : std::max(kPlanAfterMin, kPlanAfterItems * items);
    while (!hasPlan() && unplannedSteps_ < planAfter) {
        if (!mayStep()) return stepCount - first;
        ++unplannedSteps_;
        Stackmachine::step();
        if (movedSections()) return stepCount - first;
    }
    while (mayStep()) {
        // The hooks and the traces are the step's, and so is a pc outside the program.
        if (pc_ >= 0 && pc_ < items && runsQuiet()) {
            planReady<true>();
            try {
                runPlan<true>(false, &bound);
            } catch (ExceptionRuntime& e) {
                // As in run.
                if (!e.span().valid && pc_ >= 1 && pc_ <= items) e.setSpan(program.item(pc_ - 1)->span());
                throw;
            }
        } else {
            Stackmachine::step();
        }
        if (movedSections()) break;
    }
    return stepCount - first;
}

// Direct dispatch: every action ends in its own jump to the next entry's handler, until
// the end of the program or a stepped item (a native, say) may have turned a trace on
// or halted. Jumps inside the plan were checked when it was made; a pc that a kernel or
// a step set is checked before it is used.
//
// The entry, sp and the step count live in locals; they are written back before
// anything that reads them from the machine (a kernel, a step) and read again after it.
// fp is only ever read.
//
// An inline action first tests everything its items would refuse; where one would fail,
// the first item is stepped alone, so the error, its span and the step count are those
// of the items. Their cell writes are the items' writes, the address the ConstLint
// pushed included.
//
// Without cross-jumping: the optimiser would merge the actions' identical dispatch tails
// into a few shared indirect jumps, each then far harder to predict. The attribute is
// GCC's; clang has none by that name.
#if defined(__clang__)
#define KARSTO_RUN_OWN_TAILS
#else
#define KARSTO_RUN_OWN_TAILS [[gnu::optimize("no-crossjumping")]]
#endif
template <bool kBounded>
KARSTO_RUN_OWN_TAILS void StackmachineInterpreter::runPlan(bool resolve, const RunBound* bound) {
#define KARSTO_RUN_TYPED(op) &&op##S16, &&op##S32, &&op##S64, &&op##F32, &&op##F64
    static constexpr void* kActions[] = {
        &&leave,       &&step,       &&label,    &&kernel,     &&kernelPair,     &&loadGlobal,
        &&storeGlobal, &&storeReload, &&loadTwo, &&pushTwo, &&loadFrame,  &&storeFrame, &&pushFp,   &&push2,          &&push4,
        &&push8,       &&load,       &&store,    &&spAdd,      &&call,           &&ret,
        &&jump,        &&branchTrue,
        &&branchFalse, &&keep,       &&extendS32, &&assertRangeS64, &&len, &&castStr, &&concat,
        KARSTO_RUN_TYPED(add), KARSTO_RUN_TYPED(sub), KARSTO_RUN_TYPED(mul), KARSTO_RUN_TYPED(lt),
        KARSTO_RUN_TYPED(le), KARSTO_RUN_TYPED(gt), KARSTO_RUN_TYPED(ge), KARSTO_RUN_TYPED(eq),
        KARSTO_RUN_TYPED(ne), KARSTO_RUN_TYPED(branchLe), KARSTO_RUN_TYPED(branchGe),
        KARSTO_RUN_TYPED(ltIf), KARSTO_RUN_TYPED(leIf), KARSTO_RUN_TYPED(gtIf), KARSTO_RUN_TYPED(geIf),
        KARSTO_RUN_TYPED(eqIf), KARSTO_RUN_TYPED(neIf), KARSTO_RUN_TYPED(addWith), KARSTO_RUN_TYPED(subWith),
        KARSTO_RUN_TYPED(mulWith), KARSTO_RUN_TYPED(ltIfWith), KARSTO_RUN_TYPED(leIfWith),
        KARSTO_RUN_TYPED(gtIfWith), KARSTO_RUN_TYPED(geIfWith), KARSTO_RUN_TYPED(eqIfWith),
        KARSTO_RUN_TYPED(neIfWith), KARSTO_RUN_TYPED(branchLeWith), KARSTO_RUN_TYPED(branchGeWith),
        KARSTO_RUN_TYPED(addStore), KARSTO_RUN_TYPED(subStore), KARSTO_RUN_TYPED(mulStore),
        KARSTO_RUN_TYPED(addWithStore), KARSTO_RUN_TYPED(subWithStore), KARSTO_RUN_TYPED(mulWithStore),
        KARSTO_RUN_TYPED(addBoth), KARSTO_RUN_TYPED(subBoth), KARSTO_RUN_TYPED(mulBoth),
        KARSTO_RUN_TYPED(addBothStore), KARSTO_RUN_TYPED(subBothStore), KARSTO_RUN_TYPED(mulBothStore),
        KARSTO_RUN_TYPED(ltIfBoth), KARSTO_RUN_TYPED(leIfBoth), KARSTO_RUN_TYPED(gtIfBoth),
        KARSTO_RUN_TYPED(geIfBoth), KARSTO_RUN_TYPED(eqIfBoth), KARSTO_RUN_TYPED(neIfBoth),
        KARSTO_RUN_TYPED(branchLeBoth), KARSTO_RUN_TYPED(branchGeBoth),
        &&index, &&element, &&indexWith, &&elementWith};
#undef KARSTO_RUN_TYPED
    static_assert(sizeof kActions / sizeof kActions[0] == static_cast<size_t>(RunAction::elementWith) + 1);
    if (resolve) {
        for (RunEntry& planned : plan_) planned.handler = kActions[static_cast<size_t>(planned.action)];
        return;
    }
    // Locals: no kernel can change the program or the block, and the optimiser could not
    // know that.
    RunEntry* const plan = plan_.data();
    const auto size = static_cast<uint64_t>(program.size());
    unsigned char* const block = block_.get();
    const RunEntry* entry = plan + pc_; // run is called with pc in the program
    int64_t sp = sp_;
    int64_t steps = stepCount;
    // Bounded: every action whose steps surely fit below the end runs as unbounded;
    // past the guard each must fit on its own, else its first item is stepped alone.
    int64_t end = 0;
    int64_t guard = 0;
    if constexpr (kBounded) {
        end = bound->end;
        guard = end - planReach_;
    }
    // The cell at an index of the block.
    const auto cell = [block](int64_t index) { return block + index * kCellBytes; };
    // sp - base as unsigned: sp stays in [base, end], so this is the stack's depth.
    constexpr auto kDepth = static_cast<uint64_t>(kStackEnd - kStackBase);

#define KARSTO_SAVE()                                                                              \
    do {                                                                                           \
        pc_ = entry - plan;                                                                        \
        sp_ = sp;                                                                                  \
        stepCount = steps;                                                                         \
    } while (false)
    // To the entry's handler; bounded, by way of the tail once near the end.
#define KARSTO_DISPATCH()                                                                          \
    do {                                                                                           \
        if (kBounded && steps > guard) [[unlikely]]                                                \
            goto tail;                                                                             \
        goto* entry->handler;                                                                      \
    } while (false)
#define KARSTO_NEXT()                                                                              \
    do {                                                                                           \
        steps += entry->advance;                                                                   \
        entry += entry->advance;                                                                   \
        KARSTO_DISPATCH();                                                                         \
    } while (false)
    // A conditional action that did not jump.
#define KARSTO_FALL()                                                                              \
    do {                                                                                           \
        steps += entry->fallSteps;                                                                 \
        entry = plan + entry->fall;                                                                \
        KARSTO_DISPATCH();                                                                         \
    } while (false)
#define KARSTO_JUMP()                                                                              \
    do {                                                                                           \
        steps += entry->count;                                                                     \
        entry = plan + entry->address;                                                             \
        KARSTO_DISPATCH();                                                                         \
    } while (false)
    // To the pc a kernel or a step left; outside the program run takes over.
#define KARSTO_FROM_PC()                                                                           \
    do {                                                                                           \
        if (static_cast<uint64_t>(pc_) > size) [[unlikely]]                                        \
            return;                                                                                \
        entry = plan + pc_;                                                                        \
        KARSTO_DISPATCH();                                                                         \
    } while (false)

    KARSTO_DISPATCH();
tail: // bounded, near the end: the action only where all its steps fit
    if (steps >= end) {
        KARSTO_SAVE();
        return;
    }
    if (steps + entry->reach <= end) goto* entry->handler;
    goto step; // the end (leave) reaches 0 steps: never stepped here
leave:
    KARSTO_SAVE();
    return;
step: // also an inline action whose checks refused: its first item, stepped alone
    KARSTO_SAVE();
    Stackmachine::step();
    sp = sp_;
    steps = stepCount;
    if (!runsQuiet()) return;
    // Bounded: what the step may have changed ends the run (only a stepped item can).
    if constexpr (kBounded) {
        if (sectionLow != bound->low || sectionHigh != bound->high || Stackmachine::isBlocked() ||
            bound->stop->load(std::memory_order_relaxed))
            return;
    }
    KARSTO_FROM_PC();
label: // a run of labels
    KARSTO_NEXT();
kernel: {
    const int64_t next = entry - plan + 1;
    pc_ = next;
    sp_ = sp;
    stepCount = steps + 1;
    entry->kernel(*this, *entry->item);
    sp = sp_;
    if (pc_ != next) { // it jumped: the labels stay
        ++steps;
        KARSTO_FROM_PC();
    }
    KARSTO_NEXT();
}
kernelPair: {
    const int64_t next = entry - plan + 1;
    pc_ = next;
    sp_ = sp;
    stepCount = steps + 1;
    entry->kernel(*this, *entry->item);
    if (pc_ != next) { // the first jumped
        sp = sp_;
        ++steps;
        KARSTO_FROM_PC();
    }
    pc_ = next + 1;
    stepCount = steps + 2;
    entry->secondKernel(*this, *entry->second);
    sp = sp_;
    if (pc_ != next + 1) { // the second jumped
        steps += 2;
        KARSTO_FROM_PC();
    }
    KARSTO_NEXT();
}
loadGlobal: {
    // ConstLint pushes the address at sp, Ld pops it and copies the cells there.
    const int64_t count = entry->count;
    if (static_cast<uint64_t>(sp - kStackBase) > kDepth - static_cast<uint64_t>(count)) [[unlikely]]
        goto step; // ConstLint alone; Ld then fails as it does when stepped
    if (count == 1) [[likely]]
        writeCell(cell(sp), readCell<uint64_t>(cell(entry->address)));
    else
        std::memmove(cell(sp), cell(entry->address), static_cast<size_t>(count * kCellBytes));
    sp += count;
    KARSTO_NEXT();
}
storeGlobal: {
    // ConstLint pushes the address at sp, St pops it, lowers sp by the count and copies
    // the cells from there.
    const int64_t count = entry->count;
    if (sp - count < kStackBase || sp >= kStackEnd) [[unlikely]]
        goto step; // ConstLint alone; St then fails as it does when stepped
    writeCell(cell(sp), entry->address);
    sp -= count;
    if (count == 1) [[likely]]
        writeCell(cell(entry->address), readCell<uint64_t>(cell(sp)));
    else
        std::memmove(cell(entry->address), cell(sp), static_cast<size_t>(count * kCellBytes));
    KARSTO_NEXT();
}
storeReload: {
    // As storeGlobal; then ConstLint a at the new sp and Ld n copy the cells just stored
    // back where they came from: only sp moves, back to where it was.
    const int64_t count = entry->count;
    if (sp - count < kStackBase || sp >= kStackEnd) [[unlikely]]
        goto step; // ConstLint alone; St then fails as it does when stepped
    writeCell(cell(sp), entry->address);
    if (count == 1) [[likely]]
        writeCell(cell(entry->address), readCell<uint64_t>(cell(sp - 1)));
    else
        std::memmove(cell(entry->address), cell(sp - count), static_cast<size_t>(count * kCellBytes));
    KARSTO_NEXT();
}
loadFrame: {
    // Fp pushes fp at sp, ConstLint k at sp + 1, the add leaves fp + k at sp, and Ld
    // pops that address and copies the cells there. Only cells of the block go this way.
    const int64_t count = entry->count;
    const int64_t address = wrapAdd(fp_, entry->address);
    if (static_cast<uint64_t>(sp - kStackBase) + 2 > kDepth ||
        static_cast<uint64_t>(sp - kStackBase) > kDepth - static_cast<uint64_t>(count) || address <= 0 ||
        address > kBlockCells - count) [[unlikely]]
        goto step; // Fp alone; the parts then fail as they do when stepped
    writeCell(cell(sp), address);
    writeCell(cell(sp + 1), entry->address);
    if (count == 1) [[likely]]
        writeCell(cell(sp), readCell<uint64_t>(cell(address)));
    else
        std::memmove(cell(sp), cell(address), static_cast<size_t>(count * kCellBytes));
    sp += count;
    KARSTO_NEXT();
}
storeFrame: {
    // As loadFrame up to the address at sp; St pops it, lowers sp by the count and
    // copies the cells from there.
    const int64_t count = entry->count;
    const int64_t address = wrapAdd(fp_, entry->address);
    if (static_cast<uint64_t>(sp - kStackBase) + 2 > kDepth || sp - count < kStackBase || address <= 0 ||
        address > kBlockCells - count) [[unlikely]]
        goto step; // Fp alone; the parts then fail as they do when stepped
    writeCell(cell(sp), address);
    writeCell(cell(sp + 1), entry->address);
    sp -= count;
    if (count == 1) [[likely]]
        writeCell(cell(address), readCell<uint64_t>(cell(sp)));
    else
        std::memmove(cell(address), cell(sp), static_cast<size_t>(count * kCellBytes));
    KARSTO_NEXT();
}
pushFp:
    if (sp >= kStackEnd) [[unlikely]]
        goto step;
    writeCell(cell(sp), fp_);
    ++sp;
    KARSTO_NEXT();
push2:
    if (sp >= kStackEnd) [[unlikely]]
        goto step;
    writeCell(cell(sp), static_cast<uint16_t>(entry->address));
    ++sp;
    KARSTO_NEXT();
push4:
    if (sp >= kStackEnd) [[unlikely]]
        goto step;
    writeCell(cell(sp), static_cast<uint32_t>(entry->address));
    ++sp;
    KARSTO_NEXT();
push8:
    if (sp >= kStackEnd) [[unlikely]]
        goto step;
    writeCell(cell(sp), entry->address);
    ++sp;
    KARSTO_NEXT();
pushTwo: {
    // Each constant in its own bytes: 2, 4 or 8 of them.
    if (sp >= kStackEnd - 1) [[unlikely]]
        goto step;
    const auto push = [&cell](int64_t at, int64_t value, int64_t bytes) {
        if (bytes == 8)
            writeCell(cell(at), value);
        else if (bytes == 4)
            writeCell(cell(at), static_cast<uint32_t>(value));
        else
            writeCell(cell(at), static_cast<uint16_t>(value));
    };
    push(sp, entry->address, entry->count & 0xF);
    push(sp + 1, entry->operand, entry->count >> 4);
    sp += 2;
    KARSTO_NEXT();
}
loadTwo: {
    // The first loadGlobal, then the second from where it left sp.
    const int64_t count = entry->count;
    const int64_t more = entry->factor;
    if (static_cast<uint64_t>(sp - kStackBase) > kDepth - static_cast<uint64_t>(count) ||
        static_cast<uint64_t>(sp + count - kStackBase) > kDepth - static_cast<uint64_t>(more)) [[unlikely]]
        goto step; // the first ConstLint alone; the parts then fail as they do when stepped
    if (count == 1)
        writeCell(cell(sp), readCell<uint64_t>(cell(entry->address)));
    else
        std::memmove(cell(sp), cell(entry->address), static_cast<size_t>(count * kCellBytes));
    sp += count;
    if (more == 1)
        writeCell(cell(sp), readCell<uint64_t>(cell(entry->operand)));
    else
        std::memmove(cell(sp), cell(entry->operand), static_cast<size_t>(more * kCellBytes));
    sp += more;
    KARSTO_NEXT();
}
load: {
    // Pops the address and copies its cell to where it lay; a NULL or any address but
    // a block cell is stepped (the shared area, an error).
    if (sp <= kStackBase) [[unlikely]]
        goto step;
    const auto address = readCell<int64_t>(cell(sp - 1));
    if (static_cast<uint64_t>(address) - 1 >= static_cast<uint64_t>(kBlockCells - 1)) [[unlikely]]
        goto step;
    writeCell(cell(sp - 1), readCell<uint64_t>(cell(address)));
    KARSTO_NEXT();
}
store: {
    // Pops the address, then the value's cell, and copies that cell to the address.
    if (sp < kStackBase + 2) [[unlikely]]
        goto step;
    const auto address = readCell<int64_t>(cell(sp - 1));
    if (static_cast<uint64_t>(address) - 1 >= static_cast<uint64_t>(kBlockCells - 1)) [[unlikely]]
        goto step;
    writeCell(cell(address), readCell<uint64_t>(cell(sp - 2)));
    sp -= 2;
    KARSTO_NEXT();
}
spAdd: {
    const auto moved = static_cast<int64_t>(static_cast<uint64_t>(sp) + static_cast<uint64_t>(entry->address));
    if (static_cast<uint64_t>(moved - kStackBase) > kDepth) [[unlikely]]
        goto step;
    sp = moved;
    KARSTO_NEXT();
}
call:
    // The frame: the caller's fp, the label's address and the return position, fp at
    // its first cell; then to the label.
    if (sp > kStackEnd - 3) [[unlikely]]
        goto step; // fails as the step does: fp already moved, then "Stack overflow"
    writeCell(cell(sp), fp_);
    writeCell(cell(sp + 1), entry->operand);
    writeCell(cell(sp + 2), static_cast<int64_t>(entry - plan + 1));
    fp_ = sp;
    sp += 3;
    KARSTO_JUMP();
ret: {
    // sp to fp, fp to the caller's, pc to the return position; that inside the program.
    const int64_t fp = fp_;
    if (static_cast<uint64_t>(fp - kStackBase) > kDepth - 3) [[unlikely]]
        goto step;
    const auto back = readCell<int64_t>(cell(fp + 2));
    if (static_cast<uint64_t>(back) > size) [[unlikely]]
        goto step;
    sp = fp;
    fp_ = readCell<int64_t>(cell(fp));
    ++steps;
    entry = plan + back;
    KARSTO_DISPATCH();
}
jump:
    KARSTO_JUMP();
branchTrue: {
    if (sp <= kStackBase) [[unlikely]]
        goto step;
    --sp;
    if (readCell<uint8_t>(cell(sp)) != 0) KARSTO_JUMP();
    KARSTO_FALL();
}
branchFalse: {
    if (sp <= kStackBase) [[unlikely]]
        goto step;
    --sp;
    if (readCell<uint8_t>(cell(sp)) == 0) KARSTO_JUMP();
    KARSTO_FALL();
}
keep: // the pop's check; the push writes back the bytes it popped
    if (sp <= kStackBase) [[unlikely]]
        goto step;
    KARSTO_NEXT();
extendS32:
    if (sp <= kStackBase) [[unlikely]]
        goto step;
    writeCell(cell(sp - 1), static_cast<int64_t>(readCell<int32_t>(cell(sp - 1))));
    KARSTO_NEXT();
len: {
    // Pops the length cell, drops the characters and pushes the length, cut to 0..the
    // capacity, as an S64.
    constexpr int64_t kCapacity = kDefaultStringCapacity;
    if (sp < kStackBase + 1 + kCapacity) [[unlikely]]
        goto step;
    const int64_t length = std::clamp<int64_t>(readCell<int64_t>(cell(sp - 1)), 0, kCapacity);
    sp -= kCapacity + 1;
    writeCell(cell(sp), length);
    ++sp;
    KARSTO_NEXT();
}
castStr: {
    // Pops the length cell, moves sp by the difference of the capacities (the characters
    // stay where they are) and pushes the length, cut to both capacities.
    const int64_t source = entry->address;
    const int64_t target = entry->count;
    if (sp <= kStackBase) [[unlikely]]
        goto step;
    const int64_t length = std::clamp<int64_t>(readCell<int64_t>(cell(sp - 1)), 0, std::max<int64_t>(source, 0));
    const auto moved = static_cast<int64_t>(static_cast<uint64_t>(sp - 1) + static_cast<uint64_t>(target - source));
    if (static_cast<uint64_t>(moved - kStackBase) >= kDepth) [[unlikely]]
        goto step; // the move or the push fails
    writeCell(cell(moved), std::min(length, target));
    sp = moved + 1;
    KARSTO_NEXT();
}
concat: {
    // The strings from the deepest on: the characters of each move down to the end of
    // the text so far (the first's stay), cut at the capacity; the total length goes to
    // the first's length cell, and sp to the cell above it.
    constexpr int64_t kCapacity = kDefaultStringCapacity;
    const int64_t base = sp - entry->address * (kCapacity + 1);
    if (base < kStackBase) [[unlikely]]
        goto step;
    int64_t total = 0;
    for (int64_t from = base; from < sp; from += kCapacity + 1) {
        const int64_t length = std::clamp<int64_t>(readCell<int64_t>(cell(from + kCapacity)), 0, kCapacity);
        const int64_t moved = std::min(length, kCapacity - total);
        // Downwards, cell by cell: what a move as if through a buffer leaves.
        for (int64_t k = 0; k < moved && base + total != from; ++k)
            writeCell(cell(base + total + k), readCell<uint64_t>(cell(from + k)));
        total += moved;
    }
    writeCell(cell(base + kCapacity), total);
    sp = base + kCapacity + 1;
    KARSTO_NEXT();
}
assertRangeS64: {
    // Reads the top cell without popping (below the stack base that is a global cell,
    // as it is for the kernel).
    const auto value = readCell<int64_t>(cell(sp - 1));
    if (value < entry->address || value > entry->count) [[unlikely]]
        goto step;
    KARSTO_NEXT();
}

index:
element:
indexWith:
elementWith: {
    // [a, i] with i a DINT: CastDintLint widens i in its cell; AssertRange tests it; the
    // subtrahend is pushed above it and subtracted, the factor pushed there and
    // multiplied, and AddLint leaves the sum in a's cell. element then loads that
    // address's cell there, as Ld 1 does. The With forms push i first.
    const bool with = entry->action == RunAction::indexWith || entry->action == RunAction::elementWith;
    const bool loads = entry->action == RunAction::element || entry->action == RunAction::elementWith;
    const int64_t top = with ? sp + 1 : sp; // sp once i is pushed
    if (top < kStackBase + 2 || top >= kStackEnd) [[unlikely]]
        goto step;
    const auto i = static_cast<int64_t>(readCell<int32_t>(with ? entry->source : cell(sp - 1)));
    if (i < entry->address || i > entry->count) [[unlikely]]
        goto step; // the first item alone; the AssertRange then fails
    const int64_t offset = runMul<int64_t>(runSub<int64_t>(i, entry->operand), entry->factor);
    const int64_t address = runAdd<int64_t>(readCell<int64_t>(cell(top - 2)), offset);
    if (loads && static_cast<uint64_t>(address) - 1 >= static_cast<uint64_t>(kBlockCells - 1)) [[unlikely]]
        goto step; // a NULL or an address off the block: the items, one by one
    // i's own cell ends as the offset, whatever pushed i there.
    writeCell(cell(top), entry->factor);
    writeCell(cell(top - 1), offset);
    writeCell(cell(top - 2), address);
    if (loads) writeCell(cell(top - 2), readCell<uint64_t>(cell(address)));
    sp = top - 1;
    KARSTO_NEXT();
}

    // [x, y] to [x op y] in x's cell, written in the type's own bytes.
#define KARSTO_RUN_BINARY(action, T, apply)                                                        \
    action : {                                                                                     \
        if (sp < kStackBase + 2) [[unlikely]]                                                      \
            goto step;                                                                             \
        --sp;                                                                                      \
        unsigned char* const x = cell(sp - 1);                                                     \
        const auto old = readCell<uint64_t>(x);                                                    \
        writeCell(x, runMerge<T>(old, apply<T>(runLow<T>(old), readCell<T>(cell(sp)))));           \
        KARSTO_NEXT();                                                                             \
    }
    // [x, y] to [x relation y] as one BOOL in x's cell.
#define KARSTO_RUN_RELATION(action, T, holds)                                                      \
    action : {                                                                                     \
        if (sp < kStackBase + 2) [[unlikely]]                                                      \
            goto step;                                                                             \
        --sp;                                                                                      \
        unsigned char* const x = cell(sp - 1);                                                     \
        const auto old = readCell<uint64_t>(x);                                                    \
        const bool value = holds<T>(runLow<T>(old), readCell<T>(cell(sp)));                        \
        writeCell(x, runMerge<uint8_t>(old, value ? 1 : 0));                                       \
        KARSTO_NEXT();                                                                             \
    }
    // [x, y] to []; jumps when x relation y holds.
#define KARSTO_RUN_BRANCH(action, T, holds)                                                        \
    action : {                                                                                     \
        if (sp < kStackBase + 2) [[unlikely]]                                                      \
            goto step;                                                                             \
        sp -= 2;                                                                                   \
        if (holds<T>(readCell<T>(cell(sp)), readCell<T>(cell(sp + 1)))) KARSTO_JUMP();             \
        KARSTO_FALL();                                                                             \
    }
    // [x, y] to [x relation y] as one BOOL in x's cell, which the branch after it pops:
    // jumps when that is true (false with jumpWhenFalse).
#define KARSTO_RUN_RELATION_IF(action, T, holds)                                                   \
    action : {                                                                                     \
        if (sp < kStackBase + 2) [[unlikely]]                                                      \
            goto step;                                                                             \
        sp -= 2;                                                                                   \
        const bool value = holds<T>(readCell<T>(cell(sp)), readCell<T>(cell(sp + 1)));             \
        writeCell<uint8_t>(cell(sp), value ? 1 : 0);                                               \
        if (value != entry->jumpWhenFalse) KARSTO_JUMP();                                          \
        KARSTO_FALL();                                                                             \
    }
    // The right operand's whole cell pushed at sp, then as the actions above; the
    // operation and the pop of the push are one.
#define KARSTO_RUN_BINARY_WITH(action, T, apply)                                                   \
    action : {                                                                                     \
        if (sp <= kStackBase || sp >= kStackEnd) [[unlikely]]                                      \
            goto step;                                                                             \
        const auto right = readCell<uint64_t>(entry->source);                                      \
        writeCell(cell(sp), right);                                                                \
        unsigned char* const x = cell(sp - 1);                                                     \
        const auto old = readCell<uint64_t>(x);                                                    \
        writeCell(x, runMerge<T>(old, apply<T>(runLow<T>(old), runLow<T>(right))));                \
        KARSTO_NEXT();                                                                             \
    }
#define KARSTO_RUN_RELATION_IF_WITH(action, T, holds)                                              \
    action : {                                                                                     \
        if (sp <= kStackBase || sp >= kStackEnd) [[unlikely]]                                      \
            goto step;                                                                             \
        const auto right = readCell<uint64_t>(entry->source);                                      \
        writeCell(cell(sp), right);                                                                \
        --sp;                                                                                      \
        const bool value = holds<T>(readCell<T>(cell(sp)), runLow<T>(right));                      \
        writeCell<uint8_t>(cell(sp), value ? 1 : 0);                                               \
        if (value != entry->jumpWhenFalse) KARSTO_JUMP();                                          \
        KARSTO_FALL();                                                                             \
    }
#define KARSTO_RUN_BRANCH_WITH(action, T, holds)                                                   \
    action : {                                                                                     \
        if (sp <= kStackBase || sp >= kStackEnd) [[unlikely]]                                      \
            goto step;                                                                             \
        const auto right = readCell<uint64_t>(entry->source);                                      \
        writeCell(cell(sp), right);                                                                \
        --sp;                                                                                      \
        if (holds<T>(readCell<T>(cell(sp)), runLow<T>(right))) KARSTO_JUMP();                      \
        KARSTO_FALL();                                                                             \
    }
    // The binary actions, then ConstLint a at sp and St 1: the result's cell to a.
#define KARSTO_RUN_BINARY_STORE(action, T, apply)                                                  \
    action : {                                                                                     \
        if (sp < kStackBase + 2) [[unlikely]]                                                      \
            goto step;                                                                             \
        --sp;                                                                                      \
        unsigned char* const x = cell(sp - 1);                                                     \
        const auto old = readCell<uint64_t>(x);                                                    \
        const uint64_t result = runMerge<T>(old, apply<T>(runLow<T>(old), readCell<T>(cell(sp)))); \
        writeCell(x, result);                                                                      \
        writeCell(cell(sp), entry->store);                                                         \
        --sp;                                                                                      \
        writeCell(cell(entry->store), result);                                                     \
        sp += entry->reload; /* the Ld 1 puts the result back where it is */                       \
        KARSTO_NEXT();                                                                             \
    }
#define KARSTO_RUN_BINARY_WITH_STORE(action, T, apply)                                             \
    action : {                                                                                     \
        if (sp <= kStackBase || sp >= kStackEnd) [[unlikely]]                                      \
            goto step;                                                                             \
        const auto right = readCell<uint64_t>(entry->source);                                      \
        unsigned char* const x = cell(sp - 1);                                                     \
        const auto old = readCell<uint64_t>(x);                                                    \
        const uint64_t result = runMerge<T>(old, apply<T>(runLow<T>(old), runLow<T>(right)));      \
        writeCell(x, result);                                                                      \
        writeCell(cell(sp), entry->store); /* the operand's push, then ConstLint a's */            \
        --sp;                                                                                      \
        writeCell(cell(entry->store), result);                                                     \
        sp += entry->reload; /* the Ld 1 puts the result back where it is */                       \
        KARSTO_NEXT();                                                                             \
    }
    // The left operand's whole cell pushed at sp and the right one's above it, then as
    // the With actions.
#define KARSTO_RUN_BINARY_BOTH(action, T, apply)                                                   \
    action : {                                                                                     \
        if (sp >= kStackEnd - 1) [[unlikely]]                                                      \
            goto step;                                                                             \
        const auto left = readCell<uint64_t>(entry->left);                                         \
        const auto right = readCell<uint64_t>(entry->source);                                      \
        writeCell(cell(sp), runMerge<T>(left, apply<T>(runLow<T>(left), runLow<T>(right))));       \
        writeCell(cell(sp + 1), right);                                                            \
        ++sp;                                                                                      \
        KARSTO_NEXT();                                                                             \
    }
#define KARSTO_RUN_BINARY_BOTH_STORE(action, T, apply)                                             \
    action : {                                                                                     \
        if (sp >= kStackEnd - 1) [[unlikely]]                                                      \
            goto step;                                                                             \
        const auto left = readCell<uint64_t>(entry->left);                                         \
        const auto right = readCell<uint64_t>(entry->source);                                      \
        const uint64_t result = runMerge<T>(left, apply<T>(runLow<T>(left), runLow<T>(right)));    \
        writeCell(cell(sp), result);                                                               \
        writeCell(cell(sp + 1), entry->store); /* the right operand's push, then ConstLint a's */  \
        writeCell(cell(entry->store), result);                                                     \
        sp += entry->reload;                                                                       \
        KARSTO_NEXT();                                                                             \
    }
#define KARSTO_RUN_RELATION_IF_BOTH(action, T, holds)                                              \
    action : {                                                                                     \
        if (sp >= kStackEnd - 1) [[unlikely]]                                                      \
            goto step;                                                                             \
        const auto left = readCell<uint64_t>(entry->left);                                         \
        const auto right = readCell<uint64_t>(entry->source);                                      \
        const bool value = holds<T>(runLow<T>(left), runLow<T>(right));                            \
        writeCell(cell(sp), runMerge<uint8_t>(left, value ? 1 : 0));                               \
        writeCell(cell(sp + 1), right);                                                            \
        if (value != entry->jumpWhenFalse) KARSTO_JUMP();                                          \
        KARSTO_FALL();                                                                             \
    }
#define KARSTO_RUN_BRANCH_BOTH(action, T, holds)                                                   \
    action : {                                                                                     \
        if (sp >= kStackEnd - 1) [[unlikely]]                                                      \
            goto step;                                                                             \
        const auto left = readCell<uint64_t>(entry->left);                                         \
        const auto right = readCell<uint64_t>(entry->source);                                      \
        writeCell(cell(sp), left);                                                                 \
        writeCell(cell(sp + 1), right);                                                            \
        if (holds<T>(runLow<T>(left), runLow<T>(right))) KARSTO_JUMP();                            \
        KARSTO_FALL();                                                                             \
    }
#define KARSTO_RUN_CELLS(form, op, apply)                                                          \
    form(op##S16, int16_t, apply) form(op##S32, int32_t, apply) form(op##S64, int64_t, apply)      \
        form(op##F32, float, apply) form(op##F64, double, apply)

    KARSTO_RUN_CELLS(KARSTO_RUN_BINARY, add, runAdd)
    KARSTO_RUN_CELLS(KARSTO_RUN_BINARY, sub, runSub)
    KARSTO_RUN_CELLS(KARSTO_RUN_BINARY, mul, runMul)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION, lt, runLt)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION, le, runLe)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION, gt, runGt)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION, ge, runGe)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION, eq, runEq)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION, ne, runNe)
    KARSTO_RUN_CELLS(KARSTO_RUN_BRANCH, branchLe, runLe)
    KARSTO_RUN_CELLS(KARSTO_RUN_BRANCH, branchGe, runGe)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION_IF, ltIf, runLt)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION_IF, leIf, runLe)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION_IF, gtIf, runGt)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION_IF, geIf, runGe)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION_IF, eqIf, runEq)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION_IF, neIf, runNe)
    KARSTO_RUN_CELLS(KARSTO_RUN_BINARY_WITH, addWith, runAdd)
    KARSTO_RUN_CELLS(KARSTO_RUN_BINARY_WITH, subWith, runSub)
    KARSTO_RUN_CELLS(KARSTO_RUN_BINARY_WITH, mulWith, runMul)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION_IF_WITH, ltIfWith, runLt)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION_IF_WITH, leIfWith, runLe)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION_IF_WITH, gtIfWith, runGt)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION_IF_WITH, geIfWith, runGe)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION_IF_WITH, eqIfWith, runEq)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION_IF_WITH, neIfWith, runNe)
    KARSTO_RUN_CELLS(KARSTO_RUN_BRANCH_WITH, branchLeWith, runLe)
    KARSTO_RUN_CELLS(KARSTO_RUN_BRANCH_WITH, branchGeWith, runGe)
    KARSTO_RUN_CELLS(KARSTO_RUN_BINARY_STORE, addStore, runAdd)
    KARSTO_RUN_CELLS(KARSTO_RUN_BINARY_STORE, subStore, runSub)
    KARSTO_RUN_CELLS(KARSTO_RUN_BINARY_STORE, mulStore, runMul)
    KARSTO_RUN_CELLS(KARSTO_RUN_BINARY_WITH_STORE, addWithStore, runAdd)
    KARSTO_RUN_CELLS(KARSTO_RUN_BINARY_WITH_STORE, subWithStore, runSub)
    KARSTO_RUN_CELLS(KARSTO_RUN_BINARY_WITH_STORE, mulWithStore, runMul)
    KARSTO_RUN_CELLS(KARSTO_RUN_BINARY_BOTH, addBoth, runAdd)
    KARSTO_RUN_CELLS(KARSTO_RUN_BINARY_BOTH, subBoth, runSub)
    KARSTO_RUN_CELLS(KARSTO_RUN_BINARY_BOTH, mulBoth, runMul)
    KARSTO_RUN_CELLS(KARSTO_RUN_BINARY_BOTH_STORE, addBothStore, runAdd)
    KARSTO_RUN_CELLS(KARSTO_RUN_BINARY_BOTH_STORE, subBothStore, runSub)
    KARSTO_RUN_CELLS(KARSTO_RUN_BINARY_BOTH_STORE, mulBothStore, runMul)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION_IF_BOTH, ltIfBoth, runLt)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION_IF_BOTH, leIfBoth, runLe)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION_IF_BOTH, gtIfBoth, runGt)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION_IF_BOTH, geIfBoth, runGe)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION_IF_BOTH, eqIfBoth, runEq)
    KARSTO_RUN_CELLS(KARSTO_RUN_RELATION_IF_BOTH, neIfBoth, runNe)
    KARSTO_RUN_CELLS(KARSTO_RUN_BRANCH_BOTH, branchLeBoth, runLe)
    KARSTO_RUN_CELLS(KARSTO_RUN_BRANCH_BOTH, branchGeBoth, runGe)

#undef KARSTO_RUN_CELLS
#undef KARSTO_RUN_BRANCH
#undef KARSTO_RUN_BRANCH_BOTH
#undef KARSTO_RUN_RELATION_IF_BOTH
#undef KARSTO_RUN_BINARY_BOTH_STORE
#undef KARSTO_RUN_BINARY_BOTH
#undef KARSTO_RUN_BINARY_WITH_STORE
#undef KARSTO_RUN_BINARY_STORE
#undef KARSTO_RUN_BRANCH_WITH
#undef KARSTO_RUN_RELATION_IF_WITH
#undef KARSTO_RUN_BINARY_WITH
#undef KARSTO_RUN_RELATION_IF
#undef KARSTO_RUN_RELATION
#undef KARSTO_RUN_BINARY
#undef KARSTO_JUMP
#undef KARSTO_FROM_PC
#undef KARSTO_FALL
#undef KARSTO_NEXT
#undef KARSTO_DISPATCH
#undef KARSTO_SAVE
}
#undef KARSTO_RUN_OWN_TAILS

} // namespace Karsto
