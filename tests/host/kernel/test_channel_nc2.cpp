#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "channel_test_support.h"
#include "core/exception.h"
#include "core/log.h"
#include "core/machine_test_support.h"
#include "core/stackmachine.h"
#include "frontend/scanner_input.h"
#include "gcode/gprocessor_nc2.h"
#include "gcode/wait_counter.h"
#include "geometry/ncmd.h"
#include "host/kernel/zel_server_buffered.h"

namespace KernelTest {
namespace {

using Karsto::ChannelNc2;
using Karsto::ExceptionRuntime;
using Karsto::LogLevel;
using Karsto::Nc2MFuncKind;
using Karsto::Point3;
using Karsto::StackmachineState;
using Karsto::test::LogCapture;
using KernelSim::Nc2Decoded;

constexpr int32_t kRecordBuffer = Karsto::waitCounterIndex(Karsto::WaitCounter::recordBuffer);
constexpr std::array<double, 5> kQ{0.5, 1.5, 2.5, 3.5, 4.5};
constexpr uint32_t kZelInvalidSize = 0x705;

Karsto::SourceSpan spanWithOffset(int32_t line, int32_t inputOffset) {
    Karsto::SourcePosition begin;
    begin.file = Karsto::SharedString("p.jyx");
    begin.line = line;
    begin.column = 1;
    begin.offset = inputOffset - 1;
    begin.inputOffset = inputOffset;
    return Karsto::SourceSpan(begin, begin);
}

std::string toolLine(int number, int type) {
    std::string line = std::to_string(number) + ";" + std::to_string(type) + ";";
    for (int p = 0; p < 14; ++p) line += "0;";
    return line + "\n";
}

size_t lineCount(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    size_t n = 0;
    while (std::getline(in, line)) ++n;
    return n;
}

class Channel : public ChannelFixture {
protected:
    void SetUp() override {
        ChannelFixture::SetUp();
        channel = channelAdd(3, "Kanal3", {9, 4});
    }
    // The records the kernel took since the last call.
    std::vector<Nc2Decoded> newRecords() {
        std::vector<Nc2Decoded> all = sim_->records();
        std::vector<Nc2Decoded> out(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
        seen_ = all.size();
        return out;
    }
    std::vector<int32_t> newStateWords() {
        std::vector<int32_t> all = sim_->stateWords(3);
        std::vector<int32_t> out(all.begin() + static_cast<std::ptrdiff_t>(wordsSeen_), all.end());
        wordsSeen_ = all.size();
        return out;
    }
    // Writes of the channel's state index group at the offset.
    std::vector<std::vector<uint8_t>> stateWrites(uint32_t offset) {
        std::vector<std::vector<uint8_t>> out;
        for (const KernelSim::Request& r : sim_->requests())
            if (r.kind == KernelSim::Request::Kind::write && r.indexGroup == 0x2103 && r.indexOffset == offset)
                out.push_back(r.data);
        return out;
    }
    int32_t counter() { return channel->task->machine->getWaitCounter(kRecordBuffer); }
    void report(StackmachineState state) {
        channel->task->state = state;
        kernel_->stackmachineStateChanged(channel->task);
    }

    ChannelNc2* channel = nullptr;
    size_t seen_ = 0;
    size_t wordsSeen_ = 0;
};

// Tool data comes from "<data>/<id>.WZ" and goes back there when the channel goes.
TEST_F(ChannelFixture, ToolDataIsReadFromTheChannelsFileAndWrittenBack) {
    const std::string path = dir_ + "/3.WZ";
    std::string text = "7;20;10;0;5;0;0;0;0;0;1;0;0;0;0;0;\n";
    for (int i = 1; i < 255; ++i) text += toolLine(0, 0);
    writeFile(path, text);
    ChannelNc2* channel = channelAdd(3, "Kanal3", {4});
    EXPECT_EQ(channel->processor->tools.number(1), 7);
    EXPECT_EQ(channel->processor->tools.toolType(1), 20);
    kernel_->channelClear();
    EXPECT_EQ(lineCount(path), 255u);
    EXPECT_TRUE(controller_->tasks.empty());
}

TEST_F(ChannelFixture, AMissingToolFileLeavesTheTableEmpty) {
    ChannelNc2* channel = channelAdd(5, "Kanal5", {4});
    EXPECT_EQ(channel->processor->tools.number(1), 0);
    EXPECT_EQ(controller_->tasks.size(), 1u);
}

// A tool file that cannot be read leaves no task behind and is not overwritten.
TEST_F(ChannelFixture, AMalformedToolFileLeavesNoTaskAndTheFileAsItWas) {
    const std::string path = dir_ + "/3.WZ";
    writeFile(path, "1;2;3\n");
    EXPECT_THROW((ChannelNc2(kernel_.get(), 3, "Kanal3", 65536, 0)), ExceptionRuntime);
    EXPECT_TRUE(controller_->tasks.empty());
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), "1;2;3\n");
}

// The state words of every task state, written one by one to offset 3.
TEST_F(Channel, EachStateIsReportedWithItsWords) {
    LogCapture log({LogLevel::debugKiIO});
    struct Case {
        StackmachineState state;
        std::vector<int32_t> words;
    };
    const Case cases[] = {
        {StackmachineState::stopped, {15, 2}},  {StackmachineState::running, {3, 4, 5}},
        {StackmachineState::finished, {9, 2}},  {StackmachineState::undefined, {1}},
        {StackmachineState::error, {11, 12}},
    };
    newStateWords();
    for (const Case& c : cases) {
        report(c.state);
        EXPECT_EQ(newStateWords(), c.words) << static_cast<int>(c.state);
    }
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(), "[debugKiIO] ChannelNc2::stateSend state=15 result=0"),
              log.lines.end());
    // The same state again writes nothing.
    report(StackmachineState::error);
    EXPECT_TRUE(newStateWords().empty());
}

