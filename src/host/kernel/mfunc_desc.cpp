#include "host/kernel/mfunc_desc.h"

#include <algorithm>

#include "host/zel/vek_types.h"

namespace Karsto {

MFuncDesc::MFuncDesc(std::span<const uint8_t, kSize> record) {
    std::copy(record.begin(), record.end(), bytes_.begin());
    auto int32At = [this](size_t offset) { return static_cast<int32_t>(vekGet32(bytes_.data() + offset)); };
    nr_ = int32At(kNrOffset);
    hsk_ = int32At(kHskOffset);
    fast_ = int32At(kFastOffset);
    for (size_t offset = kResetListOffset; offset + 4 <= kSize; offset += 4) {
        const int32_t number = int32At(offset);
        if (number == kResetListEnd) break;
        resetList_.push_back(number);
    }
}

} // namespace Karsto
