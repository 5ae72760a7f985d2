#pragma once
// The virtual machine that runs one linked program one item per step.
//
// Memory: cells of 8 bytes addressed by int64 index. 0 is the null address, 1 to
// 0xFFFFF global data, 0x100000 to 0x1FFFFF the stack (growing upward), and from
// 0x80000000 on the shared area bound with setSharedArea. A typed write stores only the
// type's low bytes (little-endian) and leaves the rest of the cell as it was.
//
// Every operation that instructions use is virtual: the compile-time evaluator overrides
// copy and the frame-pointer operations. Instructions never touch the fields. The typed
// families, copy, the registers and the step are defined inline below the class, so
// that the channel's interpreter, whose overrides are final, binds them statically and
// inlines them.
//
// Bounds: every address, stack access, step and wait-counter index is checked and
// refused with ExceptionRuntime (one compare on the good path). sp never leaves the
// stack region [0x100000, 0x200000]: a move outside it is refused and sp stays, so
// stack instructions cannot reach global cells through a wild sp.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/code.h"
#include "core/exception.h"
#include "core/gprocessor.h"
#include "core/log.h"
#include "core/source_span.h"

namespace Karsto {

// A shared variable as the machine's name map needs it: its name and its cell offset in
// the shared area.
struct SharedName {
    std::string name;
    int64_t offset = 0;
};

// Where a machine stands inside an instruction that stands for many items and executes
// one of them per step, staying at its own pc until the last (the plain G-code lines
// read from the source as they run). Owned by the machine; the instruction keeps there
// what it needs between steps.
class StepCursor {
public:
    virtual ~StepCursor() = default;
    // The span of the item the instruction executed last.
    virtual SourceSpan span() const = 0;
    // The instruction the cursor stands in, or null; reset and jumpToEnd clear it, so the
    // instruction starts from its first item when it is reached again.
    const CodeItem* item = nullptr;
};

class Stackmachine {
    friend class QuietMachine; // the run loop's view with the traces off

public:
    static constexpr int64_t kBlockCells = 0x200000;
    static constexpr int64_t kStackBase = 0x100000;
    static constexpr int64_t kStackEnd = 0x200000; // first cell above the stack
    static constexpr int64_t kSharedBase = 0x80000000;
    static constexpr int32_t kWaitCounters = 16;

    Stackmachine();
    Stackmachine(const Stackmachine&) = delete;
    Stackmachine& operator=(const Stackmachine&) = delete;
    virtual ~Stackmachine();

    // Typed families, each in the order F64, F32, U64, U32, U16, U8, U1, S64, S32, S16,
    // S8, Addr. A push writes cell sp and then raises sp; a pop lowers sp and then reads
    // cell sp. U1 is written as 0 or 1 and read back as the stored byte.
    virtual void pushF64(double value);
    virtual void pushF32(float value);
    virtual void pushU64(uint64_t value);
    virtual void pushU32(uint32_t value);
    virtual void pushU16(uint16_t value);
    virtual void pushU8(uint8_t value);
    virtual void pushU1(bool value);
    virtual void pushS64(int64_t value);
    virtual void pushS32(int32_t value);
    virtual void pushS16(int16_t value);
    virtual void pushS8(int8_t value);
    virtual void pushAddr(int64_t value);

    virtual double popF64();
    virtual float popF32();
    virtual uint64_t popU64();
    virtual uint32_t popU32();
    virtual uint16_t popU16();
    virtual uint8_t popU8();
    virtual uint8_t popU1();
    virtual int64_t popS64();
    virtual int32_t popS32();
    virtual int16_t popS16();
    virtual int8_t popS8();
    virtual int64_t popAddr();

    virtual double loadF64(int64_t address);
    virtual float loadF32(int64_t address);
    virtual uint64_t loadU64(int64_t address);
    virtual uint32_t loadU32(int64_t address);
    virtual uint16_t loadU16(int64_t address);
    virtual uint8_t loadU8(int64_t address);
    virtual uint8_t loadU1(int64_t address);
    virtual int64_t loadS64(int64_t address);
    virtual int32_t loadS32(int64_t address);
    virtual int16_t loadS16(int64_t address);
    virtual int8_t loadS8(int64_t address);
    virtual int64_t loadAddr(int64_t address);

    virtual void storeF64(int64_t address, double value);
    virtual void storeF32(int64_t address, float value);
    virtual void storeU64(int64_t address, uint64_t value);
    virtual void storeU32(int64_t address, uint32_t value);
    virtual void storeU16(int64_t address, uint16_t value);
    virtual void storeU8(int64_t address, uint8_t value);
    virtual void storeU1(int64_t address, bool value);
    virtual void storeS64(int64_t address, int64_t value);
    virtual void storeS32(int64_t address, int32_t value);
    virtual void storeS16(int64_t address, int16_t value);
    virtual void storeS8(int64_t address, int8_t value);
    virtual void storeAddr(int64_t address, int64_t value);

