// Turning a directory entry's name into a host file name.
//
// Entry names are up to six raw bytes from the disk. Some of them mean a path
// rather than a file name to the host ("..", "a/b", "C:x" on Windows) and some
// the host refuses or reads as a device ("CON", "AUX.1"). The mapping keeps
// every file in the working folder: each byte that would be read as part of
// a path, and each trailing dot or space that Windows would drop, becomes '_';
// a device name gets '_' in front.
//
// The bytes can go to the host as they are, or first be decoded from
// Shift_JIS to UTF-8 so that the host shows the names' Japanese characters.
#pragma once

#include <cstddef>

namespace d88 {

// kWindows is Windows under the Japanese code page, where a raw Shift_JIS
// pair is one character to the ANSI file calls, so its second byte is never
// syntax even when it is 0x5C. Under any other code page those calls read
// the raw bytes differently, and a 0x5C anywhere may be a backslash:
// kWindowsOtherCodePage treats it as one.
enum class HostRules { kPosix, kWindows, kWindowsOtherCodePage };

// kRaw keeps the entry's Shift_JIS bytes; kUnicode decodes them to UTF-8.
enum class NameEncoding { kRaw, kUnicode };

// The longest entry name, in bytes.
constexpr std::size_t kMaxEntryName = 6;

// Room for the longest host name: six entry bytes decode to at most 18 bytes
// of UTF-8, then the '_' that may go in front of a device name, and the
// terminator.
constexpr std::size_t kHostNameCapacity = 3 * kMaxEntryName + 2;

// Writes the host file name for entry_name (at most kMaxEntryName bytes
// before its terminator) into host_name, which holds kHostNameCapacity
// bytes. In kUnicode the host rules apply to the decoded characters, so a
// decoded '\' counts as the backslash it now is. Returns true when the host
// rules changed the name; decoding alone is no change.
bool HostFileName(const char* entry_name, HostRules rules,
                  NameEncoding encoding, char* host_name);

// Whether Windows reads the name as a device: CON, PRN, AUX, NUL, CONIN$,
// CONOUT$, COM1-COM9 or LPT1-LPT9, in any case, alone or followed by an
// extension.
bool IsWindowsDeviceName(const char* name);

// Orders two host names as the host tells files apart: below 0, 0 (the
// same file) or above 0.
int CompareHostNames(const char* a, const char* b, HostRules rules,
                     NameEncoding encoding);

}  // namespace d88
