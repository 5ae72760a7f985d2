#include "fuzz_support.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace Karsto::Fuzz {

void require(bool condition, const char* format, ...) {
    if (condition) return;
    std::fputs("property failed: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::abort();
}

namespace {

// Removed when the process exits, after every input ran.
struct ScratchDirectory {
    ScratchDirectory() {
        // In memory where the system offers it: targets write files for every input.
        std::error_code error;
        std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        // One per process: libFuzzer's fork and worker modes run many at once.
        std::filesystem::path root = base / ("vordash_fuzz_" + std::to_string(::getpid()));
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
        path = root.string() + "/";
    }
    ~ScratchDirectory() {
        std::error_code error;
        std::filesystem::remove_all(path, error);
    }
    std::string path;
};

} // namespace

const std::string& scratchDirectory() {
    static const ScratchDirectory directory;
    return directory.path;
}

std::string writeScratchFile(const std::string& name, std::string_view content) {
    std::string path = scratchDirectory() + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    require(out.good(), "cannot write the scratch file '%s'", path.c_str());
    return path;
}

void reportAtExit(void (*report)()) { std::atexit(report); }

} // namespace Karsto::Fuzz
