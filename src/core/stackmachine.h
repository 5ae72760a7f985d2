#pragma once
// The virtual machine that runs one linked program one item per step.
//
// Memory: cells of 8 bytes addressed by int64 index. 0 is the null address, 1 to
// 0xFFFFF global data, 0x100000 to 0x1FFFFF the stack (growing upward), and from
// 0x80000000 on the shared area bound with setSharedArea. A typed write stores only the
// type's low bytes (little-endian) and leaves the rest of the cell as it was.
//
// Every operation that instructions use is virtual: the compile-time evaluator overrides
// copy and the frame-pointer operations. Instructions never touch the fields.
//
// Bounds: every address, stack access, step and wait-counter index is checked and
// refused with ExceptionRuntime (one compare on the good path).

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/code.h"
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

class Stackmachine {
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
    virtual void addSp(int64_t n);
    virtual void setSp(int64_t sp);
    virtual int64_t getFp();
    virtual void addFp(int64_t n);
    virtual void setFp(int64_t fp);

    // Empty program, then the base reset.
    virtual void unload();
    // sp = fp = stack base, pc 0, running and both hooks due, wait counters 1, sections
    // 0..0, program-loaded flag cleared. Keeps program, memory, shared area, names, trace
    // and waitEnabled.
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
    // Set by whoever assigns a program; cleared by reset.
    bool programLoaded = false;
    // The section range; the controller reads it directly.
    uint64_t sectionLow = 0;
    uint64_t sectionHigh = 0;
    // Steps and G-code blocks since the last run (run clears both).
    int64_t stepCount = 0;
    int64_t gcodeCount = 0;

protected:
    // The cell bytes at an address (checked); count cells from there must be valid.
    unsigned char* cellAt(int64_t address, int64_t count = 1);
    // The cell at sp for a push (checked), and the cell below sp for a pop (checked).
    unsigned char* pushCell();
    unsigned char* popCell();

    [[noreturn]] void failAddress(int64_t address, int64_t count) const;
    [[noreturn]] void failPush() const;
    [[noreturn]] void failPop() const;
    [[noreturn]] void failPc() const;
    void checkWaitIndex(int32_t index) const;

    // One flag and one mask test; nothing is formatted while either is off.
    bool traceOn(LogLevel level) const { return trace && globalLog.enabled(level); }
    void traceStep(CodeItem& item);

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

} // namespace Karsto