    // Copies count cells from source to destination as if through a buffer; each address
    // is resolved in its own area.
    virtual void copy(int64_t destination, int64_t source, int64_t count);

    virtual int64_t getPc();
    virtual void setPc(int64_t pc);
    virtual int64_t getSp();
    virtual int64_t getStackBase();
    // Both refuse an sp outside [stack base, stack end] ("Stack underflow" below,
    // "Stack overflow" above) and then leave sp as it was.
    virtual void addSp(int64_t n);
    virtual void setSp(int64_t sp);
    virtual int64_t getFp();
    virtual void addFp(int64_t n);
    virtual void setFp(int64_t fp);

    // Empty program, program-loaded flag cleared, then the base reset.
    virtual void unload();
    // sp = fp = stack base, pc 0, running and both hooks due, wait counters 1, sections
    // 0..0. Keeps program, program-loaded flag, memory, shared area, names, trace and
    // waitEnabled: a finished program is restarted by a reset.
    virtual void reset();
    // Executes the item at pc.
    virtual void step();
    // Steps while pc is below the number of items; `running` is not consulted.
    virtual void run();
    virtual bool isRunning();
    // pc = last item (the closing Halt), sp = fp = stack base.
    virtual void jumpToEnd();

    virtual void setWaitEnabled(bool enabled);
    virtual void incWaitCounter(int32_t index);
    virtual void decWaitCounter(int32_t index);
    virtual int32_t getWaitCounter(int32_t index);
    // Waiting enabled and any counter below 1.
    virtual bool isBlocked();

    // Counts and traces one G-code block; the interpreter hands it to its processor.
    virtual void executeGcode(int32_t skipLevel, const std::vector<GCodeWord>& words);

    virtual void onProgramStart();
    virtual void onProgramEnd();

    // Binds the shared area (not owned) and enters each name with its address
    // (offset + 0x80000000), replacing an earlier entry of the same name.
    // sharedNamesOf (core/variable.h) makes the names of the shared Variables.
    void setSharedArea(void* base, int64_t cellCount, const std::vector<SharedName>& names);
    // Checks low <= high and that high does not drop below the current upper limit.
    void setSections(uint64_t low, uint64_t high);
    // Refuses a range of count cells from address that an instruction addresses
    // relative to sp unless it lies inside the stack region: "Stack underflow" when it
    // starts below the stack base, else "Stack overflow". A count of 0 or less copies
    // nothing and passes wherever both ends lie in the region.
    void checkStackRange(int64_t address, int64_t count) const {
        const uint64_t first = static_cast<uint64_t>(address) - static_cast<uint64_t>(kStackBase);
        const uint64_t last = first + static_cast<uint64_t>(count);
        // One branch: the larger end offset must lie within the region.
        if (std::max(first, last) > static_cast<uint64_t>(kStackEnd - kStackBase)) [[unlikely]]
            failStackRange(address, count);
    }
    // The span of the item being executed (item pc - 1); invalid outside the program.
    SourceSpan currentSpan() const;
    // The address globalNames holds for the name, or -1.
    int64_t globalAddress(const std::string& name) const;
    const std::map<std::string, int64_t>& globalNames() const { return globalNames_; }

    // Clears `running`: the Halt instruction's effect. The end hook runs in that step.
    void halt() { running_ = false; }
    // Loads a program as the compile driver does: unload, assign, set programLoaded.
    void loadProgram(const CodeLinked& linked);

    // Whether the machine writes its trace lines (each also needs its log level on).
    bool trace = true;
    // The loaded program; assign it after unload.
    CodeLinked program;
    // Set by whoever assigns a program; cleared only by unload (reset keeps it).
    bool programLoaded = false;
    // The section range; the controller reads it directly.
    uint64_t sectionLow = 0;
    uint64_t sectionHigh = 0;
    // Steps and G-code blocks since the last run (run clears both).
    int64_t stepCount = 0;
    int64_t gcodeCount = 0;
    // Made by the first instruction that needs one.
    std::unique_ptr<StepCursor> stepCursor;

protected:
    static constexpr int64_t kCellBytes = 8;

    // A typed write stores the value's own bytes at the cell's start and leaves the rest
    // of the cell as it was; a typed read takes only its own bytes. memcpy, so that the
    // optimiser makes single loads and stores of them.
    template <class Cell>
    static void writeCell(unsigned char* cell, Cell value) {
        static_assert(sizeof(Cell) <= kCellBytes);
        std::memcpy(cell, &value, sizeof value);
    }
    template <class Cell>
    static Cell readCell(const unsigned char* cell) {
        Cell value;
        std::memcpy(&value, cell, sizeof value);
        return value;
    }

