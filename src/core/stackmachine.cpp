#include "core/stackmachine.h"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "core/exception.h"

namespace Karsto {

// A typed write stores the value's low bytes at the cell's start: only true on a
// little-endian host.
static_assert(std::endian::native == std::endian::little,
              "the cell representation needs a little-endian host");

namespace {

constexpr int64_t kCellBytes = 8;

template <class Cell>
void writeCell(unsigned char* cell, Cell value) {
    static_assert(sizeof(Cell) <= kCellBytes);
    std::memcpy(cell, &value, sizeof value); // the rest of the cell stays as it was
}

template <class Cell>
Cell readCell(const unsigned char* cell) {
    Cell value;
    std::memcpy(&value, cell, sizeof value);
    return value;
}

// The three ways an operation trace prints its value.
void traceReal(const char* op, const char* type, double value) {
    globalLog.debugStackOp("%s %s %f", op, type, value);
}
template <class T>
void traceReal(const char* op, const char* type, T value) {
    traceReal(op, type, static_cast<double>(value));
}
template <class T>
void traceUnsigned(const char* op, const char* type, T value) {
    globalLog.debugStackOp("%s %s %llu", op, type, static_cast<unsigned long long>(value));
}
template <class T>
void traceSigned(const char* op, const char* type, T value) {
    globalLog.debugStackOp("%s %s %lld", op, type, static_cast<long long>(value));
}

constexpr int kMachineTypeCount = 0
#define KARSTO_MACHINE_TYPE(name, In, Out, Cell, PushTrace, PopTrace) +1
#include "core/machine_types.def"
    ;
static_assert(kMachineTypeCount == 12, "the typed families have twelve members each");

} // namespace

void Stackmachine::FreeBlock::operator()(unsigned char* block) const { std::free(block); }

Stackmachine::Stackmachine() {
    // calloc: the pages come from the system untouched, so a machine (the evaluator
    // builds one per constant expression) costs no 16 MiB write.
    void* block = std::calloc(static_cast<size_t>(kBlockCells), static_cast<size_t>(kCellBytes));
    if (block == nullptr) throw std::bad_alloc();
    block_.reset(static_cast<unsigned char*>(block));
    Stackmachine::reset();
}

Stackmachine::~Stackmachine() = default;

// ---- memory access -------------------------------------------------------------------

unsigned char* Stackmachine::cellAt(int64_t address, int64_t count) {
    if (address < kSharedBase) { // signed: negative addresses belong to the block
        const auto a = static_cast<uint64_t>(address);
        if (a < static_cast<uint64_t>(kBlockCells) &&
            static_cast<uint64_t>(count) <= static_cast<uint64_t>(kBlockCells) - a)
            return block_.get() + address * kCellBytes;
    } else {
        const auto k = static_cast<uint64_t>(address) - static_cast<uint64_t>(kSharedBase);
        if (k < static_cast<uint64_t>(sharedCells_) &&
            static_cast<uint64_t>(count) <= static_cast<uint64_t>(sharedCells_) - k)
            return sharedBase_ + k * kCellBytes;
    }
    failAddress(address, count);
}

void Stackmachine::failAddress(int64_t address, int64_t count) const {
    // Name the first cell outside the area: the start, or the end of the area.
    uint64_t bad = static_cast<uint64_t>(address);
    if (address < kSharedBase) {
        if (bad < static_cast<uint64_t>(kBlockCells) && count > 1)
            bad = static_cast<uint64_t>(kBlockCells);
    } else {
        const uint64_t k = bad - static_cast<uint64_t>(kSharedBase);
        if (k < static_cast<uint64_t>(sharedCells_) && count > 1)
            bad = static_cast<uint64_t>(kSharedBase) + static_cast<uint64_t>(sharedCells_);
    }
    checkRuntime(false, "Invalid memory access at address 0x%llx",
                 static_cast<unsigned long long>(bad));
    __builtin_unreachable();
}

unsigned char* Stackmachine::pushCell() {
    const uint64_t offset = static_cast<uint64_t>(sp_) - static_cast<uint64_t>(kStackBase);
    if (offset >= static_cast<uint64_t>(kStackEnd - kStackBase)) failPush();
    return block_.get() + sp_ * kCellBytes;
}

unsigned char* Stackmachine::popCell() {
    const int64_t top = static_cast<int64_t>(static_cast<uint64_t>(sp_) - 1u);
    const uint64_t offset = static_cast<uint64_t>(top) - static_cast<uint64_t>(kStackBase);
    if (offset >= static_cast<uint64_t>(kStackEnd - kStackBase)) failPop();
    sp_ = top;
    return block_.get() + top * kCellBytes;
}

void Stackmachine::failPush() const {
    if (sp_ >= kStackEnd) checkRuntime(false, "Stack overflow");
    checkRuntime(false, "Stack underflow"); // sp was moved below the stack base
    __builtin_unreachable();
}

void Stackmachine::failPop() const {
    if (sp_ <= kStackBase) checkRuntime(false, "Stack underflow");
    checkRuntime(false, "Stack overflow"); // sp was moved above the stack's end
    __builtin_unreachable();
}

// ---- typed families, one row of machine_types.def each --------------------------------

#define KARSTO_MACHINE_TYPE(name, In, Out, Cell, PushTrace, PopTrace)                              \
    void Stackmachine::push##name(In value) {                                                      \
        writeCell<Cell>(pushCell(), static_cast<Cell>(value));                                     \
        ++sp_;                                                                                     \
        if (traceOn(LogLevel::debugStackOp)) trace##PushTrace("push", #name, value);               \
    }
