#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "channel_test_support.h"
#include "core/allocation_count.h"
#include "core/exception.h"
#include "core/machine_test_support.h"
#include "geometry/geo_bezier.h"
#include "geometry/geo_helix.h"
#include "geometry/geo_line.h"
#include "geometry/interpolation_axes.h"
#include "geometry/ncmd.h"
#include "host/kernel/mfunc_desc.h"
#include "host/kernel/ninterface_nc2.h"
#include "host/zel/vek_types.h"

namespace KernelTest {
namespace {

using namespace Karsto;
using test::LogCapture;

SourceSpan spanAt(int32_t line) {
    SourcePosition begin;
    begin.file = SharedString("p.jyx");
    begin.line = line;
    begin.column = 1;
    begin.offset = 10 * line;
    begin.inputOffset = 10 * line;
    return SourceSpan(begin, begin);
}

BlockOrigin originAt(int32_t line) { return {spanAt(line), static_cast<double>(line * 10)}; }
BlockKey keyOf(uint64_t counter) { return {counter, 0.0}; }

constexpr FeedParams kFeed{10.0, 0.0};

class AxesStub final : public InterpolationAxes {
public:
    size_t axisCount() const override { return 5; }
};

class Output : public ChannelFixture {
protected:
    void SetUp() override {
        ChannelFixture::SetUp();
        channel = channelAdd(3, "Kanal3", {4});
        out = channel->output.get();
    }

    std::unique_ptr<NCmd> line(uint64_t block, const Point3& from, const Point3& to, FeedParams feed = kFeed,
                               uint64_t serial = 1) {
        return std::make_unique<NCmdGeo>(
            std::make_unique<GeoLine>(Pose(from, {}), Pose(to, {}), feed, originAt(static_cast<int32_t>(block)),
                                      keyOf(block)),
            serial);
    }
    std::unique_ptr<NCmd> arc(uint64_t block, double radius, double angle, double height, uint64_t serial = 1) {
        return std::make_unique<NCmdGeo>(std::make_unique<GeoHelix>(Pose(radius, 0, 0), Point3{0, 0, 0},
                                                                    Point3{0, 0, 1}, angle, height, kFeed,
                                                                    originAt(static_cast<int32_t>(block)),
                                                                    keyOf(block)),
                                         serial);
    }
    std::unique_ptr<NCmd> mfunc(uint64_t block, double number, uint64_t serial, int32_t line = 0) {
        return std::make_unique<NCmdMFunc>(number, originAt(line ? line : static_cast<int32_t>(block)), keyOf(block),
                                           serial);
    }
    // Sends the block held by moving the delivery limit on.
    void flush(uint64_t next = 1000) { out->keySet(keyOf(next)); }

