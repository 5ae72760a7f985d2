#pragma once
// The few process functions of the Windows API the host calls, on this system: the own
// file path, a per-thread last error in Windows numbering, and sleep.

#include <cstdint>

namespace Karsto {

// The Windows error numbers the platform stand-ins report through GetLastError.
enum class WinError : uint32_t {
    success = 0,
    fileNotFound = 2,
    pathNotFound = 3,
    accessDenied = 5,
    invalidHandle = 6,
    genFailure = 31,
    invalidParameter = 87,
    insufficientBuffer = 122,
    invalidName = 123,
    filenameTooLong = 206,
    serviceAlreadyRunning = 1056,
    serviceDoesNotExist = 1060,
    failedServiceControllerConnect = 1063,
    serviceMarkedForDelete = 1072,
    serviceExists = 1073,
    serviceNotInExe = 1083,
};

// The longest path the host keeps for its own file, terminating NUL included.
inline constexpr uint32_t kMaxPath = 260;

// The last error of the calling thread.
uint32_t GetLastError();
void SetLastError(WinError error);
// Sets the last error that best describes an errno value.
void setLastErrorFromErrno(int error);

// The path of the running program (module must be null: the program's own file) into
// buffer, NUL-terminated; returns its length. A path that does not fit is cut to size - 1
// characters with the last error insufficientBuffer and size returned; 0 on failure.
uint32_t GetModuleFileNameW(const void* module, char* buffer, uint32_t size);

void Sleep(uint32_t milliseconds);

} // namespace Karsto
