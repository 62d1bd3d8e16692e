// The host files written so far in this run, to tell when a later entry's
// file lands on one written earlier, which the earlier file does not
// survive. Files are known by their identity as the host reports it once
// written, not by their names: a host that folds case (Windows folds `ａ`
// into `Ａ` and `α` into `Α`, a case-insensitive folder on Linux, macOS by
// default) or normalises names in ways of its own puts differently spelled
// names into one file, and only the host can say when it did.
#pragma once

#include "host/host.h"
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
  bool found;  // false: nothing in this run wrote the file before
  FileWriter writer;
};

void ForgetWrittenFiles();
// Remembers that writer has just written the file the host knows as
// identity and returns who wrote that file before in this run. An unknown
// identity is not remembered and meets nothing.
EarlierWriter RememberWrittenFile(const host::FileIdentity& identity,
                                  const FileWriter& writer);
// The file is gone (a failed write removed it): the host may give its
// identity to a new file, which then replaces nothing.
void ForgetWrittenFile(const host::FileIdentity& identity);

}  // namespace d88
