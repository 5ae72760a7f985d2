#pragma once
// One NC channel of the kernel: it owns the channel's NC output, G-code processor and
// stack machine (registered as a controller task), loads programs, stops and resets the
// channel, reports the task's state words to the kernel and sends the NC record stream
// to the channel's first axis group. When the kernel's record buffer is full, records
// are parked in order and the program waits (wait counter recordBuffer) until the
// kernel link's event pass has sent them all.
//
// Used only on the controller thread.

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "geometry/block_key.h"
#include "geometry/point3.h"
#include "host/controller_task.h"
#include "host/kernel/group_nc2.h"
#include "host/kernel/mfunc_desc.h"
#include "host/kernel/nc2_record.h"

namespace Karsto {

class GProcessorNc2;
class KernelInterfaceNc2;
class NInterfaceNc2;
class ScannerInputFile;

// The answer to the kernel's line-information read: 268 bytes on the wire.
struct LineInfo {
    static constexpr size_t kTextSize = 260;
    static constexpr int32_t kKindSourceLine = 2;
    static constexpr int32_t kKindError = 3;
    int32_t kind = 0;
    int32_t value = 0;
    std::array<char, kTextSize> text{}; // NUL-terminated, cut to fit
};

class ChannelNc2 {
public:
    // Index groups (plus the channel or group id) and offsets this channel writes.
    static constexpr uint32_t kStateGroupBase = 0x2100;
    static constexpr uint32_t kResetGroupBase = 0x2200;
    static constexpr uint32_t kRecordGroupBase = 0x3200;
    static constexpr uint32_t kEventGroup = 0x1408;
    static constexpr uint32_t kOffsetErrorCode = 1;
    static constexpr uint32_t kOffsetStateWord = 3;
    static constexpr uint32_t kOffsetProgramPath = 7;
    static constexpr uint32_t kOffsetChannelReset = 0x0F;
    // The event the axis query writes: type, channel id, 0.
    static constexpr int32_t kAxisQueryEvent = 6;
    static constexpr int kMaxMFuncs = Nc2Record::kMFuncSlots;

    // Builds output, processor and machine, adds the machine as task `name` and reads the
    // tool data from "<dataPath>/<id>.WZ" (a missing file leaves the table empty). On a
    // throw nothing of it is left behind: the task is removed and the tool-data file is
    // not written back.
    ChannelNc2(KernelInterfaceNc2* kernel_, int32_t id_, const std::string& name_, int32_t bufferSize_,
               int32_t itpType_);
    // Removes the task from the controller; the processor writes its tool data back.
    virtual ~ChannelNc2();
    ChannelNc2(const ChannelNc2&) = delete;
    ChannelNc2& operator=(const ChannelNc2&) = delete;

    // Takes ownership; replaces a group with the same id.
    void groupAdd(std::unique_ptr<GroupNc2> group);
    // Stores a copy under its number, replacing an earlier one.
    void mFuncDescAdd(const MFuncDesc& desc);
    void mFuncDescClear() { mFuncDescs.clear(); }
    // The description of the M number, or null.
    const MFuncDesc* mFuncDesc(int32_t nr) const {
        auto found = mFuncDescs.find(nr);
        return found != mFuncDescs.end() ? &found->second : nullptr;
    }

    // Loads and compiles the file into the task and tells the kernel its path. A load
    // or compile error fails the task and is thrown on.
    void programLoad(const std::string& path);
    // Group function stop, parked records dropped, machine unloaded, task undefined.
    void stop();
    // Group function reset and the kernel's channel reset (a failure is only logged),
    // the program path emptied, then as stop without its group function.
    void reset();

    // Reports the task's state to the kernel when it changed since the last report.
    void stateUpdate();
    // Writes one state word (offset kOffsetStateWord) and logs it with the result.
    void stateSend(int32_t word);
    // Writes to the channel's state index group; returns the kernel's answer.
    uint32_t stateWrite(uint32_t offset, const void* data, uint32_t length);
    // The interpreter state code of the task's state, as the kernel reads it.
    int32_t itpState() const;

    // Sends a record to the first group, or parks it behind those already parked.
    // "Zel Error 0x%08lx" for any answer but success and buffer full.
    void send(const Nc2Record& record);
    // Parks a copy; the first parked record makes the program wait.
    void pendingAdd(const Nc2Record& record);
    // Sends parked records in order until the kernel's buffer is full again; an empty
    // list lets the program go on. Any other failure drops them all and fails the task.
    void pendingSend();
    // Drops every parked record and lets the program go on.
    void pendingClear();
    bool pendingEmpty() const { return pending.empty(); }
    size_t pendingCount() const { return pending.size(); }

