#include "host/platform/state_directory.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace Karsto {

namespace {

std::filesystem::path homeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != 0) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr)
        return found->pw_dir;
    return {};
}

} // namespace

std::filesystem::path stateDirectory(const char* variable, const char* leaf) {
    const char* dir = std::getenv(variable);
    if (dir != nullptr && *dir != 0) return dir;
    // XDG: a relative XDG_STATE_HOME is invalid and ignored.
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && *state == '/') return std::filesystem::path(state) / "vordash" / leaf;
    const std::filesystem::path home = homeDirectory();
    if (home.empty()) return {};
    return home / ".local/state/vordash" / leaf;
}

} // namespace Karsto
