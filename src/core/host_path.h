#pragma once
// Paths that a program hands over are written in the controller's own form, with '\'
// between the parts; the host opens them with '/'.

#include <string>
#include <string_view>

namespace Karsto {

// The path to open for a path written by a program: every '\' becomes '/'. Messages keep
// showing the path as written.
std::string hostPath(std::string_view written);

} // namespace Karsto
