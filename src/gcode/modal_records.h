#pragma once
// The per-line records the kernel reads back while it has reporting switched on: the
// modal state (the active G-code groups and modes), the zero offsets selected by G54 to
// G59 and the rotation values, each remembered for the source line that made it. The
// records go to the kernel byte for byte: their byte images are wire formats.

#include <array>
#include <cstdint>
#include <map>

#include "core/source_span.h"
#include "geometry/point3.h"

namespace Karsto {

// The words of a ModalState, by meaning.
enum class ModalWord : int32_t {
    line = 0,
    motion = 1,
    dwell = 2, // not modal: cleared at the start of every block
    plane = 3,
    radiusCompensation = 4,
    toolDirection = 5,
    zeroOffset = 6,
    accurateStop = 7,
    exactStop = 8, // not modal: cleared at the start of every block
    reference = 9,
    units = 10,
    feedMode = 11,
    centerPointCorrection = 12,
    fixed13 = 13,
    collisionElimination = 14,
    rotation = 15,
    fixed16 = 16,
    fixed17 = 17,
    feedInterpolation = 18,
    fixed19 = 19,
};

// The code of G number g in a modal word, and of mode n of the other groups.
constexpr int32_t modalGCode(int32_t g) { return 0x1000 + g; }
constexpr int32_t modalModeCode(int32_t n) { return 0x2000 + n; }

// Twenty little-endian int32 words: the source line, then one code per group.
struct ModalState {
    static constexpr size_t kWords = 20;
    static constexpr size_t kBytes = 4 * kWords;

    // The default record: G0, G17, G40, P+1, G53, G90, G71 and the defaults of the modes.
    ModalState();

    int32_t& operator[](ModalWord w) { return words[static_cast<size_t>(w)]; }
    int32_t operator[](ModalWord w) const { return words[static_cast<size_t>(w)]; }
    std::array<uint8_t, kBytes> bytes() const;

    bool operator==(const ModalState&) const = default;

    std::array<int32_t, kWords> words{};
};

// The zero offsets of a line: x, y, z of the settable offset selected last (as it was then)
// and of the G58 and G59 offsets as programmed last.
struct ZeroOffsetRecord {
    static constexpr size_t kBytes = 80;

    int32_t line = 0;
    Point3 selected;
    Point3 g58;
    Point3 g59;

    // int32 line, four zero bytes, then the nine doubles.
    std::array<uint8_t, kBytes> bytes() const;

    bool operator==(const ZeroOffsetRecord&) const = default;
};

// The rotation values of a line, by component 0 to 2.
struct RotationRecord {
    static constexpr size_t kBytes = 32;
    static constexpr size_t kValues = 3;

    int32_t line = 0;
    std::array<double, kValues> values{};

    // int32 line, four zero bytes, then the three doubles.
    std::array<uint8_t, kBytes> bytes() const;

    bool operator==(const RotationRecord&) const = default;
};

// The line a record is made for: the span's begin line, -1 without a span.
inline int32_t recordLine(const SourceSpan& span) { return span.valid ? span.begin.line : -1; }

// The current records and what has been recorded per line. A lookup can only ever answer
// the first record of a line, so a store keeps that one and counts the rest: a line in a
// loop that is recorded on every pass costs no memory after its first pass.
class ModalRecords {
public:
    template <class Record>
    class Store {
    public:
        // Keeps the record unless its line already has one.
        void append(int32_t line, const Record& record) {
            ++appended_;
            byLine_.try_emplace(line, record);
        }
        // The first record of exactly that line, or null.
        const Record* find(int32_t line) const {
            const auto found = byLine_.find(line);
            return found != byLine_.end() ? &found->second : nullptr;
        }
        // Records appended since the last clear, later passes over a line included.
        uint64_t appended() const { return appended_; }
        size_t lines() const { return byLine_.size(); }
        void clear() {
            byLine_.clear();
            appended_ = 0;
        }

    private:
        std::map<int32_t, Record> byLine_;
        uint64_t appended_ = 0;
    };

    // Empties the stores and clears modalChanged; the current records stay as they are.
    void reset();

    // The built-ins' recordings: each sets its word and, when the word changed, records
    // the modal state for the span's line. recordModalG4 records also when unchanged.
    void recordModalG4(const SourceSpan& span);
    void recordModalFeedMode(int32_t mode, const SourceSpan& span);
    void recordModalCenterPointCorrection(bool on, const SourceSpan& span);
    void recordModalCollisionElimination(bool on, const SourceSpan& span);
    void recordModalRotation(double angle, const SourceSpan& span);
    void recordModalFeedInterpolation(int32_t value, const SourceSpan& span);
    // Sets rotation value index (0 to 2; any other raises "Invalid rotation index %d") and
    // records the rotation values for the span's line, always.
    void recordRotation(double value, const SourceSpan& span, int8_t index);

    // G54 to G57 as n = 0 to 3: sets the zero-offset word and returns whether it changed;
    // any other n changes nothing and returns false.
    bool setModalZeroOffsetWord(int32_t n);
    // Sets a word; returns whether it changed.
    bool setWord(ModalWord w, int32_t value);
    // Word 0 = the span's line, then a copy of the modal state into its store; the same for
    // the zero-offset record.
    void appendModalState(const SourceSpan& span);
    void appendZeroOffsetRecord(const SourceSpan& span);

    // The first record of exactly that line; a line below 1 or without a record answers
    // the default record (zeros for the zero offsets and rotations).
    ModalState modalStateAt(int32_t line) const;
    ZeroOffsetRecord zeroOffsetsAt(int32_t line) const;
    RotationRecord rotationAt(int32_t line) const;

    // The current records.
    ModalState modalState;
    ZeroOffsetRecord zeroOffsetRecord;
    RotationRecord rotationRecord;
    // Set when the motion group or G60 changed while recording; from then on every block
    // records. Only a reset clears it.
    bool modalChanged = false;

    const Store<ModalState>& modalStates() const { return modalStates_; }
    const Store<ZeroOffsetRecord>& zeroOffsetRecords() const { return zeroOffsetRecords_; }
    const Store<RotationRecord>& rotationRecords() const { return rotationRecords_; }

private:
    void recordWord(ModalWord w, int32_t value, const SourceSpan& span);

    Store<ModalState> modalStates_;
    Store<ZeroOffsetRecord> zeroOffsetRecords_;
    Store<RotationRecord> rotationRecords_;
};

} // namespace Karsto
