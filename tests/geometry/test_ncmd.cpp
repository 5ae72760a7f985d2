#include <gtest/gtest.h>

#include <cfloat>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/exception.h"
#include "geometry/ncmd.h"
#include "geometry/ncmd_test_support.h"

namespace Karsto {
namespace {

using test::FixedAxes;
using test::lineCmd;

const BlockOrigin kOrigin = originAt(4, 40.0);
const BlockKey kKey{9, -0.5};

std::unique_ptr<NCmdUpdateaxes> updateaxes(const Pose& frame, std::array<double, 5> q) {
    return std::make_unique<NCmdUpdateaxes>(frame, q, kKey, 17);
}

TEST(NCmd, FormatNumberIsPrintfGeneral) {
    const std::pair<double, const char*> cases[] = {
        {0.5, "0.5"},        {1200.0, "1200"},       {0.0, "0"},
        {-0.0, "-0"},        {1e-7, "1e-07"},        {1234567.0, "1.23457e+06"},
        {100000.0, "100000"}, {0.0001, "0.0001"},    {DBL_MAX, "1.79769e+308"},
        {2.0 / 3.0, "0.666667"}, {-1.7, "-1.7"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(formatNumber(value), text) << value;
}

TEST(NCmd, TextForms) {
    FixedAxes axes(2);
    const double from[] = {0.0, 10.0};
    const double to[] = {4.0, 30.0};
    std::vector<std::pair<std::unique_ptr<NCmd>, std::string>> cases;
    cases.emplace_back(std::make_unique<NCmdHst>('t', 7.0, kOrigin, kKey), "HST t=7");
    cases.emplace_back(std::make_unique<NCmdHst>('s', 1200.0, kOrigin, kKey), "HST s=1200");
    cases.emplace_back(std::make_unique<NCmdWait>(0.5, kOrigin, kKey), "Wait 0.5");
    cases.emplace_back(std::make_unique<NCmdMFunc>(30.0, kOrigin, kKey), "MFunc 30");
    cases.emplace_back(std::make_unique<NCmdMsg>("Tool change", kOrigin, kKey), "Msg Tool change");
    cases.emplace_back(std::make_unique<NCmdInterpolate>(&axes, from, to, 5.0, false, kOrigin,
                                                         BlockKey{3, 0.0}),
                       "Interpolate time=3 from=[0, 10] to=[4, 30] speed=5");
    cases.emplace_back(updateaxes(Pose(), {1, 2, 0, 0, 0}),
                       "Updateaxes frame=[0.00,0.00,0.00,0.00,0.00,0.00] q0=1 q1=2 q2=0 q3=0 "
                       "q4=0\n");
    cases.emplace_back(std::make_unique<NCmdAccurateStop>(kOrigin, kKey), "AccurateStop");
    cases.emplace_back(std::make_unique<NCmdAutoAccurateStop>(0.3, kOrigin, kKey),
                       "AutoAccurateStop");
    cases.emplace_back(std::make_unique<NCmdDelDtg>(kOrigin, kKey), "DelDtg");
    cases.emplace_back(std::make_unique<NCmdNc2Func>(Nc2FuncData(14), kOrigin, kKey),
                       "NCmdNc2Func");
    cases.emplace_back(std::make_unique<NCmdSync>(kOrigin, kKey), "Sync");
    cases.emplace_back(std::make_unique<NCmdQueryaxes>(kOrigin, kKey), "Queryaxes");
    cases.emplace_back(lineCmd(7, 70.0, {0, 0, 0}, {1, 2, 2}),
                       "Line time=7 from=[0.00,0.00,0.00,0.00,0.00,0.00] "
                       "to=[1.00,2.00,2.00,0.00,0.00,0.00]");
    for (const auto& [cmd, text] : cases) EXPECT_EQ(cmd->toString(), text);
}

// One command of every kind, each with its own payload, for family-wide properties.
struct Sample {
    std::function<std::unique_ptr<NCmd>()> make;
    NCmdKind kind;
    bool numbered;
    NCmdReverse reverse;
};

TEST(NCmd, EveryKindClonesAndReversesAsItsKindSays) {
    FixedAxes axes(2);
    const double from[] = {1.0, 2.0};
    const double to[] = {3.0, 4.0};
    const std::vector<Sample> samples = {
        {[&] { return std::make_unique<NCmdInterpolate>(&axes, from, to, 5.0, true, kOrigin, kKey, 17); },
         NCmdKind::interpolate, true, NCmdReverse::own},
        {[] { return lineCmd(9, 40.0, {1, 2, 3}, {4, 5, 6}); }, NCmdKind::geo, true,
         NCmdReverse::own},
        {[] { return std::make_unique<NCmdWait>(2.5, kOrigin, kKey, 17); }, NCmdKind::wait, true,
         NCmdReverse::copy},
        {[] { return std::make_unique<NCmdMFunc>(8.0, kOrigin, kKey, 17); }, NCmdKind::mFunc, true,
         NCmdReverse::none},
        {[] { return std::make_unique<NCmdAccurateStop>(kOrigin, kKey, 17); },
         NCmdKind::accurateStop, false, NCmdReverse::copy},
        {[] { return std::make_unique<NCmdAutoAccurateStop>(0.2, kOrigin, kKey, 17); },
         NCmdKind::autoAccurateStop, false, NCmdReverse::none},
        {[] { return std::make_unique<NCmdDelDtg>(kOrigin, kKey, 17); }, NCmdKind::delDtg, false,
         NCmdReverse::none},
        {[] { return std::make_unique<NCmdNc2Func>(Nc2FuncData(6), kOrigin, kKey, 17); },
         NCmdKind::nc2Func, true, NCmdReverse::none},
        {[] { return std::make_unique<NCmdHst>('h', 3.0, kOrigin, kKey, 17); }, NCmdKind::hst,
         true, NCmdReverse::none},
        {[] { return std::make_unique<NCmdSync>(kOrigin, kKey, 17); }, NCmdKind::sync, false,
         NCmdReverse::copy},
        {[] { return std::make_unique<NCmdQueryaxes>(kOrigin, kKey, 17); }, NCmdKind::queryaxes,
         false, NCmdReverse::none},
        {[] { return updateaxes(Pose(1, 2, 3, 4, 5, 6), {1, 2, 3, 4, 5}); }, NCmdKind::updateaxes,
         false, NCmdReverse::none},
        {[] { return std::make_unique<NCmdMsg>("hello", kOrigin, kKey, 17); }, NCmdKind::msg,
         false, NCmdReverse::copy},
    };
    ASSERT_EQ(samples.size(), static_cast<size_t>(kNCmdKindCount));

    for (const Sample& sample : samples) {
        std::unique_ptr<NCmd> cmd = sample.make();
        if (sample.kind == NCmdKind::geo) cmd->setSerial(17);
        SCOPED_TRACE(cmd->toString());
        EXPECT_EQ(cmd->kind(), sample.kind);
        EXPECT_EQ(cmd->numbered(), sample.numbered);

        const std::unique_ptr<NCmd> copy = cmd->clone();
        ASSERT_NE(copy, nullptr);
        EXPECT_NE(copy.get(), cmd.get());
        EXPECT_EQ(copy->kind(), cmd->kind());
        EXPECT_EQ(copy->key(), cmd->key());
        EXPECT_EQ(copy->origin().span.toString(), cmd->origin().span.toString());
        EXPECT_EQ(copy->origin().blockNumber, cmd->origin().blockNumber);
        EXPECT_EQ(copy->serial(), 17u);
        EXPECT_EQ(copy->toString(), cmd->toString());

        const std::unique_ptr<NCmd> back = cmd->reversed();
        switch (sample.reverse) {
        case NCmdReverse::none:
            EXPECT_EQ(back, nullptr);
            break;
        case NCmdReverse::copy:
            ASSERT_NE(back, nullptr);
            EXPECT_NE(back.get(), cmd.get());
            EXPECT_EQ(back->toString(), cmd->toString());
            EXPECT_EQ(back->key(), cmd->key());
            EXPECT_EQ(back->serial(), 17u);
            break;
        case NCmdReverse::own:
            ASSERT_NE(back, nullptr);
            EXPECT_EQ(back->kind(), cmd->kind());
            EXPECT_EQ(back->key(), cmd->key());
            EXPECT_EQ(back->serial(), 17u);
            EXPECT_NE(back->toString(), cmd->toString());
            break;
        }
    }
}

TEST(NCmd, ReversedMovesRunBackwards) {
    FixedAxes axes(2);
    const double from[] = {0.0, 10.0};
    const double to[] = {4.0, 30.0};
    const NCmdInterpolate move(&axes, from, to, 5.0, false, kOrigin, BlockKey{3, 0.0});
    EXPECT_EQ(move.reversed()->toString(), "Interpolate time=3 from=[4, 30] to=[0, 10] speed=5");
    const std::unique_ptr<NCmd> reversed = move.reversed();
    const auto& back = static_cast<const NCmdInterpolate&>(*reversed);
    EXPECT_EQ(back.axes(), &axes);
    EXPECT_EQ(back.speed(), 5.0);

    const auto line = lineCmd(7, 70.0, {0, 0, 0}, {1, 2, 2});
    EXPECT_EQ(line->reversed()->toString(),
              "Line time=7 from=[1.00,2.00,2.00,0.00,0.00,0.00] to=[0.00,0.00,0.00,0.00,0.00,0.00]");
}

TEST(NCmd, GeoCommandTakesKeyAndOriginFromItsElementAndClonesIt) {
    auto line = lineCmd(12, 120.0, {0, 0, 0}, {5, 0, 0}, -1.5);
    EXPECT_EQ(line->key(), (BlockKey{12, -1.5}));
    EXPECT_EQ(line->origin().blockNumber, 120.0);
    EXPECT_EQ(line->origin().span.toString(), originAt(12, 0).span.toString());
    EXPECT_EQ(line->serial(), kSerialUndelivered);

    line->geo().setRestart(true);
    const auto copy = line->clone();
    const Geo& copied = static_cast<const NCmdGeo&>(*copy).geo();
    EXPECT_NE(&copied, &line->geo());
    EXPECT_FALSE(copied.restart()); // no copy of an element inherits the restart flag
    EXPECT_EQ(copied.end(), Pose(5, 0, 0));
}

TEST(NCmd, StartAtMovesTheStartAndReturnsACopy) {
    struct Case {
        std::vector<double> from, to;
        double fraction;
        std::vector<double> moved;
    };
    const Case cases[] = {
        {{2.0}, {6.0}, 0.5, {4.0}},
        {{0.0, 10.0}, {4.0, 30.0}, 0.25, {1.0, 15.0}},
        {{1.0, -1.0}, {3.0, 5.0}, 0.0, {1.0, -1.0}},
        {{1.0, -1.0}, {3.0, 5.0}, 1.0, {3.0, 5.0}},
    };
    for (const Case& c : cases) {
        FixedAxes axes(c.from.size());
        NCmdInterpolate move(&axes, c.from, c.to, 1.0, false, kOrigin, kKey, 4);
        const std::unique_ptr<NCmdInterpolate> copy = move.startAt(c.fraction);
        ASSERT_NE(copy.get(), &move);
        for (const NCmdInterpolate* m : {&move, copy.get()}) {
            EXPECT_EQ(std::vector<double>(m->from().begin(), m->from().end()), c.moved);
            EXPECT_EQ(std::vector<double>(m->to().begin(), m->to().end()), c.to);
        }
        EXPECT_EQ(copy->serial(), 4u);
        EXPECT_EQ(copy->key(), kKey);
    }
}

TEST(NCmd, InterpolateNeedsOneValuePerAxis) {
    FixedAxes axes(3);
    const double two[] = {1.0, 2.0};
    const double three[] = {1.0, 2.0, 3.0};
    EXPECT_THROW(NCmdInterpolate(&axes, two, three, 1.0, false, kOrigin, kKey), ExceptionRuntime);
    EXPECT_THROW(NCmdInterpolate(&axes, three, two, 1.0, false, kOrigin, kKey), ExceptionRuntime);
    EXPECT_THROW(NCmdInterpolate(nullptr, two, two, 1.0, false, kOrigin, kKey), ExceptionRuntime);
    EXPECT_NO_THROW(NCmdInterpolate(&axes, three, three, 1.0, false, kOrigin, kKey));
}

TEST(NCmd, Nc2FuncDataIsZeroFilledWithItsCodeInFront) {
    Nc2FuncData data(-2);
    EXPECT_EQ(data.code(), -2);
    data.payload()[0] = 0xAB;
    data.payload()[Nc2FuncData::kPayloadSize - 1] = 0xCD;
    const auto bytes = data.bytes();
    ASSERT_EQ(bytes.size(), 96u);
    // The code little-endian, then an int32 0, then the payload.
    EXPECT_EQ(bytes[0], 0xFE);
    EXPECT_EQ(bytes[3], 0xFF);
    for (size_t i = 4; i < 8; ++i) EXPECT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(bytes[8], 0xAB);
    EXPECT_EQ(bytes[95], 0xCD);
    for (size_t i = 9; i < 95; ++i) EXPECT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(Nc2FuncData(44).code(), 44);
}

TEST(NCmd, Nc2FuncCloneOwnsItsOwnBytes) {
    Nc2FuncData data(29);
    data.payload()[5] = 7;
    const NCmdNc2Func cmd(data, kOrigin, kKey, 3);
    const auto copy = cmd.clone();
    const auto& copied = static_cast<const NCmdNc2Func&>(*copy);
    EXPECT_EQ(copied.size(), 96);
    EXPECT_NE(copied.data().data(), cmd.data().data());
    EXPECT_TRUE(std::equal(cmd.data().begin(), cmd.data().end(), data.bytes().begin()));
    EXPECT_TRUE(std::equal(copied.data().begin(), copied.data().end(), data.bytes().begin()));
}

TEST(NCmd, UpdateaxesHasTheDefaultOrigin) {
    const auto cmd = updateaxes(Pose(1, 2, 3), {1, 2, 3, 4, 5});
    EXPECT_FALSE(cmd->origin().span.valid);
    EXPECT_EQ(cmd->origin().blockNumber, 0.0);
    EXPECT_EQ(cmd->key(), kKey);
    EXPECT_EQ(cmd->serial(), 17u);
    EXPECT_EQ(cmd->q()[4], 5.0);
}

} // namespace
} // namespace Karsto
