// The kernel's requests to the interpreter's server: any sequence of reads, writes,
// read-writes and NC command events for channels 4 and 9 (and ids nobody has) is
// answered or ends in one of the refusals that end the controller loop by design (the
// tool table's inside a read, the axis query's inside an event), never in a crash, a
// write outside the shared image or an unbounded answer.
//
// Input: requests, each one byte kind (modulo 4: read, write, read-write, NC command
// event), one byte channel id, one byte range (the index group's bits 8 to 15), four
// bytes index offset and two bytes read length (little-endian), one byte n, then n bytes
// written (short input ends the request with what is there). An event sends the n bytes
// as its data; id, range, offset and length are not used.
//
// A program load (channel function 0x04) opens its path below the scratch directory
// only: the harness maps the drive prefix there and the loads it sends name a file in
// it, with every separator and ".." taken out.

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "codegen/codegen_install.h"
#include "core/exception.h"
#include "core/type.h"
#include "core/type_pointer.h"
#include "core/type_string.h"
#include "frontend/scanner_input.h"
#include "fuzz_support.h"
#include "host/controller.h"
#include "host/kernel/channel_nc2.h"
#include "host/kernel/kernel_interface_nc2.h"

namespace {

using namespace Karsto;

struct Harness {
    Harness() {
        // No router: the answers find no connection and are dropped at once.
        ::setenv("VORDASH_VEK_ROUTER", (Fuzz::scratchDirectory() + "no-router.sock").c_str(), 1);
        // Files of the channel functions (snapshots, tool data, programs) stay in scratch.
        ::setenv("VORDASH_DRIVE_ROOT", Fuzz::scratchDirectory().c_str(), 1);
        defaultDataPath = Fuzz::scratchDirectory();
        Fuzz::writeScratchFile("a.jyx", "N10 G1 X1 F600\n{ wait(); sync(); }\nN20 X2\n");
        Fuzz::writeScratchFile("b.jyx", "{ r1 := nirgends; }\n");
        createElementaryTypes();
        createDefaultStringTypes();
        createNullPointerType();
        installCodeGenerator(); // channel function 0x04 compiles the programs it loads
        link = std::make_unique<KernelInterfaceNc2>(&controller, Fuzz::scratchDirectory());
        controller.kernel = link.get();
        for (int32_t id : {4, 9}) link->channelAdd(new ChannelNc2(link.get(), id, "Kanal" + std::to_string(id), 1000, 0));
        link->rParamsDeclare();
        cells = controller.memoryShared.size();
    }
    Controller controller;
    std::unique_ptr<KernelInterfaceNc2> link;
    int64_t cells = 0;
};

constexpr uint32_t kFunctionsRange = 0x2200;
constexpr uint32_t kLoadProgram = 0x04;

// A program path below the scratch directory: "C:\" and the name without separators,
// dots pairs and NUL bytes.
std::vector<uint8_t> confinedPath(const std::vector<uint8_t>& written) {
    std::string name;
    for (uint8_t c : written) {
        if (c == 0) break;
        if (c == '/' || c == '\\') continue;
        name.push_back(static_cast<char>(c));
    }
    for (size_t at; (at = name.find("..")) != std::string::npos;) name.erase(at, 2);
    const std::string path = "C:\\" + name;
    std::vector<uint8_t> out(path.begin(), path.end());
    out.push_back(0);
    return out;
}

uint32_t littleEndian(const uint8_t* data, size_t bytes) {
    uint32_t v = 0;
    for (size_t i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(data[i]) << (8 * i);
    return v;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness harness;
    KernelInterfaceNc2& link = *harness.link;
    constexpr size_t kHead = 10;
    size_t at = 0;
    while (at + kHead <= size) {
        const uint8_t* head = data + at;
        at += kHead;
        const uint32_t group = static_cast<uint32_t>(head[2]) << 8 | head[1];
        const uint32_t offset = littleEndian(head + 3, 4);
        const uint32_t readLength = littleEndian(head + 7, 2);
        const size_t n = std::min<size_t>(head[9], size - at);
        std::vector<uint8_t> written(data + at, data + at + n);
        at += n;
        const uint32_t kind = head[0] % 4u;
        if (kind == 1 && (group & ~0xFFu) == kFunctionsRange && offset == kLoadProgram) written = confinedPath(written);
        try {
            switch (kind) {
            case 0: {
                ZelServerBuffered::Read read;
                read.indexGroup = group;
                read.indexOffset = offset;
                read.length = readLength;
                link.executeEventRead(read);
                break;
            }
            case 1: {
                ZelServerBuffered::Write write;
                write.indexGroup = group;
                write.indexOffset = offset;
                write.length = static_cast<uint32_t>(written.size());
                write.data = written;
                link.executeEventWrite(write);
                break;
            }
            case 3: {
                ZelServerBuffered::Cmd cmd;
                VekHead vekHead;
                vekHead.cmdId = KernelInterfaceNc2::kCmdNcEvent;
                vekHead.dataLength = static_cast<uint32_t>(written.size());
                cmd.command.resize(kVekHeadSize);
                vekEncodeHead(vekHead, cmd.command.data());
                cmd.command.insert(cmd.command.end(), written.begin(), written.end());
                link.nccmdEvent(cmd);
                break;
            }
            default: {
                ZelServerBuffered::Readwrite readwrite;
                readwrite.indexGroup = group;
                readwrite.indexOffset = offset;
                readwrite.readLength = readLength;
                readwrite.writeLength = static_cast<uint32_t>(written.size());
                readwrite.data = written;
                link.executeEventReadwrite(readwrite);
                break;
            }
            }
        } catch (const ExceptionRuntime&) {
            // A read the tool table refuses and an axis query the kernel refuses (no
            // router here) end the controller loop by design.
            Fuzz::require(kind != 1, "a write let a program error escape");
        }
        Fuzz::require(harness.controller.memoryShared.size() == harness.cells, "the shared memory changed");
    }
    return 0;
}
