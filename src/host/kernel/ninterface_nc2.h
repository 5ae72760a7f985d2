#pragma once
// The NC output of one kernel channel. It holds the commands of one block key and, when
// the key changes, sends them as records through its channel in a fixed order: M
// functions before the motion, H, S and T, delete distance to go, the motion (with
// automatic accurate stop, restart position and interpolation rules), accurate stop,
// dwell, M functions after the motion, synchronisation and axis query. Messages and
// kernel functions go out at once.
//
// It runs for every NC command: dispatch is by the command's kind, the slots and sets
// keep their storage from block to block, and log lines are built only when on.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "geometry/block_key.h"
#include "geometry/ncmd.h"
#include "geometry/ninterface.h"
#include "geometry/point3.h"
#include "geometry/pose.h"
#include "host/kernel/nc2_record.h"

namespace Karsto {

class ChannelNc2;

class NInterfaceNc2 final : public NInterface {
public:
    static constexpr size_t kQCount = 5;
    using QArray = std::array<double, kQCount>;

    explicit NInterfaceNc2(ChannelNc2* channel_);
    ~NInterfaceNc2() override;

    // Drops every held command; key, blockStartQ and the pending interpolation start
    // over. currentPose, currentQ and lastDirection stay.
    void reset() override;
    void keyReset() override { currentKey = BlockKey::start(); }
    // A command of another key first flushes the block held.
    void cmdAdd(std::unique_ptr<NCmd> cmd) override;
    // The tool reset and the default interpolation rules, at program start.
    void ipolRulesSend() override;
    void finish() override {}
    void keySet(const BlockKey& key) override;

    // Sends the held block as records and resets. A failure leaves the held commands
    // in place until the next reset.
    void blockFlush();

    BlockKey currentKey = BlockKey::start();
    std::unique_ptr<NCmdGeo> geo;
    std::unique_ptr<NCmdWait> wait;
    std::unique_ptr<NCmdHst> hValue;
    std::unique_ptr<NCmdHst> sValue;
    std::unique_ptr<NCmdHst> tValue;
    std::vector<std::unique_ptr<NCmdMFunc>> mFuncs; // in delivery order
    std::unique_ptr<NCmdInterpolate> interpolate;
    // The block's auxiliary-axis move has not yet gone out with a geometry record.
    bool interpolationPending = false;
    std::unique_ptr<NCmdSync> sync;
    std::unique_ptr<NCmdQueryaxes> queryaxes;
    std::unique_ptr<NCmdAccurateStop> accurateStop;
    std::unique_ptr<NCmdAutoAccurateStop> autoAccurateStop;
    // The end tangent of the last geometry sent under an automatic accurate stop.
    Point3 lastDirection;
    std::unique_ptr<NCmdDelDtg> delDtg;
    Pose currentPose;
    QArray currentQ{};
    QArray blockStartQ{};
    ChannelNc2* channel; // not owned

private:
    // The five sets M numbers are sorted into, each ascending without duplicates; their
    // storage is kept from block to block.
    enum class MSet : uint8_t { setBefore, setAfter, resetBefore, resetAfter, resetAtEnd };
    static constexpr size_t kMSetCount = 5;

    void mFunctionsSort(int32_t& hsk, int32_t& hskNumber);
    void mSetInsert(MSet set, int32_t number);
    void mSetSend(MSet set, Nc2MFuncKind kind);
    void motionSend();
    // The automatic accurate stop before an element starting along this tangent.
    void autoStopCheck(const Point3& startTangent);

    std::array<std::vector<int32_t>, kMSetCount> mSets_;
    // The origin and serial the M-function records and the sync record go out with.
    BlockOrigin mOrigin_;
    uint64_t mSerial_ = kSerialUndelivered;
};

} // namespace Karsto