    // Asks the kernel for the axis positions (answered by an NC command event).
    void eventWrite();

    // The loaded source's text around an offset of its include-expanded text: from the
    // start of the offset's line, linesBefore lines further back, to the end of its line
    // with its line feed, linesAfter lines further on. Empty without a file and for an
    // offset outside the text.
    std::string lineText(int32_t offset, int32_t linesBefore, int32_t linesAfter) const;
    // Offset -1 asks for currentLine.
    LineInfo lineInfo(int32_t offset) const;

    // Record builders. Each fills the header from currentOrigin and the serial and hands
    // the record to send. q holds q1 to q5.
    using QValues = std::span<const double, Nc2Record::kQCount>;
    void lineSend(const Point3& end, double speed, QValues q, uint64_t serial);
    void circleSend(const Point3& end, const Point3& centre, const Point3& rotation, QValues q, double speed,
                    int32_t plane, uint64_t serial);
    void helixSend(const Point3& end, const Point3& centre, const Point3& rotation, double risePerRadian, QValues q,
                   double speed, int32_t plane, uint64_t serial);
    void bezier3Send(const Point3& end, const Point3& inner1, const Point3& inner2, QValues q, double speed,
                     uint64_t serial);
    void bezier5Send(const Point3& end, const Point3& inner1, const Point3& inner2, const Point3& inner3,
                     const Point3& inner4, QValues q, double speed, uint64_t serial);
    void auxaxisSend(const Point3& current, QValues q, double speed, uint64_t serial);
    void startPosSend(const Point3& start, QValues q, uint64_t serial);
    void stopSend(uint64_t serial);
    // A stop, then the dwell; both with the serial.
    void waitSend(double seconds, uint64_t serial);
    void syncSend(uint64_t serial);
    // Nothing for an empty list unless the kind is toolReset; more than eight numbers
    // raise "Limitation of M-Functions in NC2 exceeded (%d <= %d)" and send nothing.
    void mfuncSend(Nc2MFuncKind kind, std::span<const int32_t> numbers, uint64_t serial);
    void spindelSend(double s, uint64_t serial);
    void hvalueSend(int32_t h, uint64_t serial);
    void toolNrSend(int32_t toolNumber, uint64_t serial);
    void ipolRulesSend(int32_t feedType, int32_t linear, uint64_t serial);
    // The text is cut after 80 characters.
    void msgSend(std::string_view text, uint64_t serial);
    // data: the 96-byte block of a kernel function.
    void funcSend(std::span<const uint8_t> data, uint64_t serial);
    void valueSend(int32_t value, uint64_t serial);
    // H 0, spindle S 0, tool number 0 and the M-function tool reset, all with the serial.
    void toolReset(uint64_t serial);
    // The plane code of a unit arc axis: 3 for exactly x, 2 for y, 1 for z, else 0.
    static int32_t planeCode(const Point3& unitAxis);

    KernelInterfaceNc2* kernel; // not owned
    int32_t id;
    std::string name;
    int32_t bufferSize;
    int32_t itpType;
    // Declared before the processor, whose queue delivers to it: it goes last.
    std::unique_ptr<NInterfaceNc2> output;
    std::unique_ptr<GProcessorNc2> processor;
    std::map<int32_t, MFuncDesc> mFuncDescs;
    ControllerTask* task = nullptr; // the machine is owned through it
    StackmachineState lastState = StackmachineState::undefined;
    std::map<int32_t, std::unique_ptr<GroupNc2>> groups; // by id: the first is the lowest
    // The command being sent; its span and block number go into every record header.
    BlockOrigin currentOrigin;
    // Set by the kernel's NC command event; the line lineInfo(-1) asks for.
    int32_t currentLine = 0;
    std::shared_ptr<ScannerInputFile> file;
    // Copies of the records the kernel had no room for, oldest first.
    std::deque<Nc2Record> pending;

protected:
    // The read-write of one record to the first group; the kernel's answer. Tests and
    // the benchmark replace it to record or count the records without a kernel.
    virtual uint32_t recordWrite(const Nc2Record& record);

private:
    // A record of the type with its header filled in.
    Nc2Record recordBegin(Nc2RecordType type, uint64_t serial, bool bezier = false) const;
    Nc2Record geometryBegin(Nc2GeoSubtype subtype, const Point3& end, double speed, QValues q, uint64_t serial,
                            bool bezier = false) const;
    // The part of stop after its group function.
    void stopTail();
    // Takes the recordBuffer counter again after a reset or unload of the machine gave
    // it back while records are still parked.
    void pendingCounterRestore();
};

} // namespace Karsto
