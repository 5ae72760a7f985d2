// The kernel's read, write and read-write requests, each sent by the kernel simulator
// and answered on the controller thread, after an initialisation with channels 4 and 9.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/exception.h"
#include "gcode/gprocessor_nc2.h"
#include "host/kernel/channel_nc2.h"
#include "host/zel/zel_wire.h"
#include "request_test_support.h"

namespace KernelTest {
namespace {

// ---- channel parameters ------------------------------------------------------------

TEST_F(KernelRequestTest, ZeroOffsetReads) {
    paused([&] {
        Karsto::GProcessorNc2& p = *channel(4).processor;
        for (int32_t i = 0; i < 8; ++i) {
            Karsto::ZeroOffset zos;
            zos.x = 100 + i;
            zos.y = 200 + i;
            zos.z = 300 + i;
            zos.q = {1.0 + i, 2.0 + i, 3.0 + i, 4.0 + i, 5.0 + i};
            p.setZeroOffset(i, zos);
        }
        Karsto::ZeroOffset g59;
        g59.q[4] = 59.5;
        p.setProgrammableZeroOffset(1, g59);
    });
    const struct {
        uint32_t offset, length, result;
        std::vector<double> values;
    } cases[] = {
        {0x10305, 24, 0, {304, 305, 306}},
        {0x1080A, 8, 0, {59.5}},
        {0x10203, 16, 0, {202, 203}},
        {0x10401, 8, 0, {1.0}},
        {0x10109, 24, 0x705, {}},
        {0x10101, 0, 0x705, {}},
        {0x10101, 12, 0x705, {}},
        {0x1090A, 8, 0x703, {}},
        {0x10000, 8, 0x703, {}},
        {0x1000B, 8, 0x703, {}},
    };
    for (const auto& c : cases) {
        Bytes out;
        EXPECT_EQ(read(0x2004, c.offset, c.length, out), c.result) << std::hex << c.offset;
        if (c.result == 0) {
            EXPECT_EQ(doublesOf(out), c.values) << std::hex << c.offset;
        }
    }
}

TEST_F(KernelRequestTest, ZeroOffsetWrites) {
    EXPECT_EQ(write(0x2004, 0x10207, doubles({7.5, 8.5})), 0u);
    EXPECT_EQ(write(0x2004, 0x10108, doubles({1.0, 2.0, 3.0})), 0u) << "a run from 8 goes on into 9 and 10";
    EXPECT_EQ(write(0x2004, 0x10209, doubles({1.0})), 0x703u);
    EXPECT_EQ(write(0x2004, 0x10201, Bytes(12)), 0x703u);
    EXPECT_EQ(write(0x2004, 0x10201, Bytes()), 0x703u);
    EXPECT_EQ(write(0x2004, 0x10901, doubles({1.0})), 0x703u);
    pause();
    const Karsto::ZeroOffsets& zos = channel(4).processor->zeroOffsets();
    EXPECT_EQ(zos.entry(6).y, 7.5);
    EXPECT_EQ(zos.entry(7).y, 8.5);
    EXPECT_EQ(zos.entry(7).x, 1.0);
    EXPECT_EQ(zos.entry(8).x, 2.0);
    EXPECT_EQ(zos.entry(9).x, 3.0);
    EXPECT_EQ(zos.entry(6).x, 0.0);
    EXPECT_EQ(zos.entry(0), Karsto::ZeroOffset()) << "refused writes change nothing";
    EXPECT_EQ(channel(9).processor->zeroOffsets().entry(6).y, 0.0);
}

TEST_F(KernelRequestTest, ToolTable) {
    paused([&] {
        Karsto::ToolTable& tools = channel(4).processor->tools;
        for (int t = 1; t <= 6; ++t) {
            tools.setNumber(t, 10 * t);
            tools.setToolType(t, 20);
            tools.setParam(t, 3, 0.5 * t);
        }
        tools.setToolType(4, 10);
        tools.setNumber(2, 70000);
    });
    Bytes out;
    ASSERT_EQ(read(0x2004, 0x30300, 6, out), 0u);
    EXPECT_EQ(int16sOf(out), (std::vector<int16_t>{20, 10, 20}));
    ASSERT_EQ(read(0x2004, 0x20177, 4, out), 0u) << "the parameter byte is ignored";
    EXPECT_EQ(int16sOf(out), (std::vector<int16_t>{10, 4464}));
    EXPECT_EQ(read(0x2004, 0x20100, 3, out), 0x705u);
    ASSERT_EQ(read(0x2004, 0x40203, 16, out), 0u);
    EXPECT_EQ(doublesOf(out), (std::vector<double>{1.0, 1.5}));
    ASSERT_EQ(read(0x2004, 0x40300, 120, out), 0u);
    EXPECT_EQ(int32Of(out, 0), 30);
    EXPECT_EQ(int32Of(out, 4), 20);
    EXPECT_EQ(doublesOf(Bytes(out.begin() + 8, out.end()))[2], 1.5);
    EXPECT_EQ(read(0x2004, 0x40300, 112, out), 0x705u);

    EXPECT_EQ(write(0x2004, 0x40700, Bytes(119)), 0x705u);
    EXPECT_EQ(write(0x2004, 0x20500, Bytes(1)), 0x705u);
    EXPECT_EQ(write(0x2004, 0x20500, Bytes{0xFE, 0xFF, 0x07, 0x00}), 0u) << "only the first int16, sign-extended";
    EXPECT_EQ(write(0x2004, 0x30600, Bytes{10, 0}), 0u);
    EXPECT_EQ(write(0x2004, 0x40605, doubles({6.25})), 0u);
    Bytes entry = int32s({77, 20});
    const Bytes params = doubles({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14});
    entry.insert(entry.end(), params.begin(), params.end());
    EXPECT_EQ(write(0x2004, 0x40100, entry), 0u);
    EXPECT_EQ(write(0x2004, 0x50100, Bytes(8)), 0x703u);
    log_->clear();
    EXPECT_EQ(write(0x2004, 0x40000, entry), 0x700u);
    pause();
    EXPECT_TRUE(log_->contains("[error] Kanal4: ?: Invalid tool-index 0. Should be in range 1 to 255. in line ''"));
    const Karsto::ToolTable& tools = channel(4).processor->tools;
    EXPECT_EQ(tools.number(5), -2);
    EXPECT_EQ(tools.toolType(6), 10);
    EXPECT_EQ(tools.param(6, 5), 6.25);
    EXPECT_EQ(tools.number(1), 77);
    EXPECT_EQ(tools.param(1, 14), 14.0);
    EXPECT_EQ(tools.number(7), 0);
    EXPECT_TRUE(sim_->requests().back().indexOffset != 1 || sim_->requests().back().indexGroup != 0x2104)
        << "a runtime error is not written to the error word";
}

TEST_F(KernelRequestTest, IpolRulesAndMFunctionDescriptions) {
    EXPECT_EQ(write(0x2004, 0x53, int32s({2})), 0u);
    EXPECT_EQ(write(0x2004, 0x53, Bytes(3)), 0x705u);
    Bytes out;
    ASSERT_EQ(read(0x2004, 0x53, 4, out), 0u);
    EXPECT_EQ(int32Of(out), 2);
    EXPECT_EQ(read(0x2004, 0x53, 8, out), 0x705u);
    EXPECT_EQ(read(0x2004, 0x54, 4, out), 0x703u);
    EXPECT_EQ(read(0x2004, 0x60000, 4, out), 0x703u);

    auto desc = [](int32_t nr, int32_t hsk) {
        Bytes record(232, 0);
        const Bytes head = int32s({nr, hsk, 1, 0, -1});
        std::copy(head.begin(), head.end(), record.begin());
        return record;
    };
    Bytes three;
    for (int32_t nr : {3, 8, 3}) {
        const Bytes one = desc(nr, nr == 3 && !three.empty() ? 2 : 1);
        three.insert(three.end(), one.begin(), one.end());
    }
    ASSERT_EQ(three.size(), 696u);
    EXPECT_EQ(write(0x2004, 0x11, three), 0u);
    pause();
    EXPECT_EQ(channel(4).mFuncDescs.size(), 2u) << "the later record with the same nr replaces the earlier";
    ASSERT_NE(channel(4).mFuncDesc(3), nullptr);
    EXPECT_EQ(channel(4).mFuncDesc(3)->hsk(), 2);
    EXPECT_TRUE(log_->contains("[debugKiIO] KernelInterfaceNc2: WRITE CHNPARMS MDEFSDESC"));
    resume();
    EXPECT_EQ(write(0x2004, 0x11, Bytes(three.begin(), three.begin() + 231)), 0x705u);
    pause();
    EXPECT_TRUE(channel(4).mFuncDescs.empty()) << "emptied before the length check";
    resume();
    EXPECT_EQ(write(0x2004, 0x11, three), 0u);
    EXPECT_EQ(write(0x2004, 0x11, Bytes()), 0u);
    pause();
    EXPECT_TRUE(channel(4).mFuncDescs.empty());
    EXPECT_EQ(channel(4).processor->ipolRules, 2);
}

// ---- common handling ---------------------------------------------------------------

TEST_F(KernelRequestTest, UnknownChannelsRangesAndAccess) {
    Bytes out;
    EXPECT_EQ(read(0x2005, 0x53, 4, out), 0x702u);
    EXPECT_EQ(read(0x3005, 0x53, 4, out), 0x702u) << "the channel before the range";
    EXPECT_EQ(write(0x2305, 0x10000000, doubles({1.0})), 0x702u);
    EXPECT_EQ(write(0x2404, 0, int32s({0})), 0x703u);
    EXPECT_EQ(write(0x2104, 3, int32s({0})), 0x704u);
    EXPECT_EQ(read(0x2204, 0, 4, out), 0x704u);
    EXPECT_EQ(read(0x3004, 0, 4, out), 0x703u);
    EXPECT_EQ(readWrite(0x2004, 0x53, 4, int32s({0}), out), 0x703u);
    EXPECT_EQ(readWrite(0x2005, 0x53, 4, int32s({0}), out), 0x703u);
    pause();
    EXPECT_TRUE(log_->contains("[error] KernelInterfaceNc2::executeEventWrite: unhandeled groupRange=9216"));
    EXPECT_TRUE(log_->contains("[error] KernelInterfaceNc2::executeEventRead: unhandeled groupRange=12288"));
    EXPECT_TRUE(log_->contains("[error] KernelInterfaceNc2executeEventRead: ZelError:  (1794)"));
    EXPECT_TRUE(log_->contains("[error] ZelError:  (1796)"));
    EXPECT_EQ(log_->count("[debugKiIO] KernelInterfaceNc2::executeEventReadwrite invokeId="), 2u);
    EXPECT_EQ(log_->count("[error] KernelInterfaceNc2::executeEventReadwrite: ZelError:  (1795)"), 2u);
    EXPECT_EQ(channel(4).processor->ipolRules, 0) << "refused requests change nothing";
}

// ---- channel state -----------------------------------------------------------------

TEST_F(KernelRequestTest, StateReads) {
    const struct {
        StackmachineState state;
        int32_t code;
    } states[] = {
        {StackmachineState::running, 5}, {StackmachineState::error, 12},   {StackmachineState::stopped, 2},
        {StackmachineState::finished, 2}, {StackmachineState::undefined, 1},
    };
    // Read with the loop paused: it would step a task said to be running.
    pause();
    for (const auto& s : states) {
        channel(9).task->state = s.state;
        const Answer answer = raw(ZelCommandId::read, 0x2109, 3, 4, {});
        ASSERT_EQ(answer.result, 0u);
        EXPECT_EQ(int32Of(answer.data), s.code) << static_cast<int>(s.state);
        EXPECT_TRUE(log_->contains("[debugKiIO] ZEL read ITPSTATE=" + std::to_string(s.code)));
    }
    channel(9).task->state = StackmachineState::undefined;
    resume();
    Bytes out;
    for (uint32_t offset : {0x01u, 0x08u, 0x700u}) {
        ASSERT_EQ(read(0x2109, offset, 4, out), 0u) << offset;
        EXPECT_EQ(int32Of(out), 0);
    }
    ASSERT_EQ(read(0x2109, 0x10, 4, out), 0u);
    EXPECT_EQ(int32Of(out), -1) << "no error";
    paused([&] {
        Karsto::SourcePosition begin;
        begin.offset = 42;
        begin.inputOffset = 99;
        channel(9).task->error = std::make_unique<Karsto::ExceptionRuntime>("boom", Karsto::SourceSpan(begin, begin));
    });
    ASSERT_EQ(read(0x2109, 0x10, 4, out), 0u);
    EXPECT_EQ(int32Of(out), 42) << "the offset in its own file";
    paused([&] { channel(9).task->error = std::make_unique<Karsto::ExceptionRuntime>("boom", Karsto::SourceSpan()); });
    ASSERT_EQ(read(0x2109, 0x10, 4, out), 0u);
    EXPECT_EQ(int32Of(out), -1) << "no valid span";

    EXPECT_EQ(read(0x2109, 9, 4, out), 0x703u);
    EXPECT_EQ(read(0x2109, 3, 8, out), 0x705u);
    pause();
    EXPECT_TRUE(log_->contains("[error] KernelInterfaceNc2executeEventRead: ZelError: Invalid Channel State Command (1795)"));
}

TEST_F(KernelRequestTest, StateReadWrites) {
    const std::string path = dir_ + "/prog.jyx";
    std::ofstream(path) << "N10 G01 X1\nN20 X2\n";
    paused([&] {
        channel(4).processor->ipolRules = 2;
        channel(4).programLoad(path);
        channel(4).currentLine = 20;
    });
    Bytes out;
    ASSERT_EQ(readWrite(0x2104, 0x13, 40, int32s({1}), out), 0u);
    Bytes modal;
    paused([&] {
        const auto bytes = channel(4).processor->records.modalStateAt(1).bytes();
        modal.assign(bytes.begin(), bytes.begin() + 40);
    });
    EXPECT_EQ(out, modal);
    // A longer read length gets the whole record.
    for (const auto& [offset, size] : {std::pair{0x13u, 80u}, {0x14u, 80u}, {0x15u, 32u}, {0x12u, 268u}}) {
        const Answer answer = raw(ZelCommandId::readWrite, 0x2104, offset, 300, int32s({1}));
        EXPECT_EQ(answer.result, 0u) << offset;
        EXPECT_EQ(answer.data.size(), size) << offset;
    }
    ASSERT_EQ(readWrite(0x2104, 0x14, 4, int32s({1}), out), 0u);
    EXPECT_EQ(out.size(), 4u);

    ASSERT_EQ(readWrite(0x2104, 0x12, 268, int32s({11}), out), 0u);
    ASSERT_EQ(out.size(), 268u);
    EXPECT_EQ(int32Of(out, 0), 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&out[8])), "N20 X2\n");
    EXPECT_EQ(readWrite(0x2104, 0x12, 267, int32s({11}), out), 0x705u);

