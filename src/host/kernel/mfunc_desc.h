#pragma once
// How the NC kernel wants one M function output: the 232-byte record it writes per M
// number. Only the number, the handshake type, the output flags and the list of M
// numbers this one resets are read; the other bytes are kept as written.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace Karsto {

class MFuncDesc {
public:
    static constexpr size_t kSize = 232;
    static constexpr size_t kNrOffset = 0;
    static constexpr size_t kHskOffset = 4;
    static constexpr size_t kFastOffset = 8;
    static constexpr size_t kResetListOffset = 16; // int32 M numbers, ended by -1
    static constexpr int32_t kResetListEnd = -1;

    MFuncDesc() = default;
    // The fields are read once here: the NC output reads them for every block.
    explicit MFuncDesc(std::span<const uint8_t, kSize> record);

    int32_t nr() const { return nr_; }
    int32_t hsk() const { return hsk_; }
    int32_t fast() const { return fast_; }
    // The M numbers this one resets, without the end mark; to the record's end when
    // there is no end mark.
    const std::vector<int32_t>& resetList() const { return resetList_; }
    std::span<const uint8_t, kSize> bytes() const { return bytes_; }

private:
    std::array<uint8_t, kSize> bytes_{};
    int32_t nr_ = 0;
    int32_t hsk_ = 0;
    int32_t fast_ = 0;
    std::vector<int32_t> resetList_;
};

} // namespace Karsto
