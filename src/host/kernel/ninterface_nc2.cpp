#include "host/kernel/ninterface_nc2.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/exception.h"
#include "core/real_truncation.h"
#include "geometry/geo_bezier.h"
#include "geometry/geo_helix.h"
#include "geometry/geo_line.h"
#include "geometry/interpolation_axes.h"
#include "host/kernel/channel_nc2.h"

namespace Karsto {

namespace {

// Lengths, radii, sweeps and heights at or below this are degenerate.
constexpr double kGeoTolerance = 1e-6;
// How far rounding may carry the dot product of two unit vectors beyond +-1.
constexpr double kDotSlack = 1e-8;
// The M number whose output also resets tool, spindle and H value in the kernel.
constexpr int32_t kMProgramEnd = 30;
// The handshake types: the test before the motion, or after it.
constexpr int32_t kHskBefore = 1;
constexpr int32_t kHskAfter = 4;
// The value record of delete distance to go.
constexpr int32_t kValueDeleteDistanceToGo = 2;
// Interpolation-rules words: feed type and linear.
constexpr int32_t kFeedTypeFeed = 0;
constexpr int32_t kFeedTypeRapid = 1;
constexpr int32_t kLinear = 1;
constexpr int32_t kNotLinear = 0;

// Where the description's output flags put an M number and the numbers it resets; a
// flags value not listed puts them nowhere.
enum MSetBit : uint8_t {
    kSetBefore = 1u << 0,
    kSetAfter = 1u << 1,
    kResetBefore = 1u << 2,
    kResetAfter = 1u << 3,
    kResetAtEnd = 1u << 4,
};
struct FastRule {
    int32_t fast;
    uint8_t own;        // sets of the number itself
    uint8_t resetList;  // sets of the numbers in its reset list
};
constexpr FastRule kFastRules[] = {
    {0x02, kSetBefore, kResetBefore},
    {0x08, kSetAfter, kResetAfter},
    {0x18, kSetAfter | kResetBefore, kResetAfter},
    {0x22, kSetBefore | kResetAfter, kResetBefore},
    {0x82, kSetBefore | kResetAtEnd, kResetBefore},
    {0x88, kSetAfter | kResetAtEnd, kResetAfter},
    {0x98, kSetAfter | kResetBefore | kResetAtEnd, kResetAfter},
    {0xA2, kSetBefore | kResetAfter | kResetAtEnd, kResetBefore},
};

const FastRule* fastRule(int32_t fast) {
    for (const FastRule& rule : kFastRules)
        if (rule.fast == fast) return &rule;
    return nullptr;
}

} // namespace

NInterfaceNc2::NInterfaceNc2(ChannelNc2* channel_) : channel(channel_) {}

NInterfaceNc2::~NInterfaceNc2() { reset(); }

void NInterfaceNc2::reset() {
    geo.reset();
    wait.reset();
    hValue.reset();
    sValue.reset();
    tValue.reset();
    mFuncs.clear();
    interpolate.reset();
    sync.reset();
    queryaxes.reset();
    accurateStop.reset();
    autoAccurateStop.reset();
    delDtg.reset();
    currentKey = BlockKey::start();
    blockStartQ.fill(0.0);
    interpolationPending = false;
}

template <class Command>
static std::unique_ptr<Command> downcast(std::unique_ptr<NCmd>& cmd) {
    return std::unique_ptr<Command>(static_cast<Command*>(cmd.release()));
}

void NInterfaceNc2::cmdAdd(std::unique_ptr<NCmd> cmd) {
    if (cmd->key() != currentKey) {
        blockFlush();
        currentKey = cmd->key();
    }
    switch (cmd->kind()) {
    case NCmdKind::geo: geo = downcast<NCmdGeo>(cmd); break;
    case NCmdKind::wait: wait = downcast<NCmdWait>(cmd); break;
    case NCmdKind::mFunc: mFuncs.push_back(downcast<NCmdMFunc>(cmd)); break;
    case NCmdKind::hst: {
        auto hst = downcast<NCmdHst>(cmd);
        switch (hst->letter()) {
        case 'h': hValue = std::move(hst); break;
        case 's': sValue = std::move(hst); break;
        case 't': tValue = std::move(hst); break;
        default: break; // no such function: dropped
        }
        break;
    }
    case NCmdKind::sync: sync = downcast<NCmdSync>(cmd); break;
    case NCmdKind::queryaxes: queryaxes = downcast<NCmdQueryaxes>(cmd); break;
    case NCmdKind::interpolate: interpolate = downcast<NCmdInterpolate>(cmd); break;
    case NCmdKind::msg: {
        const auto& msg = static_cast<const NCmdMsg&>(*cmd);
        channel->currentOrigin = msg.origin();
        channel->msgSend(msg.text(), msg.serial());
        break;
    }
    case NCmdKind::nc2Func: {
        const auto& func = static_cast<const NCmdNc2Func&>(*cmd);
        channel->currentOrigin = func.origin();
        channel->funcSend(func.data(), func.serial());
        break;
    }
    case NCmdKind::accurateStop: accurateStop = downcast<NCmdAccurateStop>(cmd); break;
    case NCmdKind::autoAccurateStop: autoAccurateStop = downcast<NCmdAutoAccurateStop>(cmd); break;
    case NCmdKind::delDtg: delDtg = downcast<NCmdDelDtg>(cmd); break;
    case NCmdKind::updateaxes: {
        const auto& update = static_cast<const NCmdUpdateaxes&>(*cmd);
        currentPose = update.frame();
        std::copy(update.q().begin(), update.q().end(), currentQ.begin());
        break;
    }
    }
}

void NInterfaceNc2::keySet(const BlockKey& key) {
    if (key == currentKey) return;
    currentKey = key;
    blockFlush();
}

void NInterfaceNc2::ipolRulesSend() {
    channel->toolReset(kSerialUndelivered);
    channel->ipolRulesSend(kFeedTypeFeed, kLinear, kSerialUndelivered);
}

void NInterfaceNc2::mSetInsert(MSet set, int32_t number) {
    std::vector<int32_t>& numbers = mSets_[static_cast<size_t>(set)];
    auto at = std::lower_bound(numbers.begin(), numbers.end(), number);
    if (at == numbers.end() || *at != number) numbers.insert(at, number);
}

void NInterfaceNc2::mSetSend(MSet set, Nc2MFuncKind kind) {
    channel->currentOrigin = mOrigin_;
    channel->mfuncSend(kind, mSets_[static_cast<size_t>(set)], mSerial_);
}

void NInterfaceNc2::mFunctionsSort(int32_t& hsk, int32_t& hskNumber) {
    for (auto& numbers : mSets_)
        numbers.clear();
    bool handshake = false;
    for (const auto& m : mFuncs) {
        const int32_t number = truncateToS32(m->number());
        if (number == kMProgramEnd) {
            channel->currentOrigin = m->origin();
            channel->toolReset(m->serial());
        }
        const MFuncDesc* desc = channel->mFuncDesc(number);
        if (desc == nullptr) continue;
        if (desc->hsk() != 0) {
            checkRuntime(!handshake, "Multiple conflicting handshake M-Functions in one block");
            handshake = true;
            hsk = desc->hsk();
            hskNumber = number;
        }
        const FastRule* rule = fastRule(desc->fast());
        if (rule == nullptr) continue;
        static constexpr MSet kSets[] = {MSet::setBefore, MSet::setAfter, MSet::resetBefore, MSet::resetAfter,
                                         MSet::resetAtEnd};
        for (size_t s = 0; s < kMSetCount; ++s) {
            const auto bit = static_cast<uint8_t>(1u << s);
            if (rule->own & bit) mSetInsert(kSets[s], number);
            if (rule->resetList & bit)
                for (int32_t reset : desc->resetList())
                    mSetInsert(kSets[s], reset);
        }
    }
    if (mFuncs.empty()) {
        mOrigin_ = BlockOrigin();
        mSerial_ = kSerialUndelivered;
    } else {
        mOrigin_ = mFuncs.back()->origin();
        mSerial_ = mFuncs.back()->serial();
    }
}

void NInterfaceNc2::autoStopCheck(const Point3& startTangent) {
    if (!autoAccurateStop || lastDirection.length() <= kGeoTolerance) return;
    double d = Point3::dot(startTangent.normalized(), lastDirection.normalized());
    if (d > 1.0 && d <= 1.0 + kDotSlack) d = 1.0;
    if (d < -1.0 && d >= -1.0 - kDotSlack) d = -1.0;
    const double corner = std::numbers::pi - std::acos(d);
    if (corner > 0.0 && corner - autoAccurateStop->angleLimit() * std::numbers::pi / 180.0 <= kGeoTolerance) {
        channel->currentOrigin = autoAccurateStop->origin();
        channel->stopSend(autoAccurateStop->serial());
    }
}

void NInterfaceNc2::motionSend() {
    if (geo) {
        Geo& element = geo->geo();
        const uint64_t serial = geo->serial();
        channel->currentOrigin = geo->origin();
        checkRuntime(element.feed().velocity > 0.0, "Velocity must be set to a non-zero value");
        currentPose = element.end();
        autoStopCheck(element.startTangent());
        channel->currentOrigin = geo->origin();
        const double speed = element.feed().velocity;
        const Point3 end = element.end().position();
        bool sent = false;
        if (const auto* line = dynamic_cast<const GeoLine*>(&element)) {
            if (element.restart()) {
                channel->startPosSend(line->start().position(), interpolationPending ? blockStartQ : currentQ, serial);
                element.setRestart(false);
            }
            channel->ipolRulesSend(element.feed().isRapid() ? kFeedTypeRapid : kFeedTypeFeed, kLinear, serial);
            channel->lineSend(end, speed, currentQ, serial);
            sent = true;
            interpolationPending = false;
        } else if (const auto* arc = dynamic_cast<const GeoHelix*>(&element)) {
            if (arc->radius() > kGeoTolerance && std::abs(arc->angle()) > kGeoTolerance) {
                const Point3 axis = arc->normal().normalized();
                const int32_t plane = ChannelNc2::planeCode(axis);
                if (element.restart()) {
                    channel->startPosSend(arc->start().position(), currentQ, serial);
                    element.setRestart(false);
                }
                channel->ipolRulesSend(kFeedTypeFeed, kNotLinear, serial);
                const Point3 rotation = Point3::scale(axis, arc->angle());
                if (std::abs(arc->height()) < kGeoTolerance)
                    channel->circleSend(end, arc->centre(), rotation, currentQ, speed, plane, serial);
                else
                    channel->helixSend(end, arc->centre(), rotation, arc->height() / arc->angle(), currentQ, speed,
                                       plane, serial);
                sent = true;
                interpolationPending = false;
            }
        } else if (const auto* bezier = dynamic_cast<const GeoBezier*>(&element)) {
            channel->ipolRulesSend(kFeedTypeFeed, kNotLinear, serial);
            if (element.restart()) {
                channel->startPosSend(bezier->start().position(), currentQ, serial);
                element.setRestart(false);
            }
            const std::vector<Point3>& inner = bezier->innerPoints();
            if (inner.size() == 2) {
                channel->bezier3Send(end, inner[0], inner[1], currentQ, speed, serial);
                sent = true;
            } else if (inner.size() == 4) {
                channel->bezier5Send(end, inner[0], inner[1], inner[2], inner[3], currentQ, speed, serial);
                sent = true;
            }
            interpolationPending = false;
        }
        if (sent && autoAccurateStop) lastDirection = element.endTangent();
    } else if (interpolate) {
        const uint64_t serial = interpolate->serial();
        channel->currentOrigin = interpolate->origin();
        const Point3 position = currentPose.position();
        InterpolationAxes* axes = interpolate->axes();
        if (axes != nullptr && axes->restart()) {
            channel->startPosSend(position, blockStartQ, serial);
            axes->setRestart(false);
        }
        QArray to{};
        const std::span<const double> target = interpolate->to();
        std::copy_n(target.begin(), std::min(target.size(), kQCount), to.begin());
        channel->auxaxisSend(position, to, interpolate->speed(), serial);
    }
}

void NInterfaceNc2::blockFlush() {
    // 1. The M functions sorted into their sets (the tool reset of M30 goes at once).
    int32_t hsk = 0;
    int32_t hskNumber = 0;
    mFunctionsSort(hsk, hskNumber);
    const int32_t single[1] = {hskNumber};
    // 2. Before the motion.
    mSetSend(MSet::resetBefore, Nc2MFuncKind::reset);
    mSetSend(MSet::setBefore, Nc2MFuncKind::set);
    if (hsk == kHskBefore) {
        channel->stopSend(mSerial_);
        channel->mfuncSend(Nc2MFuncKind::test, single, mSerial_);
    }
    // 3. H, S and T.
    if (hValue) {
        channel->currentOrigin = hValue->origin();
        channel->hvalueSend(truncateToS32(hValue->value()), hValue->serial());
    }
    if (sValue) {
        channel->currentOrigin = sValue->origin();
        channel->spindelSend(sValue->value(), sValue->serial());
    }
    if (tValue) {
        channel->currentOrigin = tValue->origin();
        channel->toolNrSend(truncateToS32(tValue->value()), tValue->serial());
    }
    // 4. The auxiliary-axis move goes with the block's geometry.
    if (interpolate) {
        const std::span<const double> from = interpolate->from();
        const std::span<const double> to = interpolate->to();
        std::copy_n(from.begin(), std::min(from.size(), kQCount), blockStartQ.begin());
        std::copy_n(to.begin(), std::min(to.size(), kQCount), currentQ.begin());
        interpolationPending = true;
    }
    // 5. Delete distance to go.
    if (delDtg) {
        channel->currentOrigin = delDtg->origin();
        channel->valueSend(kValueDeleteDistanceToGo, delDtg->serial());
    }
    // 6. The motion.
    motionSend();
    // 7, 8. Accurate stop and dwell.
    if (accurateStop) {
        channel->currentOrigin = accurateStop->origin();
        channel->stopSend(accurateStop->serial());
    }
    if (wait) {
        channel->currentOrigin = wait->origin();
        channel->waitSend(wait->seconds(), wait->serial());
    }
    // 9. After the motion.
    mSetSend(MSet::resetAfter, Nc2MFuncKind::reset);
    mSetSend(MSet::setAfter, Nc2MFuncKind::set);
    if (hsk == kHskAfter) {
        channel->stopSend(mSerial_);
        channel->mfuncSend(Nc2MFuncKind::test, single, mSerial_);
    }
    mSetSend(MSet::resetAtEnd, Nc2MFuncKind::reset);
    // 10, 11. The sync point keeps the M functions' origin.
    if (sync) channel->syncSend(sync->serial());
    if (queryaxes) channel->eventWrite();
    // 12.
    reset();
}

} // namespace Karsto