    ASSERT_EQ(readWrite(0x2104, 0x11, 16, int32s({-5}), out), 0u);
    EXPECT_EQ(out, Bytes(16, 0));
    ASSERT_EQ(readWrite(0x2104, 0x11, 12, int32s({3}), out), 0u);
    EXPECT_EQ(out, text("N10 G01 X1\n", 12));
    ASSERT_EQ(readWrite(0x2104, 0x11, 10, int32s({3}), out), 0u);
    EXPECT_EQ(out, text("N10 G01 X1", 10)) << "no terminator when the text fills the answer";
    EXPECT_EQ(readWrite(0x2104, 0x11, 9, int32s({3}), out), 0x705u);
    EXPECT_EQ(readWrite(0x2104, 0x11, 16, Bytes(2), out), 0x705u);
    EXPECT_EQ(readWrite(0x2105, 0x11, 16, int32s({0}), out), 0x4010u);
    EXPECT_EQ(readWrite(0x2104, 0x16, 16, int32s({0}), out), 0x703u);
    pause();
    EXPECT_TRUE(log_->contains("[error] KernelInterfaceNc2::executeEventReadwrite: ZelError:  (16400)"));
}

// ---- I/O area ----------------------------------------------------------------------

TEST_F(KernelRequestTest, RParameters) {
    EXPECT_EQ(write(0x2304, 0x10000000 + 17, doubles({17.5})), 0u);
    EXPECT_EQ(write(0x2304, 0x10000000 + 905, doubles({9.25, -1.0})), 0u);
    EXPECT_EQ(write(0x2309, 0x10000000 + 997, doubles({1, 2, 3})), 0u);
    Bytes out;
    ASSERT_EQ(read(0x2309, 0x10000000 + 17, 8, out), 0u);
    EXPECT_EQ(doublesOf(out), std::vector<double>{0.0}) << "R17 is per channel";
    ASSERT_EQ(read(0x2309, 0x10000000 + 905, 16, out), 0u);
    EXPECT_EQ(doublesOf(out), (std::vector<double>{9.25, -1.0})) << "R905 is shared";
    ASSERT_EQ(read(0x2304, 0x10000000 + 997, 24, out), 0u);
    EXPECT_EQ(doublesOf(out), (std::vector<double>{1, 2, 3}));
    ASSERT_EQ(read(0x2304, 0x10000000 + 17, 8, out), 0u);
    EXPECT_EQ(doublesOf(out), std::vector<double>{17.5});

    for (uint32_t length : {32u, 0u, 12u}) {
        EXPECT_EQ(read(0x2304, 0x10000000 + 997, length, out), 0x705u) << length;
        EXPECT_EQ(write(0x2304, 0x10000000 + 997, Bytes(length)), 0x705u) << length;
    }
    EXPECT_EQ(read(0x2304, 0x10000000 + 1000, 8, out), 0x703u);
    EXPECT_EQ(read(0x2304, 0x0FFFFFFF, 8, out), 0x703u);
    EXPECT_EQ(write(0x2304, 0x02, doubles({1.0})), 0x703u);
    pause();
    EXPECT_TRUE(log_->contains("[debugKiIO] KernelInterfaceNc2: R-Param write: R17=17.500000"));
    EXPECT_TRUE(log_->contains("[debugKiIO] KernelInterfaceNc2: R-Param read: R999=3.000000"));
    EXPECT_TRUE(log_->contains("[debugKiIO] KernelInterfaceNc2: WRITE CHNIOAREA"));
    // The machines see the values: cell of R17 of channel 4.
    EXPECT_EQ(controller_->sharedImage[static_cast<size_t>(link_->rParamCells.at(4017))], 17.5);
    EXPECT_EQ(controller_->sharedImage[static_cast<size_t>(link_->rParamCells.at(9999))], 3.0);
    EXPECT_EQ(controller_->sharedImage[0], 0.0);
}