// Only a runtime error also writes its Zel code to offset 1.
TEST_F(Channel, ARuntimeErrorAlsoWritesItsCode) {
    channel->task->setError(Karsto::ExceptionSemantic("Unknown identifier 'x'.", spanWithOffset(1, 1)));
    EXPECT_EQ(newStateWords(), (std::vector<int32_t>{11, 12}));
    EXPECT_TRUE(stateWrites(1).empty());
    report(StackmachineState::stopped);
    channel->task->setError(ExceptionRuntime("Division by zero", spanWithOffset(1, 1)));
    EXPECT_EQ(newStateWords(), (std::vector<int32_t>{15, 2, 11, 12}));
    EXPECT_EQ(stateWrites(1), (std::vector<std::vector<uint8_t>>{{0x12, 0x41, 0, 0}}));
}

TEST_F(Channel, InterpreterStateCodes) {
    const std::pair<StackmachineState, int32_t> cases[] = {
        {StackmachineState::undefined, 1}, {StackmachineState::stopped, 2}, {StackmachineState::running, 5},
        {StackmachineState::finished, 2},  {StackmachineState::error, 12},  {static_cast<StackmachineState>(7), 13},
    };
    for (const auto& [state, code] : cases) {
        channel->task->state = state;
        EXPECT_EQ(channel->itpState(), code);
    }
}