    // The cell at an address: one compare for a block cell; the shared area and a
    // refused address go out of line.
    unsigned char* cellAt(int64_t address) {
        if (static_cast<uint64_t>(address) < static_cast<uint64_t>(kBlockCells)) [[likely]]
            return block_.get() + address * kCellBytes;
        return cellsAt(address, 1);
    }
    // The first of count cells from an address (checked, every cell in one area).
    unsigned char* cellsAt(int64_t address, int64_t count);
    // copy of more than one cell: both ranges checked, then moved as if through a buffer.
    void copyCells(int64_t destination, int64_t source, int64_t count);
    // The cell at sp for a push, and the cell below sp for a pop (which lowers sp): one
    // compare each.
    unsigned char* pushCell() {
        const uint64_t offset = static_cast<uint64_t>(sp_) - static_cast<uint64_t>(kStackBase);
        if (offset >= static_cast<uint64_t>(kStackEnd - kStackBase)) [[unlikely]] failPush();
        return block_.get() + sp_ * kCellBytes;
    }
    unsigned char* popCell() {
        const int64_t top = static_cast<int64_t>(static_cast<uint64_t>(sp_) - 1u);
        const uint64_t offset = static_cast<uint64_t>(top) - static_cast<uint64_t>(kStackBase);
        if (offset >= static_cast<uint64_t>(kStackEnd - kStackBase)) [[unlikely]] failPop();
        sp_ = top;
        return block_.get() + top * kCellBytes;
    }

    // The operations without their trace, for the quiet view of the run loop (which
    // only runs while the traces are off) and as the bodies of the traced ones above.
#define KARSTO_MACHINE_TYPE(name, In, Out, Cell, PushTrace, PopTrace)                              \
    void quietPush##name(In value) {                                                               \
        writeCell<Cell>(pushCell(), static_cast<Cell>(value));                                     \
        ++sp_;                                                                                     \
    }                                                                                              \
    Out quietPop##name() { return static_cast<Out>(readCell<Cell>(popCell())); }
#include "core/machine_types.def"
    void quietCopy(int64_t destination, int64_t source, int64_t count) {
        if (count == 1) [[likely]] { // one cell: a single load and store
            unsigned char* to = cellAt(destination);
            writeCell(to, readCell<uint64_t>(cellAt(source)));
        } else if (count > 0) {
            copyCells(destination, source, count);
        }
    }
    void quietAddSp(int64_t n) {
        const auto sp = static_cast<int64_t>(static_cast<uint64_t>(sp_) + static_cast<uint64_t>(n));
        checkStackRange(sp, 0); // sp itself must lie in the region
        sp_ = sp;
    }
    void quietSetSp(int64_t sp) {
        checkStackRange(sp, 0); // sp itself must lie in the region
        sp_ = sp;
    }
    void quietAddFp(int64_t n) {
        fp_ = static_cast<int64_t>(static_cast<uint64_t>(fp_) + static_cast<uint64_t>(n));
    }

    [[noreturn]] void failAddress(int64_t address, int64_t count) const;
    // An sp (count 0) or an sp-relative range refused by the stack-region checks.
    [[noreturn]] void failStackRange(int64_t address, int64_t count) const;
    [[noreturn]] void failPush() const;
    [[noreturn]] void failPop() const;
    [[noreturn]] void failPc() const;
    void checkWaitIndex(int32_t index) const;

    // One flag and one mask test; nothing is formatted while either is off.
    bool traceOn(LogLevel level) const { return trace && globalLog.enabled(level); }
    [[gnu::cold]] void traceStep(CodeItem& item);
    // The operation traces of the typed families, named after how they print the value
    // (the PushTrace and PopTrace columns of machine_types.def).
    template <class T>
    static void traceReal(const char* op, const char* type, T value) {
        traceRealLine(op, type, static_cast<double>(value));
    }
    template <class T>
    static void traceUnsigned(const char* op, const char* type, T value) {
        traceUnsignedLine(op, type, static_cast<unsigned long long>(value));
    }
    template <class T>
    static void traceSigned(const char* op, const char* type, T value) {
        traceSignedLine(op, type, static_cast<long long>(value));
    }
    [[gnu::cold]] static void traceRealLine(const char* op, const char* type, double value);
    [[gnu::cold]] static void traceUnsignedLine(const char* op, const char* type,
                                                unsigned long long value);
    [[gnu::cold]] static void traceSignedLine(const char* op, const char* type, long long value);
    // "copy dst=0x100000 src=0x5 size=2".
    [[gnu::cold]] static void traceCopy(int64_t destination, int64_t source, int64_t count);
    // The register traces: "pc = 3" and "sp += -1".
    [[gnu::cold]] static void traceRegisterSet(const char* name, int64_t value);
    [[gnu::cold]] static void traceRegisterAdd(const char* name, int64_t n);

