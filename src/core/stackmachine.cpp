#include "core/stackmachine.h"

#include <sys/mman.h>

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

constexpr int kMachineTypeCount = 0
#define KARSTO_MACHINE_TYPE(name, In, Out, Cell, PushTrace, PopTrace) +1
#include "core/machine_types.def"
    ;
static_assert(kMachineTypeCount == 12, "the typed families have twelve members each");

} // namespace

void Stackmachine::traceRealLine(const char* op, const char* type, double value) {
    globalLog.debugStackOp("%s %s %f", op, type, value);
}

void Stackmachine::traceUnsignedLine(const char* op, const char* type, unsigned long long value) {
    globalLog.debugStackOp("%s %s %llu", op, type, value);
}

void Stackmachine::traceSignedLine(const char* op, const char* type, long long value) {
    globalLog.debugStackOp("%s %s %lld", op, type, value);
}

// Both print the low 32 bits, as the trace lines always have.
void Stackmachine::traceRegisterSet(const char* name, int64_t value) {
    globalLog.debugStackOp("%s = %d", name, static_cast<int>(value));
}

void Stackmachine::traceRegisterAdd(const char* name, int64_t n) {
    globalLog.debugStackOp("%s += %d", name, static_cast<int>(n));
}

void Stackmachine::traceCopy(int64_t destination, int64_t source, int64_t count) {
    globalLog.debugStackOp("copy dst=0x%x src=0x%0x size=%d", static_cast<unsigned>(destination),
                           static_cast<unsigned>(source), static_cast<int>(count));
}

void Stackmachine::FreeBlock::operator()(unsigned char* block) const {
    munmap(block, static_cast<size_t>(kBlockCells * kCellBytes));
}

Stackmachine::Stackmachine() {
    // Mapped, not calloc'd: the pages come from the system zeroed and untouched, so a
    // machine (the evaluator builds one per constant expression) costs no 16 MiB write.
    // calloc gives that only for the first one: once a block was freed the heap serves
    // the next from memory it must clear.
    void* block = mmap(nullptr, static_cast<size_t>(kBlockCells * kCellBytes), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) throw std::bad_alloc();
    block_.reset(static_cast<unsigned char*>(block));
    Stackmachine::reset();
}

Stackmachine::~Stackmachine() = default;

// ---- memory access -------------------------------------------------------------------

unsigned char* Stackmachine::cellsAt(int64_t address, int64_t count) {
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
    failRuntime("Invalid memory access at address 0x%llx", static_cast<unsigned long long>(bad));
}

// sp stays inside [stack base, stack end], so a push fails only on a full stack and a
// pop only on an empty one; the other message remains for a machine whose override
// moved sp on its own.
void Stackmachine::failPush() const {
    if (sp_ >= kStackEnd) failRuntime("Stack overflow");
    failRuntime("Stack underflow");
}

void Stackmachine::failPop() const {
    if (sp_ <= kStackBase) failRuntime("Stack underflow");
    failRuntime("Stack overflow");
}

void Stackmachine::failStackRange(int64_t address, int64_t count) const {
    // A range reaching below the base underflows (from its start, or from its end when
    // the count is negative); anything else refused ends above the region.
    const auto end = static_cast<int64_t>(static_cast<uint64_t>(address) + static_cast<uint64_t>(count));
    checkRuntime(address >= kStackBase && (count >= 0 || end >= kStackBase), "Stack underflow");
    failRuntime("Stack overflow");
}

void Stackmachine::copyCells(int64_t destination, int64_t source, int64_t count) {
    unsigned char* to = cellsAt(destination, count);
    const unsigned char* from = cellsAt(source, count);
    std::memmove(to, from, static_cast<size_t>(count * kCellBytes)); // overlap allowed
}

// ---- program life --------------------------------------------------------------------

void Stackmachine::unload() {
    program = CodeLinked();
    programLoaded = false;
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
    if (stepCursor) stepCursor->item = nullptr;
}

void Stackmachine::loadProgram(const CodeLinked& linked) {
    unload();
    program = linked;
    programLoaded = true;
}

void Stackmachine::failPc() const {
    failRuntime("Program counter %lld outside the program", static_cast<long long>(pc_));
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
    const SourceSpan span = item.span();
    globalLog.debugStackmachine("P%4d S%04x F%04x L%6d [%20lld %16f] %s", static_cast<int>(pc),
                                static_cast<unsigned>(sp), static_cast<unsigned>(fp),
                                span.valid ? static_cast<int>(span.begin.line) : -1, topInt,
                                topReal, item.toString().c_str());
}

void Stackmachine::jumpToEnd() {
    pc_ = program.size() - 1;
    sp_ = kStackBase;
    fp_ = kStackBase;
    if (stepCursor) stepCursor->item = nullptr;
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
    const CodeItem* item = program.item(pc_ - 1);
    if (stepCursor && stepCursor->item == item) return stepCursor->span();
    return item->span();
}

int64_t Stackmachine::globalAddress(const std::string& name) const {
    auto found = globalNames_.find(name);
    return found != globalNames_.end() ? found->second : -1;
}

} // namespace Karsto
