#include "host/platform/win_process.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace Karsto {

namespace {

// Windows keeps the last error per thread; so does this.
thread_local uint32_t lastError = 0;

WinError errorOfErrno(int error) {
    switch (error) {
    case 0: return WinError::success;
    case ENOENT: return WinError::fileNotFound;
    case ENOTDIR: return WinError::pathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return WinError::accessDenied;
    case EBADF: return WinError::invalidHandle;
    case EINVAL: return WinError::invalidParameter;
    case ENAMETOOLONG: return WinError::filenameTooLong;
    default: return WinError::genFailure;
    }
}

} // namespace

uint32_t GetLastError() { return lastError; }

void SetLastError(WinError error) { lastError = static_cast<uint32_t>(error); }

void setLastErrorFromErrno(int error) { SetLastError(errorOfErrno(error)); }

uint32_t GetModuleFileNameW(const void* module, char* buffer, uint32_t size) {
    if (module != nullptr || buffer == nullptr || size == 0) {
        SetLastError(WinError::invalidParameter);
        return 0;
    }
    // One byte more than fits, so a path of exactly size characters shows as cut.
    char path[4096 + 1];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    if (length < 0) {
        setLastErrorFromErrno(errno);
        return 0;
    }
    const auto full = static_cast<size_t>(length);
    if (full >= size || full >= sizeof path) {
        const size_t kept = std::min<size_t>(size - 1, full);
        std::memcpy(buffer, path, kept);
        buffer[kept] = 0;
        SetLastError(WinError::insufficientBuffer);
        return size;
    }
    std::memcpy(buffer, path, full);
    buffer[full] = 0;
    SetLastError(WinError::success);
    return static_cast<uint32_t>(full);
}

void Sleep(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace Karsto