// Every record type as the kernel decodes it; all go to the lowest group at 0x60 or 0x61.
TEST_F(Channel, RecordsCarryTheirFieldsWhereTheKernelReadsThem) {
    channel->currentOrigin = {spanWithOffset(12, 345), 17.9};
    const Point3 end{1, 2, 3}, centre{4, 5, 6}, rotation{0, 0, 1.5};
    const Point3 cp1{11, 12, 13}, cp2{21, 22, 23}, cp3{31, 32, 33}, cp4{41, 42, 43};
    channel->lineSend(end, 10.0, kQ, 5);
    channel->bezier3Send(end, cp1, cp2, kQ, 20.0, 6);
    channel->bezier5Send(end, cp1, cp2, cp3, cp4, kQ, 30.0, 7);
    channel->helixSend(end, centre, rotation, 2.0, kQ, 40.0, 1, 8);
    channel->circleSend(end, centre, rotation, kQ, 50.0, 1, 9);
    channel->auxaxisSend(end, kQ, 60.0, 10);
    channel->startPosSend(end, kQ, 11);

    for (const KernelSim::Request& r : sim_->requests())
        if (r.kind == KernelSim::Request::Kind::readWrite) {
            EXPECT_EQ(r.indexGroup, 0x3204u);
            EXPECT_EQ(r.readLength, 8u);
        }
    const std::vector<Nc2Decoded> records = newRecords();
    ASSERT_EQ(records.size(), 7u);
    for (const Nc2Decoded& r : records) {
        EXPECT_EQ(r.sourceLine, 12);
        EXPECT_EQ(r.sourceOffset, 345);
        EXPECT_EQ(r.blockNumber, 17);
        EXPECT_EQ(r.headerReserved, 0u);
    }
    const Nc2Decoded& line = records[0];
    EXPECT_EQ(line.size, 160u);
    EXPECT_EQ(line.indexOffset, 0x60u);
    EXPECT_EQ(line.text(), "L12 O345 N17 #5 geo line end=(1,2,3) speed=10 q=(0.5,1.5,2.5,3.5,4.5)");
    const Nc2Decoded& b3 = records[1];
    EXPECT_EQ(b3.size, 208u);
    EXPECT_EQ(b3.indexOffset, 0x61u);
    EXPECT_EQ(b3.subtype, 10);
    EXPECT_EQ(b3.text(), "L12 O345 N17 #6 geo bezier3 end=(1,2,3) speed=20 cp1=(11,12,13) cp2=(21,22,23) "
                         "q=(0.5,1.5,2.5,3.5,4.5)");
    // The second inner point at 64, the first at 88; nothing beyond 160.
    EXPECT_EQ(b3.bytes[64], records[2].bytes[64]);
    for (size_t i = 160; i < 208; ++i) ASSERT_EQ(b3.bytes[i], 0) << i;
    EXPECT_EQ(records[2].text(), "L12 O345 N17 #7 geo bezier5 end=(1,2,3) speed=30 cp1=(11,12,13) cp2=(21,22,23) "
                                 "cp3=(31,32,33) cp4=(41,42,43) q=(0.5,1.5,2.5,3.5,4.5)");
    EXPECT_EQ(records[3].text(), "L12 O345 N17 #8 geo helix end=(1,2,3) speed=40 plane=1 centre=(4,5,6) "
                                 "rot=(0,0,1.5) rise=2 q=(0.5,1.5,2.5,3.5,4.5)");
    EXPECT_EQ(records[4].subtype, 2);
    EXPECT_EQ(records[4].rise, 0.0);
    EXPECT_EQ(records[5].text(), "L12 O345 N17 #10 geo auxaxis end=(1,2,3) speed=60 q=(0.5,1.5,2.5,3.5,4.5)");
    EXPECT_EQ(records[6].text(), "L12 O345 N17 #11 startPos (1,2,3) q=(0.5,1.5,2.5,3.5,4.5)");
    EXPECT_EQ(records[6].type, 26);
}

