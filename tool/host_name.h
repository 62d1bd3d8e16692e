// Turning a directory entry's name into a host file name.
//
// Entry names are up to six raw bytes from the disk. Some of them mean a path
// rather than a file name to the host ("..", "a/b", "C:x" on Windows) and some
// the host refuses or reads as a device ("CON", "AUX.1"). The mapping keeps
// every file in the working folder: each byte that would be read as part of
// a path, and each trailing dot or space that Windows would drop, becomes '_';
// a device name gets '_' in front.
#pragma once

#include <cstddef>

namespace d88 {

enum class HostRules { kPosix, kWindows };

#if defined(_WIN32)
constexpr HostRules kNativeHostRules = HostRules::kWindows;
#else
constexpr HostRules kNativeHostRules = HostRules::kPosix;
#endif

// Room for the longest host name: six name bytes, the '_' that may go in
// front of a device name, and the terminator.
constexpr std::size_t kHostNameCapacity = 8;

// Writes the host file name for entry_name (at most six bytes before its
// terminator) into host_name, which holds kHostNameCapacity bytes. Returns
// true when the host name differs from the entry name.
bool HostFileName(const char* entry_name, HostRules rules, char* host_name);

}  // namespace d88
