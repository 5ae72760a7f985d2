#pragma once
// Where the platform stand-ins keep their state: the directory an environment variable
// names, else $XDG_STATE_HOME/vordash/<leaf>, else ~/.local/state/vordash/<leaf>.

#include <filesystem>

namespace Karsto {

// Empty when neither the variable nor a state or home directory is known.
std::filesystem::path stateDirectory(const char* variable, const char* leaf);

} // namespace Karsto