#include "core/machine_types.def"

#define KARSTO_MACHINE_TYPE(name, In, Out, Cell, PushTrace, PopTrace)                              \
    Out Stackmachine::pop##name() {                                                                \
        const Out value = static_cast<Out>(readCell<Cell>(popCell()));                             \
        if (traceOn(LogLevel::debugStackOp)) trace##PopTrace("pop", #name, value);                 \
        return value;                                                                              \
    }
#include "core/machine_types.def"

#define KARSTO_MACHINE_TYPE(name, In, Out, Cell, PushTrace, PopTrace)                              \
    Out Stackmachine::load##name(int64_t address) {                                                \
        return static_cast<Out>(readCell<Cell>(cellAt(address)));                                  \
    }
#include "core/machine_types.def"

#define KARSTO_MACHINE_TYPE(name, In, Out, Cell, PushTrace, PopTrace)                              \
    void Stackmachine::store##name(int64_t address, In value) {                                    \
        writeCell<Cell>(cellAt(address), static_cast<Cell>(value));                                \
    }
#include "core/machine_types.def"

void Stackmachine::copy(int64_t destination, int64_t source, int64_t count) {
    if (count > 0) {
        unsigned char* to = cellAt(destination, count);
        const unsigned char* from = cellAt(source, count);
        std::memmove(to, from, static_cast<size_t>(count * kCellBytes)); // overlap allowed
    }
    if (traceOn(LogLevel::debugStackOp))
        globalLog.debugStackOp("copy dst=0x%x src=0x%0x size=%d", static_cast<unsigned>(destination),
                               static_cast<unsigned>(source), static_cast<int>(count));
}

// ---- registers -----------------------------------------------------------------------

int64_t Stackmachine::getPc() { return pc_; }

void Stackmachine::setPc(int64_t pc) {
    pc_ = pc;
    if (traceOn(LogLevel::debugStackOp))
        globalLog.debugStackOp("%s = %d", "pc", static_cast<int>(pc));
}

int64_t Stackmachine::getSp() { return sp_; }

int64_t Stackmachine::getStackBase() { return kStackBase; }

void Stackmachine::addSp(int64_t n) {
    sp_ = static_cast<int64_t>(static_cast<uint64_t>(sp_) + static_cast<uint64_t>(n));
    if (traceOn(LogLevel::debugStackOp))
        globalLog.debugStackOp("%s += %d", "sp", static_cast<int>(n));
}

void Stackmachine::setSp(int64_t sp) {
    sp_ = sp;
    if (traceOn(LogLevel::debugStackOp))
        globalLog.debugStackOp("%s = %d", "sp", static_cast<int>(sp));
}

int64_t Stackmachine::getFp() { return fp_; }

void Stackmachine::addFp(int64_t n) {
    fp_ = static_cast<int64_t>(static_cast<uint64_t>(fp_) + static_cast<uint64_t>(n));
    if (traceOn(LogLevel::debugStackOp))
        globalLog.debugStackOp("%s += %d", "fp", static_cast<int>(n));
}

void Stackmachine::setFp(int64_t fp) {
    fp_ = fp;
    if (traceOn(LogLevel::debugStackOp))
        globalLog.debugStackOp("%s = %d", "fp", static_cast<int>(fp));
}

// ---- program life --------------------------------------------------------------------

void Stackmachine::unload() {
    program = CodeLinked();
    Stackmachine::reset(); // the base reset: an override adds its own work to unload
}

void Stackmachine::reset() {
    sp_ = kStackBase;
    fp_ = kStackBase;
    pc_ = 0;
    running_ = true;
    startPending_ = true;
    endPending_ = true;
    waitCounters_.fill(1);
    sectionLow = 0;
    sectionHigh = 0;
    programLoaded = false;
}

void Stackmachine::loadProgram(const CodeLinked& linked) {
    unload();
    program = linked;
    programLoaded = true;
}