    std::vector<std::string> texts() {
        std::vector<std::string> all;
        for (const KernelSim::Nc2Decoded& r : sim_->records()) all.push_back(r.text());
        std::vector<std::string> fresh(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
        seen_ = all.size();
        return fresh;
    }

    ChannelNc2* channel = nullptr;
    NInterfaceNc2* out = nullptr;
    size_t seen_ = 0;
};

TEST_F(Output, AZeroVelocityFailsAfterTheMFunctionsBeforeTheMotion) {
    channel->mFuncDescAdd(descOf(8, 0, 0x02, {}));
    out->cmdAdd(mfunc(1, 8, 2));
    out->cmdAdd(line(1, {0, 0, 0}, {1, 0, 0}, FeedParams{0.0, 0.0}, 3));
    try {
        flush();
        FAIL() << "a line without velocity went out";
    } catch (const ExceptionRuntime& e) {
        EXPECT_EQ(e.message(), "Velocity must be set to a non-zero value");
    }
    EXPECT_EQ(texts(), (std::vector<std::string>{"L1 O10 N10 #2 mfunc kind=1 [8]"}));
    EXPECT_NE(out->geo, nullptr); // held until the next reset
    out->reset();
    EXPECT_EQ(out->geo, nullptr);
}

TEST_F(Output, TwoHandshakesInOneBlockConflict) {
    channel->mFuncDescAdd(descOf(7, 1, 0x02, {}));
    channel->mFuncDescAdd(descOf(17, 4, 0x08, {}));
    out->cmdAdd(mfunc(1, 7, 1));
    out->cmdAdd(mfunc(1, 17, 2));
    try {
        flush();
        FAIL() << "two handshakes were taken";
    } catch (const ExceptionRuntime& e) {
        EXPECT_EQ(e.message(), "Multiple conflicting handshake M-Functions in one block");
    }
    EXPECT_TRUE(texts().empty());
}

TEST_F(Output, MFunctionsWithoutADescriptionSendNothingButM30ResetsTheTool) {
    out->cmdAdd(mfunc(1, 5, 1));
    flush(2);
    EXPECT_TRUE(texts().empty());
    out->cmdAdd(mfunc(3, 30.7, 9, 6));
    flush();
    EXPECT_EQ(texts(), (std::vector<std::string>{
                           "L6 O60 N60 #9 hvalue 0",
                           "L6 O60 N60 #9 spindle s=0",
                           "L6 O60 N60 #9 toolNr 0",
                           "L6 O60 N60 #9 mfunc kind=99 []",
                       }));
}

// The output flags sort an M number and its reset list around the motion.
TEST_F(Output, MFunctionSetsGoAroundTheMotion) {
    channel->mFuncDescAdd(descOf(8, 0, 0x08, {9}));
    channel->mFuncDescAdd(descOf(7, 1, 0x02, {}));
    channel->mFuncDescAdd(descOf(3, 0, 0x22, {5, 4, 5}));
    out->cmdAdd(mfunc(1, 8, 2));
    out->cmdAdd(line(1, {0, 0, 0}, {1, 0, 0}, kFeed, 3));
    flush(2);
    EXPECT_EQ(texts(), (std::vector<std::string>{
                           "L1 O10 N10 #3 ipolRules 0 1 1 0 0 0",
                           "L1 O10 N10 #3 geo line end=(1,0,0) speed=10 q=(0,0,0,0,0)",
                           "L1 O10 N10 #2 mfunc kind=2 [9]",
                           "L1 O10 N10 #2 mfunc kind=1 [8]",
                       }));
    out->cmdAdd(mfunc(2, 7, 4));
    out->cmdAdd(mfunc(2, 3, 5, 7));
    out->cmdAdd(line(2, {1, 0, 0}, {2, 0, 0}, kFeed, 6));
    flush(3);
    EXPECT_EQ(texts(), (std::vector<std::string>{
                           "L7 O70 N70 #5 mfunc kind=2 [4,5]",
                           "L7 O70 N70 #5 mfunc kind=1 [3,7]",
                           "L7 O70 N70 #5 stop",
                           "L7 O70 N70 #5 mfunc kind=3 [7]",
                           "L2 O20 N20 #6 ipolRules 0 1 1 0 0 0",
                           "L2 O20 N20 #6 geo line end=(2,0,0) speed=10 q=(0,0,0,0,0)",
                           "L7 O70 N70 #5 mfunc kind=2 [3]",
                       }));
}

TEST_F(Output, EveryFlagsValueSortsIntoItsSets) {
    struct Case {
        int32_t fast;
        std::vector<std::string> records; // own number 3, reset list [5]
    };
    const Case cases[] = {
        {0x02, {"reset [5]", "set [3]", "MOTION"}},
        {0x08, {"MOTION", "reset [5]", "set [3]"}},
        {0x18, {"reset [3]", "MOTION", "reset [5]", "set [3]"}},
        {0x22, {"reset [5]", "set [3]", "MOTION", "reset [3]"}},
        {0x82, {"reset [5]", "set [3]", "MOTION", "reset [3]"}},
        {0x88, {"MOTION", "reset [5]", "set [3]", "reset [3]"}},
        {0x98, {"reset [3]", "MOTION", "reset [5]", "set [3]", "reset [3]"}},
        {0xA2, {"reset [5]", "set [3]", "MOTION", "reset [3]", "reset [3]"}},
        {0x01, {"MOTION"}},
    };
    uint64_t block = 1;
    for (const Case& c : cases) {
        channel->mFuncDescClear();
        channel->mFuncDescAdd(descOf(3, 0, c.fast, {5}));
        out->cmdAdd(mfunc(block, 3, 1));
        out->cmdAdd(line(block, {0, 0, 0}, {1, 0, 0}));
        flush(++block);
        std::vector<std::string> got;
        for (const std::string& t : texts()) {
            if (t.find("ipolRules") != std::string::npos) continue;
            if (t.find("geo line") != std::string::npos) got.push_back("MOTION");
            else if (t.find("kind=1 ") != std::string::npos) got.push_back("set " + t.substr(t.find('[')));
            else if (t.find("kind=2 ") != std::string::npos) got.push_back("reset " + t.substr(t.find('[')));
            else got.push_back(t);
        }
        EXPECT_EQ(got, c.records) << std::hex << c.fast;
    }
}

TEST_F(Output, InterpolationRulesFollowTheElement) {
    out->cmdAdd(line(1, {0, 0, 0}, {1, 0, 0}, FeedParams::rapid()));
    flush(2);
    out->cmdAdd(line(2, {1, 0, 0}, {2, 0, 0}));
    flush(3);
    out->cmdAdd(arc(3, 1.0, 1.0, 0.0));
    flush(4);
    std::vector<std::string> rules;
    for (const std::string& t : texts())
        if (t.find("ipolRules") != std::string::npos) rules.push_back(t.substr(t.find("ipolRules")));
    EXPECT_EQ(rules, (std::vector<std::string>{"ipolRules 1 1 1 0 0 0", "ipolRules 0 1 1 0 0 0",
                                               "ipolRules 0 0 1 0 0 0"}));
}

// The automatic accurate stop at the corner between the last element and the next.
TEST_F(Output, AutomaticAccurateStopDependsOnCornerAndLimit) {
    struct Case {
        Point3 nextEnd; // from (1, 0, 0), after a line along +x
        double limit;
        bool stop;
    };
    const Case cases[] = {
        {{2, 0, 0}, 179.0, false}, {{2, 0, 0}, 180.0, true},  // straight on: corner pi
        {{1, 1, 0}, 89.0, false},  {{1, 1, 0}, 90.0, true},   // right angle
        {{0, 0, 0}, 360.0, false},                           // full reversal: corner 0
    };
    uint64_t block = 1;
    for (const Case& c : cases) {
        out->lastDirection = Point3{};
        out->cmdAdd(std::make_unique<NCmdAutoAccurateStop>(c.limit, originAt(1), keyOf(block), 1));
        out->cmdAdd(line(block, {0, 0, 0}, {1, 0, 0}));
        flush(++block);
        texts();
        out->cmdAdd(std::make_unique<NCmdAutoAccurateStop>(c.limit, originAt(9), keyOf(block), 77));
        out->cmdAdd(line(block, {1, 0, 0}, c.nextEnd));
        flush(++block);
        const std::vector<std::string> got = texts();
        EXPECT_EQ(!got.empty() && got.front() == "L9 O90 N90 #77 stop", c.stop) << c.limit;
    }
    // Without the automatic stop held the direction is not kept.
    out->lastDirection = Point3{};
    out->cmdAdd(line(block, {0, 0, 0}, {1, 0, 0}));
    flush(++block);
    EXPECT_EQ(out->lastDirection.length(), 0.0);
}

TEST_F(Output, AnAuxiliaryAxisMoveAloneGoesOutAtTheCurrentPosition) {
    AxesStub axes;
    const std::array<double, 5> q{1, 2, 3, 4, 5};
    out->cmdAdd(std::make_unique<NCmdUpdateaxes>(Pose(7, 8, 9), q, keyOf(1)));
    const std::array<double, 5> from{1, 2, 3, 4, 5}, to{6, 7, 8, 9, 10};
    out->cmdAdd(std::make_unique<NCmdInterpolate>(&axes, from, to, 25.0, false, originAt(2), keyOf(2), 4));
    flush(3);
    EXPECT_EQ(texts(), (std::vector<std::string>{"L2 O20 N20 #4 geo auxaxis end=(7,8,9) speed=25 q=(6,7,8,9,10)"}));
    // A block search that resumes the move sends its start first.
    axes.setRestart(true);
    out->cmdAdd(std::make_unique<NCmdInterpolate>(&axes, from, to, 25.0, false, originAt(3), keyOf(3), 5));
    flush(4);
    EXPECT_EQ(texts(), (std::vector<std::string>{
                           "L3 O30 N30 #5 startPos (7,8,9) q=(1,2,3,4,5)",
                           "L3 O30 N30 #5 geo auxaxis end=(7,8,9) speed=25 q=(6,7,8,9,10)",
                       }));
    EXPECT_FALSE(axes.restart());
    // With a line in its block, the move's values go with the line.
    out->cmdAdd(std::make_unique<NCmdInterpolate>(&axes, to, from, 25.0, true, originAt(4), keyOf(4), 6));
    out->cmdAdd(line(4, {7, 8, 9}, {8, 8, 9}));
    flush(5);
    EXPECT_EQ(texts().back(), "L4 O40 N40 #1 geo line end=(8,8,9) speed=10 q=(1,2,3,4,5)");
}

TEST_F(Output, MessagesAndKernelFunctionsGoOutAtOnce) {
    out->cmdAdd(line(1, {0, 0, 0}, {1, 0, 0}));
    out->cmdAdd(std::make_unique<NCmdMsg>("hello", originAt(3), keyOf(1), 8));
    out->cmdAdd(std::make_unique<NCmdNc2Func>(Nc2FuncData(42), originAt(4), keyOf(1), 9));
    EXPECT_EQ(texts(), (std::vector<std::string>{"L3 O30 N30 #8 msg 'hello'", "L4 O40 N40 #9 func code=42"}));
    flush();
    EXPECT_EQ(texts().size(), 2u); // rules and line
}

TEST_F(Output, ArcsBelowTheTolerancesAreDroppedAndFlatHelicesAreCircles) {
    struct Case {
        double radius, angle, height;
        std::string expected; // the geometry kind sent, or "" for none
    };
    const Case cases[] = {
        {1e-7, 1.0, 0.0, ""},   {1.0, 1e-7, 0.0, ""},         {1.0, 1.0, 2e-6, "helix"},
        {1.0, 1.0, 5e-7, "circle"}, {1.0, 1.5, 3.0, "helix"}, {1.0, -1.0, 0.0, "circle"},
    };
    uint64_t block = 1;
    for (const Case& c : cases) {
        out->cmdAdd(arc(block, c.radius, c.angle, c.height));
        flush(++block);
        const std::vector<KernelSim::Nc2Decoded> records = sim_->records();
        const size_t before = seen_;
        texts();
        if (c.expected.empty()) {
            EXPECT_EQ(records.size(), before) << c.radius << " " << c.angle;
            continue;
        }
        ASSERT_EQ(records.size(), before + 2);
        const KernelSim::Nc2Decoded& g = records.back();
        EXPECT_EQ(g.subtype, c.expected == "helix" ? 3 : 2);
        EXPECT_EQ(g.plane, 1);
        EXPECT_DOUBLE_EQ(g.rotation.z, c.angle);
        if (c.height == 3.0) {
            EXPECT_DOUBLE_EQ(g.rise, 2.0);
        }
    }
}

TEST_F(Output, ARestartSendsTheStartPositionOnItsSideOfTheRules) {
    auto restarted = [](std::unique_ptr<NCmd> cmd) {
        static_cast<NCmdGeo&>(*cmd).geo().setRestart(true);
        return cmd;
    };
    out->cmdAdd(restarted(line(1, {1, 2, 3}, {4, 5, 6})));
    flush(2);
    std::vector<std::string> got = texts();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], "L1 O10 N10 #1 startPos (1,2,3) q=(0,0,0,0,0)");
    EXPECT_NE(got[1].find("ipolRules"), std::string::npos);

