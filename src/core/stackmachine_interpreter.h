#pragma once
// The stack machine of one NC channel: drives the channel's G-code processor. It starts
// the processor before the first instruction, hands it every executed G-code block,
// finishes it in the step that halts the program and resets it with the machine.
//
// Every operation an instruction uses is final here and does exactly what the base
// does, bound statically to the base's inline body. Code that knows it drives an
// interpreter (the controller's step, and instructions through onMachine) therefore
// pays no virtual call and gets single loads and stores for the cells.

#include <atomic>
#include <cstdint>
#include <typeinfo>
#include <vector>

#include "core/gprocessor.h"
#include "core/stackmachine.h"

namespace Karsto {

class StackmachineInterpreter : public Stackmachine {
public:
    // The processor is stored by the creator (or given here); construction does not
    // reset it.
    StackmachineInterpreter() = default;
    explicit StackmachineInterpreter(GProcessor* gprocessor) : processor(gprocessor) {}
    ~StackmachineInterpreter() override;

#define KARSTO_MACHINE_TYPE(name, In, Out, Cell, PushTrace, PopTrace)                              \
    void push##name(In value) final { Stackmachine::push##name(value); }                           \
    Out pop##name() final { return Stackmachine::pop##name(); }                                    \
    Out load##name(int64_t address) final { return Stackmachine::load##name(address); }            \
    void store##name(int64_t address, In value) final { Stackmachine::store##name(address, value); }
#include "core/machine_types.def"

    void copy(int64_t destination, int64_t source, int64_t count) final {
        Stackmachine::copy(destination, source, count);
    }
    int64_t getPc() final { return Stackmachine::getPc(); }
    void setPc(int64_t pc) final { Stackmachine::setPc(pc); }
    int64_t getSp() final { return Stackmachine::getSp(); }
    int64_t getStackBase() final { return Stackmachine::getStackBase(); }
    void addSp(int64_t n) final { Stackmachine::addSp(n); }
    void setSp(int64_t sp) final { Stackmachine::setSp(sp); }
    int64_t getFp() final { return Stackmachine::getFp(); }
    void addFp(int64_t n) final { Stackmachine::addFp(n); }
    void setFp(int64_t fp) final { Stackmachine::setFp(fp); }
    void step() final { Stackmachine::step(); }
    // As the base: steps while pc is below the number of items. While every trace is off
    // it runs a plan of the program: the common items inline on the cells, frequent
    // sequences of them as one step, the rest through their kernels, with the same
    // values, cells (the dead stack cells included), errors, spans and step count as
    // stepping them.
    void run() final;
    bool isRunning() final { return Stackmachine::isRunning(); }
    // As up to `limit` calls of step(), each made only while the machine runs, is not
    // blocked (as the base counts it) and `stop` is not set, and none after a step that
    // changed the section bounds: the same steps, values, cells, errors, spans, hooks and
    // G-code blocks, in the same order. Returns the steps taken; the step count goes on
    // from where it was. While every trace is off it runs the plan, which it keeps for
    // the loaded program once the steps taken exceed what building it costs. What ends
    // it is tested before the first step and after every stepped item: no kernel can
    // halt, block or move the sections, and `stop` is set by another thread (at any
    // moment) or by a stepped item.
    int64_t runSteps(int64_t limit, const std::atomic<bool>& stop);
    // runSteps builds the plan once it has taken this many steps one by one since the
    // program was loaded or reset; below 0, twice the program's items and at least 256,
    // so that a program whose items mostly run once (plain G-code) never pays for one.
    // Only the speed depends on it.
    int64_t planAfterSteps = -1;
    // Whether a plan of the loaded program is at hand.
    bool hasPlan() const { return planHandlers_ != PlanHandlers::none; }

    // As the base, then GProcessor::reset; both drop the plan (reset keeps its memory).
    void unload() override;
    void reset() override;
    // As the base, then GProcessor::executeBlock with the span of the instruction being
    // executed.
    void executeGcode(int32_t skipLevel, const std::vector<GCodeWord>& words) override;
    void onProgramStart() override; // GProcessor::startProgram
    void onProgramEnd() override;   // GProcessor::finishProgram

