// What the run does with each disk: list its directory and, when
// extracting, write every file into the working folder.
#pragma once

#include "d88_image.h"
#include "file_system.h"
#include "host_name.h"
#include "options.h"

namespace d88 {

enum class FileOutcome {
  kWritten,       // the host file holds the file
  kNotInImage,    // nothing to write: size <= 0 or first sector unreadable
  kWriteFailed,   // the host refused the file; reported on standard error
};

// Lists the selected disk's directory on standard output and, unless the
// mode is kList, writes its files into the working folder. Returns false
// when a host file that should have been written could not be.
bool ProcessDisk(D88Image& image, const Options& options);

// The host file an entry's file goes to, in the working folder.
struct EntryHostName {
  char text[kHostNameCapacity];  // raw bytes, or UTF-8 when decoded
  bool mapped;  // the name differs from the entry's raw name
};

// Extraction and repacking take the host name from here alone, so that a
// repack looks for each file exactly where an extraction put it.
EntryHostName HostNameOf(const DirEntry& entry, bool unicode_names);

// Reads the entry's file and writes it to a host file named after it.
FileOutcome ExtractFile(D88Image& image, const DirEntry& entry,
                        bool unicode_names);

}  // namespace d88