    struct FreeBlock {
        void operator()(unsigned char* block) const;
    };
    std::unique_ptr<unsigned char[], FreeBlock> block_; // kBlockCells cells of 8 bytes
    unsigned char* sharedBase_ = nullptr;               // not owned
    int64_t sharedCells_ = 0;
    std::map<std::string, int64_t> globalNames_;

    int64_t sp_ = kStackBase;
    int64_t fp_ = kStackBase;
    int64_t pc_ = 0;
    bool running_ = true;
    bool startPending_ = true;
    bool endPending_ = true;
    bool waitEnabled_ = true;
    std::array<int32_t, kWaitCounters> waitCounters_{};
};

// ---- inline bodies: the base's operations, which the interpreter binds statically -----

#define KARSTO_MACHINE_TYPE(name, In, Out, Cell, PushTrace, PopTrace)                              \
    inline void Stackmachine::push##name(In value) {                                               \
        quietPush##name(value);                                                                    \
        if (traceOn(LogLevel::debugStackOp)) [[unlikely]] trace##PushTrace("push", #name, value);  \
    }                                                                                              \
    inline Out Stackmachine::pop##name() {                                                         \
        const Out value = quietPop##name();                                                        \
        if (traceOn(LogLevel::debugStackOp)) [[unlikely]] trace##PopTrace("pop", #name, value);    \
        return value;                                                                              \
    }                                                                                              \
    inline Out Stackmachine::load##name(int64_t address) {                                         \
        return static_cast<Out>(readCell<Cell>(cellAt(address)));                                  \
    }                                                                                              \
    inline void Stackmachine::store##name(int64_t address, In value) {                             \
        writeCell<Cell>(cellAt(address), static_cast<Cell>(value));                                \
    }
#include "core/machine_types.def"

inline void Stackmachine::copy(int64_t destination, int64_t source, int64_t count) {
    quietCopy(destination, source, count);
    if (traceOn(LogLevel::debugStackOp)) [[unlikely]] traceCopy(destination, source, count);
}

inline int64_t Stackmachine::getPc() { return pc_; }

inline void Stackmachine::setPc(int64_t pc) {
    pc_ = pc;
    if (traceOn(LogLevel::debugStackOp)) [[unlikely]] traceRegisterSet("pc", pc);
}

inline int64_t Stackmachine::getSp() { return sp_; }

inline int64_t Stackmachine::getStackBase() { return kStackBase; }

inline void Stackmachine::addSp(int64_t n) {
    quietAddSp(n);
    if (traceOn(LogLevel::debugStackOp)) [[unlikely]] traceRegisterAdd("sp", n);
}

inline void Stackmachine::setSp(int64_t sp) {
    quietSetSp(sp);
    if (traceOn(LogLevel::debugStackOp)) [[unlikely]] traceRegisterSet("sp", sp);
}

inline int64_t Stackmachine::getFp() { return fp_; }

inline void Stackmachine::addFp(int64_t n) {
    quietAddFp(n);
    if (traceOn(LogLevel::debugStackOp)) [[unlikely]] traceRegisterAdd("fp", n);
}

inline void Stackmachine::setFp(int64_t fp) {
    fp_ = fp;
    if (traceOn(LogLevel::debugStackOp)) [[unlikely]] traceRegisterSet("fp", fp);
}

inline bool Stackmachine::isRunning() { return running_; }

inline void Stackmachine::step() {
    if (static_cast<uint64_t>(pc_) >= static_cast<uint64_t>(program.size())) [[unlikely]]
        failPc();
    CodeItem* item = program.item(pc_);
    if (traceOn(LogLevel::debugStackmachine)) [[unlikely]] traceStep(*item);
    if (startPending_) [[unlikely]] {
        onProgramStart();
        startPending_ = false;
    }
    ++pc_;
    ++stepCount;
    if (item->isCmd()) { // a label does nothing but still costs a step
        try {
            static_cast<Cmd*>(item)->execute(*this);
        } catch (ExceptionRuntime& e) {
            // The span of the item being executed (item pc - 1 before the instruction
            // moved pc); every other exception passes unchanged.
            if (!e.span().valid) e.setSpan(item->span());
            throw;
        }
    }
    if (!running_ && endPending_) [[unlikely]] {
        onProgramEnd();
        endPending_ = false;
    }
}

inline void Stackmachine::run() {
    stepCount = 0;
    gcodeCount = 0;
    while (pc_ < program.size()) step();
}

} // namespace Karsto
