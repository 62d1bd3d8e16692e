// The host file a directory entry's file goes to, by this host's rules.
//
// Extraction writes each file under this name and a repack looks for it
// under the same name, so both take it from here alone.
#pragma once

#include "host/host_name.h"

namespace d88 {

struct EntryHostName {
  char text[kHostNameCapacity];  // raw bytes, or UTF-8 when decoded
  bool mapped;  // the host's rules changed the entry's name
};

// raw_name is the entry's name as the disk holds it, NUL-terminated.
EntryHostName HostNameOf(const char* raw_name, bool unicode_names);

// The other way, for a host file that is to become an entry: the entry name
// under which an extraction writes exactly this host name.
enum class EntryNameProblem {
  kNone,
  kNoShiftJis,   // with unicode_names: a character the code page lacks
  kLength,       // not 1 to 6 bytes as the disk holds it
  kNotWritten,   // the host's rules would write that entry elsewhere
};
struct EntryNameFromHost {
  EntryNameProblem problem;
  char raw[kMaxEntryName + 1];  // NUL-terminated, when problem is kNone
  std::size_t length;           // the name's bytes on the disk
};
// host_name is a file name as the host gives it: raw bytes, or UTF-8 with
// unicode_names, which is then encoded to Shift_JIS.
EntryNameFromHost EntryNameFor(const char* host_name, bool unicode_names);

}  // namespace d88
