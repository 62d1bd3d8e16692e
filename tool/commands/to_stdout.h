// --to-stdout: the bytes of every file taken, one after the other on
// standard output, exactly as an extraction would write them (the zeros
// after a run that breaks off included), in listing order, and nothing else
// there: no listing, no disk lines, no folders, no files.
//
// Standard error carries the notes an extraction would give about each
// file: damage, and a name that had to change for the host. They name the
// file by the path the extraction would have written ("000/GAME"), which is
// how the user finds it in the listing. Entries that an extraction writes no
// file for (the first sector missing, no size) give no bytes; one whose name
// leaves nothing for the host to name a file by fails as its extraction
// does, and the run ends with status 1.
#pragma once

#include "disk/disk_walk.h"

namespace d88 {

class FilesToStdout : public DiskConsumer {
 public:
  bool ReadsFiles() const override { return true; }
  void BeginRun() override;
  void Entry(const DiskVisit& disk, const EntryFacts& facts) override;
  RunStatus Status() const override { return status_; }

 private:
  RunStatus status_ = RunStatus::kClean;
};

}  // namespace d88