    // The channel's processor; not owned (the channel outlives the machine's use of it).
    GProcessor* processor = nullptr;

private:
    friend class QuietMachine;

    // What run does at one item index while the traces are off. The actions from pushFp
    // on run one item inline on the cells, with the kernel's effect and its checks: where
    // a check fails, the item is stepped and fails as it does then.
#define KARSTO_RUN_TYPED(op) op##S16, op##S32, op##S64, op##F32, op##F64
    enum class RunAction : uint16_t {
        leave,          // the end of the program: run returns
        step,           // the generic step: the item has no kernel, or needs the hooks
        label,          // nothing but the step, for this label and the labels after it
        kernel,         // the item's kernel
        kernelPair,     // the item's kernel, then, unless it jumped, the next item's
        loadGlobal,     // ConstLint a; Ld n with a global range: n cells pushed from a
        storeGlobal,    // ConstLint a; St n with a global range: n cells popped to a
        storeReload,    // storeGlobal, then loadGlobal of the same cells: they stay on the stack
        loadTwo,        // loadGlobal, then loadGlobal of operand and factor cells
        pushTwo,        // two constants of 2, 4 or 8 bytes: address and operand, widths in count
        loadFrame,      // Fp; ConstLint k; an S64 add; Ld n: n cells pushed from fp + k
        storeFrame,     // Fp; ConstLint k; an S64 add; St n: n cells popped to fp + k
        pushFp,         // Fp
        push2,          // a constant of 2, 4 or 8 bytes (address holds them)
        push4,
        push8,
        load,           // Ld 1
        store,          // St 1
        spAdd,          // SpAdd n (address holds n), or SpAdds of one sign and their sum
        call,           // JumpSub: its frame, then as jump (operand holds the label's address)
        ret,            // Return
        jump,           // Jump: to address, count steps (the target's labels included)
        branchTrue,     // BranchTrue, BranchFalse: as jump when taken
        branchFalse,
        keep,           // a cast that leaves the cell as it is
        extendS32,      // CastDintLint
        assertRangeS64, // AssertRange from address to count
        len,            // Len
        castStr,        // CastStr from capacity address to capacity count
        concat,         // Concat of address strings
        // Order matters: RunOp's typed members from add on, each over RunCell from s16.
        KARSTO_RUN_TYPED(add),
        KARSTO_RUN_TYPED(sub),
        KARSTO_RUN_TYPED(mul),
        KARSTO_RUN_TYPED(lt),
        KARSTO_RUN_TYPED(le),
        KARSTO_RUN_TYPED(gt),
        KARSTO_RUN_TYPED(ge),
        KARSTO_RUN_TYPED(eq),
        KARSTO_RUN_TYPED(ne),
        KARSTO_RUN_TYPED(branchLe), // as jump when taken
        KARSTO_RUN_TYPED(branchGe),
        // A relation and the BranchTrue (or BranchFalse, jumpWhenFalse) after it.
        KARSTO_RUN_TYPED(ltIf),
        KARSTO_RUN_TYPED(leIf),
        KARSTO_RUN_TYPED(gtIf),
        KARSTO_RUN_TYPED(geIf),
        KARSTO_RUN_TYPED(eqIf),
        KARSTO_RUN_TYPED(neIf),
        // The same with the right operand pushed by the action's first item: a constant
        // of 8 bytes or a global cell (source holds its 8 bytes).
        KARSTO_RUN_TYPED(addWith),
        KARSTO_RUN_TYPED(subWith),
        KARSTO_RUN_TYPED(mulWith),
        KARSTO_RUN_TYPED(ltIfWith),
        KARSTO_RUN_TYPED(leIfWith),
        KARSTO_RUN_TYPED(gtIfWith),
        KARSTO_RUN_TYPED(geIfWith),
        KARSTO_RUN_TYPED(eqIfWith),
        KARSTO_RUN_TYPED(neIfWith),
        KARSTO_RUN_TYPED(branchLeWith),
        KARSTO_RUN_TYPED(branchGeWith),
        // The binary operations, plain and with, then a ConstLint a; St 1 to a global
        // cell a (store holds a), and with reload a ConstLint a; Ld 1 of it again.
        KARSTO_RUN_TYPED(addStore),
        KARSTO_RUN_TYPED(subStore),
        KARSTO_RUN_TYPED(mulStore),
        KARSTO_RUN_TYPED(addWithStore),
        KARSTO_RUN_TYPED(subWithStore),
        KARSTO_RUN_TYPED(mulWithStore),
        // The With actions with the left operand pushed before the right one by the
        // action's first item, again a constant of 8 bytes or a global cell (left).
        KARSTO_RUN_TYPED(addBoth),
        KARSTO_RUN_TYPED(subBoth),
        KARSTO_RUN_TYPED(mulBoth),
        KARSTO_RUN_TYPED(addBothStore),
        KARSTO_RUN_TYPED(subBothStore),
        KARSTO_RUN_TYPED(mulBothStore),
        KARSTO_RUN_TYPED(ltIfBoth),
        KARSTO_RUN_TYPED(leIfBoth),
        KARSTO_RUN_TYPED(gtIfBoth),
        KARSTO_RUN_TYPED(geIfBoth),
        KARSTO_RUN_TYPED(eqIfBoth),
        KARSTO_RUN_TYPED(neIfBoth),
        KARSTO_RUN_TYPED(branchLeBoth),
        KARSTO_RUN_TYPED(branchGeBoth),
        // [a, i] to [a + (i - operand) * factor] from a DINT i: CastDintLint;
        // AssertRange; subtraction and multiplication with constants; AddLint. With
        // element, then a Ld 1 from that address. The With forms push i from the global
        // cell at source first (ConstLint; Ld 1).
        index,
        element,
        indexWith,
        elementWith,
    };
#undef KARSTO_RUN_TYPED
    struct RunEntry {
        RunAction action = RunAction::step;
        bool jumpWhenFalse = false; // of the relations with their branch
        // The action's items and the labels after them (stepped over with it unless it
        // jumped): pc and the step count move on by it.
        int64_t advance = 1;
        void* handler = nullptr; // the action's code in runPlan
        RunKernel kernel = nullptr;
        const Cmd* item = nullptr;
        RunKernel secondKernel = nullptr; // of kernelPair
        const Cmd* second = nullptr;
        int64_t address = 0; // a global address, a frame offset k, a value or a jump target
        int64_t count = 0;   // cells of the global and frame actions, a jump's steps, a bound
        int64_t operand = 0; // a constant right operand, the subtrahend of index
        int64_t factor = 0;  // of index
        int64_t store = 0;   // the global cell of the Store actions
        int64_t reload = 0;  // 1 where a Store action loads that cell again right after
        // Where a conditional action goes on when it does not jump, and the steps to there:
        // past its items, or, where a Jump follows, to that Jump's target.
        int64_t fall = 0;
        int64_t fallSteps = 0;
        // The most steps the action can take, whichever way it goes.
        int64_t reach = 0;
        const unsigned char* source = nullptr; // the right operand's bytes
        const unsigned char* left = nullptr;   // the left operand's bytes
    };
    // What ends a bounded run of the plan: the step count at which it stops, and what
    // ends it after a stepped item (the section bounds it started with, the flag).
    struct RunBound {
        int64_t end = 0;
        uint64_t low = 0;
        uint64_t high = 0;
        const std::atomic<bool>* stop = nullptr;
    };
    // One entry per item of the program.
    void planRun();
    // The plan of the loaded program, built unless it is there, its handlers those of
    // runPlan<kBounded>.
    template <bool kBounded>
    void planReady();
    void planDrop() {
        plan_.clear();
        planHandlers_ = PlanHandlers::none;
        unplannedSteps_ = 0;
    }
    // Runs the plan's entries while the machine stays quiet and pc in the program; with
    // resolve, only sets every entry's handler. Bounded, it also ends where the bound
    // says, having taken only steps that fit below its end.
    template <bool kBounded>
    void runPlan(bool resolve, const RunBound* bound);
    // No hook is due and no trace a step would write is on.
    bool runsQuiet() const { return !startPending_ && running_ && !tracing(); }
    // Whether a trace that a step would write is on: both levels in one mask test.
    static_assert(static_cast<int32_t>(LogLevel::debugStackOp) ==
                  static_cast<int32_t>(LogLevel::debugStackmachine) + 1);
    bool tracing() const {
        return trace && ((globalLog.mask() >> static_cast<int32_t>(LogLevel::debugStackmachine)) & 0x3u) != 0;
    }
    std::vector<RunEntry> plan_;
    // Whose labels the plan's handlers are: each instance of runPlan has its own.
    enum class PlanHandlers : uint8_t { none, unbounded, bounded };
    PlanHandlers planHandlers_ = PlanHandlers::none;
    // The most steps any entry can take: a bounded run checks only this against its end
    // until the end comes that near.
    int64_t planReach_ = 0;
    // Steps runSteps took one by one since the program was loaded or reset, before the
    // plan was built.
    int64_t unplannedSteps_ = 0;
};

// The interpreter with every trace off: the same operations, checks and cell writes as
// its own, without the trace tests. Only the run loop makes one, after finding the traces
// off; the instruction kernels run on it.
class QuietMachine {
public:
    explicit QuietMachine(StackmachineInterpreter& machine) : m_(machine) {}

#define KARSTO_MACHINE_TYPE(name, In, Out, Cell, PushTrace, PopTrace)                              \
    void push##name(In value) { m_.quietPush##name(value); }                                       \
    Out pop##name() { return m_.quietPop##name(); }                                                \
    Out load##name(int64_t address) { return m_.Stackmachine::load##name(address); }               \
    void store##name(int64_t address, In value) { m_.Stackmachine::store##name(address, value); }
#include "core/machine_types.def"

