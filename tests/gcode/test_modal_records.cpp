#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/exception.h"
#include "core/machine_test_support.h"
#include "gcode/modal_records.h"

namespace Karsto {
namespace {

using test::spanAt;

const std::array<int32_t, 20> kDefaultWords{0,    4096, 0,    4113, 4136, 8194, 4149,
                                            0,    0,    4186, 4167, 8197, 8200, 8202,
                                            8205, 8207, 8209, 8211, 8212, 8224};

TEST(ModalState, DefaultRecord) { EXPECT_EQ(ModalState().words, kDefaultWords); }

TEST(ModalRecords, BuiltinRecordingsAppendOnlyOnAChange) {
    ModalRecords r;
    const SourceSpan span = spanAt(7);
    const struct {
        const char* name;
        std::function<void()> record;
        ModalWord word;
        int32_t value;
        uint64_t appended; // after recording twice
    } cases[] = {
        {"G4", [&] { r.recordModalG4(span); }, ModalWord::dwell, 4100, 2},
        {"feed mode 1", [&] { r.recordModalFeedMode(1, span); }, ModalWord::feedMode, 8198, 1},
        {"feed mode 2", [&] { r.recordModalFeedMode(2, span); }, ModalWord::feedMode, 8199, 1},
        {"feed mode 9", [&] { r.recordModalFeedMode(9, span); }, ModalWord::feedMode, 9, 1},
        {"feed mode 0", [&] { r.recordModalFeedMode(0, span); }, ModalWord::feedMode, 8197, 0},
        {"correction off", [&] { r.recordModalCenterPointCorrection(false, span); },
         ModalWord::centerPointCorrection, 8201, 1},
        {"correction on", [&] { r.recordModalCenterPointCorrection(true, span); },
         ModalWord::centerPointCorrection, 8200, 0},
        {"collision on", [&] { r.recordModalCollisionElimination(true, span); },
         ModalWord::collisionElimination, 8204, 1},
        {"rotation 0", [&] { r.recordModalRotation(0.0, span); }, ModalWord::rotation, 8207, 0},
        {"rotation -0", [&] { r.recordModalRotation(-0.0, span); }, ModalWord::rotation, 8207, 0},
        {"rotation 0.1", [&] { r.recordModalRotation(0.1, span); }, ModalWord::rotation, 8206, 1},
        {"interpolation 1", [&] { r.recordModalFeedInterpolation(1, span); },
         ModalWord::feedInterpolation, 8213, 1},
        {"interpolation 4", [&] { r.recordModalFeedInterpolation(4, span); },
         ModalWord::feedInterpolation, 4, 1},
    };
    for (const auto& k : cases) {
        r = ModalRecords();
        k.record();
        k.record();
        EXPECT_EQ(r.modalStates().appended(), k.appended) << k.name;
        EXPECT_EQ(r.modalState[k.word], k.value) << k.name;
        if (k.appended > 0) {
            const ModalState at = r.modalStateAt(7);
            EXPECT_EQ(at[ModalWord::line], 7) << k.name;
            EXPECT_EQ(at[k.word], k.value) << k.name;
        }
    }
}

TEST(ModalRecords, ZeroOffsetWordOfG54ToG57) {
    ModalRecords r;
    EXPECT_TRUE(r.setModalZeroOffsetWord(2));
    EXPECT_EQ(r.modalState[ModalWord::zeroOffset], 4152);
    EXPECT_FALSE(r.setModalZeroOffsetWord(2));
    EXPECT_TRUE(r.setModalZeroOffsetWord(0));
    EXPECT_EQ(r.modalState[ModalWord::zeroOffset], 4150);
    EXPECT_TRUE(r.setModalZeroOffsetWord(3));
    EXPECT_FALSE(r.setModalZeroOffsetWord(4));
    EXPECT_FALSE(r.setModalZeroOffsetWord(-1));
    EXPECT_EQ(r.modalState[ModalWord::zeroOffset], 4153);
    EXPECT_EQ(r.modalStates().appended(), 0u);
}

TEST(ModalRecords, LookupsAnswerTheFirstRecordOfExactlyThatLine) {
    ModalRecords r;
    // A line in a loop: recorded on two passes with different feed modes.
    r.recordModalFeedMode(1, spanAt(12));
    r.recordModalFeedMode(2, spanAt(12));
    EXPECT_EQ(r.modalStates().appended(), 2u);
    EXPECT_EQ(r.modalStateAt(12)[ModalWord::feedMode], 8198);
    // Line 13 never ran: the default, although line 12 changed the state.
    EXPECT_EQ(r.modalStateAt(13).words, kDefaultWords);
    EXPECT_EQ(r.modalStateAt(0).words, kDefaultWords);
    EXPECT_EQ(r.modalStateAt(-3).words, kDefaultWords);
    // Without a span the record goes under line -1, which no lookup answers.
    r.recordModalFeedMode(0, SourceSpan());
    EXPECT_EQ(r.modalState[ModalWord::line], -1);
    EXPECT_EQ(r.modalStateAt(-1).words, kDefaultWords);

    r.zeroOffsetRecord.selected = {5.0, 6.0, 7.0};
    r.appendZeroOffsetRecord(spanAt(4));
    r.zeroOffsetRecord.selected = {1.0, 1.0, 1.0};
    r.appendZeroOffsetRecord(spanAt(4));
    const ZeroOffsetRecord z = r.zeroOffsetsAt(4);
    EXPECT_EQ(z.line, 4);
    EXPECT_EQ(z.selected, (Point3{5.0, 6.0, 7.0}));
    EXPECT_EQ(z.g58, Point3());
    EXPECT_EQ(r.zeroOffsetsAt(5), ZeroOffsetRecord());

    r.recordRotation(0.5, spanAt(9), 1);
    r.recordRotation(0.5, spanAt(9), 1); // always records
    r.recordRotation(0.25, spanAt(10), 2);
    EXPECT_EQ(r.rotationRecords().appended(), 3u);
    EXPECT_EQ(r.rotationAt(9).values, (std::array<double, 3>{0.0, 0.5, 0.0}));
    EXPECT_EQ(r.rotationAt(10).values, (std::array<double, 3>{0.0, 0.5, 0.25}));
    EXPECT_EQ(r.rotationAt(11), RotationRecord());
}

TEST(ModalRecords, RotationIndexOutsideTheRecordIsRefused) {
    ModalRecords r;
    for (int8_t index : {int8_t{3}, int8_t{-1}}) {
        try {
            r.recordRotation(1.0, spanAt(1), index);
            ADD_FAILURE() << "no error for " << int{index};
        } catch (const ExceptionRuntime& e) {
            EXPECT_EQ(e.message(), "Invalid rotation index " + std::to_string(index));
        }
    }
    EXPECT_EQ(r.rotationRecords().appended(), 0u);
    EXPECT_EQ(r.rotationRecord, RotationRecord());
}

TEST(ModalRecords, ResetEmptiesTheStoresAndKeepsTheCurrentRecords) {
    ModalRecords r;
    r.setWord(ModalWord::plane, modalGCode(18));
    r.appendModalState(spanAt(2));
    r.zeroOffsetRecord.g59 = {0.0, 0.0, 1.0};
    r.appendZeroOffsetRecord(spanAt(2));
    r.recordRotation(1.0, spanAt(2), 0);
    r.modalChanged = true;
    r.reset();
    EXPECT_EQ(r.modalStates().appended(), 0u);
    EXPECT_EQ(r.modalStates().lines(), 0u);
    EXPECT_EQ(r.zeroOffsetRecords().lines(), 0u);
    EXPECT_EQ(r.rotationRecords().lines(), 0u);
    EXPECT_FALSE(r.modalChanged);
    EXPECT_EQ(r.modalStateAt(2).words, kDefaultWords);
    EXPECT_EQ(r.modalState[ModalWord::plane], 4114);
    EXPECT_EQ(r.zeroOffsetRecord.g59, (Point3{0.0, 0.0, 1.0}));
    EXPECT_EQ(r.rotationRecord.values[0], 1.0);
}

// A reading of the wire image that does not share the writer's code.
int32_t readInt32(const uint8_t* at) {
    return static_cast<int32_t>(uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 |
                                uint32_t{at[3]} << 24);
}

double readDouble(const uint8_t* at) {
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = bits << 8 | at[i];
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

TEST(ModalRecords, ByteImagesArePackedLittleEndian) {
    ModalState s;
    s[ModalWord::line] = -2;
    const auto modal = s.bytes();
    static_assert(modal.size() == 80);
    EXPECT_EQ(modal[0], 0xFE);
    EXPECT_EQ(modal[3], 0xFF);
    EXPECT_EQ(modal[4], 0x00); // 4096 = 0x1000
    EXPECT_EQ(modal[5], 0x10);
    for (size_t i = 0; i < 20; ++i) EXPECT_EQ(readInt32(modal.data() + 4 * i), s.words[i]) << i;

    ZeroOffsetRecord z;
    z.line = 0x01020304;
    z.selected = {1.0, 2.0, 3.0};
    z.g58 = {4.0, 5.0, 6.0};
    z.g59 = {7.0, 8.0, -9.5};
    const auto zos = z.bytes();
    static_assert(zos.size() == 80);
    EXPECT_EQ((std::vector<uint8_t>(zos.begin(), zos.begin() + 8)),
              (std::vector<uint8_t>{4, 3, 2, 1, 0, 0, 0, 0}));
    for (size_t i = 0; i < 9; ++i) EXPECT_EQ(readDouble(zos.data() + 8 + 8 * i), i == 8 ? -9.5 : i + 1.0);
    // 1.0 is 0x3FF0000000000000: its top byte is the last one.
    EXPECT_EQ(zos[15], 0x3F);
    EXPECT_EQ(zos[14], 0xF0);

    RotationRecord rot;
    rot.line = 3;
    rot.values = {0.5, -1.0, 2.0};
    const auto rotation = rot.bytes();
    static_assert(rotation.size() == 32);
    EXPECT_EQ(readInt32(rotation.data()), 3);
    EXPECT_EQ(readInt32(rotation.data() + 4), 0);
    EXPECT_EQ(readDouble(rotation.data() + 8), 0.5);
    EXPECT_EQ(readDouble(rotation.data() + 16), -1.0);
    EXPECT_EQ(readDouble(rotation.data() + 24), 2.0);
}

} // namespace
} // namespace Karsto