TEST_F(KernelRequestTest, AChannelWithoutRParametersIsRefused) {
    paused([&] {
        // As the console mode makes them: a channel that no initialisation declared.
        link_->channelAdd(new ChannelNc2(link_.get(), 6, "Kanal6", 100, 0));
    });
    Bytes out;
    EXPECT_EQ(write(0x2306, 0x10000000, doubles({5.0})), 0x703u);
    EXPECT_EQ(read(0x2306, 0x10000000, 8, out), 0x703u);
    pause();
    EXPECT_EQ(controller_->sharedImage[0], 0.0) << "cell 0 untouched";
}

TEST_F(KernelRequestTest, DisplayTexts) {
    Bytes out;
    ASSERT_EQ(read(0x2304, 0x01, 30, out), 0u);
    EXPECT_EQ(out, text("<DisplayText>", 30));
    ASSERT_EQ(read(0x2304, 0x01, 40, out), 0u);
    EXPECT_EQ(out, text("<DisplayText>", 40));
    EXPECT_EQ(read(0x2304, 0x01, 29, out), 0x705u);

    const std::string path = dir_ + "/disp.jyx";
    std::ofstream(path) << "N1 X1\nN2 X2\nN3 X3\nN4 X4\n";
    paused([&] { channel(4).programLoad(path); });
    ASSERT_EQ(readWrite(0x2304, 0x20000000, 32, int32s({7}), out), 0u);
    EXPECT_EQ(out, text("N1 X1\nN2 X2\nN3 X3\n", 32));
    ASSERT_EQ(readWrite(0x2304, 0x20000001, 30, int32s({-1}), out), 0u);
    EXPECT_EQ(out, Bytes(30, 0));
    ASSERT_EQ(readWrite(0x2305, 0x20000000, 30, int32s({0}), out), 0u);
    EXPECT_EQ(out, text("---", 30));
    paused([&] {
        Karsto::SourcePosition begin;
        begin.offset = 13; // "N3 X3" in its file
        begin.inputOffset = 0;
        channel(4).task->error = std::make_unique<Karsto::ExceptionRuntime>("boom", Karsto::SourceSpan(begin, begin));
    });
    ASSERT_EQ(readWrite(0x2304, 0x20000000, 30, int32s({0}), out), 0u);
    EXPECT_EQ(out, text("N3 X3\n", 30));
    EXPECT_EQ(readWrite(0x2304, 0x20000000, 29, int32s({0}), out), 0x705u);
    EXPECT_EQ(readWrite(0x2304, 0x20000000, 30, Bytes(8), out), 0x705u);
    EXPECT_EQ(readWrite(0x2304, 0x20000002, 30, int32s({0}), out), 0x703u);
    pause();
    EXPECT_TRUE(log_->contains("[error] KernelInterfaceNc2::executeEventReadwrite: GRPDISPTXT index out of range"));
}