TEST_F(Channel, FunctionRecordsCarryTheirValues) {
    LogCapture log({LogLevel::debugKiGeo, LogLevel::debugKiIO});
    channel->waitSend(1.5, 21);
    channel->toolReset(22);
    channel->ipolRulesSend(1, 0, 23);
    channel->spindelSend(1234.9, 24);
    channel->valueSend(2, 25);
    channel->syncSend(26);
    Karsto::Nc2FuncData func(77);
    func.putInt32(8, 0x01020304);
    channel->funcSend(func.bytes(), 27);
    std::vector<std::string> texts;
    for (const Nc2Decoded& r : newRecords()) texts.push_back(r.text());
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "L-1 O-1 N0 #21 stop",
                         "L-1 O-1 N0 #21 wait 1.5",
                         "L-1 O-1 N0 #22 hvalue 0",
                         "L-1 O-1 N0 #22 spindle s=0",
                         "L-1 O-1 N0 #22 toolNr 0",
                         "L-1 O-1 N0 #22 mfunc kind=99 []",
                         "L-1 O-1 N0 #23 ipolRules 1 0 1 0 0 0",
                         "L-1 O-1 N0 #24 spindle s=1234.9",
                         "L-1 O-1 N0 #25 value 2",
                         "L-1 O-1 N0 #26 sync channel=3",
                         "L-1 O-1 N0 #27 func code=77",
                     }));
    const std::vector<Nc2Decoded> all = sim_->records();
    EXPECT_EQ(all[5].mfuncNumbers, (std::array<int32_t, 8>{-1, -1, -1, -1, -1, -1, -1, -1}));
    EXPECT_EQ(all[10].funcData, std::vector<uint8_t>(func.bytes().begin(), func.bytes().end()));
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(), "[debugKiGeo] NC2 spindel subtype=0 gword=0 sword=1234"),
              log.lines.end());
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(), "[debugKiIO] ChannelNc2::funcSend"), log.lines.end());
}

// The sync record is a whole command the kernel sends back to the interpreter's server.
TEST_F(Channel, TheSyncRecordIsACommandToTheInterpretersServer) {
    channel->syncSend(3);
    const Nc2Decoded sync = newRecords().at(0);
    EXPECT_EQ(sync.type, 10);
    EXPECT_EQ(sync.syncHead.target, kernel_->serverAddress());
    EXPECT_EQ(sync.syncHead.target.port, 11600);
    EXPECT_EQ(sync.syncHead.cmdId, 0x4016);
    EXPECT_EQ(sync.syncHead.dataLength, 88u);
    EXPECT_EQ(sync.syncEventType, 0);
    EXPECT_EQ(sync.syncChannelId, 3);
    EXPECT_EQ(sync.syncReserved, 0);
}

TEST_F(Channel, HeaderFieldsFollowTheOriginAndSerial) {
    struct Case {
        Karsto::BlockOrigin origin;
        uint64_t serial;
        int32_t line, offset, block;
        uint32_t headerSerial;
    };
    const Case cases[] = {
        {{spanWithOffset(4, 40), 10.0}, 7, 4, 40, 10, 7},
        {{Karsto::SourceSpan(), 0.0}, Karsto::kSerialUndelivered, -1, -1, 0, 0},
        {{spanWithOffset(2, 9), -3.7}, 0x100000005ull, 2, 9, -3, 5},
        {{spanWithOffset(2, 9), 1e12}, 1, 2, 9, INT32_MIN, 1}, // out of range: the truncation's fixed value
    };
    for (const Case& c : cases) {
        channel->currentOrigin = c.origin;
        channel->stopSend(c.serial);
        const Nc2Decoded r = newRecords().at(0);
        EXPECT_EQ(r.type, 11);
        EXPECT_EQ(r.sourceLine, c.line);
        EXPECT_EQ(r.sourceOffset, c.offset);
        EXPECT_EQ(r.blockNumber, c.block);
        EXPECT_EQ(r.serial, c.headerSerial);
    }
}

TEST_F(Channel, PlaneCodesCompareTheUnitAxisExactly) {
    const std::pair<Point3, int32_t> cases[] = {
        {{1, 0, 0}, 3}, {{0, 1, 0}, 2}, {{0, 0, 1}, 1}, {{0, 0, -1}, 0}, {{0, 0.6, 0.8}, 0}, {{-0.0, 0, 1}, 1},
    };
    for (const auto& [axis, code] : cases)
        EXPECT_EQ(ChannelNc2::planeCode(axis), code) << axis.x << " " << axis.y << " " << axis.z;
}

