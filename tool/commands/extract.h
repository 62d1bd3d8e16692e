// Extraction: writes each entry's file, as read from the image, to a host
// file in the working folder named after the entry, and says on standard
// error when a file is damaged, renamed for the host or replaces one
// written earlier in the run.
#pragma once

#include "disk/disk_walk.h"
#include "report/file_output.h"

namespace d88 {

class Extractor : public DiskConsumer {
 public:
  Extractor(bool unicode_names, OldFiles old_files)
      : unicode_names_(unicode_names), old_files_(old_files) {}

  bool ReadsFiles() const override { return true; }
  bool WritesHostFiles() const override { return true; }
  void BeginRun() override;
  void Entry(const DiskVisit& disk, const EntryFacts& facts) override;
  RunStatus Status() const override { return status_; }

 private:
  bool Write(const DiskVisit& disk, const EntryFacts& facts);

  bool unicode_names_;
  OldFiles old_files_;
  RunStatus status_ = RunStatus::kClean;
};

}  // namespace d88
