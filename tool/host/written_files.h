// The host files written so far in this run, to tell when a later entry's
// file lands on one written earlier, which the earlier file does not
// survive. Names are compared as the host compares them.
#pragma once

#include "host/host_name.h"

namespace d88 {

// Who wrote a host file: the entry's disk, its place in the disk's listing
// (from 1) and its raw name.
struct FileWriter {
  int disk;
  int entry_number;
  char entry_name[kMaxEntryName + 1];
};

struct EarlierWriter {
  bool found;  // false: nothing in this run was written under the name
  FileWriter writer;
};

void ForgetWrittenFiles();
// Remembers that writer has just written host_name and returns who wrote
// it before in this run. With folders only files of the same disk meet.
EarlierWriter RememberWrittenFile(const char* host_name, bool utf8_name,
                                  const FileWriter& writer, bool folders);

}  // namespace d88