TEST_F(Channel, MFunctionRecordsFillEightSlots) {
    LogCapture log({LogLevel::debugKiGeo});
    const std::vector<int32_t> three{3, 8, 9};
    const std::vector<int32_t> eight{1, 2, 3, 4, 5, 6, 7, 8};
    channel->mfuncSend(Nc2MFuncKind::set, three, 1);
    channel->mfuncSend(Nc2MFuncKind::reset, eight, 2);
    channel->mfuncSend(Nc2MFuncKind::set, {}, 3); // nothing
    const std::vector<Nc2Decoded> records = newRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].mfuncNumbers, (std::array<int32_t, 8>{3, 8, 9, -1, -1, -1, -1, -1}));
    EXPECT_EQ(records[0].mfuncKind, 1);
    EXPECT_EQ(records[1].mfuncNumbers, (std::array<int32_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(log.lines.front(), "[debugKiGeo] NC2 mfunc m3 set (1)");

    log.lines.clear();
    const std::vector<int32_t> nine{1, 2, 3, 4, 5, 6, 7, 8, 9};
    try {
        channel->mfuncSend(Nc2MFuncKind::test, nine, 4);
        FAIL() << "nine numbers were taken";
    } catch (const ExceptionRuntime& e) {
        EXPECT_EQ(e.message(), "Limitation of M-Functions in NC2 exceeded (9 <= 8)");
    }
    EXPECT_EQ(log.lines.size(), 9u);
    EXPECT_EQ(log.lines.back(), "[debugKiGeo] NC2 mfunc m9 test (3)");
    EXPECT_TRUE(newRecords().empty());
}

TEST_F(Channel, MessagesAreCutAfterEightyCharacters) {
    const std::string text(95, 'x');
    channel->msgSend(text.substr(0, 95), 1);
    channel->msgSend("Tool change", 2);
    const std::vector<Nc2Decoded> records = newRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].funcCode, 26);
    EXPECT_EQ(records[0].msgLength, 145);
    EXPECT_EQ(records[0].msgText, std::string(80, 'x'));
    EXPECT_EQ(records[0].msgTerminator, 0);
    EXPECT_EQ(records[1].text(), "L-1 O-1 N0 #2 msg 'Tool change'");
}

// Capacity 1: records park in order behind the first refused one, the program waits,
// and they go out in order once the kernel has room.
TEST_F(Channel, AFullBufferParksRecordsAndTheProgramWaits) {
    sim_->setRecordCapacity(4, 1);
    channel->valueSend(1, 1);
    EXPECT_EQ(counter(), 1);
    channel->valueSend(2, 2);
    EXPECT_EQ(channel->pendingCount(), 1u);
    EXPECT_EQ(counter(), 0);
    channel->valueSend(3, 3);
    EXPECT_EQ(channel->pendingCount(), 2u);
    EXPECT_EQ(counter(), 0);
    channel->pendingSend(); // still no room
    EXPECT_EQ(channel->pendingCount(), 2u);
    sim_->freeRecordRoom(4, 1);
    channel->pendingSend();
    EXPECT_EQ(channel->pendingCount(), 1u);
    EXPECT_EQ(counter(), 0);
    sim_->freeRecordRoom(4, 5);
    channel->valueSend(4, 4); // sends the parked one first
    EXPECT_EQ(channel->pendingCount(), 0u);
    EXPECT_EQ(counter(), 1);
    std::vector<int32_t> values;
    for (const Nc2Decoded& r : newRecords()) values.push_back(r.value);
    EXPECT_EQ(values, (std::vector<int32_t>{1, 2, 3, 4}));
}

