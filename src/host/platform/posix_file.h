#pragma once
// Small helpers of the platform stand-ins for files they write.

#include <cstddef>

namespace Karsto {

// Writes all bytes, retrying after interruptions and short writes; false with errno set
// on an error.
bool writeAll(int fd, const void* data, size_t size);

} // namespace Karsto