void Stackmachine::step() {
    if (static_cast<uint64_t>(pc_) >= static_cast<uint64_t>(program.size())) failPc();
    CodeItem* item = program.item(pc_);
    if (traceOn(LogLevel::debugStackmachine)) traceStep(*item);
    if (startPending_) {
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
    if (!running_ && endPending_) {
        onProgramEnd();
        endPending_ = false;
    }
}

void Stackmachine::failPc() const {
    checkRuntime(false, "Program counter %lld outside the program", static_cast<long long>(pc_));
    __builtin_unreachable();
}

void Stackmachine::traceStep(CodeItem& item) {
    const int64_t pc = getPc();
    const int64_t sp = getSp();
    const int64_t fp = getFp();
    long long topInt = 0;
    double topReal = 0.0;
    if (sp > kStackBase && sp <= kStackEnd) {
        const unsigned char* top = block_.get() + (sp - 1) * kCellBytes;
        topInt = readCell<long long>(top);
        topReal = readCell<double>(top);
    }
    const SourceSpan& span = item.span();
    globalLog.debugStackmachine("P%4d S%04x F%04x L%6d [%20lld %16f] %s", static_cast<int>(pc),
                                static_cast<unsigned>(sp), static_cast<unsigned>(fp),
                                span.valid ? static_cast<int>(span.begin.line) : -1, topInt,
                                topReal, item.toString().c_str());
}

void Stackmachine::run() {
    stepCount = 0;
    gcodeCount = 0;
    while (pc_ < program.size()) step();
}

bool Stackmachine::isRunning() { return running_; }

void Stackmachine::jumpToEnd() {
    pc_ = program.size() - 1;
    sp_ = kStackBase;
    fp_ = kStackBase;
}

// ---- wait counters -------------------------------------------------------------------

void Stackmachine::checkWaitIndex(int32_t index) const {
    checkRuntime(static_cast<uint32_t>(index) < static_cast<uint32_t>(kWaitCounters),
                 "Invalid wait counter %d", index);
}

void Stackmachine::setWaitEnabled(bool enabled) { waitEnabled_ = enabled; }

void Stackmachine::incWaitCounter(int32_t index) {
    checkWaitIndex(index);
    ++waitCounters_[static_cast<size_t>(index)];
}

void Stackmachine::decWaitCounter(int32_t index) {
    checkWaitIndex(index);
    --waitCounters_[static_cast<size_t>(index)];
}

int32_t Stackmachine::getWaitCounter(int32_t index) {
    checkWaitIndex(index);
    return waitCounters_[static_cast<size_t>(index)];
}

bool Stackmachine::isBlocked() {
    if (!waitEnabled_) return false;
    for (int32_t counter : waitCounters_)
        if (counter < 1) return true;
    return false;
}

// ---- G-code, hooks, sections, names --------------------------------------------------

void Stackmachine::executeGcode(int32_t skipLevel, const std::vector<GCodeWord>& words) {
    ++gcodeCount;
    if (!traceOn(LogLevel::debugGCode)) return; // the block text is only ever traced
    std::string text;
    if (skipLevel >= 0) {
        text += '/';
        if (skipLevel >= 1) text += std::to_string(skipLevel);
        text += ' ';
    }
    // Room for the widest fixed-notation double: 309 integer digits, sign, point and
    // two decimals; a smaller buffer would cut the text of a huge value.
    char value[320];
    for (const GCodeWord& word : words) {
        std::snprintf(value, sizeof value, "%.2f", word.value);
        text += word.name;
        text += '=';
        text += value;
        text += ' ';
    }
    globalLog.debugGCode("gcodeExecute %s", text.c_str());
}

void Stackmachine::onProgramStart() {}

void Stackmachine::onProgramEnd() {}

void Stackmachine::setSharedArea(void* base, int64_t cellCount,
                                 const std::vector<SharedName>& names) {
    sharedBase_ = static_cast<unsigned char*>(base);
    sharedCells_ = base != nullptr && cellCount > 0 ? cellCount : 0;
    for (const SharedName& name : names) globalNames_[name.name] = name.offset + kSharedBase;
}

void Stackmachine::setSections(uint64_t low, uint64_t high) {
    checkRuntime(low <= high, "Invalid range of sections (%llu..%llu)",
                 static_cast<unsigned long long>(low), static_cast<unsigned long long>(high));
    checkRuntime(high >= sectionHigh,
                 "Upper limit of section must rise monotonic, but drops from %llu to %llu",
                 static_cast<unsigned long long>(sectionHigh),
                 static_cast<unsigned long long>(high));
    sectionLow = low;
    sectionHigh = high;
}

SourceSpan Stackmachine::currentSpan() const {
    if (pc_ <= 0 || pc_ > program.size()) return SourceSpan();
    return program.item(pc_ - 1)->span();
}

int64_t Stackmachine::globalAddress(const std::string& name) const {
    auto found = globalNames_.find(name);
    return found != globalNames_.end() ? found->second : -1;
}

} // namespace Karsto