    std::vector<Point3> inner{{1, 1, 0}, {2, 1, 0}};
    out->cmdAdd(restarted(std::make_unique<NCmdGeo>(std::make_unique<GeoBezier>(
        Pose(4, 5, 6), Pose(3, 0, 0), inner, kFeed, originAt(2), keyOf(2)))));
    flush(3);
    got = texts();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_NE(got[0].find("ipolRules 0 0"), std::string::npos);
    EXPECT_EQ(got[1], "L2 O20 N20 #0 startPos (4,5,6) q=(0,0,0,0,0)");
    EXPECT_EQ(got[2], "L2 O20 N20 #0 geo bezier3 end=(3,0,0) speed=10 cp1=(1,1,0) cp2=(2,1,0) q=(0,0,0,0,0)");
}

TEST_F(Output, TheSyncPointKeepsTheOriginOfTheMFunctions) {
    out->cmdAdd(std::make_unique<NCmdSync>(originAt(5), keyOf(1), 4));
    flush(2);
    EXPECT_EQ(texts(), (std::vector<std::string>{"L-1 O-1 N0 #4 sync channel=3"}));
    channel->mFuncDescAdd(descOf(8, 0, 0x08, {}));
    out->cmdAdd(mfunc(2, 8, 6, 8));
    out->cmdAdd(mfunc(2, 9, 7, 9)); // no description, but the last M function
    out->cmdAdd(std::make_unique<NCmdSync>(originAt(5), keyOf(2), 11));
    flush(3);
    EXPECT_EQ(texts(), (std::vector<std::string>{"L9 O90 N90 #7 mfunc kind=1 [8]", "L9 O90 N90 #11 sync channel=3"}));
}

TEST_F(Output, HstDelDtgStopsAndDwellInTheirOrder) {
    out->cmdAdd(std::make_unique<NCmdWait>(0.5, originAt(1), keyOf(1), 1));
    out->cmdAdd(std::make_unique<NCmdAccurateStop>(originAt(1), keyOf(1), 2));
    out->cmdAdd(std::make_unique<NCmdDelDtg>(originAt(1), keyOf(1), 3));
    out->cmdAdd(std::make_unique<NCmdHst>('t', 12.9, originAt(1), keyOf(1), 4));
    out->cmdAdd(std::make_unique<NCmdHst>('s', 800.0, originAt(1), keyOf(1), 5));
    out->cmdAdd(std::make_unique<NCmdHst>('h', 3.0, originAt(1), keyOf(1), 6));
    out->cmdAdd(line(1, {0, 0, 0}, {1, 0, 0}, kFeed, 7));
    flush(2);
    EXPECT_EQ(texts(), (std::vector<std::string>{
                           "L1 O10 N10 #6 hvalue 3",
                           "L1 O10 N10 #5 spindle s=800",
                           "L1 O10 N10 #4 toolNr 12",
                           "L1 O10 N10 #3 value 2",
                           "L1 O10 N10 #7 ipolRules 0 1 1 0 0 0",
                           "L1 O10 N10 #7 geo line end=(1,0,0) speed=10 q=(0,0,0,0,0)",
                           "L1 O10 N10 #2 stop",
                           "L1 O10 N10 #1 stop",
                           "L1 O10 N10 #1 wait 0.5",
                       }));
}

TEST_F(Output, ProgramStartRulesResetTheToolFirst) {
    LogCapture log({LogLevel::debugKiGeo});
    out->ipolRulesSend();
    const std::vector<KernelSim::Nc2Decoded> records = sim_->records();
    std::vector<int32_t> types;
    for (const auto& r : records) {
        types.push_back(r.type);
        EXPECT_EQ(r.serial, 0u);
    }
    EXPECT_EQ(types, (std::vector<int32_t>{13, 7, 14, 5, 8}));
    EXPECT_EQ(records[3].mfuncKind, 99);
    EXPECT_EQ(records[4].ipol, (std::array<int32_t, 6>{0, 1, 1, 0, 0, 0}));
    EXPECT_EQ(log.lines.back(), "[debugKiGeo] NC2 ipolRules feedType=0 linear=1 uhrzeigersinn=1 genauhalt=0 "
                                "eckenverzoegerung=0 radiuskorrektur=0");
}

TEST_F(Output, AKeyChangeFlushesAndTheKeyStartsOver) {
    out->cmdAdd(line(1, {0, 0, 0}, {1, 0, 0}));
    out->keySet(keyOf(1)); // the same key: nothing goes
    EXPECT_TRUE(texts().empty());
    out->cmdAdd(line(2, {1, 0, 0}, {2, 0, 0})); // another key flushes block 1
    EXPECT_EQ(texts().size(), 2u);
    flush(3);
    EXPECT_EQ(texts().size(), 2u);
    EXPECT_EQ(out->currentKey, BlockKey::start());
    EXPECT_EQ(out->currentPose.x, 2.0);
    flush(4); // an empty flush sends nothing
    EXPECT_TRUE(texts().empty());
}

// The channel's record write replaced by a list of the record types, kept in place: the
// record path without sockets.
class TypeListChannel final : public ChannelNc2 {
public:
    using ChannelNc2::ChannelNc2;
    std::array<int32_t, 32> types{};
    size_t count = 0;

protected:
    uint32_t recordWrite(const Nc2Record& record) override {
        const std::span<const uint8_t> bytes = record.bytes();
        if (count < types.size()) types[count++] = static_cast<int32_t>(vekGet32(bytes.data()));
        return 0;
    }
};

TEST_F(ChannelFixture, FlushingABlockAllocatesNothing) {
    auto* channel = new TypeListChannel(kernel_.get(), 7, "Kanal7", 65536, 0);
    kernel_->channelAdd(channel);
    channel->groupAdd(std::make_unique<GroupNc2>(1, 1, "G1", channel, 0));
    channel->mFuncDescAdd(descOf(8, 0, 0x22, {9}));
    NInterfaceNc2& out = *channel->output;
    auto block = [&out](uint64_t k) {
        out.cmdAdd(std::make_unique<NCmdMFunc>(8.0, originAt(1), keyOf(k), k));
        out.cmdAdd(std::make_unique<NCmdWait>(0.1, originAt(1), keyOf(k), k));
        out.cmdAdd(std::make_unique<NCmdGeo>(std::make_unique<GeoLine>(Pose(0, 0, 0), Pose(1, 1, 0), kFeed,
                                                                       originAt(1), keyOf(k)),
                                             k));
    };
    block(1);
    out.keySet(keyOf(2)); // the first flush sizes the M-function sets
    block(2);
    channel->count = 0;
    const int64_t before = test::allocationCount();
    out.keySet(keyOf(3));
    EXPECT_EQ(test::allocationCount(), before);
    // Reset and set before the motion, rules, line, stop and wait, reset after it.
    EXPECT_EQ(std::vector<int32_t>(channel->types.begin(), channel->types.begin() + static_cast<std::ptrdiff_t>(channel->count)),
              (std::vector<int32_t>{5, 5, 8, 2, 11, 6, 5}));
}

} // namespace
} // namespace KernelTest
