#include "host/kernel/channel_nc2.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "core/exception.h"
#include "core/log.h"
#include "core/stackmachine_interpreter.h"
#include "frontend/scanner_input.h"
#include "gcode/gprocessor_nc2.h"
#include "gcode/wait_counter.h"
#include "host/controller.h"
#include "host/kernel/kernel_codes.h"
#include "host/kernel/kernel_interface_nc2.h"
#include "host/kernel/ninterface_nc2.h"

namespace Karsto {

namespace {

constexpr int32_t kRecordBufferCounter = waitCounterIndex(WaitCounter::recordBuffer);
// Bytes the kernel answers every record write with; not evaluated.
constexpr uint32_t kRecordAnswerLength = 8;

// The state words each task state is reported with, in the order they are written.
struct StateWords {
    std::array<int32_t, 3> words;
    size_t count;
};

StateWords stateWordsOf(StackmachineState state) {
    switch (state) {
    case StackmachineState::undefined: return {{1}, 1};
    case StackmachineState::stopped: return {{15, 2}, 2};
    case StackmachineState::running: return {{3, 4, 5}, 3};
    case StackmachineState::finished: return {{9, 2}, 2};
    case StackmachineState::error: return {{11, 12}, 2};
    }
    return {{}, 0}; // a value outside the enumeration reports nothing
}

std::string toolDataName(const std::string& dataPath, int32_t id) {
    return dataPath + "/" + std::to_string(id) + ".WZ";
}

// The kernel reads every integer little-endian.
void putLe32(uint8_t* out, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (size_t i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(bits >> (8 * i));
}

[[noreturn]] void failZel(uint32_t code) { failRuntime("Zel Error 0x%08lx", static_cast<unsigned long>(code)); }

} // namespace

ChannelNc2::ChannelNc2(KernelInterfaceNc2* kernel_, int32_t id_, const std::string& name_, int32_t bufferSize_,
                       int32_t itpType_)
    : kernel(kernel_), id(id_), name(name_), bufferSize(bufferSize_), itpType(itpType_),
      output(std::make_unique<NInterfaceNc2>(this)), processor(std::make_unique<GProcessorNc2>(output.get())) {
    auto machine = std::make_unique<StackmachineInterpreter>(processor.get());
    processor->machine = machine.get();
    Controller& controller = *kernel->controller;
    task = controller.taskAdd(machine.get(), name);
    machine.release(); // owned through the task from here on
    lastState = task->state;
    try {
        processor->loadToolData(toolDataName(kernel->dataPath(), id));
    } catch (...) {
        // The table was not read: the processor must not write it back over the file.
        processor->forgetToolDataFile();
        delete controller.taskRemove(task);
        task = nullptr;
        throw; // processor and output go with the members
    }
}

ChannelNc2::~ChannelNc2() {
    mFuncDescs.clear();
    groups.clear();
    // The machine first: its program may hold natives bound to the processor.
    if (task != nullptr) delete kernel->controller->taskRemove(task);
    processor.reset(); // writes the tool data back
    output.reset();
    file.reset();
    pending.clear();
}

void ChannelNc2::groupAdd(std::unique_ptr<GroupNc2> group) {
    globalLog.debugKiState("ChannelNc2::groupAdd id=%d type=%d name=%s channelId=%d", group->id, group->type,
                           group->name.c_str(), id);
    const int32_t groupId = group->id;
    groups[groupId] = std::move(group);
}

void ChannelNc2::mFuncDescAdd(const MFuncDesc& desc) {
    globalLog.debugKiState("ChannelNc2::mFuncDescAdd channel=%s nr=%d hsk=%d fast=%d", name.c_str(), desc.nr(),
                           desc.hsk(), desc.fast());
    mFuncDescs.insert_or_assign(desc.nr(), desc);
}

void ChannelNc2::programLoad(const std::string& path) {
    file = std::make_shared<ScannerInputFile>();
    try {
        file->load(path);
    } catch (const ExceptionKarsto& e) {
        task->setError(e);
        throw;
    }
    globalLog.info("%s: File '%s' loaded", name.c_str(), path.c_str());
    task->compileInput(file);
    // The kernel shows the path; its answer does not matter.
    (void)stateWrite(kOffsetProgramPath, path.c_str(), static_cast<uint32_t>(path.size() + 1));
}

void ChannelNc2::stop() {
    if (!groups.empty()) groups.begin()->second->groupFuncSend(GroupFunction::stop);
    stopTail();
}

void ChannelNc2::reset() {
    try {
        if (!groups.empty()) groups.begin()->second->groupFuncSend(GroupFunction::reset);
        globalLog.debugKiIO("ChannelNc2::channelResetSend");
        const uint32_t result =
            kernel->zel.ZelSyncWriteReq(kernel->kernelAddress, kResetGroupBase + static_cast<uint32_t>(id),
                                        kOffsetChannelReset, 0, nullptr);
        if (result != 0) failZel(result);
    } catch (const ExceptionKarsto& e) {
        globalLog.warning("%s: ChannelReset failed: %s", name.c_str(), e.what());
    }
    const char empty = '\0';
    (void)stateWrite(kOffsetProgramPath, &empty, 1);
    stopTail();
}

void ChannelNc2::stopTail() {
    pendingClear();
    task->machine->unload();
    task->error.reset();
    task->state = StackmachineState::undefined;
    kernel->stackmachineStateChanged(task);
}

void ChannelNc2::stateUpdate() {
    pendingCounterRestore();
    const StackmachineState state = task->state;
    if (state == lastState) return;
    const StateWords words = stateWordsOf(state);
    for (size_t i = 0; i < words.count; ++i)
        stateSend(words.words[i]);
    if (state == StackmachineState::error && dynamic_cast<const ExceptionRuntime*>(task->error.get()) != nullptr) {
        uint8_t code[4];
        putLe32(code, static_cast<int32_t>(kernelCode(ZelCode::semanticError)));
        (void)stateWrite(kOffsetErrorCode, code, sizeof code);
    }
    lastState = state;
}

void ChannelNc2::stateSend(int32_t word) {
    uint8_t bytes[4];
    putLe32(bytes, word);
    const uint32_t result = stateWrite(kOffsetStateWord, bytes, sizeof bytes);
    globalLog.debugKiIO("ChannelNc2::stateSend state=%d result=%d", word, static_cast<int32_t>(result));
}

uint32_t ChannelNc2::stateWrite(uint32_t offset, const void* data, uint32_t length) {
    return kernel->zel.ZelSyncWriteReq(kernel->kernelAddress, kStateGroupBase + static_cast<uint32_t>(id), offset,
                                       length, data);
}

int32_t ChannelNc2::itpState() const {
    switch (task->state) {
    case StackmachineState::undefined: return 1;
    case StackmachineState::stopped: return 2;
    case StackmachineState::running: return 5;
    case StackmachineState::finished: return 2;
    case StackmachineState::error: return 12;
    }
    return 13;
}

uint32_t ChannelNc2::recordWrite(const Nc2Record& record) {
    // The kernel always reports a group per channel; without one there is nowhere to go.
    if (groups.empty()) failZel(kernelCode(ZelCode::channelMissing));
    uint8_t answer[kRecordAnswerLength];
    const std::span<const uint8_t> bytes = record.bytes();
    return kernel->zel.ZelSyncReadWriteReq(kernel->kernelAddress,
                                           kRecordGroupBase + static_cast<uint32_t>(groups.begin()->first),
                                           record.indexOffset(), kRecordAnswerLength, answer,
                                           static_cast<uint32_t>(bytes.size()), bytes.data());
}

void ChannelNc2::send(const Nc2Record& record) {
    globalLog.debugKiIO("ChannelNc2::send");
    pendingSend();
    // A record never overtakes one parked before it.
    if (!pending.empty()) {
        pendingAdd(record);
        return;
    }
    const uint32_t result = recordWrite(record);
    if (result == kernelCode(ZelCode::bufferFull)) pendingAdd(record);
    else if (result != 0) failZel(result);
}

void ChannelNc2::pendingAdd(const Nc2Record& record) {
    if (pending.empty()) task->machine->decWaitCounter(kRecordBufferCounter);
    pending.push_back(record);
}

void ChannelNc2::pendingSend() {
    if (pending.empty()) return;
    try {
        while (!pending.empty()) {
            const uint32_t result = recordWrite(pending.front());
            if (result == kernelCode(ZelCode::bufferFull)) return;
            if (result != 0) failZel(result);
            pending.pop_front();
        }
    } catch (const ExceptionKarsto& e) {
        pending.clear();
        globalLog.error("%s: %s", name.c_str(), e.what());
        task->setError(e);
    }
    task->machine->incWaitCounter(kRecordBufferCounter);
}

void ChannelNc2::pendingClear() {
    if (pending.empty()) return;
    pending.clear();
    task->machine->incWaitCounter(kRecordBufferCounter);
}

void ChannelNc2::pendingCounterRestore() {
    // A reset or unload sets every counter back to 1; the parked records still block.
    if (!pending.empty() && task->machine->getWaitCounter(kRecordBufferCounter) >= 1)
        task->machine->decWaitCounter(kRecordBufferCounter);
}

void ChannelNc2::eventWrite() {
    uint8_t event[12];
    putLe32(event, kAxisQueryEvent);
    putLe32(event + 4, id);
    putLe32(event + 8, 0);
    for (;;) {
        // Invoke id 0: nothing waits for the kernel's answer.
        const uint32_t result =
            kernel->zel.ZelWriteReq(kernel->kernelAddress, 0, kEventGroup, 0, sizeof event, event);
        if (result == 0) return;
        if (result != kernelCode(ZelCode::bufferFull)) failZel(result);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

std::string ChannelNc2::lineText(int32_t offset, int32_t linesBefore, int32_t linesAfter) const {
    if (!file || offset < 0) return {};
    const std::string& text = file->expandedText();
    const auto at = static_cast<size_t>(offset);
    if (at > text.size()) return {};
    size_t begin = at;
    while (begin > 0 && text[begin - 1] != '\n')
        --begin;
    for (int32_t i = 0; i < linesBefore && begin > 0; ++i) {
        --begin; // onto the line feed that ends the line before
        while (begin > 0 && text[begin - 1] != '\n')
            --begin;
    }
    auto lineEnd = [&text](size_t from) {
        const size_t feed = text.find('\n', from);
        return feed == std::string::npos ? text.size() : feed + 1;
    };
    size_t end = lineEnd(at);
    for (int32_t i = 0; i < linesAfter && end < text.size(); ++i)
        end = lineEnd(end);
    return text.substr(begin, end - begin);
}

LineInfo ChannelNc2::lineInfo(int32_t offset) const {
    LineInfo info;
    if (!file) return info;
    if (offset == -1) offset = currentLine;
    auto copyText = [&info](std::string_view text) {
        const size_t n = std::min(text.size(), LineInfo::kTextSize - 1);
        std::memcpy(info.text.data(), text.data(), n);
    };
    if (task->error) {
        const SourcePosition& begin = task->error->span().begin;
        info.kind = LineInfo::kKindError;
        info.value = begin.offset;
        copyText(begin.file.str());
    } else {
        info.kind = LineInfo::kKindSourceLine;
        info.value = offset;
        copyText(lineText(offset, 0, 0));
    }
    return info;
}

} // namespace Karsto
