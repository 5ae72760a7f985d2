// The record builders of a channel: one Nc2Record per kernel command, built on the
// stack and handed to send. They run for every NC command, so the log lines are
// formatted only when their level is on.

#include <algorithm>

#include "core/exception.h"
#include "core/log.h"
#include "core/real_truncation.h"
#include "geometry/ncmd.h"
#include "host/kernel/channel_nc2.h"
#include "host/kernel/kernel_interface_nc2.h"
#include "host/kernel/zel_server_buffered.h"

namespace Karsto {

namespace {

// The Vek command the kernel returns when it reaches a synchronisation point.
constexpr uint16_t kSyncCommandId = 0x4016;
constexpr uint32_t kSyncDataLength = 88;
constexpr size_t kSyncEventType = 0;  // data offsets of the command
constexpr size_t kSyncChannelId = 8;
constexpr size_t kSyncReserved = 12;
constexpr int32_t kSyncEventReached = 0;
// The interpolation-rules words after feed type and linear: clockwise 1, then accurate
// stop, corner deceleration and radius correction 0.
constexpr int32_t kIpolClockwise = 1;

bool geoLogOn() { return globalLog.enabled(LogLevel::debugKiGeo); }

const char* mfuncKindName(Nc2MFuncKind kind) {
    switch (kind) {
    case Nc2MFuncKind::set: return "set";
    case Nc2MFuncKind::reset: return "reset";
    case Nc2MFuncKind::test: return "test";
    case Nc2MFuncKind::toolReset: break;
    }
    return "<unknown>";
}

} // namespace

Nc2Record ChannelNc2::recordBegin(Nc2RecordType type, uint64_t serial, bool bezier) const {
    Nc2Record record(type, bezier);
    const SourceSpan& span = currentOrigin.span;
    record.putInt32(Nc2Offset::sourceLine, span.valid ? span.begin.line : -1);
    record.putInt32(Nc2Offset::sourceOffset, span.valid ? span.begin.inputOffset : -1);
    record.putInt32(Nc2Offset::blockNumber, truncateToS32(currentOrigin.blockNumber));
    // A command that was never delivered carries the all-bits-set serial: 0 for the kernel.
    record.putUint32(Nc2Offset::serial, static_cast<int64_t>(serial) < 0 ? 0u : static_cast<uint32_t>(serial));
    return record;
}

Nc2Record ChannelNc2::geometryBegin(Nc2GeoSubtype subtype, const Point3& end, double speed, QValues q,
                                   uint64_t serial, bool bezier) const {
    Nc2Record record = recordBegin(Nc2RecordType::geometry, serial, bezier);
    record.putInt32(Nc2Offset::geoSubtype, static_cast<int32_t>(subtype));
    record.putPoint(Nc2Offset::geoEnd, end.x, end.y, end.z);
    record.putDouble(Nc2Offset::geoSpeed, speed);
    for (size_t i = 0; i < q.size(); ++i)
        record.putDouble(Nc2Offset::geoQ + 8 * i, q[i]);
    return record;
}

int32_t ChannelNc2::planeCode(const Point3& unitAxis) {
    if (unitAxis.x == 1.0 && unitAxis.y == 0.0 && unitAxis.z == 0.0) return 3;
    if (unitAxis.x == 0.0 && unitAxis.y == 1.0 && unitAxis.z == 0.0) return 2;
    if (unitAxis.x == 0.0 && unitAxis.y == 0.0 && unitAxis.z == 1.0) return 1;
    return 0;
}

void ChannelNc2::lineSend(const Point3& end, double speed, QValues q, uint64_t serial) {
    if (geoLogOn())
        globalLog.debugKiGeo("NC2 line x=%f y=%f z=%f q1=%f q2=%f q3=%f q4=%f q5=%f speed=%f", end.x, end.y, end.z,
                             q[0], q[1], q[2], q[3], q[4], speed);
    send(geometryBegin(Nc2GeoSubtype::line, end, speed, q, serial));
}

void ChannelNc2::circleSend(const Point3& end, const Point3& centre, const Point3& rotation, QValues q, double speed,
                            int32_t plane, uint64_t serial) {
    if (geoLogOn())
        globalLog.debugKiGeo("NC2 circle x=%f y=%f z=%f cx=%f cy=%f cz=%f tx=%f ty=%f tz=%f q1=%f q2=%f q3=%f "
                             "q4=%f q5=%f speed=%f",
                             end.x, end.y, end.z, centre.x, centre.y, centre.z, rotation.x, rotation.y, rotation.z,
                             q[0], q[1], q[2], q[3], q[4], speed);
    Nc2Record record = geometryBegin(Nc2GeoSubtype::circle, end, speed, q, serial);
    record.putInt32(Nc2Offset::geoPlane, plane);
    record.putPoint(Nc2Offset::geoCentre, centre.x, centre.y, centre.z);
    record.putPoint(Nc2Offset::geoRotation, rotation.x, rotation.y, rotation.z);
    send(record);
}

void ChannelNc2::helixSend(const Point3& end, const Point3& centre, const Point3& rotation, double risePerRadian,
                           QValues q, double speed, int32_t plane, uint64_t serial) {
    if (geoLogOn())
        globalLog.debugKiGeo("NC2 helix x=%f y=%f z=%f cx=%f cy=%f cz=%f tx=%f ty=%f tz=%f zPerRad=%f q1=%f q2=%f "
                             "q3=%f q4=%f q5=%f speed=%f",
                             end.x, end.y, end.z, centre.x, centre.y, centre.z, rotation.x, rotation.y, rotation.z,
                             risePerRadian, q[0], q[1], q[2], q[3], q[4], speed);
    Nc2Record record = geometryBegin(Nc2GeoSubtype::helix, end, speed, q, serial);
    record.putInt32(Nc2Offset::geoPlane, plane);
    record.putPoint(Nc2Offset::geoCentre, centre.x, centre.y, centre.z);
    record.putPoint(Nc2Offset::geoRotation, rotation.x, rotation.y, rotation.z);
    record.putDouble(Nc2Offset::geoRise, risePerRadian);
    send(record);
}

void ChannelNc2::bezier3Send(const Point3& end, const Point3& inner1, const Point3& inner2, QValues q, double speed,
                             uint64_t serial) {
    if (geoLogOn())
        globalLog.debugKiGeo("NC2 bezier x=%f y=%f z=%f cp1x=%f cp1y=%f cp1z=%f cp2x=%f cp2y=%f cp2z=%f q1=%f "
                             "q2=%f q3=%f q4=%f q5=%f speed=%f",
                             end.x, end.y, end.z, inner1.x, inner1.y, inner1.z, inner2.x, inner2.y, inner2.z, q[0],
                             q[1], q[2], q[3], q[4], speed);
    Nc2Record record = geometryBegin(Nc2GeoSubtype::bezier3, end, speed, q, serial, true);
    record.putPoint(Nc2Offset::geoInner1, inner1.x, inner1.y, inner1.z);
    record.putPoint(Nc2Offset::geoInner2, inner2.x, inner2.y, inner2.z);
    send(record);
}

void ChannelNc2::bezier5Send(const Point3& end, const Point3& inner1, const Point3& inner2, const Point3& inner3,
                             const Point3& inner4, QValues q, double speed, uint64_t serial) {
    if (geoLogOn())
        globalLog.debugKiGeo("NC2 bezier x=%f y=%f z=%f cp1x=%f cp1y=%f cp1z=%f cp2x=%f cp2y=%f cp2z=%f cp3x=%f "
                             "cp3y=%f cp3z=%f cp4x=%f cp4y=%f cp4z=%f q1=%f q2=%f q3=%f q4=%f q5=%f speed=%f",
                             end.x, end.y, end.z, inner1.x, inner1.y, inner1.z, inner2.x, inner2.y, inner2.z,
                             inner3.x, inner3.y, inner3.z, inner4.x, inner4.y, inner4.z, q[0], q[1], q[2], q[3],
                             q[4], speed);
    Nc2Record record = geometryBegin(Nc2GeoSubtype::bezier5, end, speed, q, serial, true);
    record.putPoint(Nc2Offset::geoInner1, inner1.x, inner1.y, inner1.z);
    record.putPoint(Nc2Offset::geoInner2, inner2.x, inner2.y, inner2.z);
    record.putPoint(Nc2Offset::geoInner3, inner3.x, inner3.y, inner3.z);
    record.putPoint(Nc2Offset::geoInner4, inner4.x, inner4.y, inner4.z);
    send(record);
}

void ChannelNc2::auxaxisSend(const Point3& current, QValues q, double speed, uint64_t serial) {
    if (geoLogOn())
        globalLog.debugKiGeo("NC2 auxaxis q1=%f q2=%f q3=%f q4=%f q5=%f speed=%f", q[0], q[1], q[2], q[3], q[4],
                             speed);
    send(geometryBegin(Nc2GeoSubtype::auxAxes, current, speed, q, serial));
}

void ChannelNc2::startPosSend(const Point3& start, QValues q, uint64_t serial) {
    Nc2Record record = recordBegin(Nc2RecordType::startPosition, serial);
    record.putPoint(Nc2Offset::startPos, start.x, start.y, start.z);
    for (size_t i = 0; i < q.size(); ++i)
        record.putDouble(Nc2Offset::startPosQ + 8 * i, q[i]);
    send(record);
}

void ChannelNc2::stopSend(uint64_t serial) {
    globalLog.debugKiGeo("NC2 stop");
    send(recordBegin(Nc2RecordType::stop, serial));
}

void ChannelNc2::waitSend(double seconds, uint64_t serial) {
    stopSend(serial);
    if (geoLogOn()) globalLog.debugKiGeo("NC2 wait delay=%f", seconds);
    Nc2Record record = recordBegin(Nc2RecordType::wait, serial);
    record.putDouble(Nc2Offset::waitSeconds, seconds);
    send(record);
}

void ChannelNc2::syncSend(uint64_t serial) {
    globalLog.debugKiGeo("NC2 sync");
    Nc2Record record = recordBegin(Nc2RecordType::sync, serial);
    // The kernel hands this command back to the interpreter's server at the point.
    VekHead head;
    kernel->server->VekMakeHead(head, kSyncCommandId, kSyncDataLength, kernel->serverAddress(), 0, 0, 0);
    std::array<uint8_t, kVekHeadSize> headBytes;
    vekEncodeHead(head, headBytes.data());
    record.putBytes(Nc2Offset::syncCommand, headBytes);
    const size_t data = Nc2Offset::syncCommand + kVekHeadSize;
    record.putInt32(data + kSyncEventType, kSyncEventReached);
    record.putInt32(data + kSyncChannelId, id);
    record.putInt32(data + kSyncReserved, 0);
    send(record);
}

void ChannelNc2::mfuncSend(Nc2MFuncKind kind, std::span<const int32_t> numbers, uint64_t serial) {
    if (numbers.empty() && kind != Nc2MFuncKind::toolReset) return;
    if (geoLogOn())
        for (int32_t number : numbers)
            globalLog.debugKiGeo("NC2 mfunc m%d %s (%d)", number, mfuncKindName(kind), static_cast<int32_t>(kind));
    if (numbers.size() > static_cast<size_t>(kMaxMFuncs))
        failRuntime("Limitation of M-Functions in NC2 exceeded (%d <= %d)", static_cast<int32_t>(numbers.size()),
                    kMaxMFuncs);
    Nc2Record record = recordBegin(Nc2RecordType::mFunctions, serial);
    record.putInt32(Nc2Offset::mfuncKind, static_cast<int32_t>(kind));
    for (size_t i = 0; i < static_cast<size_t>(kMaxMFuncs); ++i)
        record.putInt32(Nc2Offset::mfuncNumbers + 4 * i, i < numbers.size() ? numbers[i] : -1);
    send(record);
}

void ChannelNc2::spindelSend(double s, uint64_t serial) {
    if (geoLogOn()) globalLog.debugKiGeo("NC2 spindel subtype=%d gword=%d sword=%d", 0, 0, truncateToS32(s));
    Nc2Record record = recordBegin(Nc2RecordType::spindle, serial);
    record.putDouble(Nc2Offset::spindleS, s); // subtype and G word stay 0
    send(record);
}

void ChannelNc2::hvalueSend(int32_t h, uint64_t serial) {
    if (geoLogOn()) globalLog.debugKiGeo("NC2 hvalue %d", h);
    Nc2Record record = recordBegin(Nc2RecordType::hValue, serial);
    record.putInt32(Nc2Offset::intValue, h);
    send(record);
}

void ChannelNc2::toolNrSend(int32_t toolNumber, uint64_t serial) {
    if (geoLogOn()) globalLog.debugKiGeo("NC2 toolNr nr=%d", toolNumber);
    Nc2Record record = recordBegin(Nc2RecordType::toolNumber, serial);
    record.putInt32(Nc2Offset::intValue, toolNumber);
    send(record);
}

void ChannelNc2::ipolRulesSend(int32_t feedType, int32_t linear, uint64_t serial) {
    if (geoLogOn())
        globalLog.debugKiGeo("NC2 ipolRules feedType=%d linear=%d uhrzeigersinn=%d genauhalt=%d "
                             "eckenverzoegerung=%d radiuskorrektur=%d",
                             feedType, linear, kIpolClockwise, 0, 0, 0);
    Nc2Record record = recordBegin(Nc2RecordType::ipolRules, serial);
    const int32_t words[Nc2Record::kIpolWords] = {feedType, linear, kIpolClockwise, 0, 0, 0};
    for (size_t i = 0; i < std::size(words); ++i)
        record.putInt32(Nc2Offset::ipolFeedType + 4 * i, words[i]);
    send(record);
}

void ChannelNc2::msgSend(std::string_view text, uint64_t serial) {
    if (geoLogOn()) globalLog.debugKiGeo("NC2 msg str='%.*s'", static_cast<int>(text.size()), text.data());
    Nc2Record record = recordBegin(Nc2RecordType::function, serial);
    record.putInt32(Nc2Offset::msgCode, Nc2Record::kMsgFunctionCode);
    record.putInt32(Nc2Offset::msgLength, Nc2Record::kMsgTextLength);
    const std::string_view cut = text.substr(0, std::min(text.size(), Nc2Record::kMsgChars));
    record.putBytes(Nc2Offset::msgText, std::span(reinterpret_cast<const uint8_t*>(cut.data()), cut.size()));
    // The terminator at msgTerminator stays 0 from the zero fill.
    send(record);
}

void ChannelNc2::funcSend(std::span<const uint8_t> data, uint64_t serial) {
    globalLog.debugKiIO("ChannelNc2::funcSend");
    Nc2Record record = recordBegin(Nc2RecordType::function, serial);
    // The block is the kernel's; it is passed on as it is, never beyond its size.
    record.putBytes(Nc2Offset::funcData, data.first(std::min(data.size(), Nc2FuncData::kSize)));
    send(record);
}

void ChannelNc2::valueSend(int32_t value, uint64_t serial) {
    Nc2Record record = recordBegin(Nc2RecordType::value, serial);
    record.putInt32(Nc2Offset::intValue, value);
    send(record);
}

void ChannelNc2::toolReset(uint64_t serial) {
    hvalueSend(0, serial);
    spindelSend(0.0, serial);
    toolNrSend(0, serial);
    mfuncSend(Nc2MFuncKind::toolReset, {}, serial);
}

} // namespace Karsto
