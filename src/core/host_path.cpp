#include "core/host_path.h"

#include <cstdlib>

namespace Karsto {

namespace {

bool isDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

} // namespace

std::string hostPath(std::string_view path) {
    std::string mapped;
    if (path.size() >= 2 && isDriveLetter(path[0]) && path[1] == ':') {
        // Read on every call: tests and the entry set it at run time, and opens are rare.
        const char* root = std::getenv(kDriveRootVariable);
        if (root != nullptr) mapped = root;
        path.remove_prefix(2);
    }
    mapped.reserve(mapped.size() + path.size());
    for (const char c : path) mapped.push_back(c == '\\' ? '/' : c);
    return mapped;
}

} // namespace Karsto
