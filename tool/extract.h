// What the run does with each disk: list its directory and, when
// extracting, write every file into the working folder; when testing, read
// every file and write nothing.
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

// Which disk is being processed: its number, and its folder's name, or
// nullptr when every disk's files go into one folder.
struct DiskPlace {
  int disk;
  const char* folder;
};

struct DiskResult {
  bool all_written;  // no host file that should have been written failed
  bool all_whole;    // every file of size > 0 was read whole and clean
};

// Lists the selected disk's directory on standard output (or as JSON
// entries) and, by the mode, writes or reads its files.
DiskResult ProcessDisk(D88Image& image, const Options& options,
                       DiskPlace place);

// The host file an entry's file goes to, in the working folder.
struct EntryHostName {
  char text[kHostNameCapacity];  // raw bytes, or UTF-8 when decoded
  bool mapped;  // the name differs from the entry's raw name
};

// Extraction and repacking take the host name from here alone, so that a
// repack looks for each file exactly where an extraction put it.
EntryHostName HostNameOf(const DirEntry& entry, bool unicode_names);

// Reads the entry's file and writes it to a host file named after it; the
// entry is the entry_number-th (from 1) of its disk's listing.
FileOutcome ExtractFile(D88Image& image, const DirEntry& entry,
                        const Options& options, DiskPlace place,
                        int entry_number);

}  // namespace d88
