// The kernel's M-function descriptions and the blocks that use them: any description
// records and any M numbers end in records or in an ExceptionRuntime (a handshake
// conflict, more than eight numbers in one set), never in a crash or an unbounded set.
// Every record the output sends holds at most eight numbers, each set ascending.
//
// Input: one byte n (the description count, taken modulo 8), n records of 232 bytes
// (short input is padded with zeros), then blocks: each byte is an M number 0 to 127,
// a byte with the top bit set ends the block.

#include <array>
#include <memory>
#include <vector>

#include "core/exception.h"
#include "fuzz_support.h"
#include "geometry/ncmd.h"
#include "host/controller.h"
#include "host/kernel/channel_nc2.h"
#include "host/kernel/kernel_interface_nc2.h"
#include "host/kernel/mfunc_desc.h"
#include "host/kernel/ninterface_nc2.h"

namespace {

using namespace Karsto;

// Checks every M-function record instead of sending it.
class CheckingChannel final : public ChannelNc2 {
public:
    using ChannelNc2::ChannelNc2;

protected:
    uint32_t recordWrite(const Nc2Record& record) override {
        const std::span<const uint8_t> bytes = record.bytes();
        auto int32At = [&bytes](size_t at) {
            return static_cast<int32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                        static_cast<uint32_t>(bytes[at + 3]) << 24);
        };
        if (int32At(Nc2Offset::type) != static_cast<int32_t>(Nc2RecordType::mFunctions)) return 0;
        const int32_t kind = int32At(Nc2Offset::mfuncKind);
        if (kind != static_cast<int32_t>(Nc2MFuncKind::set) && kind != static_cast<int32_t>(Nc2MFuncKind::reset))
            return 0;
        for (size_t i = 1; i < Nc2Record::kMFuncSlots; ++i) {
            const int32_t previous = int32At(Nc2Offset::mfuncNumbers + 4 * (i - 1));
            const int32_t next = int32At(Nc2Offset::mfuncNumbers + 4 * i);
            Fuzz::require(next == -1 || (previous != -1 && previous < next), "a set is not ascending");
        }
        return 0;
    }
};

struct Harness {
    Harness() {
        kernel = std::make_unique<KernelInterfaceNc2>(&controller, Fuzz::scratchDirectory());
        controller.kernel = kernel.get();
        channel = new CheckingChannel(kernel.get(), 1, "Kanal1", 65536, 0);
        kernel->channelAdd(channel);
        channel->groupAdd(std::make_unique<GroupNc2>(1, 1, "G1", channel, 0));
    }
    Controller controller;
    std::unique_ptr<KernelInterfaceNc2> kernel;
    CheckingChannel* channel = nullptr;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness harness;
    ChannelNc2& channel = *harness.channel;
    NInterfaceNc2& output = *channel.output;
    output.reset();
    channel.mFuncDescClear();
    size_t at = 0;
    const size_t count = size > 0 ? data[at++] % 8 : 0;
    for (size_t d = 0; d < count; ++d) {
        std::array<uint8_t, MFuncDesc::kSize> record{};
        for (size_t i = 0; i < MFuncDesc::kSize && at < size; ++i) record[i] = data[at++];
        channel.mFuncDescAdd(MFuncDesc(record));
    }
    uint64_t block = 1;
    uint64_t serial = 1;
    const BlockOrigin origin;
    try {
        for (; at < size; ++at) {
            if (data[at] & 0x80) {
                output.keySet({++block, 0.0});
                continue;
            }
            output.cmdAdd(std::make_unique<NCmdMFunc>(static_cast<double>(data[at]), origin, BlockKey{block, 0.0},
                                                      serial++));
        }
        output.keySet({block + 1, 0.0});
    } catch (const ExceptionRuntime&) {
        output.reset(); // as the failed task's reset does
    }
    return 0;
}