TEST_F(Channel, AFailureWhileResendingDropsTheParkedRecordsAndFailsTheTask) {
    LogCapture log({LogLevel::error});
    sim_->setRecordCapacity(4, 0);
    channel->valueSend(1, 1);
    channel->valueSend(2, 2);
    ASSERT_EQ(channel->pendingCount(), 2u);
    newStateWords();
    sim_->failWrite(0x3204, 0x60, kZelInvalidSize);
    channel->pendingSend();
    EXPECT_EQ(channel->pendingCount(), 0u);
    EXPECT_EQ(counter(), 1);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"[error] Kanal3: ?: Zel Error 0x00000705"}));
    EXPECT_EQ(channel->task->state, StackmachineState::error);
    EXPECT_EQ(newStateWords(), (std::vector<int32_t>{11, 12}));
    EXPECT_EQ(stateWrites(1).size(), 1u);
    // The same answer to a direct send is raised.
    try {
        channel->valueSend(3, 3);
        FAIL() << "the refused record was taken";
    } catch (const ExceptionRuntime& e) {
        EXPECT_EQ(e.message(), "Zel Error 0x00000705");
    }
}

TEST_F(ChannelFixture, AChannelWithoutAGroupRefusesRecords) {
    ChannelNc2* channel = channelAdd(6, "Kanal6", {});
    try {
        channel->stopSend(1);
        FAIL() << "a record went nowhere";
    } catch (const ExceptionRuntime& e) {
        EXPECT_EQ(e.message(), "Zel Error 0x00004010");
    }
    channel->stop(); // no group function, the rest as usual
    EXPECT_EQ(channel->task->state, StackmachineState::undefined);
}

// A reset or unload of the machine gives every counter back; records still parked must
// block the program again.
TEST_F(Channel, ParkedRecordsBlockTheProgramAgainAfterAMachineReset) {
    sim_->setRecordCapacity(4, 0);
    channel->valueSend(1, 1);
    ASSERT_EQ(counter(), 0);
    channel->task->machine->reset();
    EXPECT_EQ(counter(), 1);
    report(StackmachineState::running); // as a restart of a finished task reports it
    EXPECT_EQ(counter(), 0);
    sim_->freeRecordRoom(4, 1);
    channel->pendingSend();
    EXPECT_EQ(counter(), 1);
}

TEST_F(Channel, StopDropsParkedRecordsAndUnloads) {
    sim_->setRecordCapacity(4, 0);
    channel->valueSend(1, 1);
    channel->task->setError(ExceptionRuntime("boom", spanWithOffset(1, 1)));
    newStateWords();
    channel->stop();
    EXPECT_EQ(sim_->groupFunctions(4), (std::vector<uint32_t>{2}));
    EXPECT_TRUE(sim_->groupFunctions(9).empty());
    EXPECT_EQ(channel->pendingCount(), 0u);
    EXPECT_EQ(counter(), 1);
    EXPECT_FALSE(channel->task->machine->programLoaded);
    EXPECT_EQ(channel->task->error, nullptr);
    EXPECT_EQ(channel->task->state, StackmachineState::undefined);
    EXPECT_EQ(newStateWords(), (std::vector<int32_t>{1}));
}

TEST_F(Channel, ResetSendsTheChannelResetAndEmptiesTheProgramPath) {
    LogCapture log({LogLevel::warning, LogLevel::debugKiIO});
    channel->reset();
    EXPECT_EQ(sim_->groupFunctions(4), (std::vector<uint32_t>{1}));
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(), "[debugKiIO] ChannelNc2::channelResetSend"),
              log.lines.end());
    size_t resets = 0;
    for (const KernelSim::Request& r : sim_->requests())
        if (r.kind == KernelSim::Request::Kind::write && r.indexGroup == 0x2203 && r.indexOffset == 0x0F) {
            EXPECT_TRUE(r.data.empty());
            ++resets;
        }
    EXPECT_EQ(resets, 1u);
    EXPECT_EQ(stateWrites(7), (std::vector<std::vector<uint8_t>>{{0}}));
    EXPECT_EQ(channel->task->state, StackmachineState::undefined);

    // A refused channel reset is only a warning.
    sim_->failWrite(0x2203, 0x0F, kZelInvalidSize);
    log.lines.clear();
    channel->reset();
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(),
                        "[warning] Kanal3: ChannelReset failed: ?: Zel Error 0x00000705"),
              log.lines.end());
    EXPECT_EQ(stateWrites(7).size(), 2u);
}

