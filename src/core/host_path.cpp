#include "core/host_path.h"

#include <algorithm>

namespace Karsto {

std::string hostPath(std::string_view written) {
    std::string path(written);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

} // namespace Karsto
