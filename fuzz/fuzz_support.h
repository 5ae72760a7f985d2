#pragma once
// What every fuzz target shares: a failed property ends the process with its reason (so
// libFuzzer keeps the input as a finding and the corpus replay fails), and a scratch
// directory of the process's own for the files a target writes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// libFuzzer's entry points, defined by each target.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace Karsto::Fuzz {

// Prints "property failed: " and the formatted reason, then aborts.
[[gnu::format(printf, 2, 3)]] void require(bool condition, const char* format, ...);

// A fresh directory for this process, with a trailing '/'; removed at exit.
const std::string& scratchDirectory();

// Writes the bytes to a file in the scratch directory and returns its path.
std::string writeScratchFile(const std::string& name, std::string_view content);

// Prints the line at exit, after every input ran (libFuzzer ends with exit()).
void reportAtExit(void (*report)());

} // namespace Karsto::Fuzz
