// The few things the tool asks of the host: folders, host files and the text
// of the host's last error. One implementation per host sits behind these
// calls, so the rest of the tool is the same code on POSIX and Windows.
//
// Names are narrow byte strings in the image's own character set (Shift_JIS
// on the machines these disks come from). On Windows they go through the
// ANSI calls, which take them under the system code page; a wide-character
// path made from them would lose characters.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host {

// Creates a folder in the working folder. Fails, among other reasons, when
// the folder exists already; callers that only want it there ignore that.
bool MakeFolder(const char* name);
// Makes the named child folder the working folder.
bool EnterFolder(const char* name);
// Makes the parent folder the working folder again.
bool LeaveFolder();
// The host's reason for the last failed folder call, as text.
const char* FolderErrorText();

// Creates or replaces the file in the working folder and writes size bytes
// into it, in binary. On failure no partial file is left behind.
bool WriteFile(const char* name, const std::uint8_t* data, std::size_t size);
// The host's reason for the last failed WriteFile, as text.
const char* FileErrorText();

}  // namespace host