TEST_F(Channel, ProgramLoadCompilesAndTellsTheKernelThePath) {
    LogCapture log({LogLevel::info});
    const std::string path = dir_ + "/p.jyx";
    writeFile(path, "N1\nN2\nN3");
    channel->programLoad(path);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"[info] Kanal3: File '" + path + "' loaded"}));
    EXPECT_EQ(channel->task->state, StackmachineState::stopped);
    std::vector<uint8_t> expected(path.begin(), path.end());
    expected.push_back(0);
    EXPECT_EQ(stateWrites(7), (std::vector<std::vector<uint8_t>>{expected}));

    // Over the text "N1\nN2\nN3", which the load ends with a line feed.
    ASSERT_EQ(channel->file->expandedText(), "N1\nN2\nN3\n");
    EXPECT_EQ(channel->lineText(4, 0, 0), "N2\n");
    EXPECT_EQ(channel->lineText(7, 0, 0), "N3\n");
    EXPECT_EQ(channel->lineText(4, 1, 1), "N1\nN2\nN3\n");
    EXPECT_EQ(channel->lineText(4, 1, 5), "N1\nN2\nN3\n");
    EXPECT_EQ(channel->lineText(9, 0, 0), "");
    EXPECT_EQ(channel->lineText(0, 3, 0), "N1\n");
    EXPECT_EQ(channel->lineText(-1, 0, 0), "");
    EXPECT_EQ(channel->lineText(10, 0, 0), "");
    const Karsto::LineInfo info = channel->lineInfo(4);
    EXPECT_EQ(info.kind, 2);
    EXPECT_EQ(info.value, 4);
    EXPECT_STREQ(info.text.data(), "N2\n");
    channel->currentLine = 7;
    EXPECT_STREQ(channel->lineInfo(-1).text.data(), "N3\n");
    EXPECT_EQ(channel->lineInfo(-1).value, 7);
}

TEST_F(Channel, AProgramLoadErrorFailsTheTask) {
    const std::string path = dir_ + "/missing.jyx";
    EXPECT_THROW(channel->programLoad(path), Karsto::ExceptionKarsto);
    EXPECT_EQ(channel->task->state, StackmachineState::error);
    EXPECT_TRUE(stateWrites(7).empty());
}

TEST_F(Channel, LineInfoOfAFailedTaskNamesTheErrorsFile) {
    EXPECT_EQ(channel->lineInfo(4).kind, 0); // no file yet
    const std::string path = dir_ + "/bad.jyx";
    writeFile(path, "N1\n{ x := ; }\n");
    EXPECT_THROW(channel->programLoad(path), Karsto::ExceptionKarsto);
    ASSERT_NE(channel->task->error, nullptr);
    const Karsto::LineInfo info = channel->lineInfo(0);
    EXPECT_EQ(info.kind, 3);
    EXPECT_EQ(info.value, channel->task->error->span().begin.offset);
    EXPECT_EQ(std::string(info.text.data()), channel->task->error->span().begin.file.str());
}

TEST_F(Channel, TheAxisQueryIsAPlainWriteOfItsEvent) {
    channel->eventWrite();
    ASSERT_TRUE(sim_->waitForRequests([](const std::vector<KernelSim::Request>& requests) {
        for (const KernelSim::Request& r : requests)
            if (r.indexGroup == 0x1408) return true;
        return false;
    }));
    for (const KernelSim::Request& r : sim_->requests())
        if (r.indexGroup == 0x1408) {
            EXPECT_EQ(r.kind, KernelSim::Request::Kind::write);
            EXPECT_EQ(r.indexOffset, 0u);
            EXPECT_EQ(r.data, (std::vector<uint8_t>{6, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0}));
        }
}

} // namespace
} // namespace KernelTest
