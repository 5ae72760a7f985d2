// The kernel's read, write and read-write requests to the interpreter's server: the
// channel parameters, the channel state with its texts and per-line records, and the
// I/O area with the R-parameters and the display texts.
//
// Every handler answers its request once. A refusal is an ExceptionZel that the
// handler's catch turns into the answer; the write handler also answers the program's
// own errors. Any other error leaves a read or read-write unanswered and the event pass.

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "core/exception.h"
#include "core/log.h"
#include "gcode/gprocessor_nc2.h"
#include "host/controller.h"
#include "host/kernel/channel_nc2.h"
#include "host/kernel/kernel_codes.h"
#include "host/kernel/kernel_interface_nc2.h"
#include "host/kernel/kernel_request_support.h"
#include "host/kernel/mfunc_desc.h"

namespace Karsto {

using namespace KernelRequest;

namespace {

// Channel parameters: the offset's bits 16 and up select the kind; zero offsets carry
// the component in bits 8 to 15 and the zero offset in bits 0 to 7, tools the tool index
// in bits 8 to 15 and the parameter in bits 0 to 7.
enum class ParmKind : uint32_t {
    plain = 0,
    zeroOffset = 1,
    toolNumber = 2,
    toolType = 3,
    toolParam = 4,
};
constexpr uint32_t kParmIpolRules = 0x53;
constexpr uint32_t kParmMFuncDescs = 0x11;
// Zero offsets 1 to 10 are read, 1 to 8 written (a run may go on into 9 and 10);
// components 1 x, 2 y, 3 z, 4 to 8 q1 to q5.
constexpr uint32_t kZeroOffsetsRead = 10;
constexpr uint32_t kZeroOffsetsWritten = 8;

// Channel state offsets.
enum class StateOffset : uint32_t {
    zero1 = 0x01,
    itpState = 0x03,
    zero8 = 0x08,
    errorLocation = 0x10,
    lineText = 0x11,
    lineInfo = 0x12,
    modalState = 0x13,
    zeroOffsets = 0x14,
    rotation = 0x15,
    zero700 = 0x700,
};
constexpr uint32_t kLineTextMinimum = 10;
constexpr uint32_t kLineInfoSize = 8 + LineInfo::kTextSize;

// The I/O area: R-parameter i at 0x10000000 + i, the display texts.
constexpr uint32_t kRParamBase = 0x10000000;
constexpr uint32_t kRParamCount = 1000;
constexpr uint32_t kDisplayText = 0x01;
constexpr uint32_t kGroupDisplayText = 0x20000000;
constexpr uint32_t kGroupDisplayTextAlias = 0x20000001;
constexpr uint32_t kDisplayTextMinimum = 30;

// The largest text answer: an answer must fit one Vek command.
constexpr uint32_t kMaxTextAnswer = kVekMaxDataLength - 1024;

// ---- bytes -------------------------------------------------------------------------

// The text cut or padded with NUL bytes to exactly the length.
std::vector<uint8_t> textAnswer(const std::string& text, uint32_t length) {
    if (length > kMaxTextAnswer) refuse(ZelCode::badLength);
    std::vector<uint8_t> out(length, 0);
    std::copy_n(text.begin(), std::min<size_t>(text.size(), length), out.begin());
    return out;
}

// The first bytes of a record, at most the length asked.
template <size_t N>
std::vector<uint8_t> recordAnswer(const std::array<uint8_t, N>& record, uint32_t length) {
    return std::vector<uint8_t>(record.begin(), record.begin() + std::min<size_t>(N, length));
}

// A ToolEntry as stored: number, type, then the parameters.
constexpr size_t kToolEntrySize = 8 + 8 * ToolEntry::kParams;
static_assert(kToolEntrySize == 120);

std::vector<uint8_t> toolEntryBytes(const ToolEntry& entry) {
    std::vector<uint8_t> out;
    putInt32(out, entry.number);
    putInt32(out, entry.toolType);
    for (double p : entry.param) putDouble(out, p);
    return out;
}

ToolEntry toolEntryOf(std::span<const uint8_t> data) {
    ToolEntry entry;
    entry.number = getInt32(&data[0]);
    entry.toolType = getInt32(&data[4]);
    for (size_t p = 0; p < entry.param.size(); ++p) entry.param[p] = getDouble(&data[8 + 8 * p]);
    return entry;
}

std::vector<uint8_t> lineInfoBytes(const LineInfo& info) {
    std::vector<uint8_t> out;
    putInt32(out, info.kind);
    putInt32(out, info.value);
    out.insert(out.end(), info.text.begin(), info.text.end());
    return out;
}

// ---- zero offsets ------------------------------------------------------------------

// Zero offset i (from 1) and component j of a channel-parameter offset, checked; the
// number of values n = length / 8 of a run, checked against the last zero offset.
struct ZeroOffsetRun {
    uint32_t first; // entry index, from 0
    uint32_t component;
    uint32_t count;
};

ZeroOffsetRun zeroOffsetRun(uint32_t offset, uint32_t length, uint32_t lastFirst, ZelCode lengthCode) {
    const uint32_t i = offset & 0xFF;
    const uint32_t j = (offset >> 8) & 0xFF;
    if (i < 1 || i > lastFirst || j < 1 || j > kZeroOffsetComponents) refuse(ZelCode::invalidOffset);
    const uint32_t n = length / 8;
    if (n == 0 || length % 8 != 0 || n > kZeroOffsetsRead + 1 - i) refuse(lengthCode);
    return {i - 1, j, n};
}

// ---- the error of a channel's task -------------------------------------------------

const ExceptionKarsto* taskError(const ChannelNc2& channel) {
    return channel.task != nullptr ? channel.task->error.get() : nullptr;
}

// The source line at the begin of the error's span, an offset in its own file.
std::string errorLineText(const ChannelNc2& channel, const ExceptionKarsto& e) {
    return e.span().valid ? channel.lineText(e.span().begin.offset, 0, 0) : std::string();
}

} // namespace

// ---- channel parameters ------------------------------------------------------------

namespace {

std::vector<uint8_t> chnParmsRead(ChannelNc2& channel, uint32_t offset, uint32_t length) {
    GProcessorNc2& processor = *channel.processor;
    ToolTable& tools = processor.tools;
    const uint32_t t = (offset >> 8) & 0xFF;
    const uint32_t p = offset & 0xFF;
    std::vector<uint8_t> out;
    switch (static_cast<ParmKind>(offset >> 16)) {
    case ParmKind::plain:
        if (offset != kParmIpolRules) break;
        if (length != 4) refuse(ZelCode::badLength);
        putInt32(out, processor.ipolRules);
        return out;
    case ParmKind::zeroOffset: {
        const ZeroOffsetRun run = zeroOffsetRun(offset, length, kZeroOffsetsRead, ZelCode::badLength);
        for (uint32_t k = 0; k < run.count; ++k) {
            ZeroOffset zos = processor.zeroOffsets().entry(static_cast<int32_t>(run.first + k));
            putDouble(out, zeroOffsetComponent(zos, run.component));
        }
        return out;
    }
    case ParmKind::toolNumber:
    case ParmKind::toolType: {
        if (length % 2 != 0) refuse(ZelCode::badLength);
        const bool number = static_cast<ParmKind>(offset >> 16) == ParmKind::toolNumber;
        // The table checks each index: a run past tool 255 raises before it is answered.
        for (uint32_t k = 0; k < length / 2; ++k) {
            const int i = static_cast<int>(t + k);
            putInt16(out, static_cast<int16_t>(number ? tools.number(i) : tools.toolType(i)));
        }
        return out;
    }
    case ParmKind::toolParam:
        if (p == 0) {
            if (length != kToolEntrySize) refuse(ZelCode::badLength);
            return toolEntryBytes(tools.entry(static_cast<int>(t)));
        }
        if (length % 8 != 0) refuse(ZelCode::badLength);
        for (uint32_t k = 0; k < length / 8; ++k)
            putDouble(out, tools.param(static_cast<int>(t + k), static_cast<int>(p)));
        return out;
    }
    refuse(ZelCode::invalidOffset, "Invalid Channel Parameter");
}

void chnParmsWrite(ChannelNc2& channel, uint32_t offset, std::span<const uint8_t> data) {
    GProcessorNc2& processor = *channel.processor;
    ToolTable& tools = processor.tools;
    const auto length = static_cast<uint32_t>(data.size());
    const int t = static_cast<int>((offset >> 8) & 0xFF);
    const int p = static_cast<int>(offset & 0xFF);
    switch (static_cast<ParmKind>(offset >> 16)) {
    case ParmKind::plain:
        if (offset == kParmIpolRules) {
            globalLog.debugKiIO("KernelInterfaceNc2: WRITE CHNPARMS SET IPOLRULES");
            if (length < 4) refuse(ZelCode::badLength);
            processor.ipolRules = getInt32(data.data());
            return;
        }
        if (offset == kParmMFuncDescs) {
            globalLog.debugKiIO("KernelInterfaceNc2: WRITE CHNPARMS MDEFSDESC");
            // Emptied also when the length is refused.
            channel.mFuncDescClear();
            if (length % MFuncDesc::kSize != 0) refuse(ZelCode::badLength);
            for (size_t at = 0; at < data.size(); at += MFuncDesc::kSize)
                channel.mFuncDescAdd(MFuncDesc(data.subspan(at).first<MFuncDesc::kSize>()));
            return;
        }
        refuse(ZelCode::invalidOffset);
    case ParmKind::zeroOffset: {
        const ZeroOffsetRun run = zeroOffsetRun(offset, length, kZeroOffsetsWritten, ZelCode::invalidOffset);
        for (uint32_t k = 0; k < run.count; ++k) {
            const auto index = static_cast<int32_t>(run.first + k);
            ZeroOffset zos = processor.zeroOffsets().entry(index);
            zeroOffsetComponent(zos, run.component) = getDouble(&data[8 * k]);
            if (index < ZeroOffsets::kSettable)
                processor.setZeroOffset(index, zos);
            else
                processor.setProgrammableZeroOffset(index - ZeroOffsets::kSettable, zos);
        }
        return;
    }
    case ParmKind::toolNumber:
        if (length < 2) refuse(ZelCode::badLength);
        tools.setNumber(t, getInt16(data.data()));
        return;
    case ParmKind::toolType:
        if (length < 2) refuse(ZelCode::badLength);
        tools.setToolType(t, getInt16(data.data()));
        return;
    case ParmKind::toolParam:
        if (p == 0) {
            if (length != kToolEntrySize) refuse(ZelCode::badLength);
            tools.entry(t) = toolEntryOf(data);
            return;
        }
        if (length < 8) refuse(ZelCode::badLength);
        tools.setParam(t, p, getDouble(data.data()));
        return;
    }
    refuse(ZelCode::invalidOffset);
}

// ---- channel state -----------------------------------------------------------------

std::vector<uint8_t> chnStateRead(ChannelNc2& channel, uint32_t offset, uint32_t length) {
    int32_t value = 0;
    switch (static_cast<StateOffset>(offset)) {
    case StateOffset::zero1:
    case StateOffset::zero8:
    case StateOffset::zero700: break;
    case StateOffset::itpState: value = channel.itpState(); break;
    case StateOffset::errorLocation: {
        const ExceptionKarsto* error = taskError(channel);
        value = error != nullptr && error->span().valid ? error->span().begin.offset : -1;
        break;
    }
    default: refuse(ZelCode::invalidOffset, "Invalid Channel State Command");
    }
    if (length != 4) refuse(ZelCode::badLength);
    if (static_cast<StateOffset>(offset) == StateOffset::itpState)
        globalLog.debugKiIO("ZEL read ITPSTATE=%d", value);
    std::vector<uint8_t> out;
    putInt32(out, value);
    return out;
}

std::vector<uint8_t> chnStateReadwrite(ChannelNc2* channel, uint32_t offset, uint32_t readLength,
                                       std::span<const uint8_t> data) {
    uint32_t minimum = 4;
    switch (static_cast<StateOffset>(offset)) {
    case StateOffset::lineText: minimum = kLineTextMinimum; break;
    case StateOffset::lineInfo: minimum = kLineInfoSize; break;
    case StateOffset::modalState:
    case StateOffset::zeroOffsets:
    case StateOffset::rotation: break;
    default: refuse(ZelCode::invalidOffset);
    }
    if (data.size() != 4 || readLength < minimum) refuse(ZelCode::badLength);
    if (channel == nullptr) refuse(ZelCode::channelMissing);
    const int32_t value = getInt32(data.data());
    const ModalRecords& records = channel->processor->records;
    switch (static_cast<StateOffset>(offset)) {
    case StateOffset::lineText:
        return textAnswer(value < 0 ? std::string() : channel->lineText(value, 0, 0), readLength);
    case StateOffset::lineInfo: return lineInfoBytes(channel->lineInfo(value));
    case StateOffset::modalState: return recordAnswer(records.modalStateAt(value).bytes(), readLength);
    case StateOffset::zeroOffsets: return recordAnswer(records.zeroOffsetsAt(value).bytes(), readLength);
    default: return recordAnswer(records.rotationAt(value).bytes(), readLength);
    }
}

// ---- I/O area ----------------------------------------------------------------------

bool isRParam(uint32_t offset) { return offset >= kRParamBase && offset - kRParamBase < kRParamCount; }

// The cells of R-parameters i to i + n - 1 of the channel, n = length / 8, all checked
// before any is touched.
std::vector<int64_t> rParamRun(const KernelInterfaceNc2& link, const ChannelNc2& channel, uint32_t offset,
                               uint32_t length) {
    const uint32_t i = offset - kRParamBase;
    const uint32_t n = length / 8;
    if (n == 0 || length % 8 != 0 || i + n > kRParamCount) refuse(ZelCode::badLength);
    std::vector<int64_t> cells;
    cells.reserve(n);
    for (uint32_t k = 0; k < n; ++k) {
        // A channel made without the initialisation has no R-parameters.
        auto found = link.rParamCells.find(KernelInterfaceNc2::rParamKey(channel.id, static_cast<int32_t>(i + k)));
        if (found == link.rParamCells.end() || found->second >= link.controller->memoryShared.size())
            refuse(ZelCode::invalidOffset);
        cells.push_back(found->second);
    }
    return cells;
}

std::vector<uint8_t> ioAreaRead(KernelInterfaceNc2& link, ChannelNc2& channel, uint32_t offset, uint32_t length) {
    if (offset == kDisplayText) {
        if (length < kDisplayTextMinimum) refuse(ZelCode::badLength);
        return textAnswer("<DisplayText>", length);
    }
    if (!isRParam(offset)) refuse(ZelCode::invalidOffset);
    const std::vector<int64_t> cells = rParamRun(link, channel, offset, length);
    std::vector<uint8_t> out;
    for (size_t k = 0; k < cells.size(); ++k) {
        const double value = link.controller->sharedImage[static_cast<size_t>(cells[k])];
        globalLog.debugKiIO("KernelInterfaceNc2: R-Param read: R%d=%f", static_cast<int32_t>(offset - kRParamBase + k),
                            value);
        putDouble(out, value);
    }
    return out;
}

void ioAreaWrite(KernelInterfaceNc2& link, ChannelNc2& channel, uint32_t offset, std::span<const uint8_t> data) {
    globalLog.debugKiIO("KernelInterfaceNc2: WRITE CHNIOAREA");
    if (!isRParam(offset)) refuse(ZelCode::invalidOffset);
    const std::vector<int64_t> cells = rParamRun(link, channel, offset, static_cast<uint32_t>(data.size()));
    for (size_t k = 0; k < cells.size(); ++k) {
        const double value = getDouble(&data[8 * k]);
        globalLog.debugKiIO("KernelInterfaceNc2: R-Param write: R%d=%f", static_cast<int32_t>(offset - kRParamBase + k),
                            value);
        link.controller->sharedImage[static_cast<size_t>(cells[k])] = value;
    }
}

std::string groupDisplayText(const ChannelNc2* channel, int32_t value) {
    if (channel == nullptr) return "---";
    if (const ExceptionKarsto* error = taskError(*channel)) return errorLineText(*channel, *error);
    return value < 0 ? std::string() : channel->lineText(value, 1, 1);
}

} // namespace

// ---- the three handlers ------------------------------------------------------------

void KernelInterfaceNc2::executeEventRead(const ZelServerBuffered::Read& event) {
    const uint32_t range = event.indexGroup & ~kChannelIdMask;
    try {
        ChannelNc2* channel = channelById(static_cast<int32_t>(event.indexGroup & kChannelIdMask));
        if (channel == nullptr) refuse(ZelCode::noChannel);
        std::vector<uint8_t> answer;
        switch (static_cast<Range>(range)) {
        case Range::chnParms: answer = chnParmsRead(*channel, event.indexOffset, event.length); break;
        case Range::chnState: answer = chnStateRead(*channel, event.indexOffset, event.length); break;
        case Range::chnFuncs: refuse(ZelCode::wrongAccess);
        case Range::chnIoArea: answer = ioAreaRead(*this, *channel, event.indexOffset, event.length); break;
        default:
            globalLog.error("KernelInterfaceNc2::executeEventRead: unhandeled groupRange=%d", static_cast<int32_t>(range));
            server->ZelReadRes(event.source, event.invokeId, kernelCode(ZelCode::invalidOffset), 0, nullptr);
            return;
        }
        server->ZelReadRes(event.source, event.invokeId, kernelCode(ZelCode::ok), static_cast<uint32_t>(answer.size()),
                           answer.data());
    } catch (const ExceptionZel& e) {
        globalLog.error("KernelInterfaceNc2executeEventRead: ZelError: %s (%d)", e.text.c_str(), e.code);
        server->ZelReadRes(event.source, event.invokeId, static_cast<uint32_t>(e.code), 0, nullptr);
    }
}

void KernelInterfaceNc2::executeEventWrite(const ZelServerBuffered::Write& event) {
    const uint32_t range = event.indexGroup & ~kChannelIdMask;
    const std::span<const uint8_t> data(event.data);
    ChannelNc2* channel = channelById(static_cast<int32_t>(event.indexGroup & kChannelIdMask));
    // The program's errors are answered, logged with the source line and, for syntax and
    // semantic errors, also written to the channel's error word after the answer.
    auto programError = [&](const ExceptionKarsto& e, ZelCode answer, bool report) {
        globalLog.error("%s: %s in line '%s'", channel->name.c_str(), e.what(), errorLineText(*channel, e).c_str());
        server->ZelWriteRes(event.source, event.invokeId, kernelCode(answer));
        if (!report) return;
        std::vector<uint8_t> word;
        putInt32(word, static_cast<int32_t>(kernelCode(answer)));
        channel->stateWrite(ChannelNc2::kOffsetErrorCode, word.data(), static_cast<uint32_t>(word.size()));
    };
    try {
        if (channel == nullptr) refuse(ZelCode::noChannel);
        switch (static_cast<Range>(range)) {
        case Range::chnParms: chnParmsWrite(*channel, event.indexOffset, data); break;
        case Range::chnState: refuse(ZelCode::wrongAccess);
        case Range::chnFuncs: chnFuncsWrite(*channel, event.indexOffset, data); break;
        case Range::chnIoArea: ioAreaWrite(*this, *channel, event.indexOffset, data); break;
        default:
            globalLog.error("KernelInterfaceNc2::executeEventWrite: unhandeled groupRange=%d",
                            static_cast<int32_t>(range));
            server->ZelWriteRes(event.source, event.invokeId, kernelCode(ZelCode::invalidOffset));
            return;
        }
        server->ZelWriteRes(event.source, event.invokeId, kernelCode(ZelCode::ok));
    } catch (const ExceptionZel& e) {
        globalLog.error("ZelError: %s (%d)", e.text.c_str(), e.code);
        server->ZelWriteRes(event.source, event.invokeId, static_cast<uint32_t>(e.code));
    } catch (const ExceptionSyntax& e) {
        programError(e, ZelCode::syntaxError, true);
    } catch (const ExceptionSemantic& e) {
        programError(e, ZelCode::semanticError, true);
    } catch (const ExceptionKarsto& e) {
        programError(e, ZelCode::programError, false);
    }
}

void KernelInterfaceNc2::executeEventReadwrite(const ZelServerBuffered::Readwrite& event) {
    const uint32_t range = event.indexGroup & ~kChannelIdMask;
    const std::span<const uint8_t> data(event.data);
    try {
        ChannelNc2* channel = channelById(static_cast<int32_t>(event.indexGroup & kChannelIdMask));
        std::vector<uint8_t> answer;
        switch (static_cast<Range>(range)) {
        case Range::chnParms: refuse(ZelCode::invalidOffset);
        case Range::chnState: answer = chnStateReadwrite(channel, event.indexOffset, event.readLength, data); break;
        // The channel functions are writes only; the kernel still gets an answer.
        case Range::chnFuncs: refuse(ZelCode::wrongAccess);
        case Range::chnIoArea:
            if (event.indexOffset != kGroupDisplayText && event.indexOffset != kGroupDisplayTextAlias) {
                globalLog.error("KernelInterfaceNc2::executeEventReadwrite: GRPDISPTXT index out of range");
                server->ZelReadWriteRes(event.source, event.invokeId, kernelCode(ZelCode::invalidOffset), 0, nullptr);
                return;
            }
            if (data.size() != 4 || event.readLength < kDisplayTextMinimum) refuse(ZelCode::badLength);
            answer = textAnswer(groupDisplayText(channel, getInt32(data.data())), event.readLength);
            break;
        default:
            globalLog.error("KernelInterfaceNc2::executeEventReadwrite: unhandeled groupRange=%d",
                            static_cast<int32_t>(range));
            server->ZelReadWriteRes(event.source, event.invokeId, kernelCode(ZelCode::invalidOffset), 0, nullptr);
            return;
        }
        server->ZelReadWriteRes(event.source, event.invokeId, kernelCode(ZelCode::ok), static_cast<uint32_t>(answer.size()),
                                answer.data());
    } catch (const ExceptionZel& e) {
        globalLog.debugKiIO("KernelInterfaceNc2::executeEventReadwrite invokeId=%d indexGroup=%d indexOffset=%d "
                            "readLength=%d writeLength=%d",
                            static_cast<int32_t>(event.invokeId), static_cast<int32_t>(event.indexGroup),
                            static_cast<int32_t>(event.indexOffset), static_cast<int32_t>(event.readLength),
                            static_cast<int32_t>(event.writeLength));
        globalLog.error("KernelInterfaceNc2::executeEventReadwrite: ZelError: %s (%d)", e.text.c_str(), e.code);
        server->ZelReadWriteRes(event.source, event.invokeId, static_cast<uint32_t>(e.code), 0, nullptr);
    }
}

} // namespace Karsto