TEST_F(KernelRequestTest, ARefusedReadOfTheToolTableEndsTheLoopAndLeavesTheQueue) {
    // The read is posted without waiting; a write follows it, and a device-information
    // request on the same connection is answered only after both were queued.
    pause();
    CZelSync& client = sim_->client();
    VekHead head;
    client.VekMakeHead(head, static_cast<uint16_t>(ZelCommandId::read), 0, KernelSim::KernelSimulator::interpreter(),
                       kZelRequestFlags, 0, 0);
    uint32_t invoke = 0;
    ASSERT_EQ(client.VekPost(VekCmd(head, zelEncodeRequest(ZelCommandId::read, 0x2004, 0x40000, 120, {})), invoke), 0u);
    const Bytes value = doubles({1.0});
    ASSERT_EQ(client.ZelWriteReq(KernelSim::KernelSimulator::interpreter(), 0, 0x2304, 0x10000000, 8, value.data()),
              0u);
    ASSERT_TRUE(serverAnswers());
    resume();
    loop_.join(); // ends by itself
    EXPECT_TRUE(log_->contains(
        "[error] Terminate due to critical failure '?: Invalid tool-index 0. Should be in range 1 to 255.'"));
    auto rest = link_->server->eventPop();
    ASSERT_NE(rest, nullptr);
    EXPECT_EQ(rest->kind, Karsto::ZelServerBuffered::EventKind::write);
    EXPECT_EQ(controller_->sharedImage[static_cast<size_t>(link_->rParamCells.at(4000))], 0.0);
}

} // namespace
} // namespace KernelTest
