#include "gcode/modal_records.h"

#include "core/exception.h"
#include "gcode/little_endian.h"

namespace Karsto {

namespace {

// Line at 0, four zero bytes at 4, then the points' coordinates from 8 on.
template <size_t N>
void putLineAndDoubles(std::array<uint8_t, N>& bytes, int32_t line, const double* values,
                       size_t count) {
    putInt32(bytes.data(), line);
    for (size_t i = 0; i < count; ++i) putDouble(bytes.data() + 8 + 8 * i, values[i]);
}

constexpr int32_t kFeedModeCodes[] = {modalModeCode(5), modalModeCode(6), modalModeCode(7)};

} // namespace

ModalState::ModalState() {
    ModalState& s = *this;
    s[ModalWord::line] = 0;
    s[ModalWord::motion] = modalGCode(0);
    s[ModalWord::dwell] = 0;
    s[ModalWord::plane] = modalGCode(17);
    s[ModalWord::radiusCompensation] = modalGCode(40);
    s[ModalWord::toolDirection] = modalModeCode(2);
    s[ModalWord::zeroOffset] = modalGCode(53);
    s[ModalWord::accurateStop] = 0;
    s[ModalWord::exactStop] = 0;
    s[ModalWord::reference] = modalGCode(90);
    s[ModalWord::units] = modalGCode(71);
    s[ModalWord::feedMode] = kFeedModeCodes[0];
    s[ModalWord::centerPointCorrection] = modalModeCode(8);
    s[ModalWord::fixed13] = modalModeCode(10);
    s[ModalWord::collisionElimination] = modalModeCode(13);
    s[ModalWord::rotation] = modalModeCode(15);
    s[ModalWord::fixed16] = modalModeCode(17);
    s[ModalWord::fixed17] = modalModeCode(19);
    s[ModalWord::feedInterpolation] = modalModeCode(20);
    s[ModalWord::fixed19] = modalModeCode(32);
}

std::array<uint8_t, ModalState::kBytes> ModalState::bytes() const {
    std::array<uint8_t, kBytes> image{};
    for (size_t i = 0; i < kWords; ++i) putInt32(image.data() + 4 * i, words[i]);
    return image;
}

std::array<uint8_t, ZeroOffsetRecord::kBytes> ZeroOffsetRecord::bytes() const {
    const double values[] = {selected.x, selected.y, selected.z, g58.x, g58.y,
                             g58.z,      g59.x,      g59.y,      g59.z};
    std::array<uint8_t, kBytes> image{};
    putLineAndDoubles(image, line, values, std::size(values));
    return image;
}

std::array<uint8_t, RotationRecord::kBytes> RotationRecord::bytes() const {
    std::array<uint8_t, kBytes> image{};
    putLineAndDoubles(image, line, values.data(), values.size());
    return image;
}

void ModalRecords::reset() {
    modalStates_.clear();
    zeroOffsetRecords_.clear();
    rotationRecords_.clear();
    modalChanged = false;
}

void ModalRecords::recordWord(ModalWord w, int32_t value, const SourceSpan& span) {
    if (setWord(w, value)) appendModalState(span);
}

void ModalRecords::recordModalG4(const SourceSpan& span) {
    setWord(ModalWord::dwell, modalGCode(4));
    appendModalState(span);
}

void ModalRecords::recordModalFeedMode(int32_t mode, const SourceSpan& span) {
    const bool known = mode >= 0 && mode < static_cast<int32_t>(std::size(kFeedModeCodes));
    recordWord(ModalWord::feedMode, known ? kFeedModeCodes[mode] : mode, span);
}

void ModalRecords::recordModalCenterPointCorrection(bool on, const SourceSpan& span) {
    recordWord(ModalWord::centerPointCorrection, on ? modalModeCode(8) : modalModeCode(9), span);
}

void ModalRecords::recordModalCollisionElimination(bool on, const SourceSpan& span) {
    recordWord(ModalWord::collisionElimination, on ? modalModeCode(12) : modalModeCode(13), span);
}

void ModalRecords::recordModalRotation(double angle, const SourceSpan& span) {
    recordWord(ModalWord::rotation, angle == 0.0 ? modalModeCode(15) : modalModeCode(14), span);
}

void ModalRecords::recordModalFeedInterpolation(int32_t value, const SourceSpan& span) {
    const int32_t code = value == 0 ? modalModeCode(20) : value == 1 ? modalModeCode(21) : value;
    recordWord(ModalWord::feedInterpolation, code, span);
}

void ModalRecords::recordRotation(double value, const SourceSpan& span, int8_t index) {
    checkRuntime(index >= 0 && static_cast<size_t>(index) < RotationRecord::kValues,
                 "Invalid rotation index %d", index);
    rotationRecord.line = recordLine(span);
    rotationRecord.values[static_cast<size_t>(index)] = value;
    rotationRecords_.append(rotationRecord.line, rotationRecord);
}

bool ModalRecords::setModalZeroOffsetWord(int32_t n) {
    if (n < 0 || n > 3) return false;
    return setWord(ModalWord::zeroOffset, modalGCode(54 + n));
}

bool ModalRecords::setWord(ModalWord w, int32_t value) {
    if (modalState[w] == value) return false;
    modalState[w] = value;
    return true;
}

void ModalRecords::appendModalState(const SourceSpan& span) {
    modalState[ModalWord::line] = recordLine(span);
    modalStates_.append(modalState[ModalWord::line], modalState);
}

void ModalRecords::appendZeroOffsetRecord(const SourceSpan& span) {
    zeroOffsetRecord.line = recordLine(span);
    zeroOffsetRecords_.append(zeroOffsetRecord.line, zeroOffsetRecord);
}

ModalState ModalRecords::modalStateAt(int32_t line) const {
    const ModalState* found = line >= 1 ? modalStates_.find(line) : nullptr;
    return found != nullptr ? *found : ModalState();
}

ZeroOffsetRecord ModalRecords::zeroOffsetsAt(int32_t line) const {
    const ZeroOffsetRecord* found = line >= 1 ? zeroOffsetRecords_.find(line) : nullptr;
    return found != nullptr ? *found : ZeroOffsetRecord();
}

RotationRecord ModalRecords::rotationAt(int32_t line) const {
    const RotationRecord* found = line >= 1 ? rotationRecords_.find(line) : nullptr;
    return found != nullptr ? *found : RotationRecord();
}

} // namespace Karsto
