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

}  // namespace d88
