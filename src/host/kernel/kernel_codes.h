// Answer and error codes that pass between the NC kernel and this interpreter: the
// results of the kernel's requests, the kernel's answers to our writes and the error
// word a failed channel reports.
#pragma once

#include <cstdint>

namespace Karsto {

enum class ZelCode : uint32_t {
    ok = 0,
    programError = 0x700,
    singleStepMode = 0x701,  // the interpreter has no single-step mode
    noChannel = 0x702,
    invalidOffset = 0x703,
    wrongAccess = 0x704,
    badLength = 0x705,
    invalidBlockSearch = 0x70B, // a block search without target or of an unknown kind
    readFailed = 0x4000,     // a configuration read was refused, or the initialisation failed
    channelMissing = 0x4010, // no channel for the id, or a channel without a group
    notWaiting = 0x410A,     // a go-ahead while the program does not wait for one
    syntaxError = 0x4111,
    semanticError = 0x4112,  // also the error word of a run-time error
    bufferFull = 0x423F,     // the group's record buffer has no room: park the record
};

constexpr uint32_t kernelCode(ZelCode c) { return static_cast<uint32_t>(c); }

} // namespace Karsto
