#pragma once
// Part programs, options and the kernel name files the way the controller's own operating
// system writes them ("C:\jobs\a.jyx"). Every open, rename and remove of a file goes
// through hostPath, so those names work here; messages keep the name as it was given.

#include <string>
#include <string_view>

namespace Karsto {

// The environment variable that holds the directory standing in for a drive prefix.
inline constexpr const char* kDriveRootVariable = "VORDASH_DRIVE_ROOT";

// The name as this system opens it: every '\' becomes '/', and a leading drive prefix
// ("C:") is replaced by the directory in VORDASH_DRIVE_ROOT (empty when unset, so
// "C:\jobs\a.jyx" opens "/jobs/a.jyx").
std::string hostPath(std::string_view path);

} // namespace Karsto