    void copy(int64_t destination, int64_t source, int64_t count) { m_.quietCopy(destination, source, count); }
    int64_t getPc() const { return m_.pc_; }
    void setPc(int64_t pc) { m_.pc_ = pc; }
    int64_t getSp() const { return m_.sp_; }
    static int64_t getStackBase() { return Stackmachine::kStackBase; }
    void addSp(int64_t n) { m_.quietAddSp(n); }
    void setSp(int64_t sp) { m_.quietSetSp(sp); }
    int64_t getFp() const { return m_.fp_; }
    void addFp(int64_t n) { m_.quietAddFp(n); }
    void setFp(int64_t fp) { m_.fp_ = fp; }
    void checkStackRange(int64_t address, int64_t count) const { m_.checkStackRange(address, count); }

private:
    StackmachineInterpreter& m_;
};

// The kernel of an instruction class whose body is `template <class Machine> void
// runOn(Machine&) const`, the same body its execute runs.
template <class Self>
void quietKernel(StackmachineInterpreter& machine, const Cmd& item) {
    QuietMachine quiet(machine);
    static_cast<const Self&>(item).runOn(quiet);
}

// Runs an instruction's body on the machine it executes on. On a channel's interpreter
// the body sees the machine as StackmachineInterpreter, so the operations bind to the
// final overrides and inline; on any other machine (the base, the compile-time
// evaluator, a specialisation of the interpreter) the same body runs through the
// virtual operations. Both paths do the same, so the choice is never observable.
template <class Body>
inline void onMachine(Stackmachine& machine, Body&& body) {
    // The type_info objects' addresses: a copy of the interpreter's type_info in another
    // shared object only sends the body the virtual way.
    if (&typeid(machine) == &typeid(StackmachineInterpreter)) [[likely]]
        body(static_cast<StackmachineInterpreter&>(machine));
    else
        body(machine);
}

} // namespace Karsto
